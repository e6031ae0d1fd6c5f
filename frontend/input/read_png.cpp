// PNG through libpng, row by row: every colour type and depth arrives as
// 8-bit grey or RGB, transparency over white paper, at the sRGB gamma.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "frontend/input/readers.h"

namespace kzfront::input {
namespace {

struct Failure {
    std::jmp_buf jump;
    char text[200];
};

[[noreturn]] void onError(png_structp png, png_const_charp message) {
    auto* failure = static_cast<Failure*>(png_get_error_ptr(png));
    std::snprintf(failure->text, sizeof failure->text, "%s", message);
    std::longjmp(failure->jump, 1);
}
void onWarning(png_structp, png_const_charp) {}

class PngPages : public PageSource {
public:
    PngPages(std::FILE* file, std::string name, const OpenOptions& options)
        : file_(file), name_(std::move(name)), options_(options) {}
    ~PngPages() override {
        if (png_) png_destroy_read_struct(&png_, &info_, nullptr);
        std::fclose(file_);
    }

    bool nextPage(PageHeader& page, std::string& error) override {
        if (started_) return false;
        started_ = true;
        if (!begin(page)) {
            error = name_ + ": " + failure_.text;
            return false;
        }
        return true;
    }

    bool readRows(uint8_t* rows, int32_t count, std::string& error) override {
        if (!png_ || count < 1 || count > height_ - row_) {
            error = name_ + ": rows asked past the end of the picture";
            return false;
        }
        if (!rowsInto(rows, count)) {
            error = name_ + ": damaged or truncated PNG data (" + failure_.text + ")";
            return false;
        }
        return true;
    }

private:
    // Kept free of objects with destructors between setjmp and libpng's calls.
    bool begin(PageHeader& page) {
        std::strcpy(failure_.text, "not a PNG picture");
        if (setjmp(failure_.jump)) return false;
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure_, onError, onWarning);
        if (!png_) return false;
        info_ = png_create_info_struct(png_);
        if (!info_) return false;
        png_init_io(png_, file_);
        png_read_info(png_, info_);
        png_uint_32 w = 0, h = 0;
        int depth = 0, type = 0, interlace = 0;
        png_get_IHDR(png_, info_, &w, &h, &depth, &type, &interlace, nullptr, nullptr);
        if (w > uint32_t(kMaxSide) || h > uint32_t(kMaxSide)) {
            std::snprintf(failure_.text, sizeof failure_.text, "%s", tooLargeToPrint(w, h).c_str());
            return false;
        }
        grey_ = (type & PNG_COLOR_MASK_COLOR) == 0;
        png_set_expand(png_);
        png_set_scale_16(png_);
        png_set_gamma(png_, PNG_DEFAULT_sRGB, PNG_DEFAULT_sRGB);
        if (interlace != PNG_INTERLACE_NONE) passes_ = png_set_interlace_handling(png_);
        png_read_update_info(png_, info_);
        channels_ = png_get_channels(png_, info_);  // grey or RGB, with alpha or not
        width_ = int32_t(w), height_ = int32_t(h);
        const int64_t bytes = int64_t(width_) * channels_ * (passes_ > 1 ? height_ : 1);
        if (bytes > kPageBudget) {
            std::snprintf(failure_.text, sizeof failure_.text,
                          "an interlaced picture of %d x %d pixels is larger than the %lld MB a page may take",
                          width_, height_, static_cast<long long>(kPageBudget >> 20));
            return false;
        }
        page = {};
        page.width = width_;
        page.height = height_;
        page.format = grey_ ? PixelFormat::Gray8 : PixelFormat::Rgb8;
        page.grey = grey_;
        png_uint_32 xres = 0, yres = 0;
        int unit = 0;
        if (png_get_pHYs(png_, info_, &xres, &yres, &unit) && unit == PNG_RESOLUTION_METER) page.ppi = xres * 0.0254;
        return true;
    }

    bool rowsInto(uint8_t* rows, int32_t count) {
        if (setjmp(failure_.jump)) return false;
        const int channels = channels_;
        const bool alpha = channels == 2 || channels == 4;
        const size_t rowBytes = size_t(width_) * size_t(channels);
        if (passes_ > 1 && whole_.empty()) {
            // Interlaced: every pass touches every row, so the picture is read whole first.
            whole_.resize(rowBytes * size_t(height_));
            pointers_.resize(size_t(height_));
            for (int32_t y = 0; y < height_; ++y) pointers_[size_t(y)] = whole_.data() + size_t(y) * rowBytes;
            png_read_image(png_, pointers_.data());
        }
        if (line_.size() < rowBytes) line_.resize(rowBytes);
        const int out = grey_ ? 1 : 3;
        for (int32_t r = 0; r < count; ++r, ++row_) {
            const uint8_t* in = line_.data();
            if (passes_ > 1) {
                in = whole_.data() + size_t(row_) * rowBytes;
            } else {
                png_read_row(png_, line_.data(), nullptr);
            }
            uint8_t* o = rows + size_t(r) * size_t(width_) * size_t(out);
            if (!alpha) {
                std::memcpy(o, in, rowBytes);
                continue;
            }
            for (int32_t x = 0; x < width_; ++x, in += channels, o += out) {
                const int a = in[channels - 1];
                for (int c = 0; c < out; ++c) o[c] = uint8_t((in[c] * a + 255 * (255 - a) + 127) / 255);
            }
        }
        return true;
    }

    std::FILE* file_;
    std::string name_;
    OpenOptions options_;
    Failure failure_{};
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    bool started_ = false, grey_ = false;
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
