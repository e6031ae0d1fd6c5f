// A built-in test page: a chart with text-like black detail, colour ramps at
// every bit depth, and blank bands between them.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "kzrqo317/records.h"

namespace kz::demo {

// What the chart needs of a print mode, from wherever the caller learns it
// (the pipeline's mode tables, or its capability query).
struct ChartFormat {
    std::array<int8_t, 7> bitDepth{};  // by plane 0..6; 0: the plane takes no entry
    std::array<int8_t, 7> topLevel{};  // the highest level each plane prints
    int xScale = 1;                    // 600 dpi pixels per caller pixel
    int yScale = 1;                    // 600 dpi lines per caller line
};

class TestPage {
public:
    // 8 by 5 inches, at 600 dpi or at the mode's coarser caller resolution.
    explicit TestPage(const ChartFormat& format)
        : format_(format), width_(4800 / format.xScale), height_(3000 / format.yScale) {}

    int width() const { return width_; }    // caller pixels of a line
    int height() const { return height_; }  // caller lines of the page

    // Fills `line` with line `y` of the page, pixels packed at each plane's
    // depth; blank planes get a null address.  False for a wholly blank line.
    bool line(int y, RasterInfo* line);

private:
    uint8_t level(int plane, int x, int y) const;  // 0..top level of the plane
    ChartFormat format_;
    int width_, height_;
    std::vector<uint8_t> planes_[7];
};

}  // namespace kz::demo
