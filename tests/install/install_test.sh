#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks the installed tree with
# a consumer program (consumer_test.sh).
# Usage: install_test.sh <build directory> [print]  (print: the pipeline is built)
set -euo pipefail
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
# The core's and the pipeline's components: the others may install to fixed
# system places.
for component in lib dev tools print-lib print-dev print-tool; do
  cmake --install "$1" --prefix "$prefix" --component "$component" >/dev/null
done
"$(dirname "$0")/consumer_test.sh" "$prefix" "${2:-}"
