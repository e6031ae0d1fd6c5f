#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "kzrqo317/job.h"
#include "kzrqo317/platform.h"
#include "output/call_order.h"
#include "output/output.h"
#include "param_fixture.h"
#include "platform/fault_injection.h"

namespace {

using kz::test::makeContext;
using kz::test::makeInfo;
using kz::test::Settings;
using kz::test::setUp;

struct EdgeCase {
    const char* name;
    Settings settings;
    uint8_t flags;
    int32_t top;
    int32_t bottom;
    int32_t kickOff;
    int32_t kickOffStart;
};

const std::vector<EdgeCase> kEdgeCases = {
    // name                                    media q paper margin mono  flags top bottom kick
    // start
    {"borderless, media 4, mode 6, paper 3", {15, 10, 3, 1, 0}, 7, 308, 12654, 13534, 13654},
    {"margins, media 4, mode 6, paper 3", {15, 10, 3, 0, 0}, 6, 0, 12442, 13322, 13442},
    {"borderless, media 0, mode 15, paper 13", {0, 10, 13, 1, 0}, 3, 368, 12822, 32767, 32767},
    {"borderless, media 0, mode 1", {0, 15, 3, 1, 0}, 0, 0, 0, -1, 0},
    {"paper 4 has no group", {15, 10, 4, 1, 0}, 0, 0, 0, -1, 0},
    {"margins on plain media", {0, 5, 3, 0, 0}, 0, 0, 0, -1, 0},
    {"media 2 never limits", {1, 5, 3, 1, 0}, 0, 0, 0, -1, 0},
    {"margins, media 6, mode 10, paper 56", {26, 0, 56, 0, 0}, 6, 0, 10410, 11290, 11410},
    {"borderless, media 9, mode 5, paper 50", {29, 15, 50, 1, 0}, 7, 328, 4622, 5502, 5622},
    {"borderless, media 10, mode 8, paper 20", {8, 5, 20, 1, 0}, 3, 328, 6614, 32767, 32767},
};

TEST(EdgeLimits, FlagsAndPositions) {
    for (const EdgeCase& c : kEdgeCases) {
        SCOPED_TRACE(c.name);
        auto ctx = makeContext();
        ctx->BottomStarted = ctx->KickOffShifted = ctx->KickOffArmed = 1;
        ctx->KickOffActive = ctx->KickOffDone = 1;
        ctx->EdgeScanCount = 5;
        ASSERT_EQ(setUp(ctx.get(), c.settings), 0);
        EXPECT_EQ(ctx->NzlLimitFlags, c.flags);
        EXPECT_EQ(ctx->TopLimitPos, c.top);
        EXPECT_EQ(ctx->BottomLimitPos, c.bottom);
        EXPECT_EQ(ctx->KickOffPos, c.kickOff);
        EXPECT_EQ(ctx->KickOffStartPos, c.kickOffStart);
        EXPECT_EQ(ctx->BottomStarted + ctx->KickOffShifted + ctx->KickOffArmed, 0);
        EXPECT_EQ(ctx->KickOffActive + ctx->KickOffDone, 0u);
        EXPECT_EQ(ctx->EdgeScanCount, 5u);
    }
}

TEST(EdgeLimits, LimitFlagsByMediaAndBorderless) {
    auto ctx = makeContext();
    const std::array<uint8_t, 13> borderless = {3, 3, 0, 0, 7, 7, 7, 7, 7, 7, 3, 7, 7};
    const std::array<uint8_t, 13> margins = {0, 0, 0, 0, 6, 6, 6, 6, 6, 6, 0, 6, 6};
    for (uint32_t media = 0; media < 13; ++media) {
        ctx->MediaIndex = media;
        ctx->MarginInfo = 1;
        EXPECT_EQ(GetNzlLimitInfo(ctx.get()), borderless[media]) << media;
        ctx->MarginInfo = 0;
        EXPECT_EQ(GetNzlLimitInfo(ctx.get()), margins[media]) << media;
    }
}

TEST(NoEdgeArea, ByPaperSize) {
    struct Case {
        int16_t paper;
        std::array<int16_t, 4> area;
    };
    const std::vector<Case> cases = {
        {3, {47, 5008, 47, 7063}},  {4, {47, 7063, 47, 5008}},  {13, {47, 5147, 47, 6647}},
        {14, {47, 6647, 47, 5147}}, {20, {47, 2410, 47, 3544}}, {21, {47, 3544, 47, 2410}},
        {50, {47, 2150, 47, 3047}}, {51, {47, 3047, 47, 4252}}, {52, {47, 2447, 47, 3647}},
        {55, {47, 3047, 47, 4247}}, {56, {47, 2150, 47, 6047}}, {1, {0, 5400, 0, 5400}},
        {8, {0, 5400, 0, 5400}},
    };
    for (const Case& c : cases) {
        auto ctx = makeContext();
        ctx->PaperSize = c.paper;
        ctx->NoEdgeDotAmount = 12.5;
        SetNoEdgeDotCntInfo(ctx.get());
        for (int k = 0; k < 4; ++k) EXPECT_EQ(ctx->NoEdgeArea[k], c.area[k]) << c.paper;
        EXPECT_EQ(ctx->NoEdgeDotAmount, 0.0);
    }
}

TEST(PlaneOffsets, ByModeWithTheFirstLineTarget) {
    struct Case {
        uint32_t mode;
        uint16_t firstFeed;
        std::array<int16_t, 7> offsets;
        int16_t target;
    };
    const std::vector<Case> cases = {
        {0, 640, {128, 128, 128, 0, 0, 0, 0}, 320},
        {2, 62, {176, 176, 176, 0, 0, 0, 0}, 320},
        {3, 61, {160, 160, 160, 0, 0, 0, 0}, 30},
        {4, 30, {160, 160, 160, 0, 160, 160, 160}, 15},
        {7, 40, {160, 160, 160, 0, 160, 160, 160}, 20},
        {9, 21, {0, 0, 0, 0, 0, 0, 0}, 10},
        {14, 256, {128, 128, 128, 0, 0, 0, 0}, 128},
        {15, 0xFFFD, {0, 0, 0, 0, 0, 0, 0}, -1},  // a signed halving rounds toward zero
    };
    for (const Case& c : cases) {
        auto ctx = makeContext();
        ctx->PrintMode = c.mode;
        ctx->FeedOrder[0] = c.firstFeed;
        SetOffsetSize(ctx.get());
        for (int p = 0; p < 7; ++p) EXPECT_EQ(ctx->PlaneOffset[p], c.offsets[p]) << c.mode;
        EXPECT_EQ(ctx->LineTarget, c.target) << c.mode;
    }
}

// A context set up for a page of the given settings, up to its raster store.
std::unique_ptr<OutputContext> pageContext(const Settings& s) {
    auto ctx = makeContext();
    EXPECT_EQ(setUp(ctx.get(), s), 0);
    SetOffsetSize(ctx.get());
    return ctx;
}

int blocksHeld(const OutputContext& ctx, int plane) {
    int held = 0;
    for (const BandBlock& b : ctx.Band[plane]) held += b.LineMemory != 0 ? 1 : 0;
    return held;
}

struct StoreCase {
    const char* name;
    Settings settings;
    std::array<int16_t, 7> pitch;
    std::array<int16_t, 7> lines;
    std::array<int, 7> blocks;
};

const std::vector<StoreCase> kStoreCases = {
    {"mode 2",
     {0, 10, 1, 0, 0},
     {1536, 1536, 1536, 768, 0, 0, 0},
     {624, 624, 624, 448, 0, 0, 0},
     {78, 78, 78, 56, 0, 0, 0}},
    {"mode 9",
     {15, 5, 1, 0, 0},
     {0, 0, 0, 0, 3072, 3072, 3072},
     {0, 0, 0, 0, 128, 128, 128},
     {0, 0, 0, 0, 16, 16, 16}},
    {"mode 13",
     {0, 5, 1, 0, 1},
     {0, 0, 0, 768, 0, 0, 0},
     {0, 0, 0, 320, 0, 0, 0},
     {0, 0, 0, 40, 0, 0, 0}},
    {"mode 4",
     {0, 5, 1, 0, 0},
     {3072, 3072, 3072, 768, 0, 0, 0},
     {288, 288, 288, 128, 0, 0, 0},
     {36, 36, 36, 16, 0, 0, 0}},
};

TEST(RasterStore, LayoutByMode) {
    for (const StoreCase& c : kStoreCases) {
        SCOPED_TRACE(c.name);
        auto ctx = pageContext(c.settings);
        const int64_t live = kz::platform::liveBlocks();
        ASSERT_EQ(FormatBlock(ctx.get()), 0);
        int total = 0;
        for (int p = 0; p < 7; ++p) {
            EXPECT_EQ(ctx->LinePitch[p], c.pitch[p]) << p;
            EXPECT_EQ(ctx->RingLines[p], c.lines[p]) << p;
            EXPECT_EQ(blocksHeld(*ctx, p), c.blocks[p]) << p;
            for (int g = 0; g < c.blocks[p]; ++g) {
                ASSERT_NE(ctx->Band[p][g].LineMemory, 0u) << p << " " << g;
                // The whole block is there and zero-filled: touch its last byte.
                auto* bytes = static_cast<uint8_t*>(KRVSLockHNDL(ctx->Band[p][g].LineMemory));
                EXPECT_EQ(bytes[c.pitch[p] * 8 - 1], 0);
            }
            total += c.blocks[p];
        }
        EXPECT_EQ(kz::platform::liveBlocks(), live + total);
        freeOffsetBuffer(ctx.get());
        EXPECT_EQ(kz::platform::liveBlocks(), live);
    }
}

TEST(RasterStore, LineRecordsStartEmpty) {
    auto ctx = pageContext({15, 5, 1, 0, 0});
    for (BandBlock& block : ctx->Band[4]) {
        for (LineRecord& line : block.Line) line = {9, 9, 9, 9};
    }
    ASSERT_EQ(FormatBlock(ctx.get()), 0);
    for (int g = 0; g < 16; ++g) {
        for (const LineRecord& line : ctx->Band[4][g].Line) {
            EXPECT_EQ(line.ByteCount, 0);
            EXPECT_EQ(line.FirstByte, 0);
        }
    }
    freeOffsetBuffer(ctx.get());
}

// Every allocation of the store failing in turn: -108, nothing left behind.
TEST(RasterStore, FailureAtEveryAllocationReleasesAll) {
    for (const StoreCase& c : kStoreCases) {
        SCOPED_TRACE(c.name);
        int total = 0;
        for (int b : c.blocks) total += b;
        for (int n = 1; n <= total; ++n) {
            auto ctx = pageContext(c.settings);
            const int64_t live = kz::platform::liveBlocks();
            kz::platform::failAllocation(static_cast<uint32_t>(n));
            const int16_t result = FormatBlock(ctx.get());
            kz::platform::resetFaults();
            ASSERT_EQ(result, -108) << "allocation " << n;
            EXPECT_EQ(kz::platform::liveBlocks(), live) << "allocation " << n;
            for (int p = 0; p < 7; ++p) EXPECT_EQ(blocksHeld(*ctx, p), 0) << n << " plane " << p;
        }
    }
}

// Through the job calls: the page is refused with -108, keeps nothing, is not
// started, and can be set up again.
TEST(RasterStore, FailureThroughOutputInitPart) {
    const int64_t start = kz::platform::liveBlocks();
    uint32_t job = 0;
    ASSERT_EQ(OutputOpen(&job), 262);
    const PrintInfo info = makeInfo({0, 10, 1, 0, 0});  // mode 2: 290 blocks
    ASSERT_EQ(OutputInitTwo(&job, &info, 317), 0);
    auto* ctx = static_cast<OutputContext*>(KRVSLockHNDL(job));
    const int64_t live = kz::platform::liveBlocks();
    for (uint32_t n : {1u, 2u, 79u, 200u, 290u}) {
        kz::platform::failAllocation(n);
        const int32_t result = OutputInitPart(&job, &info);
        kz::platform::resetFaults();
        EXPECT_EQ(result, -108) << n;
        EXPECT_EQ(kz::platform::liveBlocks(), live) << n;
        EXPECT_LT(CheckPrevStatus(&ctx->StatusHandle, 4), 0) << "page started after " << n;
        uint32_t data = 0;
        RasterInfo line{};
        EXPECT_EQ(OutputProduceTwo(&job, &line, &data), -256);
    }
    EXPECT_EQ(OutputInitPart(&job, &info), 0);
    EXPECT_EQ(kz::platform::liveBlocks(), live + 290 + 8) << "the store and the scan buffers of planes 0..3";
    EXPECT_EQ(CheckPrevStatus(&ctx->StatusHandle, 4), 0);
    OutputClose(&job);
    EXPECT_EQ(job, 0u);
    EXPECT_EQ(kz::platform::liveBlocks(), start);
}

}  // namespace
