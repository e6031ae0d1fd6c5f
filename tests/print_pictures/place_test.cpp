// Placing pages on the printable area: pictures, pages rendered at the
// area's size and raster pages, sampled once, with hard edges, from a window
// of rows where nothing turns.
#include "frontend/place.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "frontend/input/open_pages.h"
#include "pages.h"

namespace {

using namespace kzfront;
using namespace kzfront::test;

TEST(Placement, APictureAtItsSizeIsCopiedOthersAreResampledAndCentred) {
    const kzp_page_format f = area(30, 20);
    Placement exact(cornered(30, 20, 30).header, f, {});
    EXPECT_FALSE(exact.resampled());
    Extent e = inked(placeAll(cornered(30, 20, 30), f), 30, 20);
    EXPECT_EQ(e.left, 0);
    EXPECT_EQ(e.top, 0);
    EXPECT_EQ(e.right, 29);
    EXPECT_EQ(e.bottom, 19);

    // A pixel short of the area: copied, not stretched by a pixel's worth.
    EXPECT_FALSE(Placement(cornered(29, 20, 29).header, f, {}).resampled());
    e = inked(placeAll(cornered(29, 20, 29), f), 30, 20);
    EXPECT_EQ(e.right - e.left, 28);

    Placing half;
    half.percent = 50;
    EXPECT_TRUE(Placement(cornered(30, 20, 30).header, f, half).resampled());
    e = inked(placeAll(cornered(30, 20, 30), f, half), 30, 20);
    EXPECT_NEAR(e.left, 7, 1);
    EXPECT_NEAR(e.right, 22, 1);
    EXPECT_NEAR(e.top, 5, 1);
    EXPECT_NEAR(e.bottom, 14, 1);

    // Pages Ghostscript rendered at the area's size are copied, centred.
    MemoryPage page = cornered(28, 20, 28);
    page.header.kind = PageKind::Area;
    e = inked(placeAll(page, f), 30, 20);
    EXPECT_EQ(e.left, 1);
    EXPECT_EQ(e.right, 28);
}

TEST(Placement, TurnsOnlyAcrossAndTheWayAsked) {
    const kzp_page_format portrait = area(20, 40);
    // Lying across the area: turned counterclockwise, its top-left corner to the bottom left.
    Extent e = inked(placeAll(cornered(40, 20, 5), portrait), 20, 40);
    EXPECT_EQ(e.left, 0);
    EXPECT_EQ(e.bottom, 39);
    EXPECT_TRUE(Placement(cornered(40, 20, 5).header, portrait, {}).turned());
    EXPECT_FALSE(Placement(cornered(20, 40, 5).header, portrait, {}).turned());
    EXPECT_FALSE(Placement(cornered(30, 30, 5).header, portrait, {}).turned());
    // Asked clockwise: to the top right.
    Placing clockwise;
    clockwise.orientation = Orientation::Clockwise;
    e = inked(placeAll(cornered(40, 20, 5), portrait, clockwise), 20, 40);
    EXPECT_EQ(e.right, 19);
    EXPECT_EQ(e.top, 0);
    Placing upright;
    upright.orientation = Orientation::Upright;
    EXPECT_FALSE(Placement(cornered(40, 20, 5).header, portrait, upright).turned());
}

TEST(Placement, ScalingFollowsPrintScaling) {
    // 60 x 30 pixels at 300 ppi are 120 x 60 area pixels at their own size.
    MemoryPage p = flat(60, 30, 0);
    p.header.ppi = 300;
    const auto width = [&](Scaling scaling, const kzp_page_format& f) {
        Placing placing;
        placing.scaling = scaling;
        placing.orientation = Orientation::Upright;
        const Extent e = inked(placeAll(p, f, placing), f.width_px, f.height_px);
        return e.right - e.left + 1;
    };
    EXPECT_EQ(width(Scaling::Natural, area(400, 300)), 120);
    EXPECT_EQ(width(Scaling::AutoFit, area(400, 300)), 120);
    EXPECT_EQ(width(Scaling::Fit, area(400, 300)), 400);
    EXPECT_EQ(width(Scaling::AutoFit, area(100, 300)), 100);  // larger than the area: fitted
    EXPECT_EQ(width(Scaling::Fill, area(100, 100)), 100);
    EXPECT_EQ(width(Scaling::Auto, area(100, 100, 0, true)), 100);  // borderless: filled
    p.header.reduced = 2;  // read at half size: its own size stays
    EXPECT_EQ(width(Scaling::Natural, area(400, 300)), 240);

    // Readers may reduce a picture to what it is drawn at: never below a
    // zoomed print, and not at all at its own size.
    int32_t w = 0, h = 0;
    Placing zoomed;
    zoomed.percent = 300;
    largestDrawnSize(zoomed, area(400, 300), w, h);
    EXPECT_EQ(w, 1200);
    EXPECT_EQ(h, 900);
    zoomed.scaling = Scaling::Natural;
    largestDrawnSize(zoomed, area(400, 300), w, h);
    EXPECT_EQ(w, 0);
}

TEST(Placement, AnEnlargedPictureHasHardEdgesAndNoInkOutsideItsBox) {
    // 4 x 4 flat grey on a 1 x 1.5 inch area: every pixel of the fitted box
    // is the picture's grey, every other one white; in grey and CMYK too.
    const kzp_page_format f = area(600, 900);
    for (const PixelFormat format : {PixelFormat::Rgb8, PixelFormat::Gray8, PixelFormat::Cmyk8}) {
        const uint8_t value = format == PixelFormat::Cmyk8 ? 100 : 128, blank = format == PixelFormat::Cmyk8 ? 0 : 255;
        const std::vector<uint8_t> lines = placeAll(flat(4, 4, value, format), f);
        const int n = channels(format);
        int32_t inside = 0, wrong = 0;
        for (int32_t y = 0; y < f.height_px; ++y)
            for (int32_t x = 0; x < f.width_px; ++x) {
                const bool box = y >= 150 && y < 750;
                inside += box;
                for (int c = 0; c < n; ++c)
                    wrong += lines[(size_t(y) * 600 + size_t(x)) * size_t(n) + size_t(c)] != (box ? value : blank);
            }
        EXPECT_EQ(inside, 600 * 600);
        EXPECT_EQ(wrong, 0) << "format " << n;
    }
    // Shrunk, the same: the box's edge pixels are the picture's, not blended with white.
    const std::vector<uint8_t> shrunk = placeAll(flat(1500, 1500, 128), area(150, 200));
    EXPECT_EQ(shrunk[(25 * 150) * 3], 128);
    EXPECT_EQ(shrunk[(174 * 150 + 149) * 3], 128);
    EXPECT_EQ(shrunk[(24 * 150) * 3], 255);
    EXPECT_EQ(shrunk[(175 * 150) * 3], 255);
}

TEST(Placement, RowsArriveThroughAWindowUnlessThePageTurns) {
    // A gradient, so that any row read from the wrong place shows.
    MemoryPage p = flat(300, 2000, 0);
    for (int32_t y = 0; y < 2000; ++y)
        for (int32_t x = 0; x < 300; ++x)
            for (int c = 0; c < 3; ++c) p.rows[(size_t(y) * 300 + size_t(x)) * 3 + size_t(c)] = uint8_t((x + y * (c + 1)) & 0xFF);
    for (const int32_t areaHeight : {2000, 1300, 4100}) {  // copied, shrunk, enlarged
        const kzp_page_format f = area(areaHeight * 3 / 20, areaHeight);
        int32_t held = 0;
        const std::vector<uint8_t> streamed = placeAll(p, f, {}, 1, &held);
        EXPECT_EQ(streamed, placeAll(p, f)) << areaHeight;
        EXPECT_LT(held, 200) << areaHeight;
    }
    int32_t held = 0;
    placeAll(p, area(2000, 300), {}, 7, &held);
    EXPECT_EQ(held, 2000);
}

// A raster page as cupsfilter renders it for this printer: `dpi`, on a page
// of w x h points, its imaging box 14 points in (0: no box).
MemoryPage raster(uint32_t wPt, uint32_t hPt, uint32_t dpi, uint32_t inset, PixelFormat format = PixelFormat::Rgb8) {
    MemoryPage p = flat(int32_t((wPt - 2 * inset) * dpi / 72), int32_t((hPt - 2 * inset) * dpi / 72), 0, format);
    PageHeader& h = p.header;
    h.kind = PageKind::Raster;
    h.raster.xdpi = h.raster.ydpi = dpi;
    h.raster.pageWidthPt = wPt, h.raster.pageHeightPt = hPt;
    if (inset) {
        h.raster.imagingBoxPt[0] = h.raster.imagingBoxPt[1] = inset;
        h.raster.imagingBoxPt[2] = wPt - inset, h.raster.imagingBoxPt[3] = hPt - inset;
    }
    return p;
}

TEST(Placement, RasterPagesLieOnThePaperByTheirGeometry) {
    // 2 x 2 inches with 5 mm margins at 600 dpi: a mark at raster pixel
    // (10, 10) lands 116.7 pixels (14 pt, the imaging box) right of and
    // below the paper's corner, 118 from the area's: at (9, 9).
    kzp_page_format f = area(1200 - 236, 1200 - 236, 118);
    MemoryPage p = raster(144, 144, 600, 14);
    std::fill(p.rows.begin(), p.rows.end(), 255);
    std::fill_n(p.rows.begin() + (10 * p.header.width + 10) * 3, 3, 0);
    EXPECT_FALSE(Placement(p.header, f, {}).resampled());
    Extent e = inked(placeAll(p, f), f.width_px, f.height_px);
    EXPECT_EQ(e.left, 9);
    EXPECT_EQ(e.top, 9);
    EXPECT_EQ(e.right, 9);

    // Borderless: the paper's raster stretched over the area and its bleed, edge to edge.
    kzp_page_format b = area(600 + 94, 900 + 94, -47, true);
    b.paper_width_px = 600, b.paper_height_px = 900;
    e = inked(placeAll(raster(72, 108, 600, 0), b), b.width_px, b.height_px);
    EXPECT_EQ(e.left, 0);
    EXPECT_EQ(e.top, 0);
    EXPECT_EQ(e.right, b.width_px - 1);
    EXPECT_EQ(e.bottom, b.height_px - 1);

    // A raster page smaller than the paper lies centred on it.
    e = inked(placeAll(raster(72, 108, 600, 0), area(1200, 1200)), 1200, 1200);
    EXPECT_EQ(e.left, 300);
    EXPECT_EQ(e.top, 150);
}

TEST(Placement, ARasterAtTwiceTheModesResolutionAveragesBlocks) {
    // Normal quality on plain paper prints at 300 dpi from a 600 dpi raster:
    // one black and three white pixels are a light grey, in every format.
    for (const PixelFormat format : {PixelFormat::Gray8, PixelFormat::Rgb8, PixelFormat::Cmyk8}) {
        MemoryPage p = raster(72, 72, 600, 0, format);
        const uint8_t white = format == PixelFormat::Cmyk8 ? 0 : 255, black = 255 - white;
        std::fill(p.rows.begin(), p.rows.end(), white);
        p.rows[size_t(2 * 600 + 20) * size_t(channels(format))] = black;  // row 2, column 20: block (10, 1)
        kzp_page_format f = area(300, 300);
        static kzp_mode_info mode{};
        mode.xdpi = mode.ydpi = 300;
        f.mode = &mode;
        const std::vector<uint8_t> lines = placeAll(p, f);
        const size_t n = size_t(channels(format));
        EXPECT_NEAR(lines[(1 * 300 + 10) * n], format == PixelFormat::Cmyk8 ? 64 : 191, 1);
        EXPECT_EQ(lines[(1 * 300 + 11) * n], white);
        EXPECT_EQ(lines[(2 * 300 + 10) * n], white);
    }
}

TEST(Documents, PagesArriveAtThePrintableAreasSizeAndPrintUnresampled) {
    if (std::system("gs --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "Ghostscript is not installed";
    const std::string dir = std::filesystem::temp_directory_path() / ("kz-pictures-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    // A4 covered in red, and A4 landscape with a blue corner at its bottom left.
    const std::string make =
        "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile=" + dir +
        "/doc.pdf -c '<</PageSize [595 842]>> setpagedevice 1 0 0 setrgbcolor 0 0 595 842 "
        "rectfill showpage <</PageSize [842 595]>> setpagedevice 0 0 1 setrgbcolor 0 0 100 100 "
        "rectfill showpage'";
    ASSERT_EQ(std::system(make.c_str()), 0);

    const kzp_settings settings = kzp_settings_default();
    kzp_page_format f = kzp_page_format_empty();
    ASSERT_EQ(kzp_resolve(&settings, &f, nullptr, 0), KZP_OK);
    OpenOptions render;
    render.xdpi = f.mode->xdpi, render.ydpi = f.mode->ydpi;
    render.areaWidth = f.width_px, render.areaHeight = f.height_px;
    render.paperWidth = f.paper_width_px, render.paperHeight = f.paper_height_px;
    std::string error;
    auto pages = openPages(dir + "/doc.pdf", render, error);
    ASSERT_TRUE(pages) << error;
    // An A4 page is narrower than the area for its height: as wide as the area, centred.
    const double tall = f.width_px * 842.0 / 595.0;
    PageHeader page;
    const auto fitsTheArea = [&](const std::string& what) {
        ASSERT_EQ(page.kind, PageKind::Area) << what;
        ASSERT_EQ(page.width, f.width_px) << what;
        ASSERT_EQ(page.height, f.height_px) << what;
        EXPECT_FALSE(Placement(page, f, {}).resampled()) << what;
        const Extent e = inked(placeFrom(*pages, page, f, error), f.width_px, f.height_px);
        EXPECT_NEAR(e.left, 0, 2) << what;
        EXPECT_NEAR(e.right, f.width_px - 1, 2) << what;
        EXPECT_NEAR(e.bottom - e.top + 1, tall, 2) << what;
        EXPECT_NEAR(e.top, (f.height_px - tall) / 2, 2) << what;
    };
    ASSERT_TRUE(pages->nextPage(page, error)) << error;
    fitsTheArea("PDF");

    // The landscape page comes turned counterclockwise, its corner at the bottom right.
    ASSERT_TRUE(pages->nextPage(page, error)) << error;
    EXPECT_EQ(page.width, f.width_px);
    const Extent c = inked(placeFrom(*pages, page, f, error), f.width_px, f.height_px);
    EXPECT_NEAR(c.right, f.width_px - 1, 2);
    EXPECT_GT(c.top, f.height_px / 2);
    EXPECT_FALSE(pages->nextPage(page, error)) << error;
    EXPECT_TRUE(error.empty()) << error;

    // PostScript that does not ask for a size is taken to be the paper's.
    std::ofstream(dir + "/page.ps") << "%!PS\n1 0 0 setrgbcolor 0 0 595 842 rectfill showpage\n";
    pages = openPages(dir + "/page.ps", render, error);
    ASSERT_TRUE(pages && pages->nextPage(page, error)) << error;
    fitsTheArea("PostScript");
    std::filesystem::remove_all(dir);
}

}  // namespace
