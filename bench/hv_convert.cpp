// HV conversion of stored raster lines: one A4 line at 600 dpi (4,960
// pixels) per iteration, into successive rows of a 128-row scan buffer.
// Items are stored lines, bytes are source bytes of the line.
#include <benchmark/benchmark.h>

#include <bit>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "planning/pass_select.h"
#include "scan/dot_index.h"
#include "scan/hv_convert.h"

namespace {

constexpr int kPixels = 4960;
constexpr int kRows = 128;

using Converter = int16_t (*)(OutputContext*, uint8_t*, const uint8_t*, const ScanInfo*, const LineRecord*,
                              int16_t, int16_t, int16_t, uint8_t);

Converter converterOf(int bits, bool backward) {
    switch (bits) {
        case 1: return backward ? hv2470_Back_1bit : hv2470_Fore_1bit;
        case 2: return backward ? hv2470_Back_2bit : hv2470_Fore_2bit;
        default: return backward ? hv2470_Back_4bit : hv2470_Fore_4bit;
    }
}

struct Setup {
    std::vector<uint8_t> phases = std::vector<uint8_t>(kz::kMaskTableLength);
    std::vector<uint8_t> bitCounts = std::vector<uint8_t>(256);
    std::vector<uint8_t> buffer = std::vector<uint8_t>(128 * 63 * (kRows / 16));
    std::unique_ptr<OutputContext> ctx = std::make_unique<OutputContext>();
    std::unique_ptr<ScanInfo> scan = std::make_unique<ScanInfo>();

    Setup(bool backward) {
        std::mt19937 rng(1);
        for (auto& p : phases) p = static_cast<uint8_t>(rng() % 240);
        for (int i = 0; i < 256; ++i) bitCounts[i] = static_cast<uint8_t>(std::popcount(static_cast<unsigned>(i)));
        ctx->MaskTbl = phases.data();
        ctx->DotCountTbl = bitCounts.data();
        ctx->BlockWidth = 128;
        ctx->PrintMode = 5;
        ctx->PassNum = 4;
        ctx->RasterPos = 2000;
        ctx->ScanDir = backward ? 1 : 0;
        scan->ScanNzlNum = kRows;
        scan->ScanPassIndex = 1;
        scan->ScanLeft = 0;
        scan->ScanRight = kPixels;
        scan->RasterBase = 2000;
        makePassSelectTbl(0, scan.get(), ctx.get(), 0);
    }
};

// A line at `bits` per pixel: every byte inked (full), or runs of 4 inked
// bytes every 64 bytes (sparse, about 6 %, as text lines look).
std::vector<uint8_t> line(int bits, bool sparse) {
    std::mt19937 rng(static_cast<unsigned>(bits));
    std::vector<uint8_t> l(kPixels * bits / 8, 0);
    for (size_t i = 0; i < l.size(); ++i) {
        if (sparse && i % 64 >= 4) continue;
        l[i] = static_cast<uint8_t>(rng() % 255 + 1);
    }
    return l;
}

void BM_ConvertLine(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    const bool backward = state.range(1) != 0;
    const bool useMask = state.range(2) != 0;
    const bool sparse = state.range(3) != 0;
    Setup s(backward);
    const std::vector<uint8_t> bytes = line(bits, sparse);
    const LineRecord record{static_cast<uint16_t>(bytes.size()), 0, 4000, 0};
    const Converter convert = converterOf(bits, backward);
    // Black with the power and smear counts; colour with the unevenness count.
    const int16_t slot = bits == 1 ? 3 : 0;
    const uint8_t flags = bits == 1 ? (kz::kCountPower | kz::kCountSmear) : kz::kCountUneven;
    int16_t row = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            convert(s.ctx.get(), s.buffer.data(), bytes.data(), s.scan.get(), &record, row, slot, useMask, flags));
        row = static_cast<int16_t>((row + 1) % kRows);
    }
    benchmark::ClobberMemory();
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
    state.SetLabel(std::string(sparse ? "sparse" : "full") + (useMask ? ", masks" : ", no masks"));
}
BENCHMARK(BM_ConvertLine)
    ->ArgNames({"bits", "backward", "mask", "sparse"})
    ->ArgsProduct({{1, 2, 4}, {0, 1}, {0, 1}, {0, 1}});

}  // namespace
