// Golden streams: each job of golden_jobs.h must produce the stream whose
// SHA-256 the checksum file keeps.  A failure names the mode and the pages
// whose stream changed.  Both the 64-bit and the 32-bit build check the same
// file, so the two give byte-identical streams.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "golden/golden_jobs.h"

namespace kz::test::golden {
// Test names and messages show the mode, not the record's bytes.
inline void PrintTo(const ModeSettings& m, std::ostream* os) { *os << "mode " << m.mode; }
}  // namespace kz::test::golden

namespace {

namespace golden = kz::test::golden;
using kz::test::sha256Hex;

std::vector<std::pair<std::string, std::string>> readChecksums() {
    std::vector<std::pair<std::string, std::string>> sums;  // name, checksum
    std::ifstream file(KZ_GOLDEN_FILE);
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string sum, name;
        fields >> sum >> name;
        sums.emplace_back(name, sum);
    }
    return sums;
}

TEST(Sha256, KnownAnswers) {
    const auto of = [](const std::string& s) {
        return sha256Hex(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    };
    EXPECT_EQ(of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(of("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
                 "mnopqrstnopqrstu"),
              "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    EXPECT_EQ(of(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(GoldenFile, HoldsEveryJobOnceInOrder) {
    const auto sums = readChecksums();
    const auto jobs = golden::allJobs();
    ASSERT_EQ(sums.size(), jobs.size()) << "regenerate with scripts/regenerate-golden.sh";
    for (size_t i = 0; i < jobs.size(); ++i) EXPECT_EQ(sums[i].first, jobs[i].name);
}

class GoldenStreams : public ::testing::TestWithParam<golden::ModeSettings> {};

TEST_P(GoldenStreams, MatchTheirChecksums) {
    std::map<std::string, std::string> sums;
    for (const auto& [name, sum] : readChecksums()) sums[name] = sum;
    std::string changed;
    for (const golden::Job& job : golden::jobsOfMode(GetParam())) {
        const std::vector<uint8_t> stream = golden::printJob(job);
        ASSERT_FALSE(stream.empty()) << job.name << ": the job did not print";
        const std::string sum = sha256Hex(stream);
        if (sums[job.name] != sum) changed += "\n  " + job.name + " (now " + sum + ")";
    }
    EXPECT_TRUE(changed.empty()) << "mode " << GetParam().mode << ": the stream changed for" << changed
                                 << "\nif the change is intended and reviewed, run scripts/regenerate-golden.sh";
}

INSTANTIATE_TEST_SUITE_P(EveryMode, GoldenStreams, ::testing::ValuesIn(golden::modeSettings()),
                         [](const auto& info) { return "mode" + std::to_string(info.param.mode); });

}  // namespace
