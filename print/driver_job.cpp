// Driving the driver's job calls and reading their hand-outs.
#include "print/driver_job.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kzp {
namespace {

// A call that ran out of memory for its hand-out alone is repeated this often.
constexpr int kRepeats = 4;

std::string code(int32_t r) { return std::to_string(r); }

}  // namespace

bool DriverJob::fail(kzp_status status, std::string why) {
    if (status_ == KZP_OK) {
        status_ = status;
        message_ = std::move(why);
    }
    return false;
}

bool DriverJob::open(const Setup& s, const kzp_sink& sink) {
    sink_ = sink;
    roll_ = s.roll;
    info_ = PrintInfo{};
    info_.MediaType = s.mediaCode;
    info_.PrintQuality = s.qualityCode;
    info_.PaperSize = s.paperCode;
    info_.Monochrome = s.mono ? 1 : 0;
    info_.MarginInfo = s.borderless ? 1 : 0;
    info_.BannerPaper = s.roll ? 1 : 0;
    if (OutputOpen(&handle_) != KZ_OPEN_OK) return fail(KZP_ERR_MEMORY, "the driver could not open a job (out of memory)");
    const int32_t r = OutputInitTwo(&handle_, &info_, KZ_PRINTER_MODEL);
    if (r == KZ_NO_MEMORY) return fail(KZP_ERR_MEMORY, "the driver ran out of memory setting up the job");
    if (r != KZ_OK) return fail(KZP_ERR_DRIVER, "the driver refused the job's settings (" + code(r) + ")");
    return true;
}

bool DriverJob::beginPage() {
    if (status_ != KZP_OK) return false;
    const int32_t r = OutputInitPart(&handle_, &info_);
    if (r == KZ_NO_MEMORY) return fail(KZP_ERR_MEMORY, "the driver ran out of memory starting a page");
    if (r != KZ_OK) return fail(KZP_ERR_DRIVER, "the driver refused to start a page (" + code(r) + ")");
    return true;
}

bool DriverJob::line(const RasterInfo& line) {
    // A line whose hand-out could not be made is not repeated: its output
    // goes out ahead of the next call's.
    return handOut("a raster line", [&](uint32_t* out) { return OutputProduceTwo(&handle_, &line, out); }, false);
}

bool DriverJob::endPage() {
    if (status_ != KZP_OK) return false;
    if (!roll_) return handOut("the page's end", [&](uint32_t* out) { return OutputFlush(&handle_, out); }, true);
    const int32_t r = OutputFormFeed(&handle_);
    if (r == KZ_NO_MEMORY) return fail(KZP_ERR_MEMORY, "the driver ran out of memory ending a roll page; output was lost");
    if (r != KZ_OK) return fail(KZP_ERR_DRIVER, "the driver refused the form feed (" + code(r) + ")");
    OutputComplete(&handle_);
    return true;
}

bool DriverJob::finish() {
    if (status_ != KZP_OK) return false;
    if (!roll_) return true;
    return handOut("the job's end", [&](uint32_t* out) { return OutputFlush(&handle_, out); }, true);
}

void DriverJob::close() {
    if (handle_) OutputClose(&handle_);
    handle_ = 0;
}

template <typename Call>
bool DriverJob::handOut(const char* what, Call call, bool repeat) {
    if (status_ != KZP_OK) return false;
    for (int attempt = 0;; ++attempt) {
        uint32_t out = 0;
        const int32_t r = call(&out);
        if (attempt > 0 && r == KZ_OUT_OF_ORDER)
            return fail(KZP_ERR_MEMORY, std::string("the driver ran out of memory on ") + what +
                                            " and did not take the call again; output was lost");
        if (r != KZ_OK && r != KZ_NO_MEMORY)
            return fail(KZP_ERR_DRIVER, std::string("the driver refused ") + what + " (" + code(r) + ")");
        bool any = false;
        pending_.clear();
        const bool read = out == 0 || collect(out, any);
        if (!read) {
            OutputComplete(&handle_);
            return false;
        }
        if (r == KZ_NO_MEMORY && any) {
            // The call left part of its output out: stop before the gap.
            OutputComplete(&handle_);
            return fail(KZP_ERR_MEMORY, std::string("the driver ran out of memory on ") + what + "; output was lost");
        }
        const bool ok = write(pending_.data(), pending_.size());
        // After a hand-out the driver waits for this; after nothing handed
        // out it may refuse it as out of order, which changes nothing.
        OutputComplete(&handle_);
        if (!ok) return false;
        if (r == KZ_OK) return true;
        if (!repeat) return true;
        if (attempt + 1 == kRepeats)
            return fail(KZP_ERR_MEMORY, std::string("the driver kept running out of memory on ") + what);
    }
}

bool DriverJob::collect(uint32_t handle, bool& any) {
    const auto* info = static_cast<const DataInfo*>(KRVSLockHNDL(handle));
    if (!info) return fail(KZP_ERR_DRIVER, "the driver handed out an output record that does not lock");
    bool ok = true;
    if (info->EntryCount > 0) {
        const auto* list = static_cast<const DataList*>(KRVSLockHNDL(info->ListHandle));
        if (!list) {
            ok = fail(KZP_ERR_DRIVER, "the driver handed out an output list that does not lock");
        } else {
            // The list ends with an all-zero entry; EntryCount bounds the reading.
            for (uint32_t i = 0; i <= info->EntryCount; ++i) {
                const DataList& e = list[i];
                if (e.BlockHandle == 0 && e.ByteCount == 0) break;
                if (i == info->EntryCount) {
                    ok = fail(KZP_ERR_DRIVER, "the driver's output list has no end");
                    break;
                }
                if (e.ByteCount == 0) continue;
                const auto* bytes = static_cast<const uint8_t*>(KRVSLockHNDL(e.BlockHandle));
                if (!bytes) {
                    ok = fail(KZP_ERR_DRIVER, "the driver handed out an output block that does not lock");
                    break;
                }
                pending_.insert(pending_.end(), bytes, bytes + e.ByteCount);
                KRVSUnlockHNDL(e.BlockHandle);
                any = true;
            }
            KRVSUnlockHNDL(info->ListHandle);
        }
    }
    KRVSUnlockHNDL(handle);
    return ok;
}

bool DriverJob::write(const uint8_t* bytes, size_t size) {
    if (size == 0) return true;
    if (sink_.write) {
        if (sink_.write(sink_.ctx, bytes, size) != 0) return fail(KZP_ERR_SINK, "the output callback refused the bytes");
        written_ += size;
        return true;
    }
    while (size > 0) {
        const ssize_t n = ::write(sink_.fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(KZP_ERR_SINK, std::string("cannot write the output: ") + std::strerror(n < 0 ? errno : EIO));
        bytes += n;
        size -= size_t(n);
        written_ += uint64_t(n);
    }
    return true;
}

}  // namespace kzp
