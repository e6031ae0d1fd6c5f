#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks the installed tree with
# a consumer program (consumer_test.sh).
# Usage: install_test.sh <build directory>
set -euo pipefail
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
"$(dirname "$0")/consumer_test.sh" "$prefix"
