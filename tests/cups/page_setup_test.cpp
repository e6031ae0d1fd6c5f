// The filter's reading of page headers: what prints, what is refused (and
// that the refusal says why), and where the raster's pixels land.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "page_setup.h"

namespace {

using kzcups::PagePlan;
using testing::HasSubstr;

// A page as cupsfilter renders it from this printer's PPD.
cups_page_header2_t header(unsigned widthPt, unsigned heightPt, unsigned dpi, const char* media = "plain",
                           unsigned quality = 2, unsigned colourSpace = CUPS_CSPACE_SRGB) {
    cups_page_header2_t h{};
    h.PageSize[0] = widthPt;
    h.PageSize[1] = heightPt;
    h.HWResolution[0] = h.HWResolution[1] = dpi;
    h.ImagingBoundingBox[0] = h.ImagingBoundingBox[1] = 14;
    h.ImagingBoundingBox[2] = widthPt - 14;
    h.ImagingBoundingBox[3] = heightPt - 14;
    h.cupsWidth = (widthPt - 28) * dpi / 72;
    h.cupsHeight = (heightPt - 28) * dpi / 72;
    h.cupsColorSpace = static_cast<cups_cspace_t>(colourSpace);
    h.cupsBitsPerColor = 8;
    h.cupsBitsPerPixel = colourSpace == CUPS_CSPACE_SRGB ? 24 : 8;
    h.cupsBytesPerLine = h.cupsWidth * h.cupsBitsPerPixel / 8;
    std::strcpy(h.MediaType, media);
    h.cupsInteger[0] = quality;
    return h;
}

std::string refusal(const cups_page_header2_t& h) {
    PagePlan plan;
    std::string why;
    EXPECT_FALSE(kzcups::planPage(h, plan, why));
    return why;
}

TEST(CupsPageSetup, ReadsSettingsFromTheHeader) {
    cups_page_header2_t h = header(288, 432, 600, "photo", 3);
    std::strcpy(h.cupsPageSizeName, "4x6.Fullbleed");
    h.cupsInteger[1] = 3;  // quality dithering
    h.MediaPosition = 0;
    PagePlan plan;
    std::string why;
    ASSERT_TRUE(kzcups::planPage(h, plan, why)) << why;
    EXPECT_STREQ(plan.settings.paper, "na_index-4x6_4x6in");
    EXPECT_STREQ(plan.settings.media, "photo");
    EXPECT_EQ(plan.settings.quality, KZP_QUALITY_HIGH);
    EXPECT_EQ(plan.settings.dither, KZP_DITHER_QUALITY);
    EXPECT_TRUE(plan.settings.borderless);
    EXPECT_EQ(plan.input, KZP_INPUT_RGB8);
    h.cupsInteger[2] = 1;  // FinestQuality: the best mode, whatever the quality
    ASSERT_TRUE(kzcups::planPage(h, plan, why)) << why;
    EXPECT_EQ(plan.settings.quality, KZP_QUALITY_BEST);
}

TEST(CupsPageSetup, GreyPrintsBlackOnlyWhereItCanElseWithColourInks) {
    PagePlan plan;
    std::string why;
    ASSERT_TRUE(kzcups::planPage(header(595, 842, 600, "plain", 2, CUPS_CSPACE_SW), plan, why)) << why;
    EXPECT_EQ(plan.settings.mono, 1);
    EXPECT_EQ(plan.input, KZP_INPUT_GRAY8);
    ASSERT_TRUE(kzcups::planPage(header(595, 842, 600, "photo", 3, CUPS_CSPACE_SW), plan, why)) << why;
    EXPECT_EQ(plan.settings.mono, 0);
    EXPECT_TRUE(plan.greyInColour);
}

TEST(CupsPageSetup, RefusesWhatCannotPrintAndSaysWhy) {
    cups_page_header2_t lab = header(595, 842, 600);
    lab.cupsColorSpace = CUPS_CSPACE_CIELab;
    EXPECT_THAT(refusal(lab), HasSubstr("colour space"));
    EXPECT_THAT(refusal(header(595, 842, 720)), HasSubstr("matches no print mode"));
    EXPECT_THAT(refusal(header(1191, 842, 600)), HasSubstr("wider than the printer"));
    EXPECT_THAT(refusal(header(500, 500, 600)), HasSubstr("does not take"));
    EXPECT_THAT(refusal(header(595, 842, 600, "vellum")), HasSubstr("not one this printer knows"));
    cups_page_header2_t borderlessPlain = header(595, 842, 600, "high-only", 3);
    borderlessPlain.cupsInteger[3] = 1;
    EXPECT_FALSE(refusal(borderlessPlain).empty());
    cups_page_header2_t damaged = header(595, 842, 600);
    damaged.cupsBytesPerLine = 10;
    EXPECT_THAT(refusal(damaged), HasSubstr("damaged"));
    cups_page_header2_t huge = header(595, 842, 600);
    huge.cupsWidth = 100000000;
    huge.cupsBytesPerLine = 3 * huge.cupsWidth;
    EXPECT_THAT(refusal(huge), HasSubstr("damaged"));
}

TEST(CupsPageSetup, NormalOnPlainPaperAveragesAFinerRaster) {
    PagePlan plan;
    std::string why;
    const cups_page_header2_t h = header(595, 842, 600);
    ASSERT_TRUE(kzcups::planPage(h, plan, why)) << why;
    ASSERT_EQ(plan.format.mode->xdpi, 300);
    const kzcups::Placement placement(h, plan.format);
    EXPECT_EQ(placement.blockWidth(), 2);
    EXPECT_EQ(placement.blockHeight(), 2);
    // A 2 x 2 block of one black and three white pixels is a light grey.
    cups_page_header2_t g = header(595, 842, 600, "plain", 2, CUPS_CSPACE_SW);
    ASSERT_TRUE(kzcups::planPage(g, plan, why)) << why;
    const kzcups::Placement grey(g, plan.format);
    std::vector<uint8_t> rows(2 * g.cupsBytesPerLine, 255);
    const int32_t first = grey.sourceColumns()[10];
    ASSERT_GE(first, 0);
    rows[static_cast<size_t>(first)] = 0;
    std::vector<uint8_t> line(static_cast<size_t>(plan.format.width_px));
    kzcups::LineConverter(g, plan, grey).convert(rows.data(), 2, line.data());
    EXPECT_EQ(line[10], 191);
    EXPECT_EQ(line[11], 255);
}

TEST(CupsPageSetup, MarginsPlaceTheRasterAndBorderlessStretchesItOverTheBleed) {
    PagePlan plan;
    std::string why;
    cups_page_header2_t h = header(595, 842, 600, "photo", 3);
    ASSERT_TRUE(kzcups::planPage(h, plan, why)) << why;
    const kzcups::Placement placed(h, plan.format);
    // The raster starts at its imaging box (14 pt), the lines at the margin.
    const int32_t shift = plan.format.left_px - 14 * 600 / 72;
    EXPECT_NEAR(placed.sourceColumns()[0], shift, 1);
    EXPECT_NEAR(placed.sourceRow(0), plan.format.top_px - 14 * 600 / 72, 1);

    h = header(288, 432, 600, "photo", 3);
    h.ImagingBoundingBox[0] = h.ImagingBoundingBox[1] = 0;
    h.ImagingBoundingBox[2] = 288;
    h.ImagingBoundingBox[3] = 432;
    h.cupsWidth = 2400;
    h.cupsHeight = 3600;
    h.cupsBytesPerLine = 3 * 2400;
    h.cupsInteger[3] = 1;
    ASSERT_TRUE(kzcups::planPage(h, plan, why)) << why;
    ASSERT_LT(plan.format.left_px, 0);
    const kzcups::Placement stretched(h, plan.format);
    const auto& columns = stretched.sourceColumns();
    EXPECT_EQ(columns.front(), 0);
    EXPECT_EQ(columns.back(), 2399);
    EXPECT_EQ(stretched.sourceRow(0), 0);
    EXPECT_EQ(stretched.sourceRow(plan.format.height_px - 1), 3599);
    for (size_t x = 1; x < columns.size(); ++x) ASSERT_GE(columns[x], columns[x - 1]);
}

}  // namespace
