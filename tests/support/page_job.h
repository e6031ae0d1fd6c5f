// Whole print jobs through the public calls, with every byte handed out
// collected in order.  Free of the test framework: the golden-stream writer
// runs the same jobs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kzrqo317/kzrqo317.h"

namespace kz::test {

// The caller's settings of a job; every page uses them.
struct JobSettings {
    int16_t media = 0;
    int16_t quality = 15;
    int16_t margin = 0;  // 1 borderless
    int16_t mono = 0;    // 1 black only
    int16_t paper = 3;
    bool banner = false;

    PrintInfo printInfo() const {
        PrintInfo info{};
        info.MediaType = media;
        info.PrintQuality = quality;
        info.MarginInfo = margin;
        info.Monochrome = mono;
        info.PaperSize = paper;
        info.BannerPaper = banner ? 1 : 0;
        return info;
    }
};

// The caller lines of one page.
class PageSource {
public:
    virtual ~PageSource() = default;
    // Caller lines offered, numbered 0 .. lines() - 1.
    virtual int lines() const = 0;
    // Fills `line` with caller line y; false when the caller leaves it out.
    // The pixels stay valid until the next call.
    virtual bool line(int y, RasterInfo* line) = 0;
};

// The bytes of one hand-out, read through its DataInfo and DataList.
inline std::vector<uint8_t> handOutBytes(uint32_t dataInfoHandle) {
    std::vector<uint8_t> bytes;
    const auto* info = static_cast<const DataInfo*>(KRVSLockHNDL(dataInfoHandle));
    if (info == nullptr) return bytes;
    const auto* list = static_cast<const DataList*>(KRVSLockHNDL(info->ListHandle));
    if (list == nullptr) return bytes;
    for (unsigned i = 0; i < info->EntryCount; ++i) {
        const auto* block = static_cast<const uint8_t*>(KRVSLockHNDL(list[i].BlockHandle));
        if (block != nullptr) bytes.insert(bytes.end(), block, block + list[i].ByteCount);
    }
    return bytes;
}

struct JobRun {
    std::vector<uint8_t> stream;  // every hand-out, in order
    int32_t failure = KZ_OK;      // the first call that did not succeed
    std::string failedCall;
};

// Called with each line before the library takes it (page index, line).
using LineObserver = std::function<void(int, const RasterInfo&)>;

// Prints the pages in one job: cut-sheet pages end with a flush each, banner
// pages with a form feed and the job with one flush.
inline JobRun runJob(const JobSettings& settings, const std::vector<PageSource*>& pages,
                     const LineObserver& observe = {}) {
    JobRun run;
    const PrintInfo info = settings.printInfo();
    uint32_t job = 0, out = 0;
    const auto check = [&](int32_t result, const char* call) {
        if (result != KZ_OK && run.failure == KZ_OK) {
            run.failure = result;
            run.failedCall = call;
        }
        return result == KZ_OK;
    };
    const auto take = [&](int32_t result, const char* call) {
        if (!check(result, call)) return false;
        const std::vector<uint8_t> bytes = handOutBytes(out);
        run.stream.insert(run.stream.end(), bytes.begin(), bytes.end());
        return check(OutputComplete(&job), "OutputComplete");
    };
    if (OutputOpen(&job) != KZ_OPEN_OK) {
        run.failure = KZ_OPEN_FAILED;
        run.failedCall = "OutputOpen";
        return run;
    }
    bool ok = check(OutputInitTwo(&job, &info, KZ_PRINTER_MODEL), "OutputInitTwo");
    for (size_t p = 0; ok && p < pages.size(); ++p) {
        ok = check(OutputInitPart(&job, &info), "OutputInitPart");
        for (int y = 0; ok && y < pages[p]->lines(); ++y) {
            RasterInfo line{};
            if (!pages[p]->line(y, &line)) continue;
            if (observe) observe(static_cast<int>(p), line);
            ok = take(OutputProduceTwo(&job, &line, &out), "OutputProduceTwo");
        }
        if (!ok) break;
        if (settings.banner) {
            ok = check(OutputFormFeed(&job), "OutputFormFeed") && check(OutputComplete(&job), "OutputComplete");
        } else {
            ok = take(OutputFlush(&job, &out), "OutputFlush");
        }
    }
    if (ok && settings.banner) take(OutputFlush(&job, &out), "OutputFlush");
    OutputClose(&job);
    return run;
}

}  // namespace kz::test
