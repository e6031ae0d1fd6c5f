// A synthetic photo page for the benchmarks: smooth colour fields, dark
// blocks with hard edges, a skin-tone disc and grain; deterministic.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace kzprint {

inline std::vector<uint8_t> photoPage(int32_t w, int32_t h) {
    std::vector<uint8_t> rgb(size_t(w) * size_t(h) * 3);
    uint32_t noise = 12345;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const double u = double(x) / w, v = double(y) / h;
            noise = noise * 1664525u + 1013904223u;
            const int grain = int(noise >> 28) - 8;
            double r = 128 + 100 * std::sin(6.3 * u + 2 * v), g = 120 + 90 * std::sin(4.1 * v + 1.3),
                   b = 110 + 100 * std::cos(5.2 * u * v + 0.7);
            if ((x / 300 + y / 300) % 5 == 0) r = g = b = 20 + 40 * u;
            if (std::hypot(u - 0.5, v - 0.4) < 0.15) r = 225, g = 180, b = 150;
            const int vals[3] = {int(r) + grain, int(g) + grain, int(b) + grain};
            for (int c = 0; c < 3; ++c)
                rgb[(size_t(y) * size_t(w) + size_t(x)) * 3 + c] = uint8_t(std::clamp(vals[c], 0, 255));
        }
    }
    return rgb;
}

}  // namespace kzprint
