#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks the installed tree with
# a consumer program (consumer_test.sh).
# Usage: install_test.sh <build directory>
set -euo pipefail
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
# Only the core's components: other parts may install to fixed system places.
for component in lib dev tools; do
  cmake --install "$1" --prefix "$prefix" --component "$component" >/dev/null
done
"$(dirname "$0")/consumer_test.sh" "$prefix"
