// Placing a page on the print mode's area, with pixman, for every kind of
// page: pictures fitted, filled, scaled or at their own size, turned a
// quarter when asked or when that fits better; pages Ghostscript rendered at
// the area's size copied; raster pages mapped onto the paper by their
// resolution, page size and imaging box (stretched over the bleed when
// borderless).
//
// Only the area's pixels inside the page's box are computed, and the filter
// reads past the page's edges as its edge pixels (PIXMAN_REPEAT_PAD): an
// enlarged picture keeps hard edges and puts no ink outside its box.  Rows
// are taken as they arrive and lines handed out as soon as the rows they
// need are in, so that only a window of the page is held unless it turns.
#pragma once

#include <pixman.h>

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/page_source.h"
#include "kzrqo317/print.h"

namespace kzfront {

// print-scaling's choices.
enum class Scaling : uint8_t {
    Fit,      // all of the picture, as large as the area allows
    Fill,     // the whole area covered, the picture's overhang cut
    Natural,  // its own size, by its pixels per inch (72 when the file does not say)
    AutoFit,  // fitted when larger than the area, else its own size
    Auto,     // filled when larger and borderless, fitted when larger, else its own size
};

// orientation-requested's choices, for pictures.
enum class Orientation : uint8_t {
    Auto,              // turned when it lies across the area, the way the page says (PageHeader::turn)
    Upright,           // never turned
    Counterclockwise,  // landscape: the picture's top edge becomes the left
    Clockwise,         // reverse landscape: its left edge becomes the top
};

struct Placing {
    Scaling scaling = Scaling::Fit;
    double percent = 100;  // of the fitted, filled or natural size
    Orientation orientation = Orientation::Auto;
};

// The pipeline's input for a page format.
kzp_input inputFor(PixelFormat format);

// Documents are rendered at the size they print at (fitted by Ghostscript,
// pages of PageKind::Area, sampled once) when that is how the placement
// would place them: fitted, turned as they need, at most their fitted size.
// Otherwise they come at their own size for the placement to scale.
bool documentsFitted(const Placing& placing, bool borderless);

// The largest size in pixels a picture is drawn at on `format` (either way
// round), so that readers may reduce far larger pictures while reading:
// the area, enlarged by a scale above 100%; 0 x 0 (unknown) at the
// picture's own size, which depends on its resolution.
void largestDrawnSize(const Placing& placing, const kzp_page_format& format, int32_t& width, int32_t& height);

class Placement {
public:
    // `page` on `format`'s area; lines come in the page's pixel format.
    Placement(const PageHeader& page, const kzp_page_format& format, const Placing& placing);
    ~Placement();
    Placement(const Placement&) = delete;
    Placement& operator=(const Placement&) = delete;

    // Rows of the page to add before more lines are ready (0: every row is in).
    int32_t rowsWanted() const;
    // The page's next `count` rows, top to bottom.
    void addRows(const uint8_t* rows, int32_t count);
    // Lines ready with the rows added so far (all that remain once every row
    // is in, or with `ending`: the page's missing rows then count as blank).
    int32_t linesReady(bool ending = false) const;
    // The area's next `count` lines (at most linesReady()), width_px pixels each.
    void lines(int32_t count, uint8_t* out, bool ending = false);

    int32_t linesDone() const { return next_; }
    int32_t rowsHeld() const { return windowRows_; }
    size_t lineBytes() const { return size_t(width_) * size_t(channels_); }
    bool turned() const { return turned_; }
    bool resampled() const { return method_ != Method::Copy; }
    double scale() const { return scale_; }  // area pixels per page pixel (across)

private:
    enum class Method : uint8_t { Copy, Nearest, Bilinear, Average, Smooth };
    // First and one-past-last page row the lines [y, y + count) read.
    int32_t firstRow(int32_t y) const;
    int32_t endRow(int32_t y, int32_t count) const;
    int32_t linesWithRows(int32_t most) const;  // of the next `most` lines, how many have their rows
    void composite(int32_t y, int32_t count, uint8_t* out);
    void copy(int32_t y, int32_t count, uint8_t* out, bool ending);

    int32_t width_, height_;        // the area
    int32_t pageWidth_, pageHeight_;
    PixelFormat format_;
    int channels_;
    Method method_ = Method::Copy;
    bool turned_ = false;
    double scale_ = 1;
    // Area pixel (x, y) reads page position m * (x + 0.5, y + 0.5, 1).
    double m_[2][3] = {{1, 0, 0}, {0, 1, 0}};
    double scaleX_ = 1, scaleY_ = 1;  // page pixels per area pixel, for the filter
    int32_t boxLeft_ = 0, boxTop_ = 0, boxRight_ = 0, boxBottom_ = 0;  // area pixels the page covers
    int32_t copyX_ = 0, copyY_ = 0;  // Copy: the page's top-left corner on the area
    // Page rows [windowTop_, windowTop_ + windowRows_) as pixman holds them
    // (Copy: as they came), `stride_` bytes apart.
    std::vector<uint8_t> window_;
    int32_t windowTop_ = 0, windowRows_ = 0, received_ = 0;
    size_t stride_ = 0;
    int32_t next_ = 0;  // the area's next line
    std::vector<uint8_t> strip_;
    std::vector<pixman_fixed_t> filter_;
};

}  // namespace kzfront
