// Inputs made in memory for the reader tests: PNG, JPEG and raster bytes,
// and files to hold them.
#pragma once

#include <cups/raster.h>
#include <png.h>
#include <zlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
// jpeglib.h needs size_t and FILE first.
#include <jpeglib.h>

#include "frontend/input/open_pages.h"

namespace samples {

using Bytes = std::string;

// A PNG of `type` (PNG_COLOR_TYPE_*) at `depth` bits; `sample(x, y, c)` gives
// each sample.
template <typename Sample>
Bytes png(int w, int h, int type, int depth, bool interlaced, Sample sample) {
    Bytes out;
    png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(p);
    png_set_write_fn(p, &out, [](png_structp s, png_bytep d, size_t n) {
        static_cast<Bytes*>(png_get_io_ptr(s))->append(reinterpret_cast<char*>(d), n); }, nullptr);
    png_set_IHDR(p, info, uint32_t(w), uint32_t(h), depth, type,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
    png_set_pHYs(p, info, 11811, 11811, PNG_RESOLUTION_METER);  // 300 ppi
    png_write_info(p, info);
    const int channels = png_get_channels(p, info), bytes = depth / 8;
    std::vector<std::vector<uint8_t>> rows(size_t(h), std::vector<uint8_t>(size_t(w * channels * bytes)));
    std::vector<png_bytep> pointers;
    for (int y = 0; y < h; ++y) {
        for (int i = 0; i < w * channels; ++i) {
            const int v = sample(i / channels, y, i % channels);
            if (bytes == 2) rows[size_t(y)][size_t(2 * i)] = uint8_t(v >> 8), rows[size_t(y)][size_t(2 * i + 1)] = uint8_t(v);
            else rows[size_t(y)][size_t(i)] = uint8_t(v);
        }
        pointers.push_back(rows[size_t(y)].data());
    }
    png_write_image(p, pointers.data());
    png_write_end(p, nullptr);
    png_destroy_write_struct(&p, &info);
    return out;
}

// A baseline JPEG, RGB or grey; `sample(x, y)` gives every sample of a pixel.
template <typename Sample>
Bytes jpeg(int w, int h, int components, Sample sample) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &data, &size);
    c.image_width = JDIMENSION(w), c.image_height = JDIMENSION(h), c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(w * components));
    for (int y = 0; y < h; ++y) {
        for (int i = 0; i < w * components; ++i) row[size_t(i)] = uint8_t(sample(i / components, y));
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(reinterpret_cast<char*>(data), size);
    std::free(data);
    return out;
}

// `png` with the size in its header changed to w x h.
inline Bytes claiming(Bytes png, uint32_t w, uint32_t h) {
    const unsigned char size[8] = {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w),
                                   uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h)};
    png.replace(16, 8, reinterpret_cast<const char*>(size), 8);
    const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17));
    const unsigned char c[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
    png.replace(29, 4, reinterpret_cast<const char*>(c), 4);
    return png;
}

// An uncompressed raster page (sync word and header in this machine's
// order); `edit` sets header fields, any value in any field.
template <typename Edit>
Bytes raster(int w, int h, int colourSpace, int bits, int colours, Edit edit, const Bytes& data,
             uint32_t sync = CUPS_RASTER_SYNC) {
    cups_page_header2_t header;
    std::memset(&header, 0, sizeof header);
    auto set = [](auto& field, uint32_t v) { std::memcpy(&field, &v, sizeof v); };
    set(header.HWResolution[0], 300), set(header.HWResolution[1], 300);
    set(header.PageSize[0], 595), set(header.PageSize[1], 842);
    set(header.cupsWidth, uint32_t(w)), set(header.cupsHeight, uint32_t(h));
    set(header.cupsBitsPerColor, uint32_t(bits)), set(header.cupsBitsPerPixel, uint32_t(bits * colours));
    set(header.cupsBytesPerLine, uint32_t((w * bits * colours + 7) / 8));
    set(header.cupsColorSpace, uint32_t(colourSpace)), set(header.cupsNumColors, uint32_t(colours));
    edit(header, set);
    return Bytes(reinterpret_cast<const char*>(&sync), 4) + Bytes(reinterpret_cast<const char*>(&header), sizeof header) + data;
}
inline Bytes raster(int w, int h, int colourSpace, int bits, int colours, const Bytes& data) {
    return raster(w, h, colourSpace, bits, colours, [](auto&, auto) {}, data);
}

// RGB pixels as libcups writes PWG raster (compressed, big-endian).
inline Bytes pwg(int w, int h, const std::vector<uint8_t>& rgb) {
    Bytes out;
    cups_raster_t* r = cupsRasterOpenIO([](void* ctx, unsigned char* b, size_t n) {
        static_cast<Bytes*>(ctx)->append(reinterpret_cast<char*>(b), n);
        return ssize_t(n); }, &out, CUPS_RASTER_WRITE_PWG);
    cups_page_header2_t header;
    std::memset(&header, 0, sizeof header);
    std::strcpy(header.MediaClass, "PwgRaster");
    header.cupsWidth = unsigned(w), header.cupsHeight = unsigned(h), header.cupsBitsPerColor = 8;
    header.cupsBitsPerPixel = 24, header.cupsBytesPerLine = unsigned(3 * w), header.cupsNumColors = 3;
    header.cupsColorSpace = CUPS_CSPACE_SRGB;
    header.HWResolution[0] = header.HWResolution[1] = 600;
    cupsRasterWriteHeader2(r, &header);
    cupsRasterWritePixels(r, const_cast<uint8_t*>(rgb.data()), unsigned(rgb.size()));
    cupsRasterClose(r);
    return out;
}

// A directory of files for one test, removed with it.
class Files {
public:
    Files() : dir_(std::filesystem::temp_directory_path() / ("kz-input-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(dir_);
    }
    ~Files() { std::filesystem::remove_all(dir_); }
    std::string put(const std::string& name, const Bytes& bytes) const {
        const std::string path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string path(const std::string& name) const { return dir_ / name; }

private:
    std::filesystem::path dir_;
};

// Every page and row of an input: false with `error` at the first fault.
struct Pages {
    std::vector<kzfront::PageHeader> headers;
    std::vector<std::vector<uint8_t>> pixels;  // per page, rows packed (empty for pages over 16 MB)
    std::string error;
    bool ok = false;
};
inline Pages readAll(kzfront::PageSource* source, std::string error = {}) {
    Pages p;
    p.error = error;
    if (!source) return p;
    kzfront::PageHeader h;
    while (source->nextPage(h, p.error)) {
        p.headers.push_back(h);
        const size_t stride = size_t(h.width) * size_t(kzfront::channels(h.format));
        const bool keep = stride * size_t(h.height) <= (16u << 20);
        p.pixels.emplace_back(keep ? stride * size_t(h.height) : stride * 7);
        for (int32_t y = 0; y < h.height; y += 7)  // a few rows at a time, not the whole page
            if (!source->readRows(p.pixels.back().data() + (keep ? size_t(y) * stride : 0), std::min(7, h.height - y),
                                  p.error))
                return p;
    }
    p.ok = p.error.empty();
    return p;
}
inline Pages readFile(const std::string& path, const kzfront::OpenOptions& options = {}) {
    std::string error;
    auto source = kzfront::openPages(path, options, error);
    return readAll(source.get(), error);
}

}  // namespace samples
