// One A4 photo page per print mode, 8-bit RGB to printer bytes (the whole
// job), and the pipeline's own share of it (separation and halftoning
// without the driver).  `kzrqo317-print --benchmark` prints the same whole
// page figures as a table.
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "kzrqo317/print.h"
#include "print/colour.h"
#include "print/halftone.h"
#include "test_page/photo_page.h"

namespace {

struct Page {
    kzp_settings settings;
    kzp_page_format format = kzp_page_format_empty();
    std::vector<uint8_t> rgb;
};

const Page& pageFor(int printMode) {
    static std::map<int, Page> pages;
    auto& page = pages[printMode];
    if (page.rgb.empty()) {
        const size_t n = kzp_mode_count();
        for (size_t i = 0; i < n; ++i) {
            const kzp_mode_info& m = *kzp_mode_at(i);
            if (m.print_mode != printMode || m.paper_code != 3 || m.roll) continue;
            page.settings = kzp_settings_default();
            page.settings.media = m.media;
            page.settings.quality = m.quality;
            page.settings.mono = m.mono;
            page.settings.borderless = m.borderless;
            kzp_resolve(&page.settings, &page.format, nullptr, 0);
            page.rgb = kzprint::photoPage(page.format.width_px, page.format.height_px);
            break;
        }
    }
    return page;
}

int countBytes(void* ctx, const uint8_t*, size_t size) {
    *static_cast<uint64_t*>(ctx) += size;
    return 0;
}

void WholePage(benchmark::State& state) {
    const Page& page = pageFor(int(state.range(0)));
    const kzp_page_format& f = page.format;
    uint64_t bytes = 0;
    for (auto _ : state) {
        kzp_sink sink = kzp_sink_callback(countBytes, &bytes);
        kzp_job* job = kzp_job_open(&page.settings, &sink, nullptr, 0);
        kzp_job_begin_page(job, KZP_INPUT_RGB8, f.width_px, f.height_px);
        for (int32_t y = 0; y < f.height_px; ++y)
            kzp_job_write_line(job, page.rgb.data() + size_t(y) * size_t(f.width_px) * 3);
        kzp_job_end_page(job);
        if (kzp_job_close(job) != KZP_OK) state.SkipWithError("the job failed");
    }
    state.counters["Mpixel/s"] = benchmark::Counter(double(f.width_px) * f.height_px / 1e6,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

void SeparateAndHalftone(benchmark::State& state) {
    const Page& page = pageFor(int(state.range(0)));
    const kzp_page_format& f = page.format;
    const bool quality = f.mode->quality >= KZP_QUALITY_HIGH;
    for (auto _ : state) {
        std::string error;
        auto separator = kzp::Separator::make(*f.mode, KZP_INPUT_RGB8, nullptr, &error);
        std::vector<uint8_t> amount[7], level[7];
        uint8_t* out[7] = {};
        kzp::InkLevels levels[7];
        int inks[7], planes = 0;
        const uint8_t* planeAmounts[7];
        uint8_t* planeLevels[7];
        for (int p = 0; p < 7; ++p) {
            if (!f.mode->bit_depth[p]) continue;
            levels[planes] = kzp::InkLevels::of(*f.mode, p);
            amount[p].resize(size_t(f.width_px));
            level[p].resize(size_t(f.width_px));
            out[p] = amount[p].data();
            inks[planes] = p;
            planeAmounts[planes] = amount[p].data();
            planeLevels[planes++] = level[p].data();
        }
        auto halftoners = kzp::PlaneHalftoners::make(quality ? kzp::HalftoneMethod::Quality : kzp::HalftoneMethod::Fast,
                                                     levels, inks, planes, f.width_px);
        for (int32_t y = 0; y < f.height_px; ++y) {
            separator->line(page.rgb.data() + size_t(y) * size_t(f.width_px) * 3, f.width_px, out);
            halftoners->line(y, planeAmounts, planeLevels);
        }
        benchmark::DoNotOptimize(level);
    }
    state.counters["Mpixel/s"] = benchmark::Counter(double(f.width_px) * f.height_px / 1e6,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

void everyMode(benchmark::internal::Benchmark* b) {
    for (int mode : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15}) b->Arg(mode);
    b->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
}

BENCHMARK(WholePage)->Apply(everyMode);
BENCHMARK(SeparateAndHalftone)->Apply(everyMode);

}  // namespace
