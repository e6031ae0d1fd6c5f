// Previews of what the printer puts on paper, drawn from a command stream as
// its bytes go by: every dot where it lands (placement.h, head.h), in its
// ink's colour, on a picture of the paper.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "stream_reader/placement.h"
#include "stream_reader/stream.h"

namespace kzinspect {

// The sheet a preview shows, in pixels of 600 dpi.  Unknown (width 0): the
// preview shows the paper's top left corner and everything printed.
struct Paper {
    int width = 0;
    int height = 0;
    // Blank paper kept at the left, right, top and bottom edge on pages with
    // margins, drawn as a dotted line; all 0 draws none.
    int margins[4] = {0, 0, 0, 0};
};

// The paper of a page printed over an area of `width` x `height` pixels at
// (`left`, `top`) from the paper's corner (negative: into the bleed), all at
// `dpi` pixels per inch, as the print pipeline's page format gives them.
Paper paperOfArea(int dpi, int paperWidth, int paperHeight, int left, int top, int width, int height);

// The paper of a PWG self-describing size name or its size part:
// "iso_a4_210x297mm", "na_index-4x6_4x6in", "100x148mm".  False when `name`
// ends in no such size.
bool paperFromName(const std::string& name, Paper& paper);

struct RenderOptions {
    // Each preview pixel stands for scale x scale pixels of 600 dpi; 5 draws
    // A4 about 1000 pixels wide.
    int scale = 5;
    // A preview larger than this many pixels is refused rather than drawn.
    int64_t maxPixels = 40000000;
    View view = View::Paper;
    Paper paper;  // paper view only
    // Pages drawn; the bytes after the last one are not read.  0: all.
    size_t maxPages = 0;
};

// An 8-bit RGB picture, rows from the top, 3 bytes per pixel.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* pixel(int x, int y) const {
        return rgb.data() + (size_t(y) * size_t(width) + size_t(x)) * 3;
    }
};

// Colours.  A preview pixel shows each ink's dots there as a share of full
// ink: one dot on every pixel it stands for (a dot of a 300-column page
// covers two, and black on pages whose raster lines fill two rows counts
// twice, as it prints on only one of them), or, on a page where pixels take
// several dots of an ink, what one in a thousand of its inked preview pixels
// reach.  Inks on one pixel multiply, as ink on paper does.  Around the paper
// (and its bleed) the preview is grey, the paper's edge darker.
struct Rgb {
    uint8_t r, g, b;
};
inline constexpr Rgb kInkColours[4] = {
    {0, 0, 0},      // black
    {0, 160, 227},  // cyan
    {228, 0, 124},  // magenta
    {255, 237, 0},  // yellow
};
inline constexpr Rgb kOutside = {216, 216, 216};
inline constexpr Rgb kPaperEdge = {128, 128, 128};
inline constexpr Rgb kMarginLine = {150, 190, 230};

// Draws the pages of a stream written to it in pieces of any size, each page
// as soon as it ends, in time and memory that depend on the page, not on the
// stream's length.  Made to sit beside a printer's sink:
//
//   kzinspect::PreviewRenderer preview(options, [&](size_t i, const Image& page, std::string& e) {
//       return writePng(page, pagePath(path, i), e);
//   });
//   ... preview.write(bytes) for every hand-out ... preview.finish();
//
// A stream with a fault, a page too large to draw, or `ready` returning false
// stops the drawing: write() and finish() return false and error() says why.
class PreviewRenderer {
  public:
    using PageReady = std::function<bool(size_t index, const Image& page, std::string& error)>;
    PreviewRenderer(const RenderOptions& options, PageReady ready);
    ~PreviewRenderer();
    PreviewRenderer(const PreviewRenderer&) = delete;
    PreviewRenderer& operator=(const PreviewRenderer&) = delete;

    bool write(Bytes bytes);
    bool finish();
    const std::string& error() const;
    size_t pagesDrawn() const;

    // The same as a print pipeline's sink callback (kzp_sink.write with `ctx`
    // the renderer): takes the bytes and returns 0 even when the preview has
    // failed, so that a preview never stops a print.
    static int sinkWrite(void* renderer, const uint8_t* bytes, size_t size);

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

// Every page of `stream` drawn; false with `error` set (and no pages) as the
// renderer reports it.
bool renderPages(Bytes stream, const RenderOptions& options, std::vector<Image>& pages,
                 std::string& error);

// One fired dot, placed in `view`: ink 0 black, 1 to 3 the colours.  In the
// paper view the column is the dot's first pixel (a 300-column dot covers
// the next one too).
struct Dot {
    int64_t line = 0;
    int column = 0;
    int ink = 0;
    bool operator==(const Dot&) const = default;
};

// Calls `visit` for every dot of page `page` of `stream`, in stream order.
// The stream must have been read without a fault, by inspect().
void forEachDot(const Stream& stream, size_t page, const std::function<void(const Dot&)>& visit,
                View view = View::Stream);

// The file of page `index` (from 0): the first page is `path` itself, page
// k + 1 is `path` with "-(k + 1)" before its extension: page.png, page-2.png.
std::string pagePath(const std::string& path, size_t index);

}  // namespace kzinspect
