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

// The chart as the capability query describes the best mode on plain paper.
bool bestPlainFormat(kz::demo::ChartFormat& chart) {
    kzp_settings s = kzp_settings_default();
    s.quality = KZP_QUALITY_BEST;
    kzp_page_format f = kzp_page_format_empty();
    if (kzp_resolve(&s, &f, nullptr, 0) != KZP_OK) return false;
    for (size_t p = 0; p < 7; ++p) {
        chart.bitDepth[p] = static_cast<int8_t>(f.mode->bit_depth[p]);
        for (int v = 1; v < 16; ++v)
            if (f.mode->levels[p] & (1u << v)) chart.topLevel[p] = static_cast<int8_t>(v);
    }
    chart.xScale = 600 / f.mode->xdpi;
    chart.yScale = 600 / f.mode->ydpi;
    return true;
}

// Writes the chart's rows to `png`, each pixel the ink of 2 x 2 chart pixels.
void writeChart(png_structp png, kz::demo::TestPage& chart, const kz::demo::ChartFormat& format, int width,
                int height) {
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    // Ink of cyan, magenta, yellow and black, in fractions of full ink.
    std::vector<double> sum(static_cast<size_t>(width) * 4);
    RasterInfo line{};
    for (int y = 0; y < height; ++y) {
        std::fill(sum.begin(), sum.end(), 0.0);
        for (int dy = 0; dy < 2; ++dy) {
            chart.line(2 * y + dy, &line);
            int entry = 0;
            for (size_t p = 0; p < 7; ++p) {
                if (format.bitDepth[p] == 0) continue;
                const PlaneRaster& plane = line.Plane[entry++];
                const size_t ink = p == 3 ? 3 : p % 4;
                for (int x = 0; x < 2 * width; ++x)
                    sum[size_t(x / 2) * 4 + ink] += levelAt(plane, format.bitDepth[p], x) / (4.0 * format.topLevel[p]);
            }
        }
        for (int x = 0; x < width; ++x) {
            const double k = sum[size_t(x) * 4 + 3];
            for (size_t c = 0; c < 3; ++c)
                row[size_t(x) * 3 + c] = static_cast<uint8_t>(255 * (1 - sum[size_t(x) * 4 + c]) * (1 - k) + 0.5);
        }
        png_write_row(png, row.data());
    }
}

// The chart at half its resolution as an RGB PNG; false when libpng fails.
bool writePng(FILE* file, kz::demo::TestPage& chart, const kz::demo::ChartFormat& format, int width, int height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png, info, 11811, 11811, PNG_RESOLUTION_METER);  // 300 dpi
    png_write_info(png, info);
    writeChart(png, chart, format, width, height);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

const char* writeTestPage(pappl_printer_t* printer, char* buffer, size_t size) {
    // The chart as the best mode on plain paper lays it out (at 600 dpi); the
    // PNG is at 300 dpi, each pixel the mean of 2 x 2 chart pixels.
    kz::demo::ChartFormat format;
    if (!bestPlainFormat(format) || format.xScale != 1 || format.yScale != 1) {
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "No 600 dpi mode on plain paper to draw the test page for.");
        return nullptr;
    }
    kz::demo::TestPage chart(format);
    const int fd = papplCreateTempFile(buffer, size, "kzrqo317-testpage", "png");
    FILE* file = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    const bool written = file && writePng(file, chart, format, chart.width() / 2, chart.height() / 2);
    if (file) std::fclose(file);
    else if (fd >= 0) close(fd);
    if (!written) {
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Cannot write the test page to %s.", buffer);
        unlink(buffer);
        return nullptr;
    }
    return buffer;
}

}  // namespace kzapp
