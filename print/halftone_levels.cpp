#include "print/halftone_levels.h"

#include <algorithm>

namespace kzp {

HalftoneSteps::HalftoneSteps(const InkLevels& levels) {
    const int bits = levels.bits == 1 || levels.bits == 2 || levels.bits == 4 ? levels.bits : 1;
    for (int v = 1; v < (1 << bits); ++v) {
        const int d = levels.drops[v];
        if (!(levels.printable >> v & 1) || d == 0) continue;  // a level that prints nothing
        if (std::find(drops + 1, drops + count, d) != drops + count) continue;
        level[count] = static_cast<uint8_t>(v);
        drops[count] = static_cast<uint8_t>(d);
        ++count;
    }
    // Ascending by drops (the levels of the tables already are; others need not be).
    for (int i = 2; i < count; ++i)
        for (int j = i; j > 1 && drops[j - 1] > drops[j]; --j) {
            std::swap(drops[j - 1], drops[j]);
            std::swap(level[j - 1], level[j]);
        }
    for (int a = 0; a < 256; ++a) {
        if (count < 2) { target[a] = {0, 0}; continue; }
        // Target in 1/255 drops: a x max drops.
        const uint32_t t = static_cast<uint32_t>(a) * maxDrops();
        int low = 0;
        while (low + 2 < count && t > drops[low + 1] * 255u) ++low;
        const uint32_t from = drops[low] * 255u, to = drops[low + 1] * 255u;
        const uint32_t fraction = static_cast<uint32_t>((static_cast<uint64_t>(t - from) * 65536 + (to - from) / 2) / (to - from));
        target[a] = {static_cast<uint8_t>(low), fraction};
    }
}

}  // namespace kzp
