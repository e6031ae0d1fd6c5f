#!/usr/bin/env bash
# The PPD passes cupstestppd, and a PDF printed through cups-filters,
# Ghostscript and our filter (cupsfilter with a private ServerBin) gives
# well-formed streams in several qualities, media, sizes and colour modes; a
# combination the PPD forbids ends in a clear ERROR: and no bytes.
#
#   cupsfilter_test.sh FILTER PPD INSPECT
set -euo pipefail
FILTER=$1 PPD=$2 INSPECT=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# cupstestppd, the filter looked up under a private root.
serverbin=$(cups-config --serverbin)
mkdir -p "$work/root$serverbin/filter"
install -m 755 "$FILTER" "$work/root$serverbin/filter/"
cupstestppd -R "$work/root" "$PPD" || fail "cupstestppd: $PPD"

private_serverbin "$work/serverbin" "$FILTER"
printf 'ServerBin %s\nDataDir %s\n' "$work/serverbin" "$(cups-config --datadir)" > "$work/cups-files.conf"
make_document "$work/doc.pdf"

run() {  # run NAME OPTIONS...: prints doc.pdf to NAME.prn, its messages in NAME.log
  local name=$1; shift
  cupsfilter -c "$work/cups-files.conf" -p "$PPD" -m printer/kzrqo317 -e "$@" "$work/doc.pdf" \
    > "$work/$name.prn" 2> "$work/$name.log"
}
# NAME CHECK OPTIONS: small papers keep Ghostscript quick.
cases=(
  "default -"
  "draft-grey grey -o cupsPrintQuality=Draft -o ColorModel=Gray"
  "photo-borderless - -o PageSize=4x6.Fullbleed -o MediaType=photo -o cupsPrintQuality=High"
  "best-dither - -o PageSize=3.5x5 -o MediaType=photo-best -o FinestQuality=True -o Dither=Quality"
  "grey-on-photo - -o PageSize=A6 -o MediaType=photo -o cupsPrintQuality=High -o ColorModel=Gray"
  "roll roll -o PageSize=A6 -o InputSlot=Roll -o cupsPrintQuality=Draft"
)
for c in "${cases[@]}"; do
  read -r name check options <<<"$c"
  # shellcheck disable=SC2086
  run "$name" $options || { cat "$work/$name.log" >&2; fail "$name: cupsfilter failed"; }
  grep -q '^PAGE: 4 1' "$work/$name.log" || { cat "$work/$name.log" >&2; fail "$name: no PAGE: 4"; }
  check_stream "$work/$name.prn" 4 "${check#-}"
  echo "ok: $name ($(stat -c %s "$work/$name.prn") bytes)"
done

# The first combination the PPD constrains, sent anyway.
read -r _ o1 c1 o2 c2 < <(sed -n 's/^\*UIConstraints: \*\([^ ]*\) \([^ ]*\) \*\([^ ]*\) \([^ ]*\)$/x \1 \2 \3 \4/p' "$PPD" | head -1)
[ -n "${o1:-}" ] || fail "the PPD has no constraints"
if run forbidden -o "$o1=$c1" -o "$o2=$c2"; then fail "$o1=$c1 with $o2=$c2 printed"; fi
grep -q '^ERROR: Page 1 cannot be printed' "$work/forbidden.log" || { cat "$work/forbidden.log" >&2; fail "no ERROR: line"; }
[ ! -s "$work/forbidden.prn" ] || fail "$o1=$c1 with $o2=$c2 wrote bytes"
echo "ok: $o1=$c1 with $o2=$c2 refused: $(grep -m1 '^ERROR: Page' "$work/forbidden.log")"

# The first page's preview on request, from the bytes printed; a preview that
# cannot be written is a warning and the job still prints.
run preview -o PageSize=A6 -o cupsPrintQuality=Draft -o kzrqo317-preview="$work/first.png" ||
  { cat "$work/preview.log" >&2; fail "preview: cupsfilter failed"; }
[ "$(head -c 8 "$work/first.png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || fail "the preview is not a PNG"
[ "$(stat -c %s "$work/first.png")" -gt 5000 ] || fail "the preview is blank"  # a blank sheet's is under 1 KB
run no-preview -o PageSize=A6 -o cupsPrintQuality=Draft -o kzrqo317-preview="$work/missing/first.png" ||
  { cat "$work/no-preview.log" >&2; fail "a preview that cannot be written failed the print"; }
grep -q "^WARNING: No preview: cannot create $work/missing/first.png" "$work/no-preview.log" || fail "no warning for the preview"
run not-png -o PageSize=A6 -o cupsPrintQuality=Draft -o kzrqo317-preview="$work/first.conf" && [ ! -e "$work/first.conf" ] &&
  grep -q "^WARNING: No preview: .*ending in .png" "$work/not-png.log" || fail "a preview not named .png was written"
cmp -s "$work/preview.prn" "$work/no-preview.prn" || fail "asking for a preview changed the printed bytes"
echo kept > "$work/kept.png"
run existing -o PageSize=A6 -o cupsPrintQuality=Draft -o kzrqo317-preview="$work/kept.png" && [ "$(cat "$work/kept.png")" = kept ] &&
  grep -q "^WARNING: No preview in .*is there already" "$work/existing.log" || fail "a preview replaced a file that was there"
ls "$work" | grep -q "first.png." && fail "a part of the preview was left: $(ls "$work")"
echo "ok: preview of page 1 ($(stat -c %s "$work/first.png") bytes), refused where it cannot be written"
