#!/usr/bin/env bash
# Builds the library and its tools, prints the built-in test page and shows
# what the printer would receive.  Arguments go to the demo (try --help).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target kzrqo317-demo kzrqo317-inspect >/dev/null
out=build/kzrqo317-demo.prn
build/default/tools/demo/kzrqo317-demo --out "$out" "$@"
build/default/tools/inspect/kzrqo317-inspect stats "$out"
