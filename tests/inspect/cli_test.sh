#!/usr/bin/env bash
# The inspector's command line: exit status per outcome, files and standard input.
# Usage: cli_test.sh <kzrqo317-inspect> <seed corpus directory> <1 if render is built, else 0>
# KZ_TEST_EMULATOR, when set, is the program that runs the tool (qemu-i386).
set -uo pipefail
read -ra emulator <<<"${KZ_TEST_EMULATOR:-}"
program=$1
seeds=$2
render=${3:-0}
failures=0
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

tool() { "${emulator[@]}" "$program" "$@"; }
from() { local file=$1; shift; tool "$@" <"$file"; }  # from <file> <arguments...>: the file on stdin

# expect <status> <pattern> <command...>
source "$(dirname "$0")/../support/expect.sh"

expect 0 '^ok: 663 bytes, 35 frames, 3 pages, 3 scans' tool check "$seeds/banner_pages.bin"
expect 0 '"ok":true' from "$seeds/forward_scan.bin" stats --json
expect 0 '"ok":true' from "$seeds/blank_page.bin" dump --json -
expect 0 'frames: H 1 N 1' tool stats "$seeds/two_inks_two_blocks_reports.bin"
expect 0 ' N  class 0  length     5$' tool dump "$seeds/blank_page.bin"
expect 1 'error at offset 86 (0x56): truncated' tool check "$seeds/truncated.bin"
expect 1 '"kind":"segment-size"' tool check --json "$seeds/bad_segment_size.bin"
expect 2 'usage' tool
expect 2 'unknown sub-command' tool verify "$seeds/blank_page.bin"
expect 2 'unexpected argument' tool check --pretty "$seeds/blank_page.bin"
expect 2 'cannot open' tool check "$seeds/no-such-file"
expect 0 '^usage' tool check --json --help "$seeds/blank_page.bin"
expect 0 '^usage' tool render -o x.png -h
# stats lists each page; its scans only with --scans.
expect 0 '^page 1 at 0x0: .*1 scans$' tool stats "$seeds/forward_scan.bin"
if tool stats "$seeds/forward_scan.bin" | grep -q '^  scan 1 '; then
    echo "FAIL: stats lists scans without --scans" >&2; failures=$((failures + 1))
fi
expect 0 '^  scan 1 at 0x[0-9a-f]*: forward' tool stats --scans "$seeds/forward_scan.bin"
expect 2 'unexpected argument' tool check --scans "$seeds/forward_scan.bin"
# No file and a terminal on standard input: usage, no waiting.
# (script gives it a terminal, where the machine has pseudo-terminals.)
if command -v script >/dev/null && script -qec true /dev/null </dev/null >/dev/null 2>&1; then
    expect 2 'no stream given' timeout 20 script -qec "${emulator[*]} $program stats" /dev/null </dev/null
fi

# render: one PNG per page, nothing for a malformed stream.
expect 2 "needs '-o OUT.png'" tool render "$seeds/forward_scan.bin"
expect 2 'the scale must be' tool render --scale 0 -o "$out/x.png" "$seeds/forward_scan.bin"
if [ "$render" = 1 ]; then
    expect 0 "^page 3: $out/banner-3.png" tool render -o "$out/banner.png" "$seeds/banner_pages.bin"
    for f in banner.png banner-2.png banner-3.png; do
        [ "$(head -c 8 "$out/$f" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] ||
            { echo "FAIL: $out/$f is not a PNG file" >&2; failures=$((failures + 1)); }
    done
    expect 0 '^page 1: .*, 4 x 35 pixels' from "$seeds/forward_scan.bin" render --stream-columns --scale 8 -o "$out/f.png"
    # The paper view shows the sheet named, with a bleed's width around it.
    expect 0 '^page 1: .*, 500 x [0-9]* pixels' tool render --paper na_index-4x6_4x6in -o "$out/p.png" "$seeds/blank_page.bin"
    expect 2 'the paper must be a size' tool render --paper 4x6 -o "$out/p.png" "$seeds/blank_page.bin"
    expect 1 'truncated' tool render -o "$out/t.png" "$seeds/truncated.bin"
    [ ! -e "$out/t.png" ] || { echo "FAIL: a malformed stream was rendered" >&2; failures=$((failures + 1)); }
    expect 2 'cannot create' tool render -o "$out/no-such-directory/p.png" "$seeds/forward_scan.bin"
else
    expect 2 'render is not available' tool render -o "$out/x.png" "$seeds/forward_scan.bin"
fi
exit $((failures > 0))
