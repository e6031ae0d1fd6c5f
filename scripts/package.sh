#!/usr/bin/env bash
# Builds the Debian packages (debian/, debhelper) as a clean checkout would:
# the files git knows (committed or not, ignored ones left out) are copied to
# build/package/kzrqo317/ and built there by `dpkg-buildpackage -us -uc -b`.
# The packages, their -dbgsym packages and the .changes file go to
# build/packages/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --package
out=build/packages
work=build/package
rm -rf "$work" "$out"
mkdir -p "$work/kzrqo317" "$out"
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
  tar -c --null -T - -f - | tar -x -C "$work/kzrqo317" -f -
(cd "$work/kzrqo317" && nice dpkg-buildpackage -us -uc -b >../build.log 2>&1) ||
  { tail -n 60 "$work/build.log" >&2; echo "dpkg-buildpackage failed: see $work/build.log" >&2; exit 1; }
mv "$work"/*.deb "$work"/*.changes "$work"/*.buildinfo "$out"/
ls "$out"
