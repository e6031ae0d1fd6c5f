#!/usr/bin/env bash
# kzrqo317-print end to end: files made here (Ghostscript draws them) print to
# streams the inspector accepts; malformed files and impossible settings get
# clear messages, the right exit status, and never a crash.
# Usage: cli_test.sh <kzrqo317-print> <kzrqo317-inspect>
set -uo pipefail
print=$1
inspect=$2
failures=0
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
command -v gs >/dev/null || { echo "Ghostscript (gs) is needed for this test" >&2; exit 1; }

# expect <status> <pattern> <command...>
source "$(dirname "$0")/../support/expect.sh"
prints() {  # prints <file> <options...>: prints, and the stream reads back well formed
    local file=$1
    shift
    if ! "$print" -q "$@" -o "$dir/out.prn" "$file" 2>"$dir/err"; then
        echo "FAIL: kzrqo317-print $* $file: $(cat "$dir/err")" >&2
        failures=$((failures + 1))
        return
    fi
    expect 0 '^ok:' "$inspect" check "$dir/out.prn"
}

# Pictures and a document of two pages, drawn in colour.
art='0.9 0.2 0.1 setrgbcolor 40 40 200 300 rectfill 0.1 0.3 0.8 setrgbcolor 120 200 150 150 rectfill
     0 setgray /Helvetica findfont 36 scalefont setfont 60 380 moveto (kzrqo317) show showpage'
gs -q -dSAFER -dBATCH -dNOPAUSE -g300x420 -r72 -sDEVICE=jpeg -sOutputFile="$dir/photo.jpg" -c "$art"
gs -q -dSAFER -dBATCH -dNOPAUSE -g300x420 -r72 -sDEVICE=png16m -sOutputFile="$dir/photo.png" -c "$art"
gs -q -dSAFER -dBATCH -dNOPAUSE -g300x420 -r72 -sDEVICE=ppmraw -sOutputFile="$dir/photo.ppm" -c "$art"
gs -q -dSAFER -dBATCH -dNOPAUSE -g300x420 -r72 -sDEVICE=pwgraster -sOutputFile="$dir/photo.pwg" -c "$art" 2>/dev/null
gs -q -dSAFER -dBATCH -dNOPAUSE -sPAPERSIZE=a4 -sDEVICE=pdfwrite -sOutputFile="$dir/doc.pdf" -c "$art $art"

prints "$dir/photo.jpg" --quality high
prints "$dir/photo.jpg" --media photo --quality best --borderless --fill
prints "$dir/photo.png" --quality draft --mono
prints "$dir/photo.ppm" --paper na_index-4x6_4x6in --media photo-normal --quality normal
prints "$dir/photo.pwg" --roll --scale 50
prints "$dir/doc.pdf" --quality normal
expect 0 '^ok: .* 2 pages' "$inspect" check "$dir/out.prn"
# Plain text is set as pages (texttopdf), from a file or a pipe; binary data
# that starts like text is refused.
for i in $(seq 150); do printf 'Line %d: plain text, tab\there, ünïcödé\n' "$i"; done > "$dir/long.txt"
prints "$dir/long.txt" --paper a5 --quality draft
expect 0 '^ok: .* 4 pages' "$inspect" check "$dir/out.prn"
expect 0 '' sh -c "'$print' -q -o '$dir/out.prn' - < '$dir/long.txt'"
{ printf 'text at first'; head -c 100 /dev/urandom; } > "$dir/binary.txt"
expect 1 'not a format that prints' "$print" -q -o "$dir/none.prn" "$dir/binary.txt"
# The same input gives the same bytes.
"$print" -q --quality high -o "$dir/a.prn" "$dir/photo.jpg" && "$print" -q --quality high -o "$dir/b.prn" "$dir/photo.jpg"
cmp -s "$dir/a.prn" "$dir/b.prn" || { echo "FAIL: the same JPEG printed twice differs" >&2; failures=$((failures + 1)); }
# A preview of each page.
expect 0 '' "$print" -q --preview "$dir/view.png" -o "$dir/out.prn" "$dir/doc.pdf"
[ -s "$dir/view.png" ] && [ -s "$dir/view-2.png" ] || { echo "FAIL: no preview pages" >&2; failures=$((failures + 1)); }

# Settings without a print mode: the nearest that print (printer_app_substitution
# tests it with the other front ends); --strict refuses naming what is
# possible, writing nothing.
expect 0 'printing with margins instead' "$print" -q --paper a5 --borderless -o "$dir/out.prn" "$dir/photo.jpg"
rm -f "$dir/none.prn"
expect 2 'Possible with photo on iso_a4_210x297mm: colour with margins: high, best' \
    "$print" --strict --media photo --quality draft -o "$dir/none.prn" "$dir/photo.jpg"
[ -e "$dir/none.prn" ] && { echo "FAIL: a refused job created its output" >&2; failures=$((failures + 1)); }
echo garbage > "$dir/bad.icc"
expect 2 'bad.icc' "$print" --icc "$dir/bad.icc" -o "$dir/none.prn" "$dir/photo.jpg"
[ -e "$dir/none.prn" ] && { echo "FAIL: a refused profile created the output" >&2; failures=$((failures + 1)); }
expect 2 "unknown paper 'a3'; papers: iso_a4_210x297mm (a4), na_letter_8.5x11in (letter)" \
    "$print" --paper a3 -o "$dir/none.prn" "$dir/photo.jpg"
expect 2 'unknown option' "$print" --colour "$dir/photo.jpg"
expect 2 'the scale must be' "$print" --scale 0 "$dir/photo.jpg"
expect 0 'photo-best' "$print" --list

# Malformed files: a message naming the file, exit status 1, no crash.
head -c 2000 "$dir/photo.jpg" > "$dir/cut.jpg"
head -c 200 "$dir/photo.png" > "$dir/cut.png"
head -c 300 "$dir/doc.pdf" > "$dir/cut.pdf"
head -c 1000 "$dir/photo.pwg" > "$dir/cut.pwg"
printf 'P6\n99999999 99999999\n255\n' > "$dir/huge.ppm"
printf 'P6\n10 10\n255\nabc' > "$dir/short.ppm"
printf '\x89PNG\r\n\x1a\nnot really' > "$dir/fake.png"
head -c 4096 /dev/urandom > "$dir/noise.bin"
: > "$dir/empty.jpg"
for f in cut.jpg cut.png short.ppm fake.png cut.pwg; do
    expect 1 "$f" "$print" -q -o "$dir/out.prn" "$dir/$f"
done
expect 1 'cut.pdf: .*truncated' "$print" -q -o "$dir/out.prn" "$dir/cut.pdf"
expect 1 'too large to print' "$print" -q -o "$dir/out.prn" "$dir/huge.ppm"
expect 1 'not a format that prints' "$print" -q -o "$dir/out.prn" "$dir/noise.bin"
expect 1 'the file is empty' "$print" -q -o "$dir/out.prn" "$dir/empty.jpg"
expect 1 'cannot be opened' "$print" -q -o "$dir/out.prn" "$dir/missing.jpg"

if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "all kzrqo317-print checks passed"
