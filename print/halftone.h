// Halftoning: ink amounts to the dot levels a print mode prints.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

#include "kzrqo317/print.h"

namespace kzp {

// The levels one plane of a print mode prints: level v prints when bit v of
// `printable` is set, and fires drops[v] drops (0 for levels that print nothing).
struct InkLevels {
    int bits = 1;              // 1, 2 or 4
    uint16_t printable = 0x2;  // bit 0 is never set
    uint8_t drops[16] = {0, 1};

    // Plane `plane` of a print mode, as the capability query gives it.
    static InkLevels of(const kzp_mode_info& mode, int plane) {
        InkLevels l;
        l.bits = mode.bit_depth[plane];
        l.printable = mode.levels[plane];
        std::copy(std::begin(mode.drops[plane]), std::end(mode.drops[plane]), l.drops);
        return l;
    }
};

enum class HalftoneMethod { Fast, Quality };

// Turns one plane's lines of ink amounts into levels, line after line, top to
// bottom.  An amount is 0 (no ink) to 255 (the plane's densest printable
// level); the result for a pixel is always 0 or a printable level, chosen by
// drops, so that the mean drops of an area follow amount / 255 x max drops.
// Deterministic: the same lines give the same levels.  `ink` (0..6, the plane)
// decorrelates the planes' patterns.
class Halftoner {
public:
    virtual ~Halftoner() = default;
    // amount: `width` bytes; level: `width` bytes written.
    virtual void line(int32_t y, const uint8_t* amount, uint8_t* level) = 0;

    static std::unique_ptr<Halftoner> make(HalftoneMethod method, const InkLevels& levels, int ink, int32_t width);
};

// The planes of a mode halftoned together, line after line.  Each plane
// prints exactly what a Halftoner of its own would; the quality method runs
// the planes' error diffusion in lockstep, so that the processor works on
// several planes while each pixel's error waits on the previous one's.
class PlaneHalftoners {
public:
    virtual ~PlaneHalftoners() = default;
    // amount[i], level[i]: `width` bytes of plane i, as Halftoner::line.
    virtual void line(int32_t y, const uint8_t* const amount[], uint8_t* const level[]) = 0;

    // levels[i] and ink[i] for each of the `count` planes (at most 7).
    static std::unique_ptr<PlaneHalftoners> make(HalftoneMethod method, const InkLevels levels[], const int ink[],
                                                 int count, int32_t width);
};

}  // namespace kzp
