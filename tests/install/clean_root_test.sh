#!/usr/bin/env bash
# Installs the built packages with apt into a clean Debian root and prints
# through each front end there (in_root_test.sh).  The root is a copy of a
# base made by mmdebstrap with what the packages need from Debian and the test
# tools, cached under build/package-root/ and made again when it is missing or
# the list, the apt sources or the versions of the libraries the packages are
# built against change.  The test runs in mount and PID namespaces of its
# own, so that nothing it starts outlives it.
# Then the root boots with systemd (systemd-nspawn, in a network namespace of
# its own): the service the package enabled starts, confined, as its user,
# and prints what the sub-commands submit (in_root_test.sh --booted).
# Usage: clean_root_test.sh <directory of .deb files>
#        clean_root_test.sh --base    (only make the base; make check starts it early)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${KZ_ROOT_CACHE:-$(cd "$here/../.." && pwd)/build/package-root}
fail() { echo "FAIL: $*" >&2; exit 1; }

# What the packages depend on or recommend (apt fails on anything missing, as
# the root has no package lists), and the test's tools: cupsfilter (cups),
# setpriv (util-linux), systemd-analyze and the init booted (systemd), man
# (man-db, for the man pages and the unit's Documentation=).
libraries=(libc6 libstdc++6 libgcc-s1 libpng16-16 liblcms2-2 libjpeg62-turbo libpixman-1-0 libcups2 libpappl1)
packages=("${libraries[@]}" adduser cups-filters ghostscript avahi-daemon cups systemd util-linux passwd man-db)
sources=$(ls /etc/apt/sources.list.d/debian.sources 2>/dev/null || echo /etc/apt/sources.list)
key=$({ echo "${packages[@]}"; cat "$sources"; dpkg-query -W "${libraries[@]}" 2>/dev/null || true; } |
      sha256sum | cut -c1-16)
base=$cache/base-$key.tar
if [ ! -s "$base" ]; then
  mkdir -p "$cache"
  rm -f "$cache"/base-*.tar "$cache"/base-*.part
  echo "making the base root $base"
  start=$SECONDS
  # apt takes what the machine's own apt cache holds (hard links, where it
  # can) and downloads the rest.
  include=$(IFS=,; echo "${packages[*]}")
  mmdebstrap --quiet --mode=root --format=tar --variant=apt --include="$include" \
    --dpkgopt=force-unsafe-io --skip=download/empty \
    --setup-hook='mkdir -p "$1/var/cache/apt/archives" && { cp -l /var/cache/apt/archives/*.deb "$1/var/cache/apt/archives/" 2>/dev/null || true; }' \
    bookworm "$base.$$.part" "$sources" || fail "mmdebstrap could not make the base root"
  mv "$base.$$.part" "$base"
  echo "base root made in $((SECONDS - start)) s"
fi
[ "${1:-}" != --base ] || exit 0

debs=$(realpath "$1")
root=$(mktemp -d)
machine=kzrqo317-test-$$
nspawn=
cleanup() {
  if [ -n "$nspawn" ] && kill -0 "$nspawn" 2>/dev/null; then
    kill -TERM "$nspawn"; sleep 2; kill -KILL "$nspawn" 2>/dev/null || true
  fi
  wait 2>/dev/null || true
  rm -rf "$root" "$root.boot.log" "/run/systemd/nspawn/propagate/$machine"
}
trap cleanup EXIT
tar -x -C "$root" -f "$base"
mkdir -p "$root/root/debs"
cp "$debs"/*.deb "$root/root/debs/"
cp "$here/in_root_test.sh" "$root/root/"
run=(/usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 HOME=/root bash /root/in_root_test.sh)
# A /proc, /run and /dev/pts of its own, and PID 1 of its namespace: every
# process the test leaves dies with it.
unshare --mount --pid --fork --propagation private sh -c '
  mount -t proc proc "$1/proc" && mount -t tmpfs tmpfs "$1/run" &&
    mount -t devpts -o newinstance,ptmxmode=0666 devpts "$1/dev/pts"
  root=$1; shift; exec chroot "$root" "$@"' sh "$root" "${run[@]}"

systemd-nspawn --quiet --directory="$root" --machine="$machine" --register=no --keep-unit \
  --private-network --boot >"$root.boot.log" 2>&1 &
nspawn=$!
init=
for _ in $(seq 100); do init=$(pgrep -P "$nspawn" -x systemd) && break; sleep 0.1; done
[ -n "$init" ] || { cat "$root.boot.log"; fail "the root did not boot"; }
inside() { nsenter --target "$init" --all --root --wd "$@"; }
for _ in $(seq 300); do
  case $(inside systemctl is-active kzrqo317-printer-app 2>/dev/null) in active|failed) break ;; esac
  sleep 0.1
done
status=0
inside "${run[@]}" --booted || status=$?
inside systemctl poweroff 2>/dev/null || true
for _ in $(seq 100); do kill -0 "$nspawn" 2>/dev/null || break; sleep 0.1; done
[ $status -eq 0 ] || tail -n 20 "$root.boot.log"
exit $status
