// JPEG through libjpeg(-turbo), row by row: greyscale as grey, YCbCr as RGB;
// CMYK (as written inverted by most programs) is turned into RGB plainly.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>
// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>
#include <jerror.h>

#include "frontend/input/readers.h"

namespace kzfront::input {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
    bool truncated;  // libjpeg made up data for a file that ended early
};

[[noreturn]] void onError(j_common_ptr info) {
    auto* e = reinterpret_cast<ErrorManager*>(info->err);
    info->err->format_message(info, e->text);
    std::longjmp(e->jump, 1);
}
// Warnings are not printed; the one about a file that ended early fails the picture.
void onMessage(j_common_ptr info, int level) {
    auto* e = reinterpret_cast<ErrorManager*>(info->err);
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) e->truncated = true;
}

class JpegPages : public PageSource {
public:
    JpegPages(std::FILE* file, std::string name, const OpenOptions& options)
        : file_(file), name_(std::move(name)), options_(options) {
        info_.err = jpeg_std_error(&err_.base);
        err_.base.error_exit = onError;
        err_.base.emit_message = onMessage;
        err_.text[0] = '\0';
        err_.truncated = false;
    }
    ~JpegPages() override {
        if (created_) jpeg_destroy_decompress(&info_);
        std::fclose(file_);
    }

    bool nextPage(PageHeader& page, std::string& error) override {
        if (started_) return false;
        started_ = true;
        if (!begin(page)) {
            error = name_ + ": " + (err_.text[0] ? "damaged or unsupported JPEG file (" + std::string(err_.text) + ")"
                                                 : why_);
            return false;
        }
        return true;
    }

    bool readRows(uint8_t* rows, int32_t count, std::string& error) override {
        if (!begun_ || count < 1 || count > height_ - row_) {
            error = name_ + ": rows asked past the end of the picture";
            return false;
        }
        if (!rowsInto(rows, count)) {
            error = name_ + ": damaged JPEG data (" + std::string(err_.text) + ")";
            return false;
        }
        if (err_.truncated) {
            error = name_ + ": the JPEG data ends early, at row " + std::to_string(row_) + " of " +
                    std::to_string(height_);
            return false;
        }
        return true;
    }

private:
    // Kept free of objects with destructors between setjmp and libjpeg's calls.
    bool begin(PageHeader& page) {
        if (setjmp(err_.jump)) return false;
        jpeg_create_decompress(&info_);
        created_ = true;
        jpeg_stdio_src(&info_, file_);
        jpeg_read_header(&info_, TRUE);
        cmyk_ = info_.jpeg_color_space == JCS_CMYK || info_.jpeg_color_space == JCS_YCCK;
        grey_ = info_.jpeg_color_space == JCS_GRAYSCALE;
        info_.out_color_space = cmyk_ ? JCS_CMYK : grey_ ? JCS_GRAYSCALE : JCS_RGB;
        if (info_.image_width > unsigned(kMaxSide) || info_.image_height > unsigned(kMaxSide)) {
            why_ = tooLargeToPrint(info_.image_width, info_.image_height);
            return false;
        }
        jpeg_start_decompress(&info_);
        width_ = int32_t(info_.output_width);
        height_ = int32_t(info_.output_height);
        cmykRow_.resize(cmyk_ ? size_t(width_) * 4 : 0);
        page = {};
        page.width = width_;
        page.height = height_;
        page.format = grey_ ? PixelFormat::Gray8 : PixelFormat::Rgb8;
        page.grey = grey_;
        page.ppi = info_.density_unit == 1 ? info_.X_density : info_.density_unit == 2 ? info_.X_density * 2.54 : 0;
        begun_ = true;
        return true;
    }

    bool rowsInto(uint8_t* rows, int32_t count) {
        if (setjmp(err_.jump)) return false;
        const size_t stride = size_t(width_) * (grey_ ? 1 : 3);
        for (int32_t r = 0; r < count && !err_.truncated; ++r, ++row_) {
            uint8_t* row = rows + size_t(r) * stride;
            JSAMPROW target = cmyk_ ? cmykRow_.data() : row;
            jpeg_read_scanlines(&info_, &target, 1);
            if (!cmyk_) continue;
            // Adobe's CMYK JPEGs store inverted values: 255 is no ink.
            const bool inverted = info_.saw_Adobe_marker;
            for (int32_t x = 0; x < width_; ++x) {
                int v[4];
                for (int c = 0; c < 4; ++c) v[c] = inverted ? cmykRow_[4 * x + c] : 255 - cmykRow_[4 * x + c];
                for (int c = 0; c < 3; ++c) row[3 * x + c] = uint8_t(v[c] * v[3] / 255);
            }
        }
        return true;
    }

    std::FILE* file_;
    std::string name_;
    OpenOptions options_;
    jpeg_decompress_struct info_{};
    ErrorManager err_{};
    std::string why_;
    std::vector<uint8_t> cmykRow_;
    bool created_ = false, started_ = false, begun_ = false, cmyk_ = false, grey_ = false;
    int32_t width_ = 0, height_ = 0, row_ = 0;
};

}  // namespace

std::unique_ptr<PageSource> openJpeg(std::FILE* file, const std::string& name, const OpenOptions& options) {
    return std::make_unique<JpegPages>(file, name, options);
}

}  // namespace kzfront::input
