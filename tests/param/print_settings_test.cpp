#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "param_fixture.h"

namespace {

using kz::test::makeContext;
using kz::test::makeInfo;
using kz::test::Settings;

constexpr int X = -1;  // no print mode: the page is refused
constexpr std::array<int16_t, 5> kQualityCodes = {15, 10, 5, 0, 3};

// Expected mode per quality code 15, 10, 5, 0, 3 (an unlisted code).
struct ModeRow {
    int16_t media;
    std::array<int, 5> colour;      // with margins, Monochrome 0
    std::array<int, 5> mono;        // with margins, Monochrome 1
    std::array<int, 5> borderless;  // MarginInfo 1, Monochrome 1 (ignored)
};

const std::vector<ModeRow> kModeGrid = {
    {0, {1, 2, 4, X, 0}, {12, 12, 13, X, 11}, {1, 15, 8, X, 0}},
    {1, {3, X, 7, X, X}, {3, X, 7, X, X}, {3, X, 7, X, X}},
    {7, {X, 3, 4, X, X}, {X, 13, 13, X, X}, {X, 15, 8, X, X}},
    {8, {X, 3, 4, X, X}, {X, 13, 13, X, X}, {X, 15, 8, X, X}},
    {15, {X, 6, 9, X, X}, {X, 6, 9, X, X}, {X, 6, 9, X, X}},
    {16, {X, 6, 9, X, X}, {X, 13, 13, X, X}, {X, 6, 9, X, X}},
    {18, {X, 6, X, X, X}, {X, 6, X, X, X}, {X, 6, X, X, X}},
    {22, {X, 6, 9, X, X}, {X, 6, 9, X, X}, {X, 6, 9, X, X}},
    {24, {X, 6, 9, X, X}, {X, 6, 9, X, X}, {X, 6, 9, X, X}},
    {26, {X, 6, 9, 10, X}, {X, 6, 9, 10, X}, {X, 6, 9, 10, X}},
    {27, {X, 6, 9, X, X}, {X, 6, 9, X, X}, {X, 6, 9, X, X}},
    {28, {X, 6, 9, X, X}, {X, 6, 9, X, X}, {X, 6, 9, X, X}},
    {29, {5, 6, 9, X, X}, {5, 6, 9, X, X}, {5, 6, 9, X, X}},
    {36, {X, 9, X, X, X}, {X, 9, X, X, X}, {X, 9, X, X, X}},
    {37, {X, 6, 9, X, X}, {X, 6, 9, X, X}, {X, 6, 9, X, X}},
    {99, {1, 2, 4, X, 0}, {12, 12, 13, X, 11}, {1, 15, 8, X, 0}},
};

// Runs the page set-up on a context full of 0xA5 bytes after the job set-up.
// A refused page must change ColorMode and PrintMode and nothing else.
void expectMode(const Settings& s, int expected, uint32_t expectedColour) {
    auto ctx = makeContext();
    std::memset(static_cast<void*>(ctx.get()), 0xA5, sizeof(OutputContext));
    const PrintInfo info = makeInfo(s);
    setPrintInfo(ctx.get(), &info);
    auto before = std::make_unique<OutputContext>(*ctx);

    const int16_t result = setPrintInfoPart(ctx.get(), &info);
    EXPECT_EQ(ctx->ColorMode, expectedColour);
    if (expected == X) {
        EXPECT_EQ(result, -128);
        EXPECT_EQ(ctx->PrintMode, 17u);
        before->ColorMode = ctx->ColorMode;
        before->PrintMode = ctx->PrintMode;
        EXPECT_EQ(std::memcmp(before.get(), ctx.get(), sizeof(OutputContext)), 0)
            << "a refused page changed more than ColorMode and PrintMode";
    } else {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ctx->PrintMode, static_cast<uint32_t>(expected));
        EXPECT_EQ(ctx->BlockWidth, 128);
        EXPECT_EQ(ctx->PassNum, GetPassNum(expected));
    }
}

TEST(ModeSelection, WholeGridOfMediaAndQualityCodes) {
    for (const ModeRow& row : kModeGrid) {
        const bool monoMedia = row.media == 0 || row.media == 7 || row.media == 8 ||
                               row.media == 16 || row.media == 99;
        for (std::size_t q = 0; q < kQualityCodes.size(); ++q) {
            SCOPED_TRACE(testing::Message()
                         << "media " << row.media << " quality " << kQualityCodes[q]);
            expectMode({row.media, kQualityCodes[q], 1, 0, 0}, row.colour[q], 1);
            expectMode({row.media, kQualityCodes[q], 1, 0, 1}, row.mono[q], monoMedia ? 0 : 1);
            expectMode({row.media, kQualityCodes[q], 1, 1, 1}, row.borderless[q], 1);
        }
    }
}

TEST(ModeSelection, ModeFourteenIsNeverSelected) {
    for (const ModeRow& row : kModeGrid) {
        for (int q = 0; q < 5; ++q) {
            EXPECT_NE(row.colour[q], 14);
            EXPECT_NE(row.borderless[q], 14);
        }
    }
}

TEST(ModeSelection, MonochromeOtherThanOneAsksForColour) {
    auto ctx = makeContext();
    EXPECT_EQ(kz::test::setUp(ctx.get(), {0, 15, 1, 0, 2}), 0);
    EXPECT_EQ(ctx->ColorMode, 1u);
    EXPECT_EQ(ctx->PrintMode, 1u);
}

TEST(ModeSelection, JobSettingsAreCopiedOnceAndKept) {
    auto ctx = makeContext();
    PrintInfo info = makeInfo({26, 0, 3, 1, 0});
    info.BinMethod = -5;
    EXPECT_EQ(setPrintInfo(ctx.get(), &info), 0);
    EXPECT_EQ(ctx->MediaIndex, 6u);
    EXPECT_EQ(ctx->MediaType, 26);
    EXPECT_EQ(ctx->QualityIndex, 4u);
    EXPECT_EQ(ctx->BinMethod, -5);
    EXPECT_EQ(ctx->PaperSize, 3);
    EXPECT_EQ(ctx->MarginInfo, 1);
    // The page reads only Monochrome from its record.
    PrintInfo page = makeInfo({0, 15, 8, 0, 0});
    EXPECT_EQ(setPrintInfoPart(ctx.get(), &page), 0);
    EXPECT_EQ(ctx->PrintMode, 10u);
    EXPECT_EQ(ctx->PaperSize, 3);
}

TEST(CodeMaps, MediaCodes) {
    struct Case {
        int16_t code;
        uint32_t index;
        int16_t enumeration;
    };
    const std::vector<Case> cases = {
        {0, 0, 0},   {1, 2, 1},    {7, 1, 2},    {8, 10, 3}, {15, 4, 4},  {16, 5, 5},
        {18, 3, 6},  {22, 4, 8},   {24, 4, 8},   {26, 6, 9}, {27, 7, 10}, {28, 8, 11},
        {29, 9, 12}, {36, 11, 13}, {37, 12, 14}, {2, 0, 15}, {-1, 0, 15}, {32767, 0, 15},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetIndexMediaType(c.code), c.index) << c.code;
        EXPECT_EQ(getPrintMediaEnum(c.code), c.enumeration) << c.code;
    }
}

TEST(CodeMaps, QualityCodes) {
    const std::vector<std::pair<int16_t, uint32_t>> cases = {{15, 1}, {10, 2}, {5, 3},   {0, 4},
                                                             {3, 0},  {1, 0},  {-15, 0}, {20, 0}};
    for (auto [code, index] : cases) EXPECT_EQ(GetIndexPrintQuality(code), index) << code;
}

TEST(CodeMaps, PaperSizeCodes) {
    const std::array<int16_t, 26> codes = {1,  2,  3,  8,  9,  13, 15, 20, 21, 26, 27, 42, 43,
                                           45, 46, 47, 48, 49, 50, 51, 52, 55, 56, 57, 58, 59};
    for (std::size_t e = 0; e < codes.size(); ++e) {
        EXPECT_EQ(getPaperSizeEnum(codes[e]), static_cast<int16_t>(e)) << codes[e];
    }
    for (int16_t other : {0, 4, 14, 44, 60, -1}) EXPECT_EQ(getPaperSizeEnum(other), 26) << other;
}

TEST(CodeMaps, LoadPaperMode) {
    struct Case {
        int16_t paper;
        int16_t media;
        uint8_t mode;
    };
    const std::vector<Case> cases = {
        {46, 0, 1}, {1, 0, 0},  {20, 0, 2},  {1, 8, 1},  {1, 1, 2},   {59, 37, 1}, {58, 99, 1},
        {43, 0, 0}, {26, 0, 0}, {45, 0, 2},  {20, 8, 1}, {99, 8, 1},  {99, 0, 2},  {1, 99, 2},
        {15, 0, 0}, {21, 0, 2}, {50, 16, 2}, {49, 1, 1}, {13, 26, 2}, {57, 0, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(getLoadPaperMode(c.paper, c.media), c.mode) << c.paper << " " << c.media;
    }
}

TEST(CodeMaps, RecordAccessorsSignExtend) {
    PrintInfo info{};
    info.BinMethod = -2;
    info.PaperSize = -32768;
    info.MarginInfo = 1;
    EXPECT_EQ(GetBinMethod(&info), -2);
    EXPECT_EQ(GetPaperSize(&info), -32768);
    EXPECT_EQ(GetMarginInfo(&info), 1);
}

TEST(ColumnOffset, RoundsToGroupsAndScalesByQuality) {
    struct Case {
        int16_t reg;
        int16_t direction;
        uint32_t quality;
        int16_t expected;
    };
    const std::vector<Case> cases = {
        {258, 0, 1, 128}, {258, 1, 1, 128}, {258, 0, 0, 64},   {-30, 0, 0, 0},
        {945, 0, 2, 464}, {945, 1, 0, 232}, {-100, 0, 3, -48}, {31, 1, 0, 8},
    };
    for (const Case& c : cases) {
        auto ctx = makeContext();
        ctx->QualityIndex = c.quality;
        ctx->ColorOffsetReg[3][1][c.direction] = c.reg;
        EXPECT_EQ(getOffsetColorCR(ctx.get(), 3, 1, c.direction), c.expected)
            << c.reg << " dir " << c.direction << " quality " << c.quality;
    }
}

TEST(ColumnOffset, ReadsTheGivenPlaneParityAndDirection) {
    auto ctx = makeContext();
    ctx->QualityIndex = 1;
    for (int p = 0; p < 7; ++p) {
        for (int r = 0; r < 2; ++r) {
            for (int d = 0; d < 2; ++d)
                ctx->ColorOffsetReg[p][r][d] = int16_t(32 * (4 * p + 2 * r + d));
        }
    }
    for (int16_t p = 0; p < 7; ++p) {
        for (int16_t r = 0; r < 2; ++r) {
            for (int16_t d = 0; d < 2; ++d) {
                EXPECT_EQ(getOffsetColorCR(ctx.get(), p, r, d), 16 * (4 * p + 2 * r + d));
            }
        }
    }
    // Out-of-range planes read nothing.
    EXPECT_EQ(getOffsetColorCR(ctx.get(), 7, 0, 0), 0);
    EXPECT_EQ(getOffsetColorCR(ctx.get(), -1, 0, 0), 0);
}

}  // namespace
