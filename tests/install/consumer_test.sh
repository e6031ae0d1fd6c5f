#!/usr/bin/env bash
# An installed tree (the prefix of `cmake --install`, or the usr/ of unpacked
# packages) holds the library with its SONAME links, the headers, the
# pkg-config file, the CMake package, the tools and their man pages; a C
# program builds against it through pkg-config and through find_package, links
# the installed library and prints a page the installed inspector accepts.
# With `print`, the same for the print pipeline (its pkg-config file
# kzrqo317-print, kzrqo317::print) and the kzrqo317-print program.
# Usage: consumer_test.sh <prefix> [print]
set -euo pipefail
prefix=$(realpath "$1")
parts=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
have() { [ -e "$1" ] || fail "not installed: ${1#"$prefix"/}"; }

library=$(find "$prefix" -name libkzrqo317.so.1 | head -n 1)
[ -n "$library" ] || fail "no libkzrqo317.so.1 under $prefix"
libdir=$(dirname "$library")
[ "$(readlink "$libdir/libkzrqo317.so")" = libkzrqo317.so.1 ] || fail "libkzrqo317.so does not link to libkzrqo317.so.1"
[[ $(readlink "$library") == libkzrqo317.so.1.* ]] || fail "libkzrqo317.so.1 does not link to the versioned file"
grep -q 'SONAME *libkzrqo317.so.1$' <<<"$(objdump -p "$library")" || fail "SONAME is not libkzrqo317.so.1"
for header in kzrqo317.h export.h job.h platform.h records.h result.h tables.h; do
  have "$prefix/include/kzrqo317/$header"
done
have "$libdir/pkgconfig/kzrqo317.pc"
have "$libdir/cmake/kzrqo317/kzrqo317-config.cmake"
for tool in kzrqo317-demo kzrqo317-inspect; do
  have "$prefix/bin/$tool"
  compgen -G "$prefix/share/man/man1/$tool.1*" >/dev/null || fail "no man page for $tool"
done
export LD_LIBRARY_PATH=$libdir

# Links the installed library, not another copy.
linked() {  # linked <program> [<library>]
  local libraries so=${2:-libkzrqo317.so.1}
  libraries=$(ldd "$1")
  grep -q "$so => $libdir/$so " <<<"$libraries" ||
    fail "$1 does not link $libdir/$so: $(grep kzrqo317 <<<"$libraries")"
}

# pkg-config, seeing only the installed file.
flags=$(PKG_CONFIG_LIBDIR=$libdir/pkgconfig PKG_CONFIG_PATH='' pkg-config --cflags --libs kzrqo317)
# shellcheck disable=SC2086
cc -std=c11 -Wall -Wextra -Werror -o "$work/by-pkg-config" "$here/consumer/consumer.c" $flags
linked "$work/by-pkg-config"
"$work/by-pkg-config" "$work/pkg-config.prn"

# find_package, with the installed tree as the only prefix.
cmake -S "$here/consumer" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
      -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" >"$work/cmake.log" 2>&1 ||
  { cat "$work/cmake.log" >&2; fail "find_package(kzrqo317) did not configure"; }
found=$(sed -n 's/^kzrqo317_DIR:PATH=//p' "$work/build/CMakeCache.txt")
[ "$(realpath "$found")" = "$libdir/cmake/kzrqo317" ] || fail "find_package found $found"
cmake --build "$work/build" >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; fail "the consumer did not build"; }
linked "$work/build/consumer"
"$work/build/consumer" "$work/find-package.prn"

cmp "$work/pkg-config.prn" "$work/find-package.prn" || fail "the two builds print different bytes"
grep -q '^ok: .* 1 pages' <<<"$("$prefix/bin/kzrqo317-inspect" check "$work/pkg-config.prn")" ||
  fail "the consumer's page is not a well-formed one-page stream"
"$prefix/bin/kzrqo317-demo" --mode 11 --blank --out "$work/demo.prn" >/dev/null || fail "the installed demo does not run"
if [ "$parts" = print ]; then
  have "$libdir/libkzrqo317-print.so.1"
  have "$prefix/include/kzrqo317/print.h"
  have "$prefix/bin/kzrqo317-print"
  compgen -G "$prefix/share/man/man1/kzrqo317-print.1*" >/dev/null || fail "no man page for kzrqo317-print"
  flags=$(PKG_CONFIG_LIBDIR=$libdir/pkgconfig PKG_CONFIG_PATH='' pkg-config --cflags --libs kzrqo317-print) ||
    fail "pkg-config does not find kzrqo317-print"
  # shellcheck disable=SC2086
  cc -std=c11 -Wall -Wextra -Werror -o "$work/print-by-pkg-config" "$here/consumer/print_consumer.c" $flags
  linked "$work/print-by-pkg-config" libkzrqo317-print.so.1
  [ -x "$work/build/print_consumer" ] || fail "find_package(kzrqo317) gave no kzrqo317::print"
  linked "$work/build/print_consumer" libkzrqo317-print.so.1
  "$work/print-by-pkg-config" "$work/print-pkg-config.prn"
  "$work/build/print_consumer" "$work/print-find-package.prn"
  cmp "$work/print-pkg-config.prn" "$work/print-find-package.prn" || fail "the two print consumers print different bytes"
  grep -q '^ok: .* 1 pages' <<<"$("$prefix/bin/kzrqo317-inspect" check "$work/print-pkg-config.prn")" ||
    fail "the print consumer's page is not a well-formed one-page stream"
  "$prefix/bin/kzrqo317-print" --list >/dev/null || fail "the installed kzrqo317-print does not run"
fi
echo "installed tree under $prefix: library, headers, pkg-config, CMake package, tools${parts:+, print pipeline}; consumers built both ways"
