// PWG and CUPS raster through libcups, row by row; every header is checked
// (frontend/raster_header.h) before a row is read.
#include <cups/raster.h>
#include <unistd.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "frontend/input/readers.h"
#include "frontend/input/row_source.h"
#include "frontend/raster_header.h"

namespace kzfront::input {
namespace {

struct Stream {
    std::FILE* file;
    uint64_t delivered = 0;  // bytes handed to libcups
};

ssize_t readStream(void* ctx, unsigned char* buffer, size_t length) {
    auto* stream = static_cast<Stream*>(ctx);
    const size_t got = std::fread(buffer, 1, length, stream->file);
    stream->delivered += got;
    return got > 0 || !std::ferror(stream->file) ? ssize_t(got) : -1;
}

class RasterStream : public RowSource {
public:
    RasterStream(std::FILE* file, std::string name, const OpenOptions& options)
        : RowSource(std::move(name), options), stream_{file},
          raster_(cupsRasterOpenIO(readStream, &stream_, CUPS_RASTER_READ)) {}
    ~RasterStream() override {
        if (raster_) cupsRasterClose(raster_);
        std::fclose(stream_.file);
    }

    bool nextPage(PageHeader& page, std::string& error) override {
        if (failed_) return false;
        if (!raster_) {
            failed_ = true;
            error = name_ + ": not a readable PWG or CUPS raster stream";
            return false;
        }
        if (!skipRest(error)) return failed_ = true, false;
        cups_page_header2_t h;
        std::memset(&h, 0, sizeof h);
        const uint64_t before = stream_.delivered;
        if (!cupsRasterReadHeader2(raster_, &h)) {
            // The end of the stream when no byte of a header arrived, else a
            // header cut short or one libcups does not take.
            failed_ = true;
            if (pages_ == 0 || stream_.delivered > before || !std::feof(stream_.file))
                error = name_ + (pages_ ? ", page " + std::to_string(pages_ + 1) : std::string()) +
                        ": the page header is damaged or incomplete";
            return false;
        }
        ++pages_;
        header_ = rasterHeaderFrom(h);
        std::string why;
        int32_t box = 0;
        if (checkRasterHeader(header_, layout_, why)) {
            const uint32_t resolution = std::gcd(header_.HWResolution[0], header_.HWResolution[1]);
            box = reductionFor(header_.cupsWidth, header_.cupsHeight, options_, false, resolution, why);
        }
        if (box == 0) {
            failed_ = true;
            error = failure(why);
            return false;
        }
        line_.resize(layout_.bytesPerLine);
        page = {};
        page.format = layout_.format;
        page.kind = PageKind::Raster;
        page.grey = layout_.format == PixelFormat::Gray8;
        page.ppi = header_.HWResolution[0];
        page.raster = rasterGeometry(header_);
        page.options = rasterOptions(header_);
        beginPage(page, int32_t(header_.cupsWidth), int32_t(header_.cupsHeight), box);
        row_ = 0;
        return true;
    }

private:
    bool sourceRow(uint8_t* out, std::string& error) override {
        if (cupsRasterReadPixels(raster_, line_.data(), unsigned(line_.size())) != line_.size()) {
            error = "the raster data ends early, at line " + std::to_string(row_) + " of " +
                    std::to_string(header_.cupsHeight);
            return false;
        }
        ++row_;
        const int32_t w = int32_t(header_.cupsWidth);
        if (layout_.bits == 1) {
            for (int32_t x = 0; x < w; ++x) {
                const bool set = line_[size_t(x / 8)] >> (7 - x % 8) & 1;
                out[x] = set != layout_.inverted ? 255 : 0;
            }
        } else if (layout_.inverted) {
            for (int32_t x = 0; x < w; ++x) out[x] = uint8_t(255 - line_[size_t(x)]);
        } else {
            std::memcpy(out, line_.data(), line_.size());
        }
        return true;
    }

    Stream stream_;
    cups_raster_t* raster_;
    RasterHeader header_;
    RasterLayout layout_;
    std::vector<uint8_t> line_;
    uint32_t row_ = 0;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<PageSource> openRaster(std::FILE* file, const std::string& name, const OpenOptions& options) {
    return std::make_unique<RasterStream>(file, name, options);
}

}  // namespace kzfront::input
