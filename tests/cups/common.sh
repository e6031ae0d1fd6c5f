# Shared by the CUPS tests: a private ServerBin holding the built filter next
# to the machine's own filters, and the test document, a PDF that Ghostscript
# makes from PostScript written here: text, a photo-like image, colour
# patches and a blank page.

fail() { echo "FAIL: $*" >&2; exit 1; }

# private_serverbin DIR FILTER: DIR/filter has the system filters and ours.
private_serverbin() {
  local dir=$1 filter=$2 sys
  sys=$(cups-config --serverbin)
  mkdir -p "$dir/filter"
  for f in "$sys"/filter/*; do ln -s "$f" "$dir/filter/"; done
  # cupsd runs the filter as its own user, who may not reach the build
  # tree: the filter's own libraries go beside it, found through a wrapper.
  mkdir -p "$dir/lib"
  ldd "$filter" | awk '$3 ~ /^\// && $3 !~ /^\/(usr\/)?lib/ {print $3}' | while read -r lib; do
    cp -L "$lib" "$dir/lib/"
  done
  install -m 755 "$filter" "$dir/lib/rastertokzrqo317"
  printf '#!/bin/sh\nLD_LIBRARY_PATH=%s exec %s "$@"\n' "$dir/lib" "$dir/lib/rastertokzrqo317" > "$dir/filter/rastertokzrqo317"
  chmod 755 "$dir/filter/rastertokzrqo317" "$dir/lib"
  for d in backend daemon cgi-bin monitor notifier driver; do
    [ -e "$sys/$d" ] && ln -s "$sys/$d" "$dir/$d"
  done
  return 0
}

# make_document OUT.pdf: four A4 pages (text, photo, patches, blank).
make_document() {
  local ps=${1%.pdf}.ps
  cat > "$ps" <<'EOF'
%!PS-Adobe-3.0
%%Pages: 4
%%Page: 1 1
/Helvetica findfont 14 scalefont setfont
0 1 30 { /i exch def 60 770 i 22 mul sub moveto
  (The quick brown fox jumps over the lazy dog, line ) show i 3 string cvs show } for
showpage
%%Page: 2 2
gsave 60 200 translate 480 440 scale
/r 0 def
64 64 8 [64 0 0 64 0 0]
{ /r r 1 add def /s 192 string def
  0 1 191 { /i exch def s i i 3 idiv 4 mul i 3 mod r mul 4 mul add 255 and put } for s }
false 3 colorimage grestore
showpage
%%Page: 3 3
/patch { setrgbcolor 60 exch 200 60 rectfill } def
700 0 1 1 patch  620 1 0 1 patch  540 1 1 0 patch  460 1 0 0 patch
380 0 1 0 patch  300 0 0 1 patch  220 0 0 0 patch  140 0.5 0.5 0.5 patch
showpage
%%Page: 4 4
showpage
%%EOF
EOF
  gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -sPAPERSIZE=a4 -sOutputFile="$1" "$ps" ||
    fail "Ghostscript could not make the test PDF"
}

# check_stream FILE PAGES [grey|roll]: a well-formed stream of PAGES pages,
# ink on all but the last (blank) page, each page ended (roll pages run on
# into the next); with "grey", black ink only.
check_stream() {
  local file=$1 pages=$2 facts count open inked colour last
  "$INSPECT" check "$file" >/dev/null || { "$INSPECT" check "$file" >&2; fail "$file: malformed stream"; }
  # One pass over the statistics (their JSON lists every scan: large).
  facts=$("$INSPECT" stats --json "$file" | jq -r '[.page_count, .pages_without_end,
      ([.pages[] | [.dots[]] | add // 0 | tostring] | join(",")),
      ([.dots | to_entries[] | select(.key != "0") | .value] | add // 0)] | @tsv')
  IFS=$'\t' read -r count open inked colour <<<"$facts"
  [ "$count" = "$pages" ] || fail "$file: $count pages, not $pages"
  if [ "${3:-}" != roll ]; then
    [ "$open" = 0 ] || fail "$file: a page does not end"
  fi
  IFS=, read -ra inked <<<"$inked"
  last=$((pages - 1))
  for i in $(seq 0 $((last - 1))); do
    [ "${inked[$i]}" -gt 0 ] || fail "$file: page $((i + 1)) has no ink"
  done
  [ "${inked[$last]}" = 0 ] || fail "$file: the blank page has ink"
  if [ "${3:-}" = grey ]; then
    [ "$colour" = 0 ] || fail "$file: grey printing used colour ink"
  fi
  return 0
}

# page_pattern INSPECT FILE: the stream's pages as letters, a new letter for
# each new amount of ink, so that copies show their order: abcabc (collated),
# aabbcc (not).
page_pattern() {
  "$1" stats --json "$2" | jq -r '.pages[] | [.dots[]] | add // 0' |
    awk '{ if (!($1 in seen)) seen[$1] = sprintf("%c", 97 + n++); printf "%s", seen[$1] } END { print "" }'
}

# make_three_pages OUT.pdf: A6 pages with more ink on each.
make_three_pages() {
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sPAPERSIZE=a6 -sOutputFile="$1" \
    -c "1 1 3 { /n exch def 0.2 0.3 0.8 setrgbcolor 30 30 n 60 mul dup rectfill showpage } for" ||
    fail "Ghostscript could not make $1"
}
