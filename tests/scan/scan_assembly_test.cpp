#include <gtest/gtest.h>

#include "scan/scan.h"
#include "support/job_fixture.h"

namespace {

using kz::test::settings;

class Assembly : public kz::test::JobFixture {
protected:
    // A page set up, its output chain ready as inside a producing call.
    void start(const PrintInfo& info) {
        JobFixture::start(info);
        FormatBufList(ctx());
    }
    // Marks page line `line` of plane p as holding one stored byte.
    void ink(int p, int32_t line) {
        if (ctx()->BitDepth[p] == 0) return;  // the mode does not print this plane
        const int32_t slot = line % ctx()->RingLines[p];
        LineRecord& r = ctx()->Band[p][slot / 8].Line[slot % 8];
        r.FirstByte = 0;
        kz::setLineBytes(ctx(), &r, 1);
    }
    ScanInfo scan{};
    HVBufferTable hv{};
};

TEST_F(Assembly, SinglePassLeadingBlankLines) {
    start(settings(0, 15));  // mode 1
    OutputContext* c = ctx();
    c->RasterPos = 1000;
    c->FeedAmount = 0;
    ink(3, 1040);
    formatScanInfo(c, &scan, hv);
    EXPECT_EQ(makeOutData_1(c, &scan), 0);
    EXPECT_EQ(c->FeedAmount, 80);
    EXPECT_EQ(c->RasterPos, 1040);
    EXPECT_EQ(c->LineTarget, 40);
    EXPECT_EQ(c->LineCount, 0);
}

TEST_F(Assembly, SinglePassEmptyBandAdvancesByTheHead) {
    start(settings(0, 15));
    OutputContext* c = ctx();
    c->RasterPos = 2000;
    c->FeedAmount = 0;
    formatScanInfo(c, &scan, hv);
    EXPECT_EQ(ModeChk_1(c, &scan), 0);
    formatScanInfo(c, &scan, hv);
    EXPECT_EQ(makeOutData_1(c, &scan), 0);
    EXPECT_EQ(c->RasterPos, 2320);
    EXPECT_EQ(c->FeedAmount, 640);
}

TEST_F(Assembly, SinglePassColourStartingDeep) {
    start(settings(0, 15));
    OutputContext* c = ctx();
    c->RasterPos = 3000;
    ink(3, 3000);
    ink(0, 3300);
    formatScanInfo(c, &scan, hv);
    EXPECT_EQ(ModeChk_1(c, &scan), 2);
    EXPECT_EQ(scan.ShiftNzl, 172);
    EXPECT_EQ(scan.SlotHasData[3], 1);
    EXPECT_EQ(scan.SlotHasData[0], 0) << "colour below row 127 is not in this scan's colour rows";
    formatScanInfo(c, &scan, hv);
    c->FeedAmount = 0;
    makeOutData_1(c, &scan);
    EXPECT_EQ(scan.WindowStart, 148);
    EXPECT_EQ(scan.WindowEnd, 319);
    EXPECT_EQ(scan.RasterBase, 3000 - 148);
    EXPECT_EQ(c->RasterPos, 3000 - 148 + 320);
    EXPECT_EQ(c->LineTarget, 172);
}

TEST_F(Assembly, SinglePassClasses) {
    struct Case { std::vector<std::pair<int, int>> lines; int16_t kind; };
    const Case cases[] = {
        {{{3, 0}}, 3},
        {{{3, 0}, {1, 100}}, 1},
        {{{1, 0}, {3, 200}}, 1},
        {{}, 0},
    };
    for (const Case& k : cases) {
        OutputClose(&job);
        start(settings(0, 15));
        ctx()->RasterPos = 500;
        for (auto [p, i] : k.lines) ink(p, 500 + i);
        formatScanInfo(ctx(), &scan, hv);
        EXPECT_EQ(ModeChk_1(ctx(), &scan), k.kind);
    }
}

TEST_F(Assembly, ModeTwoBlackBandAtTheTop) {
    start(settings(0, 10));  // mode 2
    OutputContext* c = ctx();
    c->RasterPos = 400;
    c->PassIndex = 0;
    ink(3, 400);
    ink(3, 430);
    formatScanInfo(c, &scan, hv);
    EXPECT_EQ(ModeChk_2(c, &scan), 4);
    formatScanInfo(c, &scan, hv);
    const int32_t before = c->RasterPos;
    makeOutData_2(c, &scan);
    EXPECT_EQ(scan.ScanNzlNum, 320);
    EXPECT_EQ(scan.UseMask, 0);
    EXPECT_EQ(c->RasterPos, before + 320 - 118 / 2 - 5);
    EXPECT_EQ(c->LineTarget, c->RasterPos - before);
    EXPECT_EQ(c->PassIndex, 0);
}

TEST_F(Assembly, ModeTwoColourBandBelowTheWindowSkipsItsPass) {
    start(settings(0, 10));
    OutputContext* c = ctx();
    c->RasterPos = 400;
    c->PassIndex = 1;
    ink(0, 400 + 200);  // colour, but beyond the colour rows of this pass
    formatScanInfo(c, &scan, hv);
    EXPECT_EQ(ModeChk_2(c, &scan), 1);
    formatScanInfo(c, &scan, hv);
    c->FeedAmount = 0;
    makeOutData_2(c, &scan);
    EXPECT_EQ(c->PassIndex, 0);
    EXPECT_EQ(c->RasterPos, 400 + 122 / 2 + 5);
    EXPECT_EQ(c->FeedAmount, 122 + 10);
}

TEST_F(Assembly, FixedDirectionModeKeepsItsDirection) {
    start(settings(7, 5, 0, 1));  // media index 1, quality index 3, black only: mode 13, one direction
    OutputContext* c = ctx();
    ASSERT_EQ(c->PrintMode, 13u);
    ASSERT_EQ(c->Direction, 1u);
    c->RasterPos = 0;
    for (int i = 0; i < 300; ++i) ink(3, i);
    for (int k = 0; k < 6; ++k) {
        makeOutData(c);
        EXPECT_EQ(c->ScanDir, 0);
    }
}

TEST_F(Assembly, EmptyGeneralScanStillFeedsAndAdvances) {
    start(settings(29, 15));  // mode 5
    OutputContext* c = ctx();
    c->RasterPos = 100;
    c->FeedAmount = 0;
    c->FeedIndex = c->PassIndex = 0;
    EXPECT_EQ(makeOutData(c), 0);
    EXPECT_EQ(c->FeedAmount, 62) << "the skipped scan's feed";
    EXPECT_EQ(c->PassIndex, 1);
    EXPECT_EQ(c->RasterPos, 100 + 60 / 2);
    EXPECT_EQ(c->LineTarget, 30);
}

// The bottom-edge and kick-off phases move with the page position: a scan
// position with nothing to print takes the same step through them as one with
// ink (below the 64 rows a bottom-phase scan gives up), so a blank stretch
// neither skips the kick-off shift nor stretches the kick-off phase's short
// feeds until the store runs a ring ahead of the head.
TEST_F(Assembly, BlankScanStepsThroughTheEdgePhasesAsAnInkedOne) {
    struct Case {
        const char* phase;
        int32_t rasterPos;
        uint16_t passIndex, bottomStarted, armed, shifted;
        uint32_t active, edgeScans;
    };
    // Mode 5 with margins on paper code 50: bottom edge from 4410, kick-off
    // shift from 5290, kick-off phase from 5410 (half lines, 2 x position + 256).
    const Case cases[] = {
        {"bottom phase starts", 2100, 1, 0, 0, 0, 0, 0},
        {"window shifts and arms the kick-off", 2200, 2, 1, 0, 0, 0, 4},
        {"kick-off shift", 2520, 1, 1, 1, 0, 0, 9},
        {"kick-off phase starts", 2600, 2, 1, 1, 1, 0, 12},
        {"kick-off phase ends", 2650, 3, 1, 1, 1, 1, 3},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.phase);
        OutputContext after[2];
        for (int inked = 0; inked < 2; ++inked) {
            OutputClose(&job);
            start(settings(29, 15, 0, 0, 50));
            OutputContext* c = ctx();
            c->RasterPos = k.rasterPos;
            c->PassIndex = c->FeedIndex = k.passIndex;
            c->BottomStarted = k.bottomStarted;
            c->KickOffArmed = k.armed;
            c->KickOffShifted = k.shifted;
            c->KickOffActive = k.active;
            c->EdgeScanCount = k.edgeScans;
            if (k.shifted) {
                c->FirstNzl = 0;
                c->LastNzl = 119;
                c->KickOffStartPos = 5410;
            }
            if (inked) ink(0, k.rasterPos + 70);
            makeOutData(c);
            after[inked] = *c;
        }
        const OutputContext &blank = after[0], &inked = after[1];
        EXPECT_EQ(blank.RasterPos, inked.RasterPos);
        EXPECT_EQ(blank.LineTarget, inked.LineTarget);
        EXPECT_EQ(blank.BottomStarted, inked.BottomStarted);
        EXPECT_EQ(blank.BottomLimitPos, inked.BottomLimitPos);
        EXPECT_EQ(blank.KickOffArmed, inked.KickOffArmed);
        EXPECT_EQ(blank.KickOffShifted, inked.KickOffShifted);
        EXPECT_EQ(blank.KickOffPos, inked.KickOffPos);
        EXPECT_EQ(blank.KickOffStartPos, inked.KickOffStartPos);
        EXPECT_EQ(blank.KickOffActive, inked.KickOffActive);
        EXPECT_EQ(blank.KickOffDone, inked.KickOffDone);
        EXPECT_EQ(blank.EdgeScanCount, inked.EdgeScanCount);
        EXPECT_EQ(blank.FirstNzl, inked.FirstNzl);
        EXPECT_EQ(blank.LastNzl, inked.LastNzl);
    }
}

TEST_F(Assembly, AllocationFailureEndsTheScanLoop) {
    for (const PrintInfo& info : {settings(0, 15), settings(0, 10), settings(29, 15)}) {
        OutputClose(&job);
        start(info);
        OutputContext* c = ctx();
        c->RasterPos = 0;
        for (int i = 0; i < 8; ++i) ink(3, i), ink(0, i);
        c->LineCount = c->LineTarget;
        // Without the page's scan buffers the scan takes its own.
        for (auto& slot : c->ScanBuffer) KRVSDisposeHNDL(&slot[0]), KRVSDisposeHNDL(&slot[1]);
        kz::platform::failAllocation(1, true);
        const int16_t result = makeOutData(c);
        kz::platform::resetFaults();
        EXPECT_EQ(result, -108) << "mode " << c->PrintMode;
        EXPECT_NE(c->LineCount, c->LineTarget) << "mode " << c->PrintMode;
    }
}

}  // namespace
