#!/usr/bin/env bash
# The inspector's command line: exit status per outcome, files and standard input.
# Usage: cli_test.sh <kzrqo317-inspect> <seed corpus directory>
set -uo pipefail
tool=$1
seeds=$2
failures=0

expect() {  # expect <status> <pattern> <command...>
    local want=$1 pattern=$2
    shift 2
    local out status
    out=$("$@" 2>&1)
    status=$?
    if [ "$status" -ne "$want" ] || ! grep -q -- "$pattern" <<<"$out"; then
        echo "FAIL: $* -> status $status (want $want), output: $out" >&2
        failures=$((failures + 1))
    fi
}

expect 0 '^ok: 663 bytes, 35 frames, 3 pages, 3 scans' "$tool" check "$seeds/banner_pages.bin"
expect 0 '"ok":true' sh -c "\"$tool\" stats --json < \"$seeds/forward_scan.bin\""
expect 0 '"ok":true' sh -c "\"$tool\" dump --json - < \"$seeds/blank_page.bin\""
expect 0 'frames: H 1 N 1' "$tool" stats "$seeds/two_inks_two_blocks_reports.bin"
expect 0 ' N  class 0  length     5$' "$tool" dump "$seeds/blank_page.bin"
expect 1 'error at offset 86 (0x56): truncated' "$tool" check "$seeds/truncated.bin"
expect 1 '"kind":"segment-size"' "$tool" check --json "$seeds/bad_segment_size.bin"
expect 2 'usage' "$tool"
expect 2 'unknown sub-command' "$tool" verify "$seeds/blank_page.bin"
expect 2 'unexpected argument' "$tool" check --pretty "$seeds/blank_page.bin"
expect 2 'cannot open' "$tool" check "$seeds/no-such-file"
exit $((failures > 0))
