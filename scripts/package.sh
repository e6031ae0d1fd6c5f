#!/usr/bin/env bash
# Builds the Debian packages (CPack's DEB generator, see cmake/packaging.cmake)
# from the release build for /usr, into build/packages/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --package
cmake --preset package >/dev/null
cmake --build --preset package
rm -rf build/packages
cpack --config build/package/CPackConfig.cmake -B build/packages >/dev/null
rm -rf build/packages/_CPack_Packages
ls build/packages/*.deb
