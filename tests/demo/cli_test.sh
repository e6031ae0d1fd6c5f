#!/usr/bin/env bash
# The demo's command line: the script answers --help and refuses a mode no
# settings select without building anything, and lists the same modes as the
# program; the program refuses bad numbers and reports a file it cannot write.
# Usage: cli_test.sh <kzrqo317-demo> <scripts/demo.sh>
# KZ_TEST_EMULATOR, when set, is the program that runs the demo (qemu-i386).
set -uo pipefail
read -ra emulator <<<"${KZ_TEST_EMULATOR:-}"
program=$1
script=$2
failures=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
demo() { "${emulator[@]}" "$program" "$@"; }

# expect <status> <pattern> <command...>
source "$(dirname "$0")/../support/expect.sh"

# A cmake that leaves a mark shows whether the script tried to build.
mkdir "$scratch/bin"
printf '#!/bin/sh\ntouch "%s/built"\nexit 1\n' "$scratch" >"$scratch/bin/cmake"
chmod +x "$scratch/bin/cmake"
demo_script() { PATH="$scratch/bin:$PATH" "$script" "$@"; }
expect 0 '^  15  plain paper, fine, borderless$' demo_script --pages 2 --help
expect 2 "no settings select print mode '14'" demo_script --mode 14
expect 2 '^   4  plain paper, photo$' demo_script --mode 4x
[ ! -e "$scratch/built" ] || { echo "FAIL: the demo script built for --help or a refused mode" >&2; failures=$((failures + 1)); }
if ! cmp -s <(demo_script --help | sed -n '/^print modes:/,$p') <(demo --help | sed -n '/^print modes:/,$p'); then
    echo "FAIL: the script and the program list different print modes" >&2
    failures=$((failures + 1))
fi

expect 2 "no settings select print mode '14'" demo --mode 14
expect 2 "no settings select print mode 'photo'" demo --mode photo
expect 2 'page count must be a whole number' demo --pages 0
expect 2 "unexpected argument '--colour'" demo --colour
expect 0 "written to $scratch/blank.prn" demo --mode 11 --blank --out "$scratch/blank.prn"
[ -s "$scratch/blank.prn" ] || { echo "FAIL: no bytes written" >&2; failures=$((failures + 1)); }
expect 1 'cannot write' demo --blank --out "$scratch/no-such-directory/x.prn"
exit $((failures > 0))
