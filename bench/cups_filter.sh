#!/usr/bin/env bash
# Time per page of the CUPS filter alone (CUPS raster in, printer bytes out)
# for an A4 chart (text, colour ramps, patches, an image) in draft, normal,
# high and best quality.  The raster is made once per quality with
# cupsfilter and this printer's PPD; the filter then reads it from a file.
#
#   bench/cups_filter.sh [BUILD_DIR]   (default build/default; CPU seconds are
#                                       the better figure on a busy machine)
set -euo pipefail
build=${1:-build/default}
filter=$build/cups/rastertokzrqo317
ppd=$build/cups/ppd/kzrqo317.ppd
[ -x "$filter" ] && [ -f "$ppd" ] || { echo "build rastertokzrqo317 and kzrqo317-ppd first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/chart.ps" <<'EOF'
%!PS
/Helvetica findfont 9 scalefont setfont
0 1 19 { /i exch def 40 800 i 11 mul sub moveto
  (Chart: small text for edges and fine detail, line ) show i 3 string cvs show } for
/ramp { /c exch def /y exch def 0 1 99 { /k exch def k 100 div /c load exec 40 k 5.15 mul add y 5.15 30 rectfill } for } def
560 { dup dup setrgbcolor } ramp    520 { 1 exch sub 1 1 setrgbcolor } ramp
480 { 1 exch 1 exch sub 1 setrgbcolor } ramp   440 { 1 1 3 -1 roll 1 exch sub setrgbcolor } ramp
400 { 0 0 setrgbcolor } ramp        360 { 0 exch 0 setrgbcolor } ramp
320 { 0 0 3 -1 roll setrgbcolor } ramp
gsave 40 60 translate 515 240 scale /r 0 def
64 32 8 [64 0 0 32 0 0]
{ /r r 1 add def /s 192 string def
  0 1 191 { /i exch def s i i 3 idiv 4 mul i 3 mod r mul 8 mul add 255 and put } for s }
false 3 colorimage grestore
showpage
EOF
gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sPAPERSIZE=a4 -sOutputFile="$work/chart.pdf" "$work/chart.ps"

runs=${KZ_RUNS:-3}
printf '%-8s %10s %10s %12s\n' quality "s/page" "cpu s/page" bytes
for q in Draft Normal High Best; do
  options=(-o cupsPrintQuality=$q)
  [ $q = Best ] && options=(-o cupsPrintQuality=High -o FinestQuality=True -o MediaType=photo-best)
  cupsfilter -p "$ppd" -m application/vnd.cups-raster "${options[@]}" "$work/chart.pdf" \
    > "$work/$q.ras" 2>/dev/null
  TIMEFORMAT='%R %U %S'
  best_real= best_cpu=
  for _ in $(seq "$runs"); do
    read -r real user sys < <({ time "$filter" 1 user chart 1 "" "$work/$q.ras" > "$work/$q.prn" 2>/dev/null; } 2>&1)
    cpu=$(echo "$user + $sys" | bc)
    if [ -z "$best_real" ] || [ "$(echo "$real < $best_real" | bc)" = 1 ]; then best_real=$real; fi
    if [ -z "$best_cpu" ] || [ "$(echo "$cpu < $best_cpu" | bc)" = 1 ]; then best_cpu=$cpu; fi
  done
  printf '%-8s %10s %10s %12s\n' "$q" "$best_real" "$best_cpu" "$(stat -c %s "$work/$q.prn")"
done
