#include <gtest/gtest.h>

#include <memory>

#include "planning/pass_select.h"
#include "planning/planning.h"

namespace {

constexpr int16_t kPassNum[16] = {1, 1, 2, 2, 8, 4, 6, 6, 8, 12, 16, 1, 1, 4, 1, 2};

// A page of print mode 5 (four passes, nozzles 4..123): feed and deletion
// 62 60 58 60; edge rows 22 40 18 40; kick-off feed 22 0 18 0.
class NozzleClearing : public ::testing::Test {
protected:
    void SetUp() override {
        ctx = std::make_unique<OutputContext>();
        setMode(5);
        scan.ScanNzlNum = 128;
        scan.WindowStart = 4;
        scan.WindowEnd = 123;
    }
    void setMode(uint32_t mode) {
        ctx->PrintMode = mode;
        ctx->PassNum = kPassNum[mode];
        ctx->FirstNzl = mode <= 2 || (mode >= 11 && mode <= 14) ? 0 : 4;
        ctx->LastNzl = 123;
        makeFeedOrder(0x2470, ctx->FeedOrder, mode);
        makeDeleteNzlOrder(ctx->DeleteNzlOrder, mode);
        makeFeedOrderTopBottom(0x2470, ctx->TopFeedOrder, ctx->BottomFeedOrder, ctx->KickOffFeedOrder, mode);
        makeDeleteNzlOrderTopBottom(ctx->TopDeleteNzlOrder, ctx->BottomDeleteNzlOrder,
                                    ctx->KickOffDeleteNzlOrder, mode);
    }
    // Edge position P of the context's page position, half raster lines.
    int32_t edge() const { return 2 * ctx->RasterPos + 256; }

    std::unique_ptr<OutputContext> ctx;
    ScanInfo scan{};
};

TEST_F(NozzleClearing, NormalRuleByMode) {
    struct Case { uint32_t mode; uint16_t passIndex, scanRows; int16_t want; };
    const Case cases[] = {
        {0, 0, 320, 320}, {1, 0, 320, 320}, {11, 0, 320, 320}, {12, 0, 320, 320}, {14, 0, 128, 128},
        {5, 0, 128, 4 + 60 / 2}, {5, 3, 128, 4 + 62 / 2}, {5, 1, 128, 4 + 58 / 2},
        {2, 0, 128, 0 + 122 / 2}, {2, 1, 128, 0 + 118 / 2}, {2, 0, 320, 320},
        {13, 2, 320, 160 / 2},
    };
    for (const Case& c : cases) {
        setMode(c.mode);
        ctx->PassIndex = c.passIndex;
        ctx->FeedIndex = 0;
        scan.ScanNzlNum = c.scanRows;
        EXPECT_EQ(getClearRasterPos(ctx.get(), &scan), c.want) << "mode " << c.mode << " pass " << c.passIndex;
    }
}

TEST_F(NozzleClearing, TopEdgeTakesBackDeletionsWhileInsideTheBand) {
    // r = 123 + 1 - 60 + 40 / 2 = 84, then per step back within the band
    // -(62-22)/2, -(60-40)/2, -(58-18)/2.
    struct Case { int32_t topLimit; int16_t want; };
    for (const Case& c : {Case{240, 84}, Case{239, 64}, Case{140, 54}, Case{0, 34}, Case{-500, 34}}) {
        ctx->RasterPos = 0;  // limit = 2 x (120 + 0)
        ctx->TopLimitPos = c.topLimit;
        EXPECT_EQ(getDelNzl_noEdge_Top(ctx.get()), c.want) << c.topLimit;
    }
    // Through the clear position: only while P <= TopLimitPos + 240.
    ctx->NzlLimitFlags = 1;
    ctx->TopLimitPos = 1000;
    ctx->PassIndex = 1;
    ctx->RasterPos = 0;
    EXPECT_EQ(getClearRasterPos(ctx.get(), &scan), 84);
    ctx->RasterPos = 492;  // P = 1240
    EXPECT_EQ(getClearRasterPos(ctx.get(), &scan), 34);
    ctx->RasterPos = 493;
    EXPECT_EQ(getClearRasterPos(ctx.get(), &scan), 4 + 58 / 2) << "past the top band: the normal rule";
}

TEST_F(NozzleClearing, BottomAndKickOffPositionsGrowWithEdgeScans) {
    ctx->FeedIndex = 0;
    struct Case { uint32_t scans; int16_t bottom; int16_t kickOff; bool done; };
    // Bottom: 4 + 30, then +(62-22)/2, +(60-40)/2, +(58-18)/2, at most three steps.
    // Kick-off (nozzle 0 after its shift): 0 + 20, then +0, +20, +0, +20 ...; done past 40 + 20.
    const Case cases[] = {{0, 34, 20, false}, {1, 54, 20, false}, {2, 64, 40, false}, {3, 84, 40, false},
                          {4, 84, 60, false}, {6, 84, 80, true}};
    for (const Case& c : cases) {
        ctx->EdgeScanCount = c.scans;
        ctx->FirstNzl = 4;
        EXPECT_EQ(getDelNzl_noEdge_Btm(ctx.get()), c.bottom) << c.scans;
        ctx->FirstNzl = 0;
        ctx->KickOffDone = 0;
        EXPECT_EQ(getDelNzl_KickOff(ctx.get()), c.kickOff) << c.scans;
        EXPECT_EQ(ctx->KickOffDone, c.done ? 1u : 0u) << c.scans;
    }
}

TEST_F(NozzleClearing, BottomPhaseBeginsOnlyOnAnOddPass) {
    ctx->NzlLimitFlags = 2;
    ctx->RasterPos = 1000;
    ctx->BottomLimitPos = edge() - 10;
    ctx->EdgeScanCount = 9;
    ctx->PassIndex = 2;
    EXPECT_EQ(getClearRasterPos(ctx.get(), &scan), 4 + 60 / 2) << "even pass: the normal rule";
    EXPECT_EQ(ctx->EdgeScanCount, 9u);
    EXPECT_EQ(ctx->BottomStarted, 0);
    EXPECT_EQ(ctx->BottomLimitPos, edge() - 10);

    ctx->PassIndex = 3;
    ctx->FeedIndex = 3;
    EXPECT_EQ(getClearRasterPos(ctx.get(), &scan), 4 + 62 / 2) << "first bottom scan, no edge scans yet";
    EXPECT_EQ(ctx->BottomStarted, 1);
    EXPECT_EQ(ctx->BottomLimitPos, edge()) << "latched at the starting position";
    EXPECT_EQ(ctx->EdgeScanCount, 0u);

    ctx->PassIndex = 0;  // once started, the pass no longer matters
    ctx->FeedIndex = 0;
    ctx->EdgeScanCount = 1;
    EXPECT_EQ(getClearRasterPos(ctx.get(), &scan), 54);
}

TEST_F(NozzleClearing, BottomShiftAfterABandOfBottomScans) {
    struct Case { uint8_t flags; uint32_t scans; int16_t windowStart; int32_t kickOffAhead; bool shifted; };
    const Case cases[] = {
        {2, 4, 64, 0, true},   {2, 5, 100, 0, true}, {2, 3, 64, 0, false},  // fewer than PassNum scans
        {2, 4, 63, 0, false},                                              // window already high
        {6, 4, 64, 2, true},   {6, 4, 64, 0, false}, {6, 4, 64, -2, false}, // kick-off position reached
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "flags " << int(c.flags) << " scans " << c.scans << " window "
                                          << c.windowStart << " kick-off ahead " << c.kickOffAhead);
        ctx->NzlLimitFlags = c.flags;
        ctx->RasterPos = 2000;
        ctx->BottomStarted = 1;
        ctx->BottomLimitPos = 0;
        ctx->KickOffArmed = 0;
        ctx->KickOffPos = edge() + c.kickOffAhead;
        ctx->EdgeScanCount = c.scans;
        ctx->FeedIndex = 0;
        scan = ScanInfo{};
        scan.ScanNzlNum = 128;
        scan.RasterBase = 2000;
        scan.WindowStart = c.windowStart;
        scan.WindowEnd = 123;
        const int16_t bottom = getDelNzl_noEdge_Btm(ctx.get());
        const int16_t r = getClearRasterPos(ctx.get(), &scan);
        EXPECT_EQ(ctx->RasterPos, 2000) << "the page position never moves with this shift";
        if (c.shifted) {
            EXPECT_EQ(r, bottom - 64);
            EXPECT_EQ(scan.ScanNzlNum, 64);
            EXPECT_EQ(scan.RasterBase, 2064);
            EXPECT_EQ(scan.WindowStart, c.windowStart - 64);
            EXPECT_EQ(scan.WindowEnd, 59);
            EXPECT_EQ(ctx->KickOffArmed, (c.flags & 4) ? 1 : 0);
        } else {
            EXPECT_EQ(r, bottom);
            EXPECT_EQ(scan.ScanNzlNum, 128);
            EXPECT_EQ(scan.RasterBase, 2000);
            EXPECT_EQ(scan.WindowStart, c.windowStart);
            EXPECT_EQ(ctx->KickOffArmed, 0);
        }
    }
}

TEST_F(NozzleClearing, KickOffShiftHappensOnceThenTheKickOffPhaseRuns) {
    ctx->NzlLimitFlags = 7;
    ctx->KickOffArmed = 1;
    ctx->RasterPos = 3000;
    ctx->KickOffPos = edge() - 4;
    ctx->KickOffStartPos = ctx->KickOffPos + 120;
    ctx->FeedIndex = 1;
    scan.RasterBase = 3000;
    scan.WindowStart = 30;
    scan.WindowEnd = 123;

    // At the kick-off position: page and window move by 64 lines, once.
    EXPECT_EQ(getClearRasterPos(ctx.get(), &scan), 0 + 18 / 2);
    EXPECT_EQ(ctx->KickOffShifted, 1);
    EXPECT_EQ(ctx->RasterPos, 3064);
    EXPECT_EQ(scan.RasterBase, 3064);
    EXPECT_EQ(scan.WindowStart, -34);
    EXPECT_EQ(scan.WindowEnd, 59);
    EXPECT_EQ(ctx->FirstNzl, 0);
    EXPECT_EQ(ctx->LastNzl, 119);
    EXPECT_EQ(ctx->KickOffPos, 2 * 3000 + 256);
    EXPECT_EQ(ctx->KickOffStartPos, 2 * 3000 + 256 + 248);

    // The next scan before the kick-off phase: no second shift.
    ctx->FeedIndex = 2;
    ctx->RasterPos += 30;
    scan.RasterBase = ctx->RasterPos;
    EXPECT_EQ(getClearRasterPos(ctx.get(), &scan), 0 + 40 / 2);
    EXPECT_EQ(ctx->RasterPos, 3094);
    EXPECT_EQ(scan.RasterBase, 3094);

    // From the phase start on: the kick-off phase, counted from its first scan.
    ctx->RasterPos = (ctx->KickOffStartPos - 256) / 2 + 1;
    ctx->EdgeScanCount = 7;
    ctx->FeedIndex = 0;
    EXPECT_EQ(getClearRasterPos(ctx.get(), &scan), 20);
    EXPECT_EQ(ctx->KickOffActive, 1u);
    EXPECT_EQ(ctx->KickOffStartPos, edge());
    EXPECT_EQ(ctx->EdgeScanCount, 0u);
    ctx->EdgeScanCount = 6;
    EXPECT_EQ(getClearRasterPos(ctx.get(), &scan), 80);
    EXPECT_EQ(ctx->KickOffDone, 1u);

    // Done: the bottom rule with the edge scans held at PassNum.
    ctx->EdgeScanCount = 1;
    EXPECT_EQ(getClearRasterPos(ctx.get(), &scan), 0 + 30 + 20 + 10 + 20);
    EXPECT_EQ(ctx->EdgeScanCount, 4u);
}

TEST_F(NozzleClearing, KickOffPositionComparesUnsigned) {
    // Without edge limiting the kick-off position is -1: never reached.
    ctx->NzlLimitFlags = 6;
    ctx->KickOffArmed = 1;
    ctx->KickOffPos = -1;
    ctx->KickOffStartPos = 0x7FFFFFFF;
    ctx->RasterPos = 5000;
    ctx->BottomLimitPos = 0x7FFFFFFF;
    ctx->PassIndex = 1;
    EXPECT_EQ(getClearRasterPos(ctx.get(), &scan), 4 + 58 / 2);
    EXPECT_EQ(ctx->KickOffShifted, 0);
}

}  // namespace
