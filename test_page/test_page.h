// A built-in test page: a chart with text-like black detail, colour ramps at
// every bit depth, and blank bands between them.
#pragma once

#include <cstdint>
#include <vector>

#include "test_page/print_modes.h"

namespace kz::demo {

class TestPage {
public:
    // 8 by 5 inches, at 600 dpi or at the mode's coarser caller resolution.
    explicit TestPage(const PrintModeSettings& mode)
        : mode_(mode), width_(4800 / mode.xScale), height_(3000 / mode.yScale) {}

    int width() const { return width_; }    // caller pixels of a line
    int height() const { return height_; }  // caller lines of the page

    // Fills `line` with line `y` of the page, pixels packed at each plane's
    // depth; blank planes get a null address.  False for a wholly blank line.
    bool line(int y, RasterInfo* line);

private:
    uint8_t level(int plane, int x, int y) const;  // 0..max level of the plane's depth
    const PrintModeSettings& mode_;
    int width_, height_;
    std::vector<uint8_t> planes_[7];
};

}  // namespace kz::demo
