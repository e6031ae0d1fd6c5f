// kzrqo317-demo: prints the built-in test page through the library's public
// calls and writes the printer bytes to a file.
//
//   kzrqo317-demo [--mode N] [--pages N] [--banner] [--blank] [--out FILE]
//
// --blank prints blank pages instead and shows their bytes frame by frame.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kzrqo317/kzrqo317.h"
#include "test_page/print_modes.h"
#include "test_page/test_page.h"

namespace {

struct Options {
    int mode = 4;
    int pages = 1;
    bool banner = false;
    bool blank = false;
    std::string out = "kzrqo317-demo.prn";
};

// Appends the bytes of a hand-out to `stream` and tells the job it has them.
bool collect(uint32_t* job, uint32_t dataInfo, std::vector<uint8_t>* stream) {
    const auto* info = static_cast<const DataInfo*>(KRVSLockHNDL(dataInfo));
    const auto* list = info != nullptr ? static_cast<const DataList*>(KRVSLockHNDL(info->ListHandle)) : nullptr;
    for (unsigned i = 0; list != nullptr && i < info->EntryCount; ++i) {
        const auto* bytes = static_cast<const uint8_t*>(KRVSLockHNDL(list[i].BlockHandle));
        if (bytes != nullptr) stream->insert(stream->end(), bytes, bytes + list[i].ByteCount);
    }
    return OutputComplete(job) == KZ_OK;
}

void showFrames(const std::vector<uint8_t>& s) {
    for (size_t at = 0; at + 10 <= s.size();) {
        const size_t size = 5 + (s[at + 3] | s[at + 4] << 8);
        std::printf("  \"%c\" ", s[at + 9]);
        for (size_t i = 0; i < size && at + i < s.size(); ++i) std::printf("%02X ", s[at + i]);
        std::printf("\n");
        at += size;
    }
}

bool fail(const char* call, int32_t result) {
    std::fprintf(stderr, "%s returned %d\n", call, result);
    return false;
}

bool printJob(const Options& o, const kz::demo::PrintModeSettings& mode, std::vector<uint8_t>* stream) {
    PrintInfo settings = kz::demo::printInfoFor(mode, 3, o.banner ? 1 : 0);
    uint32_t job = 0, out = 0;
    if (OutputOpen(&job) != KZ_OPEN_OK) return fail("OutputOpen", -1);
    bool ok = true;
    if (int32_t r = OutputInitTwo(&job, &settings, KZ_PRINTER_MODEL); r != KZ_OK) ok = fail("OutputInitTwo", r);
    kz::demo::TestPage page(mode.chart());
    for (int p = 0; ok && p < o.pages; ++p) {
        if (int32_t r = OutputInitPart(&job, &settings); r != KZ_OK) {
            ok = fail("OutputInitPart", r);
            break;
        }
        for (int y = 0; ok && !o.blank && y < page.height(); ++y) {
            RasterInfo line;
            if (!page.line(y, &line)) continue;  // blank lines need not be given
            const int32_t r = OutputProduceTwo(&job, &line, &out);
            if (r == KZ_OK || r == KZ_NO_MEMORY) collect(&job, out, stream);
            if (r != KZ_OK) ok = fail("OutputProduceTwo", r);
        }
        if (!ok) break;
        if (o.banner) {
            OutputFormFeed(&job);
            OutputComplete(&job);
        } else if (int32_t r = OutputFlush(&job, &out); r == KZ_OK) {
            collect(&job, out, stream);
        } else {
            ok = fail("OutputFlush", r);
        }
    }
    if (ok && o.banner) {
        if (int32_t r = OutputFlush(&job, &out); r == KZ_OK) {
            collect(&job, out, stream);
        } else {
            ok = fail("OutputFlush", r);
        }
    }
    OutputClose(&job);
    return ok;
}

// Usage and the print modes, to `out`; `status` is the exit status.
int usage(std::FILE* out, const char* program, int status) {
    std::fprintf(out, "usage: %s [--mode N] [--pages N] [--banner] [--blank] [--out FILE] | --version\n", program);
    std::fprintf(out, "print modes:\n");
    for (const auto& m : kz::demo::kPrintModes) std::fprintf(out, "  %2d  %s\n", m.mode, m.name);
    return status;
}

// A whole number from `low` to `high`, or false.
bool parseNumber(const char* text, int low, int high, int* value) {
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || n < low || n > high) return false;
    *value = static_cast<int>(n);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) return usage(stdout, argv[0], 0);
        if (!std::strcmp(argv[i], "--version")) return std::printf("kzrqo317-demo %s\n", KZ_VERSION) < 0;
        if (!std::strcmp(argv[i], "--mode") && more) {
            if (!parseNumber(argv[++i], 0, 99, &o.mode) || kz::demo::findPrintMode(o.mode) == nullptr) {
                std::fprintf(stderr, "%s: no settings select print mode '%s'\n", argv[0], argv[i]);
                return usage(stderr, argv[0], 2);
            }
        } else if (!std::strcmp(argv[i], "--pages") && more) {
            if (!parseNumber(argv[++i], 1, 1000, &o.pages)) {
                std::fprintf(stderr, "%s: the page count must be a whole number from 1 to 1000, not '%s'\n",
                             argv[0], argv[i]);
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--out") && more) {
            o.out = argv[++i];
        } else if (!std::strcmp(argv[i], "--banner")) {
            o.banner = true;
        } else if (!std::strcmp(argv[i], "--blank")) {
            o.blank = true;
        } else {
            std::fprintf(stderr, "%s: unexpected argument '%s'\n", argv[0], argv[i]);
            return usage(stderr, argv[0], 2);
        }
    }
    const auto* mode = kz::demo::findPrintMode(o.mode);
    std::vector<uint8_t> stream;
    const bool ok = printJob(o, *mode, &stream);
    std::printf("print mode %d (%s), %d %s page(s)%s: %zu printer bytes\n", mode->mode, mode->name, o.pages,
                o.blank ? "blank" : "test", o.banner ? " on banner paper" : "", stream.size());
    if (o.blank) showFrames(stream);
    FILE* f = std::fopen(o.out.c_str(), "wb");
    const bool written = f != nullptr && std::fwrite(stream.data(), 1, stream.size(), f) == stream.size();
    if (f == nullptr || std::fclose(f) != 0 || !written) {
        std::fprintf(stderr, "%s: cannot write %s: %s\n", argv[0], o.out.c_str(), std::strerror(errno));
        std::remove(o.out.c_str());
        return 1;
    }
    std::printf("written to %s\n", o.out.c_str());
    return ok ? 0 : 1;
}
