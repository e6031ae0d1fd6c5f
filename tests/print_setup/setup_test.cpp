// Page setup and the capability query, checked against the driver itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <regex>
#include <set>
#include <string>

#include "kzrqo317/kzrqo317.h"
#include "kzrqo317/print.h"
#include "print/mode_tables.h"

namespace {

// The driver's own answer: does it start a page with these codes?
int32_t driverInitPart(int16_t media, int16_t quality, bool mono, bool borderless, int16_t paper = 3) {
    PrintInfo info{};
    info.MediaType = media;
    info.PrintQuality = quality;
    info.Monochrome = mono;
    info.MarginInfo = borderless;
    info.PaperSize = paper;
    uint32_t job = 0;
    EXPECT_EQ(OutputOpen(&job), KZ_OPEN_OK);
    EXPECT_EQ(OutputInitTwo(&job, &info, KZ_PRINTER_MODEL), KZ_OK);
    const int32_t r = OutputInitPart(&job, &info);
    OutputClose(&job);
    return r;
}

TEST(PrintSetup, ModeTableAgreesWithTheDriverForEveryCode) {
    for (int16_t media : {0, 1, 7, 8, 15, 16, 18, 22, 24, 26, 27, 28, 29, 36, 37, 99})
        for (int16_t quality : {0, 3, 5, 10, 15})
            for (bool mono : {false, true})
                for (bool borderless : {false, true}) {
                    const bool has = kzp::printMode(media, quality, mono, borderless) != kzp::kNoMode;
                    EXPECT_EQ(driverInitPart(media, quality, mono, borderless), has ? KZ_OK : KZ_UNSUPPORTED)
                        << "media " << media << " quality " << quality << " mono " << mono << " borderless "
                        << borderless;
                }
}

TEST(PrintSetup, EveryListedCombinationResolvesAndStartsAPage) {
    const size_t n = kzp_mode_count();
    ASSERT_GT(n, 100u);
    std::set<int> printModes;
    for (size_t i = 0; i < n; ++i) {
        const kzp_mode_info& m = *kzp_mode_at(i);
        kzp_settings s = kzp_settings_default();
        s.paper = m.paper;
        s.media = m.media;
        s.quality = m.quality;
        s.mono = m.mono;
        s.borderless = m.borderless;
        s.roll = m.roll;
        kzp_page_format f = kzp_page_format_empty();
        char why[1024];
        ASSERT_EQ(kzp_resolve(&s, &f, why, sizeof why), KZP_OK) << why;
        EXPECT_EQ(f.mode, &m) << "the format points at the query's own record";
        EXPECT_GT(f.width_px, 0);
        EXPECT_GT(f.height_px, 0);
        EXPECT_LE(f.width_px, 6144 * m.xdpi / 600);
        printModes.insert(m.print_mode);
        if (m.roll == 0 && m.paper_code == 3) {
            EXPECT_EQ(driverInitPart(m.media_code, m.quality_code, m.mono, m.borderless, m.paper_code), KZ_OK);
        }
    }
    // Every mode some setting selects is offered (14 has no setting).
    EXPECT_EQ(printModes, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15}));
}

TEST(PrintSetup, PageSizesAndResolutionsGiveThePapersPhysicalSize) {
    kzp_settings s = kzp_settings_default();
    kzp_page_format f = kzp_page_format_empty();
    // A4 borderless at high quality: 600 dpi, the printer's 4961 x 7016 plus 47 on each side.
    s.borderless = 1;
    s.quality = KZP_QUALITY_HIGH;
    ASSERT_EQ(kzp_resolve(&s, &f, nullptr, 0), KZP_OK);
    EXPECT_EQ(f.mode->print_mode, 15);
    EXPECT_EQ(f.mode->xdpi, 600);
    EXPECT_EQ(f.paper_width_px, 4961);
    EXPECT_EQ(f.paper_height_px, 7016);
    EXPECT_EQ(f.width_px, 4961 + 94);
    EXPECT_EQ(f.left_px, -47);
    // Normal on plain paper: lines and pixels at 300 dpi, margins of 5 mm.
    s.borderless = 0;
    s.quality = KZP_QUALITY_NORMAL;
    s.paper = "na_letter_8.5x11in";
    ASSERT_EQ(kzp_resolve(&s, &f, nullptr, 0), KZP_OK);
    EXPECT_EQ(f.mode->print_mode, 1);
    EXPECT_EQ(f.mode->xdpi, 300);
    EXPECT_EQ(f.mode->ydpi, 300);
    EXPECT_EQ(f.paper_width_px, 2550);
    EXPECT_EQ(f.width_px, 2550 - 2 * 59);
    EXPECT_NEAR(f.mode->margin_um[2], 4995, 1);
    // Sizes without a code print with margins under the fitting code, and say so.
    s.paper = "na_legal_8.5x14in";
    s.quality = KZP_QUALITY_BEST;
    ASSERT_EQ(kzp_resolve(&s, &f, nullptr, 0), KZP_OK);
    EXPECT_EQ(f.mode->paper_code, 1);
    EXPECT_EQ(f.paper_height_px, 8400);
    // A landscape twin wider than the printer prints keeps its right part blank.
    s.paper = "iso_a4-landscape_297x210mm";
    ASSERT_EQ(kzp_resolve(&s, &f, nullptr, 0), KZP_OK);
    EXPECT_EQ(f.left_px + f.width_px, 6144);
    EXPECT_GT(f.mode->margin_um[1], 20000);
    // The photo paper with the extra-dense mode gets it as best.
    s.paper = "na_index-4x6_4x6in";
    s.media = "photo-best";
    ASSERT_EQ(kzp_resolve(&s, &f, nullptr, 0), KZP_OK);
    EXPECT_EQ(f.mode->print_mode, 10);
    EXPECT_EQ(f.mode->quality_code, 0);
    s.media = "code-26";
    ASSERT_EQ(kzp_resolve(&s, &f, nullptr, 0), KZP_OK);
    EXPECT_EQ(f.mode->print_mode, 10);
    // A raw code the tables do not name resolves too, to a record that stays.
    s.paper = "iso_a4_210x297mm";
    s.media = "code-3";
    ASSERT_EQ(kzp_resolve(&s, &f, nullptr, 0), KZP_OK);
    const kzp_mode_info* unlisted = f.mode;
    ASSERT_NE(unlisted, nullptr);
    ASSERT_EQ(kzp_resolve(&s, &f, nullptr, 0), KZP_OK);
    EXPECT_EQ(f.mode, unlisted);
}

TEST(PrintSetup, RefusalsNameWhatIsPossible) {
    kzp_settings s = kzp_settings_default();
    kzp_page_format f = kzp_page_format_empty();
    char why[1024];
    const auto refused = [&](const char* paper, const char* media, kzp_quality q, int mono, int borderless) {
        s.paper = paper;
        s.media = media;
        s.quality = q;
        s.mono = mono;
        s.borderless = borderless;
        EXPECT_EQ(kzp_resolve(&s, &f, why, sizeof why), KZP_ERR_SETTINGS);
        return std::string(why);
    };
    std::string m = refused("iso_a4_210x297mm", "photo", KZP_QUALITY_DRAFT, 0, 0);
    EXPECT_NE(m.find("no draft quality"), std::string::npos) << m;
    EXPECT_NE(m.find("colour with margins: high, best"), std::string::npos) << m;
    EXPECT_NE(m.find("colour borderless: high, best"), std::string::npos) << m;
    m = refused("iso_a4_210x297mm", "plain", KZP_QUALITY_HIGH, 1, 1);
    EXPECT_NE(m.find("black-only with margins: draft, normal, high, best"), std::string::npos) << m;
    m = refused("iso_a4_210x297mm", "normal-best", KZP_QUALITY_NORMAL, 0, 1);
    EXPECT_NE(m.find("no borderless"), std::string::npos) << m;
    EXPECT_EQ(m.find("borderless:"), std::string::npos) << m;
    m = refused("na_legal_8.5x14in", "plain", KZP_QUALITY_NORMAL, 0, 1);
    EXPECT_NE(m.find("colour with margins: draft, normal, high, best"), std::string::npos) << m;
    m = refused("a3", "plain", KZP_QUALITY_NORMAL, 0, 0);
    EXPECT_NE(m.find("iso_a4_210x297mm (a4)"), std::string::npos) << m;
    m = refused("iso_a4_210x297mm", "glossy", KZP_QUALITY_NORMAL, 0, 0);
    EXPECT_NE(m.find("photo-mono"), std::string::npos) << m;
}

// Paper names follow the PWG 5101.1 pattern IPP clients check (ipptool's
// ipp-2.0.test) and name the paper's size; "code-N" is the experts' raw code,
// which front ends leave out.  A renamed size still resolves by its old name.
TEST(PrintSetup, PaperNamesAreSelfDescribingPwgNames) {
    const std::string n = R"(([1-9][0-9]*(\.[0-9]*[1-9])?|0\.[0-9]*[1-9]))";
    const std::regex pwg("(custom|na|asme|roc|oe|roll)_[a-z0-9][-a-z0-9]*_" + n + "x" + n +
                         "in|(custom|iso|jis|jpn|prc|om|roll)_[a-z0-9][-a-z0-9]*_" + n + "x" + n + "mm");
    for (size_t i = 0; const kzp_paper* paper = kzp_paper_at(i); ++i) {
        const std::string name = paper->pwg_name;
        if (name.rfind("code-", 0) == 0) continue;
        EXPECT_TRUE(std::regex_match(name, pwg)) << name;
        double w = 0, h = 0;
        char unit[3] = {};
        ASSERT_EQ(std::sscanf(name.c_str() + name.rfind('_') + 1, "%lfx%lf%2s", &w, &h, unit), 3) << name;
        const double um = std::string(unit) == "in" ? 25400 : 1000;
        EXPECT_NEAR(w * um, paper->width_um, 500) << name;
        EXPECT_NEAR(h * um, paper->height_um, 500) << name;
    }
    kzp_settings s = kzp_settings_default();
    s.paper = "oe_3.5x10in_3.5x10in";
    kzp_page_format f = kzp_page_format_empty();
    ASSERT_EQ(kzp_resolve(&s, &f, nullptr, 0), KZP_OK);
    EXPECT_STREQ(f.mode->paper, "oe_panorama_3.5x10in");
    // Short names, in any case, name one paper each.
    for (const auto& [typed, pwg] : {std::pair{"a4", "iso_a4_210x297mm"}, {"Letter", "na_letter_8.5x11in"},
                                     {"4X6", "na_index-4x6_4x6in"}, {"5x7", "na_5x7_5x7in"}, {"A5", "iso_a5_148x210mm"}}) {
        s.paper = typed;
        ASSERT_EQ(kzp_resolve(&s, &f, nullptr, 0), KZP_OK) << typed;
        EXPECT_STREQ(f.mode->paper, pwg) << typed;
    }
    std::set<std::string> shortNames;
    for (size_t i = 0; const kzp_paper* paper = kzp_paper_at(i); ++i)
        EXPECT_TRUE(!*paper->short_name || shortNames.insert(paper->short_name).second) << paper->short_name;
}

}  // namespace

// Callers built against an older or a newer print.h: the library reads and
// writes only what their struct_size covers.
TEST(PrintSetup, SizedStructsGrowWithoutBreakingCallers) {
    EXPECT_STREQ(kzp_version(), "1.0.0");
    EXPECT_EQ(kzp_paper_at(kzp_paper_count()), nullptr);
    EXPECT_EQ(kzp_media_at(kzp_media_count()), nullptr);
    EXPECT_EQ(kzp_mode_at(kzp_mode_count()), nullptr);

    // A newer caller's settings: the fields this library does not know are zeroed, and ignored.
    struct Newer {
        kzp_settings known;
        int later[4];
    } newer;
    std::memset(&newer, 0xAB, sizeof newer);
    kzp_settings_init(&newer.known, sizeof newer);
    EXPECT_EQ(newer.known.struct_size, sizeof newer);
    EXPECT_EQ(newer.later[3], 0);
    newer.known.quality = KZP_QUALITY_HIGH;
    // A newer caller's page format: written up to this library's size, the rest left alone.
    struct {
        kzp_page_format known;
        int later = 77;
    } format;
    format.known = kzp_page_format_empty();
    format.known.struct_size = sizeof format;
    ASSERT_EQ(kzp_resolve(&newer.known, &format.known, nullptr, 0), KZP_OK);
    EXPECT_EQ(format.known.struct_size, sizeof(kzp_page_format));
    EXPECT_EQ(format.later, 77);
    EXPECT_EQ(format.known.mode->quality, KZP_QUALITY_HIGH);

    // Structs whose size was never set are refused with a reason, not read.
    kzp_settings unset;
    std::memset(&unset, 0, sizeof unset);
    kzp_page_format f = kzp_page_format_empty();
    char why[256];
    EXPECT_EQ(kzp_resolve(&unset, &f, why, sizeof why), KZP_ERR_SETTINGS);
    EXPECT_NE(std::string(why).find("struct_size"), std::string::npos) << why;
    kzp_page_format unsized{};
    const kzp_settings s = kzp_settings_default();
    EXPECT_EQ(kzp_resolve(&s, &unsized, why, sizeof why), KZP_ERR_SETTINGS);
    kzp_sink sink{};
    EXPECT_EQ(kzp_job_open(&s, &sink, why, sizeof why), nullptr);
    EXPECT_NE(std::string(why).find("sink"), std::string::npos) << why;
}
