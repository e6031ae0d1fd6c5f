// Settings that select each print mode, for the demo, the test chart and the
// tests.  What each mode takes (planes, bit depths, levels, resolution) comes
// from the pipeline's reading of the driver's tables, print/mode_tables.h.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "kzrqo317/records.h"
#include "print/mode_tables.h"
#include "test_page/test_page.h"

namespace kz::demo {

struct PrintModeSettings {
    int mode;  // the mode these settings select (checked below)
    const char* name;
    int16_t mediaType;
    int16_t printQuality;
    int16_t marginInfo;  // 1 borderless
    int16_t monochrome;

    constexpr ChartFormat chart() const {
        ChartFormat c;
        for (int p = 0; p < 7; ++p) {
            c.bitDepth[size_t(p)] = int8_t(kzp::kModeRaster[size_t(mode)].bits[size_t(p)]);
            c.topLevel[size_t(p)] = int8_t(kzp::topLevel(mode, p));
        }
        c.xScale = 600 / kzp::xdpi(mediaType, printQuality);
        c.yScale = kzp::lineMultiplier(mediaType, printQuality);
        return c;
    }
};

// Mode 14 has parameters but no settings select it.
inline constexpr std::array<PrintModeSettings, 15> kPrintModes = {{
    {0, "plain paper, draft", 0, 3, 0, 0},
    {1, "plain paper, standard", 0, 15, 0, 0},
    {2, "plain paper, fine", 0, 10, 0, 0},
    {3, "media 7, fine", 7, 10, 0, 0},
    {4, "plain paper, photo", 0, 5, 0, 0},
    {5, "media 29, standard", 29, 15, 0, 0},
    {6, "media 15, fine", 15, 10, 0, 0},
    {7, "media 1, photo", 1, 5, 0, 0},
    {8, "plain paper, photo, borderless", 0, 5, 1, 0},
    {9, "media 36, fine", 36, 10, 0, 0},
    {10, "media 26, best", 26, 0, 0, 0},
    {11, "plain paper, draft, black", 0, 3, 0, 1},
    {12, "plain paper, standard, black", 0, 15, 0, 1},
    {13, "plain paper, photo, black", 0, 5, 0, 1},
    {15, "plain paper, fine, borderless", 0, 10, 1, 0},
}};
static_assert(std::all_of(kPrintModes.begin(), kPrintModes.end(), [](const PrintModeSettings& m) {
                  return kzp::printMode(m.mediaType, m.printQuality, m.monochrome, m.marginInfo) == m.mode;
              }),
              "each entry's settings select its mode");

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
