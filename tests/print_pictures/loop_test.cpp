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
    std::vector<int> done, percents, widths;
};

// Prints `pages` (`copies` times; from a spool when the input cannot be
// read again) on 4x6 plain paper in draft.
Printed print(std::vector<MemoryPage> pages, Copies copies = {}, std::function<bool()> cancelled = {},
              bool reopens = true) {
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
    hooks.pageStarted = [&](int, const PageHeader& page, const Placement&) { run.widths.push_back(page.width); };
    int opened = 0;
    const std::vector<Document> documents = {{[&](std::string&) -> std::unique_ptr<PageSource> {
                                                  if (!reopens && opened++) return nullptr;
                                                  return std::make_unique<MemorySource>(pages);
                                              },
                                              reopens}};
    run.outcome = printDocuments(job, f, documents, copies, {}, hooks, run.pages, run.error);
    EXPECT_EQ(kzp_job_close(job), KZP_OK);
    return run;
}

TEST(PrintLoop, PrintsEveryPageAndCopyAndEndsEveryPageHoweverItsInputEnds) {
    const std::vector<MemoryPage> two = {flat(400, 600, 90), flat(300, 200, 10, PixelFormat::Gray8)};
    Printed run = print(two, {2, true});
    EXPECT_EQ(run.outcome, Outcome::Printed) << run.error;
    EXPECT_EQ(run.pages, 4);
    EXPECT_EQ(run.done, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(run.widths, (std::vector<int>{400, 300, 400, 300}));
    EXPECT_EQ(run.percents.back(), 100);
    kzinspect::Stream stream = kzinspect::inspect(run.bytes);
    ASSERT_TRUE(stream.ok());
    EXPECT_EQ(stream.pages.size(), 4u);
    // Input read once: the copies come from the spool, byte for byte the same.
    const Printed spooled = print(two, {2, true}, {}, false);
    EXPECT_EQ(spooled.outcome, Outcome::Printed) << spooled.error;
    EXPECT_EQ(spooled.bytes, run.bytes);
    // Uncollated: each page its copies in a row, whether the input reopens or not.
    for (const bool reopens : {true, false}) {
        const Printed uncollated = print(two, {3, false}, {}, reopens);
        EXPECT_EQ(uncollated.outcome, Outcome::Printed) << uncollated.error;
        EXPECT_EQ(uncollated.widths, (std::vector<int>{400, 400, 400, 300, 300, 300}));
        EXPECT_EQ(kzinspect::inspect(uncollated.bytes).pages.size(), 6u);
    }

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
    run = print({flat(400, 600, 90), flat(400, 600, 90)}, {}, [&] { return ++asked > 3; });
    EXPECT_EQ(run.outcome, Outcome::Cancelled);
    EXPECT_EQ(run.pages, 0);
    stream = kzinspect::inspect(run.bytes);
    ASSERT_TRUE(stream.ok());
    ASSERT_EQ(stream.pages.size(), 1u);
    EXPECT_TRUE(stream.pages[0].ended);
}

}  // namespace
