// One translation of settings for every front end, and one policy for
// settings that do not print.
#include "frontend/settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace kzfront;
using testing::HasSubstr;

Request asked(const char* media, kzp_quality q, Colour colour = Colour::Colour, bool borderless = false) {
    Request r;
    r.media = media;
    r.quality = q;
    r.colour = colour;
    r.borderless = borderless;
    return r;
}

TEST(Settings, NearestChangesQualityThenMarginsThenColourAndSaysSoStrictRefuses) {
    Resolved r;
    std::string error;
    ASSERT_TRUE(resolveRequest(asked("plain", KZP_QUALITY_HIGH), Policy::Strict, r, error)) << error;
    EXPECT_FALSE(r.changes.any());
    EXPECT_EQ(r.changed(), "");

    // Draft on photo paper: the nearest quality that prints is high.
    EXPECT_FALSE(resolveRequest(asked("photo", KZP_QUALITY_DRAFT), Policy::Strict, r, error));
    EXPECT_THAT(error, HasSubstr("Possible with photo"));
    ASSERT_TRUE(resolveRequest(asked("photo", KZP_QUALITY_DRAFT), Policy::Nearest, r, error)) << error;
    EXPECT_EQ(r.request.quality, KZP_QUALITY_HIGH);
    EXPECT_EQ(r.changed(), "high quality");
    EXPECT_THAT(r.reason, HasSubstr("Possible with photo"));
    EXPECT_EQ(kzp_settings(r.settings()).quality, KZP_QUALITY_HIGH);

    // Borderless where no quality prints it: with margins.
    ASSERT_TRUE(resolveRequest(asked("high-only", KZP_QUALITY_HIGH, Colour::Colour, true), Policy::Nearest, r, error));
    EXPECT_TRUE(r.changes.margins);
    EXPECT_FALSE(r.request.borderless);

    // Black only where the media has no black-only mode: in colour, or refused.
    EXPECT_FALSE(resolveRequest(asked("photo", KZP_QUALITY_HIGH, Colour::BlackOnly), Policy::Strict, r, error));
    ASSERT_TRUE(resolveRequest(asked("photo", KZP_QUALITY_HIGH, Colour::BlackOnly), Policy::Nearest, r, error));
    EXPECT_EQ(r.changed(), "in colour");
    EXPECT_EQ(r.settings().mono, 0);

    // Grey prints black only where it can, else grey from the colour inks, strictly too.
    ASSERT_TRUE(resolveRequest(asked("plain", KZP_QUALITY_NORMAL, Colour::Grey), Policy::Strict, r, error));
    EXPECT_EQ(r.settings().mono, 1);
    ASSERT_TRUE(resolveRequest(asked("photo", KZP_QUALITY_HIGH, Colour::Grey), Policy::Strict, r, error));
    EXPECT_EQ(r.settings().mono, 0);
    EXPECT_TRUE(r.changes.greyInColour);
    EXPECT_FALSE(r.changes.any());

    // Unknown names fail whatever the policy.
    EXPECT_FALSE(resolveRequest(asked("vellum", KZP_QUALITY_NORMAL), Policy::Nearest, r, error));
    EXPECT_THAT(error, HasSubstr("unknown media 'vellum'"));
}

TEST(Settings, WordsAndIppAttributesTranslate) {
    kzp_quality q{};
    kzp_dither d{};
    EXPECT_TRUE(qualityFromWord("best", q));
    EXPECT_EQ(q, KZP_QUALITY_BEST);
    EXPECT_FALSE(qualityFromWord("fine", q));
    EXPECT_TRUE(ditherFromWord("quality", d));
    EXPECT_EQ(d, KZP_DITHER_QUALITY);
    EXPECT_FALSE(ditherFromWord("slow", d));

    IppAttributes ipp;
    ipp.mediaSizeName = "na_index-4x6_4x6in";
    ipp.mediaType = "photo";
    ipp.mediaSource = "main-roll";
    std::fill(std::begin(ipp.margins), std::end(ipp.margins), 0);
    ipp.quality = IPP_QUALITY_HIGH;
    Request r = requestFromIpp(ipp);
    EXPECT_EQ(r.paper, "na_index-4x6_4x6in");
    EXPECT_EQ(r.media, "photo");
    EXPECT_EQ(r.quality, KZP_QUALITY_HIGH);
    EXPECT_TRUE(r.borderless);
    EXPECT_TRUE(r.roll);
    EXPECT_EQ(r.colour, Colour::Colour);
    ipp.greyContent = true;  // auto: grey when the document has no colour
    EXPECT_EQ(requestFromIpp(ipp).colour, Colour::Grey);
    ipp.greyContent = false;
    ipp.colourMode = "monochrome";
    ipp.margins[0] = 300;
    ipp.quality = IPP_QUALITY_DRAFT;
    r = requestFromIpp(ipp);
    EXPECT_EQ(r.colour, Colour::Grey);
    EXPECT_FALSE(r.borderless);
    EXPECT_EQ(r.quality, KZP_QUALITY_DRAFT);
    EXPECT_EQ(requestFromIpp({}).media, "plain");
}

// A page as cupsfilter renders it from this printer's PPD.
PageHeader cupsPage(uint32_t wPt, uint32_t hPt, uint32_t dpi, const char* media = "plain", uint32_t quality = 2,
                    bool grey = false) {
    PageHeader h;
    h.kind = PageKind::Raster;
    h.format = grey ? PixelFormat::Gray8 : PixelFormat::Rgb8;
    h.grey = grey;
    h.raster.xdpi = h.raster.ydpi = dpi;
    h.raster.pageWidthPt = wPt, h.raster.pageHeightPt = hPt;
    h.width = int32_t((wPt - 28) * dpi / 72), h.height = int32_t((hPt - 28) * dpi / 72);
    h.options.mediaType = media;
    h.options.integers[0] = quality;
    return h;
}

TEST(Settings, CupsPageHeadersGiveThePpdsChoices) {
    PageHeader h = cupsPage(288, 432, 600, "photo", 3);
    h.options.pageSizeName = "4x6.Fullbleed";
    h.options.integers[1] = 3;  // quality dithering
    Resolved r;
    std::string why;
    ASSERT_TRUE(resolveRaster(h, r, why)) << why;
    EXPECT_EQ(r.request.paper, "na_index-4x6_4x6in");
    EXPECT_EQ(r.request.media, "photo");
    EXPECT_EQ(r.request.quality, KZP_QUALITY_HIGH);
    EXPECT_EQ(r.request.dither, KZP_DITHER_QUALITY);
    EXPECT_TRUE(r.request.borderless);
    h.options.integers[2] = 1;  // FinestQuality: the best mode, whatever the quality
    ASSERT_TRUE(resolveRaster(h, r, why)) << why;
    EXPECT_EQ(r.request.quality, KZP_QUALITY_BEST);
    // The paper by its size when the name is not one of ours; roll paper by MediaPosition.
    h = cupsPage(595, 842, 600);
    h.options.pageSizeName = "Custom.595x842";
    h.options.mediaPosition = 1;
    ASSERT_TRUE(resolveRaster(h, r, why)) << why;
    EXPECT_EQ(r.request.paper, "iso_a4_210x297mm");
    EXPECT_TRUE(r.request.roll);
    // Grey pages: black only where a black-only mode exists, else colour inks.
    ASSERT_TRUE(resolveRaster(cupsPage(595, 842, 600, "plain", 2, true), r, why)) << why;
    EXPECT_EQ(r.settings().mono, 1);
    ASSERT_TRUE(resolveRaster(cupsPage(595, 842, 600, "photo", 3, true), r, why)) << why;
    EXPECT_EQ(r.settings().mono, 0);
    EXPECT_TRUE(r.changes.greyInColour);
    // Made without this PPD: the quality whose mode prints at the raster's resolution.
    ASSERT_TRUE(resolveRaster(cupsPage(595, 842, 600, "photo", 0), r, why)) << why;
    EXPECT_EQ(r.request.quality, KZP_QUALITY_HIGH);
    ASSERT_TRUE(resolveRaster(cupsPage(595, 842, 300, "plain", 0), r, why)) << why;
    EXPECT_EQ(r.request.quality, KZP_QUALITY_NORMAL);
}

TEST(Settings, CupsPagesThatCannotPrintAreRefusedWithTheReason) {
    const auto refusal = [](const PageHeader& h) {
        Resolved r;
        std::string why;
        EXPECT_FALSE(resolveRaster(h, r, why));
        return why;
    };
    EXPECT_THAT(refusal(cupsPage(1191, 842, 600)), HasSubstr("wider than the printer"));
    EXPECT_THAT(refusal(cupsPage(500, 500, 600)), HasSubstr("does not take"));
    EXPECT_THAT(refusal(cupsPage(595, 842, 600, "vellum")), HasSubstr("not one this printer knows"));
    PageHeader h = cupsPage(595, 842, 600, "high-only", 3);
    h.options.integers[3] = 1;  // borderless
    EXPECT_THAT(refusal(h), HasSubstr("no print mode"));
    h = cupsPage(595, 842, 600);
    h.options.integers[1] = 9;
    EXPECT_THAT(refusal(h), HasSubstr("dithering"));
    h.options.integers[1] = 0;
    h.options.integers[0] = 70000;
    EXPECT_THAT(refusal(h), HasSubstr("quality 70000"));
}

}  // namespace
