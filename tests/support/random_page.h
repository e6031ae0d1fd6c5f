// Pages of random pixels, the same for the same recipe on every build.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "support/page_job.h"

namespace kz::test {

// A small, fast generator with a fixed sequence (splitmix64).
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n - 1.
    int below(int n) { return n <= 1 ? 0 : static_cast<int>(next() % static_cast<uint64_t>(n)); }
    bool percent(int p) { return below(100) < p; }

private:
    uint64_t state_;
};

struct PageRecipe {
    int lines = 0;  // caller lines offered
    int width = 0;  // caller pixels of every line
    uint64_t seed = 1;
    std::array<int8_t, 7> depth{};       // bits per pixel by plane; 0: the mode takes no entry
    std::array<uint8_t, 7> printable{};  // highest level the mode prints, by plane (1 for 1-bit)
    int firstInk = 0;        // caller lines before this one are left out
    int blankFrom = 0, blankTo = 0;  // caller lines blankFrom .. blankTo - 1 are left out too
    bool lastLineGiven = false;      // the page's last line is never left out
    int inkPercent = 50;     // pixels that hold a level
    int oddLevelPercent = 15;  // of those, levels drawn from every value the depth holds
    int gapPercent = 1;      // lines that start a run of left-out lines
    int maxGap = 150;
    int spanPercent = 15;    // planes of a line that read a Left .. Width - Right span
    int absentPercent = 8;   // planes of a line given no data
    int blankPercent = 4;    // planes of a line given all-zero data
};

// Lines of random levels per recipe.  Pixels outside a line's span are
// random too: none of them may print.
class RandomPage : public PageSource {
public:
    explicit RandomPage(const PageRecipe& recipe) : r_(recipe), random_(recipe.seed) {}

    int lines() const override { return r_.lines; }

    bool line(int y, RasterInfo* out) override {
        *out = RasterInfo{};
        out->LineNo = static_cast<uint32_t>(y);
        if (y < r_.firstInk || (y >= r_.blankFrom && y < r_.blankTo)) return false;
        const bool last = r_.lastLineGiven && y == r_.lines - 1;
        if (gapLeft_ > 0 && !last) {
            --gapLeft_;
            return false;
        }
        if (random_.percent(r_.gapPercent) && !last) {
            gapLeft_ = random_.below(r_.maxGap);
            return false;
        }
        int entry = 0;
        for (int p = 0; p < 7; ++p) {
            const int depth = r_.depth[p];
            if (depth == 0) continue;
            PlaneRaster& plane = out->Plane[entry++];
            plane.Width = static_cast<uint16_t>(r_.width);
            if (random_.percent(r_.absentPercent)) continue;  // null data
            std::vector<uint8_t>& bytes = bytes_[p];
            bytes.assign(static_cast<size_t>((r_.width * depth + 7) / 8), 0);
            plane.Data = bytes.data();
            if (random_.percent(r_.spanPercent)) {
                plane.Left = static_cast<uint16_t>(random_.below(r_.width / 3 + 1));
                plane.Right = static_cast<uint16_t>(random_.below(r_.width - plane.Left + 1));
            }
            if (random_.percent(r_.blankPercent)) continue;
            const int maxValue = (1 << depth) - 1;
            for (int x = 0; x < r_.width; ++x) {
                if (!random_.percent(r_.inkPercent)) continue;
                const int top = random_.percent(r_.oddLevelPercent) ? maxValue : r_.printable[p];
                const int v = 1 + random_.below(top);
                const int bit = x * depth;
                bytes[bit / 8] |= static_cast<uint8_t>(v << (8 - depth - bit % 8));
            }
        }
        return true;
    }

private:
    PageRecipe r_;
    Random random_;
    int gapLeft_ = 0;
    std::vector<uint8_t> bytes_[7];
};

}  // namespace kz::test
