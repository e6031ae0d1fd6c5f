#!/usr/bin/env bash
# Builds the library and runs the demo job on its built-in example.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target kzrqo317-demo >/dev/null
build/default/tools/demo/kzrqo317-demo "$@"
