#include "test_page/test_page.h"

#include <cstring>

namespace kz::demo {
namespace {

// Bands of the chart, by raster line.
constexpr int kTextTop = 200, kTextBottom = 900;
constexpr int kRampTop = 1100, kRampBottom = 2100;
constexpr int kMixTop = 2300, kMixBottom = 2800;

// 4x4 ordered dither thresholds, for turning a ramp into 1-bit dots.
constexpr uint8_t kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// Text-like detail: rows of 24x32-pixel glyph cells, strokes chosen by a hash.
bool glyphInk(int x, int y) {
    const int cellX = x / 24, cellY = y / 40, gx = x % 24, gy = y % 40;
    if (gx >= 18 || gy >= 32 || (cellX % 9) == 8) return false;  // letter and word gaps
    const unsigned h = static_cast<unsigned>(cellX * 7919 + cellY * 104729) * 2654435761u;
    const bool stem = (h & 1) && gx >= 2 && gx < 5;
    const bool bar = (h & 2) && gy >= 14 && gy < 17;
    const bool top = (h & 4) && gy < 3;
    const bool foot = (h & 8) && gy >= 29;
    const bool right = (h & 16) && gx >= 13 && gx < 16;
    return stem || bar || top || foot || right;
}

}  // namespace

// x and y are caller pixels and lines; the chart is laid out at 600 dpi.
uint8_t TestPage::level(int plane, int x, int y) const {
    x *= format_.xScale;
    y *= format_.yScale;
    const int depth = format_.bitDepth[size_t(plane)];
    const int maxLevel = format_.topLevel[size_t(plane)];
    const bool black = plane == 3;
    if (y >= kTextTop && y < kTextBottom) return black && glyphInk(x, y) ? maxLevel : 0;
    const bool ramp = y >= kRampTop && y < kRampBottom;
    const bool mix = y >= kMixTop && y < kMixBottom;
    if (!ramp && !mix) return 0;
    if (mix && black) return glyphInk(x, y) ? maxLevel : 0;
    // Each plane has a horizontal ramp in its own stripe of the band.
    const int stripe = (ramp ? (y - kRampTop) : (y - kMixTop)) * 7 / ((ramp ? kRampBottom - kRampTop : kMixBottom - kMixTop));
    if (ramp && stripe != plane) return 0;
    const int shade = x * 16 / 4800;  // 0..15 across the page
    if (depth == 1) return shade > kBayer[y & 3][x & 3] ? 1 : 0;
    return static_cast<uint8_t>((shade * (maxLevel + 1)) / 16);
}

bool TestPage::line(int y, RasterInfo* out) {
    *out = {};
    out->LineNo = static_cast<uint32_t>(y);
    bool any = false;
    int entry = 0;
    for (int p = 0; p < 7; ++p) {
        const int depth = format_.bitDepth[size_t(p)];
        if (depth == 0) continue;
        std::vector<uint8_t>& bytes = planes_[p];
        bytes.assign(static_cast<size_t>((width_ * depth + 7) / 8), 0);
        bool inked = false;
        for (int x = 0; x < width_; ++x) {
            const uint8_t v = level(p, x, y);
            if (v == 0) continue;
            inked = true;
            const int bit = x * depth;
            bytes[bit / 8] |= static_cast<uint8_t>(v << (8 - depth - bit % 8));
        }
        out->Plane[entry++] = {inked ? bytes.data() : nullptr, static_cast<uint16_t>(width_), 0, 0, 0};
        any = any || inked;
    }
    return any;
}

}  // namespace kz::demo
