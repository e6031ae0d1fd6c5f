// PNG through libpng's simplified reading interface: every colour type and
// depth arrives as 8-bit RGB, transparency over white paper.
#include <png.h>

#include <cstdio>
#include <cstring>

#include "frontend/picture.h"

namespace kzprint {
namespace {

// Pixels per inch from the pHYs chunk (the simplified interface does not
// give it); 0 when the file does not say.
double pixelsPerInch(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    unsigned char b[17];
    double ppi = 0;
    bool more = std::fread(b, 1, 8, f) == 8;
    while (more && std::fread(b, 1, 8, f) == 8) {
        const uint32_t length = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
        if (std::memcmp(b + 4, "IDAT", 4) == 0 || std::memcmp(b + 4, "IEND", 4) == 0) break;
        if (std::memcmp(b + 4, "pHYs", 4) == 0 && length == 9 && std::fread(b, 1, 9, f) == 9) {
            const uint32_t perMetre = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
            if (b[8] == 1) ppi = perMetre * 0.0254;
            break;
        }
        more = std::fseek(f, long(length) + 4, SEEK_CUR) == 0;
    }
    std::fclose(f);
    return ppi;
}

class PngPages : public PageSource {
public:
    PngPages(std::string path, const PictureLimits& limits) : path_(std::move(path)), limits_(limits) {}
    bool next(Picture& page, std::string& error) override {
        if (done_) return false;
        done_ = true;
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, path_.c_str())) {
            error = path_ + ": not a readable PNG file (" + image.message + ")";
            return false;
        }
        std::string why;
        if (!withinLimits(image.width, image.height, limits_, why)) {
            error = path_ + ": " + why;
            png_image_free(&image);
            return false;
        }
        page.grey = (image.format & PNG_FORMAT_FLAG_COLOR) == 0;
        image.format = PNG_FORMAT_RGB;
        page.width = int32_t(image.width);
        page.height = int32_t(image.height);
        page.rgb.assign(size_t(page.width) * size_t(page.height) * 3, 0xFF);
        png_color white{255, 255, 255};
        if (!png_image_finish_read(&image, &white, page.rgb.data(), 0, nullptr)) {
            error = path_ + ": damaged PNG file (" + image.message + ")";
            png_image_free(&image);
            return false;
        }
        page.ppi = pixelsPerInch(path_);
        return true;
    }

private:
    std::string path_;
    PictureLimits limits_;
    bool done_ = false;
};

}  // namespace

std::unique_ptr<PageSource> openPng(const std::string& path, std::string&, const PictureLimits& limits) {
    return std::make_unique<PngPages>(path, limits);
}

}  // namespace kzprint
