// Halftoning: printable levels only, tone kept, white kept white, determinism,
// and the blue-noise array's own properties.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "kzrqo317/print.h"
#include "print/halftone.h"
#include "print/halftone/blue_noise_128.h"
#include "print/halftone/void_and_cluster.h"

namespace {

using kzp::Halftoner;
using kzp::HalftoneMethod;
using kzp::InkLevels;

struct LevelSet {
    const char* name;
    InkLevels levels;
};

// The level sets of the print modes' planes, and one with a printable-looking
// level that fires nothing.
std::vector<LevelSet> levelSets() {
    return {
        {"1-bit", {1, 0x2, {0, 1}}},
        {"2-bit 1,2", {2, 0x6, {0, 1, 2, 0}}},
        {"2-bit 1 only", {2, 0x2, {0, 2, 0, 0}}},
        {"2-bit 1,2,4", {2, 0xe, {0, 1, 2, 4}}},
        {"4-bit 1..8 repeats", {4, 0x1fe, {0, 1, 2, 2, 3, 3, 4, 4, 5}}},
        {"4-bit 1..4", {4, 0x1e, {0, 1, 2, 3, 4}}},
        {"4-bit 1..8", {4, 0x1fe, {0, 1, 2, 3, 4, 5, 6, 7, 8}}},
        {"dead level 3", {2, 0xe, {0, 1, 2, 0}}},
    };
}

int maxDrops(const InkLevels& l) {
    int m = 0;
    for (int v = 1; v < (1 << l.bits); ++v)
        if (l.printable >> v & 1) m = std::max<int>(m, l.drops[v]);
    return m;
}

constexpr int kSide = 256;

// Halftones a uniform patch and returns its mean drops per pixel, failing on
// any level that does not print.
double meanDrops(HalftoneMethod method, const LevelSet& set, uint8_t amount, int ink = 0) {
    auto h = Halftoner::make(method, set.levels, ink, kSide);
    const std::vector<uint8_t> in(kSide, amount);
    std::vector<uint8_t> out(kSide);
    long drops = 0;
    for (int y = 0; y < kSide; ++y) {
        h->line(y, in.data(), out.data());
        for (uint8_t v : out) {
            const bool prints = v < (1 << set.levels.bits) && (set.levels.printable >> v & 1) && set.levels.drops[v];
            EXPECT_TRUE(v == 0 || prints) << set.name << ": level " << int(v) << " at amount " << int(amount);
            if (v) drops += set.levels.drops[v];
        }
    }
    return static_cast<double>(drops) / (kSide * kSide);
}

TEST(Halftone, UniformPatchesPrintTheirToneWithPrintableLevels) {
    // Fast: the array holds 16384 thresholds, so a 256 x 256 patch is exact to
    // a few in 10000; diffusion loses a little at the patch's edges.
    for (auto method : {HalftoneMethod::Fast, HalftoneMethod::Quality}) {
        const double tolerance = method == HalftoneMethod::Fast ? 0.002 : 0.01;
        for (const LevelSet& set : levelSets()) {
            const int top = maxDrops(set.levels);
            for (int amount : {0, 1, 9, 40, 64, 100, 128, 170, 200, 230, 254, 255}) {
                const double mean = meanDrops(method, set, static_cast<uint8_t>(amount));
                const double target = amount / 255.0 * top;
                EXPECT_NEAR(mean, target, tolerance * top)
                    << set.name << (method == HalftoneMethod::Fast ? " fast" : " quality") << ", amount " << amount;
                if (amount == 0) {
                    EXPECT_EQ(mean, 0.0);
                }
            }
        }
    }
}

TEST(Halftone, DiffusionLeavesWhiteBesideInkWhite) {
    const LevelSet set = levelSets()[6];
    auto h = Halftoner::make(HalftoneMethod::Quality, set.levels, 2, 64);
    std::vector<uint8_t> in(64, 0), out(64);
    std::fill(in.begin(), in.begin() + 32, 180);
    for (int y = 0; y < 64; ++y) {
        h->line(y, in.data(), out.data());
        for (int x = 32; x < 64; ++x) ASSERT_EQ(out[x], 0) << "dot in white at " << x << "," << y;
    }
}

TEST(Halftone, SameInputSameLevelsAndInksDiffer) {
    const LevelSet set = levelSets()[4];
    std::vector<uint8_t> in(1000), a(1000), b(1000);
    for (auto method : {HalftoneMethod::Fast, HalftoneMethod::Quality}) {
        auto one = Halftoner::make(method, set.levels, 1, 1000);
        auto two = Halftoner::make(method, set.levels, 1, 1000);
        auto other = Halftoner::make(method, set.levels, 2, 1000);
        int differ = 0;
        for (int y = 0; y < 200; ++y) {
            for (int x = 0; x < 1000; ++x) in[x] = static_cast<uint8_t>((x * 7 + y * 13) ^ (x * y));
            one->line(y, in.data(), a.data());
            two->line(y, in.data(), b.data());
            ASSERT_EQ(a, b) << "line " << y;
            other->line(y, in.data(), b.data());
            differ += a != b;
        }
        EXPECT_GT(differ, 150) << "two inks print the same pattern";
    }
}

TEST(Halftone, PlanesTogetherPrintAsEachAlone) {
    // A job halftones its planes together; the quality method diffuses them in
    // lockstep, in groups of up to four: those with steps of one drop in the
    // lanes of a vector (five here: a group of four and one alone), the others
    // on the general path (two here).
    const std::vector<LevelSet> sets = levelSets();
    const int order[7] = {0, 1, 4, 6, 2, 3, 7};
    InkLevels levels[7];
    int inks[7];
    for (int i = 0; i < 7; ++i) {
        levels[i] = sets[order[i]].levels;
        inks[i] = i;
    }
    constexpr int kWidth = 301;
    std::vector<uint8_t> in[7], together[7], alone(kWidth);
    for (int i = 0; i < 7; ++i) {
        in[i].resize(kWidth);
        together[i].resize(kWidth);
    }
    for (auto method : {HalftoneMethod::Fast, HalftoneMethod::Quality}) {
        auto group = kzp::PlaneHalftoners::make(method, levels, inks, 7, kWidth);
        std::unique_ptr<Halftoner> single[7];
        for (int i = 0; i < 7; ++i) single[i] = Halftoner::make(method, levels[i], inks[i], kWidth);
        for (int y = 0; y < 40; ++y) {
            const uint8_t* amount[7];
            uint8_t* level[7];
            for (int i = 0; i < 7; ++i) {
                // Ramps with runs of paper white and full ink.
                for (int x = 0; x < kWidth; ++x)
                    in[i][x] = static_cast<uint8_t>((x / 50 + i) % 5 == 0 ? 0 : (x / 50 + y) % 7 == 0 ? 255 : x * 13 + y * 7 + i * 31);
                amount[i] = in[i].data();
                level[i] = together[i].data();
            }
            group->line(y, amount, level);
            for (int i = 0; i < 7; ++i) {
                single[i]->line(y, in[i].data(), alone.data());
                ASSERT_EQ(together[i], alone) << sets[order[i]].name << ", line " << y;
            }
        }
    }
}

TEST(Halftone, LinesOfAFewPixelsStayInBounds) {
    // The diffusion's serpentine edges and the array's wrap at their smallest
    // (run under the address sanitizer, this checks the buffers' ends).
    const LevelSet set = levelSets()[3];
    for (auto method : {HalftoneMethod::Fast, HalftoneMethod::Quality})
        for (int width : {0, 1, 2, 3, 129}) {
            auto h = Halftoner::make(method, set.levels, 6, width);
            std::vector<uint8_t> in(width + 1, 200), out(width + 1, 0xcc);
            for (int y = 0; y < 6; ++y) {
                h->line(y, in.data(), out.data());
                for (int x = 0; x < width; ++x) ASSERT_TRUE(out[x] >= 1 && out[x] <= 3) << width;
                ASSERT_EQ(out[width], 0xcc) << "wrote past the line, width " << width;
            }
        }
}

TEST(BlueNoise, IsAPermutationOfEvenlySpreadThresholds) {
    using kzp::halftone::kBlueNoise;
    constexpr int n = kzp::halftone::kBlueNoiseSize;
    ASSERT_GE(n, 128);
    std::vector<uint16_t> sorted(kBlueNoise, kBlueNoise + n * n);
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < n * n; ++i) ASSERT_EQ(sorted[i], i * 65536 / (n * n) + 2) << i;

    // Blue noise has little low-frequency energy: at any threshold, every
    // 16 x 16 window (the torus wraps) holds close to its share of dots.
    // A random permutation strays by 10, 19 and 26 dots in its worst window
    // at these levels; the array stays within 8.
    for (int level : {n * n / 32, n * n / 8, n * n / 2}) {
        const double expected = 256.0 * level / (n * n);
        double worst = 0;
        for (int wy = 0; wy < n; wy += 4)
            for (int wx = 0; wx < n; wx += 4) {
                int dots = 0;
                for (int y = 0; y < 16; ++y)
                    for (int x = 0; x < 16; ++x)
                        dots += kBlueNoise[((wy + y) % n) * n + (wx + x) % n] < level * 4;
                worst = std::max(worst, std::abs(dots - expected));
            }
        EXPECT_LE(worst, 8.0) << "level " << level;
    }
}

TEST(BlueNoise, CommittedArrayIsTheGeneratorsOutput) {
    const std::vector<uint16_t> rank = kzp::halftone::voidAndCluster(kzp::halftone::kBlueNoiseSize);
    for (size_t i = 0; i < rank.size(); ++i)
        ASSERT_EQ(kzp::halftone::kBlueNoise[i], rank[i] * 4 + 2) << "regenerate with tools/blue_noise (kzrqo317-make-blue-noise)";
}

}  // namespace

namespace {

// Every combination the capability query offers: each printed plane's level
// set halftones to its printable levels at the right tone, both methods.
TEST(Halftone, EveryModeOfTheCapabilityQuery) {
    const size_t count = kzp_mode_count();
    ASSERT_GT(count, 0u);
    bool seen[16] = {};
    for (size_t i = 0; i < count; ++i) {
        const kzp_mode_info& m = *kzp_mode_at(i);
        if (seen[m.print_mode]) continue;
        seen[m.print_mode] = true;
        for (int p = 0; p < 7; ++p) {
            if (!(m.planes >> p & 1)) continue;
            LevelSet set{"mode", {m.bit_depth[p], m.levels[p], {}}};
            std::copy(std::begin(m.drops[p]), std::end(m.drops[p]), set.levels.drops);
            ASSERT_GT(maxDrops(set.levels), 0) << "mode " << int(m.print_mode) << " plane " << p;
            for (auto method : {HalftoneMethod::Fast, HalftoneMethod::Quality}) {
                const double mean = meanDrops(method, set, 100, p);
                EXPECT_NEAR(mean, 100 / 255.0 * maxDrops(set.levels), 0.01 * maxDrops(set.levels))
                    << "mode " << int(m.print_mode) << " plane " << p;
            }
        }
    }
}

}  // namespace
