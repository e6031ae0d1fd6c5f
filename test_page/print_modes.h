// The settings that select each print mode, and the planes and bit depths
// the mode takes in its raster lines.  Shared by the demo and the tests.
#pragma once

#include <array>
#include <cstdint>

#include "kzrqo317/records.h"

namespace kz::demo {

struct PrintModeSettings {
    int mode;
    const char* name;
    int16_t mediaType;
    int16_t printQuality;
    int16_t marginInfo;  // 1 borderless
    int16_t monochrome;
    std::array<int8_t, 7> bitDepth;  // by plane 0..6; 0: the plane takes no entry
    // Caller pixels and lines per 600 dpi: the draft qualities take lines at
    // 300 dpi (each gives two page lines), plain paper at standard quality
    // also pixels at 300 dpi (each widened to two).
    int xScale = 1;
    int yScale = 1;
};

// Mode 14 has parameters but no settings select it.
inline constexpr std::array<PrintModeSettings, 15> kPrintModes = {{
    {0, "plain paper, draft", 0, 3, 0, 0, {1, 1, 1, 1, 0, 0, 0}, 1, 2},
    {1, "plain paper, standard", 0, 15, 0, 0, {1, 1, 1, 1, 0, 0, 0}, 2, 2},
    {2, "plain paper, fine", 0, 10, 0, 0, {2, 2, 2, 1, 0, 0, 0}},
    {3, "media 7, fine", 7, 10, 0, 0, {2, 2, 2, 1, 0, 0, 0}},
    {4, "plain paper, photo", 0, 5, 0, 0, {4, 4, 4, 1, 0, 0, 0}},
    {5, "media 29, standard", 29, 15, 0, 0, {4, 4, 4, 0, 0, 0, 0}},
    {6, "media 15, fine", 15, 10, 0, 0, {4, 4, 4, 0, 0, 0, 0}},
    {7, "media 1, photo", 1, 5, 0, 0, {2, 2, 2, 1, 0, 0, 0}},
    {8, "plain paper, photo, borderless", 0, 5, 1, 0, {4, 4, 4, 0, 0, 0, 0}},
    {9, "media 36, fine", 36, 10, 0, 0, {0, 0, 0, 0, 4, 4, 4}},
    {10, "media 26, best", 26, 0, 0, 0, {0, 0, 0, 0, 4, 4, 4}},
    {11, "plain paper, draft, black", 0, 3, 0, 1, {0, 0, 0, 1, 0, 0, 0}, 1, 2},
    {12, "plain paper, standard, black", 0, 15, 0, 1, {0, 0, 0, 1, 0, 0, 0}, 2, 2},
    {13, "plain paper, photo, black", 0, 5, 0, 1, {0, 0, 0, 1, 0, 0, 0}},
    {15, "plain paper, fine, borderless", 0, 10, 1, 0, {2, 2, 2, 0, 0, 0, 0}},
}};

// The highest level a plane's pixels print in a mode; the levels above it
// have no pass pattern and print nothing, so a page is halftoned to it.
constexpr int printableLevels(int mode, int plane, int depth) {
    if (depth <= 1) return depth;
    switch (mode) {
        case 2: case 3: case 15: return plane == 2 ? 1 : 2;
        case 5: case 6: return 4;
        case 7: return 3;
        default: return 8;  // 4-bit modes 4, 8, 9, 10
    }
}

inline const PrintModeSettings* findPrintMode(int mode) {
    for (const auto& m : kPrintModes) {
        if (m.mode == mode) return &m;
    }
    return nullptr;
}

inline PrintInfo printInfoFor(const PrintModeSettings& m, int16_t paperSize = 3, uint16_t banner = 0) {
    PrintInfo info{};
    info.MediaType = m.mediaType;
    info.PrintQuality = m.printQuality;
    info.MarginInfo = m.marginInfo;
    info.Monochrome = m.monochrome;
    info.PaperSize = paperSize;
    info.BannerPaper = banner;
    return info;
}

}  // namespace kz::demo
