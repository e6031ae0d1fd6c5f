// The readers: what they give for each kind of input, how they reduce what is
// too large, and that damaged or hostile input fails naming the file and what
// is wrong, never as a short or made-up page.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "samples.h"

namespace {

using namespace samples;
using kzfront::PixelFormat;

TEST(Readers, GiveRowsAsTheFileHoldsThem) {
    Files files;
    // Grey with alpha lies over white paper; 16-bit samples keep their high byte.
    const Bytes greyAlpha = png(3, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, [](int x, int, int c) { return c ? std::min(255, x * 128) : 0; });
    const Bytes rgb16 = png(2, 2, PNG_COLOR_TYPE_RGB, 16, true, [](int x, int y, int c) { return (x + 2 * y + c) * 0x1234; });
    struct Case {
        std::string name;
        Bytes bytes;
        PixelFormat format;
        std::vector<uint8_t> first;  // the first row's samples
        double ppi = 0;
    } cases[] = {
        {"alpha.png", greyAlpha, PixelFormat::Gray8, {255, 127, 0}, 300},
        {"interlaced.png", rgb16, PixelFormat::Rgb8, {0x00, 0x12, 0x24, 0x12, 0x24, 0x36}, 300},
        {"grey.jpg", jpeg(8, 8, 1, [](int, int) { return 100; }), PixelFormat::Gray8, std::vector<uint8_t>(8, 100)},
        {"plain.pbm", "P1\n# a comment\n3 2\n1 0 1\n0 1 0\n", PixelFormat::Gray8, {0, 255, 0}},
        {"raw.ppm", Bytes("P6 2 1 65535\n") + Bytes("\xff\xff\x00\x00\x80\x00\x00\x00\x00\x00\xff\xff", 12), PixelFormat::Rgb8,
         {255, 0, 127, 0, 0, 255}},
        {"black.ras", raster(10, 1, CUPS_CSPACE_K, 1, 1, Bytes("\xa0\x40", 2)), PixelFormat::Gray8,
         {0, 255, 0, 255, 255, 255, 255, 255, 255, 0}, 300},
        {"ink.ras", raster(1, 1, CUPS_CSPACE_CMYK, 8, 4, "\x01\x02\x03\x04"), PixelFormat::Cmyk8, {1, 2, 3, 4}, 300},
        // Compressed: one pixel, then the rest of the line blank.
        {"blank.ras", raster(3, 1, CUPS_CSPACE_RGB, 8, 3, [](auto&, auto) {}, Bytes("\0\0\x10\x20\x30\x80", 6),
                             CUPS_RASTER_SYNCv2),
         PixelFormat::Rgb8, {0x10, 0x20, 0x30, 255, 255, 255, 255, 255, 255}, 300},
    };
    for (const auto& c : cases) {
        const Pages p = readFile(files.put(c.name, c.bytes));
        ASSERT_TRUE(p.ok) << c.name << ": " << p.error;
        ASSERT_EQ(p.headers.size(), 1u) << c.name;
        EXPECT_EQ(p.headers[0].format, c.format) << c.name;
        EXPECT_EQ(p.headers[0].reduced, 1) << c.name;
        EXPECT_NEAR(p.headers[0].ppi, c.ppi, 0.5) << c.name;
        const std::vector<uint8_t> first(p.pixels[0].begin(), p.pixels[0].begin() + long(c.first.size()));
        EXPECT_EQ(first, c.first) << c.name;
    }
    // A stream of raster pages, each with its header's choices.
    const Pages two = readFile(files.put("two.ras", raster(2, 1, CUPS_CSPACE_SW, 8, 1, [](auto& h, auto) {
        std::memset(h.cupsPageSizeName, 'A', sizeof h.cupsPageSizeName);  // no NUL
    }, "ab") + raster(2, 2, CUPS_CSPACE_RGB, 8, 3, Bytes(12, 'x')).substr(4)));
    ASSERT_TRUE(two.ok) << two.error;
    ASSERT_EQ(two.headers.size(), 2u);
    EXPECT_EQ(two.headers[0].kind, kzfront::PageKind::Raster);
    EXPECT_EQ(two.headers[0].options.pageSizeName, std::string(64, 'A'));
    EXPECT_EQ(two.headers[1].format, PixelFormat::Rgb8);
    EXPECT_EQ(two.headers[1].raster.pageWidthPt, 595u);

    // PWG as libcups writes it: runs, single pixels and repeated lines.
    std::vector<uint8_t> rgb(50 * 20 * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = uint8_t(i / 3 % 50 < 20 ? 7 : i / 150 < 10 ? i * 13 : 99);
    const Pages pwgPage = readFile(files.put("pwg.ras", pwg(50, 20, rgb)));
    ASSERT_TRUE(pwgPage.ok) << pwgPage.error;
    EXPECT_EQ(pwgPage.pixels[0], rgb);

    // From a pipe, as the CUPS filter reads standard input.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::thread writer([&] {
        const Bytes bytes = jpeg(16, 16, 3, [](int, int) { return 200; });
        EXPECT_EQ(::write(fds[1], bytes.data(), bytes.size()), ssize_t(bytes.size()));
        ::close(fds[1]);
    });
    std::string error;
    auto piped = kzfront::openPages(fds[0], "standard input", {}, error);
    const Pages fromPipe = readAll(piped.get(), error);
    writer.join();
    ::close(fds[0]);
    ASSERT_TRUE(fromPipe.ok) << fromPipe.error;
    EXPECT_EQ(fromPipe.headers[0].width, 16);
}

TEST(Readers, ReduceWhatIsTooLargeWhileReading) {
    Files files;
    kzfront::OpenOptions toPrint;
    toPrint.printWidth = 10, toPrint.printHeight = 10;
    struct Case {
        std::string name;
        Bytes bytes;
        kzfront::OpenOptions options;
        int32_t reduced, width, height;
    } cases[] = {
        // Beyond pixman's range: halved.
        {"wide.png", png(40000, 3, PNG_COLOR_TYPE_GRAY, 8, false, [](int x, int, int) { return x & 1 ? 255 : 0; }), {},
         2, 20000, 2},
        {"tall.pgm", "P5 1 33000 255\n" + Bytes(33000, '\x10'), {}, 2, 1, 16500},
        // Far larger than it prints: libjpeg decodes at a quarter, the box reduction does the rest.
        {"big.jpg", jpeg(480, 240, 3, [](int, int) { return 50; }), toPrint, 12, 40, 20},
        {"big.ppm", "P6 45 45 255\n" + Bytes(45 * 45 * 3, '\x40'), toPrint, 2, 23, 23},
        // Raster pages are not reduced for the print's size.
        {"page.ras", raster(45, 45, CUPS_CSPACE_W, 8, 1, Bytes(45 * 45, '\x40')), toPrint, 1, 45, 45},
    };
    for (const auto& c : cases) {
        const Pages p = readFile(files.put(c.name, c.bytes), c.options);
        ASSERT_TRUE(p.ok) << c.name << ": " << p.error;
        EXPECT_EQ(p.headers[0].reduced, c.reduced) << c.name;
        EXPECT_EQ(p.headers[0].width, c.width) << c.name;
        EXPECT_EQ(p.headers[0].height, c.height) << c.name;
    }
    // Boxes average, the last one over the pixels it has.
    const Pages wide = readFile(files.path("wide.png"));
    EXPECT_EQ(wide.pixels[0][0], 128);
    EXPECT_EQ(readFile(files.path("big.ppm"), toPrint).pixels[0].back(), 0x40);
}

TEST(Readers, DamagedOrHostileInputFailsNamingTheFileAndWhatIsWrong) {
    Files files;
    const Bytes photo = jpeg(64, 64, 3, [](int x, int y) { return x * 37 ^ y * 91; });
    const Bytes picture = png(64, 64, PNG_COLOR_TYPE_RGB, 8, false, [](int x, int y, int) { return x * y; });
    Bytes huge = photo;  // the header claims 20000 x 20000 (SOF0 after the tables)
    const size_t sof = huge.find("\xff\xc0");
    huge.replace(sof + 5, 4, "\x4e\x20\x4e\x20");
    const Bytes page = raster(100, 10, CUPS_CSPACE_RGB, 8, 3, Bytes(3000, '\x7f'));
    const auto field = [&](auto edit) { return raster(100, 10, CUPS_CSPACE_RGB, 8, 3, edit, Bytes(3000, '\x7f')); };
    kzfront::OpenOptions asPdf;
    asPdf.declaredFormat = "application/pdf";
    struct Case {
        std::string name;
        Bytes bytes;
        std::string says;
        kzfront::OpenOptions options = {};
    } cases[] = {
        {"cut.jpg", photo.substr(0, photo.size() / 2), "ends early"},
        {"claims.jpg", huge, "ends early"},
        {"cut.png", picture.substr(0, picture.size() / 2), "damaged or truncated PNG data"},
        {"header.png", claiming(picture, 20000, 20000), "damaged or truncated PNG data"},
        {"header.ppm", "P6\n20000 20000\n255\n", "PNM data ends early"},
        {"cut.ppm", "P6 4 4 255\n" + Bytes(40, 'x'), "PNM data ends early"},
        {"huge.ppm", "P6 99999999 99999999 255\n", "too large to print"},
        {"wide.pgm", "P5 70000 1 255\n", "too large to print"},
        {"plain.pgm", "P2 2 1 3\n1 4\n", "damaged PNM data"},
        {"cut.ras", page.substr(0, page.size() - 400), "ends early, at line 8 of 10"},
        {"cut_header.ras", page.substr(0, 1000), "page header ends early (996 of 1796 bytes)"},
        {"cut.pwg", pwg(10, 10, std::vector<uint8_t>(300, 1)).substr(0, 1801), "ends early, at line 0 of 10"},
        {"line.ras", field([](auto& h, auto set) { set(h.cupsBytesPerLine, 268000002u); }), "not 268000002"},
        {"long_line.ras", field([](auto& h, auto set) { set(h.cupsBytesPerLine, 0x80000001u); }), "header"},
        {"space.ras", field([](auto& h, auto set) { set(h.cupsColorSpace, 1000u); set(h.cupsColorOrder, 7u); }),
         "colour space 1000"},
        {"wide.ras", field([](auto& h, auto set) { set(h.cupsWidth, 70000u); set(h.cupsBytesPerLine, 210000u); }),
         "too large to print"},
        {"png.pdf", picture, "a PNG picture sent as PDF", asPdf},
        {"noise.bin", "\x01\x02 plain noise", "not a format that prints"},
        {"empty.jpg", "", "empty"},
    };
    for (const auto& c : cases) {
        const std::string path = files.put(c.name, c.bytes);
        const Pages p = readFile(path, c.options);
        EXPECT_FALSE(p.ok) << c.name;
        EXPECT_NE(p.error.find(path), std::string::npos) << c.name << ": " << p.error;
        EXPECT_NE(p.error.find(c.says), std::string::npos) << c.name << ": " << p.error;
    }
}

}  // namespace
