// The driver running out of memory at the allocations of a job in turn:
// the pipeline either prints the job (the driver's repeated hand-outs), or
// stops with KZP_ERR_MEMORY, its sink holding whole hand-outs of whole frames,
// and nothing leaks.  Links the driver's static archive for its fault seam.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kzrqo317/print.h"
#include "platform/fault_injection.h"
#include "stream_reader/stream.h"

namespace {

int appendBytes(void* ctx, const uint8_t* bytes, size_t size) {
    auto* out = static_cast<std::vector<uint8_t>*>(ctx);
    out->insert(out->end(), bytes, bytes + size);
    return 0;
}

struct JobRun {
    kzp_status status;
    std::string message;
    std::vector<uint8_t> bytes;
};

JobRun printJob(const kzp_settings& s) {
    JobRun r{KZP_OK, "", {}};
    kzp_sink sink = kzp_sink_callback(appendBytes, &r.bytes);
    char why[512];
    kzp_job* job = kzp_job_open(&s, &sink, why, sizeof why);
    if (!job) return {KZP_ERR_MEMORY, why, {}};
    std::vector<uint8_t> line(240 * 3);
    for (int page = 0; page < 2; ++page) {
        if (kzp_job_begin_page(job, KZP_INPUT_RGB8, 240, 120) != KZP_OK) break;
        for (int32_t y = 0; y < 120; ++y) {
            for (size_t i = 0; i < line.size(); ++i) line[i] = uint8_t(i * 3 + size_t(y) * 5 + size_t(page) * 60);
            if (kzp_job_write_line(job, line.data()) != KZP_OK) break;
        }
        if (kzp_job_end_page(job) != KZP_OK) break;
    }
    r.status = kzp_job_finish(job);
    r.message = kzp_job_message(job);
    kzp_job_close(job);
    return r;
}

TEST(PrintFaults, FailingAllocationsEndTheJobCleanly) {
    for (int roll = 0; roll < 2; ++roll) {
        kzp_settings s = kzp_settings_default();
        s.paper = "oe_photo-l_3.5x5in";
        s.quality = KZP_QUALITY_DRAFT;  // one pass: many jobs stay quick
        s.roll = roll;
        SCOPED_TRACE(roll ? "roll" : "sheets");
        const int64_t live = kz::platform::liveBlocks();
        const uint64_t before = kz::platform::allocationCount();
        const JobRun clean = printJob(s);
        const uint64_t allocations = kz::platform::allocationCount() - before;
        ASSERT_EQ(clean.status, KZP_OK) << clean.message;
        ASSERT_GT(allocations, 10u);
        int printed = 0, stopped = 0;
        // Every one of the job's first allocations (job and page set-up, the
        // first scans), then every 5th: the store's blocks repeat per page.
        for (uint64_t n = 1; n <= allocations; n += n < 64 ? 1 : 5) {
            kz::platform::failAllocation(uint32_t(n));
            const JobRun r = printJob(s);
            kz::platform::resetFaults();
            SCOPED_TRACE("allocation " + std::to_string(n));
            EXPECT_EQ(kz::platform::liveBlocks(), live) << "nothing leaks";
            // Whole frames only: a stopped job may end inside a page, never inside a frame.
            const kzinspect::Stream stream = kzinspect::inspect(r.bytes);
            const bool whole = stream.ok() ||
                               (r.status != KZP_OK && stream.error->kind == kzinspect::ErrorKind::Incomplete &&
                                stream.error->offset == r.bytes.size());
            EXPECT_TRUE(whole) << "status " << r.status << " (" << r.message << "), "
                               << (stream.error ? stream.error->message : "");
            if (r.status == KZP_OK) {
                ++printed;
                EXPECT_EQ(stream.pages.size(), 2u);
            } else {
                ++stopped;
                EXPECT_EQ(r.status, KZP_ERR_MEMORY) << r.message;
                EXPECT_NE(r.message.find("memory"), std::string::npos) << r.message;
                EXPECT_LE(r.bytes.size(), clean.bytes.size());
            }
        }
        EXPECT_GT(stopped, 0);
    }
}

}  // namespace
