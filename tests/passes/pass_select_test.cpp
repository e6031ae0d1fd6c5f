#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

#include "param/param.h"
#include "planning/pass_select.h"
#include "scan/dot_index.h"
#include "scan/hv_convert.h"

namespace {

constexpr int kPassNum[16] = {1, 1, 2, 2, 8, 4, 6, 6, 8, 12, 16, 1, 1, 4, 1, 2};
constexpr int16_t kDepth[16][7] = {
    {1, 1, 1, 1, 0, 0, 0}, {1, 1, 1, 1, 0, 0, 0}, {2, 2, 2, 1, 0, 0, 0}, {2, 2, 2, 1, 0, 0, 0},
    {4, 4, 4, 1, 0, 0, 0}, {4, 4, 4, 0, 0, 0, 0}, {4, 4, 4, 0, 0, 0, 0}, {2, 2, 2, 1, 0, 0, 0},
    {4, 4, 4, 0, 0, 0, 0}, {0, 0, 0, 0, 4, 4, 4}, {0, 0, 0, 0, 4, 4, 4}, {0, 0, 0, 1, 0, 0, 0},
    {0, 0, 0, 1, 0, 0, 0}, {0, 0, 0, 1, 0, 0, 0}, {1, 1, 1, 1, 0, 0, 0}, {2, 2, 2, 0, 0, 0, 0},
};

struct Table {
    uint8_t cell[9][240];
};

Table tableOf(const ScanInfo& scan) {
    Table t;
    std::memcpy(t.cell, scan.PassSelectTbl, sizeof t.cell);
    return t;
}

std::vector<int> firingColumns(const ScanInfo& scan, int level) {
    std::vector<int> columns;
    for (int c = 0; c < 240; ++c) {
        if (scan.PassSelectTbl[level][c] != 0) columns.push_back(c);
    }
    return columns;
}

class PassSelect : public ::testing::Test {
protected:
    void SetUp() override { ctx = std::make_unique<OutputContext>(); }
    void build(uint32_t mode, int plane, uint16_t pass, uint32_t kind = kz::kScanOrdinary) {
        ctx->PrintMode = mode;
        ctx->PassNum = static_cast<int16_t>(kPassNum[mode]);
        scan.ScanKind = kind;
        scan.ScanPassIndex = pass;
        makePassSelectTbl(static_cast<int16_t>(plane), &scan, ctx.get(), 0);
    }
    std::unique_ptr<OutputContext> ctx;
    ScanInfo scan{};
};

TEST_F(PassSelect, FourPassModeColumns) {
    build(5, 0, 1);
    std::vector<int> level1, level2, level3;
    for (int c = 0; c < 240; ++c) {
        if (c % 4 == 1) level1.push_back(c);
        if (c % 6 == 0 || c % 6 == 2 || c % 6 == 5) level2.push_back(c);
        if (c % 4 != 2) level3.push_back(c);
    }
    EXPECT_EQ(firingColumns(scan, 1), level1);
    EXPECT_EQ(firingColumns(scan, 2), level2);
    EXPECT_EQ(firingColumns(scan, 3), level3) << "E000 D000 B000 7000 hold pass 1 in entries 0, 1 and 3";
    EXPECT_EQ(firingColumns(scan, 4).size(), 240u);
    for (int level : {0, 5, 6, 7, 8}) EXPECT_TRUE(firingColumns(scan, level).empty()) << level;
}

TEST_F(PassSelect, TwoPassLightPlaneFiresLevelOneInBothPasses) {
    for (uint32_t mode : {2u, 3u, 15u}) {
        for (uint16_t pass : {0, 1}) {
            build(mode, 2, pass);
            EXPECT_EQ(firingColumns(scan, 1).size(), 240u) << mode << " pass " << pass;
            EXPECT_TRUE(firingColumns(scan, 2).empty()) << mode;
            build(mode, 0, pass);
            EXPECT_EQ(firingColumns(scan, 1).size(), 120u) << "alternate columns";
            EXPECT_EQ(firingColumns(scan, 1).front(), pass);
            EXPECT_EQ(firingColumns(scan, 2).size(), 240u);
        }
    }
}

TEST_F(PassSelect, PairedModesUseAPassPerScanPair) {
    // Scans 2p and 2p + 1 are band pass p (bit 0x1000 for scans 6 and 7).  The
    // even scan's pattern leaves the two lightest levels to the odd scans.
    auto columns = [](int period, std::initializer_list<int> entries) {
        std::vector<int> out;
        for (int c = 0; c < 240; ++c) {
            if (std::find(entries.begin(), entries.end(), c % period) != entries.end()) out.push_back(c);
        }
        return out;
    };
    for (uint32_t mode : {4u, 8u}) {
        SCOPED_TRACE(mode);
        build(mode, 0, 6, kz::kScanEvenPair);
        EXPECT_TRUE(firingColumns(scan, 1).empty());
        EXPECT_TRUE(firingColumns(scan, 2).empty());
        EXPECT_EQ(firingColumns(scan, 3), columns(4, {3}));
        EXPECT_EQ(firingColumns(scan, 5), columns(6, {1, 3, 5}));
        EXPECT_EQ(firingColumns(scan, 7), columns(4, {1, 2, 3}));
        build(mode, 4, 7, kz::kScanOddPair);
        EXPECT_EQ(firingColumns(scan, 1), columns(4, {3}));
        EXPECT_EQ(firingColumns(scan, 2), columns(6, {1, 3, 5}));
        EXPECT_EQ(firingColumns(scan, 8), columns(6, {1, 3, 5}));
    }
}

TEST_F(PassSelect, TablesLeftAloneOrClearedByModeAndPlane) {
    struct Case { uint32_t mode; int plane; bool kept; };
    const Case cases[] = {{0, 0, true}, {1, 1, true}, {14, 2, true}, {5, 3, true}, {2, 3, true},
                          {13, 3, true}, {11, 0, false}, {12, 2, false}, {2, 5, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " plane " << c.plane);
        std::memset(scan.PassSelectTbl, 0xA5, sizeof scan.PassSelectTbl);
        const Table before = tableOf(scan);
        build(c.mode, c.plane, 0);
        const Table after = tableOf(scan);
        if (c.kept) {
            EXPECT_EQ(std::memcmp(before.cell, after.cell, sizeof before.cell), 0);
        } else {
            EXPECT_TRUE(std::all_of(&after.cell[0][0], &after.cell[8][240], [](uint8_t v) { return v == 0; }));
        }
    }
}

// How many passes of a band fire a pixel of each level, as the patterns state.
int expectedDrops(uint32_t mode, int colour, int depth, int level) {
    if (level == 0) return 0;
    if (depth == 1) return 1;
    const int l = std::min(level, 8);
    switch (mode) {
        case 2: case 3: case 15: {
            constexpr int dark[4] = {0, 1, 2, 0}, light[4] = {0, 2, 0, 0};
            return colour == 2 ? light[l] : dark[l];
        }
        case 7: { constexpr int d[4] = {0, 1, 2, 4}; return d[l]; }
        case 4: case 8: { constexpr int d[9] = {0, 1, 2, 2, 3, 3, 4, 4, 5}; return d[l]; }
        case 5: case 6: { constexpr int d[9] = {0, 1, 2, 3, 4, 0, 0, 0, 0}; return d[l]; }
        case 9: case 10: return l;
        default: return -1;
    }
}

// Every mode, plane, level and phase: converting one pixel in each scan of a
// band in turn (as the driver maps colours to slots and builds the table),
// the number of scans that print it is the level's number of drops.
TEST(PassSelectSweep, DropsPerBandForEveryModePlaneLevelAndPhase) {
    auto ctx = std::make_unique<OutputContext>();
    std::vector<uint8_t> phases(kz::kMaskTableLength);
    for (int i = 0; i < kz::kMaskTableLength; ++i) phases[i] = static_cast<uint8_t>(i % 240);
    ctx->MaskTbl = phases.data();
    ctx->BlockWidth = 128;
    std::vector<uint8_t> buffer(128 * 63 * 8);
    const auto scan = std::make_unique<ScanInfo>();

    for (uint32_t mode = 0; mode < 16; ++mode) {
        ctx->PrintMode = mode;
        ctx->PassNum = static_cast<int16_t>(kPassNum[mode]);
        std::copy(std::begin(kDepth[mode]), std::end(kDepth[mode]), ctx->BitDepth);
        const bool paired = mode == 4 || mode == 8;
        for (int colour = 0; colour < 7; ++colour) {
            const int depth = kDepth[mode][colour];
            if (depth == 0) continue;
            const int levels = depth == 4 ? 16 : (1 << depth);
            std::vector<int> drops(levels * 240, 0);
            for (int pass = 0; pass < kPassNum[mode]; ++pass) {
                *scan = ScanInfo{};
                scan->ScanPassIndex = static_cast<uint16_t>(pass);
                scan->ScanKind = paired ? (pass % 2 ? kz::kScanOddPair : kz::kScanEvenPair) : kz::kScanOrdinary;
                scan->ScanNzlNum = 128;
                scan->UseMask = kPassNum[mode] > 1;
                const int slot = kz::slotOf(ctx.get(), scan.get(), colour);
                if (slot < 0) continue;
                makePassSelectTbl(static_cast<int16_t>(slot), scan.get(), ctx.get(), 0);
                scan->ScanLeft = getOffsetColorCR(ctx.get(), static_cast<int16_t>(slot), 0, 0);
                for (int level = 0; level < levels; ++level) {
                    for (int phase = 0; phase < 240; ++phase) {
                        const LineRecord record{1, 0, static_cast<uint16_t>(phase), 0};
                        const uint8_t pixel = static_cast<uint8_t>(level << (8 - depth));
                        const auto convert = depth == 1 ? hv2470_Fore_1bit
                                                        : depth == 2 ? hv2470_Fore_2bit : hv2470_Fore_4bit;
                        convert(ctx.get(), buffer.data(), &pixel, scan.get(), &record, 0,
                                static_cast<int16_t>(slot), static_cast<int16_t>(scan->UseMask), 0);
                        drops[level * 240 + phase] += std::popcount(buffer[0]);
                        buffer[0] = 0;
                    }
                }
            }
            for (int level = 0; level < levels; ++level) {
                const int want = expectedDrops(mode, colour, depth, level);
                for (int phase = 0; phase < 240; ++phase) {
                    ASSERT_EQ(drops[level * 240 + phase], want)
                        << "mode " << mode << " colour " << colour << " level " << level << " phase " << phase;
                }
                EXPECT_LE(want, kPassNum[mode]);
            }
        }
    }
}

}  // namespace
