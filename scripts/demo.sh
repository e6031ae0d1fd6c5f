#!/usr/bin/env bash
# Builds the library and its tools (the release preset: no tests, no
# benchmarks), prints the built-in test page, summarises what the printer would
# receive and draws what it would print.
#
#   scripts/demo.sh [--mode N] [--pages N] [--banner] [--blank] [--out FILE]
#
# The printer bytes go to FILE (default build/kzrqo317-demo.prn), the preview
# beside it (FILE without .prn, plus .png) when the inspector has libpng.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# The print modes, from the table the demo program is built with.
modes() {
  sed -n 's/^ *{\([0-9]*\), "\([^"]*\)".*/\1 \2/p' "$root/test_page/print_modes.h" |
    while read -r number name; do printf '  %2d  %s\n' "$number" "$name"; done
}
usage() {
  echo "usage: scripts/demo.sh [--mode N] [--pages N] [--banner] [--blank] [--out FILE]"
  echo "print modes:"
  modes
}

out=$root/build/kzrqo317-demo.prn
args=()
while [ $# -gt 0 ]; do
  case $1 in
    -h|--help) usage; exit 0 ;;
    --out)
      [ $# -ge 2 ] || { echo "demo: --out needs a file name" >&2; exit 2; }
      out=$(realpath -m -- "$2"); shift 2 ;;
    --mode)
      if [ $# -lt 2 ] || [[ ! $2 =~ ^[0-9]+$ ]] || ! modes | grep -q "^ *$2  "; then
        echo "demo: no settings select print mode '${2:-}'" >&2
        usage >&2
        exit 2
      fi
      args+=("$1" "$2"); shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done
case $out in
  *.prn) png=${out%.prn}.png ;;
  *) png=$out.png ;;
esac

cd "$root"
scripts/install-deps.sh --demo
echo "building the library and tools (build/release) ..."
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake --preset release && cmake --build --preset release --target kzrqo317-demo kzrqo317-inspect; } >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  exit 1
fi
mkdir -p "$(dirname "$out")"
out=${out#"$root/"} png=${png#"$root/"}  # shown relative to the checkout where inside it
build/release/tools/demo/kzrqo317-demo --out "$out" "${args[@]}"
inspect=build/release/tools/inspect/kzrqo317-inspect
"$inspect" stats "$out"
status=0
# The demo prints on A4 (paper code 3): the preview shows the whole sheet.
message=$("$inspect" render --paper iso_a4_210x297mm -o "$png" "$out" 2>&1) || status=$?
if [ "$status" -eq 2 ] && grep -q 'not available' <<<"$message"; then
  echo "no page preview: the inspector was built without libpng"
else
  echo "$message"
  exit "$status"
fi
