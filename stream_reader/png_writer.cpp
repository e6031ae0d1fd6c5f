#include "stream_reader/png_writer.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace kzinspect {
namespace {

// libpng reports its errors through a longjmp; the message is kept here.
struct Failure {
    std::string message;
};

void onError(png_structp png, png_const_charp message) {
    auto* failure = static_cast<Failure*>(png_get_error_ptr(png));
    failure->message = message;
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Everything that may be touched after the longjmp lives outside this
// function's locals, so nothing is left indeterminate.
bool encode(std::FILE* file, const Image& image, Failure& failure) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, onError, onWarning);
    if (png == nullptr) {
        failure.message = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        failure.message = "out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Previews are written while a job prints: fast compression, one cheap
    // filter (a photo's page takes a tenth of the time of level 9 with every
    // filter tried, for a file about a tenth larger).
    png_set_compression_level(png, 2);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        png_write_row(png, image.pixel(0, y));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool writePng(const Image& image, const std::string& path, std::string& error) {
    if (image.width < 1 || image.height < 1 ||
        image.rgb.size() != size_t(image.width) * size_t(image.height) * 3) {
        error = path + ": not a whole picture";
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    Failure failure;
    const bool encoded = encode(file, image, failure);
    const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
    const bool closed = std::fclose(file) == 0;
    if (!encoded) {
        error = "cannot write " + path + ": " + failure.message;
        return false;
    }
    if (!flushed || !closed) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace kzinspect
