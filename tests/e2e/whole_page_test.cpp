#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "render.h"
#include "stream.h"
#include "support/page_job.h"
#include "support/print_job.h"

namespace kz::demo {
// Test names and messages show the mode, not the record's bytes.
inline void PrintTo(const PrintModeSettings& m, std::ostream* os) { *os << "mode " << m.mode; }
}  // namespace kz::demo

namespace {

using kz::demo::kPrintModes;
using kz::demo::PrintModeSettings;

// Ink id of a plane's nozzles: black is ink 0, colours 0..2 (or 4..6) inks 1..3.
int inkOfPlane(int plane) { return plane == 3 ? 0 : plane % 4 + 1; }

// Dots the printer fires for one given pixel of a 1-bit plane: the draft
// qualities print each colour line twice and split black between two lines;
// widened pixels count twice.
uint64_t dotsPerPixel(const PrintModeSettings& m, int plane) {
    return static_cast<uint64_t>(m.xScale) * (plane == 3 ? 1 : m.yScale);
}

class WholePage : public ::testing::TestWithParam<PrintModeSettings> {};

TEST_P(WholePage, StreamIsWellFormedAndOneBitDotsAreConserved) {
    const PrintModeSettings& mode = GetParam();
    const auto job = kz::test::printTestPages(mode);
    ASSERT_EQ(job.firstFailure, KZ_OK);
    const kzinspect::Stream stream = kzinspect::inspect(job.stream);
    ASSERT_TRUE(stream.ok()) << "offset " << stream.error->offset << ": " << stream.error->message;
    ASSERT_EQ(stream.pages.size(), 1u);
    EXPECT_FALSE(stream.pages[0].blank);
    EXPECT_FALSE(stream.pages[0].scans.empty());

    std::array<uint64_t, 4> fired{};
    for (const auto& scan : stream.pages[0].scans) {
        for (const auto& column : scan.columns) fired[column.command.ink] += column.dots;
    }
    for (int plane = 0; plane < 7; ++plane) {
        if (mode.bitDepth[plane] == 0) continue;
        const int ink = inkOfPlane(plane);
        if (mode.bitDepth[plane] == 1) {
            EXPECT_EQ(fired[ink], job.pixels[plane] * dotsPerPixel(mode, plane)) << "plane " << plane;
        } else {
            EXPECT_GT(fired[ink], 0u) << "plane " << plane << " prints";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryMode, WholePage, ::testing::ValuesIn(kPrintModes),
                         [](const auto& info) { return "mode" + std::to_string(info.param.mode); });

TEST(WholeJob, BannerPagesPrintEveryLine) {
    const PrintModeSettings& mode = *kz::demo::findPrintMode(13);
    const auto single = kz::test::printTestPages(mode, 1);
    const auto banner = kz::test::printTestPages(mode, 3, true);
    ASSERT_EQ(banner.firstFailure, KZ_OK);
    const kzinspect::Stream s = kzinspect::inspect(banner.stream);
    ASSERT_TRUE(s.ok()) << s.error->message;
    uint64_t dots = 0;
    for (const auto& page : s.pages)
        for (const auto& scan : page.scans)
            for (const auto& column : scan.columns) dots += column.dots;
    EXPECT_EQ(dots, 3 * single.pixels[3]) << "every page's last lines reach the printer";
}

// Two bands of the same black bar, a long blank stretch apart: the second
// band's dots must land exactly that far below the first's.
class TwoBands : public kz::test::PageSource {
public:
    TwoBands(int gap, int blackEntry) : gap_(gap), entry_(blackEntry) { std::fill(std::begin(bar_), std::end(bar_), 0xFF); }
    int lines() const override { return gap_ + 2 * kBand; }
    bool line(int y, RasterInfo* line) override {
        if (y % gap_ >= kBand) return false;
        line->LineNo = static_cast<uint32_t>(y);
        line->Plane[entry_] = {bar_, 1600, 800, 0, 0};  // pixels 800..1599
        return true;
    }
    static constexpr int kBand = 24;

private:
    int gap_;
    int entry_;
    uint8_t bar_[200];
};

void expectSecondBandShifted(const kz::test::JobSettings& settings, int blackEntry) {
    constexpr int kGap = 40000;
    TwoBands page(kGap, blackEntry);
    const kz::test::JobRun run = kz::test::runJob(settings, {&page});
    ASSERT_EQ(run.failure, KZ_OK) << run.failedCall;
    const kzinspect::Stream stream = kzinspect::inspect(run.stream);
    ASSERT_TRUE(stream.ok()) << stream.error->message;
    int splitFeeds = 0;
    for (const auto& scan : stream.pages[0].scans) splitFeeds += scan.feed && scan.feed->commands > 1 ? 1 : 0;
    EXPECT_GT(splitFeeds, 0) << "the stretch is longer than one feed command carries";

    std::vector<kzinspect::Dot> first, second;
    kzinspect::forEachDot(stream, 0, [&](const kzinspect::Dot& d) { (d.line < kGap / 2 ? first : second).push_back(d); });
    ASSERT_FALSE(first.empty());
    for (auto& d : first) d.line += kGap;
    const auto order = [](const kzinspect::Dot& a, const kzinspect::Dot& b) {
        return std::tie(a.line, a.column, a.ink) < std::tie(b.line, b.column, b.ink);
    };
    std::sort(first.begin(), first.end(), order);
    std::sort(second.begin(), second.end(), order);
    ASSERT_FALSE(second.empty()) << "the band after the stretch prints above it";
    EXPECT_TRUE(first == second) << "the band after the stretch prints " << second[0].line - first[0].line
                                 << " lines from its place";
}

TEST(LongBlankStretch, CutSheetPagePrintsEveryLineAtItsPlace) {
    kz::test::JobSettings settings;  // mode 13
    settings.quality = 5;
    settings.mono = 1;
    expectSecondBandShifted(settings, 0);
}

TEST(LongBlankStretch, BannerPagePrintsEveryLineAtItsPlace) {
    kz::test::JobSettings settings;  // mode 4, black only
    settings.quality = 5;
    settings.banner = true;
    expectSecondBandShifted(settings, 3);
}

}  // namespace
