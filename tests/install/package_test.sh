#!/usr/bin/env bash
# The Debian packages of `make package`: all eight are there with their -dbgsym
# packages, at the project's version, with the dependencies, symbols files
# and systemd handling they need; lintian finds no error or warning; no file
# is in two packages; unpacked together they give the installed tree the
# consumer test expects; and installed by apt into a clean root they print
# through every front end (clean_root_test.sh).
# Usage: package_test.sh <directory of .deb files and the .changes file>
set -euo pipefail
debs=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

deb() { compgen -G "$debs/$1_*.deb" | head -n 1; }
version=$(sed -n 's/^project(kzrqo317 VERSION \([0-9.]*\).*/\1/p' "$here/../../CMakeLists.txt")
for package in libkzrqo317-1 libkzrqo317-dev libkzrqo317-print1 libkzrqo317-print-dev kzrqo317-tools \
               kzrqo317-print printer-driver-kzrqo317 kzrqo317-printer-app; do
  [ -n "$(deb "$package")" ] || fail "no $package package in $debs"
  [ "$(dpkg-deb -f "$(deb "$package")" Version)" = "$version" ] ||
    fail "$package is not at the project's version $version (debian/changelog)"
  case $package in *-dev) ;; *) [ -n "$(deb "$package-dbgsym")" ] || fail "no $package-dbgsym package" ;; esac
done
depends() {  # depends <package> <pattern of one dependency>
  local all
  all=$(dpkg-deb -f "$(deb "$1")" Depends)
  grep -qE "(^|, )$2(,|$)" <<<"$all" || fail "$1 does not depend on $2: Depends: $all"
}
ours() { echo "$1 \((= $version|>= [^)]*)\)"; }
depends libkzrqo317-dev "$(ours libkzrqo317-1)"
depends libkzrqo317-print1 "$(ours libkzrqo317-1)"
depends libkzrqo317-print-dev "$(ours libkzrqo317-print1)"
depends libkzrqo317-print-dev "$(ours libkzrqo317-dev)"
for package in kzrqo317-print printer-driver-kzrqo317 kzrqo317-printer-app; do
  depends "$package" "$(ours libkzrqo317-print1)"
done
depends kzrqo317-tools "$(ours libkzrqo317-1)"
depends printer-driver-kzrqo317 cups-filters
depends kzrqo317-printer-app "libpappl1 \([^)]*\)"
depends kzrqo317-printer-app adduser
grep -q avahi-daemon <<<"$(dpkg-deb -f "$(deb kzrqo317-printer-app)" Recommends)" ||
  fail "kzrqo317-printer-app does not recommend avahi-daemon"
for lib in libkzrqo317-1:libkzrqo317 libkzrqo317-print1:libkzrqo317-print; do
  grep -q "^${lib#*:}.so.1 ${lib%%:*} " <<<"$(dpkg-deb -I "$(deb "${lib%%:*}")" symbols)" ||
    fail "${lib%%:*} has no symbols file for ${lib#*:}.so.1"
done
# debhelper enables and starts the service (where systemd runs) and the
# package makes its user before that.
postinst=$(dpkg-deb -I "$(deb kzrqo317-printer-app)" postinst)
grep -q 'deb-systemd-helper .*enable' <<<"$postinst" || fail "the printer app's postinst does not enable the service"
grep -q "deb-systemd-invoke .*'kzrqo317-printer-app.service'" <<<"$postinst" || fail "the printer app's postinst does not start the service"
[ "$(grep -n 'adduser --system' <<<"$postinst" | cut -d: -f1)" -lt "$(grep -n deb-systemd-helper <<<"$postinst" | head -1 | cut -d: -f1)" ] ||
  fail "the printer app's postinst starts the service before it makes its user"

# lintian as Debian 12 ships it: no error, no warning; the info tags are listed.
changes=$(compgen -G "$debs/*.changes" | head -n 1)
[ -n "$changes" ] || fail "no .changes file in $debs"
lintian --fail-on error,warning --display-info "$changes" >"$root/lintian.txt" 2>&1 || { cat "$root/lintian.txt"; fail "lintian"; }
echo "lintian: 0 errors, 0 warnings; info: $(grep -o '^I: [^ ]* [^ ]*' "$root/lintian.txt" | cut -d' ' -f3 | sort | uniq -c | xargs)"

files=$(for f in "$debs"/*.deb; do dpkg-deb -c "$f"; done | awk '$1 !~ /^d/ {print $6}' | sort)
twice=$(uniq -d <<<"$files")
[ -z "$twice" ] || fail "files in two packages: $twice"
for f in "$debs"/*.deb; do dpkg -x "$f" "$root/tree"; done
"$here/consumer_test.sh" "$root/tree/usr" print
"$here/clean_root_test.sh" "$debs"
echo "packages: $(cd "$debs" && echo *.deb)"
