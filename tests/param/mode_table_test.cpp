#include <gtest/gtest.h>

#include <vector>

#include "kzrqo317/tables.h"
#include "param_fixture.h"

namespace {

using kz::test::makeContext;
using kz::test::Settings;
using kz::test::setUp;

// The page's parameters that later stages read, for settings that select a mode.
struct PageCase {
    const char* name;
    Settings settings;
    uint32_t mode;
    uint32_t direction;
    uint16_t scanSpeed;
    uint16_t powerMonitor;
    uint16_t smear;
    uint16_t scanDelay;
    uint16_t scanDelayTbl;
    uint16_t pageDelayTbl;
};

const std::vector<PageCase> kPageCases = {
    // name                              media q  paper margin mono  mode dir speed pm sm sd sdt pdt
    {"black-only fine, special media", {7, 5, 1, 0, 1}, 13, 1, 1, 0, 1, 0, 1, 1},
    {"black-only fine, plain media", {0, 5, 1, 0, 1}, 13, 0, 1, 0, 1, 0, 1, 1},
    {"black-only draft, media 5", {16, 10, 1, 0, 1}, 13, 0, 1, 0, 0, 0, 1, 0},
    {"colour, media 5", {16, 10, 1, 0, 0}, 6, 0, 2, 0, 0, 0, 1, 0},
    {"colour, media 5, finest", {16, 5, 1, 0, 0}, 9, 0, 2, 0, 0, 0, 1, 0},
    {"plain borderless", {0, 15, 1, 1, 0}, 1, 0, 2, 0, 1, 1, 0, 0},
    {"plain with margins", {0, 15, 1, 0, 0}, 1, 0, 1, 0, 1, 1, 0, 0},
    {"plain draft", {0, 3, 1, 0, 0}, 0, 0, 0, 0, 0, 0, 0, 0},
    {"plain draft, black-only", {0, 3, 1, 0, 1}, 11, 0, 0, 0, 0, 0, 0, 0},
    {"power monitor, colour", {0, 10, 1, 0, 0}, 2, 0, 1, 1, 1, 1, 3, 1},
    {"power monitor, black-only", {0, 10, 1, 0, 1}, 12, 0, 1, 1, 1, 0, 3, 1},
    {"power monitor, borderless", {0, 10, 1, 1, 0}, 15, 0, 2, 1, 1, 1, 3, 1},
    {"media 10 borderless fine", {8, 5, 1, 1, 0}, 8, 0, 1, 0, 1, 1, 1, 1},
    {"media 6 at quality 0", {26, 0, 1, 0, 0}, 10, 0, 2, 0, 0, 0, 1, 0},
    {"media 2", {1, 15, 1, 0, 1}, 3, 0, 1, 0, 0, 0, 1, 1},
    {"media 9", {29, 15, 1, 0, 0}, 5, 0, 2, 0, 0, 0, 1, 0},
    {"media 11", {36, 10, 1, 0, 0}, 9, 0, 2, 0, 0, 0, 1, 0},
};

TEST(ModeParameters, PageSettingsThatLaterStagesRead) {
    for (const PageCase& c : kPageCases) {
        SCOPED_TRACE(c.name);
        auto ctx = makeContext();
        ASSERT_EQ(setUp(ctx.get(), c.settings), 0);
        EXPECT_EQ(ctx->PrintMode, c.mode);
        EXPECT_EQ(ctx->Direction, c.direction);
        EXPECT_EQ(ctx->ScanSpeed, c.scanSpeed);
        EXPECT_EQ(ctx->PowerMonitorInfo, c.powerMonitor);
        EXPECT_EQ(ctx->SmearInfo, c.smear);
        EXPECT_EQ(ctx->UnevenMonitorInfo, 0);
        EXPECT_EQ(ctx->ScanDelayInfo, c.scanDelay);
        EXPECT_EQ(ctx->ScanDelayTblNum, c.scanDelayTbl);
        EXPECT_EQ(ctx->PageDelayTblNum, c.pageDelayTbl);
    }
}

TEST(ModeParameters, MediaFiveScanSpeedByQuality) {
    // Black-only: 1 at every quality index, even 0 where the table says 0.
    for (uint32_t quality = 0; quality < 5; ++quality) {
        auto ctx = makeContext();
        ctx->QualityIndex = quality;
        ctx->ColorMode = 0;
        EXPECT_EQ(GetScanSpeed(ctx.get(), 16), 1) << quality;
        ctx->ColorMode = 1;
        EXPECT_EQ(GetScanSpeed(ctx.get(), 16), quality == 0 ? 0 : 2) << quality;
        // Plain media: 2 borderless, else the table.
        ctx->MarginInfo = 1;
        EXPECT_EQ(GetScanSpeed(ctx.get(), 0), 2) << quality;
        ctx->MarginInfo = 0;
        EXPECT_EQ(GetScanSpeed(ctx.get(), 0), quality == 0 ? 0 : 1) << quality;
        // Media enumeration 10 (code 27) follows the black-only rule too.
        ctx->ColorMode = 0;
        EXPECT_EQ(GetScanSpeed(ctx.get(), 27), 1) << quality;
    }
}

TEST(ModeParameters, SmearCountsClearedOnlyWhenTheMonitorRuns) {
    auto ctx = makeContext();
    ctx->SmearDotCount[0][0] = 7;
    ctx->SmearDotCount[129][33] = 9;
    ctx->QualityIndex = 4;
    EXPECT_EQ(GetSmearInfo(ctx.get()), 0);
    EXPECT_EQ(ctx->SmearDotCount[0][0], 7u);
    EXPECT_EQ(ctx->SmearDotCount[129][33], 9u);
    ctx->QualityIndex = 1;
    EXPECT_EQ(GetSmearInfo(ctx.get()), 1);
    EXPECT_EQ(ctx->SmearDotCount[0][0], 0u);
    EXPECT_EQ(ctx->SmearDotCount[129][33], 0u);
}

TEST(ModeParameters, PlaneDepthsAndNozzlesOfThePage) {
    struct Case {
        Settings settings;
        std::array<int16_t, 7> depth;
        int16_t passes;
        uint16_t nozzles;
        int16_t first;
        int16_t last;
        uint16_t colours;
    };
    const std::vector<Case> cases = {
        {{0, 10, 1, 0, 0}, {2, 2, 2, 1, 0, 0, 0}, 2, 128, 0, 119, 4},   // mode 2
        {{15, 5, 1, 0, 0}, {0, 0, 0, 0, 4, 4, 4}, 12, 128, 4, 123, 3},  // mode 9
        {{0, 5, 1, 0, 1}, {0, 0, 0, 1, 0, 0, 0}, 4, 320, 0, 319, 1},    // mode 13
        {{0, 5, 1, 0, 0}, {4, 4, 4, 1, 0, 0, 0}, 8, 128, 4, 123, 7},    // mode 4
        {{0, 3, 1, 0, 0}, {1, 1, 1, 1, 0, 0, 0}, 1, 320, 0, 319, 4},    // mode 0
    };
    for (const Case& c : cases) {
        auto ctx = makeContext();
        // Depths of planes a mode does not print are written as 0 too.
        for (int16_t& d : ctx->BitDepth) d = 9;
        ASSERT_EQ(setUp(ctx.get(), c.settings), 0);
        for (int p = 0; p < 7; ++p) EXPECT_EQ(ctx->BitDepth[p], c.depth[p]) << ctx->PrintMode;
        EXPECT_EQ(ctx->PassNum, c.passes);
        EXPECT_EQ(ctx->NzlNum, c.nozzles);
        EXPECT_EQ(ctx->FirstNzl, c.first);
        EXPECT_EQ(ctx->LastNzl, c.last);
        EXPECT_EQ(ctx->ColorNum, c.colours);
    }
}

TEST(ModeParameters, AccessorsOutsideTheModesReadNothing) {
    for (int32_t mode : {-1, 16, 17, 1000}) {
        EXPECT_EQ(GetPassNum(mode), 0);
        EXPECT_EQ(GetNzlNum(mode), 0);
        EXPECT_EQ(GetColorNum(mode), 0);
    }
    auto ctx = makeContext();
    ctx->PrintMode = 17;
    ctx->MediaIndex = 1;
    ctx->QualityIndex = 3;
    EXPECT_EQ(GetBitDepth(ctx.get(), 0), 0);
    EXPECT_EQ(GetDirection(ctx.get()), 0u);
    ctx->PrintMode = 0;
    EXPECT_EQ(GetBitDepth(ctx.get(), 7), 0);
    EXPECT_EQ(GetBitDepth(ctx.get(), -1), 0);
}

TEST(ModeParameters, SetTableHandsOutTheExportedTables) {
    auto ctx = makeContext();
    EXPECT_EQ(SetTable(ctx.get()), 0);
    EXPECT_EQ(ctx->MaskTbl, OPD17830_tbl);
    EXPECT_EQ(ctx->DotCountTbl, OPD17831_tbl);
}

TEST(ModeParameters, BitCountTable) {
    EXPECT_EQ(OPD17831_tbl[0x00], 0);
    EXPECT_EQ(OPD17831_tbl[0xFF], 8);
    EXPECT_EQ(OPD17831_tbl[0x5A], 4);
    for (unsigned v = 0; v < 256; ++v) {
        EXPECT_EQ(OPD17831_tbl[v], __builtin_popcount(v)) << v;
    }
}

}  // namespace
