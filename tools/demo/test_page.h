// A built-in test page: a chart with text-like black detail, colour ramps at
// every bit depth, and blank bands between them.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/demo/print_modes.h"

namespace kz::demo {

class TestPage {
public:
    static constexpr int kWidth = 4800;   // pixels: 8 inches at 600 dpi
    static constexpr int kHeight = 3000;  // raster lines: 5 inches

    explicit TestPage(const PrintModeSettings& mode) : mode_(mode) {}

    // Fills `line` with line `y` of the page, pixels packed at each plane's
    // depth; blank planes get a null address.  False for a wholly blank line.
    bool line(int y, RasterInfo* line);

private:
    uint8_t level(int plane, int x, int y) const;  // 0..max level of the plane's depth
    const PrintModeSettings& mode_;
    std::vector<uint8_t> planes_[7];
};

}  // namespace kz::demo
