// PWG and CUPS raster streams (versions 1, 2 and 3, either byte order), row
// by row.  Read here rather than through libcups, which takes memory for as
// many bytes a line as a header claims before anything can check it: every
// header is checked (frontend/raster_header.h) before a byte of its page is
// read, and a stream that ends inside a header or a page fails.
#include <cstring>
#include <numeric>
#include <vector>

#include "frontend/input/readers.h"
#include "frontend/input/row_source.h"
#include "frontend/raster_header.h"

namespace kzfront::input {
namespace {

class RasterStream : public RowSource {
public:
    RasterStream(std::FILE* file, std::string name, const OpenOptions& options)
        : RowSource(std::move(name), options), file_(file) {}
    ~RasterStream() override { std::fclose(file_); }

    bool nextPage(PageHeader& page, std::string& error) override {
        if (failed_ || (pages_ == 0 && !readSync(error)) || !skipRest(error)) return failed_ = true, false;
        uint8_t bytes[kRasterHeaderSize];
        const size_t got = std::fread(bytes, 1, sizeof bytes, file_);
        if (got < sizeof bytes) {
            failed_ = true;
            if (got > 0 || pages_ == 0)
                error = name_ + ", page " + std::to_string(pages_ + 1) + ": the page header ends early (" +
                        std::to_string(got) + " of " + std::to_string(sizeof bytes) + " bytes)";
            return false;
        }
        ++pages_;
        header_ = rasterHeaderFrom(bytes, bigEndian_);
        std::string why;
        int32_t box = 0;
        if (checkRasterHeader(header_, layout_, why)) {
            const uint32_t resolution = std::gcd(header_.HWResolution[0], header_.HWResolution[1]);
            box = reductionFor(header_.cupsWidth, header_.cupsHeight, options_, false, resolution, why);
        }
        if (box == 0) {
            failed_ = true;
            error = name_ + ", page " + std::to_string(pages_) + ": " + why;
            return false;
        }
        line_.resize(layout_.bytesPerLine);
        repeats_ = 0;
        row_ = 0;
        page = {};
        page.format = layout_.format;
        page.kind = PageKind::Raster;
        page.grey = layout_.format == PixelFormat::Gray8;
        page.ppi = header_.HWResolution[0];
        page.raster = rasterGeometry(header_);
        page.options = rasterOptions(header_);
        beginPage(page, int32_t(header_.cupsWidth), int32_t(header_.cupsHeight), box);
        return true;
    }

private:
    // "RaS2" (compressed), "RaS3" or "RaSt" (raw), spelt backwards in
    // little-endian streams.
    bool readSync(std::string& error) {
        char sync[4];
        if (std::fread(sync, 1, 4, file_) == 4) {
            for (const bool big : {true, false}) {
                const char* s = big ? "RaS" : "SaR";
                const char version = big ? sync[3] : sync[0];
                if (std::memcmp(big ? sync : sync + 1, s, 3) == 0 && (version == '2' || version == '3' || version == 't')) {
                    bigEndian_ = big;
                    compressed_ = version == '2';
                    return true;
                }
            }
        }
        error = name_ + ": not a PWG or CUPS raster stream";
        return false;
    }

    bool sourceRow(uint8_t* out, std::string& error) override {
        if (!(compressed_ ? unpackLine() : std::fread(line_.data(), 1, line_.size(), file_) == line_.size())) {
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

    // Version 2 (and PWG): a line begins with how often it repeats, then
    // runs of pixels: n < 128 repeats the next pixel n + 1 times, n > 128
    // copies 257 - n pixels, 128 leaves the rest of the line blank.
    bool unpackLine() {
        if (repeats_ > 0) {
            --repeats_;
            return true;
        }
        const int count = std::fgetc(file_);
        if (count == EOF) return false;
        repeats_ = count;
        const size_t unit = layout_.bytesPerPixel, end = line_.size();
        for (size_t at = 0; at < end;) {
            const int n = std::fgetc(file_);
            if (n == EOF) return false;
            if (n == 128) {
                std::memset(line_.data() + at, layout_.blank, end - at);
                break;
            }
            if (n > 128) {
                const size_t bytes = std::min(size_t(257 - n) * unit, end - at);
                if (std::fread(line_.data() + at, 1, bytes, file_) != bytes) return false;
                at += bytes;
                continue;
            }
            const size_t bytes = std::min(size_t(n + 1) * unit, end - at);
            if (bytes < unit || std::fread(line_.data() + at, 1, unit, file_) != unit) return false;
            for (size_t i = unit; i < bytes; ++i) line_[at + i] = line_[at + i - unit];
            at += bytes;
        }
        return true;
    }

    std::FILE* file_;
    bool bigEndian_ = false, compressed_ = false;
    RasterHeader header_;
    RasterLayout layout_;
    std::vector<uint8_t> line_;
    int repeats_ = 0;  // times the last line is given again
    uint32_t row_ = 0;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<PageSource> openRaster(std::FILE* file, const std::string& name, const OpenOptions& options) {
    return std::make_unique<RasterStream>(file, name, options);
}

}  // namespace kzfront::input
