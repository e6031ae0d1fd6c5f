// PNG through libpng, row by row: every colour type and depth arrives as
// 8-bit grey or RGB, transparency over white paper, at the sRGB gamma.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "frontend/input/readers.h"
#include "frontend/input/row_source.h"

namespace kzfront::input {
namespace {

struct Failure {
    std::jmp_buf jump;
    char text[300];
};

[[noreturn]] void onError(png_structp png, png_const_charp message) {
    auto* failure = static_cast<Failure*>(png_get_error_ptr(png));
    std::snprintf(failure->text, sizeof failure->text, "%s", message);
    std::longjmp(failure->jump, 1);
}
void onWarning(png_structp, png_const_charp) {}

class PngPages : public RowSource {
public:
    int32_t pageCount() override { return 1; }
    PngPages(std::FILE* file, std::string name, const OpenOptions& options)
        : RowSource(std::move(name), options), file_(file) {}
    ~PngPages() override {
        if (png_) png_destroy_read_struct(&png_, &info_, nullptr);
        std::fclose(file_);
    }

    bool nextPage(PageHeader& page, std::string& error) override {
        if (pages_ > 0) return false;
        ++pages_;
        page = {};
        int32_t box = 0;
        if (!begin(page, box)) {
            error = name_ + ": " + (failure_.text[0] ? "not a readable PNG picture (" + std::string(failure_.text) + ")"
                                                     : why_);
            return false;
        }
        beginPage(page, width_, height_, box);
        return true;
    }

private:
    // Kept free of objects with destructors between setjmp and libpng's calls.
    bool begin(PageHeader& page, int32_t& box) {
        if (setjmp(failure_.jump)) return false;
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure_, onError, onWarning);
        if (!png_) return std::strcpy(failure_.text, "out of memory"), false;
        info_ = png_create_info_struct(png_);
        if (!info_) return std::strcpy(failure_.text, "out of memory"), false;
        png_init_io(png_, file_);
        png_read_info(png_, info_);
        png_uint_32 w = 0, h = 0;
        int depth = 0, type = 0, interlace = 0;
        png_get_IHDR(png_, info_, &w, &h, &depth, &type, &interlace, nullptr, nullptr);
        box = reductionFor(w, h, options_, true, 0, why_);
        if (box == 0) return false;
        grey_ = (type & PNG_COLOR_MASK_COLOR) == 0;
        png_set_expand(png_);
        png_set_scale_16(png_);
        png_set_gamma(png_, PNG_DEFAULT_sRGB, PNG_DEFAULT_sRGB);
        if (interlace != PNG_INTERLACE_NONE) passes_ = png_set_interlace_handling(png_);
        png_read_update_info(png_, info_);
        channels_ = png_get_channels(png_, info_);  // grey or RGB, with alpha or not
        width_ = int32_t(w), height_ = int32_t(h);
        if (passes_ > 1 && int64_t(width_) * height_ * channels_ > kPageBudget) {
            // Every pass of an interlaced picture touches every row: it is read whole.
            why_ = "an interlaced picture of " + std::to_string(w) + " x " + std::to_string(h) +
                   " pixels is larger than the " + std::to_string(kPageBudget >> 20) +
                   " MB a page may take (saved without interlacing it is read row by row)";
            return false;
        }
        page.format = grey_ ? PixelFormat::Gray8 : PixelFormat::Rgb8;
        page.grey = grey_;
        png_uint_32 xres = 0, yres = 0;
        int unit = 0;
        if (png_get_pHYs(png_, info_, &xres, &yres, &unit) && unit == PNG_RESOLUTION_METER) page.ppi = xres * 0.0254;
        return true;
    }

    bool sourceRow(uint8_t* row, std::string& error) override {
        const uint8_t* in = decode();
        if (!in) {
            error = std::string("damaged or truncated PNG data (") + failure_.text + ")";
            return false;
        }
        const int channels = channels_;
        if (channels == 1 || channels == 3) {
            std::memcpy(row, in, size_t(width_) * size_t(channels));
            return true;
        }
        const int out = channels - 1;  // without alpha, which lays each pixel over white
        for (int32_t x = 0; x < width_; ++x, in += channels, row += out) {
            const int a = in[out];
            for (int c = 0; c < out; ++c) row[c] = uint8_t((in[c] * a + 255 * (255 - a) + 127) / 255);
        }
        return true;
    }

    // The next decoded row, or NULL.
    const uint8_t* decode() {
        if (setjmp(failure_.jump)) return nullptr;
        const size_t rowBytes = size_t(width_) * size_t(channels_);
        if (passes_ > 1) {
            if (whole_.empty()) {
                whole_.resize(rowBytes * size_t(height_));
                pointers_.resize(size_t(height_));
                for (int32_t y = 0; y < height_; ++y) pointers_[size_t(y)] = whole_.data() + size_t(y) * rowBytes;
                png_read_image(png_, pointers_.data());
            }
            return whole_.data() + size_t(row_++) * rowBytes;
        }
        if (line_.size() < rowBytes) line_.resize(rowBytes);
        png_read_row(png_, line_.data(), nullptr);
        ++row_;
        return line_.data();
    }

    std::FILE* file_;
    Failure failure_{};
    std::string why_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    bool grey_ = false;
    int channels_ = 3, passes_ = 1;
    int32_t width_ = 0, height_ = 0, row_ = 0;
    std::vector<uint8_t> line_, whole_;
    std::vector<png_bytep> pointers_;
};

}  // namespace

std::unique_ptr<PageSource> openPng(std::FILE* file, const std::string& name, const OpenOptions& options) {
    return std::make_unique<PngPages>(file, name, options);
}

}  // namespace kzfront::input
