#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "stream_reader/render.h"
#include "stream_reader/stream.h"
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

// Dots the printer fires for one given pixel of a 1-bit plane.
uint64_t dotsPerPixel(const PrintModeSettings& m, int plane) {
    return static_cast<uint64_t>(kzp::dotsPerPixel(m.mediaType, m.printQuality, plane));
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
        if (mode.chart().bitDepth[size_t(plane)] == 0) continue;
        const int ink = inkOfPlane(plane);
        if (mode.chart().bitDepth[size_t(plane)] == 1) {
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

// A band of inked lines ending at the largest line number a page takes, in
// every mode: the page prints and ends (the sanitizer build checks that no
// position derived from these numbers overflows), and one more is refused.
TEST_P(WholePage, LargestLineNumbersPrint) {
    const PrintModeSettings& mode = GetParam();
    PrintInfo info{};
    info.MediaType = mode.mediaType;
    info.PrintQuality = mode.printQuality;
    info.MarginInfo = mode.marginInfo;
    info.Monochrome = mode.monochrome;
    info.PaperSize = 3;
    uint32_t job = 0, out = 0;
    ASSERT_EQ(OutputOpen(&job), KZ_OPEN_OK);
    ASSERT_EQ(OutputInitTwo(&job, &info, KZ_PRINTER_MODEL), KZ_OK);
    ASSERT_EQ(OutputInitPart(&job, &info), KZ_OK);
    std::vector<uint8_t> stream;
    const auto take = [&](int32_t result) {
        ASSERT_EQ(result, KZ_OK);
        const auto bytes = kz::test::handOutBytes(out);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
        ASSERT_EQ(OutputComplete(&job), KZ_OK);
    };
    uint8_t bar[400];
    std::fill(std::begin(bar), std::end(bar), 0x5A);
    RasterInfo line{};
    int entry = 0;
    for (int plane = 0; plane < 7; ++plane) {
        if (mode.chart().bitDepth[size_t(plane)] != 0) line.Plane[entry++] = {bar, 800, 0, 0, 0};
    }
    const uint32_t top = KZ_MAX_PAGE_LINE / static_cast<uint32_t>(mode.chart().yScale);
    for (uint32_t y = top - 40; y <= top; y += 2) {
        line.LineNo = y;
        take(OutputProduceTwo(&job, &line, &out));
    }
    line.LineNo = top + 1;
    EXPECT_EQ(OutputProduceTwo(&job, &line, &out), KZ_UNSUPPORTED);
    take(OutputFlush(&job, &out));
    OutputClose(&job);
    const kzinspect::Stream s = kzinspect::inspect(stream);
    ASSERT_TRUE(s.ok()) << s.error->message;
    ASSERT_EQ(s.pages.size(), 1u);
    EXPECT_TRUE(s.pages[0].ended);
    EXPECT_FALSE(s.pages[0].scans.empty());
}

}  // namespace
