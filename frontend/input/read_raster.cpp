// PWG and CUPS raster through libcups, row by row; every header is checked
// (frontend/raster_header.h) before a row is read.
#include <cups/raster.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "frontend/raster_header.h"
#include "frontend/input/readers.h"

namespace kzfront::input {
namespace {

ssize_t readStream(void* ctx, unsigned char* buffer, size_t length) {
    auto* file = static_cast<std::FILE*>(ctx);
    const size_t got = std::fread(buffer, 1, length, file);
    return got > 0 || !std::ferror(file) ? ssize_t(got) : -1;
}

class RasterStream : public PageSource {
public:
    RasterStream(std::FILE* file, std::string name)
        : file_(file), name_(std::move(name)), raster_(cupsRasterOpenIO(readStream, file, CUPS_RASTER_READ)) {}
    ~RasterStream() override {
        if (raster_) cupsRasterClose(raster_);
        std::fclose(file_);
    }

    bool nextPage(PageHeader& page, std::string& error) override {
        if (failed_) return false;
        if (!raster_) {
            failed_ = true;
            error = name_ + ": not a readable PWG or CUPS raster stream";
            return false;
        }
        while (row_ < int64_t(header_.cupsHeight))
            if (!readLine(error)) return false;
        cups_page_header2_t h;
        if (!cupsRasterReadHeader2(raster_, &h)) {
            failed_ = true;
            if (pages_ == 0) error = name_ + ": no page of this raster stream is readable (damaged or truncated)";
            return false;
        }
        ++pages_;
        header_ = rasterHeaderFrom(h);
        row_ = 0;
        std::string why;
        if (!checkRasterHeader(header_, layout_, why)) {
            failed_ = true;
            error = name_ + ", page " + std::to_string(pages_) + ": " + why;
            return false;
        }
        line_.resize(layout_.bytesPerLine);
        page = {};
        page.width = int32_t(header_.cupsWidth);
        page.height = int32_t(header_.cupsHeight);
        page.format = layout_.format;
        page.kind = PageKind::Raster;
        page.turn = Turn::None;
        page.grey = layout_.format == PixelFormat::Gray8;
        page.ppi = header_.HWResolution[0];
        page.raster = rasterGeometry(header_);
        page.options = rasterOptions(header_);
        return true;
    }

    bool readRows(uint8_t* rows, int32_t count, std::string& error) override {
        if (failed_ || count < 1 || count > int64_t(header_.cupsHeight) - row_) {
            error = name_ + ": rows asked past the end of the page";
            return false;
        }
        const int32_t w = int32_t(header_.cupsWidth);
        const size_t stride = size_t(w) * size_t(channels(layout_.format));
        for (int32_t r = 0; r < count; ++r) {
            if (!readLine(error)) return false;
            uint8_t* out = rows + size_t(r) * stride;
            if (layout_.bits == 1) {
                for (int32_t x = 0; x < w; ++x) {
                    const bool set = line_[size_t(x / 8)] >> (7 - x % 8) & 1;
                    out[x] = set != layout_.inverted ? 255 : 0;
                }
            } else if (layout_.inverted) {
                for (int32_t x = 0; x < w; ++x) out[x] = uint8_t(255 - line_[size_t(x)]);
            } else {
                std::memcpy(out, line_.data(), stride);
            }
        }
        return true;
    }

private:
    bool readLine(std::string& error) {
        if (cupsRasterReadPixels(raster_, line_.data(), unsigned(line_.size())) != line_.size()) {
            failed_ = true;
            error = name_ + ", page " + std::to_string(pages_) + ": the raster data ends early, at line " +
                    std::to_string(row_) + " of " + std::to_string(header_.cupsHeight);
            return false;
        }
        ++row_;
        return true;
    }

    std::FILE* file_;
    std::string name_;
    cups_raster_t* raster_;
    RasterHeader header_;
    RasterLayout layout_;
    std::vector<uint8_t> line_;
    int64_t row_ = 0;
    int pages_ = 0;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<PageSource> openRaster(std::FILE* file, const std::string& name, const OpenOptions&) {
    return std::make_unique<RasterStream>(file, name);
}

}  // namespace kzfront::input
