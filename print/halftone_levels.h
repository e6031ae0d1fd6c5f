// The printable steps of one plane, ordered by drops, as both halftoning
// methods use them.
#pragma once

#include <array>
#include <cstdint>

#include "print/halftone.h"

namespace kzp {

struct HalftoneSteps {
    // steps: level 0 (no drop), then one printable level per distinct drop
    // count, ascending; where two levels fire the same drops, the lower level.
    int count = 1;
    uint8_t level[16] = {0};
    uint8_t drops[16] = {0};
    int maxDrops() const { return drops[count - 1]; }

    // For each amount 0..255: the target mean drops amount / 255 x max drops
    // lies between steps `low` and low + 1 (low + 1 < count), `fraction` of the
    // way (0..65536).
    struct Target {
        uint8_t low;
        uint32_t fraction;
    };
    std::array<Target, 256> target{};

    explicit HalftoneSteps(const InkLevels& levels);
};

}  // namespace kzp
