// What the printer knows about its head and the paper that no command says:
// where each nozzle row sits, and how the paper moves where the feeds and the
// raster part on purpose.  With these and a page's settings in the stream,
// every dot can be put where it lands on the paper.
#pragma once

#include <cstdint>

namespace kzinspect::head {

// Lines.  The feeds "m" and "n" count half raster lines from the page's
// start; a scan prints with the sum up to and including its own feed.  Row r
// of nozzle column p lands at
//     feed / 2 + r + 16 x (nozzle field of its "p") - 16 (black only) - 304,
// where r = 2n + p for nozzle n, and r = 2n + 1 - p in the colours of a scan
// whose "o" flag is set (the upper colour columns, whose parities run the
// other way).  The nozzle field says where on the head, in steps of 16 rows,
// the column's first nozzle sits; the black columns start 16 rows above the
// colour ones.  The 304 puts line 0 where the raster's line 0 lands on a
// borderless page; a page with margins is fed 118 lines further first.
inline constexpr int kHeadLineOffset = 304;
inline constexpr int kFieldRows = 16;
inline constexpr int kBlackRowsAbove = 16;

// Columns.  Each nozzle row fires a raster pixel at the pixel's column plus
// the row's offset on the head: a quarter of its registration value (below,
// plus 256 on pages with margins), one more on a backward scan, rounded
// toward zero to a multiple of 8, doubled on pages of 600 columns per inch.
// Values by ink (0 black, 1 to 3 the colours) and row parity.
inline constexpr int16_t kRegistration[4][2] = {{673, 689}, {258, 270}, {128, 140}, {193, 205}};
inline constexpr int kMarginRegistration = 256;

constexpr int columnOffset(int ink, int rowParity, bool backward, bool borderless,
                           bool columns300) {
    int v = (kRegistration[ink & 3][rowParity & 1] + (borderless ? 0 : kMarginRegistration)) / 4 +
            (backward ? 1 : 0);
    v -= v % 8;  // the value is never negative
    return columns300 ? v : 2 * v;
}
static_assert(columnOffset(0, 0, false, false, false) == 464, "black, margins, 600 columns");
static_assert(columnOffset(1, 1, true, true, true) == 64, "cyan, borderless, 300 columns");

// Where feeds and raster part on purpose, the printer makes up the
// difference, so the raster's lines land one below the other:
// - The kick-off: on a page with a kick-off position ("x", in half raster
//   lines from the raster's origin), once its bottom edge has begun (scans of
//   64 rows, nozzle field 4), the scans fed to that position or beyond print
//   raster lines 64 further on than their feeds say.
inline constexpr int kKickOffLines = 64;
inline constexpr int kBottomEdgeRows = 2;  // "p" rows of the bottom edge's 64-row scans
// - Single-pass black: a scan of 320 rows ("p" rows 10) with one pass ("o"
//   pass1 1) that carries black only, comes with a feed and has ink from its
//   first raster line on (row 0, or 0 or 1 where each raster line fills two
//   rows) is fed one line short; that line and every later scan's lie one
//   further down.
inline constexpr int kFullBlackRows = 10;
// The feeds the pages with margins take first, before the raster's origin:
// 118 lines, the top margin.
inline constexpr int kMarginFeed = 236;

// The paper.  A page with margins has the raster's line 0 at 118 lines below
// the paper's top edge (the printer's own top margin) and its pixel 0 at the
// paper's left edge; a borderless page has both 47 pixels and lines outside
// the paper, the bleed.  Pixels of 600 dpi.
inline constexpr int kTopMargin = 118;
inline constexpr int kBleed = 47;
// The widest line the printer prints.
inline constexpr int kPrintableWidth = 6144;

}  // namespace kzinspect::head
