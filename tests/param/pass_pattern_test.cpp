#include "param/pass_pattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "kzrqo317/tables.h"

namespace {

constexpr int kSize = kz::kPassPatternSize;
constexpr int kWindow = kz::kPassPatternWindow;
// The furthest a line's reading can start (32767 / 7).
constexpr int kLastLineStart = 4681;

// Residue counts by plain recounting, independent of the sliding measure.
std::array<int, 16> recount(int begin, int length, int passes) {
    std::array<int, 16> counts{};
    for (int i = begin; i < begin + length; ++i) ++counts[OPD17830_tbl[i] % passes];
    return counts;
}

TEST(PassPattern, IsTheGeneratedTable) {
    const kz::PassPattern generated = kz::makePassPattern();
    EXPECT_TRUE(std::equal(generated.begin(), generated.end(), OPD17830_tbl));
}

TEST(PassPattern, FixedHeadAndTail) {
    const std::array<uint8_t, 7> head = {0, 134, 46, 193, 139, 114, 83};
    const std::array<uint8_t, 8> tail = {28, 5, 55, 199, 202, 90, 129, 215};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), OPD17830_tbl));
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), OPD17830_tbl + kSize - 8));
}

TEST(PassPattern, EveryPhaseOccursWithinBounds) {
    std::array<int, 256> counts{};
    for (int i = 0; i < kSize; ++i) ++counts[OPD17830_tbl[i]];
    for (int v = 0; v < 240; ++v) {
        EXPECT_GE(counts[v], 8) << v;
        EXPECT_LE(counts[v], 65) << v;
    }
    for (int v = 240; v < 256; ++v) EXPECT_EQ(counts[v], 0) << v;
}

// Every residue within 1% of an equal share: over the whole table, and over
// every window a line of 4800 pixels reads from any starting offset.
TEST(PassPattern, ResiduesBalancedOverTableAndEveryWindow) {
    for (int passes : kz::kPassCounts) {
        SCOPED_TRACE(passes);
        const std::array<int, 16> whole = recount(0, kSize, passes);
        for (int r = 0; r < passes; ++r) {
            EXPECT_NEAR(whole[r], kSize / passes, kSize / passes / 100) << r;
        }
        const kz::Spread windows =
            kz::windowResidueSpread(OPD17830_tbl, kWindow, kLastLineStart, passes);
        EXPECT_GE(windows.min * 100, kWindow / passes * 99);
        EXPECT_LE(windows.max * 100, kWindow / passes * 101);
    }
    // No worse than the figures the table is known by: mod 2 within 5364..5436,
    // mod 16 within 622..712.
    const std::array<int, 16> two = recount(0, kSize, 2);
    EXPECT_GE(std::min(two[0], two[1]), 5364);
    EXPECT_LE(std::max(two[0], two[1]), 5436);
    const std::array<int, 16> sixteen = recount(0, kSize, 16);
    EXPECT_GE(*std::min_element(sixteen.begin(), sixteen.end()), 622);
    EXPECT_LE(*std::max_element(sixteen.begin(), sixteen.end()), 712);
}

// The sliding measure agrees with recounting, at windows spread over the range.
TEST(PassPattern, WindowMeasureMatchesRecount) {
    for (int passes : kz::kPassCounts) {
        int lo = kWindow;
        int hi = 0;
        for (int start = 0; start <= kLastLineStart; start += 1 + start % 7) {
            const std::array<int, 16> c = recount(start, kWindow, passes);
            lo = std::min(lo, *std::min_element(c.begin(), c.begin() + passes));
            hi = std::max(hi, *std::max_element(c.begin(), c.begin() + passes));
        }
        const kz::Spread s = kz::windowResidueSpread(OPD17830_tbl, kWindow, kLastLineStart, passes);
        EXPECT_LE(s.min, lo) << passes;
        EXPECT_GE(s.max, hi) << passes;
        const std::array<int, 16> first = recount(0, kWindow, passes);
        EXPECT_LE(s.min, *std::min_element(first.begin(), first.begin() + passes));
    }
}

// Shorter stretches are balanced too: any 240 bytes hold each residue mod P
// within one or two of 240 / P.
TEST(PassPattern, ShortStretchesBalanced) {
    for (int passes : kz::kPassCounts) {
        const kz::Spread s = kz::windowResidueSpread(OPD17830_tbl, 240, kSize - 240, passes);
        EXPECT_GE(s.min, 240 / passes - 2) << passes;
        EXPECT_LE(s.max, 240 / passes + 3) << passes;
    }
}

// Neighbouring pixels, beside each other and one 8-pixel row on, rarely share
// a pass.  Two passes cannot separate both: beside fails once per row.
TEST(PassPattern, NeighboursRarelyShareAPass) {
    for (int passes : kz::kPassCounts) {
        if (passes == 1) continue;
        const double beside = kz::samePassPairs(OPD17830_tbl, kSize, 1, passes) / double(kSize);
        const double rowOn = kz::samePassPairs(OPD17830_tbl, kSize, 8, passes) / double(kSize);
        const double besideLimit = passes == 2 ? 0.13 : passes == 6 ? 0.02 : 0.001;
        EXPECT_LE(beside, besideLimit) << passes;
        EXPECT_LE(rowOn, 0.001) << passes;
    }
}

}  // namespace
