// How the printer picks a print mode from the page settings, and what each
// mode takes in its raster lines: our reading of the driver's tables, kept in
// one place.  tests/print_setup checks it against the driver's own job calls
// for every combination, so the two cannot drift apart.
#pragma once

#include <array>
#include <cstdint>

namespace kzp {

inline constexpr int kNoMode = 17;

// Media type code -> media index (the column of the mode tables); other codes act as 0.
constexpr int mediaIndex(int16_t code) {
    switch (code) {
    case 1: return 2;
    case 7: return 1;
    case 8: return 10;
    case 15: case 22: case 24: return 4;
    case 16: return 5;
    case 18: return 3;
    case 26: return 6;
    case 27: return 7;
    case 28: return 8;
    case 29: return 9;
    case 36: return 11;
    case 37: return 12;
    default: return 0;
    }
}

// Print quality code -> quality index (the row); other codes are index 0.
constexpr int qualityIndex(int16_t code) {
    switch (code) {
    case 15: return 1;
    case 10: return 2;
    case 5: return 3;
    case 0: return 4;
    default: return 0;
    }
}

// The print quality codes, by quality index.
inline constexpr std::array<int16_t, 5> kQualityCode = {3, 15, 10, 5, 0};
static_assert(qualityIndex(kQualityCode[0]) == 0 && qualityIndex(kQualityCode[4]) == 4);

//                                                   media index 0 .. 12
inline constexpr int8_t kColourModes[5][13] = {
    {0, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17},  // quality index 0
    {1, 17, 3, 17, 17, 17, 17, 17, 17, 5, 17, 17, 17},
    {2, 3, 17, 6, 6, 6, 6, 6, 6, 6, 3, 9, 6},
    {4, 4, 7, 17, 9, 9, 9, 9, 9, 9, 4, 17, 9},
    {17, 17, 17, 17, 17, 17, 10, 17, 17, 17, 17, 17, 17},
};
// Black-only modes, for the media indices that have them (0, 1, 5, 10).
inline constexpr int8_t kMonoModes[5][4] = {{11, 17, 17, 17}, {12, 17, 17, 17}, {12, 13, 13, 13},
                                            {13, 13, 13, 13}, {17, 17, 17, 17}};

constexpr int monoColumn(int mediaIdx) {
    return mediaIdx == 0 ? 0 : mediaIdx == 1 ? 1 : mediaIdx == 5 ? 2 : mediaIdx == 10 ? 3 : -1;
}

// The print mode the printer uses, or kNoMode.  Black-only exists only with
// margins and on media with a black-only column; otherwise the printer
// prints in colour whatever the caller asked.
constexpr int printMode(int16_t mediaCode, int16_t qualityCode, bool mono, bool borderless) {
    const int m = mediaIndex(mediaCode), q = qualityIndex(qualityCode);
    if (mono && !borderless && monoColumn(m) >= 0) return kMonoModes[q][monoColumn(m)];
    int mode = kColourModes[q][m];
    if (borderless && (m == 0 || m == 1 || m == 10)) {
        if (q == 2) mode = 15;
        if (q == 3) mode = 8;
    }
    return mode;
}
// True when the printer honours a black-only request.
constexpr bool printsBlackOnly(int16_t mediaCode, bool borderless) {
    return !borderless && monoColumn(mediaIndex(mediaCode)) >= 0;
}

static_assert(printMode(26, 0, false, false) == 10 && printMode(26, 10, false, false) == 6);
static_assert(printMode(0, 15, true, false) == 12 && printMode(0, 15, true, true) == 1);
static_assert(printMode(7, 10, false, true) == 15 && printMode(1, 10, false, true) == kNoMode);

// Plain paper at quality index 1: the printer widens every caller pixel to
// two of its 600 dpi pixels.
constexpr bool widensPixels(int16_t mediaCode, int16_t qualityCode) {
    return qualityIndex(qualityCode) == 1 && mediaIndex(mediaCode) == 0;
}
// Each caller line is printed on this many of the printer's 600 dpi lines:
// two at quality index 0 (which also prints 300 pixels across) and where
// pixels are widened.
constexpr int lineMultiplier(int16_t mediaCode, int16_t qualityCode) {
    return qualityIndex(qualityCode) == 0 || widensPixels(mediaCode, qualityCode) ? 2 : 1;
}
// Caller pixels across per inch: 300 where the printer prints 300 across
// (quality index 0) or widens every pixel to two (quality index 1, media 0).
constexpr int xdpi(int16_t mediaCode, int16_t qualityCode) { return 600 / lineMultiplier(mediaCode, qualityCode); }
// Dots a 1-bit pixel of a plane fires: the 300 dpi qualities put each line
// on two page lines (colours on both, black split between them), and widened
// pixels count twice.
constexpr int dotsPerPixel(int16_t mediaCode, int16_t qualityCode, int plane) {
    if (lineMultiplier(mediaCode, qualityCode) == 1) return 1;
    const int widened = widensPixels(mediaCode, qualityCode) ? 2 : 1;
    return plane == 3 ? widened : 2 * widened;
}
static_assert(dotsPerPixel(0, 3, 3) == 1 && dotsPerPixel(0, 3, 0) == 2 && dotsPerPixel(0, 15, 3) == 2);

// How the paper loads (sent to the printer with every page): 1 for the long
// sheet codes whatever the media, and for media 8 on any paper; 0 for plain
// paper on the ordinary sheet codes; 2 otherwise.
constexpr int loadPaperMode(int16_t paperCode, int16_t mediaCode) {
    switch (paperCode) {
    case 46: case 47: case 48: case 49: case 58: case 59: return 1;
    default: break;
    }
    if (mediaCode == 8) return 1;
    if (mediaCode == 0) {
        switch (paperCode) {
        case 1: case 2: case 3: case 8: case 9: case 13: case 15: case 26: case 27: case 42: case 43: return 0;
        default: break;
        }
    }
    return 2;
}

// What a mode's raster lines carry: bits per pixel of each plane (0: the
// plane takes no entry), the levels that print and the drops of each.
struct ModeRaster {
    std::array<uint8_t, 7> bits{};
    std::array<uint16_t, 7> levels{};   // bit v: level v prints
    std::array<std::array<uint8_t, 16>, 7> drops{};
};

namespace detail {
using Drops = std::array<uint8_t, 16>;
inline constexpr Drops kOneBit = {0, 1};
inline constexpr Drops kTwoLevels = {0, 1, 2};          // 2-bit, modes 2, 3, 15 planes 0 and 1
inline constexpr Drops kOneLevelTwoDrops = {0, 2};      // 2-bit, modes 2, 3, 15 plane 2
inline constexpr Drops kThreeLevels = {0, 1, 2, 4};     // 2-bit, mode 7
inline constexpr Drops kEightLevels = {0, 1, 2, 2, 3, 3, 4, 4, 5};  // 4-bit, modes 4, 8
inline constexpr Drops kFourLevels = {0, 1, 2, 3, 4};   // 4-bit, modes 5, 6
inline constexpr Drops kEightDrops = {0, 1, 2, 3, 4, 5, 6, 7, 8};   // 4-bit, modes 9, 10

constexpr uint16_t maskOf(const Drops& d) {
    uint16_t m = 0;
    for (int v = 1; v < 16; ++v)
        if (d[v]) m = uint16_t(m | (1u << v));
    return m;
}

constexpr ModeRaster make(std::array<uint8_t, 7> bits, const Drops& cmy, const Drops& yellow, int firstColour) {
    ModeRaster r{};
    r.bits = bits;
    for (int p = 0; p < 7; ++p) {
        if (bits[p] == 0) continue;
        const Drops& d = bits[p] == 1 ? kOneBit : (p == firstColour + 2 ? yellow : cmy);
        r.drops[p] = d;
        r.levels[p] = maskOf(d);
    }
    return r;
}
}  // namespace detail

inline constexpr std::array<ModeRaster, 16> kModeRaster = {
    detail::make({1, 1, 1, 1, 0, 0, 0}, detail::kOneBit, detail::kOneBit, 0),                          // 0
    detail::make({1, 1, 1, 1, 0, 0, 0}, detail::kOneBit, detail::kOneBit, 0),                          // 1
    detail::make({2, 2, 2, 1, 0, 0, 0}, detail::kTwoLevels, detail::kOneLevelTwoDrops, 0),             // 2
    detail::make({2, 2, 2, 1, 0, 0, 0}, detail::kTwoLevels, detail::kOneLevelTwoDrops, 0),             // 3
    detail::make({4, 4, 4, 1, 0, 0, 0}, detail::kEightLevels, detail::kEightLevels, 0),                // 4
    detail::make({4, 4, 4, 0, 0, 0, 0}, detail::kFourLevels, detail::kFourLevels, 0),                  // 5
    detail::make({4, 4, 4, 0, 0, 0, 0}, detail::kFourLevels, detail::kFourLevels, 0),                  // 6
    detail::make({2, 2, 2, 1, 0, 0, 0}, detail::kThreeLevels, detail::kThreeLevels, 0),                // 7
    detail::make({4, 4, 4, 0, 0, 0, 0}, detail::kEightLevels, detail::kEightLevels, 0),                // 8
    detail::make({0, 0, 0, 0, 4, 4, 4}, detail::kEightDrops, detail::kEightDrops, 4),                  // 9
    detail::make({0, 0, 0, 0, 4, 4, 4}, detail::kEightDrops, detail::kEightDrops, 4),                  // 10
    detail::make({0, 0, 0, 1, 0, 0, 0}, detail::kOneBit, detail::kOneBit, 0),                          // 11
    detail::make({0, 0, 0, 1, 0, 0, 0}, detail::kOneBit, detail::kOneBit, 0),                          // 12
    detail::make({0, 0, 0, 1, 0, 0, 0}, detail::kOneBit, detail::kOneBit, 0),                          // 13
    detail::make({1, 1, 1, 1, 0, 0, 0}, detail::kOneBit, detail::kOneBit, 0),                          // 14
    detail::make({2, 2, 2, 0, 0, 0, 0}, detail::kTwoLevels, detail::kOneLevelTwoDrops, 0),             // 15
};
static_assert(kModeRaster[2].levels[2] == 0x2 && kModeRaster[2].levels[0] == 0x6, "mode 2: yellow prints level 1 only");

// The highest level a plane prints in a mode (0: the plane takes no entry);
// the levels above it have no pass pattern, so pages are halftoned to it.
constexpr int topLevel(int mode, int plane) {
    int top = 0;
    for (int v = 1; v < 16; ++v)
        if (kModeRaster[size_t(mode)].levels[size_t(plane)] & (1u << v)) top = v;
    return top;
}
static_assert(topLevel(2, 2) == 1 && topLevel(7, 0) == 3 && topLevel(5, 1) == 4 && topLevel(10, 6) == 8);
static_assert(kModeRaster[9].levels[4] == 0x1FE && kModeRaster[9].bits[3] == 0, "mode 9: planes 4 to 6, levels 1 to 8");

}  // namespace kzp
