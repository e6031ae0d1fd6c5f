#!/usr/bin/env bash
# The Debian packages of `make package`: each of the core's packages is there
# with its dependencies, no file is in two packages, and unpacked together into
# a scratch root they give the installed tree the consumer test expects.  Every
# program and library packaged finds each library it needs: in the system, or
# in one of our packages, which its package then depends on.
# Usage: package_test.sh <directory of .deb files>
set -euo pipefail
debs=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

deb() { compgen -G "$debs/$1_*.deb" | head -n 1; }
for package in libkzrqo317-1 libkzrqo317-dev kzrqo317-tools; do
  [ -n "$(deb "$package")" ] || fail "no $package package in $debs"
done
version=$(dpkg-deb -f "$(deb libkzrqo317-1)" Version)
depends() {  # depends <package> <pattern of one dependency>
  local all
  all=$(dpkg-deb -f "$(deb "$1")" Depends)
  grep -qE "(^|, )$2(,|$)" <<<"$all" || fail "$1 does not depend on $2: Depends: $all"
}
depends libkzrqo317-dev "libkzrqo317-1 \(= $version\)"
depends kzrqo317-tools "libkzrqo317-1 \(= $version\)"
depends kzrqo317-tools "libpng16-16 \([^)]*\)"
depends libkzrqo317-1 "libc6 \([^)]*\)"
grep -q "^libkzrqo317 1 libkzrqo317-1 " <<<"$(dpkg-deb -I "$(deb libkzrqo317-1)" shlibs)" ||
  fail "libkzrqo317-1 has no shlibs entry for libkzrqo317.so.1"

# The print pipeline, where the build had it.
parts=""
if [ -n "$(deb libkzrqo317-print-1)" ]; then
  parts=print
  depends libkzrqo317-print-1 "libkzrqo317-1 \(= $version\)"
  depends libkzrqo317-print-dev "libkzrqo317-print-1 \(= $version\)"
  depends libkzrqo317-print-dev "libkzrqo317-dev \(= $version\)"
  depends kzrqo317-print "libkzrqo317-print-1 \(= $version\)"
  grep -q "^libkzrqo317-print 1 libkzrqo317-print-1 " <<<"$(dpkg-deb -I "$(deb libkzrqo317-print-1)" shlibs)" ||
    fail "libkzrqo317-print-1 has no shlibs entry for libkzrqo317-print.so.1"
fi

# The CUPS driver, where the build had libcups and ppdc.
if [ -n "$(deb printer-driver-kzrqo317)" ]; then
  depends printer-driver-kzrqo317 "libkzrqo317-1 \(= $version\)"
  depends printer-driver-kzrqo317 "cups-filters"
  if [ -n "$(deb libkzrqo317-print-1)" ]; then
    depends printer-driver-kzrqo317 "libkzrqo317-print-1 \(= $version\)"
  fi
  contents=$(dpkg-deb -c "$(deb printer-driver-kzrqo317)")
  for f in /usr/lib/cups/filter/rastertokzrqo317 /usr/share/ppd/kzrqo317/kzrqo317.ppd; do
    grep -q " \.$f\$" <<<"$contents" || fail "printer-driver-kzrqo317 has no $f"
  done
fi

# The printer application, where the build had libpappl.
if [ -n "$(deb kzrqo317-printer-app)" ]; then
  depends kzrqo317-printer-app "libkzrqo317-1 \(= $version\)"
  depends kzrqo317-printer-app "libpappl1 \([^)]*\)"
  if [ -n "$(deb libkzrqo317-print-1)" ]; then
    depends kzrqo317-printer-app "libkzrqo317-print-1 \(= $version\)"
  fi
  contents=$(dpkg-deb -c "$(deb kzrqo317-printer-app)")
  for f in /usr/bin/kzrqo317-printer-app /usr/lib/systemd/system/kzrqo317-printer-app.service; do
    grep -q " \.$f\$" <<<"$contents" || fail "kzrqo317-printer-app has no $f"
  done
fi

for f in "$debs"/*.deb; do dpkg -x "$f" "$root"; done

# Which of our packages holds each shared library (by SONAME link).
declare -A holder
for f in "$debs"/*.deb; do
  for so in $(dpkg-deb -c "$f" | awk '{print $6}' | grep -o '[^/]*\.so\.[0-9]*$' || true); do
    holder[$so]=$(dpkg-deb -f "$f" Package)
  done
done
ldconfig=$(command -v ldconfig || echo /sbin/ldconfig)
system=$("$ldconfig" -p | awk 'NR > 1 {print $1}')
for f in "$debs"/*.deb; do
  package=$(dpkg-deb -f "$f" Package)
  for path in $(dpkg-deb -c "$f" | awk '$1 ~ /^-/ {print $6}'); do
    readelf -h "$root/$path" >/dev/null 2>&1 || continue
    for so in $(readelf -d "$root/$path" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
      if [ -n "${holder[$so]:-}" ]; then
        [ "${holder[$so]}" = "$package" ] || depends "$package" "${holder[$so]} \(= $version\)"
      else
        grep -qxF "$so" <<<"$system" || fail "${path#.} ($package) needs $so, which neither the system nor our packages provide"
      fi
    done
  done
done

files=$(for f in "$debs"/*.deb; do dpkg-deb -c "$f"; done | awk '$1 !~ /^d/ {print $6}' | sort)
twice=$(uniq -d <<<"$files")
[ -z "$twice" ] || fail "files in two packages: $twice"
"$here/consumer_test.sh" "$root/usr" $parts
echo "packages: $(cd "$debs" && echo *.deb)"
