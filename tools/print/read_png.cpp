// PNG through libpng's simplified reading interface: every colour type and
// depth arrives as 8-bit RGB, transparency over white paper.
#include <png.h>

#include <cstring>

#include "picture.h"

namespace kzprint {
namespace {

class PngPages : public PageSource {
public:
    explicit PngPages(std::string path) : path_(std::move(path)) {}
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
        if (image.width == 0 || image.height == 0 || image.width > uint32_t(kMaxSide) ||
            image.height > uint32_t(kMaxSide) || int64_t(image.width) * image.height > kMaxPixels) {
            error = path_ + ": a PNG picture of " + std::to_string(image.width) + " x " +
                    std::to_string(image.height) + " pixels is too large to print";
            png_image_free(&image);
            return false;
        }
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
        return true;
    }

private:
    std::string path_;
    bool done_ = false;
};

}  // namespace

std::unique_ptr<PageSource> openPng(const std::string& path, std::string&) { return std::make_unique<PngPages>(path); }

}  // namespace kzprint
