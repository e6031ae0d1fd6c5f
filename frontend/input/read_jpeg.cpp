// JPEG through libjpeg(-turbo), row by row: greyscale as grey, YCbCr as RGB;
// CMYK (as written inverted by most programs) is turned into RGB plainly.
// Pictures to be reduced are decoded at 1/2, 1/4 or 1/8 of their size by
// libjpeg itself.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>
// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>
#include <jerror.h>

#include "frontend/input/readers.h"
#include "frontend/input/row_source.h"

namespace kzfront::input {
namespace {

// Progressive files may hold any number of scans, each a pass over the
// whole picture; libjpeg's own tools stop at a few hundred.
constexpr int kMaxScans = 500;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX + 100];
    bool missing;  // libjpeg made up data for a file that ended early or broke off
};

[[noreturn]] void onError(j_common_ptr info) {
    auto* e = reinterpret_cast<ErrorManager*>(info->err);
    if (info->err->msg_code == JERR_NO_BACKING_STORE) {
        std::snprintf(e->text, sizeof e->text, "decoding it needs more than the %lld MB a page may take",
                      static_cast<long long>(kPageBudget >> 20));
    } else {
        info->err->format_message(info, e->text);
    }
    std::longjmp(e->jump, 1);
}
// Warnings are not printed; those about missing data fail the picture.
void onMessage(j_common_ptr info, int level) {
    auto* e = reinterpret_cast<ErrorManager*>(info->err);
    if (level < 0 && (info->err->msg_code == JWRN_JPEG_EOF || info->err->msg_code == JWRN_HIT_MARKER)) e->missing = true;
}
void onProgress(j_common_ptr info) {
    auto* d = reinterpret_cast<j_decompress_ptr>(info);
    if (d->input_scan_number > kMaxScans) {
        auto* e = reinterpret_cast<ErrorManager*>(info->err);
        std::snprintf(e->text, sizeof e->text, "more than %d progressive scans", kMaxScans);
        std::longjmp(e->jump, 1);
    }
}

class JpegPages : public RowSource {
public:
    int32_t pageCount() override { return 1; }
    JpegPages(std::FILE* file, std::string name, const OpenOptions& options)
        : RowSource(std::move(name), options), file_(file) {
        info_.err = jpeg_std_error(&err_.base);
        err_.base.error_exit = onError;
        err_.base.emit_message = onMessage;
        progress_.progress_monitor = onProgress;
    }
    ~JpegPages() override {
        if (created_) jpeg_destroy_decompress(&info_);
        std::fclose(file_);
    }

    bool nextPage(PageHeader& page, std::string& error) override {
        if (pages_ > 0) return false;
        ++pages_;
        page = {};
        int32_t box = 0, scale = 1;
        if (!begin(page, box, scale)) {
            error = name_ + ": " + (err_.text[0] ? "damaged or unsupported JPEG file (" + std::string(err_.text) + ")"
                                                 : why_);
            return false;
        }
        if (err_.missing) {
            error = name_ + ": the JPEG data ends early or breaks off";
            return false;
        }
        beginPage(page, int32_t(info_.output_width), int32_t(info_.output_height), box, scale);
        return true;
    }

private:
    // Kept free of objects with destructors between setjmp and libjpeg's calls.
    bool begin(PageHeader& page, int32_t& box, int32_t& scale) {
        if (setjmp(err_.jump)) return false;
        jpeg_create_decompress(&info_);
        created_ = true;
        info_.mem->max_memory_to_use = kPageBudget;
        info_.progress = &progress_;
        jpeg_stdio_src(&info_, file_);
        jpeg_read_header(&info_, TRUE);
        cmyk_ = info_.jpeg_color_space == JCS_CMYK || info_.jpeg_color_space == JCS_YCCK;
        grey_ = info_.jpeg_color_space == JCS_GRAYSCALE;
        info_.out_color_space = cmyk_ ? JCS_CMYK : grey_ ? JCS_GRAYSCALE : JCS_RGB;
        const int32_t factor = reductionFor(info_.image_width, info_.image_height, options_, true, 0, why_);
        if (factor == 0) return false;
        // libjpeg's scaled decoding takes the largest power of two in the factor, up to 8.
        scale = 1;
        while (scale < 8 && factor % (scale * 2) == 0) scale *= 2;
        box = factor / scale;
        info_.scale_num = 1;
        info_.scale_denom = unsigned(scale);
        jpeg_start_decompress(&info_);
        width_ = int32_t(info_.output_width);
        cmykRow_.resize(cmyk_ ? size_t(width_) * 4 : 0);
        page.format = grey_ ? PixelFormat::Gray8 : PixelFormat::Rgb8;
        page.grey = grey_;
        page.ppi = info_.density_unit == 1 ? info_.X_density : info_.density_unit == 2 ? info_.X_density * 2.54 : 0;
        return true;
    }

    bool sourceRow(uint8_t* row, std::string& error) override {
        if (!decode(row)) {
            error = "damaged JPEG data (" + std::string(err_.text) + ")";
            return false;
        }
        if (err_.missing) {
            error = "the JPEG data ends early or breaks off, at row " + std::to_string(info_.output_scanline) +
                    " of " + std::to_string(info_.output_height);
            return false;
        }
        return true;
    }

    bool decode(uint8_t* row) {
        if (setjmp(err_.jump)) return false;
        JSAMPROW target = cmyk_ ? cmykRow_.data() : row;
        if (jpeg_read_scanlines(&info_, &target, 1) != 1) {
            std::strcpy(err_.text, "no more rows");
            return false;
        }
        if (!cmyk_) return true;
        // Adobe's CMYK JPEGs store inverted values: 255 is no ink.
        const bool inverted = info_.saw_Adobe_marker;
        for (int32_t x = 0; x < width_; ++x) {
            int v[4];
            for (int c = 0; c < 4; ++c) v[c] = inverted ? cmykRow_[4 * x + c] : 255 - cmykRow_[4 * x + c];
            for (int c = 0; c < 3; ++c) row[3 * x + c] = uint8_t(v[c] * v[3] / 255);
        }
        return true;
    }

    std::FILE* file_;
    jpeg_decompress_struct info_{};
    ErrorManager err_{};
    jpeg_progress_mgr progress_{};
    std::string why_;
    std::vector<uint8_t> cmykRow_;
    bool created_ = false, cmyk_ = false, grey_ = false;
    int32_t width_ = 0;
};

}  // namespace

std::unique_ptr<PageSource> openJpeg(std::FILE* file, const std::string& name, const OpenOptions& options) {
    return std::make_unique<JpegPages>(file, name, options);
}

}  // namespace kzfront::input
