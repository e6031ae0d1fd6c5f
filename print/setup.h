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

// The capability query's modes; `format.mode` of a resolved setup points into them.
size_t modeCount();
const kzp_mode_info* modeAt(size_t index);

// The sizes of the caller-filled structs as first published: a caller built
// against them passes at least these; later fields get their defaults.
inline constexpr size_t kFirstSettingsSize = sizeof(kzp_settings);
inline constexpr size_t kFirstSinkSize = sizeof(kzp_sink);
inline constexpr size_t kFirstPageFormatSize = sizeof(kzp_page_format);
// Fields are added only at the end, after these sizes are raised to constants.
static_assert(sizeof(void*) != 8 || (kFirstSettingsSize == 56 && kFirstSinkSize == 32 && kFirstPageFormatSize == 56));
static_assert(sizeof(void*) != 4 || (kFirstSettingsSize == 36 && kFirstSinkSize == 16 && kFirstPageFormatSize == 48));

// The caller's settings as this library's struct: the fields its struct_size
// covers, defaults for the rest.  False with `why` when there are none or
// struct_size was not set.
bool readSettings(const kzp_settings* in, kzp_settings& out, std::string& why);
// The same for a sink.
bool readSink(const kzp_sink* in, kzp_sink& out, std::string& why);

}  // namespace kzp
