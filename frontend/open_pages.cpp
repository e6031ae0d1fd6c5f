// Telling input files apart by their first bytes, and the sizes readers take.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "frontend/picture.h"

namespace kzprint {

bool withinLimits(int64_t w, int64_t h, const PictureLimits& limits, std::string& why) {
    const std::string size = "a picture of " + std::to_string(w) + " x " + std::to_string(h) + " pixels";
    if (w <= 0 || h <= 0) {
        why = size + " is empty";
    } else if (w > limits.width || h > limits.height || w * h > limits.pixels) {
        why = size + " is too large to print (at most " + std::to_string(limits.width) + " x " +
              std::to_string(limits.height) + ", " + std::to_string(limits.pixels / 1'000'000) + " million pixels)";
    } else {
        return true;
    }
    return false;
}

std::unique_ptr<PageSource> openPages(const std::string& path, const RenderSize& render, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = path + ": cannot be opened (" + std::strerror(errno) + ")";
        return nullptr;
    }
    unsigned char head[8] = {};
    const size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    const auto starts = [&](const char* magic) { return n >= std::strlen(magic) && std::memcmp(head, magic, std::strlen(magic)) == 0; };
    if (starts("\x89PNG")) return openPng(path, error);
    if (n >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return openJpeg(path, error);
    if (n >= 2 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6') return openPnm(path, error);
    if (starts("RaS2") || starts("RaS3") || starts("RaSt") || starts("2SaR") || starts("3SaR") || starts("tSaR"))
        return openRaster(path, error);
    if (starts("%PDF") || starts("%!")) return openDocument(path, render, starts("%!"), error);
    if (n == 0) {
        error = path + ": the file is empty";
    } else {
        error = path + ": not a file kzrqo317-print reads (PNG, JPEG, PNM, PWG or CUPS raster, PDF, PostScript)";
    }
    return nullptr;
}

}  // namespace kzprint
