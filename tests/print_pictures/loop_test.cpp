// The strip loop: pages into a job, every page ended however its input ends.
#include "frontend/print_loop.h"

#include <gtest/gtest.h>

#include "pages.h"
#include "stream_reader/stream.h"

namespace {

using namespace kzfront;
using namespace kzfront::test;

int append(void* ctx, const uint8_t* bytes, size_t size) {
    static_cast<std::vector<uint8_t>*>(ctx)->insert(static_cast<std::vector<uint8_t>*>(ctx)->end(), bytes, bytes + size);
    return 0;
}

struct Printed {
    Outcome outcome;
    int pages = 0;
    std::string error;
    std::vector<uint8_t> bytes;
    std::vector<int> done, percents;
};

// Prints `pages` (twice with `copies` 2) on 4x6 plain paper in draft.
Printed print(std::vector<MemoryPage> pages, int copies = 1, std::function<bool()> cancelled = {}) {
    Printed run;
    kzp_settings s = kzp_settings_default();
    s.paper = "na_index-4x6_4x6in";
    s.quality = KZP_QUALITY_DRAFT;
    kzp_page_format f = kzp_page_format_empty();
    EXPECT_EQ(kzp_resolve(&s, &f, nullptr, 0), KZP_OK);
    kzp_sink sink = kzp_sink_callback(append, &run.bytes);
    kzp_job* job = kzp_job_open(&s, &sink, nullptr, 0);
    LoopHooks hooks;
    hooks.cancelled = std::move(cancelled);
    hooks.pageDone = [&](int page) { run.done.push_back(page); };
    hooks.progress = [&](int, int percent) { run.percents.push_back(percent); };
    const std::vector<Opener> documents = {[&](std::string&) { return std::make_unique<MemorySource>(pages); }};
    run.outcome = printDocuments(job, f, documents, copies, {}, hooks, run.pages, run.error);
    EXPECT_EQ(kzp_job_close(job), KZP_OK);
    return run;
}

TEST(PrintLoop, PrintsEveryPageAndCopyAndEndsEveryPageHoweverItsInputEnds) {
    Printed run = print({flat(400, 600, 90), flat(300, 200, 10, PixelFormat::Gray8)}, 2);
    EXPECT_EQ(run.outcome, Outcome::Printed) << run.error;
    EXPECT_EQ(run.pages, 4);
    EXPECT_EQ(run.done, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(run.percents.back(), 100);
    kzinspect::Stream stream = kzinspect::inspect(run.bytes);
    ASSERT_TRUE(stream.ok());
    EXPECT_EQ(stream.pages.size(), 4u);

    // Input that breaks off in the middle of the second page: the loop fails
    // with the input's words, and that page still ends in the stream.
    MemoryPage cut = flat(400, 600, 90);
    cut.stopAfter = 250;
    run = print({flat(400, 600, 90), cut, flat(400, 600, 90)});
    EXPECT_EQ(run.outcome, Outcome::Failed);
    EXPECT_EQ(run.error, "memory: the page ends at row 250");
    EXPECT_EQ(run.pages, 1);
    stream = kzinspect::inspect(run.bytes);
    ASSERT_TRUE(stream.ok());
    ASSERT_EQ(stream.pages.size(), 2u);
    EXPECT_TRUE(stream.pages[1].ended);

    // Cancelled in the middle of the first page: it ends, nothing follows.
    int asked = 0;
    run = print({flat(400, 600, 90), flat(400, 600, 90)}, 1, [&] { return ++asked > 3; });
    EXPECT_EQ(run.outcome, Outcome::Cancelled);
    EXPECT_EQ(run.pages, 0);
    stream = kzinspect::inspect(run.bytes);
    ASSERT_TRUE(stream.ok());
    ASSERT_EQ(stream.pages.size(), 1u);
    EXPECT_TRUE(stream.pages[0].ended);
}

}  // namespace
