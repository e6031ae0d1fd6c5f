// Whole jobs in which one allocation fails, for every allocation of the job:
// inked pages in several print modes, on cut-sheet and banner paper.
//
// Each call must give its specified code, or the mended one:
//  - OutputOpen: KZ_OPEN_FAILED with the handle left 0;
//  - OutputInitTwo, OutputInitPart: -108, changing nothing, so the call can be
//    made again (a banner job has switched to banner paper by then, and stays
//    refused with -256, as the call order has it);
//  - OutputProduceTwo, OutputFlush: -108 when a scan or a command could not be
//    written (the rest is handed out as usual) or when the hand-out could not
//    be made (nothing handed out; the output follows with the next hand-out);
//    the call is completed as any other;
//  - OutputFormFeed: -108 when a scan of the page's drain could not be made.
// Every hand-out consists of whole, well-formed frames; the job's stream is
// well formed unless its last hand-out was the one lost; a job whose calls
// all succeeded hands out exactly the stream of the job without a fault; and
// after OutputClose no block is left.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command.h"
#include "frame.h"
#include "platform/fault_injection.h"
#include "stream.h"
#include "support/dot_model.h"
#include "support/page_job.h"
#include "support/random_page.h"

namespace {

using kz::test::JobSettings;

// One page's lines, generated once and given again in every run.
struct Page {
    int16_t mono = 0;
    std::vector<RasterInfo> lines;
    std::vector<std::vector<uint8_t>> bytes;  // the pixels the lines point at
};

struct FaultJob {
    const char* name;
    JobSettings settings;
    struct PageSpec {
        int16_t mono;
        int mode;  // the mode the page prints in
        int lines;
        int width;
    };
    std::vector<PageSpec> pages;
};

void PrintTo(const FaultJob& job, std::ostream* os) { *os << job.name; }

JobSettings settingsOf(int16_t media, int16_t quality, int16_t margin, bool banner) {
    JobSettings s;
    s.media = media;
    s.quality = quality;
    s.margin = margin;
    s.banner = banner;
    return s;
}

// Small pages, so that a job takes a few hundred allocations; wide enough
// that a flush hands out more than one output block.  Black-only pages take
// their mode from the page's own settings.
const FaultJob kJobs[] = {
    {"cut_sheet_modes_2_and_12", settingsOf(0, 10, 0, false), {{0, 2, 30, 2000}, {1, 12, 30, 3200}}},
    {"banner_modes_4_and_13", settingsOf(0, 5, 0, true), {{0, 4, 20, 640}, {1, 13, 24, 1600}}},
    {"borderless_mode_15", settingsOf(0, 10, 1, false), {{0, 15, 60, 2400}}},
};

std::vector<Page> preparePages(const FaultJob& job) {
    std::vector<Page> pages;
    for (size_t p = 0; p < job.pages.size(); ++p) {
        const auto& spec = job.pages[p];
        JobSettings s = job.settings;
        s.mono = spec.mono;
        const kz::test::ModeFacts facts = kz::test::modeFacts(s);
        EXPECT_EQ(facts.mode, spec.mode);
        kz::test::PageRecipe recipe;
        recipe.lines = spec.lines;
        recipe.width = spec.width;
        recipe.seed = 500 + p;
        recipe.depth = facts.depth;
        recipe.printable = kz::test::printableLevels(facts);
        recipe.gapPercent = 3;
        recipe.maxGap = 20;
        kz::test::RandomPage source(recipe);
        Page page;
        page.mono = spec.mono;
        for (int y = 0; y < spec.lines; ++y) {
            RasterInfo line{};
            if (!source.line(y, &line)) continue;
            // Keep the pixels: the generator reuses its buffers.
            int entry = 0;
            for (int plane = 0; plane < 7; ++plane) {
                if (facts.depth[plane] == 0) continue;
                PlaneRaster& pr = line.Plane[entry++];
                if (pr.Data == nullptr) continue;
                const size_t size = static_cast<size_t>((pr.Width * facts.depth[plane] + 7) / 8);
                page.bytes.emplace_back(pr.Data, pr.Data + size);
            }
            page.lines.push_back(line);
        }
        // Point the lines at the kept pixels.
        size_t next = 0;
        for (RasterInfo& line : page.lines) {
            for (PlaneRaster& pr : line.Plane) {
                if (pr.Data != nullptr) pr.Data = page.bytes[next++].data();
            }
        }
        pages.push_back(std::move(page));
    }
    return pages;
}

// Every byte of a hand-out belongs to a whole, well-formed frame.
std::string framing(const std::vector<uint8_t>& bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        kzinspect::Frame frame;
        kzinspect::Error error;
        if (!kzinspect::readFrame(bytes, at, frame, error) || !kzinspect::checkBody(frame, error)) {
            return "offset " + std::to_string(error.offset) + ": " + error.message;
        }
        at += frame.size();
    }
    return {};
}

struct JobRun {
    std::vector<uint8_t> stream;
    bool reported = false;     // some call reported a failure
    bool lastLost = false;     // the job's last hand-out could not be made
    bool abandoned = false;    // the job could not be opened or initialised
};

// Runs the job through the public calls, checking each call's result.
JobRun runJob(const FaultJob& job, const std::vector<Page>& pages) {
    JobRun run;
    uint32_t h = 0;
    const int32_t opened = OutputOpen(&h);
    if (opened != KZ_OPEN_OK) {
        EXPECT_EQ(opened, KZ_OPEN_FAILED);
        EXPECT_EQ(h, 0u);
        run.abandoned = true;
        return run;
    }
    PrintInfo info = job.settings.printInfo();
    int32_t r = OutputInitTwo(&h, &info, KZ_PRINTER_MODEL);
    if (r != KZ_OK) {
        EXPECT_EQ(r, KZ_NO_MEMORY) << "OutputInitTwo";
        if (job.settings.banner) {
            EXPECT_EQ(OutputInitTwo(&h, &info, KZ_PRINTER_MODEL), KZ_OUT_OF_ORDER) << "banner switch done";
            OutputClose(&h);
            run.abandoned = true;
            return run;
        }
        EXPECT_EQ(OutputInitTwo(&h, &info, KZ_PRINTER_MODEL), KZ_OK) << "OutputInitTwo again";
    }
    // A producing call and its completion.
    const auto produced = [&](const char* call, int32_t result, uint32_t out) {
        EXPECT_TRUE(result == KZ_OK || result == KZ_NO_MEMORY) << call << " gave " << result;
        EXPECT_TRUE(out != 0 || result == KZ_NO_MEMORY) << call << ": nothing handed out, and success";
        run.reported = run.reported || result != KZ_OK;
        run.lastLost = out == 0;
        if (out != 0) {
            const std::vector<uint8_t> bytes = kz::test::handOutBytes(out);
            const std::string fault = framing(bytes);
            EXPECT_TRUE(fault.empty()) << call << " handed out " << fault;
            run.stream.insert(run.stream.end(), bytes.begin(), bytes.end());
        }
        EXPECT_EQ(OutputComplete(&h), KZ_OK) << "completing " << call;
    };
    for (const Page& page : pages) {
        info.Monochrome = page.mono;
        r = OutputInitPart(&h, &info);
        if (r != KZ_OK) {
            EXPECT_EQ(r, KZ_NO_MEMORY) << "OutputInitPart";
            run.reported = true;
            EXPECT_EQ(OutputInitPart(&h, &info), KZ_OK) << "OutputInitPart again";
        }
        for (const RasterInfo& line : page.lines) {
            uint32_t out = 0;
            r = OutputProduceTwo(&h, &line, &out);
            produced("OutputProduceTwo", r, out);
        }
        if (job.settings.banner) {
            r = OutputFormFeed(&h);
            EXPECT_TRUE(r == KZ_OK || r == KZ_NO_MEMORY) << "OutputFormFeed gave " << r;
            run.reported = run.reported || r != KZ_OK;
            EXPECT_EQ(OutputComplete(&h), KZ_OK) << "completing the form feed";
        } else {
            uint32_t out = 0;
            r = OutputFlush(&h, &out);
            produced("OutputFlush", r, out);
        }
    }
    if (job.settings.banner) {
        uint32_t out = 0;
        r = OutputFlush(&h, &out);
        produced("OutputFlush", r, out);
    }
    OutputClose(&h);
    EXPECT_EQ(h, 0u);
    return run;
}

class JobFaults : public ::testing::TestWithParam<FaultJob> {};

TEST_P(JobFaults, EveryAllocationFailingInTurn) {
    const FaultJob& job = GetParam();
    const std::vector<Page> pages = preparePages(job);
    const int64_t baseline = kz::platform::liveBlocks();
    const uint64_t before = kz::platform::allocationCount();
    const JobRun clean = runJob(job, pages);
    const uint64_t allocations = kz::platform::allocationCount() - before;
    ASSERT_FALSE(clean.reported);
    RecordProperty("allocations", static_cast<int>(allocations));
    ASSERT_EQ(kz::platform::liveBlocks(), baseline);
    const kzinspect::Stream cleanStream = kzinspect::inspect(clean.stream);
    ASSERT_TRUE(cleanStream.ok()) << cleanStream.error->message;

    for (uint64_t n = 1; n <= allocations; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(allocations) + " fails");
        kz::platform::failAllocation(static_cast<uint32_t>(n));
        const JobRun run = runJob(job, pages);
        kz::platform::resetFaults();
        EXPECT_EQ(kz::platform::liveBlocks(), baseline) << "blocks left after OutputClose";
        if (run.abandoned) continue;
        if (!run.reported) {
            EXPECT_TRUE(run.stream == clean.stream) << "a fault no call reported changed the output";
            continue;
        }
        const kzinspect::Stream stream = kzinspect::inspect(run.stream);
        if (run.lastLost) {
            // The stream stops where the lost hand-out would have gone on.
            EXPECT_TRUE(stream.ok() || stream.error->kind == kzinspect::ErrorKind::Incomplete)
                << stream.error->message;
        } else {
            EXPECT_TRUE(stream.ok()) << "offset " << stream.error->offset << ": " << stream.error->message;
        }
        if (::testing::Test::HasFailure()) break;  // one failing allocation tells enough
    }
}

INSTANTIATE_TEST_SUITE_P(Jobs, JobFaults, ::testing::ValuesIn(kJobs),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
