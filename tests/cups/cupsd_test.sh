#!/usr/bin/env bash
# A real cupsd, started here in a private configuration, spool and temporary
# directory on a free loopback port (never the machine's own CUPS): lpinfo
# lists the PPD by the name the README's lpadmin example uses, lpadmin adds
# printers by that name on file: device URIs, lp prints a PDF, a PNG and a
# text file with -o options, and a job cancelled in the middle of a page
# still ends that page.  cupsd is stopped on every exit.
#
#   cupsd_test.sh FILTER PPD INSPECT PPD_DIR
set -euo pipefail
FILTER=$1 PPD=$2 INSPECT=$3 PPD_DIR=${4%/}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
work=$(mktemp -d)
chmod 755 "$work"  # as root, cupsd runs filters as lp
cupsd_pid=
stop() {
  if [ -n "$cupsd_pid" ]; then
    kill "$cupsd_pid" 2>/dev/null || true
    wait "$cupsd_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap stop EXIT

# DataDir: the machine's CUPS data without its PPDs.
mkdir -p "$work/data/model" "$work/etc" "$work/out" "$work/log"
for f in "$(cups-config --datadir)"/*; do
  [ "$(basename "$f")" = model ] || ln -s "$f" "$work/data/"
done
private_serverbin "$work/serverbin" "$FILTER"

# The PPD goes where the install puts it (PPD_DIR), as cupsd sees it: the
# LSB folders (/usr/share/ppd, ...) in a mount namespace of cupsd's own with
# a folder of ours bound over them, never touching the machine's; CUPS's
# DataDir/model in the private DataDir.  lpadmin then takes the PPD by the
# name the README's example gives.
ppd_name=$(sed -n 's/^sudo lpadmin -p inkjet .* -m \([^ ]*\)$/\1/p' "$here/../../README.md")
[ -n "$ppd_name" ] || fail "README.md has no 'sudo lpadmin -p inkjet ... -m NAME' example"
in_namespace=()  # what cupsd starts under; it must exec cupsd, so that $! is cupsd
model=$(cups-config --datadir)/model
case $PPD_DIR/ in
  /usr/share/ppd/* | /usr/local/share/ppd/* | /opt/share/ppd/*)
    lsb=${PPD_DIR%%/share/ppd*}/share/ppd
    file=${PPD_DIR#"$lsb"}/kzrqo317.ppd
    install -D -m 644 "$PPD" "$work/lsb$file"
    chmod -R a+rX "$work/lsb"
    bind='mount --bind "$0" "$1" && shift && exec "$@"'
    if unshare --mount --propagation private sh -c "$bind" "$work/lsb" "$lsb" true 2>/dev/null; then
      in_namespace=(unshare --mount --propagation private sh -c "$bind" "$work/lsb" "$lsb")
    else
      ppd_name=${file#/}
      echo "note: no mount namespace here (it needs root): the README's name is not checked, $ppd_name is"
      install -D -m 644 "$PPD" "$work/data/model/$ppd_name"
    fi ;;
  "$model"/*) install -D -m 644 "$PPD" "$work/data/model${PPD_DIR#"$model"}/kzrqo317.ppd" ;;
  *) fail "the PPD is installed to $PPD_DIR, where CUPS does not look" ;;
esac
chmod 777 "$work/out"

cat > "$work/etc/cups-files.conf" <<EOF
ServerRoot $work/etc
RequestRoot $work/spool
TempDir $work/spool/tmp
CacheDir $work/cache
StateDir $work/state
ServerBin $work/serverbin
DataDir $work/data
ErrorLog $work/log/error_log
AccessLog $work/log/access_log
PageLog $work/log/page_log
Printcap $work/printcap
FileDevice Yes
EOF
mkdir -p "$work/spool/tmp" "$work/cache" "$work/state"
if [ "$(id -u)" -eq 0 ]; then
  printf 'User lp\nGroup lp\nSystemGroup root\n' >> "$work/etc/cups-files.conf"
  chgrp lp "$work/spool" "$work/spool/tmp" "$work/cache"
fi
chmod 0710 "$work/spool"
chmod 1770 "$work/spool/tmp" "$work/cache"

port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
started=
for attempt in 1 2 3 4 5; do
  port=$((20000 + RANDOM % 20000))
  port_free "$port" || continue
  cat > "$work/etc/cupsd.conf" <<EOF
Listen 127.0.0.1:$port
LogLevel debug
Browsing No
WebInterface No
DefaultAuthType None
PreserveJobHistory Yes
<Location />
  Order allow,deny
  Allow 127.0.0.1
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow 127.0.0.1
  </Limit>
</Policy>
EOF
  "${in_namespace[@]}" cupsd -f -c "$work/etc/cupsd.conf" -s "$work/etc/cups-files.conf" &
  cupsd_pid=$!
  export CUPS_SERVER=127.0.0.1:$port
  for _ in $(seq 50); do
    [ "$(lpstat -r 2>/dev/null)" = "scheduler is running" ] && { started=1; break; }
    kill -0 "$cupsd_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$started" ] && break
  kill "$cupsd_pid" 2>/dev/null || true
  wait "$cupsd_pid" 2>/dev/null || true
  cupsd_pid=
done
[ -n "$started" ] || { cat "$work/log/error_log" >&2 2>/dev/null; fail "cupsd did not start"; }
trap 'tail -40 "$work/log/error_log" >&2' ERR
echo "cupsd on 127.0.0.1:$port"

lpinfo -m | grep -q "^$ppd_name " || fail "lpinfo -m does not list $ppd_name, but: $(lpinfo -m | grep kzrqo317 || true)"

# Documents: the test PDF, one of its pages as PNG, and plain text.
make_document "$work/doc.pdf"
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=png16m -r40 -dFirstPage=2 -dLastPage=2 \
  -sOutputFile="$work/photo.png" "$work/doc.pdf"
for i in $(seq 40); do echo "Line $i of a plain text job, printed in grey at draft quality."; done > "$work/text.txt"

# submit PRINTER FILE OPTIONS...: a printer of its own for each job, so each
# job has its own output file; prints the job id.
submit() {
  local name=$1 file=$2; shift 2
  lpadmin -p "$name" -E -v "file://$work/out/$name.prn" -m "$ppd_name" ||
    fail "lpadmin -p $name"
  lp -d "$name" "$@" "$file" | sed -n 's/^request id is [^-]*-\([0-9]*\).*/\1/p'
}
wait_done() {  # wait_done ID...
  for _ in $(seq 600); do
    local busy=0 id
    for id in "$@"; do
      grep -qE "\[Job $id\] (Job completed|Job aborted|Job stopped|Job canceled|Job cancelled)" \
        "$work/log/error_log" || busy=1
    done
    [ $busy = 0 ] && return 0
    sleep 0.2
  done
  fail "jobs $* did not finish"
}
completed() { grep -q "\[Job $1\] Job completed" "$work/log/error_log" || { grep "\[Job $1\]" "$work/log/error_log" | grep -E "ERROR|abort|stop" >&2; fail "job $1 did not complete"; }; }

pdf=$(submit pdf "$work/doc.pdf")
png=$(submit png "$work/photo.png" -o print-quality=5 -o MediaType=photo -o PageSize=4x6.Fullbleed)
txt=$(submit text "$work/text.txt" -o ColorModel=Gray -o print-quality=3)
wait_done "$pdf" "$png" "$txt"
completed "$pdf"; completed "$png"; completed "$txt"
check_stream "$work/out/pdf.prn" 4
"$INSPECT" check "$work/out/png.prn" >/dev/null || fail "png job: malformed stream"
"$INSPECT" check "$work/out/text.prn" >/dev/null || fail "text job: malformed stream"
echo "ok: PDF, PNG and text jobs complete"

# Cancelled in the middle of a page: many slow pages, cancelled once the
# filter reports a page half done.
slow=$(submit slow "$work/doc.pdf" -n 4 -o FinestQuality=True -o MediaType=photo-best -o Dither=Quality)
for _ in $(seq 600); do
  grep -qE "\[Job $slow\] ATTR: job-media-progress=(3|4|5|6)[0-9]" "$work/log/error_log" && break
  sleep 0.1
done
grep -qE "\[Job $slow\] ATTR: job-media-progress=" "$work/log/error_log" || fail "the slow job never started a page"
cancel "$slow"
wait_done "$slow"
grep -q "\[Job $slow\] Job completed" "$work/log/error_log" && fail "the cancelled job completed: it was too fast to cancel"
# cupsd logs the job cancelled a moment before the filter's last bytes reach the file.
for _ in $(seq 50); do "$INSPECT" check "$work/out/slow.prn" >/dev/null && break; sleep 0.2; done
"$INSPECT" check "$work/out/slow.prn" >/dev/null || { "$INSPECT" check "$work/out/slow.prn" >&2; fail "cancelled job: malformed stream"; }
json=$("$INSPECT" stats --json "$work/out/slow.prn")
[ "$(jq .pages_without_end <<<"$json")" = 0 ] || fail "the cancelled job left a page open"
[ "$(jq .page_count <<<"$json")" -ge 1 ] || fail "the cancelled job has no page"
echo "ok: cancelled job ends its page ($(jq .page_count <<<"$json") pages)"
