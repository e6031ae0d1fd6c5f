#!/usr/bin/env bash
# Runs inside the clean root of clean_root_test.sh, as root: installs
# /root/debs/*.deb with apt, then prints through each front end (kzrqo317-print,
# the CUPS filter through cupsfilter, the printer application's unit command
# run by hand as its user) and checks every stream with the installed
# kzrqo317-inspect.  With --booted, in the same root booted with systemd: the
# service runs confined as its user and prints jobs submitted by root and by
# an ordinary user.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
mkdir -p /root/work
cd /root/work
export DEBIAN_FRONTEND=noninteractive

check() {  # check FILE PAGES: a well-formed stream of that many pages
  local report
  report=$(kzrqo317-inspect check "$1") || { echo "$report" | tail -3; fail "$1 is not a well-formed stream"; }
  grep -q " $2 pages" <<<"$report" || fail "$1: $report"
}
as_alice() { setpriv --reuid=alice --regid=alice --init-groups env -i PATH=/usr/bin:/bin HOME=/home/alice "$@"; }
out=/var/lib/kzrqo317-printer-app/out
wait_output() {  # wait_output JOB-NAME: its file (ID-NAME.prn), once it is a whole stream
  local file=
  for _ in $(seq 300); do
    file=$(ls "$out"/*-"$1".prn 2>/dev/null | head -1)
    [ -s "$file" ] && kzrqo317-inspect check "$file" >/dev/null 2>&1 && break
    sleep 0.2
  done
  [ -n "$file" ] || fail "no output for the job $1 in $out: $(ls "$out")"
  check "$file" 1
  [ "$(stat -c %U "$file")" = kzrqo317-app ] || fail "$file was not written by kzrqo317-app"
}

if [ "${1:-}" = --booted ]; then
  [ "$(systemctl is-active kzrqo317-printer-app)" = active ] ||
    { journalctl -u kzrqo317-printer-app --no-pager | tail -20; fail "the service is not running after boot"; }
  status=/proc/$(systemctl show -p MainPID --value kzrqo317-printer-app)/status
  [ "$(awk '/^Uid:/ {print $2}' "$status")" = "$(id -u kzrqo317-app)" ] || fail "the service does not run as kzrqo317-app"
  grep -q '^NoNewPrivs:[[:space:]]*1' "$status" && grep -q '^CapBnd:[[:space:]]*0*$' "$status" ||
    fail "the service is not confined: $(grep -E '^(NoNewPrivs|CapBnd)' "$status" | xargs)"
  as_alice kzrqo317-printer-app submit -d inkjet -t booted-alice -o media=iso_a6_105x148mm /home/alice/chart.png >/dev/null ||
    fail "alice cannot print to the service"
  kzrqo317-printer-app submit -d inkjet -t booted-root -o media=iso_a6_105x148mm doc.pdf >/dev/null ||
    fail "root cannot print to the service"
  wait_output booted-alice
  wait_output booted-root
  echo "ok: booted with systemd, the service ran confined as kzrqo317-app and printed a PNG and a PDF"
  exit 0
fi

apt-get install -y -q /root/debs/*.deb >apt.log 2>&1 || { cat apt.log; fail "apt could not install the packages"; }
for deb in /root/debs/*.deb; do
  p=$(dpkg-deb -f "$deb" Package)
  [ "$(dpkg-query -W -f='${Status}' "$p")" = "install ok installed" ] || fail "$p is not installed"
done
echo "ok: installed $(ls /root/debs | wc -l) packages"

for program in kzrqo317-demo kzrqo317-inspect kzrqo317-print kzrqo317-printer-app; do
  [ "$("$program" --version)" != "" ] || fail "$program --version says nothing"
  man -w "$program" >/dev/null || fail "no man page for $program"
done

# The printer app's --help and man page name every sub-command and option its main loop takes.
help=$(kzrqo317-printer-app --help) manual=$(man kzrqo317-printer-app 2>/dev/null)
for word in add autoadd cancel default delete devices drivers jobs modify options pause printers resume \
            server shutdown status submit -a -d -h -j -m -n -o -t -u -v --version system-socket device-wait \
            page-time-limit document-time-limit; do
  grep -qw -e "$word" <<<"$help" || fail "kzrqo317-printer-app --help does not mention $word"
  grep -qw -e "$word" <<<"$manual" || fail "kzrqo317-printer-app(1) does not mention $word"
done

# kzrqo317-print: a picture (the demo chart's preview) and a PDF through Ghostscript.
kzrqo317-demo --mode 4 --out demo.prn >/dev/null
check demo.prn 1
kzrqo317-inspect render demo.prn -o chart.png >/dev/null
gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sPAPERSIZE=a6 -sOutputFile=doc.pdf \
   -c '0 0.5 0 setrgbcolor 20 20 200 300 rectfill /Helvetica findfont 30 scalefont setfont 40 200 moveto (kzrqo317) show showpage'
kzrqo317-print -q --paper iso_a6_105x148mm chart.png doc.pdf -o print.prn
check print.prn 2
echo "ok: kzrqo317-print: a PNG and a PDF"

# The CUPS driver: cups-filters and Ghostscript turn the PDF into raster for our filter.
cupsfilter -p /usr/share/ppd/kzrqo317/kzrqo317.ppd -m printer/kzrqo317 -e -o PageSize=A6 doc.pdf \
  >cups.prn 2>cups.log || { tail cups.log; fail "cupsfilter failed"; }
check cups.prn 1
echo "ok: cupsfilter through rastertokzrqo317"

# The printer application's service: its unit, its user, and the unit's
# command run by hand as that user (systemd does not run here).
unit=/lib/systemd/system/kzrqo317-printer-app.service
systemd-analyze verify "$unit" 2>verify.log || { cat verify.log; fail "systemd-analyze verify $unit"; }
! grep -v -i avahi verify.log | grep . || { cat verify.log; fail "systemd-analyze verify warns"; }
systemd-analyze security --offline=true "$unit" >security.log 2>&1 || true
echo "ok: unit verified; $(tail -n 1 security.log | sed 's/^→ //')"
[ -L /etc/systemd/system/multi-user.target.wants/kzrqo317-printer-app.service ] || fail "the service is not enabled"
user=$(sed -n 's/^User=//p' "$unit")
[ "$user" = kzrqo317-app ] || fail "the unit runs as '$user'"
getent passwd "$user" >/dev/null || fail "the package made no user $user"
id -nG "$user" | grep -qw lp || fail "$user is not in group lp"

install -d -o "$user" -g "$user" -m 0755 /run/kzrqo317-printer-app
install -d -o "$user" -g "$user" -m 0700 /var/lib/kzrqo317-printer-app "$out"
install -d -o "$user" -g "$user" -m 0700 /tmp/private-tmp
specifiers() { sed 's|%t|/run|g; s|%S|/var/lib|g'; }
eval "$(sed -n 's/^ExecStartPre=+//p' "$unit" | specifiers)"
read -ra server <<<"$(sed -n 's/^ExecStart=//p' "$unit" | specifiers)"
setpriv --reuid="$user" --regid="$user" --init-groups --inh-caps=-all \
  env -i PATH=/usr/bin:/bin HOME=/var/lib/kzrqo317-printer-app TMPDIR=/tmp/private-tmp LANG=C.UTF-8 \
  "${server[@]}" -o server-port=$((20000 + RANDOM % 40000)) >server.log 2>&1 &
server_pid=$!
for _ in $(seq 100); do [ -S /run/kzrqo317-printer-app.sock ] && break; sleep 0.1; done
[ -S /run/kzrqo317-printer-app.sock ] || { cat server.log; fail "the server made no /run/kzrqo317-printer-app.sock"; }
[ "$(awk '/^Uid:/ {print $2}' "/proc/$server_pid/status")" = "$(id -u "$user")" ] || fail "the server does not run as $user"

# Root and an ordinary user reach it through the system socket, not a
# private server of their own (which would have no printers).
useradd -m alice
kzrqo317-printer-app add -d inkjet -m kzrqo317 -v "file://$out?ext=prn" ||
  { tail server.log; fail "root cannot add a printer"; }
as_alice kzrqo317-printer-app printers | grep -qx inkjet || fail "alice's sub-commands do not reach the service"
install -m 644 -o alice chart.png /home/alice/
as_alice kzrqo317-printer-app submit -d inkjet -t from-alice -o media=iso_a6_105x148mm /home/alice/chart.png >/dev/null ||
  fail "alice cannot print"
kzrqo317-printer-app submit -d inkjet -t from-root -o media=iso_a6_105x148mm doc.pdf >/dev/null || fail "root cannot print"
wait_output from-alice
wait_output from-root
echo "ok: the service as $user printed jobs of root and alice"
kzrqo317-printer-app shutdown >/dev/null
running() { [ "$(awk '/^State:/ {print $2}' "/proc/$1/status" 2>/dev/null || echo Z)" != Z ]; }
# (Within 10 s is the printer application's own tests' concern; this machine may be busy.)
for _ in $(seq 300); do running "$server_pid" || break; sleep 0.1; done
! running "$server_pid" || { tail -n 5 server.log; fail "the server did not shut down within 30 s"; }
echo "ok: the clean root"
