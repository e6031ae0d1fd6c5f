#!/usr/bin/env bash
# Records the ABI of both libraries (what their exported functions reach) in
# tests/abi/*.abi, from the default preset's build (64-bit, with debug
# information), with source paths relative to the tree.  `make check` compares
# each build with it (tests/abi/check_abi.sh).  Run it when the ABI changes on
# purpose: compatibly, or with a new SONAME.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target kzrqo317 kzrqo317-print
record() {  # record <library> <file>
  abidw --exported-interfaces-only --no-corpus-path --no-comp-dir-path --out-file "$2" "$1"
  sed -i "s|$PWD/||g" "$2"
  echo "$2: $(grep -c '<elf-symbol ' "$2") symbols"
}
record build/default/src/libkzrqo317.so tests/abi/libkzrqo317.abi
record build/default/print/libkzrqo317-print.so tests/abi/libkzrqo317-print.abi
