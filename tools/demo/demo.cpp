// kzrqo317-demo: runs a print job through the library's public calls and
// shows the printer bytes it hands back, block by block.
//
//   kzrqo317-demo [--banner] [--pages N]
//
// Each page is blank (no raster lines given), so every page ends with the
// library's blank-page commands.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kzrqo317/kzrqo317.h"

namespace {

void printBlock(const uint8_t* bytes, unsigned count) {
    for (unsigned i = 0; i < count; ++i) std::printf("%02X%s", bytes[i], (i + 1) % 24 == 0 ? "\n    " : " ");
    std::printf("\n");
}

// Reads the DataInfo handed out and prints every block it lists.
void showOutput(const char* call, uint32_t dataInfoHandle) {
    const auto* info = static_cast<const DataInfo*>(KRVSLockHNDL(dataInfoHandle));
    if (info == nullptr) {
        std::printf("%s: no output handed out\n", call);
        return;
    }
    const auto* list = static_cast<const DataList*>(KRVSLockHNDL(info->ListHandle));
    std::printf("%s: %u block(s)\n", call, info->EntryCount);
    for (unsigned i = 0; i < info->EntryCount && list != nullptr; ++i) {
        const auto* bytes = static_cast<const uint8_t*>(KRVSLockHNDL(list[i].BlockHandle));
        std::printf("  block %u, %u bytes:\n    ", i, list[i].ByteCount);
        if (bytes != nullptr) printBlock(bytes, list[i].ByteCount);
    }
}

int check(const char* call, int32_t result) {
    if (result != KZ_OK) std::printf("%s returned %d\n", call, result);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    bool banner = false;
    int pages = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--banner") == 0) {
            banner = true;
        } else if (std::strcmp(argv[i], "--pages") == 0 && i + 1 < argc) {
            pages = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--banner] [--pages N]\n", argv[0]);
            return 2;
        }
    }

    PrintInfo settings = {};
    settings.MediaType = 0;      // plain paper
    settings.PrintQuality = 15;  // standard quality
    settings.PaperSize = 3;      // A4
    settings.BannerPaper = banner ? 1 : 0;

    uint32_t job = 0;
    if (OutputOpen(&job) != KZ_OPEN_OK) return std::puts("OutputOpen failed"), 1;
    int status = 0;
    if (check("OutputInitTwo", OutputInitTwo(&job, &settings, KZ_PRINTER_MODEL)) != KZ_OK) status = 1;
    for (int page = 0; page < pages && status == 0; ++page) {
        std::printf("page %d\n", page + 1);
        if (check("OutputInitPart", OutputInitPart(&job, &settings)) != KZ_OK) { status = 1; break; }
        uint32_t out = 0;
        if (banner) {
            OutputFormFeed(&job);
            check("OutputComplete", OutputComplete(&job));
            continue;
        }
        if (check("OutputFlush", OutputFlush(&job, &out)) != KZ_OK) { status = 1; break; }
        showOutput("OutputFlush", out);
        check("OutputComplete", OutputComplete(&job));
    }
    if (banner && status == 0) {
        uint32_t out = 0;
        if (check("OutputFlush", OutputFlush(&job, &out)) == KZ_OK) showOutput("OutputFlush (end of job)", out);
        check("OutputComplete", OutputComplete(&job));
    }
    OutputClose(&job);
    return status;
}
