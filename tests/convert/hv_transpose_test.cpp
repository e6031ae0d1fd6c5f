#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "command/scan_commands.h"
#include "kzrqo317/tables.h"
#include "platform/fault_injection.h"
#include "scan/hv_convert.h"
#include "support/output_fixture.h"

namespace {

TEST(Transpose, ExamplesOfBothDirections) {
    std::vector<uint8_t> group(320, 0);
    std::vector<uint16_t> work(160, 0);
    group[34] = 0x00;  // nozzle 17: pixel 9 from the left
    group[35] = 0x40;
    hvConv16x16_Fore(group.data(), work.data(), 160);
    EXPECT_EQ(work[91], 0x0002);
    EXPECT_EQ(group[182], 0x02);
    EXPECT_EQ(group[183], 0x00);
    EXPECT_EQ(std::count(group.begin(), group.end(), 0), 319);

    std::fill(group.begin(), group.end(), 0);
    std::fill(work.begin(), work.end(), 0);
    group[0] = 0x01;  // nozzle 0: the rightmost pixel, column 0 of a backward scan
    hvConv16x16_Back(group.data(), work.data(), 160);
    EXPECT_EQ(work[0], 0x0001);
    EXPECT_EQ(group[0], 0x01);
    EXPECT_EQ(std::count(group.begin(), group.end(), 0), 319);

    for (int k = 0; k < 16; ++k) EXPECT_EQ(setBit[k], 0x8000 >> k);
}

// Column k's word j holds nozzles 16j .. 16j + 15, nozzle 16j + b at bit b;
// column k is the k-th pixel in firing order.
std::vector<uint8_t> referenceTranspose(const std::vector<uint8_t>& in, int nozzles, bool backward) {
    std::vector<uint16_t> words(nozzles, 0);
    for (int i = 0; i < nozzles; ++i) {
        for (int k = 0; k < 16; ++k) {
            const bool set = backward ? (in[2 * i + k / 8] >> (k % 8)) & 1 : (in[2 * i + k / 8] >> (7 - k % 8)) & 1;
            if (set) words[k * (nozzles / 16) + i / 16] |= static_cast<uint16_t>(1u << (i % 16));
        }
    }
    std::vector<uint8_t> out(2 * nozzles);
    for (int w = 0; w < nozzles; ++w) {
        out[2 * w] = static_cast<uint8_t>(words[w]);
        out[2 * w + 1] = static_cast<uint8_t>(words[w] >> 8);
    }
    return out;
}

TEST(Transpose, RandomGroupsMatchTheLayout) {
    std::mt19937 rng(7);
    for (int nozzles : {160, 64, 32}) {
        for (bool backward : {false, true}) {
            for (int round = 0; round < 20; ++round) {
                std::vector<uint8_t> group(2 * nozzles);
                for (auto& b : group) b = static_cast<uint8_t>(rng() % 4 == 0 ? rng() : 0);
                const std::vector<uint8_t> want = referenceTranspose(group, nozzles, backward);
                std::vector<uint16_t> work(nozzles, 0);
                (backward ? hvConv16x16_Back : hvConv16x16_Fore)(group.data(), work.data(),
                                                                 static_cast<int16_t>(nozzles));
                ASSERT_EQ(group, want) << nozzles << " nozzles, backward " << backward;
            }
        }
    }
}

class WholeBuffer : public kz::test::OutputFixture {
protected:
    // A buffer of 63 blocks of a 128-row scan, with guard bytes after it.
    static constexpr int kRows = 128, kSize = 128 * 63 * (kRows / 16), kGuard = 4096;
    void SetUp() override {
        OutputFixture::SetUp();
        std::mt19937 rng(3);
        for (int i = 0; i < kSize; ++i) bytes[i] = static_cast<uint8_t>(rng() % 3 == 0 ? rng() : 0);
        scan.ScanNzlNum = kRows;
        ctx->PrintMode = 5;
    }
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kSize + kGuard, 0);
    ScanInfo scan{};
};

TEST_F(WholeBuffer, TransposesTheScansBlocksAndNothingBeyond) {
    struct Case { uint16_t dir; int16_t left, right; };
    for (const Case& c : {Case{0, 0, 256}, Case{1, 40, 1000}, Case{0, -8, 9000}, Case{1, 0, 0}, Case{0, 300, 0}}) {
        SCOPED_TRACE(::testing::Message() << "direction " << c.dir << " extent " << c.left << ".." << c.right);
        ctx->ScanDir = c.dir;
        scan.ScanLeft = c.left;
        scan.ScanRight = c.right;
        const int blocks = std::clamp<int>(getBlkNum(&scan, ctx, c.dir), 0, 63);
        std::vector<uint8_t> want(bytes);
        for (int g = 0; g < blocks * 8; ++g) {
            const std::vector<uint8_t> group(want.begin() + g * kRows, want.begin() + (g + 1) * kRows);
            const auto t = referenceTranspose(group, kRows / 2, c.dir != 0);
            std::copy(t.begin(), t.end(), want.begin() + g * kRows);
        }
        const auto before = kz::platform::liveBlocks();
        std::vector<uint8_t> got(bytes);
        hvConvHard(ctx, &scan, got.data());
        EXPECT_EQ(kz::platform::liveBlocks(), before) << "the work area is released";
        EXPECT_EQ(got, want);
    }
}

TEST_F(WholeBuffer, NoWorkAreaNoChange) {
    scan.ScanLeft = 0;
    scan.ScanRight = 1024;
    std::vector<uint8_t> got(bytes);
    kz::platform::failAllocation(1);
    hvConvHard(ctx, &scan, got.data());
    kz::platform::resetFaults();
    EXPECT_EQ(got, bytes);
}

}  // namespace
