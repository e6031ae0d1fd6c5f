// Colour separation: paper white, greys, black-only, the ink limit, CMYK and
// 1-bit input, and an ICC output profile made here with Little CMS.
#include <gtest/gtest.h>
#include <lcms2.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "print/colour.h"
#include "print/colour_media.h"

namespace {

using kzp::Separator;

kzp_mode_info modeWith(uint8_t printMode, uint8_t planes, int16_t media) {
    kzp_mode_info m{};
    m.print_mode = printMode;
    m.media_code = media;
    m.planes = planes;
    for (int p = 0; p < 7; ++p) m.bit_depth[p] = planes >> p & 1 ? 4 : 0;
    return m;
}
// Colour and black, colour only (planes 0..2 and 4..6), black only.
const kzp_mode_info kCmyk = modeWith(4, 0x0f, 0);
const kzp_mode_info kCmy = modeWith(8, 0x07, 27);
const kzp_mode_info kCmyHigh = modeWith(9, 0x70, 36);
const kzp_mode_info kBlack = modeWith(12, 0x08, 0);

int limitOf(const kzp_mode_info& mode) { return kzp::mediaColour(mode.media_code).inkLimit * 255 / 100; }

// Separates one line; result[p] is plane p's amounts (empty when not printed).
struct Separated {
    std::vector<uint8_t> plane[7];
};
Separated run(Separator& s, const kzp_mode_info& mode, const void* in, int width) {
    Separated r;
    uint8_t* out[7] = {};
    for (int p = 0; p < 7; ++p)
        if (mode.planes >> p & 1) {
            r.plane[p].assign(width, 0xee);
            out[p] = r.plane[p].data();
        }
    s.line(in, width, out);
    return r;
}
Separated rgb(const kzp_mode_info& mode, std::vector<uint8_t> pixels, const char* icc = nullptr) {
    std::string error;
    auto s = Separator::make(mode, KZP_INPUT_RGB8, icc, &error);
    EXPECT_TRUE(s) << error;
    return run(*s, mode, pixels.data(), static_cast<int>(pixels.size() / 3));
}

TEST(Separation, PaperWhiteGetsNoInkFromAnyInput) {
    const uint8_t white[4][8] = {{255, 255, 255, 255}, {255, 255, 255, 255, 255, 255}, {0, 0, 0, 0}, {0}};
    for (const auto& mode : {kCmyk, kCmy, kCmyHigh, kBlack})
        for (kzp_input input : {KZP_INPUT_GRAY8, KZP_INPUT_RGB8, KZP_INPUT_CMYK8, KZP_INPUT_BLACK1}) {
            auto s = Separator::make(mode, input, nullptr, nullptr);
            ASSERT_TRUE(s);
            const Separated r = run(*s, mode, white[input], 2);
            for (int p = 0; p < 7; ++p)
                for (uint8_t v : r.plane[p]) EXPECT_EQ(v, 0) << "plane " << p << " input " << input;
        }
}

// Every print mode the capability query offers: paper white gets no ink, and
// black prints in black ink alone where the mode has it, else on every plane,
// within the media's limit.
TEST(Separation, EveryModeOfTheCapabilityQuery) {
    const size_t count = kzp_mode_count();
    ASSERT_GT(count, 0u);
    std::vector<std::pair<int, int>> done;  // the separation depends on planes and media alone
    for (size_t i = 0; i < count; ++i) {
        const kzp_mode_info& m = *kzp_mode_at(i);
        if (std::find(done.begin(), done.end(), std::pair<int, int>(m.planes, m.media_code)) != done.end()) continue;
        done.emplace_back(m.planes, m.media_code);
        const auto r = rgb(m, {255, 255, 255, 0, 0, 0});
        int sum = 0;
        for (int p = 0; p < 7; ++p) {
            if (!(m.planes >> p & 1)) continue;
            EXPECT_EQ(r.plane[p][0], 0) << "mode " << int(m.print_mode) << " plane " << p;
            EXPECT_EQ(r.plane[p][1] > 0, !(m.planes & 0x08) || p == 3)
                << "mode " << int(m.print_mode) << " plane " << p;
            sum += r.plane[p][1];
        }
        EXPECT_LE(sum, m.planes == 0x08 ? 255 : limitOf(m)) << "mode " << int(m.print_mode);
    }
}

TEST(Separation, GreysAreBalancedAndDarkGreysUseBlack) {
    const auto& media = kzp::mediaColour(0);
    for (int v : {200, 128, 60, 0}) {
        const auto r = rgb(kCmyk, {uint8_t(v), uint8_t(v), uint8_t(v)});
        const int c = r.plane[0][0], m = r.plane[1][0], y = r.plane[2][0], k = r.plane[3][0];
        // Magenta and yellow follow cyan by the media's grey balance.
        EXPECT_NEAR(m, c * media.greyBalance[1], 3) << v;
        EXPECT_NEAR(y, c * media.greyBalance[2], 3) << v;
        EXPECT_TRUE(v > 60 || k > 100) << v << ": black " << k;
        EXPECT_TRUE(v > 0 || k == 255) << "black " << k;
    }
    // Without black ink, grey and black are built from the three colours, on
    // whichever planes carry them.
    for (const auto& mode : {kCmy, kCmyHigh}) {
        const int first = mode.planes & 1 ? 0 : 4;
        const auto r = rgb(mode, {0, 0, 0, 128, 128, 128});
        EXPECT_GT(r.plane[first][0], 200);
        EXPECT_GT(r.plane[first + 1][0], 150);
        EXPECT_GT(r.plane[first + 2][0], 150);
        EXPECT_GT(r.plane[first][1], 0);
        EXPECT_LT(r.plane[first][1], r.plane[first][0]);
    }
    // Black-only modes print every colour as black by its lightness.
    int previous = -1;
    for (int v = 255; v >= 0; v -= 15) {
        const int k = rgb(kBlack, {uint8_t(v), uint8_t(v), uint8_t(v)}).plane[3][0];
        EXPECT_GT(k, previous) << v;
        previous = k;
    }
    EXPECT_EQ(previous, 255);
    EXPECT_GT(rgb(kBlack, {255, 0, 0}).plane[3][0], 100);
}

TEST(Separation, InkLimitHoldsForEveryColour) {
    for (const auto& mode : {kCmyk, kCmy}) {
        std::vector<uint8_t> line;
        for (int r = 0; r < 256; r += 5)
            for (int g = 0; g < 256; g += 5)
                for (int b = 0; b < 256; b += 3) line.insert(line.end(), {uint8_t(r), uint8_t(g), uint8_t(b)});
        const auto out = rgb(mode, line);
        int most = 0;
        for (size_t x = 0; x < line.size() / 3; ++x) {
            int sum = 0;
            for (int p = 0; p < 4; ++p) sum += out.plane[p].empty() ? 0 : out.plane[p][x];
            most = std::max(most, sum);
        }
        EXPECT_LE(most, limitOf(mode));
        EXPECT_GT(most, limitOf(mode) - 8) << "the limit is reached, not undercut";

        // CMYK input at full ink, too.
        const uint8_t full[4] = {255, 255, 255, 255};
        auto s = Separator::make(mode, KZP_INPUT_CMYK8, nullptr, nullptr);
        const auto r = run(*s, mode, full, 1);
        int sum = 0;
        for (int p = 0; p < 4; ++p) sum += r.plane[p].empty() ? 0 : r.plane[p][0];
        EXPECT_LE(sum, limitOf(mode));
    }
}

TEST(Separation, OneBitBlackAndCmykInput) {
    const uint8_t bits[1] = {0xa0};  // pixels 0 and 2 black
    auto s = Separator::make(kCmyk, KZP_INPUT_BLACK1, nullptr, nullptr);
    auto r = run(*s, kCmyk, bits, 4);
    EXPECT_EQ(r.plane[3], (std::vector<uint8_t>{255, 0, 255, 0}));
    EXPECT_EQ(r.plane[0], (std::vector<uint8_t>{0, 0, 0, 0})) << "1-bit black is black ink alone";
    // Pure black ink stays black ink; pure cyan stays cyan; a black of the
    // three colours is the caller's choice and stays theirs.
    const uint8_t cmyk[12] = {0, 0, 0, 255, 255, 0, 0, 0, 255, 255, 255, 0};
    s = Separator::make(kCmyk, KZP_INPUT_CMYK8, nullptr, nullptr);
    r = run(*s, kCmyk, cmyk, 3);
    EXPECT_EQ(r.plane[3][0], 255);
    EXPECT_EQ(r.plane[0][0] + r.plane[1][0] + r.plane[2][0], 0);
    EXPECT_EQ(r.plane[0][1], 255);
    EXPECT_EQ(r.plane[1][1] + r.plane[2][1] + r.plane[3][1], 0);
    EXPECT_EQ(r.plane[3][2], 0);
    EXPECT_GT(std::min({r.plane[0][2], r.plane[1][2], r.plane[2][2]}), 150);
    // Without black ink, black ink becomes the three colours; black-only
    // prints cyan as a grey.
    s = Separator::make(kCmy, KZP_INPUT_CMYK8, nullptr, nullptr);
    r = run(*s, kCmy, cmyk, 2);
    EXPECT_GT(std::min({r.plane[0][0], r.plane[1][0], r.plane[2][0]}), 150);
    s = Separator::make(kBlack, KZP_INPUT_CMYK8, nullptr, nullptr);
    r = run(*s, kBlack, cmyk, 2);
    EXPECT_EQ(r.plane[3][0], 255);
    EXPECT_GT(r.plane[3][1], 30);
    EXPECT_LT(r.plane[3][1], 200);
}

// An output profile whose separation nobody would build in: everything in
// cyan by lightness, nothing else.  A result in cyan alone shows the profile
// was used.
std::string cyanOnlyProfile(const std::string& path) {
    cmsHPROFILE p = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(p, 2.1);
    cmsSetDeviceClass(p, cmsSigOutputClass);
    cmsSetColorSpace(p, cmsSigCmykData);
    cmsSetPCS(p, cmsSigLabData);
    auto toCmyk = [](const cmsUInt16Number in[], cmsUInt16Number out[], void*) -> cmsInt32Number {
        out[0] = static_cast<cmsUInt16Number>(65535 - in[0]);  // L* 0..100 as 0..65535
        out[1] = out[2] = out[3] = 0;
        return 1;
    };
    auto toLab = [](const cmsUInt16Number in[], cmsUInt16Number out[], void*) -> cmsInt32Number {
        out[0] = static_cast<cmsUInt16Number>(65535 - in[0]);
        out[1] = out[2] = 0x8080;
        return 1;
    };
    cmsPipeline* b2a = cmsPipelineAlloc(nullptr, 3, 4);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 9, 3, 4, nullptr);
    cmsStageSampleCLut16bit(clut, toCmyk, nullptr, 0);
    cmsPipelineInsertStage(b2a, cmsAT_END, clut);
    cmsPipeline* a2b = cmsPipelineAlloc(nullptr, 4, 3);
    clut = cmsStageAllocCLut16bit(nullptr, 5, 4, 3, nullptr);
    cmsStageSampleCLut16bit(clut, toLab, nullptr, 0);
    cmsPipelineInsertStage(a2b, cmsAT_END, clut);
    cmsWriteTag(p, cmsSigBToA0Tag, b2a);
    cmsWriteTag(p, cmsSigAToB0Tag, a2b);
    cmsMLU* desc = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(desc, "en", "US", "cyan only");
    cmsWriteTag(p, cmsSigProfileDescriptionTag, desc);
    EXPECT_TRUE(cmsSaveProfileToFile(p, path.c_str()));
    cmsMLUfree(desc);
    cmsPipelineFree(a2b);
    cmsPipelineFree(b2a);
    cmsCloseProfile(p);
    return path;
}

struct TempDir {
    std::string path;
    TempDir() {
        char name[] = "/tmp/kzp_colour_XXXXXX";
        path = mkdtemp(name);
    }
    ~TempDir() { std::system(("rm -rf " + path).c_str()); }
};

TEST(Separation, IccProfileDrivesTheSeparation) {
    TempDir dir;
    const std::string icc = cyanOnlyProfile(dir.path + "/cyan.icc");
    const auto r = rgb(kCmyk, {255, 255, 255, 255, 0, 0, 0, 255, 0, 40, 40, 40}, icc.c_str());
    EXPECT_EQ(r.plane[0][0], 0) << "white";
    for (int x = 1; x < 4; ++x) {
        EXPECT_GT(r.plane[0][x], 10) << x;
        EXPECT_EQ(r.plane[1][x] + r.plane[2][x] + r.plane[3][x], 0) << x;
    }
    EXPECT_GT(r.plane[0][1], r.plane[0][2]) << "red darker than green";
    EXPECT_GT(r.plane[0][3], r.plane[0][1]) << "dark grey darker than red";

    // Profiles that cannot serve: missing, not CMYK.
    std::string error;
    EXPECT_FALSE(Separator::make(kCmyk, KZP_INPUT_RGB8, (dir.path + "/none.icc").c_str(), &error));
    EXPECT_NE(error.find("none.icc"), std::string::npos) << error;
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    const std::string rgbPath = dir.path + "/srgb.icc";
    cmsSaveProfileToFile(srgb, rgbPath.c_str());
    cmsCloseProfile(srgb);
    error.clear();
    EXPECT_FALSE(Separator::make(kCmyk, KZP_INPUT_RGB8, rgbPath.c_str(), &error));
    EXPECT_NE(error.find("CMYK"), std::string::npos) << error;
}

}  // namespace
