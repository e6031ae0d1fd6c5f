// kzrqo317-inspect: reads a printer command stream and says what is in it.
//
//   kzrqo317-inspect check|dump|stats [--json] [--scans] [FILE|-]
//   kzrqo317-inspect render [--scale N] -o OUT.png [FILE|-]
//
// Exit status: 0 for a well-formed stream, 1 for a malformed one (the report
// ends with the first fault and its byte offset; render then writes nothing),
// 2 for a usage, read or write error, or render in a build without libpng.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "stream_reader/render.h"
#include "stream_reader/report.h"
#include "stream_reader/stream.h"
#ifdef KZ_STREAM_PNG
#include "stream_reader/png_writer.h"
#endif

namespace {

constexpr const char* kUsage =
    "usage: kzrqo317-inspect check|dump|stats [--json] [--scans] [FILE|-]\n"
    "       kzrqo317-inspect render [--scale N] -o OUT.png [FILE|-]\n"
    "  check  exit 0 for a well-formed stream, 1 with its first fault\n"
    "  dump   one line per frame, with the decoded fields\n"
    "  stats  frames per letter, pages, scans, bytes, compression, dots per ink\n"
    "  render a PNG preview of each page: OUT.png, then OUT-2.png, OUT-3.png ...\n"
    "  --json machine-readable output (stats: with every scan)\n"
    "  --scans  stats: list each page's scans too\n"
    "  --scale N  one preview pixel per N x N raster pixels (default 5)\n"
    "  --version  the program's version\n"
    "Reads standard input when FILE is '-', or is missing and input is not a terminal.\n";

bool readAll(std::FILE* file, std::vector<uint8_t>& bytes) {
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    return std::ferror(file) == 0;
}

int usage(const char* problem) {
    if (problem != nullptr) std::fprintf(stderr, "kzrqo317-inspect: %s\n", problem);
    std::fputs(kUsage, stderr);
    return 2;
}

bool parseScale(const char* text, int& scale) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 1 || value > 1000) return false;
    scale = static_cast<int>(value);
    return true;
}

// Writes one PNG per page; a malformed stream gets its fault reported and no
// files.
int renderPreviews(const kzinspect::Stream& stream, const kzinspect::RenderOptions& options,
                   const char* output) {
    if (!stream.ok()) {
        const std::string text = kzinspect::report(stream, kzinspect::Command::Check, false);
        std::fputs(text.c_str(), stderr);
        return 1;
    }
#ifdef KZ_STREAM_PNG
    std::vector<kzinspect::Image> pages;
    std::string error;
    if (!kzinspect::renderPages(stream, options, pages, error)) {
        std::fprintf(stderr, "kzrqo317-inspect: %s\n", error.c_str());
        return 2;
    }
    for (size_t i = 0; i < pages.size(); ++i) {
        const std::string file = kzinspect::pagePath(output, i);
        if (!kzinspect::writePng(pages[i], file, error)) {
            std::fprintf(stderr, "kzrqo317-inspect: %s\n", error.c_str());
            return 2;
        }
        std::printf("page %zu: %s, %d x %d pixels\n", i + 1, file.c_str(), pages[i].width,
                    pages[i].height);
    }
    return std::fflush(stdout) == 0 ? 0 : 2;
#else
    (void)options;
    (void)output;
    return 2;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) return std::printf("kzrqo317-inspect %s\n", KZ_VERSION) < 0;
    }
    if (argc < 2) return usage(nullptr);
    kzinspect::Command command = kzinspect::Command::Check;
    const std::string name = argv[1];
    const bool render = name == "render";
    if (name == "check") {
        command = kzinspect::Command::Check;
    } else if (name == "dump") {
        command = kzinspect::Command::Dump;
    } else if (name == "stats") {
        command = kzinspect::Command::Stats;
    } else if (!render) {
        return usage(("unknown sub-command '" + name + "'").c_str());
    }
    bool json = false;
    bool scans = false;
    const char* path = nullptr;
    const char* output = nullptr;
    kzinspect::RenderOptions options;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json" && !render) {
            json = true;
        } else if (arg == "--scans" && command == kzinspect::Command::Stats && !render) {
            scans = true;
        } else if (render && (arg == "-o" || arg == "--scale")) {
            if (i + 1 == argc) return usage(("'" + arg + "' needs a value").c_str());
            const char* value = argv[++i];
            if (arg == "-o") {
                output = value;
            } else if (!parseScale(value, options.scale)) {
                return usage(("the scale must be a whole number from 1 to 1000, not '" +
                              std::string(value) + "'")
                                 .c_str());
            }
        } else if (path == nullptr && (arg == "-" || arg.empty() || arg[0] != '-')) {
            path = argv[i];
        } else {
            return usage(("unexpected argument '" + arg + "'").c_str());
        }
    }
    if (render && output == nullptr) return usage("render needs '-o OUT.png'");
#ifndef KZ_STREAM_PNG
    if (render) {
        std::fputs("kzrqo317-inspect: render is not available: this build has no libpng\n", stderr);
        return 2;
    }
#endif
    // Nothing to read but a person at a terminal: say how to use it, do not wait.
    if (path == nullptr && isatty(STDIN_FILENO)) return usage("no stream given");
    std::vector<uint8_t> bytes;
    const bool fromStdin = path == nullptr || std::strcmp(path, "-") == 0;
    std::FILE* file = fromStdin ? stdin : std::fopen(path, "rb");
    if (file == nullptr) {
        std::fprintf(stderr, "kzrqo317-inspect: cannot open %s: %s\n", path, std::strerror(errno));
        return 2;
    }
    const bool read = readAll(file, bytes);
    if (!fromStdin) std::fclose(file);
    if (!read) {
        std::fprintf(stderr, "kzrqo317-inspect: cannot read %s\n", fromStdin ? "stdin" : path);
        return 2;
    }
    const kzinspect::Stream stream = kzinspect::inspect(bytes);
    if (render) return renderPreviews(stream, options, output);
    const std::string text = kzinspect::report(stream, command, json, scans);
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) != 0) return 2;
    return stream.ok() ? 0 : 1;
}
