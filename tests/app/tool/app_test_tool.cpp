// Inputs for the printer application's tests, and the check that printed
// pages have ink where the inputs have it.
//
//   app_test_tool inputs DIR   pages with a block in the middle (PNG, grey PNG,
//                              JPEG, PWG raster), a photo-like A4 page, and
//                              malformed uploads, a 20-page PWG raster, a PDF
//                              that takes forever to render
//   app_test_tool capabilities the capability query's sizes, media and qualities
//   app_test_tool listen FILE  a printer on a loopback socket: prints its port,
//                              keeps one connection's bytes in FILE
//   app_test_tool ink FILE     every page of the stream has dots in its middle
//                              band and none near the top, bottom or left edge
//   app_test_tool preview PNG  a job's preview: printed ink in its middle, none
//                              at its middle's left edge (the paper's margin)
//   app_test_tool compare A B  how far the ink of two streams differs: per page
//                              and ink, the dots in cells of 2 x 2 mm; prints the
//                              mean difference as a share of the page's densest cell
#include <arpa/inet.h>
#include <cups/raster.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>  // after <cstdio>: it needs FILE
#include <zlib.h>

#include "kzrqo317/print.h"
#include "stream_reader/render.h"
#include "stream_reader/stream.h"

namespace {

// A page of width x height, white but for a block over the middle 40%.
struct Page {
    int width, height, channels;
    bool photo = false;
    uint8_t value(int x, int y, int c) const {
        if (photo) return static_cast<uint8_t>((x * 255 / width + y * 255 / height + c * 85) % 256);
        const bool block = x >= width * 3 / 10 && x < width * 7 / 10 && y >= height * 3 / 10 && y < height * 7 / 10;
        static const uint8_t colour[3] = {40, 90, 200};
        return block ? (channels == 1 ? 60 : colour[c]) : 255;
    }
    std::vector<uint8_t> row(int y) const {
        std::vector<uint8_t> r(static_cast<size_t>(width) * channels);
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) r[static_cast<size_t>(x) * channels + c] = value(x, y, c);
        return r;
    }
};

bool writePng(const std::string& path, const Page& page, int dpi) {
    FILE* f = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (!f || setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, f);
    png_set_IHDR(png, info, page.width, page.height, 8, page.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const auto perMetre = static_cast<png_uint_32>(std::lround(dpi / 0.0254));
    png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    for (int y = 0; y < page.height; ++y) png_write_row(png, page.row(y).data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

bool writeJpeg(const std::string& path, const Page& page) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = page.width;
    cinfo.image_height = page.height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    for (int y = 0; y < page.height; ++y) {
        std::vector<uint8_t> r = page.row(y);
        JSAMPROW rows[1] = {r.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(f) == 0;
}

// A4 PWG raster at `dpi`.  Lies: a header whose line length does not match
// its width and depth, or one that announces a page 88 m long.
enum class Lie { none, lineLength, height };
bool writePwg(const std::string& path, int dpi, Lie lie, int pages = 1) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    cups_raster_t* ras = fd >= 0 ? cupsRasterOpen(fd, CUPS_RASTER_WRITE_PWG) : nullptr;
    if (!ras) return false;
    cups_page_header2_t h;
    cupsRasterInitPWGHeader(&h, pwgMediaForPWG("iso_a4_210x297mm"), "srgb_8", dpi, dpi, "one-sided", nullptr);
    if (lie == Lie::lineLength) h.cupsBytesPerLine = h.cupsWidth;  // one byte per pixel, while sRGB takes three
    if (lie == Lie::height) h.cupsHeight = 1u << 20;
    Page page{static_cast<int>(h.cupsWidth), static_cast<int>(lie != Lie::none ? 400 : h.cupsHeight), 3};
    bool ok = true;
    for (int p = 0; ok && p < pages; ++p) {
        ok = cupsRasterWriteHeader2(ras, &h);
        for (int y = 0; ok && y < page.height; ++y) {
            std::vector<uint8_t> r = page.row(y);
            ok = cupsRasterWritePixels(ras, r.data(), h.cupsBytesPerLine) == h.cupsBytesPerLine;
        }
    }
    cupsRasterClose(ras);
    return close(fd) == 0 && ok;
}

// A PDF of these objects, the first the catalog.
bool writePdf(const std::string& path, const std::vector<std::string>& objects) {
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    std::ofstream out(path, std::ios::binary);
    out << pdf;
    return static_cast<bool>(out);
}

std::string stream(const std::string& dictionary, const std::string& content) {
    return "<< " + dictionary + " /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream";
}

// A one-page A4 PDF with the same block, drawn as a filled rectangle.
bool writePdf(const std::string& path) {
    return writePdf(path, {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595.3 841.9] /Contents 4 0 R >>",
                           stream("", "0.16 0.35 0.78 rg 178.6 252.6 238.1 336.8 re f\n")});
}

// A small PDF no renderer finishes: its page draws a form that draws the
// next form twice, 40 deep (2^40 squares).
bool writeStallingPdf(const std::string& path) {
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595.3 841.9] /Resources << /XObject << /F 5 0 R >> >> "
        "/Contents 4 0 R >>",
        stream("", "/F Do\n")};
    constexpr int kDepth = 40;
    for (int level = 0; level < kDepth; ++level) {
        const std::string next = std::to_string(objects.size() + 2);
        objects.push_back(level + 1 < kDepth
                              ? stream("/Type /XObject /Subtype /Form /BBox [0 0 596 842] /Resources << /XObject << /F " +
                                           next + " 0 R >> >>",
                                       "/F Do /F Do\n")
                              : stream("/Type /XObject /Subtype /Form /BBox [0 0 596 842]", "0 0 1 1 re f\n"));
    }
    return writePdf(path, objects);
}

// The capability query as the tests compare it with what the printer says:
// one line per PWG size name, then per media type.
int capabilities() {
    size_t count = kzp_paper_count();
    for (size_t i = 0; i < count; ++i)
        if (pwgMediaForPWG(kzp_paper_at(i)->pwg_name)) std::printf("paper %s %d\n", kzp_paper_at(i)->pwg_name, kzp_paper_at(i)->borderless);
    count = kzp_media_count();
    for (size_t i = 0; i < count; ++i)
        if (std::strncmp(kzp_media_at(i)->name, "code-", 5) != 0) std::printf("media %s\n", kzp_media_at(i)->name);
    count = kzp_mode_count();
    bool quality[4] = {};
    for (size_t i = 0; i < count; ++i) quality[kzp_mode_at(i)->quality] = true;
    for (int q = 0; q < 3; ++q)  // best is offered as high
        if (quality[q]) std::printf("quality %s\n", kzp_quality_name(kzp_quality(q)));
    return 0;
}

int inputs(const std::string& dir) {
    const Page a4{1240, 1754, 3}, a4Gray{1240, 1754, 1};  // A4 at 150 dpi
    Page photo{2480, 3508, 3};                          // A4 at 300 dpi
    photo.photo = true;
    bool ok = writePng(dir + "/block.png", a4, 150) && writePng(dir + "/block-gray.png", a4Gray, 150) &&
              writeJpeg(dir + "/block.jpg", a4) && writePwg(dir + "/block.pwg", 300, Lie::none) &&
              writePwg(dir + "/bad-header.pwg", 300, Lie::lineLength) && writePwg(dir + "/lying.pwg", 300, Lie::height) &&
              writePwg(dir + "/long.pwg", 300, Lie::none, 20) && writePng(dir + "/photo.png", photo, 300) &&
              writePdf(dir + "/block.pdf") && writeStallingPdf(dir + "/stalling.pdf");
    // A PNG cut off in the middle of its pixels.
    std::ifstream in(dir + "/block.png", std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    std::ofstream(dir + "/truncated.png", std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size() / 2));
    // A PNG that says it is 60000 x 60000 pixels and holds four rows of them.
    std::ofstream huge(dir + "/huge.png", std::ios::binary);
    auto chunk = [&huge](const char* type, const std::vector<uint8_t>& data) {
        const uint8_t length[4] = {uint8_t(data.size() >> 24), uint8_t(data.size() >> 16), uint8_t(data.size() >> 8),
                                   uint8_t(data.size())};
        huge.write(reinterpret_cast<const char*>(length), 4).write(type, 4);
        huge.write(reinterpret_cast<const char*>(data.data()), static_cast<long>(data.size()));
        uLong crc = crc32(crc32(0, reinterpret_cast<const Bytef*>(type), 4), data.data(), static_cast<uInt>(data.size()));
        const uint8_t c[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
        huge.write(reinterpret_cast<const char*>(c), 4);
    };
    huge.write("\x89PNG\r\n\x1a\n", 8);
    chunk("IHDR", {0, 0, 0xea, 0x60, 0, 0, 0xea, 0x60, 8, 0, 0, 0, 0});  // 60000 x 60000, 8-bit grey
    std::vector<uint8_t> rows(4 * 60001, 255), packed(compressBound(rows.size()));
    for (size_t r = 0; r < 4; ++r) rows[r * 60001] = 0;  // filter byte
    uLongf packedSize = packed.size();
    compress(packed.data(), &packedSize, rows.data(), rows.size());
    packed.resize(packedSize);
    chunk("IDAT", packed);
    ok = ok && static_cast<bool>(huge.flush());
    if (!ok) std::fprintf(stderr, "cannot write the test inputs in %s\n", dir.c_str());
    return ok ? 0 : 1;
}

// Page geometry at 600 dpi: A4 unless given.
int ink(const char* path, int width, int height) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    const kzinspect::Stream stream = kzinspect::inspect(bytes);
    if (!stream.ok() || stream.pages.empty()) {
        std::fprintf(stderr, "%s: %s\n", path, stream.ok() ? "no pages" : "malformed stream");
        return 1;
    }
    bool ok = true;
    for (size_t p = 0; p < stream.pages.size(); ++p) {
        long middle = 0, top = 0, bottom = 0, left = 0;
        // Lines are 600 dpi; columns 300 dpi where the page says so (draft).
        const int leftColumns = (stream.pages[p].resolution2 == 300 ? width / 2 : width) / 5;
        kzinspect::forEachDot(stream, p, [&](const kzinspect::Dot& d) {
            if (d.line > height * 2 / 5 && d.line < height * 3 / 5) ++middle;
            if (d.line < height / 5) ++top;
            if (d.line > height * 4 / 5) ++bottom;
            if (d.column < leftColumns) ++left;
        });
        std::printf("%s page %zu: %ld dots in the middle band, %ld near the top, %ld near the bottom, %ld near "
                    "the left edge\n", path, p + 1, middle, top, bottom, left);
        ok = ok && middle > 1000 && top == 0 && bottom == 0 && left == 0;
    }
    return ok ? 0 : 1;
}

// Dots per ink in cells of 48 x 48 raster pixels (2 mm at 600 dpi): the
// ink a stream lays, independently of how it was screened.
using InkMap = std::vector<std::vector<std::vector<long>>>;  // page, ink, cell
bool inkMap(const char* path, InkMap& map) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    const kzinspect::Stream stream = kzinspect::inspect(bytes);
    if (!stream.ok()) return false;
    constexpr int kCell = 48, kColumns = 8000 / kCell, kRows = 16000 / kCell;
    map.assign(stream.pages.size(), std::vector<std::vector<long>>(4, std::vector<long>(kColumns * kRows)));
    for (size_t p = 0; p < stream.pages.size(); ++p) {
        const int across = stream.pages[p].resolution2 == 300 ? 2 : 1;  // columns of 300 dpi pages count twice
        kzinspect::forEachDot(stream, p, [&](const kzinspect::Dot& d) {
            const int64_t x = int64_t(d.column) * across / kCell, y = d.line / kCell;
            if (x >= 0 && x < kColumns && y >= 0 && y < kRows) map[p][size_t(d.ink)][size_t(y * kColumns + x)] += across;
        });
    }
    return true;
}

int compare(const char* a, const char* b) {
    InkMap ma, mb;
    if (!inkMap(a, ma) || !inkMap(b, mb)) {
        std::fprintf(stderr, "a stream is malformed\n");
        return 1;
    }
    if (ma.size() != mb.size()) {
        std::printf("%zu pages and %zu pages\n", ma.size(), mb.size());
        return 1;
    }
    double worst = 0;
    for (size_t p = 0; p < ma.size(); ++p) {
        // Differences as shares of the page's densest cell of any ink: a
        // colour that only edges text is not weighed as heavily as the text.
        long densest = 1;
        for (size_t ink = 0; ink < 4; ++ink)
            for (size_t c = 0; c < ma[p][ink].size(); ++c) densest = std::max({densest, ma[p][ink][c], mb[p][ink][c]});
        for (size_t ink = 0; ink < 4; ++ink) {
            long totalA = 0, totalB = 0, cells = 0;
            double difference = 0;
            for (size_t c = 0; c < ma[p][ink].size(); ++c) {
                difference += std::abs(double(ma[p][ink][c] - mb[p][ink][c]));
                totalA += ma[p][ink][c], totalB += mb[p][ink][c];
                cells += ma[p][ink][c] || mb[p][ink][c];  // the mean over the cells either stream inks
            }
            const double share = cells ? difference / cells / densest : 0;
            worst = std::max(worst, share);
            std::printf("page %zu ink %zu: %ld and %ld dots, cells differ by %.2f%% of the densest\n", p + 1, ink,
                        totalA, totalB, 100 * share);
        }
    }
    std::printf("largest difference %.2f%%\n", 100 * worst);
    return 0;
}

// A printer on a socket: takes one connection on 127.0.0.1:port and keeps
// what arrives in `path`.  Prints the port it listens on (0: any free one).
int listen(int port, const char* path) {
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t length = sizeof address;
    if (server < 0 || bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(server, 1) != 0 || getsockname(server, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("listen");
        return 1;
    }
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    const int client = accept(server, nullptr, nullptr);
    std::ofstream out(path, std::ios::binary);
    char buffer[65536];
    ssize_t got = 0;
    while (client >= 0 && (got = read(client, buffer, sizeof buffer)) > 0) out.write(buffer, got);
    close(client);
    close(server);
    return client >= 0 && got == 0 && out ? 0 : 1;
}

int preview(const char* path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::vector<uint8_t> rgb;
    if (png_image_begin_read_from_file(&image, path)) {
        image.format = PNG_FORMAT_RGB;
        rgb.resize(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) rgb.clear();
    }
    if (rgb.empty()) return std::fprintf(stderr, "%s: not a PNG: %s\n", path, image.message), 1;
    const auto grey = [&](uint32_t x, uint32_t y) {
        const uint8_t* p = &rgb[(size_t(y) * image.width + x) * 3];
        return (p[0] + p[1] + p[2]) / 3;
    };
    const uint32_t w = image.width, h = image.height;
    std::printf("%s: %ux%u, middle %d, margin %d\n", path, w, h, grey(w / 2, h / 2), grey(w / 8, h / 2));
    return grey(w / 2, h / 2) < 200 && grey(w / 8, h / 2) > 240 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && !std::strcmp(argv[1], "inputs")) return inputs(argv[2]);
    if (argc == 2 && !std::strcmp(argv[1], "capabilities")) return capabilities();
    if (argc == 3 && !std::strcmp(argv[1], "listen")) return listen(0, argv[2]);
    if (argc == 3 && !std::strcmp(argv[1], "preview")) return preview(argv[2]);
    if (argc == 4 && !std::strcmp(argv[1], "compare")) return compare(argv[2], argv[3]);
    if ((argc == 3 || argc == 5) && !std::strcmp(argv[1], "ink"))
        return ink(argv[2], argc == 5 ? std::atoi(argv[3]) : 4961, argc == 5 ? std::atoi(argv[4]) : 7016);
    std::fprintf(stderr, "usage: app_test_tool inputs DIR | capabilities | listen FILE | ink FILE [WIDTH HEIGHT] | preview PNG\n");
    return 2;
}
