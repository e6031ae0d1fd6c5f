#!/usr/bin/env bash
# Builds and tests every preset: native 64-bit, 32-bit x86, sanitizers, clang,
# and the thread sanitizer build (its preset builds and runs only the test of
# jobs on separate threads).  Where the kernel cannot run 32-bit programs, the
# i386 build runs its tests under qemu-i386; KZ_FORCE_EMULATOR=ON does so anyway.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The package test's clean root (mmdebstrap, mostly dpkg's disk work) is made
# meanwhile, when it is not cached in build/package-root.
mkdir -p build
tests/install/clean_root_test.sh --base >build/package-root.log 2>&1 &
base_root=$!
presets=(${KZ_PRESETS:-default i386 asan clang tsan})
for preset in "${presets[@]}"; do
  echo "== $preset"
  cmake --preset "$preset" -DKZ_FORCE_EMULATOR="${KZ_FORCE_EMULATOR:-OFF}" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
# The page benchmark, briefly, so that it keeps building and running: one
# iteration each of a few fast cases (the README says how to run it all).
if [[ " ${presets[*]} " == *" default "* ]]; then
  echo "== page benchmark (brief)"
  build/default/bench/bench_page --benchmark_filter='mode:(0|2|13)/content:2' \
    --benchmark_min_time=0 | tee build/default/bench_page.txt
  ! grep -q "ERROR OCCURRED" build/default/bench_page.txt
fi
# The 64-bit and the 32-bit build must write byte-identical streams: both
# print the golden jobs and their checksum lists must match.  (Both builds'
# golden tests also compare with the same committed file.)
if [[ " ${presets[*]} " == *" default "* && " ${presets[*]} " == *" i386 "* ]]; then
  echo "== golden streams: default and i386"
  # The 32-bit program runs under the emulator its build chose, if any.
  read -ra emulator <<<"$(sed -n 's/^KZ_TEST_EMULATOR:INTERNAL=//p' build/i386/CMakeCache.txt)"
  cmp <(build/default/tests/golden_streams) <("${emulator[@]}" build/i386/tests/golden_streams)
  echo "identical"
fi
# The Debian packages (make package): lintian, the installed tree, and each
# front end printing in a clean root where apt installed them.
echo "== packages"
scripts/package.sh
wait "$base_root" || { cat build/package-root.log; exit 1; }
cat build/package-root.log
tests/install/package_test.sh build/packages
# The clang build carries the fuzzers: give each a short run.
for preset in "${presets[@]}"; do
  if [ "$preset" = clang ]; then
    scripts/fuzz.sh
  fi
done
