// PackBits on data shaped like the scan blocks it compresses: one column of a
// 128-pixel block holds 128 × (nozzles / 2) / 8 bytes, 2560 for 320 nozzles
// and 1024 for 128.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "command/compression.h"

namespace {

enum Shape { kBlank, kSparse, kDense, kRuns, kTone };

std::vector<uint8_t> block(Shape shape, size_t n) {
    std::mt19937 rng(12345);
    std::vector<uint8_t> b(n, 0);
    switch (shape) {
        case kBlank:
            break;
        case kSparse:  // about one byte in 40 holds a dot
            for (auto& v : b) {
                if (rng() % 40 == 0) v = static_cast<uint8_t>(1u << (rng() % 8));
            }
            break;
        case kDense:  // random dots, half of all pixels
            for (auto& v : b) v = static_cast<uint8_t>(rng());
            break;
        case kRuns:  // solid areas: runs of 20 to 300 bytes of a few values
            for (size_t i = 0; i < n;) {
                const uint8_t values[] = {0x00, 0xFF, 0xAA, 0x55};
                const uint8_t c = values[rng() % 4];
                for (size_t run = 20 + rng() % 281; run > 0 && i < n; --run) b[i++] = c;
            }
            break;
        case kTone:  // a halftoned mid-light tone: each dot set one time in ten, short runs of blank bytes
            for (auto& v : b) {
                for (int bit = 0; bit < 8; ++bit) v = static_cast<uint8_t>(v << 1 | (rng() % 10 == 0));
            }
            break;
    }
    return b;
}

void BM_Packbits(benchmark::State& state) {
    const auto shape = static_cast<Shape>(state.range(0));
    const auto size = static_cast<size_t>(state.range(1));
    const std::vector<uint8_t> in = block(shape, size);
    std::vector<uint8_t> out(2 * size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(packbits(out.data(), in.data(), static_cast<int32_t>(size)));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(1));
    static const char* const names[] = {"blank", "sparse", "dense", "runs", "tone"};
    state.SetLabel(names[shape]);
}
BENCHMARK(BM_Packbits)->ArgsProduct({{kBlank, kSparse, kDense, kRuns, kTone}, {2560, 1024}});

}  // namespace
