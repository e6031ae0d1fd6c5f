#include <gtest/gtest.h>

#include <cstring>

#include "output/call_order.h"
#include "output/context.h"
#include "platform/fault_injection.h"
#include "support/job.h"

namespace {

using kz::test::letters;
using kz::test::plainPaper;
using kz::test::readOutput;

uint16_t state(uint32_t job) {
    auto* ctx = static_cast<OutputContext*>(KRVSLockHNDL(job));
    return static_cast<StatusRecord*>(KRVSLockHNDL(ctx->StatusHandle))->Status;
}

class Job : public ::testing::Test {
protected:
    void SetUp() override { baseline = kz::platform::liveBlocks(); }
    void TearDown() override {
        kz::platform::resetFaults();
        OutputClose(&job);
        EXPECT_EQ(job, 0u);
        EXPECT_EQ(kz::platform::liveBlocks(), baseline) << "the job left blocks behind";
    }
    void open() { ASSERT_EQ(OutputOpen(&job), KZ_OPEN_OK); }
    void openAndInit(uint16_t banner = 0) {
        open();
        info = plainPaper(banner);
        ASSERT_EQ(OutputInitTwo(&job, &info, KZ_PRINTER_MODEL), KZ_OK);
    }
    int64_t baseline = 0;
    uint32_t job = 0;
    uint32_t out = 0;
    PrintInfo info{};
};

TEST_F(Job, OpenAndClose) {
    EXPECT_EQ(OutputOpen(nullptr), KZ_OPEN_FAILED);
    open();
    EXPECT_NE(job, 0u);
    EXPECT_EQ(state(job), 1);
    OutputClose(&job);
    EXPECT_EQ(job, 0u);
    OutputClose(&job);     // nothing to close
    OutputClose(nullptr);  // no variable
}

TEST_F(Job, UnsupportedCallsAlwaysRefuse) {
    EXPECT_EQ(OutputInit(&job), KZ_UNSUPPORTED);
    EXPECT_EQ(OutputProduce(nullptr, 1, 2), KZ_UNSUPPORTED);
    openAndInit();
    EXPECT_EQ(OutputInit(&job, &info), KZ_UNSUPPORTED);
    EXPECT_EQ(OutputProduce(&job), KZ_UNSUPPORTED);
    EXPECT_EQ(state(job), 2);
}

TEST_F(Job, NoContextGivesNoMemory) {
    uint32_t none = 0;
    EXPECT_EQ(OutputInitTwo(&none, &info, KZ_PRINTER_MODEL), KZ_NO_MEMORY);
    EXPECT_EQ(OutputInitPart(&none, &info), KZ_NO_MEMORY);
    EXPECT_EQ(OutputProduceTwo(&none, nullptr, &out), KZ_NO_MEMORY);
    EXPECT_EQ(OutputFlush(&none, &out), KZ_NO_MEMORY);
    EXPECT_EQ(OutputComplete(&none), KZ_NO_MEMORY);
    EXPECT_EQ(OutputFormFeed(&none), KZ_OK);
    EXPECT_EQ(OutputInitTwo(nullptr, &info, KZ_PRINTER_MODEL), KZ_NO_MEMORY);
}

TEST_F(Job, WrongModelThenRetry) {
    open();
    info = plainPaper();
    EXPECT_EQ(OutputInitTwo(&job, &info, 316), KZ_UNSUPPORTED);
    EXPECT_EQ(state(job), 1);
    EXPECT_EQ(OutputInitTwo(&job, &info, KZ_PRINTER_MODEL), KZ_OK);
    EXPECT_EQ(OutputInitTwo(&job, &info, KZ_PRINTER_MODEL), KZ_OUT_OF_ORDER);
}

TEST_F(Job, BannerSwitchSurvivesAFailedInit) {
    open();
    info = plainPaper(1);
    EXPECT_EQ(OutputInitTwo(&job, &info, 316), KZ_UNSUPPORTED);
    EXPECT_EQ(state(job), 9);
    EXPECT_EQ(OutputInitTwo(&job, &info, KZ_PRINTER_MODEL), KZ_OUT_OF_ORDER);
}

TEST_F(Job, CallsOutOfOrderChangeNothing) {
    open();
    info = plainPaper();
    EXPECT_EQ(OutputInitPart(&job, &info), KZ_OUT_OF_ORDER);
    EXPECT_EQ(OutputFlush(&job, &out), KZ_OUT_OF_ORDER);
    EXPECT_EQ(OutputComplete(&job), KZ_OUT_OF_ORDER);
    EXPECT_EQ(state(job), 1);
    ASSERT_EQ(OutputInitTwo(&job, &info, KZ_PRINTER_MODEL), KZ_OK);
    RasterInfo line{};
    EXPECT_EQ(OutputProduceTwo(&job, &line, &out), KZ_OUT_OF_ORDER);
    EXPECT_EQ(OutputFormFeed(&job), KZ_OK);
    EXPECT_EQ(state(job), 2);
}

TEST_F(Job, PageWithoutModeIsRefused) {
    open();
    info = plainPaper();
    info.PrintQuality = 0;  // plain paper has no mode at this quality
    ASSERT_EQ(OutputInitTwo(&job, &info, KZ_PRINTER_MODEL), KZ_OK);
    EXPECT_EQ(OutputInitPart(&job, &info), KZ_UNSUPPORTED);
    EXPECT_EQ(state(job), 2);
}

TEST_F(Job, BlankPagesOnCutSheet) {
    openAndInit();
    for (int page = 0; page < 3; ++page) {
        ASSERT_EQ(OutputInitPart(&job, &info), KZ_OK);
        EXPECT_EQ(OutputFormFeed(&job), KZ_OK);
        EXPECT_EQ(state(job), 3) << "form feed does nothing on cut-sheet paper";
        ASSERT_EQ(OutputFlush(&job, &out), KZ_OK);
        const auto output = readOutput(out);
        EXPECT_EQ(letters(output.bytes), "HhbrfmN");
        EXPECT_EQ(output.entryCount, 1);
        EXPECT_EQ(OutputFlush(&job, &out), KZ_OUT_OF_ORDER);
        ASSERT_EQ(OutputComplete(&job), KZ_OK);
        EXPECT_EQ(state(job), 2);
    }
}

// Plain paper, standard quality, A4 with margins: the exact bytes of a blank page.
TEST_F(Job, BlankPageBytes) {
    const std::vector<uint8_t> expected = {
        0x1B, 0x28, 0x7A, 0x05, 0x00, 0x24, 0x70, 0x00, 0x00, 0x48,                          // H
        0x1B, 0x28, 0x7A, 0x0C, 0x00, 0x24, 0x70, 0x00, 0x01, 0x68, 0x00, 0x00, 0x00, 0x01,  // h
        0x00, 0x00, 0x00,                                                                    //
        0x1B, 0x28, 0x7A, 0x06, 0x00, 0x24, 0x70, 0x00, 0x01, 0x62, 0x00,                    // b
        0x1B, 0x28, 0x7A, 0x07, 0x00, 0x24, 0x70, 0x00, 0x01, 0x72, 0x80, 0x00,              // r
        0x1B, 0x28, 0x7A, 0x06, 0x00, 0x24, 0x70, 0x00, 0x01, 0x66, 0x00,                    // f
        0x1B, 0x28, 0x7A, 0x08, 0x00, 0x24, 0x70, 0x00, 0x02, 0x6D, 0x00, 0x00, 0x00,        // m
        0x1B, 0x28, 0x7A, 0x05, 0x00, 0x24, 0x70, 0x00, 0x00, 0x4E,                          // N
    };
    for (uint16_t banner : {0, 1}) {
        OutputClose(&job);
        openAndInit(banner);
        ASSERT_EQ(OutputInitPart(&job, &info), KZ_OK);
        if (banner) {
            ASSERT_EQ(OutputFormFeed(&job), KZ_OK);
            ASSERT_EQ(OutputComplete(&job), KZ_OK);
        }
        ASSERT_EQ(OutputFlush(&job, &out), KZ_OK);
        EXPECT_EQ(readOutput(out).bytes, expected) << (banner ? "banner" : "cut-sheet");
        ASSERT_EQ(OutputComplete(&job), KZ_OK);
    }
}

TEST_F(Job, BlankPagesOnBanner) {
    openAndInit(1);
    for (int page = 0; page < 3; ++page) {
        ASSERT_EQ(OutputInitPart(&job, &info), KZ_OK);
        EXPECT_EQ(state(job), 11);
        EXPECT_EQ(OutputFormFeed(&job), KZ_OK);
        EXPECT_EQ(state(job), 15);
        ASSERT_EQ(OutputComplete(&job), KZ_OK);
        EXPECT_EQ(state(job), 10);
    }
    ASSERT_EQ(OutputFlush(&job, &out), KZ_OK);
    EXPECT_EQ(letters(readOutput(out).bytes), "HhbrfmN");
    ASSERT_EQ(OutputComplete(&job), KZ_OK);
    EXPECT_EQ(state(job), 19);
    EXPECT_EQ(OutputInitPart(&job, &info), KZ_OUT_OF_ORDER);
}

TEST_F(Job, BannerFlushWithoutAPageEndsTheJobAsABlankPage) {
    for (bool refusedPage : {false, true}) {
        OutputClose(&job);
        open();
        info = plainPaper(1);
        if (refusedPage) info.PrintQuality = 0;  // no mode: every page is refused
        ASSERT_EQ(OutputInitTwo(&job, &info, KZ_PRINTER_MODEL), KZ_OK);
        if (refusedPage) {
            EXPECT_EQ(OutputInitPart(&job, &info), KZ_UNSUPPORTED);
        }
        ASSERT_EQ(OutputFlush(&job, &out), KZ_OK);
        const auto bytes = readOutput(out).bytes;
        EXPECT_EQ(letters(bytes), "HhbrfmN");
        // "H" 10 bytes, "h" 17, "b" 11, then "r" with the block width 128.
        ASSERT_GE(bytes.size(), 50u);
        EXPECT_EQ(bytes[38 + 9], 'r');
        EXPECT_EQ(bytes[38 + 10], 0x80);
        EXPECT_EQ(bytes[38 + 11], 0x00);
        ASSERT_EQ(OutputComplete(&job), KZ_OK);
        EXPECT_EQ(state(job), 19);
    }
}

TEST_F(Job, NativeSettingIsTakenPerPage) {
    const uint8_t q[] = {0x1B, 0x28, 0x71, 0x01, 0x00, 0x05};
    OutputSystemNode node{0, 0, sizeof q, q, nullptr};
    open();
    info = plainPaper();
    info.OutputSystem = &node;
    ASSERT_EQ(OutputInitTwo(&job, &info, KZ_PRINTER_MODEL), KZ_OK);
    EXPECT_EQ(static_cast<OutputContext*>(KRVSLockHNDL(job))->NativeSetValue, 0);
    ASSERT_EQ(OutputInitPart(&job, &info), KZ_OK);
    ASSERT_EQ(OutputFlush(&job, &out), KZ_OK);
    const auto bytes = readOutput(out).bytes;
    // "H" (10 bytes), "h" (17), then "b" carries the setting.
    ASSERT_GT(bytes.size(), 37u);
    EXPECT_EQ(bytes[27 + 9], 'b');
    EXPECT_EQ(bytes[27 + 10], 0x05);
    ASSERT_EQ(OutputComplete(&job), KZ_OK);
}

TEST_F(Job, CloseInTheMiddleOfAPageReleasesEverything) {
    openAndInit();
    ASSERT_EQ(OutputInitPart(&job, &info), KZ_OK);
    // TearDown closes with the page's raster store still allocated.
}

TEST_F(Job, CloseWithOutputOutstandingReleasesEverything) {
    openAndInit();
    ASSERT_EQ(OutputInitPart(&job, &info), KZ_OK);
    ASSERT_EQ(OutputFlush(&job, &out), KZ_OK);
    // TearDown closes before OutputComplete: the DataList is still handed out.
}

// The hand-out of a line's output cannot be made: the call says so, hands
// nothing out and leaves the call order as it was; the same line given again
// hands that output out, once.
TEST_F(Job, HandOutThatCannotBeMadeIsReportedAndGoesOutWithTheNextOne) {
    openAndInit();
    ASSERT_EQ(OutputInitPart(&job, &info), KZ_OK);
    uint8_t pixels[100];
    std::memset(pixels, 0xFF, sizeof pixels);
    RasterInfo line{};
    for (int p = 0; p < 4; ++p) line.Plane[p] = {pixels, 800, 0, 0, 0};  // mode 1 takes planes 0..3
    kz::platform::failAllocation(1);  // the page starts, and no scan is due: only the DataList is taken
    EXPECT_EQ(OutputProduceTwo(&job, &line, &out), KZ_NO_MEMORY);
    EXPECT_EQ(out, 0u);
    EXPECT_EQ(state(job), 3);
    EXPECT_EQ(OutputComplete(&job), KZ_OUT_OF_ORDER) << "nothing was handed out";
    ASSERT_EQ(OutputProduceTwo(&job, &line, &out), KZ_OK);
    EXPECT_EQ(letters(readOutput(out).bytes), "Hadhbrf") << "the page start goes out now";
    ASSERT_EQ(OutputComplete(&job), KZ_OK);
    line.LineNo = 1;
    ASSERT_EQ(OutputProduceTwo(&job, &line, &out), KZ_OK);
    EXPECT_EQ(letters(readOutput(out).bytes), "");
    ASSERT_EQ(OutputComplete(&job), KZ_OK);
}

// A banner page's last scans wait for the next hand-out; a line refused in
// between does not lose them.
TEST_F(Job, RefusedLineKeepsTheBannerPagesLastScans) {
    openAndInit(1);
    ASSERT_EQ(OutputInitPart(&job, &info), KZ_OK);
    uint8_t pixels[100];
    std::memset(pixels, 0xA5, sizeof pixels);
    RasterInfo line{};
    for (int p = 0; p < 4; ++p) line.Plane[p] = {pixels, 800, 0, 0, 0};
    ASSERT_EQ(OutputProduceTwo(&job, &line, &out), KZ_OK);
    ASSERT_EQ(OutputComplete(&job), KZ_OK);
    ASSERT_EQ(OutputFormFeed(&job), KZ_OK);  // the page's scans are built now
    ASSERT_EQ(OutputComplete(&job), KZ_OK);
    ASSERT_EQ(OutputInitPart(&job, &info), KZ_OK);
    line.Plane[1] = {pixels, 8, 6, 6, 0};  // ends crossed
    EXPECT_EQ(OutputProduceTwo(&job, &line, &out), -1);
    line.Plane[1] = {pixels, 800, 0, 0, 0};
    out = 0;
    ASSERT_EQ(OutputProduceTwo(&job, &line, &out), KZ_OK);
    const std::string handed = letters(readOutput(out).bytes);
    EXPECT_EQ(handed.substr(0, 2), "mo") << "the first page's scan goes out first: " << handed;
    EXPECT_NE(handed.find('H'), std::string::npos);
    ASSERT_EQ(OutputComplete(&job), KZ_OK);
}

// Every allocation of a cut-sheet job of two blank pages, failed in turn:
// each call gives its code, a refused call can be retried, and nothing leaks.
// A flush whose hand-out cannot be made reports it, refuses every call but
// itself, and made again hands the page out: no page is lost.
TEST_F(Job, AllocationFailureAtEveryPoint) {
    const auto runJob = [&](bool* completed) {
        *completed = false;
        std::string handedOut;
        uint32_t j = 0;
        if (OutputOpen(&j) != KZ_OPEN_OK) {
            EXPECT_EQ(j, 0u);
            return;
        }
        PrintInfo settings = plainPaper();
        int32_t r = OutputInitTwo(&j, &settings, KZ_PRINTER_MODEL);
        if (r != KZ_OK) {
            EXPECT_EQ(r, KZ_NO_MEMORY);
            EXPECT_EQ(state(j), 1);
            OutputClose(&j);
            return;
        }
        for (int page = 0; page < 2; ++page) {
            r = OutputInitPart(&j, &settings);
            if (r != KZ_OK) {
                EXPECT_EQ(r, KZ_NO_MEMORY);
                EXPECT_EQ(state(j), 2);
                OutputClose(&j);
                return;
            }
            uint32_t o = 0;
            int32_t flushed = OutputFlush(&j, &o);
            if (o == 0) {
                EXPECT_EQ(flushed, KZ_NO_MEMORY) << "a hand-out that could not be made is reported";
                EXPECT_EQ(state(j), 3);
                EXPECT_EQ(OutputComplete(&j), KZ_OUT_OF_ORDER);
                flushed = OutputFlush(&j, &o);
            }
            EXPECT_EQ(flushed, KZ_OK);
            handedOut += letters(readOutput(o).bytes);
            EXPECT_EQ(OutputComplete(&j), KZ_OK);
        }
        OutputClose(&j);
        EXPECT_EQ(handedOut, "HhbrfmNHhbrfmN");
        *completed = true;
    };
    bool completed = false;
    const auto before = kz::platform::allocationCount();
    runJob(&completed);
    ASSERT_TRUE(completed);
    const auto allocations = kz::platform::allocationCount() - before;
    for (uint32_t n = 1; n <= allocations; ++n) {
        SCOPED_TRACE(n);
        kz::platform::failAllocation(n);
        runJob(&completed);
        kz::platform::resetFaults();
        EXPECT_EQ(kz::platform::liveBlocks(), baseline);
    }
}

}  // namespace
