// The preview's paper view, against pictures printed through the library in
// every print mode, with margins and borderless, on 4 x 6 in paper: blocks of
// every ink whose edges must land where the picture has them (so the inks
// are in register), and a flat patch over the page's whole height (its top
// edge phase, bottom edge and kick-off) that must preview flat.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "stream_reader/render.h"
#include "support/dot_model.h"
#include "support/page_job.h"

namespace {

using kzinspect::Image;

constexpr int kScale = 5;             // the preview's default
constexpr int kPaperW = 2400, kPaperH = 3600;  // 4 x 6 in at 600 dpi
constexpr int kBleed = 47;
// Blocks: ink k fills columns [200 + 150k, 300 + 150k) in bands of 250 lines
// every 400; edges fall on preview pixel boundaries.
constexpr int kBlockLeft = 200, kBlockWidth = 100, kBlockStep = 150;
constexpr int kBandHeight = 250, kBandStep = 400;
// Flat patches, one per ink (inks multiply, so a patch of all of them would
// not be flat where one ink's dots are): ink k fills columns
// [1000 + 200k, 1150 + 200k) on every line printed.
constexpr int kPatchLeft = 1000, kPatchWidth = 150, kPatchStep = 200;
constexpr int kPatchRight = kPatchLeft + 3 * kPatchStep + kPatchWidth;
// A block's edge lands within one preview pixel of the picture's.
constexpr double kEdgeTolerance = 1.0;
// Every preview row of a patch is within 4% of the patch's median darkness:
// a line printed twice or missed (one of a row's five) is 20%, half lines
// rounded (modes 9, 10) stay below 2%.
constexpr double kFlatTolerance = 0.04;

struct Case {
    const char* name;
    int16_t media, quality, mono, borderless;
    bool everyBuild;  // the sanitizer and 32-bit builds run only these
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

int floorDiv(int a, int b) { return a / b - (a % b != 0 && a < 0 ? 1 : 0); }

bool fullSweep() {
#if defined(NDEBUG) && !defined(__i386__) && !defined(__SANITIZE_ADDRESS__)
    return true;
#else
    return false;
#endif
}

// The picture, in paper pixels: the ink's level (0 or `top`) at (x, y).
int picture(int ink, int x, int y, int callerX, int top, int bandTop) {
    if (x >= kPatchLeft + kPatchStep * ink && x < kPatchLeft + kPatchStep * ink + kPatchWidth) {
        // Half of every line's pixels, as many even as odd ones (draft black
        // prints the even pixels of a line on one row and the odd on the next).
        return top == 1 ? ((callerX / 2) % 2 == 0) : 1;
    }
    const int left = kBlockLeft + kBlockStep * ink;
    if (x < left || x >= left + kBlockWidth || y < bandTop) return 0;
    return (y - bandTop) % kBandStep < kBandHeight ? top : 0;
}

class PaperPage : public kz::test::PageSource {
  public:
    PaperPage(const kz::test::ModeFacts& f, bool borderless) : f_(f), top_(kz::test::printableLevels(f)) {
        fx_ = f.qualityIndex == 0 || f.widened ? 2 : 1;
        // Raster (0, 0) on the paper: the bleed's corner, or the top margin's start.
        x0_ = borderless ? -kBleed : 0;
        y0_ = borderless ? -kBleed : 118;
        // The first band starts inside the top edge phase of a borderless page.
        bandTop_ = borderless ? 40 : 150;
        const int bottom = borderless ? kPaperH + kBleed : kPaperH - 118;
        lines_ = (bottom - y0_) / f.multiplier;
        width_ = (kPatchRight - x0_) / fx_ + 1;
        for (int p = 0; p < 7; ++p)
            if (f.depth[p] != 0) planes_.push_back(p);
        data_.assign(planes_.size(), std::vector<uint8_t>(size_t(width_) * 4 / 8 + 1));
    }
    int lines() const override { return lines_; }
    int bandTop() const { return bandTop_; }
    bool line(int y, RasterInfo* line) override {
        line->LineNo = uint32_t(y);
        for (size_t e = 0; e < planes_.size(); ++e) {
            const int p = planes_[e], depth = f_.depth[p];
            std::vector<uint8_t>& bytes = data_[e];
            std::fill(bytes.begin(), bytes.end(), 0);
            for (int x = 0; x < width_; ++x) {
                const int level = picture(inkOf(p), x * fx_ + x0_, y * f_.multiplier + y0_, x, top_[p], bandTop_);
                const int bit = x * depth;
                bytes[size_t(bit / 8)] |= uint8_t(level << (8 - depth - bit % 8));
            }
            line->Plane[e] = {bytes.data(), uint16_t(width_), 0, 0, 0};
        }
        return true;
    }
    // Ink ids as the stream has them: 0 black, 1 to 3 the colours.
    static int inkOf(int plane) { return plane == 3 ? 0 : plane % 4 + 1; }
    const std::vector<int>& planes() const { return planes_; }

  private:
    kz::test::ModeFacts f_;
    std::array<uint8_t, 7> top_;
    int fx_ = 1, x0_ = 0, y0_ = 0, bandTop_ = 0, lines_ = 0, width_ = 0;
    std::vector<int> planes_;
    std::vector<std::vector<uint8_t>> data_;
};

// How much of an ink's light a preview pixel takes away, 0 to 1, read in the
// channel the ink absorbs most.
double darkness(const Image& image, int ink, int x, int y) {
    const int channel = ink == 2 ? 1 : ink == 3 ? 2 : 0;
    return 1.0 - image.pixel(x, y)[channel] / 255.0;
}

// Where an ink's edge lies near preview pixel `at`, along a row (or down a
// column when `vertical`) through `across`: the block lies on the side
// `inward` points to.  The 8 pixels around `at` count by their share of the
// ink's darkness 6 to 10 pixels inside.
double edge(const Image& image, int ink, int at, int inward, int across, bool vertical) {
    const auto d = [&](int i) { return vertical ? darkness(image, ink, across, i) : darkness(image, ink, i, across); };
    double full = 0;
    for (int i = 6; i < 10; ++i) full += d(at + inward * i) / 4;
    double inked = 0;
    for (int i = at - 4; i < at + 4; ++i) inked += d(i) / full;
    return inward > 0 ? at + 4 - inked : at - 4 + inked;
}

class PaperView : public ::testing::TestWithParam<Case> {};

TEST_P(PaperView, InksInRegisterAndFlatPatches) {
    const Case& c = GetParam();
    if (!c.everyBuild && !fullSweep()) GTEST_SKIP() << "the full sweep runs in the optimised 64-bit build";
    kz::test::JobSettings settings;
    settings.media = c.media;
    settings.quality = c.quality;
    settings.mono = c.mono;
    settings.margin = c.borderless;
    settings.paper = 52;
    const kz::test::ModeFacts facts = kz::test::modeFacts(settings);
    ASSERT_GE(facts.mode, 0);
    PaperPage page(facts, c.borderless != 0);
    const kz::test::JobRun run = kz::test::runJob(settings, {&page});
    ASSERT_EQ(run.failure, KZ_OK) << run.failedCall;

    kzinspect::RenderOptions options;
    options.paper.width = kPaperW;
    options.paper.height = kPaperH;
    std::vector<Image> images;
    std::string error;
    ASSERT_TRUE(kzinspect::renderPages(run.stream, options, images, error)) << error;
    ASSERT_EQ(images.size(), 1u);
    const Image& image = images[0];
    // The preview starts one bleed (rounded out to whole pixels) left of and above the paper.
    const int origin = (kBleed + kScale - 1) / kScale;
    ASSERT_EQ(image.width, kPaperW / kScale + 2 * origin);

    // Blocks: every edge of every ink where the picture put it.
    const int pageBottom = c.borderless ? kPaperH + kBleed : kPaperH - 118;
    for (int p : page.planes()) {
        const int ink = PaperPage::inkOf(p);
        const int left = (kBlockLeft + kBlockStep * ink) / kScale + origin;
        const int right = left + kBlockWidth / kScale, middle = (left + right) / 2;
        const int mid = (page.bandTop() + kBandHeight / 2) / kScale + origin;
        for (int top = page.bandTop(); top + kBandHeight <= pageBottom; top += kBandStep) {
            SCOPED_TRACE(testing::Message() << "ink " << ink << ", band at line " << top);
            const int t = top / kScale + origin, b = t + kBandHeight / kScale;
            EXPECT_NEAR(edge(image, ink, t, 1, middle, true), t, kEdgeTolerance) << "top edge";
            EXPECT_NEAR(edge(image, ink, b, -1, middle, true), b, kEdgeTolerance) << "bottom edge";
            EXPECT_NEAR(edge(image, ink, left, 1, mid, false), left, kEdgeTolerance) << "left edge";
            EXPECT_NEAR(edge(image, ink, right, -1, mid, false), right, kEdgeTolerance) << "right edge";
        }
    }

    // The patches: each preview row's darkness within the tolerance of the
    // patch's median, from the paper's (or the top margin's) top to its bottom.
    const int patchTop = c.borderless ? 0 : 118;
    const int firstRow = -floorDiv(-patchTop, kScale) + origin + 1;
    const int lastRow = floorDiv(c.borderless ? kPaperH : pageBottom, kScale) + origin - 2;
    for (int p : page.planes()) {
        const int ink = PaperPage::inkOf(p);
        const int x0 = (kPatchLeft + kPatchStep * ink) / kScale + origin;
        std::vector<double> rows;
        for (int y = firstRow; y <= lastRow; ++y) {
            double sum = 0;
            for (int x = x0 + 1; x < x0 + kPatchWidth / kScale - 1; ++x) sum += darkness(image, ink, x, y);
            rows.push_back(sum);
        }
        std::vector<double> sorted = rows;
        std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
        const double median = sorted[sorted.size() / 2];
        ASSERT_GT(median, 0) << "ink " << ink;
        int bands = 0;
        for (size_t i = 0; i < rows.size(); ++i) {
            const double off = rows[i] / median - 1;
            if (std::fabs(off) > kFlatTolerance && bands++ < 5)
                ADD_FAILURE() << "ink " << ink << ": patch row " << int(i) + firstRow << " (line "
                              << (int(i) + firstRow - origin) * kScale << ") is " << std::lround(off * 100)
                              << "% off the patch";
        }
        EXPECT_EQ(bands, 0) << "ink " << ink << ": rows of the flat patch darker or lighter than the rest";
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryMode, PaperView,
    ::testing::Values(Case{"mode0_draft", 0, 3, 0, 0, false}, Case{"mode0_borderless", 0, 3, 0, 1, true},
                      Case{"mode1", 0, 15, 0, 0, false}, Case{"mode1_borderless", 0, 15, 0, 1, false},
                      Case{"mode2", 0, 10, 0, 0, false}, Case{"mode3", 7, 10, 0, 0, false},
                      Case{"mode3_borderless", 1, 15, 0, 1, false}, Case{"mode4", 0, 5, 0, 0, false},
                      Case{"mode5", 29, 15, 0, 0, false}, Case{"mode5_borderless", 29, 15, 0, 1, true},
                      Case{"mode6", 15, 10, 0, 0, false}, Case{"mode6_borderless", 15, 10, 0, 1, false},
                      Case{"mode7", 1, 5, 0, 0, false}, Case{"mode7_borderless", 1, 5, 0, 1, false},
                      Case{"mode8_borderless", 0, 5, 0, 1, false}, Case{"mode9", 36, 10, 0, 0, false},
                      Case{"mode9_borderless", 36, 10, 0, 1, false}, Case{"mode10", 26, 0, 0, 0, false},
                      Case{"mode10_borderless", 26, 0, 0, 1, false}, Case{"mode11_draft_black", 0, 3, 1, 0, true},
                      Case{"mode12", 0, 15, 1, 0, false}, Case{"mode12_fine", 0, 10, 1, 0, false},
                      Case{"mode13", 0, 5, 1, 0, false}, Case{"mode15_borderless", 0, 10, 0, 1, false}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
