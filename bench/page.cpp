// Whole pages through the public job calls: one A4 page (4,960 x 7,016
// pixels at 600 dpi, fewer caller pixels and lines where a mode takes them
// coarser) per iteration, in every print mode a setting selects, with four
// contents:
//   full   every pixel of every plane at the highest level the mode prints
//   photo  smooth gradients through every level, a different one per plane
//   text   sparse glyph strokes, black (or the colour planes together where a
//          mode has no black) and every fifth row of glyphs in one colour
//   bands  the text page's first and last 80 lines (600 dpi), every line
//          between given blank (no plane with data)
//
// Counters (processor time of the benchmark's thread): ms per page, MB of printer bytes, and the same iteration's memcpy
// of (input bytes x the mode's passes) for scale: x_memcpy is page time over
// memcpy time.  peak_MB is the most memory the job held at once (one more
// page, outside the timing).
//
// BM_PagePreview prints the same page and draws its preview from the printer
// bytes as they are handed out (the paper view of an A4 sheet at the default
// scale, written as PNG): preview_ms is the processor time the preview took,
// x_page that over the page's own time in the same iteration, and
// preview_peak_MB the memory it held when the page ended (its most: the
// page's counts and its picture), measured as all the heap in use less the
// library's own.
//
//   build/default/bench/bench_page --benchmark_filter='mode:10/' --benchmark_repetitions=3
#include <benchmark/benchmark.h>
#include <time.h>

#include <malloc.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "kzrqo317/kzrqo317.h"
#include "param/param.h"
#include "platform/fault_injection.h"
#include "stream_reader/render.h"
#include "test_page/print_modes.h"
#ifdef KZ_STREAM_PNG
#include "stream_reader/preview.h"
#endif

namespace {

using kz::demo::PrintModeSettings;

constexpr int kPageWidth = 4960, kPageHeight = 7016;  // A4 at 600 dpi
enum Content { kFull, kPhoto, kText, kBands };
constexpr const char* kContentNames[] = {"full", "photo", "text", "bands"};
constexpr int kBandLines = 80;  // at 600 dpi

// 4x4 ordered dither thresholds, for the 1-bit planes of the photo page.
constexpr uint8_t kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// Glyph strokes in 24 x 40-pixel cells, chosen by a hash (as the demo chart).
bool glyphInk(int x, int y) {
    const int cellX = x / 24, cellY = y / 40, gx = x % 24, gy = y % 40;
    if (gx >= 18 || gy >= 32 || (cellX % 9) == 8 || (cellY % 3) == 2) return false;  // gaps, line spacing
    const unsigned h = static_cast<unsigned>(cellX * 7919 + cellY * 104729) * 2654435761u;
    return ((h & 1) && gx >= 2 && gx < 5) || ((h & 2) && gy >= 14 && gy < 17) || ((h & 4) && gy < 3) ||
           ((h & 8) && gy >= 29) || ((h & 16) && gx >= 13 && gx < 16);
}

// The page's lines repeat with a period short enough to be built beforehand
// (the page generator stays out of the timing) yet longer than any scan.
constexpr int kPeriod = 480;

struct Page {
    const PrintModeSettings& mode;
    const kz::demo::ChartFormat chart;  // what the mode takes
    int width, height;
    int band;  // lines of each band; all of them on other contents
    std::array<int, 7> planeBytes{};           // bytes of one line, by plane
    std::vector<std::vector<uint8_t>> lines;   // kPeriod lines, planes one after the other
    std::vector<std::array<bool, 7>> inked;    // by line and plane

    Page(const PrintModeSettings& m, Content content)
        : mode(m), chart(m.chart()), width(kPageWidth / chart.xScale), height(kPageHeight / chart.yScale),
          band(content == kBands ? kBandLines / chart.yScale : height) {
        for (int p = 0; p < 7; ++p) planeBytes[p] = (width * chart.bitDepth[p] + 7) / 8;
        lines.resize(kPeriod);
        inked.resize(kPeriod);
        for (int y = 0; y < kPeriod; ++y) build(content, y);
    }

    size_t lineBytes() const {
        size_t n = 0;
        for (int b : planeBytes) n += static_cast<size_t>(b);
        return n;
    }

    bool black() const { return chart.bitDepth[3] != 0; }

    int level(Content content, int p, int x, int y) const {
        const int depth = chart.bitDepth[p];
        const int top = chart.topLevel[p];
        const int x600 = x * chart.xScale, y600 = y * chart.yScale;
        switch (content) {
            case kFull: return top;
            case kPhoto: {
                // A diagonal ramp per plane, each running at its own angle.
                const int t = (x600 * (p + 2) + y600 * (7 - p)) % 2400;
                const int ramp = t < 1200 ? t : 2399 - t;  // 0..1199 and back
                if (depth == 1) return ramp * 16 / 1200 > kBayer[y & 3][x & 3] ? 1 : 0;
                return ramp * (top + 1) / 1200;
            }
            case kText:
            case kBands: {
                if (!glyphInk(x600, y600)) return 0;
                const bool colourRow = (y600 / 40) % 5 == 3;
                if (colourRow) return p == (black() ? 0 : 1) || p == 5 ? top : 0;
                return p == 3 || (!black() && p != 3) ? top : 0;
            }
        }
        return 0;
    }

    void build(Content content, int y) {
        std::vector<uint8_t>& bytes = lines[y];
        bytes.assign(lineBytes(), 0);
        size_t at = 0;
        for (int p = 0; p < 7; ++p) {
            const int depth = chart.bitDepth[p];
            inked[y][p] = false;
            for (int x = 0; depth != 0 && x < width; ++x) {
                const int v = level(content, p, x, y);
                if (v == 0) continue;
                inked[y][p] = true;
                const int bit = x * depth;
                bytes[at + bit / 8] |= static_cast<uint8_t>(v << (8 - depth - bit % 8));
            }
            at += static_cast<size_t>(planeBytes[p]);
        }
    }

    void line(int y, RasterInfo* out) const {
        *out = {};
        out->LineNo = static_cast<uint32_t>(y);
        const int k = y % kPeriod;
        const bool blank = y >= band && y < height - band;
        size_t at = 0;
        int entry = 0;
        for (int p = 0; p < 7; ++p) {
            if (chart.bitDepth[p] == 0) continue;
            out->Plane[entry++] = {inked[k][p] && !blank ? lines[k].data() + at : nullptr,
                                   static_cast<uint16_t>(width), 0, 0, 0};
            at += static_cast<size_t>(planeBytes[p]);
        }
    }
};

// This thread's processor time: the machine is shared, and time spent
// waiting for a core is no part of either measure.
double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// All the heap in use, less the library's own (what it holds now: the peak
// just reset).
int64_t heapBytes() {
    const struct mallinfo2 m = mallinfo2();
    kz::platform::resetPeakLiveBytes();
    return int64_t(m.uordblks + m.hblkhd) - kz::platform::peakLiveBytes();
}

// A page's preview, drawn from its bytes as they are handed out; the
// processor time that took, and the memory it held when the page ended.
struct Preview {
    explicit Preview(const Page& page) : renderer(options(page), measured(ready)) {}
    // The page's own sheet, A4, in 600 dpi pixels.
    static kzinspect::RenderOptions options(const Page& page) {
        kzinspect::RenderOptions o;
        o.paper.width = kPageWidth;
        o.paper.height = kPageHeight;
        for (int& margin : o.paper.margins) margin = page.mode.marginInfo == 1 ? 0 : 118;
        return o;
    }
#ifdef KZ_STREAM_PNG
    kzinspect::PreviewRenderer::PageReady ready = kzinspect::pngPages("/dev/null");
#else
    kzinspect::PreviewRenderer::PageReady ready = [](size_t, const kzinspect::Image&, std::string&) { return true; };
#endif
    int64_t before = heapBytes(), held = 0;
    kzinspect::PreviewRenderer::PageReady measured(kzinspect::PreviewRenderer::PageReady& then) {
        return [this, &then](size_t index, const kzinspect::Image& page, std::string& error) {
            held = heapBytes() - before;
            return then(index, page, error);
        };
    }
    kzinspect::PreviewRenderer renderer;
    double seconds = 0;
    void write(const uint8_t* bytes, size_t size) {
        const double begin = cpuSeconds();
        renderer.write(kzinspect::Bytes(bytes, size));
        seconds += cpuSeconds() - begin;
    }
    bool finish() {
        const double begin = cpuSeconds();
        const bool ok = renderer.finish() && renderer.pagesDrawn() == 1;
        seconds += cpuSeconds() - begin;
        return ok;
    }
};

// Counts the bytes of a hand-out, shows them to the preview, and tells the
// job they are taken.
size_t take(uint32_t* job, uint32_t dataInfo, Preview* preview) {
    size_t n = 0;
    const auto* info = static_cast<const DataInfo*>(KRVSLockHNDL(dataInfo));
    const auto* list = info != nullptr ? static_cast<const DataList*>(KRVSLockHNDL(info->ListHandle)) : nullptr;
    for (unsigned i = 0; list != nullptr && i < info->EntryCount; ++i) {
        const auto* bytes = static_cast<const uint8_t*>(KRVSLockHNDL(list[i].BlockHandle));
        if (bytes != nullptr) {
            benchmark::DoNotOptimize(bytes[0]);
            n += list[i].ByteCount;
            if (preview != nullptr) preview->write(bytes, list[i].ByteCount);
        }
    }
    OutputComplete(job);
    return n;
}

// One page as a job; the printer bytes, or 0 when a call fails.
size_t printPage(const Page& page, Preview* preview = nullptr) {
    PrintInfo settings = kz::demo::printInfoFor(page.mode, 3, 0);
    uint32_t job = 0, out = 0;
    size_t bytes = 0;
    if (OutputOpen(&job) != KZ_OPEN_OK) return 0;
    bool ok = OutputInitTwo(&job, &settings, KZ_PRINTER_MODEL) == KZ_OK &&
              OutputInitPart(&job, &settings) == KZ_OK;
    for (int y = 0; ok && y < page.height; ++y) {
        RasterInfo line;
        page.line(y, &line);
        ok = OutputProduceTwo(&job, &line, &out) == KZ_OK;
        if (ok) bytes += take(&job, out, preview);
    }
    ok = ok && OutputFlush(&job, &out) == KZ_OK;
    if (ok) bytes += take(&job, out, preview);
    OutputClose(&job);
    if (preview != nullptr && !preview->finish()) return 0;
    return ok ? bytes : 0;
}

// memcpy of `total` bytes, a page's input at a time (at most 64 MB).
double memcpySeconds(size_t total, std::vector<uint8_t>& from, std::vector<uint8_t>& to) {
    const double begin = cpuSeconds();
    for (size_t done = 0; done < total;) {
        const size_t n = std::min(total - done, from.size());
        std::memcpy(to.data(), from.data(), n);
        benchmark::ClobberMemory();
        done += n;
    }
    return cpuSeconds() - begin;
}

void BM_Page(benchmark::State& state) {
    const PrintModeSettings& mode = *kz::demo::findPrintMode(static_cast<int>(state.range(0)));
    const auto content = static_cast<Content>(state.range(1));
    const Page page(mode, content);
    const size_t input = page.lineBytes() * static_cast<size_t>(page.height);
    const size_t copied = input * static_cast<size_t>(GetPassNum(mode.mode));
    std::vector<uint8_t> from(std::min<size_t>(input, 64u << 20), 1), to(from.size(), 0);

    size_t bytes = 0;
    double pageSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        const double begin = cpuSeconds();
        bytes = printPage(page);
        const double seconds = cpuSeconds() - begin;
        state.SetIterationTime(seconds);
        pageSeconds += seconds;
        copySeconds += memcpySeconds(copied, from, to);
    }
    if (bytes == 0) {
        state.SkipWithError("the job failed");
        return;
    }
    // The job's memory: all of it comes through the platform layer.
    kz::platform::resetPeakLiveBytes();
    const int64_t before = kz::platform::peakLiveBytes();  // the bytes held now
    printPage(page);
    const int64_t peak = kz::platform::peakLiveBytes() - before;

    const double n = static_cast<double>(state.iterations());
    state.counters["ms"] = pageSeconds / n * 1e3;
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["memcpy_ms"] = copySeconds / n * 1e3;
    state.counters["x_memcpy"] = pageSeconds / copySeconds;
    state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
    state.SetLabel(std::string(kContentNames[content]) + ", " + mode.name);
}

void BM_PagePreview(benchmark::State& state) {
    const PrintModeSettings& mode = *kz::demo::findPrintMode(static_cast<int>(state.range(0)));
    const auto content = static_cast<Content>(state.range(1));
    const Page page(mode, content);
    size_t bytes = 0;
    double pageSeconds = 0, previewSeconds = 0;
    for (auto _ : state) {
        Preview preview(page);
        const double begin = cpuSeconds();
        bytes = printPage(page, &preview);
        const double seconds = cpuSeconds() - begin;
        state.SetIterationTime(seconds);
        pageSeconds += seconds - preview.seconds;
        previewSeconds += preview.seconds;
    }
    if (bytes == 0) {
        state.SkipWithError("the job or its preview failed");
        return;
    }
    int64_t held = 0;
    {
        Preview preview(page);
        printPage(page, &preview);
        held = preview.held;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ms"] = pageSeconds / n * 1e3;
    state.counters["preview_ms"] = previewSeconds / n * 1e3;
    state.counters["x_page"] = previewSeconds / pageSeconds;
    state.counters["preview_peak_MB"] = static_cast<double>(held) / 1e6;
    state.SetLabel(std::string(kContentNames[content]) + ", " + mode.name);
}

void allModes(benchmark::internal::Benchmark* b) {
    for (const auto& m : kz::demo::kPrintModes) {
        for (int content : {kFull, kPhoto, kText, kBands}) b->Args({m.mode, content});
    }
}
BENCHMARK(BM_Page)->ArgNames({"mode", "content"})->Apply(allModes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PagePreview)
    ->ArgNames({"mode", "content"})
    ->Apply(allModes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
