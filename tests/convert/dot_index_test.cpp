#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "scan/dot_index.h"

namespace {

TEST(DotIndex, OneBitPrintsThePixelsOfThisPassAndReplacesTheByte) {
    const uint8_t phases[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    struct Case { uint8_t source, before; int16_t passCount, passIndex; uint8_t want; int16_t dots; };
    const Case cases[] = {
        {0xFF, 0x00, 4, 1, 0x44, 2},  // pixels 1 and 5
        {0xFF, 0x00, 4, 0, 0x88, 2},
        {0x0F, 0x00, 2, 1, 0x05, 2},
        {0x80, 0xFF, 4, 1, 0x00, 0},  // nothing of this pass: the old byte is gone
        {0xA5, 0x3C, 1, 0, 0xA5, 4},
        {0xFF, 0x00, 0, 0, 0xFF, 8},  // no pass count: every pixel is this pass's
    };
    for (const Case& c : cases) {
        uint8_t out = c.before;
        EXPECT_EQ(makeOutData_1bit_Index(&out, c.source, c.passCount, c.passIndex, phases), c.dots);
        EXPECT_EQ(out, c.want) << std::hex << int(c.source) << " pass " << c.passIndex;
    }
}

class LevelIndex : public ::testing::Test {
protected:
    void SetUp() override {
        scan = std::make_unique<ScanInfo>();
        std::memset(scan->PassSelectTbl, 1, sizeof scan->PassSelectTbl);
    }
    std::unique_ptr<ScanInfo> scan;
    const uint8_t phases[4] = {10, 20, 30, 40};
};

TEST_F(LevelIndex, TwoBitFillsOneNibble) {
    struct Case { uint8_t source, before; uint16_t nibble; uint8_t want; int16_t dots; };
    const Case cases[] = {
        {0xE4, 0x00, 1, 0x0E, 3},  // levels 3 2 1 0 into the low nibble
        {0xE4, 0xA0, 1, 0xAE, 3},  // the high nibble is left as it was
        {0xE4, 0x05, 0, 0xE5, 3},
        {0x55, 0x00, 0, 0xF0, 4},
        {0x00, 0x81, 0, 0x81, 0},
    };
    for (const Case& c : cases) {
        uint8_t out = c.before;
        EXPECT_EQ(makeOutData_2bit_Index(&out, c.source, 0, 0, phases, c.nibble, scan.get()), c.dots);
        EXPECT_EQ(out, c.want) << std::hex << int(c.source);
    }
    // A pixel prints only where its level's row fires at its phase.
    scan->PassSelectTbl[2][20] = 0;
    scan->PassSelectTbl[1][30] = 0;
    uint8_t out = 0;
    EXPECT_EQ(makeOutData_2bit_Index(&out, 0xE4, 0, 0, phases, 1, scan.get()), 1);
    EXPECT_EQ(out, 0x08);
}

TEST_F(LevelIndex, FourBitFillsOneBitPair) {
    struct Case { uint8_t source, before; int16_t position; uint8_t want; int16_t dots; };
    const Case cases[] = {
        {0x50, 0x00, 2, 0x08, 1}, {0x11, 0x00, 0, 0xC0, 2}, {0x11, 0x00, 3, 0x03, 2},
        {0x11, 0x40, 1, 0x70, 2}, {0x11, 0x5A, 4, 0x5A, 0}, {0x11, 0x5A, -1, 0x5A, 0},
    };
    for (const Case& c : cases) {
        uint8_t out = c.before;
        EXPECT_EQ(makeOutData_4bit_Index(&out, c.source, 0, 0, phases, c.position, scan.get()), c.dots);
        EXPECT_EQ(out, c.want) << std::hex << int(c.source) << " at " << c.position;
    }
}

// A 4-bit pixel holds levels up to 15; the table's rows end at 8, which is
// what the levels above it print as.
TEST_F(LevelIndex, LevelsAboveEightPrintAsLevelEight) {
    std::memset(scan->PassSelectTbl, 0, sizeof scan->PassSelectTbl);
    scan->PassSelectTbl[8][10] = 1;
    for (uint8_t level = 9; level <= 15; ++level) {
        uint8_t out = 0;
        EXPECT_EQ(makeOutData_4bit_Index(&out, static_cast<uint8_t>(level << 4 | level), 0, 0, phases, 0,
                                         scan.get()),
                  1)
            << int(level);
        EXPECT_EQ(out, 0x80) << "pixel 0 at phase 10 prints, pixel 1 at phase 20 does not";
    }
}

TEST(DotCount, CountersBySlotAndFlags) {
    struct Case { uint8_t flags; int16_t slot; uint16_t power; uint32_t smear, uneven; };
    const Case cases[] = {
        {1, 3, 5, 0, 0},  {2, 3, 0, 5, 0}, {3, 3, 5, 5, 0}, {8, 3, 0, 0, 0},
        {8, 0, 0, 0, 5},  {8, 6, 0, 0, 5}, {3, 1, 0, 0, 0}, {15, 4, 0, 0, 5}, {4, 3, 0, 0, 0},
    };
    for (const Case& c : cases) {
        uint16_t power = 0;
        uint32_t smear = 0, uneven = 0;
        dotCountSet(5, &power, &smear, &uneven, c.slot, c.flags);
        EXPECT_EQ(power, c.power) << int(c.flags) << " slot " << c.slot;
        EXPECT_EQ(smear, c.smear) << int(c.flags) << " slot " << c.slot;
        EXPECT_EQ(uneven, c.uneven) << int(c.flags) << " slot " << c.slot;
    }
    uint16_t power = 0xFFFE;
    dotCountSet(3, &power, nullptr, nullptr, 3, 3);
    EXPECT_EQ(power, 1) << "the power count is 16-bit; no smear cell, no smear count";
}

TEST(DotCount, BorderlessInkOutsideTheArea) {
    const int16_t area[4] = {100, 200, 50, 60};  // left, right, top, bottom
    struct Case { int16_t dots, x; int32_t y; int16_t slot; double want; };
    const Case cases[] = {
        {10, 300, 55, 1, 21.76}, {10, 300, 55, 5, 10.0}, {10, 300, 55, 3, 0.0},  // black never counts
        {10, 200, 55, 1, 0.0},   {10, 201, 55, 0, 21.76}, {10, 99, 55, 2, 21.76},  // borders are inside
        {4, 150, 60, 6, 0.0},    {4, 150, 61, 6, 4.0},     {4, 150, 49, 4, 4.0},
    };
    for (const Case& c : cases) {
        double amount = 1.0;
        dotCountSet2(c.dots, c.x, c.y, area, &amount, c.slot);
        EXPECT_DOUBLE_EQ(amount - 1.0, c.want) << c.x << "," << c.y << " slot " << c.slot;
    }
}

}  // namespace
