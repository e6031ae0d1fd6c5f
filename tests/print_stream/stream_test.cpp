// Pages through the whole pipeline, read back from the printed stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>

#include "print/colour.h"
#include "print/colour_media.h"
#include "print_stream/print_helpers.h"

namespace {

using kzp::test::appendBytes;
using kzp::test::dropsPerPage;
using kzp::test::Printed;
using kzp::test::oneComboPerMode;
using kzp::test::printPages;
using kzp::test::settingsFor;

// Mean drops per input pixel a uniform grey should give, by [black, colours]:
// the separation's amounts, halftoned to their share of the plane's most drops.
std::array<double, 2> targetDrops(const kzp_mode_info& mode, uint8_t grey) {
    std::string error;
    auto separator = kzp::Separator::make(mode, KZP_INPUT_GRAY8, nullptr, &error);
    EXPECT_TRUE(separator) << error;
    uint8_t amounts[7][4] = {};
    uint8_t* out[7] = {};
    for (int p = 0; p < 7; ++p)
        if (mode.bit_depth[p]) out[p] = amounts[p];
    const uint8_t line[4] = {grey, grey, grey, grey};
    separator->line(line, 4, out);
    std::array<double, 2> t{};
    for (int p = 0; p < 7; ++p) {
        if (!mode.bit_depth[p]) continue;
        const int most = *std::max_element(std::begin(mode.drops[p]), std::end(mode.drops[p]));
        t[p == 3 ? 0 : 1] += amounts[p][0] / 255.0 * most * kzp::dotsPerPixel(mode, p);
    }
    return t;
}

// Most drops a pixel can get, by [black, colours].
std::array<double, 2> mostDrops(const kzp_mode_info& mode) {
    std::array<double, 2> most{};
    for (int p = 0; p < 7; ++p)
        if (mode.bit_depth[p])
            most[p == 3 ? 0 : 1] +=
                *std::max_element(std::begin(mode.drops[p]), std::end(mode.drops[p])) * kzp::dotsPerPixel(mode, p);
    return most;
}

// Tone reproduction: each page one uniform grey; the drops read back from the
// stream meet the separation's target within 4 % of full ink, paper white
// fires none, and the page darkens with the input.  Darkness is measured as
// ink cover, black over colour (under-colour removal trades colour drops for
// black ones, so the plain drop count of a mode with black may fall).
TEST(PrintStream, ToneReadBackFromTheStreamFollowsTheTargetInEveryMode) {
    constexpr int32_t kWidth = 256, kHeight = 128;
    const uint8_t greys[] = {255, 224, 160, 96, 32, 0};
    for (const auto& entry : oneComboPerMode()) {
        const int printMode = entry.first;
        const kzp_mode_info& mode = entry.second;
        SCOPED_TRACE("print mode " + std::to_string(printMode));
        const auto printed = printPages(settingsFor(mode), KZP_INPUT_GRAY8, kWidth, kHeight, std::size(greys),
                                        [&](int page, int32_t, std::vector<uint8_t>& line) {
                                            std::fill(line.begin(), line.end(), greys[page]);
                                        });
        const auto drops = dropsPerPage(printed.bytes);
        ASSERT_EQ(drops.size(), std::size(greys));
        const auto full = targetDrops(mode, 0);
        const auto most = mostDrops(mode);
        std::vector<double> darkness;
        for (size_t i = 0; i < std::size(greys); ++i) {
            const auto target = targetDrops(mode, greys[i]);
            double cover[2] = {};
            for (int k = 0; k < 2; ++k) {
                const double mean = double(drops[i][k]) / (kWidth * kHeight);
                EXPECT_NEAR(mean, target[k], 0.04 * std::max(full[k], 1.0))
                    << "grey " << int(greys[i]) << (k ? " colours" : " black");
                cover[k] = most[k] > 0 ? mean / most[k] : 0;
            }
            if (greys[i] == 255) {
                EXPECT_EQ(drops[i][0] + drops[i][1], 0u) << "paper white fires no drop";
            }
            darkness.push_back(cover[0] + (1 - cover[0]) * cover[1]);
            if (i > 0) {
                EXPECT_GE(darkness[i], darkness[i - 1] - 0.01) << "grey " << int(greys[i]) << " prints lighter";
            }
        }
        EXPECT_GT(darkness.back(), darkness[2] + 0.2) << "black is far darker than a light grey";
        EXPECT_GT(darkness[1], 0.0) << "a light grey prints";
    }
}

// Where the mode has black ink: black text prints in black alone, a neutral
// ramp hands its dark end over to black without a step in darkness, and
// colours keep their colour inks, a near-neutral dark colour its cast.
TEST(PrintStream, BlackAndDarkGreysPrintInBlackInkAlone) {
    constexpr int32_t kWidth = 256, kHeight = 64;
    std::vector<std::array<uint8_t, 3>> pages = {{0, 0, 0}};  // text: black strokes on white
    for (int v = 255; v >= 0; v -= 15) pages.push_back({uint8_t(v), uint8_t(v), uint8_t(v)});
    const size_t ramp = 1, red = pages.size(), warm = red + 1;
    pages.push_back({220, 30, 30});
    pages.push_back({80, 68, 50});
    for (const auto& [printMode, mode] : oneComboPerMode()) {
        if (!(mode.planes & 0x08) || !(mode.planes & 0x77)) continue;
        SCOPED_TRACE("print mode " + std::to_string(printMode));
        const kzp::MediaColour& media = kzp::mediaColour(mode.media_code);
        const auto printed = printPages(settingsFor(mode), KZP_INPUT_RGB8, kWidth, kHeight, int(pages.size()),
                                        [&](int page, int32_t y, std::vector<uint8_t>& line) {
                                            for (int32_t x = 0; x < kWidth; ++x) {
                                                const bool paper = page == 0 && (x % 12 >= 5 || y % 16 >= 11);
                                                for (int i = 0; i < 3; ++i)
                                                    line[3 * x + i] = paper ? 255 : pages[page][i];
                                            }
                                        });
        const auto drops = kzp::test::dropsPerInk(printed.bytes);
        ASSERT_EQ(drops.size(), pages.size());
        const auto colour = [&](size_t page) { return drops[page][1] + drops[page][2] + drops[page][3]; };
        EXPECT_GT(drops[0][0], 0u);
        EXPECT_EQ(colour(0), 0u) << "black text";

        const auto most = mostDrops(mode);
        double previous = 0, steepest = 0, mean = 0;
        for (size_t page = ramp; page < red; ++page) {
            const double dark = 1 - pages[page][0] / 255.0;
            // RGB goes through a table with points 255 / 32 apart.
            if (dark >= media.blackAlone + 8 / 255.0) {
                EXPECT_EQ(colour(page), 0u) << "grey " << int(pages[page][0]);
            }
            if (dark <= media.blackStart) {
                EXPECT_EQ(drops[page][0], 0u) << "grey " << int(pages[page][0]);
            }
            const double k = drops[page][0] / (most[0] * kWidth * kHeight);
            const double cmy = colour(page) / (most[1] * kWidth * kHeight);
            const double darkness = k + (1 - k) * cmy;
            if (page > ramp) {
                EXPECT_GT(darkness, previous) << "grey " << int(pages[page][0]);
            }
            steepest = std::max(steepest, darkness - previous);
            mean += (darkness - previous) / (red - ramp - 1);
            previous = darkness;
        }
        EXPECT_LT(steepest, 2 * mean) << "a step in the neutral ramp";

        EXPECT_EQ(drops[red][0], 0u) << "red";
        EXPECT_GT(std::min(drops[red][2], drops[red][3]), 4 * drops[red][1]) << "red";
        EXPECT_GT(drops[warm][0], 0u) << "dark warm grey";
        EXPECT_GT(drops[warm][3], drops[warm][2]) << "dark warm grey keeps its cast";
        EXPECT_GT(drops[warm][2], drops[warm][1]) << "dark warm grey keeps its cast";
    }
}

// Unpacks pixel x of a plane's line.
int levelAt(const PlaneRaster& p, int bits, int x) {
    const int perByte = 8 / bits;
    return (p.Data[x / perByte] >> (8 - bits * (x % perByte + 1))) & ((1 << bits) - 1);
}

TEST(PrintStream, EveryPlaneCarriesOnlyPrintableLevels) {
    constexpr int32_t kWidth = 300, kHeight = 64;
    for (const auto& entry : oneComboPerMode()) {
        const int printMode = entry.first;
        const kzp_mode_info& mode = entry.second;
        SCOPED_TRACE("print mode " + std::to_string(printMode));
        uint64_t pixels = 0;
        bool onlyPrintable = true;
        const auto observer = [&](const RasterInfo& line) {
            int entry = 0;
            for (int p = 0; p < 7; ++p) {
                if (!mode.bit_depth[p]) continue;
                const PlaneRaster& pr = line.Plane[entry++];
                if (!pr.Data) continue;
                for (int x = pr.Left; x < pr.Width - pr.Right; ++x) {
                    const int v = levelAt(pr, mode.bit_depth[p], x);
                    if (v == 0) continue;
                    ++pixels;
                    if (!(mode.levels[p] >> v & 1)) onlyPrintable = false;
                }
            }
        };
        // A colour ramp: every amount of every ink meets every level.
        printPages(
            settingsFor(mode), KZP_INPUT_RGB8, kWidth, kHeight, 1,
            [&](int, int32_t y, std::vector<uint8_t>& line) {
                for (int32_t x = 0; x < kWidth; ++x) {
                    line[3 * x] = uint8_t(x * 255 / (kWidth - 1));
                    line[3 * x + 1] = uint8_t(y * 4);
                    line[3 * x + 2] = uint8_t(255 - x * 255 / (kWidth - 1));
                }
            },
            observer);
        EXPECT_GT(pixels, 1000u);
        EXPECT_TRUE(onlyPrintable);
    }
}

TEST(PrintStream, BorderlessPagesInkEveryEdgeOfTheBleed) {
    kzp_settings s = kzp_settings_default();
    s.paper = "oe_photo-l_3.5x5in";
    s.borderless = 1;
    for (kzp_quality q : {KZP_QUALITY_DRAFT, KZP_QUALITY_HIGH}) {
        s.quality = q;
        kzp_page_format f = kzp_page_format_empty();
        ASSERT_EQ(kzp_resolve(&s, &f, nullptr, 0), KZP_OK);
        int32_t top = INT32_MAX, bottom = -1, left = INT32_MAX, right = -1;
        const auto observer = [&](const RasterInfo& line) {
            for (int e = 0; e < 4; ++e) {
                const PlaneRaster& pr = line.Plane[e];
                if (!pr.Data || pr.Width == pr.Left) continue;
                top = std::min<int32_t>(top, int32_t(line.LineNo));
                bottom = std::max<int32_t>(bottom, int32_t(line.LineNo));
                left = std::min<int32_t>(left, pr.Left);
                right = std::max<int32_t>(right, pr.Width - pr.Right - 1);
            }
        };
        const auto printed = printPages(
            s, KZP_INPUT_RGB8, f.width_px, f.height_px, 1,
            [](int, int32_t, std::vector<uint8_t>& line) { std::fill(line.begin(), line.end(), 40); }, observer);
        EXPECT_EQ(top, 0);
        EXPECT_EQ(bottom, f.height_px - 1);
        EXPECT_EQ(left, 0);
        EXPECT_EQ(right, f.width_px - 1);
        EXPECT_EQ(f.width_px, f.paper_width_px + f.bleed_px[0] + f.bleed_px[1]);
        EXPECT_TRUE(kzinspect::inspect(printed.bytes).ok());
    }
}

TEST(PrintStream, SameInputGivesTheSameBytesOnEverySink) {
    kzp_settings s = kzp_settings_default();
    s.quality = KZP_QUALITY_BEST;
    const auto fill = [](int, int32_t y, std::vector<uint8_t>& line) {
        for (size_t i = 0; i < line.size(); ++i) line[i] = uint8_t((i * 7 + size_t(y) * 3) ^ (i / 3));
    };
    const auto a = printPages(s, KZP_INPUT_RGB8, 400, 200, 2, fill);
    const auto b = printPages(s, KZP_INPUT_RGB8, 400, 200, 2, fill);
    EXPECT_GT(a.bytes.size(), 1000u);
    EXPECT_EQ(a.bytes, b.bytes);

    // The same job to a file descriptor.
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    kzp_sink sink = kzp_sink_fd(fileno(file));
    kzp_job* job = kzp_job_open(&s, &sink, nullptr, 0);
    ASSERT_NE(job, nullptr);
    std::vector<uint8_t> line(400 * 3);
    for (int p = 0; p < 2; ++p) {
        ASSERT_EQ(kzp_job_begin_page(job, KZP_INPUT_RGB8, 400, 200), KZP_OK);
        for (int32_t y = 0; y < 200; ++y) {
            fill(p, y, line);
            ASSERT_EQ(kzp_job_write_line(job, line.data()), KZP_OK);
        }
        ASSERT_EQ(kzp_job_end_page(job), KZP_OK);
    }
    ASSERT_EQ(kzp_job_close(job), KZP_OK);
    std::vector<uint8_t> fromFile(a.bytes.size() + 1);
    std::rewind(file);
    fromFile.resize(std::fread(fromFile.data(), 1, fromFile.size(), file));
    std::fclose(file);
    EXPECT_EQ(fromFile, a.bytes);
}

TEST(PrintStream, RollPagesAndBlankLinesMakeAWellFormedStream) {
    kzp_settings s = kzp_settings_default();
    s.roll = 1;
    s.paper = "na_index-4x6_4x6in";
    // Ink only on every 100th line: the lines between are not sent.
    size_t lines = 0;
    const auto printed = printPages(
        s, KZP_INPUT_GRAY8, 300, 600, 3,
        [](int, int32_t y, std::vector<uint8_t>& line) { std::fill(line.begin(), line.end(), y % 100 ? 255 : 0); },
        [&](const RasterInfo&) { ++lines; });
    EXPECT_EQ(lines, 3u * 6u);
    const kzinspect::Stream stream = kzinspect::inspect(printed.bytes);
    EXPECT_TRUE(stream.ok());
    EXPECT_EQ(stream.pages.size(), 3u);
}

int refuseAfter(void* ctx, const uint8_t*, size_t) {
    int& left = *static_cast<int*>(ctx);
    return left-- > 0 ? 0 : -1;
}

// The job halftones on a thread of its own; KZP_ONE_THREAD runs it on the caller's.
Printed printOnOneThread(const kzp_settings& s, kzp_input input, int32_t width, int32_t height, int pages,
                         const std::function<void(int, int32_t, std::vector<uint8_t>&)>& fill) {
    setenv("KZP_ONE_THREAD", "1", 1);
    Printed r = printPages(s, input, width, height, pages, fill);
    unsetenv("KZP_ONE_THREAD");
    return r;
}

TEST(PrintStream, HalftoningOnItsOwnThreadGivesTheSameBytes) {
    const auto fill = [](int page, int32_t y, std::vector<uint8_t>& line) {
        for (size_t i = 0; i < line.size(); ++i) line[i] = uint8_t((i * 5 + size_t(y) * 11 + size_t(page)) ^ (i / 7));
    };
    for (const auto& [mode, m] : oneComboPerMode()) {
        SCOPED_TRACE(mode);
        const kzp_settings s = settingsFor(m);
        // Taller than the lines in flight, with blank lines that are not sent.
        const auto blanks = [&](int page, int32_t y, std::vector<uint8_t>& line) {
            fill(page, y, line);
            if (y % 40 > 30) std::fill(line.begin(), line.end(), 255);
        };
        const auto threaded = printPages(s, KZP_INPUT_RGB8, 300, 150, 2, blanks);
        EXPECT_GT(threaded.bytes.size(), 1000u);
        EXPECT_EQ(threaded.bytes, printOnOneThread(s, KZP_INPUT_RGB8, 300, 150, 2, blanks).bytes);
    }
    kzp_settings s = kzp_settings_default();
    for (kzp_input input : {KZP_INPUT_GRAY8, KZP_INPUT_CMYK8, KZP_INPUT_BLACK1}) {
        SCOPED_TRACE(int(input));
        EXPECT_EQ(printPages(s, input, 333, 97, 1, fill).bytes, printOnOneThread(s, input, 333, 97, 1, fill).bytes);
    }
}

TEST(PrintStream, ClosingMidPageOrAfterAFailureEndsTheJobCleanly) {
    kzp_settings s = kzp_settings_default();
    std::vector<uint8_t> line(500 * 3, 60);
    // Closed mid-page: the lines written so far are printed, the page ends.
    std::vector<uint8_t> bytes;
    kzp_sink sink = kzp_sink_callback(appendBytes, &bytes);
    kzp_job* job = kzp_job_open(&s, &sink, nullptr, 0);
    ASSERT_NE(job, nullptr);
    ASSERT_EQ(kzp_job_begin_page(job, KZP_INPUT_RGB8, 500, 1000), KZP_OK);
    for (int y = 0; y < 300; ++y) ASSERT_EQ(kzp_job_write_line(job, line.data()), KZP_OK);
    EXPECT_EQ(kzp_job_close(job), KZP_OK);
    const kzinspect::Stream stream = kzinspect::inspect(bytes);
    EXPECT_TRUE(stream.ok());
    EXPECT_EQ(stream.pages.size(), 1u);

    // A page begun and closed at once, and a sink that fails while lines are in
    // flight, closed without ending the page.
    job = kzp_job_open(&s, &sink, nullptr, 0);
    ASSERT_NE(job, nullptr);
    ASSERT_EQ(kzp_job_begin_page(job, KZP_INPUT_RGB8, 500, 1000), KZP_OK);
    EXPECT_EQ(kzp_job_close(job), KZP_OK);
    for (int accepted : {0, 1, 3}) {
        kzp_sink refusing = kzp_sink_callback(refuseAfter, &accepted);
        job = kzp_job_open(&s, &refusing, nullptr, 0);
        ASSERT_NE(job, nullptr);
        ASSERT_EQ(kzp_job_begin_page(job, KZP_INPUT_RGB8, 500, 1000), KZP_OK);
        kzp_status status = KZP_OK;
        for (int y = 0; y < 1000 && status == KZP_OK; ++y) status = kzp_job_write_line(job, line.data());
        EXPECT_EQ(kzp_job_close(job), KZP_ERR_SINK);
    }
}

TEST(PrintStream, FailuresReachTheCallerAndStopTheJob) {
    kzp_settings s = kzp_settings_default();
    int accepted = 1;
    kzp_sink sink = kzp_sink_callback(refuseAfter, &accepted);
    kzp_job* job = kzp_job_open(&s, &sink, nullptr, 0);
    ASSERT_NE(job, nullptr);
    std::vector<uint8_t> line(500 * 3, 0);
    EXPECT_EQ(kzp_job_write_line(job, line.data()), KZP_ERR_ORDER) << "a line before any page";
    kzp_job_close(job);

    job = kzp_job_open(&s, &sink, nullptr, 0);
    ASSERT_NE(job, nullptr);
    ASSERT_EQ(kzp_job_begin_page(job, KZP_INPUT_RGB8, 500, 1000), KZP_OK);
    kzp_status status = KZP_OK;
    for (int y = 0; y < 1000 && status == KZP_OK; ++y) status = kzp_job_write_line(job, line.data());
    if (status == KZP_OK) status = kzp_job_end_page(job);
    EXPECT_EQ(status, KZP_ERR_SINK);
    EXPECT_NE(std::string(kzp_job_message(job)).find("refused"), std::string::npos);
    EXPECT_EQ(kzp_job_write_line(job, line.data()), KZP_ERR_SINK) << "the job stays failed";
    EXPECT_EQ(kzp_job_close(job), KZP_ERR_SINK);

    // A profile that cannot be used is refused when the job opens.
    kzp_settings withProfile = s;
    withProfile.icc_profile = "/nonexistent/paper.icc";
    char why[512];
    EXPECT_EQ(kzp_job_open(&withProfile, &sink, why, sizeof why), nullptr);
    EXPECT_NE(std::string(why).find("paper.icc"), std::string::npos) << why;

    // Pages larger than the printable area are refused.
    job = kzp_job_open(&s, &sink, nullptr, 0);
    const kzp_page_format* f = kzp_job_format(job);
    EXPECT_EQ(kzp_job_begin_page(job, KZP_INPUT_RGB8, f->width_px + 1, 10), KZP_ERR_INPUT);
    EXPECT_NE(std::string(kzp_job_message(job)).find("does not fit"), std::string::npos);
    kzp_job_close(job);
}

}  // namespace
