// Page setup: settings in people's terms to the driver's codes and the page
// format, shared by the capability query and the job.
#pragma once

#include <cstdint>
#include <string>

#include "kzrqo317/print.h"
#include "print/page_geometry.h"

namespace kzp {

struct Setup {
    kzp_page_format format{};
    int16_t mediaCode = 0, qualityCode = 0, paperCode = 0;
    bool mono = false, borderless = false, roll = false;
    // Raster column and line of the format's pixel (0, 0), at the format's resolution.
    int32_t rasterLeft = 0, rasterTop = 0;
    // Widest raster line, at the format's resolution.
    int32_t rasterWidth = 0;
};

// Fills `setup`, or returns false with `why` saying what is wrong and what is possible.
bool resolveSetup(const kzp_settings& settings, Setup& setup, std::string& why);

}  // namespace kzp
