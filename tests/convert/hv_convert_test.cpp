#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "convert/convert_support.h"
#include "planning/planning.h"
#include "scan/hv_kernel.h"
#include "scan/scan.h"
#include "support/store_fixture.h"

namespace {

using kz::test::Counts;
using kz::test::kGroups;
using kz::test::referenceConvert;

using Converter = int16_t (*)(OutputContext*, uint8_t*, const uint8_t*, const ScanInfo*, const LineRecord*,
                              int16_t, int16_t, int16_t, uint8_t);

Converter converterOf(int bits, bool backward) {
    switch (bits) {
        case 1: return backward ? hv2470_Back_1bit : hv2470_Fore_1bit;
        case 2: return backward ? hv2470_Back_2bit : hv2470_Fore_2bit;
        default: return backward ? hv2470_Back_4bit : hv2470_Fore_4bit;
    }
}

constexpr size_t kGuard = 4096;

// An HV buffer of a scan of `rows` nozzle rows, with guard bytes on both sides.
struct GuardedBuffer {
    explicit GuardedBuffer(int rows) : size(128 * 63 * (rows / 16)), bytes(size + 2 * kGuard, 0) {}
    uint8_t* data() { return bytes.data() + kGuard; }
    std::vector<uint8_t> inside() const { return {bytes.begin() + kGuard, bytes.begin() + kGuard + size}; }
    bool guardsClear() const {
        return std::all_of(bytes.begin(), bytes.begin() + kGuard, [](uint8_t v) { return v == 0; }) &&
               std::all_of(bytes.end() - kGuard, bytes.end(), [](uint8_t v) { return v == 0; });
    }
    size_t size;
    std::vector<uint8_t> bytes;
};

class Converters : public ::testing::Test {
protected:
    void SetUp() override {
        ctx = std::make_unique<OutputContext>();
        scan = std::make_unique<ScanInfo>();
        ctx->MaskTbl = phases.data();
        ctx->DotCountTbl = bitCounts.data();
        ctx->BlockWidth = 128;
        ctx->PassNum = 1;
        scan->ScanNzlNum = 128;
    }

    // Converts `bytes` as line `record` of row `row` and compares buffer,
    // result and counters with the pixel-by-pixel reference.
    void checkAgainstReference(int bits, bool backward, const std::vector<uint8_t>& bytes, const LineRecord& record,
                               int row, int slot, bool useMask, uint8_t flags) {
        ctx->ScanDir = backward ? 1 : 0;
        GuardedBuffer buffer(scan->ScanNzlNum);
        std::vector<uint8_t> want(buffer.size, 0);
        Counts wantCounts = Counts::of(*ctx);
        const int wantResult = referenceConvert(*ctx, *scan, record, bytes.data(), row, slot, useMask, flags, bits,
                                                backward, want, wantCounts);
        const auto before = std::make_unique<OutputContext>(*ctx);
        auto check = [&](int16_t result, const GuardedBuffer& got) {
            ASSERT_TRUE(got.guardsClear()) << "written outside the buffer";
            EXPECT_EQ(result, wantResult);
            ASSERT_EQ(got.inside(), want);
            const Counts counts = Counts::of(*ctx);
            EXPECT_EQ(std::memcmp(counts.power, wantCounts.power, sizeof counts.power), 0);
            EXPECT_EQ(std::memcmp(counts.smear, wantCounts.smear, sizeof counts.smear), 0);
            EXPECT_EQ(std::memcmp(counts.uneven, wantCounts.uneven, sizeof counts.uneven), 0);
            EXPECT_NEAR(counts.noEdge, wantCounts.noEdge, 1e-6);
        };
        check(converterOf(bits, backward)(ctx.get(), buffer.data(), bytes.data(), scan.get(), &record,
                                          static_cast<int16_t>(row), static_cast<int16_t>(slot), useMask, flags),
              buffer);
#if defined(__i386__) || defined(__x86_64__)
        // Whole scans take the SSSE3 or AVX2 build where the processor has it: the same dots.
        const std::pair<kz::hv::Converter, bool> builds[] = {
            {kz::hv::ssse3ConverterFor(bits, backward), __builtin_cpu_supports("ssse3") != 0},
            {kz::hv::avx2ConverterFor(bits, backward), __builtin_cpu_supports("avx2") != 0}};
        for (const auto& [vector, runs] : builds) {
            if (HasFatalFailure() || vector == nullptr || !runs) continue;
            *ctx = *before;
            const auto dots = std::make_unique<kz::hv::PassDots>();
            kz::hv::buildPassDots(dots.get(), ctx.get(), scan.get(), bits, useMask);
            GuardedBuffer vectorBuffer(scan->ScanNzlNum);
            check(vector(ctx.get(), vectorBuffer.data(), bytes.data(), scan.get(), &record, row, slot, useMask, flags,
                         *dots),
                  vectorBuffer);
        }
#endif
    }

    int16_t convert(int bits, bool backward, uint8_t* buffer, const std::vector<uint8_t>& bytes,
                    const LineRecord& record, int row = 0, int slot = 0, bool useMask = false, uint8_t flags = 0) {
        ctx->ScanDir = backward ? 1 : 0;
        return converterOf(bits, backward)(ctx.get(), buffer, bytes.data(), scan.get(), &record,
                                           static_cast<int16_t>(row), static_cast<int16_t>(slot), useMask, flags);
    }

    int offset(int slot, int row) const {
        return getOffsetColorCR(ctx.get(), static_cast<int16_t>(slot), static_cast<int16_t>(row % 2),
                                static_cast<int16_t>(ctx->ScanDir));
    }

    std::vector<uint8_t> phases = kz::test::phaseTable(17);
    std::vector<uint8_t> bitCounts = kz::test::bitCountTable();
    std::unique_ptr<OutputContext> ctx;
    std::unique_ptr<ScanInfo> scan;
};

TEST_F(Converters, OneBitPlacementForwardAndBackward) {
    // Row 0 stored from byte 2: 0x80, 0x01.  Forward from ScanLeft 16: group 0,
    // bytes 0 and 1.  Backward to ScanRight 32: the last byte comes first.
    // Row 2 is nozzle 1 of its column: bytes 2 and 3.
    const std::vector<uint8_t> bytes = {0x80, 0x01};
    const LineRecord record{2, 2, 0, 0};
    struct Case { bool backward; int row; int16_t edge; size_t at; uint8_t first, second; };
    for (const Case& c : {Case{false, 0, 16, 0, 0x80, 0x01}, Case{false, 2, 16, 2, 0x80, 0x01},
                          Case{true, 0, 32, 0, 0x01, 0x80}, Case{true, 3, 32, 2, 0x01, 0x80},
                          Case{false, 0, 0, 128, 0x80, 0x01}}) {
        std::vector<uint8_t> buffer(128 * 63 * 8);
        ctx->ScanDir = c.backward;
        scan->ScanLeft = static_cast<int16_t>(c.edge + offset(0, c.row));
        scan->ScanRight = static_cast<int16_t>(c.edge + offset(0, c.row));
        EXPECT_EQ(convert(1, c.backward, buffer.data(), bytes, record, c.row), 1);
        EXPECT_EQ(buffer[c.at], c.first) << "row " << c.row;
        EXPECT_EQ(buffer[c.at + 1], c.second) << "row " << c.row;
        EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0), static_cast<long>(buffer.size() - 2));
    }
}

TEST_F(Converters, TwoBitNibblesFromAQuarterGroupIn) {
    // A line starting 4 pixels into the scan: the first byte fills the low
    // nibble of byte 0, the next two byte 1, the fourth starts group 1.
    std::memset(scan->PassSelectTbl, 1, sizeof scan->PassSelectTbl);
    const std::vector<uint8_t> bytes = {0xFF, 0xC0, 0x03, 0x10};
    const LineRecord record{4, 1, 0, 0};
    std::vector<uint8_t> buffer(128 * 63 * 8);
    scan->ScanLeft = static_cast<int16_t>(offset(0, 0));
    EXPECT_EQ(convert(2, false, buffer.data(), bytes, record, 0, 0, true), 1);
    EXPECT_EQ(buffer[0], 0x0F);
    EXPECT_EQ(buffer[1], 0x81);
    EXPECT_EQ(buffer[128], 0x40) << "pixel 1 of the fourth byte";
}

TEST_F(Converters, FourBitBitPairsMirrorBackward) {
    std::memset(scan->PassSelectTbl, 1, sizeof scan->PassSelectTbl);
    const std::vector<uint8_t> bytes = {0x11};
    for (bool backward : {false, true}) {
        std::vector<uint8_t> buffer(128 * 63 * 8);
        ctx->ScanDir = backward;
        // Source position 5 from the scan's starting edge: byte 1 of group 0.
        const LineRecord record{1, static_cast<uint16_t>(backward ? 0 : 5), 0, 0};
        scan->ScanLeft = static_cast<int16_t>(offset(0, 0));
        scan->ScanRight = static_cast<int16_t>(12 + offset(0, 0));
        EXPECT_EQ(convert(4, backward, buffer.data(), bytes, record, 0, 0, true), 1);
        EXPECT_EQ(buffer[0], 0);
        EXPECT_EQ(buffer[1], backward ? 0x0C : 0x30) << backward;
    }
}

// Each converter against the pixel-by-pixel reference, over random lines,
// spans, offsets, phases, pass tables, modes and counters.
TEST_F(Converters, MatchThePixelByPixelReference) {
    std::mt19937 rng(2024);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 600; ++round) {
        const int bits = (1 << pick(0, 2));
        const bool backward = pick(0, 1) == 1;
        const int pixels = 8 / bits;
        SCOPED_TRACE(::testing::Message() << "round " << round << " bits " << bits << " backward " << backward);

        constexpr uint32_t kModes[] = {2, 3, 4, 5, 8, 9, 13};
        ctx->PrintMode = kModes[pick(0, 6)];
        ctx->PassNum = static_cast<int16_t>(std::array<int, 6>{2, 4, 6, 8, 12, 16}[pick(0, 5)]);
        scan->ScanPassIndex = static_cast<uint16_t>(pick(0, ctx->PassNum - 1));
        scan->ScanNzlNum = static_cast<uint16_t>(std::array<int, 3>{320, 128, 64}[pick(0, 2)]);
        for (auto& row : scan->PassSelectTbl) {
            for (auto& cell : row) cell = static_cast<uint8_t>(pick(0, 2) == 0);
        }
        for (auto& plane : ctx->ColorOffsetReg) {
            for (auto& parity : plane) parity[0] = parity[1] = static_cast<int16_t>(pick(-40, 1000));
        }
        ctx->QualityIndex = static_cast<uint32_t>(pick(0, 4));
        ctx->RasterPos = pick(-200, 15000);
        scan->RasterBase = ctx->RasterPos + (pick(0, 3) == 0 ? 64 : 0);
        ctx->NoEdgeArea[0] = static_cast<int16_t>(pick(0, 3000));
        ctx->NoEdgeArea[1] = static_cast<int16_t>(ctx->NoEdgeArea[0] + pick(0, 3000));
        ctx->NoEdgeArea[2] = static_cast<int16_t>(ctx->RasterPos + pick(-100, 100));
        ctx->NoEdgeArea[3] = static_cast<int16_t>(ctx->NoEdgeArea[2] + pick(0, 200));

        const int maxBytes = 6144 / pixels;
        const int first = pick(0, maxBytes - 1);
        const int count = pick(1, std::min(maxBytes - first, pick(0, 3) == 0 ? maxBytes : 64));
        std::vector<uint8_t> bytes(count);
        const int density = pick(0, 3) == 0 ? 0 : pick(1, 30);  // one byte in density + 1 inked
        for (auto& b : bytes) b = density == 0 || pick(0, density) == 0 ? static_cast<uint8_t>(pick(0, 255)) : 0;
        const LineRecord record{static_cast<uint16_t>(count), static_cast<uint16_t>(first),
                                static_cast<uint16_t>(pick(0, 3) == 0 ? pick(10700, 10799) : pick(0, 4681)), 0};
        // The scan's edges: usually around the span, sometimes cutting it or far from it.
        scan->ScanLeft = static_cast<int16_t>((first * pixels + pick(-3000, 600)) & ~7);
        scan->ScanRight = static_cast<int16_t>(((first + count) * pixels + pick(-1200, 4800)) & ~7);
        const int row = pick(0, 5) == 0 ? pick(-3, scan->ScanNzlNum + 5) : pick(0, scan->ScanNzlNum - 1);
        const int slot = pick(0, 6);
        const bool useMask = bits > 1 || pick(0, 1) == 1;
        const uint8_t flags = static_cast<uint8_t>(pick(0, 15));
        checkAgainstReference(bits, backward, bytes, record, row, slot, useMask, flags);
        if (HasFatalFailure()) return;
    }
}

// The widest span at the largest offsets and a span left of the scan: nothing
// lands outside the 63 blocks, and mask reads past the table's end wrap.
TEST_F(Converters, WidestSpansAndFarOffsetsStayInsideTheBuffer) {
    std::memset(scan->PassSelectTbl, 1, sizeof scan->PassSelectTbl);
    ctx->PassNum = 4;
    ctx->PrintMode = 5;
    for (int bits : {1, 2, 4}) {
        const int pixels = 8 / bits;
        const std::vector<uint8_t> bytes(6144 / pixels, 0xFF);
        const LineRecord record{static_cast<uint16_t>(bytes.size()), 0, 4681, 0};
        for (bool backward : {false, true}) {
            for (int rows : {320, 128, 64}) {
                for (int16_t edge : {-2048, 0, 4000, 8000}) {
                    SCOPED_TRACE(::testing::Message() << bits << " bits, backward " << backward << ", rows "
                                                      << rows << ", edge " << edge);
                    scan->ScanNzlNum = static_cast<uint16_t>(rows);
                    scan->ScanLeft = edge;
                    scan->ScanRight = edge;
                    checkAgainstReference(bits, backward, bytes, record, rows - 1, 4, true, 0);
                    checkAgainstReference(bits, backward, bytes, record, rows, 4, true, 0);
                }
            }
        }
    }
}

TEST_F(Converters, CountersStayInTheirTables) {
    // Black dots far right count into the last segment; page lines past the
    // 130 smear bands (or above the page) count into no band.
    const std::vector<uint8_t> bytes = {0xFF, 0x0F};
    struct Case { uint16_t firstByte; int32_t rasterPos; int16_t row; int powerSegment, band; };
    const Case cases[] = {
        {760, 0, 0, 33, 0},       {680, 200, 3, 33, 1},  {679, 200, 3, 33, 1}, {10, 14559, 0, 0, 129},
        {10, 14560, 0, 0, -1},    {10, 14000, 600, 0, -1}, {10, -5, 2, 0, -1}, {10, -5, 5, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "byte " << c.firstByte << " position " << c.rasterPos << " row "
                                          << c.row);
        *ctx = OutputContext{};
        ctx->DotCountTbl = bitCounts.data();
        ctx->BlockWidth = 128;
        ctx->RasterPos = c.rasterPos;
        scan->ScanNzlNum = 1024;
        scan->ScanLeft = 0;
        const LineRecord record{2, c.firstByte, 0, 0};
        std::vector<uint8_t> buffer(128 * 63 * 64);
        convert(1, false, buffer.data(), bytes, record, c.row, 3, false, kz::kCountPower | kz::kCountSmear);
        EXPECT_EQ(ctx->PMDotCount[c.powerSegment], 12);
        uint32_t smear = 0;
        for (const auto& band : ctx->SmearDotCount) {
            for (uint32_t v : band) smear += v;
        }
        EXPECT_EQ(smear, c.band < 0 ? 0u : 12u);
        if (c.band >= 0) {
            EXPECT_EQ(ctx->SmearDotCount[c.band][c.powerSegment], 12u);
        }
        EXPECT_EQ(ctx->UnevenMonitorInfo, 0);
        EXPECT_EQ(ctx->UnevenDotCount[0], 0u);
    }
    // Colour dots beyond 5,600 pixels count into the last unevenness segment.
    *ctx = OutputContext{};
    ctx->BlockWidth = 128;
    ctx->MaskTbl = phases.data();
    std::memset(scan->PassSelectTbl, 1, sizeof scan->PassSelectTbl);
    std::vector<uint8_t> buffer(128 * 63 * 64);
    convert(4, false, buffer.data(), {0x11}, LineRecord{1, 3070, 0, 0}, 0, 5, true, kz::kCountUneven);
    EXPECT_EQ(ctx->UnevenDotCount[6], 2u);
}

}  // namespace
