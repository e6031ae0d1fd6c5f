// What the PPD and the filter agree on: which page header fields carry the
// driver's own settings, and how papers and qualities are named in the PPD.
// The .drv writer sets these fields in the choices' code; the filter reads
// them back from each page's header.
#pragma once

#include <cups/cups.h>

#include <string>

#include "kzrqo317/print.h"

namespace kzcups {

// cupsInteger[] slots.  0 in a slot means "not set" (a raster made without
// this PPD): the filter then falls back to defaults.
inline constexpr int kQualitySlot = 0;     // kzp_quality + 1
inline constexpr int kDitherSlot = 1;      // kzp_dither + 1
inline constexpr int kFinestSlot = 2;      // 1: the best mode, whatever the quality slot says
inline constexpr int kBorderlessSlot = 3;  // 1 for the borderless page sizes

// MediaPosition of the InputSlot choices.
inline constexpr unsigned kSheetPosition = 0;
inline constexpr unsigned kRollPosition = 1;

// Borderless page sizes are the paper's name with the Adobe suffix; the
// filter also takes the suffix CUPS gives driverless printers' sizes.
inline constexpr const char* kBorderlessSuffix = ".Fullbleed";
inline constexpr const char* kOtherBorderlessSuffix = ".Borderless";

// The PPD name of a paper: the Adobe name of its size ("A4", "Letter",
// "4x6", "A4Rotated" for a landscape twin), else what CUPS makes of its PWG
// name.
inline std::string ppdSizeName(const kzp_paper& paper) {
    const int w = paper.width_um / 10, h = paper.height_um / 10;  // hundredths of mm
    const pwg_media_t* known = w > h ? pwgMediaForSize(h, w) : pwgMediaForSize(w, h);
    if (known != nullptr && known->ppd != nullptr && known->ppd[0] != '\0') {
        return std::string(known->ppd) + (w > h ? "Rotated" : "");
    }
    known = pwgMediaForPWG(paper.pwg_name);
    if (known != nullptr && known->ppd != nullptr && known->ppd[0] != '\0') return known->ppd;
    return paper.pwg_name;
}

// cupsPrintQuality choice names; CUPS maps IPP print-quality 3, 4 and 5 to
// Draft, Normal and High, and replaces any other choice by one of those.
// The best mode is therefore an option of its own, FinestQuality.
inline const char* qualityChoice(kzp_quality q) {
    switch (q) {
    case KZP_QUALITY_DRAFT: return "Draft";
    case KZP_QUALITY_NORMAL: return "Normal";
    case KZP_QUALITY_HIGH: return "High";
    case KZP_QUALITY_BEST: break;
    }
    return "Normal";
}

}  // namespace kzcups
