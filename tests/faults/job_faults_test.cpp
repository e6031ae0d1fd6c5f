// Whole jobs in which one allocation fails, for every allocation of the job:
// inked pages in several print modes, on cut-sheet and banner paper.
//
// Each call must give its specified code, or the mended one:
//  - OutputOpen: KZ_OPEN_FAILED with the handle left 0;
//  - OutputInitTwo, OutputInitPart: -108, changing nothing, so the call can be
//    made again (a banner job has switched to banner paper by then, and stays
//    refused with -256, as the call order has it);
//  - OutputProduceTwo, OutputFlush: -108 with output handed out when a scan
//    could not be written (the rest is handed out; the caller completes the
//    call as any other), or -108 with nothing handed out when the hand-out
//    itself (or the page's start or end) could not be made: the caller makes
//    the same call again, and that call hands the output out;
//  - OutputFormFeed: -108 when a scan of the page's drain could not be made.
// Nothing built is lost: the stream handed out is well formed and has the
// pages of the job without a fault, each ending as there; every scan in it is
// one of that job's scans, byte for byte, in the same order, once, and at the
// same place on the page (a dropped scan's feed goes with the next scan); a
// job whose calls all succeeded hands out exactly the stream of the job
// without a fault; and after OutputClose no block is left.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stream_reader/command.h"
#include "stream_reader/frame.h"
#include "platform/fault_injection.h"
#include "stream_reader/stream.h"
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
    {"cut_sheet_mode_13", settingsOf(0, 5, 0, false), {{1, 13, 30, 3200}}},
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
    // A producing call, made again when it handed nothing out, and its completion.
    const auto produce = [&](const char* call, const auto& make) {
        uint32_t out = 0;
        int32_t result = make(&out);
        if (result == KZ_NO_MEMORY && out == 0) {
            run.reported = true;
            result = make(&out);
        }
        EXPECT_TRUE(result == KZ_OK || result == KZ_NO_MEMORY) << call << " gave " << result;
        ASSERT_NE(out, 0u) << call << " handed nothing out, made twice";
        run.reported = run.reported || result != KZ_OK;
        const std::vector<uint8_t> bytes = kz::test::handOutBytes(out);
        const std::string fault = framing(bytes);
        EXPECT_TRUE(fault.empty()) << call << " handed out " << fault;
        run.stream.insert(run.stream.end(), bytes.begin(), bytes.end());
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
            produce("OutputProduceTwo", [&](uint32_t* out) { return OutputProduceTwo(&h, &line, out); });
        }
        if (job.settings.banner) {
            r = OutputFormFeed(&h);
            EXPECT_TRUE(r == KZ_OK || r == KZ_NO_MEMORY) << "OutputFormFeed gave " << r;
            run.reported = run.reported || r != KZ_OK;
            EXPECT_EQ(OutputComplete(&h), KZ_OK) << "completing the form feed";
        } else {
            produce("OutputFlush", [&](uint32_t* out) { return OutputFlush(&h, out); });
        }
    }
    if (job.settings.banner) produce("OutputFlush", [&](uint32_t* out) { return OutputFlush(&h, out); });
    OutputClose(&h);
    EXPECT_EQ(h, 0u);
    return run;
}

// A scan's own bytes, its feed left out, and where on the page it prints.
struct ScanPrint {
    std::vector<uint8_t> bytes;
    int64_t position;  // the page's feeds up to and including the scan's, half lines
};

// The scans of each page of a well-formed stream.
std::vector<std::vector<ScanPrint>> scansOf(const kzinspect::Stream& stream, const std::vector<uint8_t>& bytes) {
    std::vector<std::vector<ScanPrint>> pages;
    size_t frame = 0;
    for (const kzinspect::Page& page : stream.pages) {
        pages.emplace_back();
        int64_t position = 0;
        for (const kzinspect::Scan& scan : page.scans) {
            if (scan.feed) position += scan.feed->amount;
            while (stream.frames[frame].frame.offset != scan.offset) ++frame;
            size_t end = scan.offset;
            for (; frame < stream.frames.size(); ++frame) {
                const kzinspect::Frame& f = stream.frames[frame].frame;
                if (f.offset != scan.offset && f.letter != 'p' && f.letter != 'i' && f.letter != 's') break;
                end = f.offset + f.size();
            }
            pages.back().push_back({{bytes.begin() + static_cast<long>(scan.offset), bytes.begin() + static_cast<long>(end)},
                                    position});
        }
    }
    return pages;
}

// Every scan of `run` is a scan of `clean`, in the same order and at the same place.
void expectScansOfTheCleanJob(const std::vector<std::vector<ScanPrint>>& clean,
                              const std::vector<std::vector<ScanPrint>>& run) {
    ASSERT_EQ(run.size(), clean.size()) << "pages";
    for (size_t p = 0; p < run.size(); ++p) {
        size_t next = 0;
        for (size_t i = 0; i < run[p].size(); ++i) {
            while (next < clean[p].size() && clean[p][next].bytes != run[p][i].bytes) ++next;
            ASSERT_LT(next, clean[p].size()) << "page " << p << " scan " << i << " is not a scan of the job, or out of order";
            EXPECT_EQ(run[p][i].position, clean[p][next].position) << "page " << p << " scan " << i << " moved";
            ++next;
        }
    }
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
    const auto cleanScans = scansOf(cleanStream, clean.stream);

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
        ASSERT_TRUE(stream.ok()) << "offset " << stream.error->offset << ": " << stream.error->message;
        ASSERT_EQ(stream.pages.size(), cleanStream.pages.size());
        for (size_t p = 0; p < stream.pages.size(); ++p) {
            EXPECT_EQ(stream.pages[p].ended, cleanStream.pages[p].ended) << "page " << p << " ends in 'N'";
        }
        expectScansOfTheCleanJob(cleanScans, scansOf(stream, run.stream));
        if (::testing::Test::HasFailure()) break;  // one failing allocation tells enough
    }
}

INSTANTIATE_TEST_SUITE_P(Jobs, JobFaults, ::testing::ValuesIn(kJobs),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
