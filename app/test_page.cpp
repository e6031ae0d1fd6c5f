// The test page: the demo chart (black text-like detail, a ramp per ink, a
// mixed band) drawn as an sRGB PNG that prints through the normal path.
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/app.h"
#include "test_page/test_page.h"

namespace kzapp {
namespace {

// Level of pixel x in one packed plane entry.
int levelAt(const PlaneRaster& plane, int depth, int x) {
    if (!plane.Data) return 0;
    const int bit = x * depth;
    return (plane.Data[bit / 8] >> (8 - depth - bit % 8)) & ((1 << depth) - 1);
}

}  // namespace

const char* writeTestPage(pappl_printer_t* printer, char* buffer, size_t size) {
    // The chart as print mode 4 (cyan, magenta, yellow at 4 bits, black at 1)
    // lays it out at 600 dpi; the PNG is at 300 dpi, each pixel the mean of
    // 2 x 2 chart pixels.
    const kz::demo::PrintModeSettings* mode = kz::demo::findPrintMode(4);
    if (!mode) return nullptr;
    kz::demo::TestPage chart(*mode);
    const int width = chart.width() / 2, height = chart.height() / 2;
    const int maxLevel = kz::demo::printableLevels(4, 0, 4);

    const int fd = papplCreateTempFile(buffer, size, "kzrqo317-testpage", "png");
    FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    png_structp png = file ? png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr) : nullptr;
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Cannot write the test page to %s.", buffer);
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
        if (file) std::fclose(file);
        else if (fd >= 0) close(fd);
        unlink(buffer);
        return nullptr;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png, info, 11811, 11811, PNG_RESOLUTION_METER);  // 300 dpi
    png_write_info(png, info);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    std::vector<int> sum(static_cast<size_t>(width) * 4);
    RasterInfo line{};
    for (int y = 0; y < height; ++y) {
        std::fill(sum.begin(), sum.end(), 0);
        for (int dy = 0; dy < 2; ++dy) {
            chart.line(2 * y + dy, &line);
            for (int x = 0; x < 2 * width; ++x)
                for (int p = 0; p < 4; ++p)
                    sum[(x / 2) * 4 + p] += levelAt(line.Plane[p], mode->bitDepth[p], x) * (p == 3 ? maxLevel : 1);
        }
        for (int x = 0; x < width; ++x) {
            const double k = sum[x * 4 + 3] / (4.0 * maxLevel);
            for (int c = 0; c < 3; ++c) {
                const double ink = sum[x * 4 + c] / (4.0 * maxLevel);
                row[x * 3 + c] = static_cast<uint8_t>(255 * (1 - ink) * (1 - k) + 0.5);
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return buffer;
}

}  // namespace kzapp
