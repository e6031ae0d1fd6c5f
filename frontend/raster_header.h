// CUPS and PWG raster page headers, checked once for every front end.
//
// Fields are read as integers and strings of at most their field's length:
// a file may hold any value in what libcups declares as enums, and strings
// that fill their field without a NUL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "frontend/page_source.h"

struct cups_page_header2_s;

namespace kzfront {

// The fields the readers and the CUPS settings translation use, named as in
// cups_page_header2_t.
struct RasterHeader {
    std::string MediaClass, MediaColor, MediaType, OutputType;
    uint32_t HWResolution[2] = {};
    uint32_t ImagingBoundingBox[4] = {};  // points: left, bottom, right, top
    uint32_t Collate = 0, MediaPosition = 0, MediaWeight = 0, NumCopies = 0, Orientation = 0, Duplex = 0, Tumble = 0;
    uint32_t PageSize[2] = {};  // points
    uint32_t cupsWidth = 0, cupsHeight = 0, cupsMediaType = 0;
    uint32_t cupsBitsPerColor = 0, cupsBitsPerPixel = 0, cupsBytesPerLine = 0;
    uint32_t cupsColorOrder = 0, cupsColorSpace = 0, cupsCompression = 0, cupsNumColors = 0;
    uint32_t cupsInteger[16] = {};
    std::string cupsMarkerType, cupsRenderingIntent, cupsPageSizeName;
};

// From libcups's header struct (PAPPL hands one over), or from the 1,796
// bytes of a header in a stream, in big- or little-endian order.
RasterHeader rasterHeaderFrom(const cups_page_header2_s& header);
inline constexpr size_t kRasterHeaderSize = 1796;
RasterHeader rasterHeaderFrom(const uint8_t* bytes, bool bigEndian);

// How a header's rows read: 8-bit grey, RGB or CMYK, or 1 bit a pixel;
// `inverted` when 0 means white in the file (black, K).
struct RasterLayout {
    PixelFormat format = PixelFormat::Gray8;
    int bits = 8;  // per pixel per colour: 8, or 1 (grey only)
    bool inverted = false;
    uint32_t bytesPerLine = 0;
    uint32_t bytesPerPixel = 1;  // the unit PWG's run-length coding repeats
    uint8_t blank = 0;           // a byte of an empty line: 255 where 0 is dark (W, RGB), else 0
};

// False with `why` (a sentence) when the header does not describe a page that
// prints: sizes within kMaxInputSide and kMaxInputPixels (frontend/limits.h), bytes per line equal
// to width x bits per pixel rounded up to whole bytes, a layout listed above.
bool checkRasterHeader(const RasterHeader& header, RasterLayout& layout, std::string& why);

// Where the page lies on its sheet, and what its header asks for.
RasterGeometry rasterGeometry(const RasterHeader& header);
RasterOptions rasterOptions(const RasterHeader& header);

}  // namespace kzfront
