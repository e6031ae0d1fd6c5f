// Separate jobs on separate threads: each job's stream is the one it gives
// when the jobs run one after another.  The thread sanitizer build runs this
// test to find data races between jobs (the handle table is the library's
// only state outside a job).
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "golden/golden_jobs.h"

namespace {

namespace golden = kz::test::golden;

// Eight jobs of different modes, pages and paper.
std::vector<golden::Job> eightJobs() {
    const char* names[] = {"mode00-sparse", "mode02-banner", "mode04-sparse", "mode06-dense",
                           "mode08-dense",  "mode10-sparse", "mode12-dense",  "mode13-edge-to-edge"};
    std::vector<golden::Job> jobs;
    for (const golden::Job& job : golden::allJobs())
        for (const char* name : names)
            if (job.name == name) jobs.push_back(job);
    return jobs;
}

TEST(ParallelJobs, EightThreadsGiveTheBytesOfOneAfterAnother) {
    const std::vector<golden::Job> jobs = eightJobs();
    ASSERT_EQ(jobs.size(), 8u);
    std::vector<std::vector<uint8_t>> alone;
    for (const golden::Job& job : jobs) {
        alone.push_back(golden::printJob(job));
        ASSERT_FALSE(alone.back().empty()) << job.name;
    }

    std::vector<std::vector<uint8_t>> together(jobs.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < jobs.size(); ++i)
        threads.emplace_back([&, i] { together[i] = golden::printJob(jobs[i]); });
    for (std::thread& t : threads) t.join();

    for (size_t i = 0; i < jobs.size(); ++i)
        EXPECT_TRUE(together[i] == alone[i]) << jobs[i].name << ": the stream differs when run beside other jobs";
}

}  // namespace
