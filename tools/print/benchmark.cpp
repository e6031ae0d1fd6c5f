// --benchmark: one A4 photo page per print mode, from 8-bit RGB in memory to
// printer bytes (counted, not kept), timed from opening the job to closing it.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "options.h"
#include "test_page/photo_page.h"

namespace kzprint {
namespace {

// CPU time of the process, and of the calling thread alone (the job
// halftones on a thread of its own): on a loaded machine the wall clock says
// little, and the caller's share bounds the wall time on an idle one.
double cpuSeconds(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

int countBytes(void* ctx, const uint8_t*, size_t size) {
    *static_cast<uint64_t*>(ctx) += size;
    return 0;
}

}  // namespace

int runBenchmark(const Options& o) {
    // One combination per print mode, A4 sheets; borderless where the mode is borderless only.
    const size_t n = kzp_mode_count();
    std::map<int, const kzp_mode_info*> perMode;
    for (size_t i = 0; i < n; ++i)
        if (kzp_mode_at(i)->paper_code == 3 && !kzp_mode_at(i)->roll) perMode.emplace(kzp_mode_at(i)->print_mode, kzp_mode_at(i));
    std::map<std::pair<int32_t, int32_t>, std::vector<uint8_t>> pages;
    std::printf("%-4s %-12s %-7s %-10s %-10s %9s %11s %8s %8s %8s %9s %10s\n", "mode", "media", "quality", "colour",
                "borderless", "dpi", "pixels", "seconds", "cpu s", "caller s", "Mpixel/s", "bytes");
    for (const auto& [mode, m] : perMode) {
        // Mode numbers given on the command line pick the modes timed.
        if (!o.files.empty() && std::find(o.files.begin(), o.files.end(), std::to_string(mode)) == o.files.end())
            continue;
        kzp_settings s = kzp_settings_default();
        s.paper = m->paper;
        s.media = m->media;
        s.quality = m->quality;
        s.mono = m->mono;
        s.borderless = m->borderless;
        kzp_page_format f = kzp_page_format_empty();
        char why[1024];
        if (kzp_resolve(&s, &f, why, sizeof why) != KZP_OK) {
            std::fprintf(stderr, "kzrqo317-print: %s\n", why);
            return 1;
        }
        auto& rgb = pages[{f.width_px, f.height_px}];
        if (rgb.empty()) rgb = photoPage(f.width_px, f.height_px);
        uint64_t bytes = 0;
        kzp_sink sink = kzp_sink_callback(countBytes, &bytes);
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = cpuSeconds();
        const double callerStart = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        kzp_job* job = kzp_job_open(&s, &sink, why, sizeof why);
        kzp_status status = job ? kzp_job_begin_page(job, KZP_INPUT_RGB8, f.width_px, f.height_px) : KZP_ERR_SETTINGS;
        for (int32_t y = 0; y < f.height_px && status == KZP_OK; ++y)
            status = kzp_job_write_line(job, rgb.data() + size_t(y) * size_t(f.width_px) * 3);
        if (status == KZP_OK) status = kzp_job_end_page(job);
        if (status == KZP_OK) status = kzp_job_finish(job);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = cpuSeconds() - cpuStart;
        const double caller = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - callerStart;
        if (status != KZP_OK) {
            std::fprintf(stderr, "kzrqo317-print: mode %d: %s\n", mode, job ? kzp_job_message(job) : why);
            kzp_job_close(job);
            return 1;
        }
        kzp_job_close(job);
        const double pixels = double(f.width_px) * f.height_px;
        std::printf("%-4d %-12s %-7s %-10s %-10s %4dx%-4d %11.0f %8.3f %8.3f %8.3f %9.1f %10llu\n", mode, m->media,
                    kzp_quality_name(m->quality), m->mono ? "black-only" : "colour", m->borderless ? "yes" : "no",
                    m->xdpi, m->ydpi, pixels, seconds, cpu, caller, pixels / seconds / 1e6, (unsigned long long)bytes);
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace kzprint
