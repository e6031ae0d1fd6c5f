// From a CUPS raster page header to the pipeline's settings, and from the
// raster's pixels to the lines the print mode takes.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kzrqo317/print.h"

namespace kzcups {

struct PagePlan {
    kzp_settings settings{};   // paper and media point into the capability query's arrays
    const kzp_paper* paper = nullptr;
    const kzp_media* mediaType = nullptr;
    kzp_page_format format = kzp_page_format_empty();
    kzp_input input = KZP_INPUT_RGB8;
    bool grey = false;           // the page came as grey or black
    bool greyInColour = false;   // grey, printed with colour inks: no black-only mode here
};

// Reads what a page header asks for and resolves it.  False with `why` (in
// words for the person printing) when the page cannot be printed: an
// encoding we do not take, a size the printer does not take, settings
// without a print mode, a resolution other than the mode's.
bool planPage(const cups_page_header2_t& header, PagePlan& plan, std::string& why);

// Resolves `plan.settings` for a page in colour or, with `plan.grey`, in
// grey: black-only where a black-only mode exists, else with colour inks.
// Sets `mono`, `greyInColour` and `format`.
kzp_status resolve(PagePlan& plan, char* message, size_t size);

// Same settings: pages can share one job.
bool sameSettings(const kzp_settings& a, const kzp_settings& b);

// Where each line and pixel of the print mode's area comes from in the
// raster.  The raster starts at the top-left corner of its imaging box (or
// of the page when the header has none) and may be at a whole multiple of
// the mode's resolution: each pixel of a line then averages a block of
// raster pixels.  With margins the raster is placed as it is; borderless,
// the paper's raster is stretched over the area with its bleed.
class Placement {
public:
    Placement(const cups_page_header2_t& header, const kzp_page_format& format);
    // First raster row or column of the block a line or pixel averages;
    // -1 outside the raster (blank).
    int32_t sourceRow(int32_t line) const;
    const std::vector<int32_t>& sourceColumns() const { return columns_; }
    int32_t blockWidth() const { return factorX_; }
    int32_t blockHeight() const { return factorY_; }

private:
    int32_t factorX_ = 1, factorY_ = 1;
    std::vector<int32_t> columns_;
    std::vector<int32_t> rows_;
};

// Bytes per pixel of a pipeline input format (BLACK1 is never produced here).
size_t inputBytes(kzp_input input);

// Writes the lines of the print mode, `plan.format.width_px` pixels in
// `plan.input`, each from the block of raster lines its pixels average.
class LineConverter {
public:
    LineConverter(const cups_page_header2_t& header, const PagePlan& plan, const Placement& placement);
    // `rows` raster lines, `header.cupsBytesPerLine` bytes apart; a blank
    // line when `rows` is 0.
    void convert(const uint8_t* raster, int32_t rows, uint8_t* out);

private:
    template <size_t N>
    void average(const uint8_t* raster, size_t stride, int32_t rows, uint8_t* out) const;

    const cups_page_header2_t& header_;
    const Placement& placement_;
    size_t channels_;
    uint8_t blank_;
    bool toGrey_;                   // 1-bit or black rasters become 8-bit grey first
    std::vector<uint8_t> grey_;
};

}  // namespace kzcups
