// Prints the checksum file of the golden jobs: one "<sha256>  <job>" line per
// job, in job order.  With --dump DIR it also writes each job's stream to
// DIR/<job>.prn, for a look with kzrqo317-inspect before a change is taken.
#include <cstdio>
#include <cstring>
#include <string>

#include "golden/golden_jobs.h"

int main(int argc, char** argv) {
    const char* dump = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dump") == 0 && i + 1 < argc) {
            dump = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--dump DIR]\n", argv[0]);
            return 2;
        }
    }
    std::printf("# SHA-256 of each golden job's output stream (tests/golden/golden_jobs.h).\n"
                "# Written by scripts/regenerate-golden.sh; change only after reviewing the new streams.\n");
    for (const auto& job : kz::test::golden::allJobs()) {
        const std::vector<uint8_t> stream = kz::test::golden::printJob(job);
        if (stream.empty()) {
            std::fprintf(stderr, "%s: the job did not print\n", job.name.c_str());
            return 1;
        }
        std::printf("%s  %s\n", kz::test::sha256Hex(stream).c_str(), job.name.c_str());
        if (dump != nullptr) {
            const std::string path = std::string(dump) + "/" + job.name + ".prn";
            std::FILE* out = std::fopen(path.c_str(), "wb");
            if (out == nullptr || std::fwrite(stream.data(), 1, stream.size(), out) != stream.size()) {
                std::fprintf(stderr, "%s: cannot write\n", path.c_str());
                return 1;
            }
            std::fclose(out);
        }
    }
    return 0;
}
