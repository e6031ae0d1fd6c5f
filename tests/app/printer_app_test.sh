#!/usr/bin/env bash
# The printer application end to end, one case per run:
#   printer_app_test.sh CASE APP TOOL INSPECT TESTDIR ARTEFACTDIR
# Each case starts the server in its own temporary home, configuration, spool
# and state on a free loopback port, and stops it when it ends, also on failure.
set -euo pipefail
case_name=$1 app=$2 tool=$3 inspect=$4 here=$5 artefacts=$6

work=$(mktemp -d "${TMPDIR:-/tmp}/kzrqo317-app-XXXXXX")
# PAPPL's main loop names its control socket after the program, in /run when
# run as root: a name of the test's own keeps it apart from a real server and
# from the other tests.
app_name=kzrqo317-test-${work##*-}
app_run() { (exec -a "$app_name" "$app" "$@"); }
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp
export KZRQO317_STATE_FILE=$work/state/app.state
unset KZRQO317_AUTO_ADD
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$TMPDIR" "$work/state" "$work/spool" "$work/out" "$work/in"
chmod 700 "$XDG_RUNTIME_DIR"
server_pid=
port=

stop_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$server_pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$server_pid" 2>/dev/null && echo "the server did not stop on SIGTERM" >&2
    wait "$server_pid" 2>/dev/null || true
    server_pid=
  fi
}
cleanup() {
  local rc=$?
  stop_server
  if [ $rc -ne 0 ] && [ -f "$work/server.log" ]; then
    echo "--- server log, last lines"; grep -v '^D' "$work/server.log" | tail -30
  fi
  rm -rf "$work"
  [ "$(id -u)" -ne 0 ] || rm -f "/run/$app_name.sock"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null || fail "$1 is not installed ($2; scripts/install-deps.sh installs it)"; }
need ipptool cups-ipp-utils

free_port() {
  local p
  for _ in $(seq 50); do
    p=$((20000 + RANDOM % 40000))
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
  done
  fail "no free port"
}

# start_server [-o ...]: on a free port; again on another if a parallel test took it first
start_server() {
  local attempt
  for attempt in 1 2 3; do
    port=$(free_port)
    (exec -a "$app_name" "$app" server -o server-port="$port" -o listen-hostname=127.0.0.1 \
      -o spool-directory="$work/spool" -o log-file="$work/server.log" -o log-level=debug "$@") &
    server_pid=$!
    for _ in $(seq 100); do
      # Listening, and still alive: not another test's server on the same port.
      if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then sleep 0.2; kill -0 "$server_pid" 2>/dev/null && return 0; fi
      kill -0 "$server_pid" 2>/dev/null || break
      sleep 0.1
    done
    stop_server
    echo "the server did not start on port $port (attempt $attempt)" >&2
  done
  fail "the server did not start"
}

add_printer() {
  app_run add -d kz -m kzrqo317 -v "file://$work/out?ext=prn" || fail "cannot add the printer"
}

# printer_uri: of the printer kz, or of $queue
printer_uri() { echo "ipp://127.0.0.1:$port/ipp/print/${queue:-kz}"; }

# submit JOBNAME FILE FORMAT QUALITY COLOURMODE MEDIATYPE MARGIN [ipptool -d ...]: prints the job id
submit() {
  local name=$1 file=$2 format=$3 quality=$4 colour=$5 type=$6 margin=$7; shift 7
  local out
  out=$(ipptool -tv -T 60 -f "$file" -d jobname="$name" -d format="$format" -d quality="$quality" \
        -d colormode="$colour" -d mediatype="$type" -d margin="$margin" -d width=21000 -d length=29700 \
        "$@" "$(printer_uri)" "$here/job.test") || { echo "$out" >&2; fail "job $name was not accepted"; }
  sed -n 's/.*job-id (integer) = \([0-9]*\).*/\1/p' <<<"$out" | head -1
}

# job_state ID [-d cancel=1]: the job's attributes as ipptool shows them
job_state() {
  local id=$1; shift
  ipptool -tv -T 30 -d job_id="$id" "$@" "$(printer_uri)" "$here/job_state.test"
}

# wait_job ID: waits until the job ends; prints its state keyword
wait_job() {
  local id=$1 state
  for _ in $(seq 600); do
    state=$(job_state "$id" | sed -n 's/.*job-state (enum) = \([a-z-]*\).*/\1/p')
    case $state in completed|aborted|canceled) echo "$state"; return 0;; esac
    sleep 0.2
  done
  fail "job $id did not end"
}

# output ID JOBNAME: the file a file:// printer writes for the job
output() { echo "$work/out/$1-$2.prn"; }

# job_id_of JOBNAME: the id of the job of that name
job_id_of() {
  local id
  id=$(sed -n "s/.*\[Job \([0-9]*\)\] Created job file \".*-$1\.[a-z]*\".*/\1/p" "$work/server.log" | head -1)
  [ -n "$id" ] || fail "no job $1"
  echo "$id"
}

# job_output JOBNAME: the file the job of that name printed to
job_output() { output "$(job_id_of "$1")" "$1"; }

# check_output ID JOBNAME: the device file is a well-formed stream with ink where the input has it
check_output() {
  local file
  file=$(output "$1" "$2")
  # PAPPL reports a job completed a moment before it closes the device: give
  # the file's last bytes time to arrive.
  for _ in $(seq 50); do
    [ -s "$file" ] && "$inspect" check "$file" >/dev/null && break
    sleep 0.2
  done
  [ -s "$file" ] || fail "no output for $2"
  "$inspect" check "$file" >/dev/null || { "$inspect" check "$file" | tail -3; fail "$2: malformed stream"; }
  "$tool" ink "$file" || fail "$2: ink is not where the input has it"
}

# print_and_check JOBNAME FILE FORMAT QUALITY COLOURMODE MEDIATYPE MARGIN
print_and_check() {
  local id state
  id=$(submit "$@")
  [ -n "$id" ] || fail "no job id for $1"
  state=$(wait_job "$id")
  [ "$state" = completed ] || { job_state "$id" | grep job-state; fail "$1 ended $state"; }
  check_output "$id" "$1"
  grep "\[Job $id\] Page" "$work/server.log" | sed 's/^.*\] Page/  page/' || true
}

case $case_name in
attributes)
  # What the printer says is what the capability query says.
  start_server
  add_printer
  attrs=$(ipptool -tv -T 30 "$(printer_uri)" get-printer-attributes.test)
  line() { grep -E "^ *$1 \(" <<<"$attrs" || fail "no $1"; }
  supported=$(line media-supported)
  database=$(line media-col-database)
  while read -r kind name extra; do
    case $kind in
    paper)
      grep -q "[ ,]$name\(,\|$\)" <<<"$supported" || fail "media-supported lacks $name"
      if [ "$extra" = 1 ]; then
        grep -qE "media-bottom-margin=0 media-left-margin=0 media-right-margin=0 media-size=\{[^}]*\} media-size-name=$name media-top-margin=0" <<<"$database" ||
          fail "media-col-database has no borderless $name"
      fi;;
    media) grep -q "[ ,]$name\(,\|$\)" <<<"$(line media-type-supported)" || fail "media-type-supported lacks $name";;
    quality) grep -q "[ ,]$name\(,\|$\)" <<<"$(line print-quality-supported)" || fail "print-quality-supported lacks $name";;
    esac
  done < <("$tool" capabilities)
  [ "$(line media-type-supported | tr ',' '\n' | wc -l)" = "$("$tool" capabilities | grep -c '^media')" ] ||
    fail "media-type-supported has types the capability query does not"
  formats=$(line document-format-supported)
  for f in image/png image/jpeg image/pwg-raster image/urf; do
    grep -q "$f" <<<"$formats" || fail "document-format-supported lacks $f"
  done
  if command -v gs >/dev/null; then
    grep -q application/pdf <<<"$formats" || fail "Ghostscript is installed but PDF is not offered"
  fi
  # ipptool's IPP Everywhere test fails only on what PAPPL 1.3 itself
  # answers (every PAPPL printer application shares these).
  pappls='orientation-requested-default|printer-up-time|printer-uri-supported|uri-security-supported|preferred-attributes-supported|overrides-supported|print-rendering-intent-default|print-rendering-intent-supported|pwg-raster-document-sheet-back'
  if [ -f /usr/share/cups/ipptool/ipp-everywhere.test ] && command -v gs >/dev/null; then
    gs -q -dSAFER -dBATCH -dNOPAUSE -sPAPERSIZE=a4 -sDEVICE=pdfwrite -sOutputFile="$work/in/everywhere.pdf" -c showpage
    ours=$(cd /usr/share/cups/ipptool && ipptool -t -T 60 -f "$work/in/everywhere.pdf" "$(printer_uri)" ipp-everywhere.test 2>&1 |
           grep -E 'EXPECTED|GOT|Duplicate|cannot' | grep -vE "(EXPECTED|GOT): ($pappls)([ =(]|$)" || true)
    [ -z "$ours" ] || fail "ipp-everywhere.test fails on attributes of ours: $ours"
    echo "ipp-everywhere.test: only PAPPL's own attributes fail"
  fi
  # Printers and their settings survive a restart, in the state file given.
  ipptool -t -T 30 "$(printer_uri)" "$here/settings.test" >/dev/null || fail "cannot change a printer default"
  stop_server
  [ -s "$KZRQO317_STATE_FILE" ] || fail "no state file at $KZRQO317_STATE_FILE"
  start_server
  app_run printers | grep -qx kz || fail "the printer did not survive a restart"
  ipptool -tv -T 30 "$(printer_uri)" get-printer-attributes.test | grep -q 'print-quality-default (enum) = high' ||
    fail "the printer's default quality did not survive a restart"
  echo "attributes match the capability query; the printer and its defaults survive a restart"
  ;;

print)
  "$tool" inputs "$work/in"
  start_server
  add_printer
  print_and_check png-colour-normal "$work/in/block.png" image/png 4 color plain 500
  print_and_check png-grey-draft "$work/in/block-gray.png" image/png 3 monochrome plain 500
  print_and_check jpeg-colour-high-borderless "$work/in/block.jpg" image/jpeg 5 color photo 0
  # PNG and JPEG are placed by the picture library kzrqo317-print uses, not by PAPPL's nearest pixel.
  [ "$(grep -c '\] Page 1: picture .* resampled' "$work/server.log")" = 3 ] || fail "PNG and JPEG were not placed with pixman"
  print_and_check pwg-colour-draft "$work/in/block.pwg" image/pwg-raster 3 color plain 500
  print_and_check pwg-grey-high "$work/in/block.pwg" image/pwg-raster 5 monochrome plain 500
  # A printer on a socket:// device.
  coproc listener { "$tool" listen "$work/out/socket.prn"; }
  read -r socket_port <&"${listener[0]}"
  app_run add -d sock -m kzrqo317 -v "socket://127.0.0.1:$socket_port" || fail "cannot add the socket printer"
  id=$(ipptool -tv -T 60 -f "$work/in/block.png" -d jobname=socket -d format=image/png -d quality=3 -d colormode=color \
       -d mediatype=plain -d margin=500 -d width=21000 -d length=29700 \
       "ipp://127.0.0.1:$port/ipp/print/sock" "$here/job.test" | sed -n 's/.*job-id (integer) = \([0-9]*\).*/\1/p')
  [ -n "$id" ] || fail "the socket printer took no job"
  wait "$listener_PID" || fail "the socket printer did not receive the job"
  "$inspect" check "$work/out/socket.prn" >/dev/null && "$tool" ink "$work/out/socket.prn" || fail "socket:// output is wrong"
  if command -v gs >/dev/null; then
    print_and_check pdf-colour-normal "$work/in/block.pdf" application/pdf 4 color plain 500
    print_and_check pdf-grey-high-photo "$work/in/block.pdf" application/pdf 5 monochrome photo-mono 500
  else
    echo "Ghostscript is not installed: PDF not tried"
  fi
  ;;

refusals)
  "$tool" inputs "$work/in"
  start_server
  add_printer
  # Settings the printer does not have: refused before anything prints.
  ipptool -t -T 30 -f "$work/in/block.png" "$(printer_uri)" "$here/refused.test" ||
    fail "a job with settings the printer does not have was not refused"
  # A media type the printer does not have is refused at once, named.
  out=$(ipptool -tv -T 60 -f "$work/in/block.png" -d jobname=transparency -d format=image/png -d quality=4 \
        -d colormode=color -d mediatype=transparency -d margin=500 -d width=21000 -d length=29700 \
        "$(printer_uri)" "$here/job.test" 2>&1) && fail "a job on an unknown media type was accepted"
  grep -q 'status-message.*transparency' <<<"$out" || fail "the refusal does not name the media type"
  # Cancel-Job in the middle of a page: the page still ends, and the stream
  # with it.  (A PNG is spooled first; PWG raster streams while the client
  # waits, so its Print-Job returns only when the job is done.)
  id=$(submit cancelled "$work/in/photo.png" image/png 5 color photo 0)
  for _ in $(seq 300); do
    job_state "$id" | grep -q 'job-state (enum) = processing' && [ -s "$(output "$id" cancelled)" ] && break
    sleep 0.05
  done
  job_state "$id" -d cancel=1 >/dev/null || fail "Cancel-Job was refused"
  state=$(wait_job "$id")
  [ "$state" = canceled ] || fail "the cancelled job ended $state"
  for _ in $(seq 50); do "$inspect" check "$(output "$id" cancelled)" >/dev/null && break; sleep 0.2; done
  "$inspect" check "$(output "$id" cancelled)" || fail "the cancelled job's stream does not end its page"
  grep "\[Job $id\] Page" "$work/server.log" | sed 's/^.*\] Page/  page/' || true
  echo "unsupported settings refused; a cancelled job ends its page"
  ;;

robustness)
  "$tool" inputs "$work/in"
  # Job threads that start late, as under load, let jobs submitted together
  # start before the first one has taken the printer.
  LD_PRELOAD=${KZ_TEST_SLOW_JOB_START:-} start_server
  add_printer
  # Malformed uploads fail their own job, with a reason, and nothing else.
  for bad in "truncated.png image/png" "lying.pwg image/pwg-raster" "bad-header.pwg image/pwg-raster" \
             "huge.png image/png"; do
    set -- $bad
    out=$(ipptool -tv -T 60 -f "$work/in/$1" -d jobname="bad-$1" -d format="$2" -d quality=4 -d colormode=color \
          -d mediatype=plain -d margin=500 -d width=21000 -d length=29700 \
          "$(printer_uri)" "$here/job.test" 2>&1) || true
    id=$(sed -n 's/.*job-id (integer) = \([0-9]*\).*/\1/p' <<<"$out" | head -1)
    if [ -z "$id" ]; then
      grep -q 'status-code = client-error' <<<"$out" || { echo "$out"; fail "$1: neither a job nor a client error"; }
      echo "$1: refused at submission: $(grep -m1 'status-code' <<<"$out")"
      continue
    fi
    state=$(wait_job "$id")
    [ "$state" = aborted ] || fail "$1 ended $state, not aborted"
    reason=$(job_state "$id" | grep -E '^ *job-state-(message|reasons) \(' | tr -s ' ' | tr '\n' ';')
    echo "$1: $reason"
    grep -q 'job-state-message' <<<"$reason" || fail "$1 failed without saying why"
  done
  # A PWG upload cut short in the middle of a page: PAPPL streams it into the
  # raster callbacks, which end the page and abort the job saying so.  (The
  # client waits for an answer while PAPPL waits for the rest: a short
  # timeout ends the upload.)
  head -c 2400 "$work/in/block.pwg" > "$work/in/cut.pwg"
  ipptool -T 5 -f "$work/in/cut.pwg" -d jobname=cut -d format=image/pwg-raster -d quality=4 -d colormode=color \
    -d mediatype=plain -d margin=500 -d width=21000 -d length=29700 "$(printer_uri)" "$here/job.test" >/dev/null 2>&1 || true
  for _ in $(seq 100); do grep -q 'The raster data stopped' "$work/server.log" && break; sleep 0.2; done
  id=$(sed -n 's/.*\[Job \([0-9]*\)\] The raster data stopped: page 1 ended after.*/\1/p' "$work/server.log" | head -1)
  [ -n "$id" ] || fail "a PWG upload cut short did not fail its job"
  for _ in $(seq 50); do grep -q "\[Job $id\] Aborted" "$work/server.log" && break; sleep 0.2; done
  grep -q "\[Job $id\] Aborted" "$work/server.log" || fail "a PWG upload cut short did not abort its job"
  echo "cut.pwg: $(grep -m1 -o 'The raster data stopped.*' "$work/server.log")"
  # Several clients at once: every job prints, one after the other.
  pids=()
  for n in 1 2 3 4; do
    (id=$(submit "together-$n" "$work/in/block.png" image/png 3 color plain 500)
     state=$(wait_job "$id")
     [ "$state" = completed ] || { job_state "$id" | grep -E 'job-state' >&2; fail "together-$n ended $state"; }
     check_output "$id" "together-$n" >/dev/null) &
    pids+=($!)
  done
  for p in "${pids[@]}"; do wait "$p" || fail "a job printed alongside others failed"; done
  echo "malformed uploads failed alone; four clients at once all printed"
  ;;

web_and_auth)
  need chromium chromium
  start_server
  add_printer
  browser() {
    timeout 90 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
      --disable-background-networking --disable-component-update --disable-sync --disable-dev-shm-usage \
      --user-data-dir="$work/chromium" --window-size=1280,1400 "$@" 2>>"$work/chromium.log"
  }
  status_page=$(browser --dump-dom "http://127.0.0.1:$port/kz/")
  grep -q 'Serial inkjet model 317' <<<"$status_page" || fail "the status page does not show the printer"
  media_page=$(browser --dump-dom "http://127.0.0.1:$port/kz/media")
  grep -q 'A4' <<<"$media_page" || fail "the media page does not show the loaded A4"
  grep -qi 'main roll' <<<"$media_page" || fail "the media page does not show the roll source"
  mkdir -p "$artefacts"
  browser --screenshot="$artefacts/printer-app-status.png" "http://127.0.0.1:$port/kz/" >/dev/null
  browser --screenshot="$artefacts/printer-app-media.png" "http://127.0.0.1:$port/kz/media" >/dev/null
  [ -s "$artefacts/printer-app-status.png" ] && [ -s "$artefacts/printer-app-media.png" ] || fail "no screenshots"
  echo "screenshots: $artefacts/printer-app-status.png $artefacts/printer-app-media.png"
  # Beyond loopback only with authentication (192.0.2.1 is a documentation
  # address: nothing is bound even if the check failed).
  stop_server
  refusal=$(app_run server -o server-port="$(free_port)" -o listen-hostname=192.0.2.1 -o log-file="$work/refused.log" 2>&1) &&
    fail "the server started beyond loopback without authentication"
  grep -q 'auth-service' <<<"$refusal" || fail "the refusal to serve the network does not say how: $refusal"
  # With authentication configured, a client without credentials may not
  # administer, neither over IPP nor on the web pages.
  stop_server
  start_server -o auth-service=login -o admin-group=root
  # (ipptool counts an HTTP 401 as a failed request whatever STATUS says: count the refusals.)
  refusals=$(ipptool -tv -I -T 30 "ipp://127.0.0.1:$port/ipp/system" "$here/admin.test" </dev/null 2>&1 |
             grep -c 'status-code = client-error-not-authenticated' || true)
  [ "$refusals" = 2 ] || fail "$refusals of 2 administrative operations without credentials were refused"
  exec 3<>"/dev/tcp/127.0.0.1/$port"
  printf 'GET /kz/delete HTTP/1.1\r\nHost: 127.0.0.1:%s\r\nConnection: close\r\n\r\n' "$port" >&3
  reply=$(head -1 <&3)
  exec 3<&-
  grep -q ' 401 ' <<<"$reply" || fail "the web page that deletes the printer answered '$reply' without credentials"
  # Printing needs no credentials.
  app_run printers | grep -qx kz || fail "the printer is gone"
  echo "admin operations need authentication; the web interface shows the printer and its media"
  ;;

previews)
  # A job's preview at its URL, on the printer's previews page in a browser,
  # and gone with the job (jobs do not outlive the server).
  need chromium chromium
  need curl curl
  "$tool" inputs "$work/in"
  start_server
  add_printer
  id=$(submit preview "$work/in/block.png" image/png 4 color plain 500)
  [ "$(wait_job "$id")" = completed ] || fail "the job did not complete"
  page=http://127.0.0.1:$port/kz/previews
  curl -sSf -o "$work/thumbnail.png" -w '%{content_type}\n' "$page/thumbnail.png?job=$id" | grep -qx image/png ||
    fail "no thumbnail at $page/thumbnail.png?job=$id"
  "$tool" preview "$work/thumbnail.png" || fail "the thumbnail does not show the job's page"
  curl -sSf -o "$work/view.png" "$page/page.png?job=$id" && "$tool" preview "$work/view.png" || fail "no larger view"
  [ "$(curl -s -o /dev/null -w '%{http_code}' "$page/thumbnail.png?job=$((id + 1))")" = 404 ] ||
    fail "a job never printed has a thumbnail"
  # The browser reads the page and loads each of its pictures (a local page
  # reports what it saw; web security is off so that it may read the server's).
  cat > "$work/look.html" <<EOF
<body><pre id=seen>waiting</pre><script>
const page = '$page';
fetch(page).then(r => r.text()).then(html => Promise.all(
  [...new DOMParser().parseFromString(html, 'text/html').querySelectorAll('img.kz-preview')].map(img =>
    new Promise(done => { const p = new Image(); p.onload = () => done(img.alt + ' ' + p.naturalWidth);
      p.onerror = () => done(img.alt + ' failed'); p.src = new URL(img.getAttribute('src'), page); }))))
.then(seen => { document.getElementById('seen').textContent = seen.join(';') || 'no pictures'; },
      e => { document.getElementById('seen').textContent = 'error ' + e; });
</script></body>
EOF
  browser() {
    timeout 90 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
      --disable-component-update --disable-sync --disable-dev-shm-usage --user-data-dir="$work/chromium" "$@" 2>>"$work/chromium.log"
  }
  seen=$(browser --disable-web-security --virtual-time-budget=10000 --dump-dom "file://$work/look.html" |
         sed -n 's/.*<pre id="seen">\([^<]*\)<.*/\1/p')
  grep -Eq "^Page 1 of job $id [1-9][0-9]+\$" <<<"$seen" || fail "the previews page showed: '$seen'"
  # On the job's line of the printer's own job list, loaded (a picture that
  # fails to load is taken off the line).
  line=$(browser --virtual-time-budget=10000 --dump-dom "http://127.0.0.1:$port/kz/jobs" | grep -o "<tr><td><a [^>]*><img [^>]*></a></td><td>$id</td>")
  grep -q "src=\"/kz/previews/thumbnail.png?job=$id\"" <<<"$line" || fail "the job list has no thumbnail on job $id's line"
  mkdir -p "$artefacts"
  browser --window-size=1280,700 --screenshot="$artefacts/printer-app-previews.png" "$page" >/dev/null
  browser --window-size=1280,700 --virtual-time-budget=10000 --screenshot="$artefacts/printer-app-job-list.png" \
    "http://127.0.0.1:$port/kz/jobs" >/dev/null
  echo "the browser saw: $seen; $(grep -o 'Preview of page 1 kept.*' "$work/server.log")"
  # Across a restart the job is kept, so is its preview; one of a job no
  # longer kept (and one half written) go as the server starts.
  stop_server
  touch "$work/spool/p00001j000000099-gone.thumbnail.png" "$work/spool/p00001j000000099-gone.preview.png.new"
  start_server
  for _ in $(seq 50); do ls "$work/spool" | grep -q j000000099 || break; sleep 0.1; done
  ! ls "$work/spool" | grep -q j000000099 || fail "previews without a job were not removed: $(ls "$work/spool")"
  curl -sSf -o "$work/again.png" "http://127.0.0.1:$port/kz/previews/thumbnail.png?job=$id" && cmp -s "$work/thumbnail.png" "$work/again.png" ||
    fail "the kept job lost its preview"
  ;;

malformed)
  # Requests PAPPL 1.3 would crash on or take unchecked are refused naming
  # the attribute; the server then prints as before.
  "$tool" inputs "$work/in"
  start_server
  add_printer
  ipptool -t -T 30 -f "$work/in/block.png" "$(printer_uri)" "$here/malformed.test" ||
    fail "a request PAPPL would trip on was not refused"
  print_and_check after-malformed "$work/in/block.png" image/png 4 color plain 500
  echo "malformed media-col, Send-Document job attributes and printer attributes refused; the next job printed"
  ;;

jobs_end)
  # Every job ends with a reason, and the server in seconds, whatever a job does.
  "$tool" inputs "$work/in"
  client=${KZ_TEST_APP_CLIENT:?}
  start_server -o device-wait=2
  add_printer
  # ended STATES PATTERN ID: the job of $queue ended in one of STATES with a message matching PATTERN
  ended() {
    local state message
    state=$(wait_job "$3")
    message=$(job_state "$3" | sed -n 's/.*job-state-message (textWithoutLanguage) = //p')
    grep -qxE "$1" <<<"$state" && grep -qE "$2" <<<"$message" || fail "job $3 of ${queue:-kz} ended $state: $message"
    echo "  job $3 of ${queue:-kz}: $state, $message"
  }
  # A name no file may have: the output is named by the job's id and the name cleaned, its first 64 bytes.
  long="$(printf 'Long name / %.0s' $(seq 30))"
  id=$(submit "$long" "$work/in/block.png" image/png 3 color plain 500)
  [ "$(wait_job "$id")" = completed ] || fail "the job with a long name did not print"
  check_output "$id" "$(tr -c 'A-Za-z0-9._\n-' _ <<<"$long" | cut -c1-64)"
  # A device that cannot be opened, and one that does not answer.
  mkdir -p "$work/gone/out"
  app_run add -d gone -m kzrqo317 -v "file://$work/gone/out?ext=prn" || fail "cannot add the printer gone"
  rm -rf "$work/gone"
  queue=gone ended aborted "^Cannot write to file://.*No such file" "$(queue=gone submit gone "$work/in/block.png" image/png 3 color plain 500)"
  silent=$(free_port)
  app_run add -d silent -m kzrqo317 -v "socket://127.0.0.1:$silent" || fail "cannot add the printer silent"
  queue=silent ended aborted "did not answer within 2 s" "$(queue=silent submit silent "$work/in/block.png" image/png 3 color plain 500)"
  # Uploads cut short: a spooled picture, and raster that streams as it prints.
  "$client" truncated "$(printer_uri)" "$work/in/block.png" image/png
  ended aborted "[Tt]runcated" 2
  "$client" truncated "$(printer_uri)" "$work/in/long.pwg" image/pwg-raster
  ended aborted "incomplete|stopped" 3
  print_and_check after-failures "$work/in/block.png" image/png 3 color plain 500
  # A document that never finishes rendering: aborted at the page time limit,
  # or cancelled, its Ghostscript ended with it.
  stop_server
  start_server -o page-time-limit=2
  ended aborted "longer than 2 s for a page" "$(submit stalling "$work/in/stalling.pdf" application/pdf 3 color plain 500)"
  id=$(submit stalling "$work/in/stalling.pdf" application/pdf 3 color plain 500)
  sleep 1
  children=$(pgrep -P "$server_pid" || true)
  job_state "$id" -d cancel=1 >/dev/null || fail "Cancel-Job was refused"
  start=$(date +%s%N)
  ended canceled "" "$id"
  echo "  cancelled in $(( ($(date +%s%N) - start) / 1000000 )) ms"
  for child in $children; do kill -0 "$child" 2>/dev/null && fail "Ghostscript ($child) outlived its cancelled job"; done
  # Stopping while a document renders, a job waits for its printer and two
  # wait on a paused printer: SIGTERM ends the server in under 10 s, and the
  # queued jobs print after the next start; then the shutdown sub-command.
  stop_server
  start_server -o device-wait=300
  mkdir -p "$work/out2"
  app_run add -d busy -m kzrqo317 -v "file://$work/out2?ext=prn" || fail "cannot add the printer busy"
  app_run pause -d kz || fail "cannot pause kz"
  queued1=$(submit queued-1 "$work/in/block.png" image/png 3 color plain 500)
  queued2=$(submit queued-2 "$work/in/block.png" image/png 3 color plain 500)
  for stop in sigterm shutdown; do
    queue=busy submit stalling "$work/in/stalling.pdf" application/pdf 3 color plain 500 >/dev/null
    waiting=$(queue=silent submit waiting "$work/in/block.png" image/png 3 color plain 500)
    for _ in $(seq 50); do queue=silent job_state "$waiting" | grep -q 'Waiting up to' && break; sleep 0.2; done
    sleep 1
    children=$(pgrep -P "$server_pid" || true)
    [ -n "$children" ] || fail "no Ghostscript rendering"
    start=$(date +%s%N)
    if [ $stop = sigterm ]; then kill "$server_pid"; else app_run shutdown || fail "shutdown failed"; fi
    for _ in $(seq 100); do kill -0 "$server_pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$server_pid" 2>/dev/null && fail "the server did not stop within 10 s of $stop"
    wait "$server_pid" 2>/dev/null || true
    server_pid=
    echo "  $stop: stopped in $(( ($(date +%s%N) - start) / 1000000 )) ms"
    for child in $children; do kill -0 "$child" 2>/dev/null && fail "Ghostscript ($child) outlived the server"; done
    start_server -o device-wait=300
    if [ $stop = sigterm ]; then
      for id in $queued1 $queued2; do [ "$(wait_job "$id")" = completed ] || fail "queued job $id did not print after the restart"; done
      check_output "$queued1" queued-1 >/dev/null
      # (job-state-message does not outlive a restart)
      queue=silent ended "aborted|canceled" "" "$waiting"
    fi
  done
  echo "every job ended with its reason; the server stopped in seconds and the queued jobs printed after"
  ;;

no_avahi)
  # Without avahi-daemon, with no system bus or with one, the add-printer
  # page and the devices sub-command list what they find instead of
  # aborting the server.
  "$tool" inputs "$work/in"
  for bus in none dbus; do
    if [ $bus = dbus ]; then
      command -v dbus-daemon >/dev/null || { echo "dbus-daemon is not installed: no system bus tried"; break; }
      printf '%s\n' '<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"' \
        ' "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">' \
        "<busconfig><type>system</type><listen>unix:path=$work/bus</listen><auth>EXTERNAL</auth>" \
        '<policy context="default"><allow user="*"/><allow own="*"/><allow send_destination="*"/>' \
        '<allow receive_sender="*"/><allow send_type="*"/><allow receive_type="*"/></policy></busconfig>' \
        > "$work/bus.conf"
      dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile 2>/dev/null &
      bus_pid=$!
      for _ in $(seq 50); do [ -S "$work/bus" ] && break; sleep 0.1; done
    fi
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/bus"
    start_server
    [ $bus = none ] && add_printer
    for _ in 1 2; do
      exec 3<>"/dev/tcp/127.0.0.1/$port"
      printf 'GET /addprinter HTTP/1.1\r\nHost: 127.0.0.1:%s\r\nConnection: close\r\n\r\n' "$port" >&3
      reply=$(timeout 30 head -1 <&3 || true)
      exec 3<&-
      grep -q ' 200 ' <<<"$reply" || fail "the add-printer page answered '$reply' ($bus)"
    done
    timeout 60 bash -c "exec -a $app_name $app devices" >/dev/null 2>&1 || fail "the devices sub-command failed ($bus)"
    kill -0 "$server_pid" || fail "the server died ($bus)"
    print_and_check "after-browsing-$bus" "$work/in/block.png" image/png 3 color plain 500
    stop_server
    [ $bus = dbus ] && kill "$bus_pid"
    echo "no avahi-daemon, system bus: $bus: the add-printer page and devices answered, the server printed on"
  done
  ;;

load)
  # Clients at once printing PNG, PDF and PWG, a quarter cancelled: every job
  # ends, and the server holds no more descriptors or threads after than
  # before.  KZ_LOAD_CLIENTS and KZ_LOAD_JOBS make it longer.
  "$tool" inputs "$work/in"
  client=${KZ_TEST_APP_CLIENT:?} clients=${KZ_LOAD_CLIENTS:-8} jobs=${KZ_LOAD_JOBS:-3}
  command -v gs >/dev/null || { echo "Ghostscript is not installed"; exit 77; }
  start_server
  add_printer
  # What the server holds when idle, after one job of each kind.
  "$client" load "$(printer_uri)" "$work/in" 3 1 >/dev/null || fail "the warm-up jobs did not all end"
  holds() {
    sleep 2
    echo "descriptors $(ls "/proc/$server_pid/fd" | wc -l) threads $(awk '/^Threads/ {print $2}' "/proc/$server_pid/status")" \
         "rss_kB $(awk '/^VmRSS/ {print $2}' "/proc/$server_pid/status")"
  }
  before=$(holds)
  result=$("$client" load "$(printer_uri)" "$work/in" "$clients" "$jobs") || fail "not every job ended: $result"
  after=$(holds)
  echo "$clients clients x $jobs jobs: $result"
  echo "idle before: $before; after: $after; peak rss_kB $(awk '/^VmHWM/ {print $2}' "/proc/$server_pid/status")"
  [ "$(cut -d' ' -f1-4 <<<"$before")" = "$(cut -d' ' -f1-4 <<<"$after")" ] || fail "the server holds more after the load"
  # Memory settles: freed pages go back rather than stay with the threads
  # that used them (300-460 MB after 50 x 4, growing per round, before).
  [ "$(cut -d' ' -f6 <<<"$after")" -lt $(( $(cut -d' ' -f6 <<<"$before") + 131072 )) ] ||
    fail "the server holds over 128 MB more after the load"
  ;;

same_input)
  # One PDF and one PNG, the same settings (A4 plain paper, normal quality,
  # colour, margins), through kzrqo317-print and the app: the same printer
  # bytes, so the same raster reached the driver.  Through the CUPS filter,
  # where cups-filters renders the page, the ink stays within a stated
  # difference of the command line's.
  cli=${KZ_TEST_PRINT_CLI:?} filter=${KZ_TEST_CUPS_FILTER:-} ppd=${KZ_TEST_PPD:-}
  command -v gs >/dev/null || { echo "Ghostscript is not installed"; exit 77; }
  "$tool" inputs "$work/in"
  source "$here/../cups/common.sh"
  make_document "$work/in/doc.pdf"
  start_server
  add_printer
  for input in doc.pdf:application/pdf photo.png:image/png; do
    file=${input%%:*} format=${input#*:}
    "$cli" -q -o "$work/out/cli-$file.prn" "$work/in/$file" || fail "kzrqo317-print could not print $file"
    id=$(submit "app-$file" "$work/in/$file" "$format" 4 color plain 500)
    [ "$(wait_job "$id")" = completed ] || fail "the app did not print $file"
    for _ in $(seq 50); do "$inspect" check "$(output "$id" "app-$file")" >/dev/null 2>&1 && break; sleep 0.2; done
    cmp -s "$work/out/cli-$file.prn" "$(output "$id" "app-$file")" ||
      { "$tool" compare "$work/out/cli-$file.prn" "$(output "$id" "app-$file")" | tail -1; fail "$file prints differently through the app"; }
    echo "$file: the same bytes through kzrqo317-print and the app ($(stat -c %s "$work/out/cli-$file.prn") bytes)"
  done
  if [ -n "$filter" ] && [ -n "$ppd" ] && command -v cupsfilter >/dev/null; then
    private_serverbin "$work/serverbin" "$filter"
    printf 'ServerBin %s\nDataDir %s\n' "$work/serverbin" "$(cups-config --datadir)" > "$work/cups-files.conf"
    for file in doc.pdf photo.png; do
      cupsfilter -c "$work/cups-files.conf" -p "$ppd" -m printer/kzrqo317 -e -o fit-to-page "$work/in/$file" \
        > "$work/out/cups-$file.prn" 2> "$work/cups.log" || { tail "$work/cups.log"; fail "cupsfilter could not print $file"; }
      difference=$("$tool" compare "$work/out/cli-$file.prn" "$work/out/cups-$file.prn" |
                   sed -n 's/^largest difference \([0-9.]*\)%/\1/p')
      [ -n "$difference" ] || fail "the CUPS stream of $file does not compare"
      echo "$file through CUPS: the ink of 2 mm cells differs by at most $difference% of the page's densest cell"
      awk -v d="$difference" 'BEGIN { exit !(d <= 6) }' || fail "CUPS prints $file more than 6% differently"
    done
  else
    echo "cupsfilter, the filter or the PPD missing: CUPS not compared"
  fi
  ;;

copies)
  # The printer makes no copies: each front end prints them, collated or
  # not, also from input it reads once (standard input, streamed raster).
  # The pages' ink tells them apart: abcabc is two collated copies of a
  # three-page document, aabbcc two uncollated ones.
  cli=${KZ_TEST_PRINT_CLI:?} filter=${KZ_TEST_CUPS_FILTER:-} ppd=${KZ_TEST_PPD:-}
  command -v gs >/dev/null || { echo "Ghostscript is not installed"; exit 77; }
  source "$here/../cups/common.sh"
  make_three_pages "$work/in/three.pdf"
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r30 -dLastPage=1 -sOutputFile="$work/in/one.png" "$work/in/three.pdf"
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pwgraster -r150 -dcupsColorSpace=19 -dcupsBitsPerColor=8 \
    -sOutputFile="$work/in/three.pwg" "$work/in/three.pdf" >/dev/null 2>&1
  pattern() {  # pattern FILE WANT WHAT
    local got
    for _ in $(seq 50); do "$inspect" check "$1" >/dev/null 2>&1 && break; sleep 0.2; done
    got=$(page_pattern "$inspect" "$1")
    [ "$got" = "$2" ] || fail "$3: pages $got, not $2"
    echo "$3: $got"
  }
  "$cli" -q --paper a6 --quality draft --copies 2 -o "$work/out/cli-one.prn" "$work/in/one.png" || fail "kzrqo317-print --copies 2"
  pattern "$work/out/cli-one.prn" aa "kzrqo317-print, 2 copies of a PNG"
  "$cli" -q --paper a6 --quality draft --copies 2 -o "$work/out/cli-three.prn" "$work/in/three.pdf" || fail "kzrqo317-print --copies 2"
  pattern "$work/out/cli-three.prn" abcabc "kzrqo317-print, 2 copies of a PDF"
  "$cli" -q --paper a6 --quality draft --copies 2 --no-collate -o "$work/out/cli-uncollated.prn" - < "$work/in/three.pdf" ||
    fail "kzrqo317-print --copies 2 --no-collate from standard input"
  pattern "$work/out/cli-uncollated.prn" aabbcc "kzrqo317-print, 2 uncollated copies from standard input"

  start_server
  add_printer
  app_copies() {  # app_copies NAME FILE FORMAT HANDLING WANT
    local id
    id=$(ipptool -tv -T 60 -f "$2" -d jobname="$1" -d format="$3" -d copies=2 -d handling="$4"          "$(printer_uri)" "$here/copies.test" | sed -n 's/.*job-id (integer) = \([0-9]*\).*/\1/p' | head -1)
    [ -n "$id" ] || fail "the app refused $1"
    [ "$(wait_job "$id")" = completed ] || { job_state "$id" | grep job-state; fail "$1 did not complete"; }
    pattern "$(output "$id" "$1")" "$5" "the app, $1"
    job_state "$id" | grep -q "job-impressions-completed (integer) = ${#5}" || fail "$1: job-impressions-completed is not ${#5}"
  }
  collated=separate-documents-collated-copies uncollated=separate-documents-uncollated-copies
  app_copies png "$work/in/one.png" image/png "$collated" aa
  app_copies pdf "$work/in/three.pdf" application/pdf "$collated" abcabc
  app_copies pdf-uncollated "$work/in/three.pdf" application/pdf "$uncollated" aabbcc
  app_copies pwg "$work/in/three.pwg" image/pwg-raster "$collated" abcabc
  app_copies pwg-uncollated "$work/in/three.pwg" image/pwg-raster "$uncollated" aabbcc

  if [ -n "$filter" ] && [ -n "$ppd" ] && command -v cupsfilter >/dev/null; then
    private_serverbin "$work/serverbin" "$filter"
    printf 'ServerBin %s\nDataDir %s\n' "$work/serverbin" "$(cups-config --datadir)" > "$work/cups-files.conf"
    cups_copies() {  # cups_copies NAME FILE WANT OPTIONS...
      local name=$1 file=$2 want=$3; shift 3
      cupsfilter -c "$work/cups-files.conf" -p "$ppd" -m printer/kzrqo317 -e -o PageSize=A6 -o print-quality=3 "$@" \
        "$file" > "$work/out/cups-$name.prn" 2> "$work/cups.log" || { tail "$work/cups.log"; fail "cupsfilter $name"; }
      pattern "$work/out/cups-$name.prn" "$want" "the CUPS filter, $name"
    }
    cups_copies png "$work/in/one.png" aa -n 2
    cups_copies pdf "$work/in/three.pdf" abcabc -n 2
    cups_copies pdf-uncollated "$work/in/three.pdf" aabbcc -n 2 -o collate=false
    # CUPS raster made elsewhere: the job's copies count.
    cupsfilter -c "$work/cups-files.conf" -p "$ppd" -m application/vnd.cups-raster -e -o PageSize=A6 \
      "$work/in/three.pdf" > "$work/in/three.ras" 2>/dev/null || fail "cupsfilter could not make CUPS raster"
    cups_copies raster "$work/in/three.ras" abcabc -n 2 -i application/vnd.cups-raster
  else
    echo "cupsfilter, the filter or the PPD missing: CUPS not tried"
  fi
  ;;

substitution)
  # Offer only what prints, substitute only when allowed: no zero-margin
  # media for sizes without borderless printing; settings that do not print
  # together refused with ipp-attribute-fidelity, else printed with the
  # nearest (the job says what changed), as the command line does by default
  # (--strict refuses); the CUPS filter refuses what its PPD forbids.
  cli=${KZ_TEST_PRINT_CLI:?} filter=${KZ_TEST_CUPS_FILTER:-} ppd=${KZ_TEST_PPD:-}
  "$tool" inputs "$work/in"
  start_server
  add_printer
  attrs=$(ipptool -tv -T 30 "$(printer_uri)" get-printer-attributes.test)
  zero=$(grep -oE 'media-bottom-margin=0 media-left-margin=0 media-right-margin=0 media-size=\{[^}]*\} media-size-name=[^ ]*' <<<"$attrs" |
         sed 's/.*media-size-name=//' | sort -u)
  want=$("$tool" capabilities | awk '$1 == "paper" && $3 == 1 { print $2 }' | sort -u)
  [ "$zero" = "$want" ] || fail "zero-margin media for $(tr '\n' ' ' <<<"$zero"), borderless sizes are $(tr '\n' ' ' <<<"$want")"
  echo "zero-margin media: only the $(wc -l <<<"$want") sizes that print borderless"
  ipptool -t -T 60 -f "$work/in/block.png" "$(printer_uri)" "$here/substitution.test" || fail "fidelity and substitution"
  for job in "a5-borderless:Printing with margins:" "draft-photo:Printing high quality:"; do
    name=${job%%:*} said=${job#*:}
    id=$(job_id_of "$name")
    [ "$(wait_job "$id")" = completed ] || fail "$name did not complete"
    reasons=$(job_state "$id" | grep -E 'job-state-(message|reasons)')
    grep -q "job-state-message .*= $said" <<<"$reasons" && grep -q 'job-completed-with-warnings' <<<"$reasons" ||
      fail "$name does not say '$said' with a warning: $reasons"
    echo "$name: $said (warnings-detected, job-completed-with-warnings)"
  done
  # Draft on photo paper prints as high, through the app and the command line alike.
  "$cli" -q --media photo --quality draft -o "$work/out/cli-draft-photo.prn" "$work/in/block.png" 2> "$work/cli.err" ||
    fail "kzrqo317-print did not print the nearest settings"
  [ "$(wc -l < "$work/cli.err")" = 1 ] && grep -q '^kzrqo317-print: printing high quality instead' "$work/cli.err" ||
    fail "kzrqo317-print does not say in one line what changed: $(cat "$work/cli.err")"
  for _ in $(seq 50); do "$inspect" check "$(job_output draft-photo)" >/dev/null 2>&1 && break; sleep 0.2; done
  cmp -s "$work/out/cli-draft-photo.prn" "$(job_output draft-photo)" || fail "draft on photo prints differently through the app"
  "$cli" -q --strict --media photo --quality draft -o "$work/out/strict.prn" "$work/in/block.png" 2>/dev/null &&
    fail "kzrqo317-print --strict printed draft on photo paper"
  echo "$(cut -c1-80 "$work/cli.err")...; --strict refuses"
  if [ -n "$filter" ] && [ -n "$ppd" ] && command -v cupsfilter >/dev/null; then
    source "$here/../cups/common.sh"
    private_serverbin "$work/serverbin" "$filter"
    printf 'ServerBin %s\nDataDir %s\n' "$work/serverbin" "$(cups-config --datadir)" > "$work/cups-files.conf"
    cupsfilter -c "$work/cups-files.conf" -p "$ppd" -m printer/kzrqo317 -e -o MediaType=photo -o cupsPrintQuality=Draft \
      "$work/in/block.png" > "$work/out/cups.prn" 2> "$work/cups.log" && fail "the CUPS filter printed draft on photo paper"
    grep -q '^ERROR: Page 1 cannot be printed' "$work/cups.log" || fail "the CUPS filter did not refuse with ERROR:"
    [ ! -s "$work/out/cups.prn" ] || fail "the CUPS filter wrote bytes for settings it refused"
    echo "CUPS filter: $(grep -m1 '^ERROR: Page 1' "$work/cups.log" | cut -c1-80)..."
  fi
  ;;

best_quality)
  # The best mode through the app: IPP's print-quality high keeps its
  # meaning, the printer's own attribute kzrqo317-best-quality reaches best,
  # per job or as the printer's default, and the printing defaults page shows it.
  cli=${KZ_TEST_PRINT_CLI:?}
  "$tool" inputs "$work/in"
  start_server
  add_printer
  ipptool -t -T 30 "$(printer_uri)" "$here/best.test" >/dev/null || { ipptool -t -T 30 "$(printer_uri)" "$here/best.test"; fail "the best mode is not offered"; }
  best_job() {  # best_job NAME QUALITY [-d best=...]
    local name=$1 quality=$2 id; shift 2
    ipptool -t -T 60 -f "$work/in/block.png" -d jobname="$name" -d quality="$quality" "$@" "$(printer_uri)" "$here/best.test" >/dev/null ||
      fail "job $name was not accepted"
    [ "$(wait_job "$(job_id_of "$name")")" = completed ] || fail "$name did not complete"
    for _ in $(seq 50); do "$inspect" check "$(job_output "$name")" >/dev/null 2>&1 && break; sleep 0.2; done
  }
  for q in high best; do "$cli" -q --quality $q -o "$work/out/cli-$q.prn" "$work/in/block.png" || fail "kzrqo317-print --quality $q"; done
  best_job high 5 -d best=false
  best_job best 5 -d best=true
  best_job best-from-normal 4 -d best=true
  cmp -s "$(job_output high)" "$work/out/cli-high.prn" || fail "print-quality high did not print as high"
  cmp -s "$(job_output best)" "$work/out/cli-best.prn" || fail "kzrqo317-best-quality=true did not print as best"
  cmp -s "$(job_output best-from-normal)" "$work/out/cli-best.prn" || fail "kzrqo317-best-quality=true at normal did not print as best"
  ipptool -t -T 30 -d setdefault=true "$(printer_uri)" "$here/best.test" >/dev/null || fail "cannot make best the printer's default"
  best_job by-default 5
  cmp -s "$(job_output by-default)" "$work/out/cli-best.prn" || fail "the printer's default best did not print as best"
  page=$(curl -s "http://127.0.0.1:$port/kz/printing")
  grep -q 'Best Quality (slowest):</th><td><input type="checkbox" name="kzrqo317-best-quality" checked>' <<<"$page" ||
    fail "the printing defaults page does not show best quality set: $(grep -i best <<<"$page")"
  echo "print-quality high prints high; kzrqo317-best-quality per job and as the default prints best; the defaults page shows it"
  ;;

*) fail "unknown case $case_name";;
esac
