// JPEG through libjpeg(-turbo): greyscale and YCbCr arrive as RGB; CMYK (as
// written inverted by most programs) is turned into RGB plainly.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>

#include "frontend/picture.h"

namespace kzprint {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr info) {
    auto* e = reinterpret_cast<ErrorManager*>(info->err);
    info->err->format_message(info, e->text);
    std::longjmp(e->jump, 1);
}
void onMessage(j_common_ptr, int) {}  // warnings (e.g. a truncated file) are not printed

// Reads `file` into `page`; false with `why` on any fault.  Kept free of
// objects with destructors between setjmp and the library calls.
bool decode(std::FILE* file, const PictureLimits& limits, Picture& page, std::string& why) {
    jpeg_decompress_struct info;
    ErrorManager err;
    info.err = jpeg_std_error(&err.base);
    err.base.error_exit = onError;
    err.base.emit_message = onMessage;
    err.text[0] = '\0';
    std::vector<uint8_t> cmykRow;  // before setjmp: a fault jumps back over nothing that owns memory
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        why = err.text;
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    if (!withinLimits(info.image_width, info.image_height, limits, why)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    page.grey = info.jpeg_color_space == JCS_GRAYSCALE;
    page.ppi = info.density_unit == 1 ? info.X_density : info.density_unit == 2 ? info.X_density * 2.54 : 0;
    jpeg_start_decompress(&info);
    page.width = int32_t(info.output_width);
    page.height = int32_t(info.output_height);
    page.rgb.resize(size_t(page.width) * size_t(page.height) * 3);
    cmykRow.resize(cmyk ? size_t(page.width) * 4 : 0);
    while (info.output_scanline < info.output_height) {
        uint8_t* row = page.rgb.data() + size_t(info.output_scanline) * size_t(page.width) * 3;
        JSAMPROW target = cmyk ? cmykRow.data() : row;
        jpeg_read_scanlines(&info, &target, 1);
        if (cmyk) {
            // Adobe's CMYK JPEGs store inverted values: 255 is no ink.
            const bool inverted = info.saw_Adobe_marker;
            for (int32_t x = 0; x < page.width; ++x) {
                int v[4];
                for (int c = 0; c < 4; ++c) v[c] = inverted ? cmykRow[4 * x + c] : 255 - cmykRow[4 * x + c];
                for (int c = 0; c < 3; ++c) row[3 * x + c] = uint8_t(v[c] * v[3] / 255);
            }
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

class JpegPages : public PageSource {
public:
    JpegPages(std::string path, const PictureLimits& limits) : path_(std::move(path)), limits_(limits) {}
    bool next(Picture& page, std::string& error) override {
        if (done_) return false;
        done_ = true;
        std::FILE* file = std::fopen(path_.c_str(), "rb");
        if (!file) {
            error = path_ + ": cannot be opened";
            return false;
        }
        std::string why;
        const bool ok = decode(file, limits_, page, why);
        std::fclose(file);
        if (!ok) error = path_ + ": damaged or unsupported JPEG file (" + why + ")";
        return ok;
    }

private:
    std::string path_;
    PictureLimits limits_;
    bool done_ = false;
};

}  // namespace

std::unique_ptr<PageSource> openJpeg(const std::string& path, std::string&, const PictureLimits& limits) {
    return std::make_unique<JpegPages>(path, limits);
}

}  // namespace kzprint
