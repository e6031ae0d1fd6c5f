#include "frontend/raster_header.h"

#include <cups/raster.h>

#include <cstddef>
#include <cstring>

#include "frontend/limits.h"

namespace kzfront {
namespace {

// A field as the integer it holds, whatever type libcups gives it.
template <typename Field>
uint32_t integer(const Field& field) {
    static_assert(sizeof(Field) == sizeof(uint32_t));
    uint32_t v;
    std::memcpy(&v, &field, sizeof v);
    return v;
}

template <size_t N>
std::string text(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// Where the fields lie in a stream's header (as in cups_page_header2_t).
enum Offset : size_t {
    kMediaClass = 0, kMediaColor = 64, kMediaType = 128, kOutputType = 192, kCollate = 264, kDuplex = 272, kHWResolution = 276,
    kImagingBoundingBox = 284, kMediaPosition = 324, kMediaWeight = 328, kNumCopies = 340, kOrientation = 344,
    kPageSize = 352, kTumble = 368, kCupsWidth = 372, kCupsHeight = 376, kCupsMediaType = 380,
    kCupsBitsPerColor = 384, kCupsBitsPerPixel = 388, kCupsBytesPerLine = 392, kCupsColorOrder = 396,
    kCupsColorSpace = 400, kCupsCompression = 404, kCupsNumColors = 420, kCupsInteger = 452,
    kCupsMarkerType = 1604, kCupsRenderingIntent = 1668, kCupsPageSizeName = 1732,
};
static_assert(offsetof(cups_page_header2_t, cupsWidth) == kCupsWidth);
static_assert(offsetof(cups_page_header2_t, cupsInteger) == kCupsInteger);
static_assert(offsetof(cups_page_header2_t, cupsPageSizeName) == kCupsPageSizeName);
static_assert(sizeof(cups_page_header2_t) == kRasterHeaderSize);

// Colour space numbers (cups_cspace_t).
constexpr uint32_t kW = 0, kRgb = 1, kK = 3, kCmyk = 6, kSw = 18, kSrgb = 19, kAdobeRgb = 20;
constexpr uint32_t kChunky = 0;

}  // namespace

RasterHeader rasterHeaderFrom(const cups_page_header2_s& h) {
    RasterHeader r;
    r.MediaClass = text(h.MediaClass);
    r.MediaColor = text(h.MediaColor);
    r.MediaType = text(h.MediaType);
    r.OutputType = text(h.OutputType);
    for (int i = 0; i < 2; ++i) r.HWResolution[i] = integer(h.HWResolution[i]);
    for (int i = 0; i < 4; ++i) r.ImagingBoundingBox[i] = integer(h.ImagingBoundingBox[i]);
    r.MediaPosition = integer(h.MediaPosition);
    r.MediaWeight = integer(h.MediaWeight);
    r.NumCopies = integer(h.NumCopies);
    r.Collate = integer(h.Collate);
    r.Orientation = integer(h.Orientation);
    r.Duplex = integer(h.Duplex);
    r.Tumble = integer(h.Tumble);
    for (int i = 0; i < 2; ++i) r.PageSize[i] = integer(h.PageSize[i]);
    r.cupsWidth = integer(h.cupsWidth);
    r.cupsHeight = integer(h.cupsHeight);
    r.cupsMediaType = integer(h.cupsMediaType);
    r.cupsBitsPerColor = integer(h.cupsBitsPerColor);
    r.cupsBitsPerPixel = integer(h.cupsBitsPerPixel);
    r.cupsBytesPerLine = integer(h.cupsBytesPerLine);
    r.cupsColorOrder = integer(h.cupsColorOrder);
    r.cupsColorSpace = integer(h.cupsColorSpace);
    r.cupsCompression = integer(h.cupsCompression);
    r.cupsNumColors = integer(h.cupsNumColors);
    for (int i = 0; i < 16; ++i) r.cupsInteger[i] = integer(h.cupsInteger[i]);
    r.cupsMarkerType = text(h.cupsMarkerType);
    r.cupsRenderingIntent = text(h.cupsRenderingIntent);
    r.cupsPageSizeName = text(h.cupsPageSizeName);
    return r;
}

RasterHeader rasterHeaderFrom(const uint8_t* b, bool bigEndian) {
    const auto u = [&](size_t at) {
        const uint8_t* p = b + at;
        return bigEndian ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                         : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    };
    const auto str = [&](size_t at) {
        const char* p = reinterpret_cast<const char*>(b + at);
        return std::string(p, strnlen(p, 64));
    };
    RasterHeader r;
    r.MediaClass = str(kMediaClass);
    r.MediaColor = str(kMediaColor);
    r.MediaType = str(kMediaType);
    r.OutputType = str(kOutputType);
    for (size_t i = 0; i < 2; ++i) r.HWResolution[i] = u(kHWResolution + 4 * i);
    for (size_t i = 0; i < 4; ++i) r.ImagingBoundingBox[i] = u(kImagingBoundingBox + 4 * i);
    r.MediaPosition = u(kMediaPosition);
    r.MediaWeight = u(kMediaWeight);
    r.NumCopies = u(kNumCopies);
    r.Collate = u(kCollate);
    r.Orientation = u(kOrientation);
    r.Duplex = u(kDuplex);
    r.Tumble = u(kTumble);
    for (size_t i = 0; i < 2; ++i) r.PageSize[i] = u(kPageSize + 4 * i);
    r.cupsWidth = u(kCupsWidth);
    r.cupsHeight = u(kCupsHeight);
    r.cupsMediaType = u(kCupsMediaType);
    r.cupsBitsPerColor = u(kCupsBitsPerColor);
    r.cupsBitsPerPixel = u(kCupsBitsPerPixel);
    r.cupsBytesPerLine = u(kCupsBytesPerLine);
    r.cupsColorOrder = u(kCupsColorOrder);
    r.cupsColorSpace = u(kCupsColorSpace);
    r.cupsCompression = u(kCupsCompression);
    r.cupsNumColors = u(kCupsNumColors);
    for (size_t i = 0; i < 16; ++i) r.cupsInteger[i] = u(kCupsInteger + 4 * i);
    r.cupsMarkerType = str(kCupsMarkerType);
    r.cupsRenderingIntent = str(kCupsRenderingIntent);
    r.cupsPageSizeName = str(kCupsPageSizeName);
    return r;
}

bool checkRasterHeader(const RasterHeader& h, RasterLayout& layout, std::string& why) {
    const uint32_t w = h.cupsWidth, ht = h.cupsHeight;
    if (w == 0 || ht == 0 || h.HWResolution[0] == 0 || h.HWResolution[1] == 0) {
        why = "the page header gives no size or resolution (" + std::to_string(w) + " x " + std::to_string(ht) +
              " pixels at " + std::to_string(h.HWResolution[0]) + " x " + std::to_string(h.HWResolution[1]) + " dpi)";
        return false;
    }
    if (w > kMaxInputSide || ht > kMaxInputSide || int64_t(w) * ht > kMaxInputPixels) {
        why = tooLargeToPrint(w, ht);
        return false;
    }
    layout = {};
    const uint32_t cs = h.cupsColorSpace, bpc = h.cupsBitsPerColor, bpp = h.cupsBitsPerPixel;
    bool known = h.cupsColorOrder == kChunky;
    if (cs == kW || cs == kSw || cs == kK) {
        known = known && (bpc == 8 || bpc == 1) && bpp == bpc;
        layout.format = PixelFormat::Gray8;
        layout.bits = int(bpc);
        layout.inverted = cs == kK;
    } else if (cs == kRgb || cs == kSrgb || cs == kAdobeRgb) {
        known = known && bpc == 8 && bpp == 24;
        layout.format = PixelFormat::Rgb8;
    } else if (cs == kCmyk) {
        known = known && bpc == 8 && bpp == 32;
        layout.format = PixelFormat::Cmyk8;
    } else {
        known = false;
    }
    if (!known) {
        why = "raster in colour space " + std::to_string(cs) + " with " + std::to_string(bpc) + " bits per colour, " +
              std::to_string(bpp) + " per pixel" + (h.cupsColorOrder == kChunky ? "" : ", in separate planes") +
              " does not print (8-bit grey, RGB or CMYK, or 1-bit grey or black, pixel by pixel)";
        return false;
    }
    const uint64_t needed = (uint64_t(w) * bpp + 7) / 8;
    if (h.cupsBytesPerLine != needed) {
        why = "the page header is inconsistent: " + std::to_string(w) + " pixels of " + std::to_string(bpp) +
              " bits take " + std::to_string(needed) + " bytes a line, not " + std::to_string(h.cupsBytesPerLine);
        return false;
    }
    layout.bytesPerLine = uint32_t(needed);
    layout.bytesPerPixel = (bpp + 7) / 8;
    layout.blank = cs == kK || cs == kCmyk ? 0 : 255;
    return true;
}

RasterGeometry rasterGeometry(const RasterHeader& h) {
    RasterGeometry g;
    g.xdpi = h.HWResolution[0];
    g.ydpi = h.HWResolution[1];
    g.pageWidthPt = h.PageSize[0];
    g.pageHeightPt = h.PageSize[1];
    for (int i = 0; i < 4; ++i) g.imagingBoxPt[i] = h.ImagingBoundingBox[i];
    return g;
}

RasterOptions rasterOptions(const RasterHeader& h) {
    RasterOptions o;
    o.pageSizeName = h.cupsPageSizeName;
    o.mediaType = h.MediaType;
    o.mediaTypeCode = h.cupsMediaType;
    o.mediaPosition = h.MediaPosition;
    o.numCopies = h.NumCopies;
    o.collate = h.Collate != 0;
    for (int i = 0; i < 16; ++i) o.integers[i] = h.cupsInteger[i];
    return o;
}

}  // namespace kzfront
