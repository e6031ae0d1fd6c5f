// Pictures read from the files kzrqo317-print takes, one page at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kzprint {

enum class Turn { None, Clockwise, Counterclockwise };

// An 8-bit RGB picture, rows from the top.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;  // width * height * 3
    // The way it turns to lie as the paper does: documents turn as
    // Ghostscript turns the pages it fits, pictures the other way.
    Turn turn = Turn::Clockwise;
    bool grey = false;  // the file has no colour
    double ppi = 0;     // pixels per inch the file gives; 0 when it does not say
};

// How documents are rendered: at the print mode's resolution, and fitted by
// Ghostscript to `width` x `height` pixels (the size they print at: centred,
// turned counterclockwise when that fits better), or at their own size when
// `width` is 0.  Pages that do not say their size are taken to be `paper`.
struct RenderSize {
    int32_t xdpi = 0, ydpi = 0;
    int32_t width = 0, height = 0;
    int32_t paperWidth = 0, paperHeight = 0;  // pixels at xdpi, ydpi
};

// Largest picture a file may declare: larger ones are refused before any
// memory is taken for them.
inline constexpr int64_t kMaxPixels = 400'000'000;
inline constexpr int32_t kMaxSide = 100'000;
struct PictureLimits {
    int64_t width = kMaxSide, height = kMaxSide, pixels = kMaxPixels;
};
// False with `why` saying the size and the limits when w x h exceeds them.
bool withinLimits(int64_t w, int64_t h, const PictureLimits& limits, std::string& why);

// The pages of one input file.
class PageSource {
public:
    virtual ~PageSource() = default;
    // The next page: true with `page` filled; false at the end (error empty)
    // or on a fault (error says what was wrong).
    virtual bool next(Picture& page, std::string& error) = 0;
};

// Opens `path` by its content: PNG, JPEG, PNM, PWG or CUPS raster, PDF or
// PostScript (through Ghostscript, rendered as `render` says).  NULL with `error` set
// when the file cannot be read or its kind is not one of these.
std::unique_ptr<PageSource> openPages(const std::string& path, const RenderSize& render, std::string& error);

// Readers by kind (each in its own file).
std::unique_ptr<PageSource> openPng(const std::string& path, std::string& error, const PictureLimits& limits = {});
std::unique_ptr<PageSource> openJpeg(const std::string& path, std::string& error, const PictureLimits& limits = {});
std::unique_ptr<PageSource> openPnm(const std::string& path, std::string& error);
std::unique_ptr<PageSource> openRaster(const std::string& path, std::string& error);
std::unique_ptr<PageSource> openDocument(const std::string& path, const RenderSize& render, bool postscript,
                                         std::string& error);

// Reads PNM pictures one after another from a stream (Ghostscript's output too).
bool readPnm(std::FILE* file, Picture& page, std::string& error, bool& end);

}  // namespace kzprint
