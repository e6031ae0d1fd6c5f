#include <gtest/gtest.h>

#include "planning/planning.h"
#include "scan/scan.h"
#include "support/store_fixture.h"

namespace {

class ScanBuffers : public kz::test::StoreFixture {
protected:
    ScanInfo scan{};
    HVBufferTable hv{};
};

TEST_F(ScanBuffers, RecordDefaultsByMode) {
    struct Case { uint32_t mode; uint16_t nzl, passIndex; uint16_t wantNzl, wantMask; uint32_t wantKind; };
    const Case cases[] = {
        {0, 320, 0, 320, 0, 4}, {1, 320, 0, 320, 0, 4}, {2, 128, 1, 320, 0, 4}, {11, 320, 0, 320, 0, 4},
        {14, 128, 0, 128, 0, 4}, {5, 128, 0, 128, 1, 4}, {13, 320, 2, 320, 1, 4}, {4, 128, 5, 128, 1, 3},
        {8, 128, 4, 128, 1, 2},
    };
    for (const Case& c : cases) {
        ctx->PrintMode = c.mode;
        ctx->NzlNum = c.nzl;
        ctx->PassIndex = c.passIndex;
        ctx->RasterPos = -12;
        ctx->ColorNum = 4;
        hv[3][1] = 99;
        formatScanInfo(ctx, &scan, hv);
        EXPECT_EQ(scan.ScanNzlNum, c.wantNzl) << c.mode;
        EXPECT_EQ(scan.UseMask, c.wantMask) << c.mode;
        EXPECT_EQ(scan.ScanKind, c.wantKind) << c.mode;
        EXPECT_EQ(scan.ScanPassIndex, c.passIndex);
        EXPECT_EQ(scan.ScanParity, c.passIndex);
        EXPECT_EQ(scan.ScanLeft, 5400);
        EXPECT_EQ(scan.ScanRight, 0);
        EXPECT_EQ(scan.WindowStart, 640);
        EXPECT_EQ(scan.WindowEnd, 0);
        EXPECT_EQ(scan.RasterBase, -12);
        EXPECT_EQ(scan.BlockMode, 2u);
        EXPECT_EQ(hv[3][1], 0u);
    }
}

TEST_F(ScanBuffers, DataWindowClasses) {
    layStore({1, 1, 1, 1});
    ctx->PrintMode = 1;
    ctx->FirstNzl = 0;
    ctx->LastNzl = 119;
    ctx->RasterPos = 10;
    formatScanInfo(ctx, &scan, hv);
    EXPECT_EQ(datExistChk(ctx, &scan), 0);
    EXPECT_EQ(scan.WindowStart, 640);
    EXPECT_EQ(scan.WindowEnd, 0);

    storeLine(3, 10 + 7, 0, 2);  // black at row 7
    formatScanInfo(ctx, &scan, hv);
    EXPECT_EQ(datExistChk(ctx, &scan), 1);
    EXPECT_EQ(scan.WindowStart, 7);
    storeLine(1, 10 + 50, 0, 2);  // colour later
    formatScanInfo(ctx, &scan, hv);
    EXPECT_EQ(datExistChk(ctx, &scan), 3);
    EXPECT_EQ(scan.WindowEnd, 50);
    EXPECT_EQ(scan.SlotHasData[1], 1);
    EXPECT_EQ(scan.SlotHasData[3], 1);
    EXPECT_EQ(scan.SlotHasData[0], 0);

    ctx->RasterPos = 10 + 8;  // the black line is now above the window
    formatScanInfo(ctx, &scan, hv);
    EXPECT_EQ(datExistChk(ctx, &scan), 2);
    EXPECT_EQ(scan.WindowStart, 42);
    EXPECT_EQ(datExistChk2(ctx, &scan), 1);
}

TEST_F(ScanBuffers, LinesAboveThePageAreSkipped) {
    layStore({1, 1, 1, 1});
    ctx->PrintMode = 1;
    ctx->LastNzl = 119;
    ctx->RasterPos = -60;
    storeLine(3, 108, 0, 1);  // ring slot 108 is where line -20 (row 40) would wrap to
    storeLine(3, 28, 0, 1);
    formatScanInfo(ctx, &scan, hv);
    EXPECT_EQ(datExistChk(ctx, &scan), 1);
    EXPECT_EQ(scan.WindowStart, 60 + 28) << "only the real line 28 counts";
}

TEST_F(ScanBuffers, OddPassOfPairedModesMapsColoursToUpperSlots) {
    layStore({4, 4, 4, 1});
    ctx->PrintMode = 4;
    ctx->PassIndex = 5;
    ctx->LastNzl = 123;
    ctx->FirstNzl = 4;
    storeLine(0, 20, 0, 1);
    storeLine(3, 21, 0, 1);
    formatScanInfo(ctx, &scan, hv);
    EXPECT_EQ(datExistChk(ctx, &scan), 2) << "black takes no part in an odd pass";
    EXPECT_EQ(scan.SlotHasData[4], 1);
    EXPECT_EQ(scan.SlotHasData[0], 0);
}

TEST_F(ScanBuffers, ExtentByDepthWithColumnOffsets) {
    struct Case { int16_t depth; int16_t left, right; };
    for (const Case c : {Case{1, 88, 128}, Case{2, 72, 96}, Case{4, 64, 80}}) {
        freeOffsetBuffer(ctx);
        layStore({c.depth});
        ctx->PrintMode = 5;
        ctx->QualityIndex = 0;  // offsets are not doubled at quality index 0
        for (auto& parity : ctx->ColorOffsetReg[0]) parity[0] = parity[1] = 256;  // 256 / 4 = 64 pixels
        ctx->RasterPos = 40;
        formatScanInfo(ctx, &scan, hv);
        scan.ScanNzlNum = 2;
        scan.WindowStart = 0;
        scan.SlotHasData[0] = 1;
        storeLine(0, 41, 3, 5);
        getScanWidth(ctx, &scan);
        EXPECT_EQ(scan.ScanLeft, c.left) << c.depth << " bits";
        EXPECT_EQ(scan.ScanRight, c.right) << c.depth << " bits";
        scan.SlotHasData[0] = 0;
        formatScanInfo(ctx, &scan, hv);
        getScanWidth(ctx, &scan);
        EXPECT_EQ(scan.ScanLeft, 5400) << "no slot with data: the sentinels stay";
        EXPECT_EQ(scan.ScanRight, 0);
    }
}

TEST_F(ScanBuffers, AllocationFailureAtEveryBuffer) {
    layStore({2, 2, 2, 1});
    ctx->PrintMode = 3;
    ctx->NzlNum = 128;
    ctx->BlockWidth = 128;
    formatScanInfo(ctx, &scan, hv);
    const auto before = kz::platform::liveBlocks();
    ASSERT_EQ(allocateHVBuffer(ctx, &scan, hv), 0);
    EXPECT_EQ(kz::platform::liveBlocks(), before + 8);
    for (int s = 0; s < 4; ++s) {
        const auto* bytes = static_cast<const uint8_t*>(KRVSLockHNDL(hv[s][1]));
        ASSERT_NE(bytes, nullptr);
        EXPECT_EQ(bytes[128 * 63 * 8 - 1], 0);
    }
    freeScanBuffer(ctx, &scan, hv);
    EXPECT_EQ(kz::platform::liveBlocks(), before);
    for (uint32_t n = 1; n <= 8; ++n) {
        formatScanInfo(ctx, &scan, hv);
        kz::platform::failAllocation(n);
        EXPECT_EQ(allocateHVBuffer(ctx, &scan, hv), -108);
        kz::platform::resetFaults();
        int held = 0;
        for (auto& slot : hv) held += (slot[0] != 0) + (slot[1] != 0);
        EXPECT_EQ(held, static_cast<int>(n) - 1);
        freeScanBuffer(ctx, &scan, hv);
        EXPECT_EQ(kz::platform::liveBlocks(), before);
    }
}

TEST_F(ScanBuffers, PageAdvanceInTwelveAndSixteenPassModes) {
    for (uint32_t mode : {9u, 10u}) {
        ctx->PrintMode = mode;
        ctx->PassNum = mode == 9 ? 12 : 16;
        makeFeedOrder(0x2470, ctx->FeedOrder, mode);
        makeDeleteNzlOrder(ctx->DeleteNzlOrder, mode);
        ctx->RasterPos = 100;
        ctx->FeedIndex = ctx->PassIndex = 0;
        ctx->EdgeScanCount = 0;
        int32_t expected = 100;
        for (int scanNo = 0; scanNo < 2 * ctx->PassNum; ++scanNo) {
            endScanData(ctx, &scan);
            const int i = ctx->FeedIndex;
            if (ctx->FeedOrder[i] != 0) expected += ctx->DeleteNzlOrder[i] / 2;
            EXPECT_EQ(ctx->RasterPos, expected) << mode << " scan " << scanNo;
            EXPECT_EQ(ctx->LineTarget, ctx->DeleteNzlOrder[i] / 2);
            EXPECT_EQ(ctx->LineCount, 0);
        }
        EXPECT_EQ(ctx->RasterPos, 100 + 2 * 120) << "two cycles advance 240 lines";
        EXPECT_EQ(ctx->EdgeScanCount, 2u * ctx->PassNum);
    }
}

TEST_F(ScanBuffers, NarrowModeMovesByTheWholeScan) {
    ctx->PrintMode = 14;
    ctx->RasterPos = 7;
    ctx->LineTarget = 128;
    ctx->PassIndex = ctx->FeedIndex = 1;
    scan.ScanNzlNum = 128;
    endScanData(ctx, &scan);
    EXPECT_EQ(ctx->RasterPos, 135);
    EXPECT_EQ(ctx->PassIndex, 0);
    EXPECT_EQ(ctx->FeedIndex, 0);
    EXPECT_EQ(ctx->LineCount, 0);
}

TEST_F(ScanBuffers, DrainOnlyWithFlagOne) {
    ctx->CurLineNo = 1000;
    ctx->RasterPos = 0;
    EXPECT_EQ(makeRestData(ctx, 0), 0);
    EXPECT_EQ(makeRestData(ctx, 2), 0);
    EXPECT_EQ(ctx->RasterPos, 0);
}

}  // namespace
