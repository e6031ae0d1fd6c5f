// Edge search on raster lines with a little ink in the middle of long blank
// stretches, the common case of a printed page, and on wholly blank lines.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "command/compression.h"

namespace {

constexpr int kPixels = 11520;  // 8 inches at 1440 pixels per inch

// A line at `bits` per pixel with `ink` pixels inked around its middle.
std::vector<uint8_t> line(int bits, int ink) {
    const int perByte = 8 / bits;
    std::vector<uint8_t> l(kPixels / perByte, 0);
    for (int x = kPixels / 2; x < kPixels / 2 + ink; ++x) {
        l[x / perByte] |= static_cast<uint8_t>(1u << (8 - bits * (x % perByte + 1)));
    }
    return l;
}

void BM_SearchEdge(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    const int ink = static_cast<int>(state.range(1));
    const std::vector<uint8_t> l = line(bits, ink);
    for (auto _ : state) {
        // An odd start and end: the end bytes are tested pixel by pixel.
        uint16_t start = 3, count = kPixels - 6;
        benchmark::DoNotOptimize(search_edge(l.data(), static_cast<int16_t>(bits), &start, &count));
        benchmark::DoNotOptimize(start);
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(l.size()));
    state.SetLabel(ink == 0 ? "blank" : "ink in the middle");
}
BENCHMARK(BM_SearchEdge)->ArgsProduct({{1, 2, 4}, {0, 40}});

void BM_PixelRaster2ByteRaster(benchmark::State& state) {
    const std::vector<uint8_t> l = line(2, 40);
    for (auto _ : state) {
        uint16_t start = 0, count = kPixels;
        uint8_t edges[2];
        benchmark::DoNotOptimize(PixelRaster2ByteRaster(l.data(), 2, &start, &count, edges));
        benchmark::DoNotOptimize(edges);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(l.size()));
}
BENCHMARK(BM_PixelRaster2ByteRaster);

}  // namespace
