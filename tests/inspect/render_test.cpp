// Page previews: where each dot of a hand-built stream lands, how the
// preview pixels are coloured, and the PNG files they are written to.
#include "stream_reader/render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "stream_builder.h"
#include "stream_reader/first_page_preview.h"

#ifdef KZ_STREAM_PNG
#include <png.h>

#include "stream_reader/png_writer.h"
#endif

namespace kzinspect {

void PrintTo(const Dot& d, std::ostream* os) {
    *os << "{line " << d.line << ", column " << d.column << ", ink " << d.ink << "}";
}

}  // namespace kzinspect

namespace {

using kzinspect::Dot;
using kzinspect::Image;
using kztest::ByteVector;
using kztest::operator+;
using kztest::dataBlock;
using kztest::feed;
using kztest::frame;
using kztest::literals;
using kztest::nozzlePair;
using kztest::pageSetup;
using kztest::scanInfo;

const ByteVector kPageEnd = frame(0, 'N');
constexpr int kGroup = 64;  // bytes of one column group of a 64-nozzle column

// One group of a 64-nozzle column with the given bytes set.
ByteVector group(std::initializer_list<std::pair<int, uint8_t>> bytes) {
    ByteVector g(kGroup, 0);
    for (const auto& [at, value] : bytes) g[at] = value;
    return g;
}

// Previews in the stream's geometry: scan columns, feed lines.
kzinspect::RenderOptions streamView(int scale, int64_t maxPixels = 1 << 20) {
    kzinspect::RenderOptions options;
    options.scale = scale;
    options.maxPixels = maxPixels;
    options.view = kzinspect::View::Stream;
    return options;
}

std::vector<Dot> dotsOf(const kzinspect::Stream& s, size_t page) {
    std::vector<Dot> dots;
    kzinspect::forEachDot(s, page, [&dots](const Dot& d) { dots.push_back(d); });
    return dots;
}

// Scans of 64-nozzle columns on a 600 page: "o" columns 8 to 47 forward
// (63 to 8 backward) give the pixel edges 16 and 32.
const ByteVector kForward = scanInfo(8, 47, 1);
const ByteVector kBackward = scanInfo(63, 8, 1);

TEST(Render, DotsLandAtTheirColumnsAndLines) {
    // Feeds 700, then 21 more (odd: half lines are dropped), then 100:
    // row 0 of a colour column with nozzle field 0 prints lines 46, 56, 106.
    const ByteVector stream =
        pageSetup() +
        // Forward cyan: nozzle 3 of parity 0 fires firing positions 0 and 15,
        // nozzle 0 of parity 1 position 1.
        feed('m', 700) + kForward + nozzlePair(1, 2) +
        dataBlock({literals(group({{6, 0x80}, {7, 0x01}})), literals(group({{0, 0x40}}))}) +
        // Backward black with nozzle field 11: bit 0 of a byte is the
        // rightmost pixel, the first byte of a pair the right 8 pixels.
        feed('n', 21) + kBackward + nozzlePair(0, 2, 11) +
        dataBlock({literals(group({{4, 0x01}, {5, 0x80}})), {}}) +
        // A scan with the "o" flag: magenta from the upper columns (field 4),
        // parities swapped; black is not.
        scanInfo(8, 47, 1, 1, 1) + nozzlePair(2, 2, 4) + nozzlePair(0, 2) +
        dataBlock({literals(group({{0, 0x80}})),
                   literals(group({{1, 0x80}})),
                   {},
                   literals(group({{2, 0x01}}))}) +
        // Two blocks from pixel 0: yellow in the last block's third group.
        feed('n', 100) + scanInfo(-8, 247, 2) + nozzlePair(3, 2) + dataBlock({{}, {}}) +
        dataBlock({literals(ByteVector(2 * kGroup, 0) + group({{3, 0x10}})), {}}) + kPageEnd;
    const kzinspect::Stream s = kzinspect::inspect(stream);
    ASSERT_TRUE(s.ok()) << s.error->message;
    const std::vector<Dot> expected = {
        {46 + 6, 16, 1},
        {46 + 6, 31, 1},
        {46 + 1, 17, 1},
        {56 + 160 + 4, 31, 0},
        {56 + 160 + 4, 16, 0},  // black: 16 x 11 - 16 lines lower
        {56 + 64 + 1, 16, 2},
        {56 + 64 + 0, 24, 2},  // upper magenta: r = 2n + 1 - p
        {56 - 16 + 3, 23, 0},  // black in a flagged scan: r = 2n + p
        {106 + 2, 128 + 32 + 8 + 3, 3},
    };
    EXPECT_EQ(dotsOf(s, 0), expected);
    EXPECT_TRUE(dotsOf(s, 1).empty());
}

TEST(Render, EveryPageCountsItsOwnFeeds) {
    const ByteVector page = pageSetup() + feed('m', 700) + kForward + nozzlePair(1, 2) +
                            dataBlock({literals(group({{0, 0x80}})), {}}) + kPageEnd;
    const ByteVector blank = frame(0, 'H') +
                             frame(1, 'h', {0x00, 0x07, 0x00, 0x02, 0x03, 0x01, 0x00}) +
                             frame(1, 'b', {0x00}) + frame(1, 'r', {0x80, 0x00}) +
                             frame(1, 'f', {0x00}) + feed('m', 0) + kPageEnd;
    const ByteVector stream = page + blank + page;  // outlives the views the reader keeps
    const kzinspect::Stream s = kzinspect::inspect(stream);
    ASSERT_TRUE(s.ok()) << s.error->message;
    ASSERT_EQ(s.pages.size(), 3u);
    const std::vector<Dot> one = {{46, 16, 1}};
    EXPECT_EQ(dotsOf(s, 0), one);
    EXPECT_TRUE(dotsOf(s, 1).empty());
    EXPECT_EQ(dotsOf(s, 2), one);

    std::vector<Image> images;
    std::string error;
    ASSERT_TRUE(kzinspect::renderPages(stream, streamView(1), images, error)) << error;
    ASSERT_EQ(images.size(), 3u);
    // A page without dots is one pixel.
    EXPECT_EQ(images[0].width, 17);
    EXPECT_EQ(images[0].height, 47);
    EXPECT_EQ(images[1].width, 1);
    EXPECT_EQ(images[1].height, 1);
    EXPECT_EQ(images[2].height, 47);
}

struct Pixel {
    int x, y;
    uint8_t r, g, b;
};

void expectPixels(const Image& image, const std::vector<Pixel>& pixels) {
    for (const Pixel& p : pixels) {
        SCOPED_TRACE(testing::Message() << "pixel " << p.x << ", " << p.y);
        ASSERT_LT(p.x, image.width);
        ASSERT_LT(p.y, image.height);
        const uint8_t* rgb = image.pixel(p.x, p.y);
        EXPECT_EQ(rgb[0], p.r);
        EXPECT_EQ(rgb[1], p.g);
        EXPECT_EQ(rgb[2], p.b);
    }
}

TEST(Render, InksMultiplyAndCellsShowTheirShareOfInk) {
    // Colour nozzle 0 and black nozzle 8 print line 46; pixels 16.. are columns 16..
    const ByteVector setup = pageSetup() + feed('m', 700);
    // Cyan and yellow on pixel 16, black and cyan on pixel 24.
    const ByteVector mixed = kForward + nozzlePair(1, 2) + nozzlePair(3, 2) + nozzlePair(0, 2) +
                             dataBlock({literals(group({{0, 0x80}, {1, 0x80}})),
                                        {},
                                        literals(group({{0, 0x80}})),
                                        {},
                                        literals(group({{17, 0x80}})),
                                        {}});
    // Black: pixels 16 and 17 on lines 46 and 47, pixels 24 and 25 on line 46.
    const ByteVector black =
        kForward + nozzlePair(0, 2) +
        dataBlock({literals(group({{16, 0xC0}, {17, 0xC0}})), literals(group({{16, 0xC0}}))});
    // The same four pixels again, at no further feed.
    const ByteVector again =
        kForward + nozzlePair(0, 2) +
        dataBlock({literals(group({{16, 0xC0}})), literals(group({{16, 0xC0}}))});
    struct Case {
        const char* name;
        ByteVector stream;
        int scale;
        std::vector<Pixel> pixels;
    };
    const std::vector<Case> cases = {
        {"inks multiply",
         setup + mixed + kPageEnd,
         1,
         {{0, 0, 255, 255, 255}, {16, 46, 0, 149, 0}, {24, 46, 0, 0, 0}, {17, 46, 255, 255, 255}}},
        // Each 2 x 2 cell holds the share of its pixels that got a dot.
        {"scale 2", setup + black + kPageEnd, 2, {{8, 23, 0, 0, 0}, {12, 23, 128, 128, 128}}},
        // Where pixels got more than one dot, the densest cell is full ink.
        {"densest cell",
         setup + black + again + kPageEnd,
         2,
         {{8, 23, 0, 0, 0}, {12, 23, 191, 191, 191}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const kzinspect::Stream s = kzinspect::inspect(c.stream);
        ASSERT_TRUE(s.ok()) << s.error->message;
        std::vector<Image> images;
        std::string error;
        ASSERT_TRUE(kzinspect::renderPages(c.stream, streamView(c.scale), images, error)) << error;
        ASSERT_EQ(images.size(), 1u);
        expectPixels(images[0], c.pixels);
    }
}

TEST(Render, DotsLeftOfColumnZeroOrAboveThePaperWidenThePreview) {
    // A feed of 2 puts black row 0 at line 1 - 304 - 16; the scan starts at pixel -16.
    const ByteVector stream = pageSetup() + feed('m', 2) + scanInfo(-24, 15, 1) + nozzlePair(0, 2) +
                              dataBlock({literals(group({{0, 0x80}})), {}}) + kPageEnd;
    const kzinspect::Stream s = kzinspect::inspect(stream);
    ASSERT_TRUE(s.ok()) << s.error->message;
    const std::vector<Dot> expected = {{-319, -16, 0}};
    EXPECT_EQ(dotsOf(s, 0), expected);
    std::vector<Image> images;
    std::string error;
    ASSERT_TRUE(kzinspect::renderPages(stream, streamView(1), images, error)) << error;
    ASSERT_EQ(images.size(), 1u);
    // Column 0 and line 0, the paper's top left corner, are always drawn.
    EXPECT_EQ(images[0].width, 17);
    EXPECT_EQ(images[0].height, 320);
    expectPixels(images[0], {{0, 0, 0, 0, 0}});
}

TEST(Render, ThePaperViewShowsTheSheet) {
    // One black dot, fired at column 512 of a page with margins: less black's
    // offset of 464 it lands at pixel 48 of line 350 - 16 - 304 = 30.
    const ByteVector page = pageSetup() + feed('m', 700) + scanInfo(504, 543, 1) + nozzlePair(0, 2) +
                            dataBlock({literals(group({{0, 0x80}})), {}}) + kPageEnd;
    kzinspect::RenderOptions options;
    ASSERT_TRUE(kzinspect::paperFromName("custom_100x60mm", options.paper));
    EXPECT_EQ(options.paper.width, 2362);
    // A sheet of 100 x 60 pixels with 20 at each edge; 3 pages, 2 drawn.
    options.paper = {100, 60, {20, 20, 20, 20}};
    options.maxPages = 2;
    std::vector<Image> images;
    std::string error;
    ASSERT_TRUE(kzinspect::renderPages(page + page + page, options, images, error)) << error;
    ASSERT_EQ(images.size(), 2u);
    // The preview starts 10 pixels (the bleed, rounded out) left of and above the paper.
    const Image& image = images[0];
    EXPECT_EQ(image.width, 40);
    EXPECT_EQ(image.height, 32);
    const kzinspect::Rgb outside = kzinspect::kOutside, edge = kzinspect::kPaperEdge,
                         margin = kzinspect::kMarginLine;
    expectPixels(image, {{0, 0, outside.r, outside.g, outside.b},
                         {9, 15, edge.r, edge.g, edge.b},
                         {13, 15, margin.r, margin.g, margin.b},
                         {20, 16, 255, 255, 255},
                         {19, 16, 245, 245, 245}});  // one dot of the 25 pixels

    // Sizes from PWG names and from a page format.
    const std::vector<std::pair<const char*, int>> names = {
        {"iso_a4_210x297mm", 4961}, {"na_index-4x6_4x6in", 2400}, {"4x6in", 2400},
        {"4x6", 0}, {"iso_a4", 0}, {"x6in", 0}, {"-4x6in", 0}};
    for (const auto& [name, width] : names) {
        kzinspect::Paper paper;
        EXPECT_EQ(kzinspect::paperFromName(name, paper), width != 0) << name;
        if (width != 0) {
            EXPECT_EQ(paper.width, width) << name;
        }
    }
    const kzinspect::Paper a4 = kzinspect::paperOfArea(300, 2480, 3508, 59, 59, 2362, 3390);
    EXPECT_EQ(a4.width, 4960);
    EXPECT_EQ(a4.height, 7016);
    EXPECT_EQ(a4.margins[1], 118);
    const kzinspect::Paper bleed = kzinspect::paperOfArea(600, 2400, 3600, -47, -47, 2494, 3694);
    EXPECT_EQ(bleed.margins[0], 0);
}

TEST(Render, FirstPagePreviewDrawsPageOneAndStops) {
    const ByteVector page = pageSetup() + feed('m', 700) + scanInfo(504, 543, 1) + nozzlePair(0, 2) +
                            dataBlock({literals(group({{0, 0x80}})), {}}) + kPageEnd;
    const kzinspect::Paper paper{100, 60, {20, 20, 20, 20}};
    kzinspect::PreviewSizes sizes;
    sizes.viewLongSide = 40;
    sizes.thumbnailLongSide = 10;
    // Page 1 in small pieces, then bytes that are no stream at all: never read.
    const ByteVector stream = page + ByteVector(5000, 0xff);
    kzinspect::FirstPagePreview preview(paper, sizes);
    for (size_t at = 0; at < stream.size(); at += 7)
        preview.write(stream.data() + at, std::min<size_t>(7, stream.size() - at));
    EXPECT_TRUE(preview.drawn());
    ASSERT_TRUE(preview.finish()) << preview.error();
    kzinspect::RenderOptions options;
    options.scale = preview.scale();
    options.paper = paper;
    std::vector<Image> pages;
    std::string error;
    ASSERT_TRUE(kzinspect::renderPages(page, options, pages, error)) << error;
    EXPECT_EQ(preview.view().width, pages[0].width);
    EXPECT_EQ(preview.view().rgb, pages[0].rgb);
    EXPECT_LE(std::max(preview.thumbnail().width, preview.thumbnail().height), 10);
    EXPECT_GT(preview.thumbnail().width, 0);
    // A stream cut short or damaged gives no picture, and says why.
    for (const ByteVector& bad : {kztest::cut(page, page.size() - 3), ByteVector(64, 0xff)}) {
        kzinspect::FirstPagePreview p(paper, sizes);
        p.write(bad.data(), bad.size());
        EXPECT_FALSE(p.finish());
        EXPECT_FALSE(p.error().empty());
    }
    // Shrinking averages whole blocks, and the part-blocks at the edges by their own size.
    const Image small{3, 2, {0, 0, 0, 255, 255, 255, 90, 90, 90, 255, 255, 255, 0, 0, 0, 30, 30, 30}};
    const Image shrunk = kzinspect::shrinkImage(small, 2);
    ASSERT_EQ(shrunk.width, 2);
    ASSERT_EQ(shrunk.height, 1);
    EXPECT_EQ(shrunk.rgb, (std::vector<uint8_t>{128, 128, 128, 60, 60, 60}));
}

TEST(Render, RefusesWhatItCannotDraw) {
    const ByteVector good = pageSetup() + feed('m', 700) + kForward + nozzlePair(0, 2) +
                            dataBlock({literals(group({{0, 0x80}})), {}}) + kPageEnd;
    struct Case {
        const char* name;
        ByteVector stream;
        kzinspect::RenderOptions options;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"malformed stream", kztest::cut(good, good.size() - 3), {}, "fault at offset"},
        {"scale 0", good, streamView(0), "scale"},
        {"too large", good, streamView(1, 100), "pixels at scale 1; choose a larger scale"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Image> images(1);
        std::string error;
        EXPECT_FALSE(kzinspect::renderPages(c.stream, c.options, images, error));
        EXPECT_TRUE(images.empty());
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST(Render, LaterPagesGetNumberedFiles) {
    struct Case {
        const char* path;
        size_t index;
        const char* file;
    };
    const std::vector<Case> cases = {
        {"page.png", 0, "page.png"},
        {"page.png", 1, "page-2.png"},
        {"out", 2, "out-3"},
        {"dir.d/page", 1, "dir.d/page-2"},
        {"a/b.c.png", 1, "a/b.c-2.png"},
        {".png", 1, ".png-2"},
        {"build/.preview", 1, "build/.preview-2"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kzinspect::pagePath(c.path, c.index), c.file) << c.path << " " << c.index;
    }
}

#ifdef KZ_STREAM_PNG

// Reads a PNG back as 8-bit RGB.
bool readPng(const std::string& path, Image& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
    png.format = PNG_FORMAT_RGB;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.rgb.assign(PNG_IMAGE_SIZE(png), 0);
    return png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr) != 0;
}

TEST(RenderPng, PicturesRoundTrip) {
    Image image;
    image.width = 3;
    image.height = 2;
    image.rgb = {255, 255, 255, 0, 160, 227, 228, 0, 124, 255, 237, 0, 0, 0, 0, 1, 2, 3};
    const std::string path = testing::TempDir() + "render_round_trip.png";
    std::string error;
    ASSERT_TRUE(kzinspect::writePng(image, path, error)) << error;
    Image back;
    ASSERT_TRUE(readPng(path, back));
    EXPECT_EQ(back.width, 3);
    EXPECT_EQ(back.height, 2);
    EXPECT_EQ(back.rgb, image.rgb);
    std::remove(path.c_str());
}

TEST(RenderPng, UnwritablePathsAreReported) {
    Image image;
    image.width = 1;
    image.height = 1;
    image.rgb = {255, 255, 255};
    std::string error;
    EXPECT_FALSE(kzinspect::writePng(image, "/nonexistent-directory/page.png", error));
    EXPECT_NE(error.find("/nonexistent-directory/page.png"), std::string::npos) << error;
    image.rgb.clear();
    EXPECT_FALSE(kzinspect::writePng(image, testing::TempDir() + "unused.png", error));
}

#endif

}  // namespace
