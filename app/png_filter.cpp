// PNG: read here rather than by PAPPL 1.3's own reader, which spins forever
// on a file that ends early.  A damaged or oversized file fails its job with
// the reason; a good one goes through papplJobFilterImage like PAPPL's.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"

namespace kzapp {
namespace {

struct Reader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    FILE* file = nullptr;
    char error[256] = "";
    ~Reader() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        if (file) std::fclose(file);
    }
};

void onError(png_structp png, png_const_charp message) {
    auto* reader = static_cast<Reader*>(png_get_error_ptr(png));
    std::snprintf(reader->error, sizeof reader->error, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

bool refuse(pappl_job_t* job, const std::string& why) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", why.c_str());
    papplJobSetMessage(job, "%s", why.c_str());
    return false;
}

}  // namespace

bool printPng(pappl_job_t* job, pappl_device_t* device, void*) {
    Reader r;
    // Pixels and rows outlive a longjmp: keep them outside the protected part.
    std::vector<uint8_t> pixels;
    std::vector<png_bytep> rows;
    r.file = std::fopen(papplJobGetFilename(job), "rb");
    if (!r.file) return refuse(job, "Cannot open the PNG file.");
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r, onError, onWarning);
    r.info = r.png ? png_create_info_struct(r.png) : nullptr;
    if (!r.info) return refuse(job, "Out of memory reading the PNG file.");
    png_uint_32 width = 0, height = 0;
    int channels = 0;
    if (setjmp(png_jmpbuf(r.png)))
        return refuse(job, std::string("The PNG file is damaged or cut short: ") + r.error + ".");
    png_init_io(r.png, r.file);
    png_read_info(r.png, r.info);
    width = png_get_image_width(r.png, r.info);
    height = png_get_image_height(r.png, r.info);
    int maxWidth = 0, maxHeight = 0;
    const size_t maxBytes = papplSystemGetMaxImageSize(papplPrinterGetSystem(papplJobGetPrinter(job)), &maxWidth, &maxHeight);
    const int colourType = png_get_color_type(r.png, r.info);
    channels = (colourType & PNG_COLOR_MASK_COLOR) ? 3 : 1;
    if (width > static_cast<png_uint_32>(maxWidth) || height > static_cast<png_uint_32>(maxHeight) ||
        static_cast<size_t>(width) * height * channels > maxBytes) {
        char why[256];
        std::snprintf(why, sizeof why, "The PNG image is %u x %u pixels; this printer takes images up to %d x %d pixels.",
                      width, height, maxWidth, maxHeight);
        return refuse(job, why);
    }
    // 8-bit grey or RGB, transparency over white paper.
    png_set_expand(r.png);
    png_set_strip_16(r.png);
    png_color_16 white{};
    white.red = white.green = white.blue = white.gray = 255;
    if (colourType & PNG_COLOR_MASK_ALPHA || png_get_valid(r.png, r.info, PNG_INFO_tRNS))
        png_set_background(r.png, &white, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
    png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    channels = png_get_channels(r.png, r.info);
    if (channels != 1 && channels != 3) return refuse(job, "The PNG image has a pixel format this printer cannot read.");
    pixels.resize(static_cast<size_t>(width) * height * channels);
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels.data() + static_cast<size_t>(y) * width * channels;
    png_read_image(r.png, rows.data());
    png_read_end(r.png, nullptr);

    // PAPPL's default of 72 pixels per inch when the file does not say.
    png_uint_32 xppm = png_get_x_pixels_per_meter(r.png, r.info);
    const int ppi = xppm > 0 ? static_cast<int>(xppm * 0.0254 + 0.5) : 72;
    pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 1, channels == 3);
    const bool ok = papplJobFilterImage(job, device, options, pixels.data(), static_cast<int>(width),
                                        static_cast<int>(height), channels, ppi, true);
    papplJobDeletePrintOptions(options);
    return ok;
}

}  // namespace kzapp
