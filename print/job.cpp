// Streaming: drives the driver's job calls and hands its output to the sink.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kzrqo317/kzrqo317.h"
#include "kzrqo317/print.h"
#include "print/colour.h"
#include "print/halftone.h"
#include "print/job_observer.h"
#include "print/mode_tables.h"
#include "print/setup.h"
#include "print/driver_job.h"

namespace kzp {

// One line on its way: the caller's pixels, copied, and what the driver gets.
struct LineSlot {
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> packed[7];
    RasterInfo raster{};
    bool inked = false;
};

// Lines in flight between separation and halftoning on the page's worker
// thread and the driver's calls on the caller's thread: enough to ride out
// the driver's uneven pace per line, few enough to stay in the caches.
constexpr int kLinesInFlight = 32;
// Each side sleeps until the other has a batch for it, not a line: a wake-up
// per line costs more than the line on a busy machine.
constexpr int kWakeBatch = 8;

}  // namespace kzp

struct kzp_job {
    ~kzp_job() { stopWorker(); }
    void stopWorker() {
        if (!worker.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        workReady.notify_one();
        worker.join();
    }

    kzp::Setup setup;
    kzp_settings settings{};
    std::string iccPath;
    kzp_sink sink{};
    kzp::DriverJob driver;
    std::string message;
    kzp_status failure = KZP_OK;
    bool finished = false;
    kzp_status finishResult = KZP_OK;

    // The page being printed.
    bool pageOpen = false;
    int pages = 0;
    kzp_input input = KZP_INPUT_RGB8;
    int32_t width = 0, height = 0, nextLine = 0;
    std::unique_ptr<kzp::Separator> separator;
    std::unique_ptr<kzp::PlaneHalftoners> halftoners;  // the printed planes, in order
    std::vector<uint8_t> amount[7], level[7];
    kzp::LineObserver observer;

    // The page's lines in flight (one slot when the job runs on one thread).
    // Line n lives in slots[n % slots.size()]; queued >= produced >= consumed.
    bool threaded = true;
    std::vector<kzp::LineSlot> slots;
    std::thread worker;
    std::mutex mutex;
    std::condition_variable workReady, lineReady;
    int64_t queued = 0, produced = 0, consumed = 0;  // queued and produced under `mutex`
    bool stopping = false;
    bool workerIdle = false;         // under `mutex`
    int64_t callerWaitsFor = -1;     // under `mutex`: the caller sleeps until produced reaches it

    kzp_status fail(kzp_status status, std::string why) {
        if (failure == KZP_OK) {
            failure = status;
            message = std::move(why);
        }
        return failure;
    }
};

namespace {

bool ordered(kzp_job* job) { return job && job->failure == KZP_OK; }

kzp_status failedDriver(kzp_job* job) {
    const kzp::DriverJob& d = job->driver;
    return job->fail(d.status(), d.message());
}

// Packs `n` levels into a plane's bit depth, pixel 0 in the high bits, from
// column `column`, into `out` whose bytes for those columns are clear: a
// byte at a time between the partial bytes at the ends.
template <int Bits>
void packBits(const uint8_t* level, int32_t n, int32_t column, uint8_t* out) {
    constexpr int perByte = 8 / Bits;
    const auto one = [&](int32_t x) {
        const int32_t c = column + x;
        out[c / perByte] = uint8_t(out[c / perByte] | level[x] << (8 - Bits * (c % perByte + 1)));
    };
    int32_t x = 0;
    for (; x < n && (column + x) % perByte; ++x) one(x);
    uint8_t* o = out + (column + x) / perByte;
    for (; x + perByte <= n; x += perByte) {
        unsigned byte = 0;
        for (int i = 0; i < perByte; ++i) byte = byte << Bits | level[x + i];
        *o++ = uint8_t(byte);
    }
    for (; x < n; ++x) one(x);
}

void pack(const uint8_t* level, int32_t n, int bits, int32_t column, uint8_t* out) {
    switch (bits) {
    case 1: packBits<1>(level, n, column, out); break;
    case 2: packBits<2>(level, n, column, out); break;
    default: packBits<4>(level, n, column, out); break;
    }
}

size_t inputLineBytes(kzp_input input, int32_t width) {
    switch (input) {
        case KZP_INPUT_GRAY8: return size_t(width);
        case KZP_INPUT_RGB8: return size_t(width) * 3;
        case KZP_INPUT_CMYK8: return size_t(width) * 4;
        case KZP_INPUT_BLACK1: return (size_t(width) + 7) / 8;
    }
    return 0;
}

// Separation, halftoning and packing of page line `y` into `slot`: the
// worker's part, or the caller's when the job runs on one thread.
void produceLine(kzp_job* job, int32_t y, const void* pixels, kzp::LineSlot& slot) {
    const kzp_mode_info& mode = *job->setup.format.mode;
    uint8_t* amounts[7] = {};
    const uint8_t* planeAmounts[7];
    uint8_t* planeLevels[7];
    int planes = 0;
    for (int p = 0; p < 7; ++p)
        if (mode.bit_depth[p]) {
            amounts[p] = job->amount[p].data();
            planeAmounts[planes] = amounts[p];
            planeLevels[planes++] = job->level[p].data();
        }
    job->separator->line(pixels, job->width, amounts);
    job->halftoners->line(y, planeAmounts, planeLevels);

    RasterInfo& line = slot.raster;
    line = RasterInfo{};
    line.LineNo = uint32_t(job->setup.rasterTop + y);
    const int32_t column = job->setup.rasterLeft;
    slot.inked = false;
    int entry = 0;
    for (int p = 0; p < 7; ++p) {
        if (!mode.bit_depth[p]) continue;
        PlaneRaster& pr = line.Plane[entry++];
        const uint8_t* level = job->level[p].data();
        const uint8_t* end = level + job->width;
        const uint8_t* begin = level;
        const uint8_t* first = std::find_if(begin, end, [](uint8_t v) { return v != 0; });
        if (first == end) continue;
        const uint8_t* last = end - 1;
        while (*last == 0) --last;
        const int bits = mode.bit_depth[p];
        uint8_t* out = slot.packed[p].data();
        const int32_t from = column + int32_t(first - level), to = column + int32_t(last - level);
        std::memset(out + from * bits / 8, 0, size_t(to * bits / 8 - from * bits / 8 + 1));
        pack(first, int32_t(last - first) + 1, bits, from, out);
        pr.Data = out;
        pr.Width = uint16_t(to + 1);
        pr.Left = uint16_t(from);
        pr.Right = 0;
        slot.inked = true;
    }
}

// The caller's part: the line to the driver, whose output goes to the sink.
bool deliver(kzp_job* job, const kzp::LineSlot& slot) {
    if (!slot.inked) return true;  // blank lines are not sent: the driver feeds over them
    if (job->observer) job->observer(slot.raster);
    if (!job->driver.line(slot.raster)) {
        failedDriver(job);
        return false;
    }
    return true;
}

// Gives the driver the lines the worker has finished, in order; with `wait`,
// waits for at least the oldest line in flight. False once the driver failed.
bool deliverReady(kzp_job* job, bool wait) {
    int64_t ready;
    {
        std::unique_lock<std::mutex> lock(job->mutex);
        if (wait && job->produced == job->consumed) {
            job->callerWaitsFor = std::min(job->consumed + kzp::kWakeBatch, job->queued);
            job->workReady.notify_one();
            job->lineReady.wait(lock, [&] { return job->produced >= job->callerWaitsFor; });
            job->callerWaitsFor = -1;
        }
        ready = job->produced;
    }
    for (; job->consumed < ready; ++job->consumed)
        if (!deliver(job, job->slots[size_t(job->consumed) % job->slots.size()])) return false;
    return true;
}

void workerLoop(kzp_job* job) {
    for (;;) {
        int64_t n;
        {
            std::unique_lock<std::mutex> lock(job->mutex);
            while (!job->stopping && job->produced == job->queued) {
                job->workerIdle = true;
                job->workReady.wait(lock);
            }
            job->workerIdle = false;
            if (job->stopping) return;
            n = job->produced;
        }
        kzp::LineSlot& slot = job->slots[size_t(n) % job->slots.size()];
        produceLine(job, int32_t(n), slot.pixels.data(), slot);
        bool wake;
        {
            std::lock_guard<std::mutex> lock(job->mutex);
            ++job->produced;
            wake = job->callerWaitsFor >= 0 && job->produced >= job->callerWaitsFor;
        }
        if (wake) job->lineReady.notify_one();
    }
}

}  // namespace

namespace kzp {
void setLineObserver(kzp_job* job, LineObserver observer) { job->observer = std::move(observer); }

int dotsPerPixel(const kzp_mode_info& mode, int plane) {
    return dotsPerPixel(mode.media_code, mode.quality_code, plane);
}
}  // namespace kzp

extern "C" {

KZ_VISIBLE kzp_job* kzp_job_open(const kzp_settings* s, const kzp_sink* sink, char* message, size_t size) {
    const auto refuse = [&](const std::string& why) -> kzp_job* {
        if (message && size) std::snprintf(message, size, "%s", why.c_str());
        return nullptr;
    };
    auto job = std::make_unique<kzp_job>();
    std::string why;
    if (!kzp::readSettings(s, job->settings, why) || !kzp::readSink(sink, job->sink, why)) return refuse(why);
    if (!job->sink.write && job->sink.fd < 0) return refuse("the sink has neither a callback nor a file descriptor");
    if (!kzp::resolveSetup(job->settings, job->setup, why)) return refuse(why);
    if (job->settings.icc_profile) job->iccPath = job->settings.icc_profile;
    job->settings.icc_profile = job->iccPath.empty() ? nullptr : job->iccPath.c_str();
    // Tests and measurements compare with the job on one thread.
    const char* oneThread = std::getenv("KZP_ONE_THREAD");
    job->threaded = !(oneThread && *oneThread && std::strcmp(oneThread, "0") != 0);
    if (job->settings.icc_profile) {
        // A profile that cannot be used is refused before any byte goes out.
        if (!kzp::Separator::make(*job->setup.format.mode, KZP_INPUT_RGB8, job->settings.icc_profile, &why))
            return refuse(why.empty() ? "the colour profile cannot be used" : why);
    }
    if (!job->driver.open(job->setup, job->sink)) return refuse(job->driver.message());
    if (message && size) message[0] = '\0';
    return job.release();
}

KZ_VISIBLE kzp_status kzp_job_begin_page(kzp_job* job, kzp_input input, int32_t width, int32_t height) {
    if (!job) return KZP_ERR_ORDER;
    if (!ordered(job)) return job->failure;
    if (job->finished || job->pageOpen) return job->fail(KZP_ERR_ORDER, "a page was begun while another was open");
    const kzp_page_format& f = job->setup.format;
    if (input < KZP_INPUT_GRAY8 || input > KZP_INPUT_BLACK1)
        return job->fail(KZP_ERR_INPUT, "unknown input format " + std::to_string(int(input)));
    if (width < 1 || height < 1 || width > f.width_px || height > f.height_px)
        return job->fail(KZP_ERR_INPUT, "a page of " + std::to_string(width) + " x " + std::to_string(height) +
                                            " pixels does not fit the printable area of " +
                                            std::to_string(f.width_px) + " x " + std::to_string(f.height_px));
    std::string why;
    job->separator = kzp::Separator::make(*f.mode, input, job->settings.icc_profile, &why);
    if (!job->separator) return job->fail(KZP_ERR_PROFILE, why.empty() ? "the colour profile cannot be used" : why);
    const kzp_dither d = job->settings.dither;
    const bool quality = d == KZP_DITHER_QUALITY || (d == KZP_DITHER_AUTO && f.mode->quality >= KZP_QUALITY_HIGH);
    const int32_t lineBytes = job->setup.rasterWidth + 8;
    kzp::InkLevels levels[7];
    int inks[7], planes = 0;
    for (int p = 0; p < 7; ++p) {
        if (!f.mode->bit_depth[p]) continue;
        levels[planes] = kzp::InkLevels::of(*f.mode, p);
        inks[planes++] = p;
        job->amount[p].assign(size_t(width), 0);
        job->level[p].assign(size_t(width), 0);
    }
    job->halftoners = kzp::PlaneHalftoners::make(quality ? kzp::HalftoneMethod::Quality : kzp::HalftoneMethod::Fast,
                                                 levels, inks, planes, width);
    job->slots.resize(job->threaded ? size_t(kzp::kLinesInFlight) : 1);
    for (kzp::LineSlot& slot : job->slots) {
        slot.pixels.assign(inputLineBytes(input, width), 0);
        for (int p = 0; p < 7; ++p)
            if (f.mode->bit_depth[p]) slot.packed[p].assign(size_t(lineBytes), 0);
    }
    if (!job->driver.beginPage()) return failedDriver(job);
    job->input = input;
    job->width = width;
    job->height = height;
    job->nextLine = 0;
    job->queued = job->produced = job->consumed = 0;
    job->stopping = false;
    job->workerIdle = false;
    job->callerWaitsFor = -1;
    if (job->threaded) {
        try {
            job->worker = std::thread(workerLoop, job);
        } catch (...) {
            // No thread to be had: the page runs on the caller's thread alone.
        }
    }
    job->pageOpen = true;
    return KZP_OK;
}

KZ_VISIBLE kzp_status kzp_job_write_line(kzp_job* job, const void* pixels) {
    if (!job) return KZP_ERR_ORDER;
    if (!ordered(job)) return job->failure;
    if (!job->pageOpen) return job->fail(KZP_ERR_ORDER, "a line was written outside a page");
    if (job->nextLine >= job->height)
        return job->fail(KZP_ERR_INPUT, "more lines than the page's " + std::to_string(job->height));
    if (!pixels) return job->fail(KZP_ERR_INPUT, "a line without pixels");
    const int32_t y = job->nextLine++;
    if (!job->worker.joinable()) {
        kzp::LineSlot& slot = job->slots[0];
        produceLine(job, y, pixels, slot);
        return deliver(job, slot) ? KZP_OK : job->failure;
    }
    // Hand the driver what is ready; wait only for a free slot.  A driver
    // failure stops the worker at once.
    if (!deliverReady(job, false) ||
        (job->queued - job->consumed == int64_t(job->slots.size()) && !deliverReady(job, true))) {
        job->stopWorker();
        return job->failure;
    }
    kzp::LineSlot& slot = job->slots[size_t(y) % job->slots.size()];
    std::memcpy(slot.pixels.data(), pixels, slot.pixels.size());
    bool wake;
    {
        std::lock_guard<std::mutex> lock(job->mutex);
        ++job->queued;
        wake = job->workerIdle && job->queued - job->produced >= kzp::kWakeBatch;
    }
    if (wake) job->workReady.notify_one();
    return KZP_OK;
}

KZ_VISIBLE kzp_status kzp_job_end_page(kzp_job* job) {
    if (!job) return KZP_ERR_ORDER;
    if (!job->pageOpen) return job->failure != KZP_OK ? job->failure : job->fail(KZP_ERR_ORDER, "no page to end");
    job->pageOpen = false;
    // The lines still in flight go to the driver, unless it has failed.
    if (job->worker.joinable())
        while (ordered(job) && job->consumed < job->queued) deliverReady(job, true);
    job->stopWorker();
    job->separator.reset();
    if (!ordered(job)) return job->failure;
    if (!job->driver.endPage()) return failedDriver(job);
    ++job->pages;
    return KZP_OK;
}

KZ_VISIBLE kzp_status kzp_job_finish(kzp_job* job) {
    if (!job) return KZP_ERR_ORDER;
    if (job->finished) return job->finishResult;
    if (job->pageOpen) kzp_job_end_page(job);
    if (ordered(job) && !job->driver.finish()) failedDriver(job);
    job->driver.close();
    job->finished = true;
    job->finishResult = job->failure;
    return job->finishResult;
}

KZ_VISIBLE kzp_status kzp_job_close(kzp_job* job) {
    if (!job) return KZP_OK;
    const kzp_status r = kzp_job_finish(job);
    delete job;
    return r;
}

KZ_VISIBLE const kzp_page_format* kzp_job_format(const kzp_job* job) { return job ? &job->setup.format : nullptr; }

KZ_VISIBLE const char* kzp_job_message(const kzp_job* job) {
    if (!job) return "no job";
    return job->message.c_str();
}

}
