#!/usr/bin/env bash
# Builds the library and its tools, prints the built-in test page, shows
# what the printer would receive and draws what it would print
# (build/kzrqo317-demo.png, when the inspector was built with libpng).
# Arguments go to the demo (try --help).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target kzrqo317-demo kzrqo317-inspect >/dev/null
out=build/kzrqo317-demo.prn
build/default/tools/demo/kzrqo317-demo --out "$out" "$@"
inspect=build/default/tools/inspect/kzrqo317-inspect
"$inspect" stats "$out"
status=0
message=$("$inspect" render -o build/kzrqo317-demo.png "$out" 2>&1) || status=$?
if [ "$status" -eq 2 ] && grep -q 'not available' <<<"$message"; then
  echo "no page preview: the inspector was built without libpng"
else
  echo "$message"
  exit "$status"
fi
