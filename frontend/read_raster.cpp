// PWG and CUPS raster through libcups: 8-bit grey, RGB and CMYK and 1-bit
// black or white, chunky; other layouts are refused by name.
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include "frontend/picture.h"

namespace kzprint {
namespace {

enum class Layout { None, White8, Black8, Rgb8, Cmyk8, White1, Black1 };

Layout layoutOf(const cups_page_header2_t& h) {
    if (h.cupsColorOrder != CUPS_ORDER_CHUNKED) return Layout::None;
    const bool eight = h.cupsBitsPerColor == 8, one = h.cupsBitsPerColor == 1;
    switch (h.cupsColorSpace) {
    case CUPS_CSPACE_W: case CUPS_CSPACE_SW:
        return eight && h.cupsBitsPerPixel == 8 ? Layout::White8 : one && h.cupsBitsPerPixel == 1 ? Layout::White1 : Layout::None;
    case CUPS_CSPACE_K:
        return eight && h.cupsBitsPerPixel == 8 ? Layout::Black8 : one && h.cupsBitsPerPixel == 1 ? Layout::Black1 : Layout::None;
    case CUPS_CSPACE_RGB: case CUPS_CSPACE_SRGB: case CUPS_CSPACE_ADOBERGB:
        return eight && h.cupsBitsPerPixel == 24 ? Layout::Rgb8 : Layout::None;
    case CUPS_CSPACE_CMYK:
        return eight && h.cupsBitsPerPixel == 32 ? Layout::Cmyk8 : Layout::None;
    default:
        return Layout::None;
    }
}

class RasterPages : public PageSource {
public:
    RasterPages(std::string path, int fd) : path_(std::move(path)), fd_(fd), raster_(cupsRasterOpen(fd, CUPS_RASTER_READ)) {}
    ~RasterPages() override {
        if (raster_) cupsRasterClose(raster_);
        ::close(fd_);
    }
    bool next(Picture& page, std::string& error) override {
        if (!raster_) {
            error = path_ + ": not a readable PWG or CUPS raster stream";
            return false;
        }
        cups_page_header2_t h;
        if (!cupsRasterReadHeader2(raster_, &h)) {
            // The end of the stream, or a header that does not read.
            if (pages_ == 0) error = path_ + ": no page of this raster stream is readable (damaged or truncated)";
            return false;
        }
        ++pages_;
        const std::string where = path_ + ", page " + std::to_string(pages_) + ": ";
        const Layout layout = layoutOf(h);
        if (layout == Layout::None) {
            error = where + "raster of " + std::to_string(h.cupsBitsPerColor) + " bits per colour in colour space " +
                    std::to_string(int(h.cupsColorSpace)) +
                    " is not supported (8-bit grey, RGB or CMYK, or 1-bit black, chunky)";
            return false;
        }
        const int64_t w = h.cupsWidth, ht = h.cupsHeight;
        const uint64_t needed = layout == Layout::White1 || layout == Layout::Black1 ? uint64_t(w + 7) / 8
                                : uint64_t(w) * (h.cupsBitsPerPixel / 8);
        if (w < 1 || ht < 1 || w > kMaxSide || ht > kMaxSide || w * ht > kMaxPixels || h.cupsBytesPerLine < needed) {
            error = where + "damaged or too large page header (" + std::to_string(w) + " x " + std::to_string(ht) + ")";
            return false;
        }
        page.width = int32_t(w);
        page.height = int32_t(ht);
        page.rgb.resize(size_t(w) * size_t(ht) * 3);
        std::vector<uint8_t> row(h.cupsBytesPerLine);
        for (int64_t y = 0; y < ht; ++y) {
            if (cupsRasterReadPixels(raster_, row.data(), h.cupsBytesPerLine) != h.cupsBytesPerLine) {
                error = where + "truncated raster data at line " + std::to_string(y);
                return false;
            }
            uint8_t* out = page.rgb.data() + size_t(y) * size_t(w) * 3;
            for (int64_t x = 0; x < w; ++x) {
                uint8_t r, g, b;
                switch (layout) {
                case Layout::White8: r = g = b = row[x]; break;
                case Layout::Black8: r = g = b = uint8_t(255 - row[x]); break;
                case Layout::Rgb8: r = row[3 * x]; g = row[3 * x + 1]; b = row[3 * x + 2]; break;
                case Layout::Cmyk8: {
                    const int k = 255 - row[4 * x + 3];
                    r = uint8_t((255 - row[4 * x]) * k / 255);
                    g = uint8_t((255 - row[4 * x + 1]) * k / 255);
                    b = uint8_t((255 - row[4 * x + 2]) * k / 255);
                    break;
                }
                case Layout::White1: r = g = b = (row[x / 8] >> (7 - x % 8) & 1) ? 255 : 0; break;
                default: r = g = b = (row[x / 8] >> (7 - x % 8) & 1) ? 0 : 255; break;
                }
                out[3 * x] = r;
                out[3 * x + 1] = g;
                out[3 * x + 2] = b;
            }
        }
        return true;
    }

private:
    std::string path_;
    int fd_;
    cups_raster_t* raster_;
    int pages_ = 0;
};

}  // namespace

std::unique_ptr<PageSource> openRaster(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        error = path + ": cannot be opened";
        return nullptr;
    }
    return std::make_unique<RasterPages>(path, fd);
}

}  // namespace kzprint
