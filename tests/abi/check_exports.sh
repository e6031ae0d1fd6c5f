#!/usr/bin/env bash
# Compares the dynamic symbols a library defines with the list of names it
# must export: nothing missing, nothing extra.
set -euo pipefail
lib=$1 list=$2
want=$(grep -v -E '^\s*(#|$)' "$list" | sort -u)
# Linker symbols, and the ODR indicators AddressSanitizer adds beside exported data.
have=$(nm -D --defined-only "$lib" | awk '{print $3}' |
       grep -v -E '^(_init|_fini|_edata|_end|__bss_start|__odr_asan\..*)$' | sort -u)
missing=$(comm -23 <(echo "$want") <(echo "$have"))
extra=$(comm -13 <(echo "$want") <(echo "$have"))
[ -z "$missing" ] || { echo "not exported:"; echo "$missing"; }
[ -z "$extra" ] || { echo "exported but not listed:"; echo "$extra"; }
[ -z "$missing$extra" ] && echo "exports match: $(echo "$want" | wc -l) names"
[ -z "$missing$extra" ]
