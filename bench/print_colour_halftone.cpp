// Separation and halftoning per line of an A4 page at 600 dpi (4961 pixels),
// on photo-like content: smooth gradients with fine noise, so that
// neighbouring pixels differ as they do in a scanned or camera picture.
// Items are pixels: items_per_second / 1e6 is Mpixel/s (per ink for halftoning).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "print/colour.h"
#include "print/halftone.h"

namespace {

constexpr int32_t kWidth = 4961;
constexpr int kLines = 64;

// kLines lines of `channels` bytes per pixel.
std::vector<uint8_t> photo(int channels) {
    std::mt19937 rng(7);
    std::vector<uint8_t> px(static_cast<size_t>(kWidth) * kLines * channels);
    for (int y = 0; y < kLines; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < channels; ++c) {
                const int base = (x * (c + 1) / 20 + y * 3 + c * 85) % 512;
                const int v = (base < 256 ? base : 511 - base) + static_cast<int>(rng() % 9) - 4;
                px[(static_cast<size_t>(y) * kWidth + x) * channels + c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
    return px;
}

// Level sets by bit depth, as the densest plane of the print modes has them.
kzp::InkLevels levelsFor(int bits) {
    switch (bits) {
    case 1: return {1, 0x2, {0, 1}};
    case 2: return {2, 0xe, {0, 1, 2, 4}};
    default: return {4, 0x1fe, {0, 1, 2, 3, 4, 5, 6, 7, 8}};
    }
}

void halftone(benchmark::State& state, kzp::HalftoneMethod method) {
    const int bits = static_cast<int>(state.range(0));
    auto h = kzp::Halftoner::make(method, levelsFor(bits), 1, kWidth);
    const std::vector<uint8_t> amounts = photo(1);
    std::vector<uint8_t> out(kWidth);
    int32_t y = 0;
    for (auto _ : state) {
        h->line(y, &amounts[static_cast<size_t>(y % kLines) * kWidth], out.data());
        benchmark::DoNotOptimize(out.data());
        ++y;
    }
    state.SetItemsProcessed(state.iterations() * kWidth);
}

void BM_HalftoneFast(benchmark::State& state) { halftone(state, kzp::HalftoneMethod::Fast); }
void BM_HalftoneQuality(benchmark::State& state) { halftone(state, kzp::HalftoneMethod::Quality); }
BENCHMARK(BM_HalftoneFast)->ArgName("bits")->Arg(1)->Arg(2)->Arg(4);
BENCHMARK(BM_HalftoneQuality)->ArgName("bits")->Arg(1)->Arg(2)->Arg(4);

// Three 4-bit planes halftoned together, as a job's line is; items are pixels per ink.
void threePlanes(benchmark::State& state, kzp::HalftoneMethod method) {
    const kzp::InkLevels levels[3] = {levelsFor(4), levelsFor(4), levelsFor(4)};
    const int inks[3] = {4, 5, 6};
    auto h = kzp::PlaneHalftoners::make(method, levels, inks, 3, kWidth);
    const std::vector<uint8_t> amounts = photo(3);
    std::vector<uint8_t> in[3], out[3];
    for (auto& v : in) v.resize(static_cast<size_t>(kWidth) * kLines);
    for (size_t i = 0; i < in[0].size(); ++i)
        for (int p = 0; p < 3; ++p) in[p][i] = amounts[i * 3 + p];
    for (auto& v : out) v.resize(kWidth);
    uint8_t* level[3] = {out[0].data(), out[1].data(), out[2].data()};
    int32_t y = 0;
    for (auto _ : state) {
        const size_t at = static_cast<size_t>(y % kLines) * kWidth;
        const uint8_t* amount[3] = {&in[0][at], &in[1][at], &in[2][at]};
        h->line(y, amount, level);
        benchmark::DoNotOptimize(level[0]);
        ++y;
    }
    state.SetItemsProcessed(state.iterations() * kWidth * 3);
}
BENCHMARK_CAPTURE(threePlanes, fast, kzp::HalftoneMethod::Fast);
BENCHMARK_CAPTURE(threePlanes, quality, kzp::HalftoneMethod::Quality);

kzp_mode_info modeWith(uint8_t planes) {
    kzp_mode_info m{};
    m.planes = planes;
    m.media_code = 0;
    return m;
}

// Separation of sRGB (or 8-bit grey) into the inks: cyan, magenta, yellow
// and black (planes 0x0f), the three colours alone (0x07), black alone (0x08).
void BM_Separation(benchmark::State& state) {
    const auto planes = static_cast<uint8_t>(state.range(0));
    const auto input = static_cast<kzp_input>(state.range(1));
    const kzp_mode_info mode = modeWith(planes);
    auto s = kzp::Separator::make(mode, input, nullptr, nullptr);
    const int channels = input == KZP_INPUT_RGB8 ? 3 : input == KZP_INPUT_CMYK8 ? 4 : 1;
    const std::vector<uint8_t> px = photo(channels);
    std::vector<uint8_t> planesOut[7];
    uint8_t* out[7] = {};
    for (int p = 0; p < 7; ++p) {
        planesOut[p].resize(kWidth);
        out[p] = planesOut[p].data();
    }
    int y = 0;
    for (auto _ : state) {
        s->line(&px[static_cast<size_t>(y % kLines) * kWidth * channels], kWidth, out);
        benchmark::DoNotOptimize(out[3]);
        ++y;
    }
    state.SetItemsProcessed(state.iterations() * kWidth);
}
BENCHMARK(BM_Separation)
    ->ArgNames({"planes", "input"})
    ->Args({0x0f, KZP_INPUT_RGB8})
    ->Args({0x07, KZP_INPUT_RGB8})
    ->Args({0x08, KZP_INPUT_RGB8})
    ->Args({0x0f, KZP_INPUT_GRAY8})
    ->Args({0x0f, KZP_INPUT_CMYK8});

// A whole line from sRGB to levels: separation, then every printed plane's
// halftoning.  page_s is the time of an A4 page at 600 dpi (7016 lines of
// 4961 pixels) at this rate, on one core.
void lineToLevels(benchmark::State& state, uint8_t planes, int bits, kzp::HalftoneMethod method) {
    kzp_mode_info mode = modeWith(planes);
    auto s = kzp::Separator::make(mode, KZP_INPUT_RGB8, nullptr, nullptr);
    std::vector<uint8_t> amount[7], level[7];
    uint8_t* out[7] = {};
    kzp::InkLevels levels[7];
    int inks[7], count = 0;
    const uint8_t* planeAmounts[7];
    uint8_t* planeLevels[7];
    for (int p = 0; p < 7; ++p)
        if (planes >> p & 1) {
            levels[count] = levelsFor(p == 3 ? 1 : bits);
            inks[count] = p;
            amount[p].resize(kWidth);
            level[p].resize(kWidth);
            out[p] = amount[p].data();
            planeAmounts[count] = amount[p].data();
            planeLevels[count++] = level[p].data();
        }
    auto h = kzp::PlaneHalftoners::make(method, levels, inks, count, kWidth);
    const std::vector<uint8_t> px = photo(3);
    int32_t y = 0;
    for (auto _ : state) {
        s->line(&px[static_cast<size_t>(y % kLines) * kWidth * 3], kWidth, out);
        h->line(y, planeAmounts, planeLevels);
        benchmark::DoNotOptimize(planeLevels[0]);
        ++y;
    }
    state.SetItemsProcessed(state.iterations() * kWidth);
    state.counters["page_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) / 7016, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
// The densest modes: 4-bit cyan, magenta, yellow and 1-bit black (planes
// 0..3), and 4-bit cyan, magenta, yellow on planes 4..6.
BENCHMARK_CAPTURE(lineToLevels, cmyk_4bit_fast, 0x0f, 4, kzp::HalftoneMethod::Fast);
BENCHMARK_CAPTURE(lineToLevels, cmyk_4bit_quality, 0x0f, 4, kzp::HalftoneMethod::Quality);
BENCHMARK_CAPTURE(lineToLevels, cmy_4bit_fast, 0x70, 4, kzp::HalftoneMethod::Fast);
BENCHMARK_CAPTURE(lineToLevels, cmy_4bit_quality, 0x70, 4, kzp::HalftoneMethod::Quality);

}  // namespace
