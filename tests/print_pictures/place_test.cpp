// Pictures placed on the printable area, and documents Ghostscript renders at
// the size they print at, so that nothing samples them a second time.
#include "frontend/place.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "frontend/input/open_pages.h"
#include "kzrqo317/print.h"

namespace {

using namespace kzprint;

// A picture that is white but for a dark `corner` x `corner` block at its top left.
Picture cornered(int32_t w, int32_t h, int32_t corner) {
    Picture p;
    p.width = w, p.height = h;
    p.rgb.assign(size_t(w) * size_t(h) * 3, 0xFF);
    for (int32_t y = 0; y < std::min(corner, h); ++y)
        for (int32_t x = 0; x < std::min(corner, w); ++x) p.rgb[(size_t(y) * w + x) * 3] = 0;
    return p;
}

struct Extent {
    int32_t left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
};

// Where the area is not white.
Extent inked(Placement& placement, int32_t w, int32_t h) {
    Extent e;
    std::vector<uint8_t> line(size_t(w) * 3);
    for (int32_t y = 0; y < h; ++y) {
        placement.lines(y, 1, line.data());
        for (int32_t x = 0; x < w; ++x) {
            if (line[3 * x] == 0xFF && line[3 * x + 1] == 0xFF && line[3 * x + 2] == 0xFF) continue;
            e.left = std::min(e.left, x), e.right = std::max(e.right, x);
            e.top = std::min(e.top, y), e.bottom = std::max(e.bottom, y);
        }
    }
    return e;
}

TEST(Placement, APictureAtItsSizeIsCopiedOthersAreResampledAndCentred) {
    Placement exact(cornered(30, 20, 30), 30, 20, Fit::Fit, 100, Turn::None);
    EXPECT_FALSE(exact.resampled());
    const Extent e = inked(exact, 30, 20);
    EXPECT_EQ(e.left, 0);
    EXPECT_EQ(e.top, 0);
    EXPECT_EQ(e.right, 29);
    EXPECT_EQ(e.bottom, 19);

    // A pixel short of the area: copied, not stretched by a pixel's worth.
    Placement near(cornered(29, 20, 29), 30, 20, Fit::Fit, 100, Turn::None);
    EXPECT_FALSE(near.resampled());
    EXPECT_EQ(inked(near, 30, 20).right - inked(near, 30, 20).left, 28);

    Placement half(cornered(30, 20, 30), 30, 20, Fit::Fit, 50, Turn::None);
    EXPECT_TRUE(half.resampled());
    const Extent h = inked(half, 30, 20);
    EXPECT_NEAR(h.left, 7, 1);
    EXPECT_NEAR(h.right, 22, 1);
    EXPECT_NEAR(h.top, 5, 1);
    EXPECT_NEAR(h.bottom, 14, 1);
}

TEST(Placement, TurnsOnlyAcrossAndTheWayAsked) {
    EXPECT_EQ(turnToFit(40, 20, 20, 40, Turn::Clockwise), Turn::Clockwise);
    EXPECT_EQ(turnToFit(20, 40, 20, 40, Turn::Clockwise), Turn::None);
    EXPECT_EQ(turnToFit(30, 30, 20, 40, Turn::Counterclockwise), Turn::None);
    EXPECT_EQ(turnToFit(40, 20, 30, 30, Turn::Counterclockwise), Turn::None);

    // The top-left corner goes top right turning clockwise, bottom left the other way.
    Placement right(cornered(40, 20, 5), 20, 40, Fit::Fit, 100, Turn::Clockwise);
    const Extent r = inked(right, 20, 40);
    EXPECT_EQ(r.right, 19);
    EXPECT_EQ(r.top, 0);
    Placement left(cornered(40, 20, 5), 20, 40, Fit::Fit, 100, Turn::Counterclockwise);
    const Extent l = inked(left, 20, 40);
    EXPECT_EQ(l.left, 0);
    EXPECT_EQ(l.bottom, 39);
}

TEST(Documents, PagesArriveAtThePrintableAreasSizeAndPrintUnresampled) {
    if (std::system("gs --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "Ghostscript is not installed";
    const std::string dir =
        std::filesystem::temp_directory_path() / ("kz-pictures-" + std::to_string(getpid()));
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
    kzfront::OpenOptions render;
    render.xdpi = f.mode->xdpi, render.ydpi = f.mode->ydpi;
    render.areaWidth = f.width_px, render.areaHeight = f.height_px;
    render.paperWidth = f.paper_width_px, render.paperHeight = f.paper_height_px;
    std::string error;
    auto pages = kzfront::openPages(dir + "/doc.pdf", render, error);
    ASSERT_TRUE(pages) << error;
    // An A4 page is narrower than the area for its height: as wide as the area, centred.
    const double tall = f.width_px * 842.0 / 595.0;
    const auto fitsTheArea = [&](Picture&& page, const std::string& what) {
        ASSERT_EQ(page.width, f.width_px) << what;
        ASSERT_EQ(page.height, f.height_px) << what;
        Placement placed(std::move(page), f.width_px, f.height_px, Fit::Fit, 100, Turn::None);
        EXPECT_FALSE(placed.resampled()) << what;
        const Extent e = inked(placed, f.width_px, f.height_px);
        EXPECT_NEAR(e.left, 0, 2) << what;
        EXPECT_NEAR(e.right, f.width_px - 1, 2) << what;
        EXPECT_NEAR(e.bottom - e.top + 1, tall, 2) << what;
        EXPECT_NEAR(e.top, (f.height_px - tall) / 2, 2) << what;
    };
    kzfront::PageHeader header;
    Picture page;
    const auto next = [&] { return pages->nextPage(header, error) && readPicture(*pages, header, page, error); };
    ASSERT_TRUE(next()) << error;
    EXPECT_EQ(header.kind, kzfront::PageKind::Area);
    fitsTheArea(std::move(page), "PDF");

    // The landscape page comes turned counterclockwise, its corner at the bottom right.
    ASSERT_TRUE(next()) << error;
    EXPECT_EQ(page.width, f.width_px);
    Placement landscape(std::move(page), f.width_px, f.height_px, Fit::Fit, 100, Turn::None);
    const Extent c = inked(landscape, f.width_px, f.height_px);
    EXPECT_NEAR(c.right, f.width_px - 1, 2);
    EXPECT_GT(c.top, f.height_px / 2);
    EXPECT_FALSE(next()) << error;
    EXPECT_TRUE(error.empty()) << error;

    // PostScript that does not ask for a size is taken to be the paper's.
    std::ofstream(dir + "/page.ps") << "%!PS\n1 0 0 setrgbcolor 0 0 595 842 rectfill showpage\n";
    pages = kzfront::openPages(dir + "/page.ps", render, error);
    ASSERT_TRUE(pages && next()) << error;
    fitsTheArea(std::move(page), "PostScript");
    std::filesystem::remove_all(dir);
}

}  // namespace
