#!/usr/bin/env bash
# Runs every libFuzzer harness of the clang build for a short fixed time
# (KZ_FUZZ_SECONDS, default 30; the readers' read_* harnesses and the settings one
# KZ_FUZZ_READER_SECONDS, default 15) from its committed seed corpus. New inputs go
# to a scratch directory; a crashing input is kept under build/clang/fuzz-crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${KZ_FUZZ_SECONDS:-30}
build=build/clang/fuzz
crashes=build/clang/fuzz-crashes
mkdir -p "$crashes"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
shopt -s nullglob
for source in fuzz/*.cpp; do
  name=$(basename "$source" .cpp)
  binary=$build/fuzz_$name
  if [ ! -x "$binary" ]; then
    echo "fuzz: $binary is not built (run: cmake --build --preset clang)" >&2
    exit 1
  fi
  run=$seconds
  [[ $name == read_* || $name == settings ]] && run=${KZ_FUZZ_READER_SECONDS:-15}
  args=(-max_total_time="$run" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$crashes/$name-")
  [ -f "fuzz/$name.dict" ] && args+=(-dict="fuzz/$name.dict")
  corpora=("$scratch/$name")
  mkdir -p "$scratch/$name"
  [ -d "fuzz/corpus/$name" ] && corpora+=("fuzz/corpus/$name")
  echo "== fuzz $name for ${run}s"
  "$binary" "${args[@]}" "${corpora[@]}"
done
