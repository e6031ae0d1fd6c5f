#!/usr/bin/env bash
# Installs the built packages with apt into a clean Debian root and prints
# through each front end there (in_root_test.sh).  The root is a copy of a
# base made by mmdebstrap with the packages' outside dependencies and the test
# tools, cached under build/package-root/ and made again when the list of
# dependencies changes or the cache is missing.  The test runs in its own
# mount and PID namespaces, so that nothing it starts outlives it.
# Usage: clean_root_test.sh <directory of .deb files>
set -euo pipefail
debs=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
cache=${KZ_ROOT_CACHE:-$(cd "$here/../.." && pwd)/build/package-root}
fail() { echo "FAIL: $*" >&2; exit 1; }

# What our packages depend on or recommend from Debian, and what the test uses:
# cupsfilter (cups), setpriv (util-linux), systemd-analyze (systemd), man (man-db,
# for the man pages and the unit's Documentation=).
deps=$(for f in "$debs"/*.deb; do
         for field in Pre-Depends Depends Recommends; do dpkg-deb -f "$f" "$field"; echo; done
       done | tr ',' '\n' | sed 's/|.*//; s/(.*//; s/:any//; s/[[:space:]]//g' | grep -v -e '^$' -e kzrqo317)
deps=$(printf '%s\n' $deps cups systemd util-linux passwd man-db | sort -u | tr '\n' ',')
deps=${deps%,}
sources=$(ls /etc/apt/sources.list.d/debian.sources 2>/dev/null || echo /etc/apt/sources.list)
key=$(printf '%s\n%s\n' "$deps" "$(cat "$sources")" | sha256sum | cut -c1-16)
base=$cache/base-$key.tar
if [ ! -s "$base" ]; then
  mkdir -p "$cache"
  rm -f "$cache"/base-*.tar
  echo "making the base root ($base): $deps"
  start=$SECONDS
  mmdebstrap --quiet --mode=root --format=tar --variant=apt --include="$deps" bookworm "$base.part" "$sources" ||
    fail "mmdebstrap could not make the base root"
  mv "$base.part" "$base"
  echo "base root made in $((SECONDS - start)) s"
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
tar -x -C "$root" -f "$base"
mkdir -p "$root/tmp/debs"
cp "$debs"/*.deb "$root/tmp/debs/"
cp "$here/in_root_test.sh" "$root/tmp/"
# A fresh /proc and /run of its own, and PID 1 of its namespace: every process
# the test leaves dies with it.
unshare --mount --pid --fork --propagation private sh -c '
  mount -t proc proc "$1/proc" && mount -t tmpfs tmpfs "$1/run" &&
    mount -t devpts -o newinstance,ptmxmode=0666 devpts "$1/dev/pts"
  exec chroot "$1" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 bash /tmp/in_root_test.sh' \
  sh "$root"
