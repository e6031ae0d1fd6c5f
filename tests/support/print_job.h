// Runs whole print jobs of the built-in test page through the public calls.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <vector>

#include "support/job.h"
#include "test_page/print_modes.h"
#include "test_page/test_page.h"

namespace kz::test {

struct JobResult {
    std::vector<uint8_t> stream;
    std::array<uint64_t, 7> pixels{};  // inked pixels given, by plane (1-bit planes)
    int32_t firstFailure = KZ_OK;
};

// Prints `pages` test pages in one job and collects everything handed out.
inline JobResult printTestPages(const demo::PrintModeSettings& mode, int pages = 1, bool banner = false,
                                int16_t margin = -1) {
    JobResult r;
    PrintInfo info = demo::printInfoFor(mode, 3, banner ? 1 : 0);
    if (margin >= 0) info.MarginInfo = margin;
    uint32_t job = 0, out = 0;
    const auto take = [&](int32_t result) {
        if (result != KZ_OK && r.firstFailure == KZ_OK) r.firstFailure = result;
        if (result == KZ_OK || result == KZ_NO_MEMORY) {
            const auto bytes = readOutput(out).bytes;
            r.stream.insert(r.stream.end(), bytes.begin(), bytes.end());
            OutputComplete(&job);
        }
    };
    EXPECT_EQ(OutputOpen(&job), KZ_OPEN_OK);
    EXPECT_EQ(OutputInitTwo(&job, &info, KZ_PRINTER_MODEL), KZ_OK);
    const demo::ChartFormat chart = mode.chart();
    demo::TestPage page(chart);
    for (int p = 0; p < pages; ++p) {
        EXPECT_EQ(OutputInitPart(&job, &info), KZ_OK);
        for (int y = 0; y < page.height(); ++y) {
            RasterInfo line;
            if (!page.line(y, &line)) continue;
            int entry = 0;
            for (int plane = 0; plane < 7; ++plane) {
                if (chart.bitDepth[size_t(plane)] == 0) continue;
                const PlaneRaster& pr = line.Plane[entry++];
                if (chart.bitDepth[size_t(plane)] != 1 || pr.Data == nullptr) continue;
                for (int i = 0; i < (pr.Width + 7) / 8; ++i) r.pixels[plane] += std::popcount(pr.Data[i]);
            }
            take(OutputProduceTwo(&job, &line, &out));
        }
        if (banner) {
            EXPECT_EQ(OutputFormFeed(&job), KZ_OK);
            EXPECT_EQ(OutputComplete(&job), KZ_OK);
        } else {
            take(OutputFlush(&job, &out));
        }
    }
    if (banner) take(OutputFlush(&job, &out));
    OutputClose(&job);
    return r;
}

}  // namespace kz::test
