// A preview of what the printer would put on paper: every dot of a
// well-formed stream drawn at its column and page line, in its ink's colour.
//
// Where a dot lands.
// - Column: the scan column it fires at (see stream.h), that is its pixel in
//   the raster line plus the column offset of its ink's nozzle column. The
//   stream does not carry the offsets, so each ink is drawn a little right
//   of where the raster had it (a few hundred pixels at 600 dpi, black the
//   furthest), and the inks are not in register with each other.
// - Line: the page's feeds "m" and "n", in half raster lines, add up from
//   the page's start; a scan prints with the sum up to and including its own
//   feed. Nozzle n of a column with parity p prints row r = 2n + p of the
//   scan; in a scan whose "o" flag is set the colours come from the upper
//   nozzle columns, whose parities run the other way: r = 2n + 1 - p there
//   (black is never in them). Row r lands at page line
//       feed / 2 + r + 16 x (nozzle field of its "p") - 16 (black only) - 304.
//   The nozzle field says where on the head, in steps of 16 rows, the
//   column's first nozzle sits; the black columns start 16 rows above the
//   colour ones. The 304 puts line 0 at the paper's top edge: a page with
//   margins has its first raster line at line 118, a borderless page at 0.
// - Feeds and raster advance part on purpose in a few places: draft
//   black-only scans of 320 rows are fed 319 lines, and some modes go on
//   after the kick-off position with the raster 64 lines further than the
//   feeds. Dots there are drawn where the feeds put them, a little higher
//   than the raster had them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "stream_reader/stream.h"

namespace kzinspect {

// Line placement, as described above.
inline constexpr int kHeadLineOffset = 304;  // lines from the feeds' origin to the paper's top
inline constexpr int kFieldRows = 16;        // rows per step of the nozzle field
inline constexpr int kBlackRowsAbove = 16;   // black columns start this many rows higher

// Page line of nozzle `nozzle` of `column` in `scan`, when the page's feeds
// up to and including the scan's own add up to `feed` half raster lines.
int64_t dotLine(const Scan& scan, const NozzleCommand& column, int64_t feed, int nozzle);

// One fired dot: ink 0 black, 1 to 3 the colours.
struct Dot {
    int64_t line = 0;
    int column = 0;
    int ink = 0;
    bool operator==(const Dot&) const = default;
};

// Calls `visit` for every dot of page `page` of `stream`, in stream order.
// The stream must have been read without a fault.
void forEachDot(const Stream& stream, size_t page, const std::function<void(const Dot&)>& visit);

// An 8-bit RGB picture, rows from the top, 3 bytes per pixel.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* pixel(int x, int y) const {
        return rgb.data() + (size_t(y) * size_t(width) + size_t(x)) * 3;
    }
};

struct RenderOptions {
    // Each preview pixel stands for scale x scale raster pixels; 5 draws a
    // page 8 inches wide at 600 dpi about 1000 pixels wide.
    int scale = 5;
    // A preview larger than this many pixels is refused rather than drawn.
    int64_t maxPixels = 40000000;
};

// Colours. A preview pixel stands for scale x scale raster pixels and shows
// each ink's dots there as a share of full ink: full ink is one dot on every
// one of those pixels, or, on a page where pixels take several dots of an
// ink (the passes of a multi-level mode), as many dots as the page's densest
// preview pixel got of it. Inks on one pixel multiply, as ink on paper does:
// a pixel is white where no ink fell, and each ink's full colour is below.
struct Rgb {
    uint8_t r, g, b;
};
inline constexpr Rgb kInkColours[4] = {
    {0, 0, 0},      // black
    {0, 160, 227},  // cyan
    {228, 0, 124},  // magenta
    {255, 237, 0},  // yellow
};

// One preview per page of a well-formed stream. Each takes in the paper's
// top left corner (line 0, column 0) and every dot of its page. All pages
// of a stream share their columns, from the leftmost to the rightmost dot of
// any page; each page runs down to its lowest dot, so a page without dots is
// one line high. Returns false with `error` set when the stream had a fault,
// the scale is below 1, or a preview would exceed `maxPixels`.
bool renderPages(const Stream& stream, const RenderOptions& options, std::vector<Image>& pages,
                 std::string& error);

// The file of page `index` (from 0): the first page is `path` itself, page
// k + 1 is `path` with "-(k + 1)" before its extension: page.png, page-2.png.
std::string pagePath(const std::string& path, size_t index);

}  // namespace kzinspect
