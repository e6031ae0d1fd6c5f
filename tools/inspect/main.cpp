// kzrqo317-inspect: reads a printer command stream and says what is in it.
//
//   kzrqo317-inspect check|dump|stats [--json] [--scans] [FILE|-]
//   kzrqo317-inspect render [--scale N] [--paper SIZE] [--stream-columns] -o OUT.png [FILE|-]
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
#include "stream_reader/preview.h"
#endif

namespace {

// 5 mm in pixels of 600 dpi.
constexpr int kPipelineMargin = 118;

constexpr const char* kUsage =
    "usage: kzrqo317-inspect check|dump|stats [--json] [--scans] [FILE|-]\n"
    "       kzrqo317-inspect render [--scale N] [--paper SIZE] [--stream-columns] -o OUT.png [FILE|-]\n"
    "  check  exit 0 for a well-formed stream, 1 with its first fault\n"
    "  dump   one line per frame, with the decoded fields\n"
    "  stats  frames per letter, pages, scans, bytes, compression, dots per ink\n"
    "  render a PNG preview of each page: OUT.png, then OUT-2.png, OUT-3.png ...\n"
    "  --json machine-readable output (stats: with every scan)\n"
    "  --scans  stats: list each page's scans too\n"
    "  --scale N  one preview pixel per N x N pixels of 600 dpi (default 5)\n"
    "  --paper SIZE  the sheet, as a PWG size name or its end: iso_a4_210x297mm, 4x6in\n"
    "  --stream-columns  dots at their scan columns and feed lines, not on the paper\n"
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

// Reads the stream from `file` in pieces into `take`; false when it cannot
// be read.
template <typename Take>
bool readPieces(std::FILE* file, Take take) {
    std::vector<uint8_t> piece(1 << 20);
    size_t got = 0;
    while ((got = std::fread(piece.data(), 1, piece.size(), file)) > 0) {
        take(kzinspect::Bytes(piece.data(), got));
    }
    return std::ferror(file) == 0;
}

// Writes one PNG per page; a malformed stream gets its fault reported and no
// files.  The stream is read twice, checked and then drawn, in pieces: from
// a file, or from memory for standard input.
int renderPreviews(std::FILE* file, const char* name, const std::vector<uint8_t>& bytes,
                   const kzinspect::RenderOptions& options, const char* output) {
    const auto pieces = [&](auto take) {
        if (file == nullptr) {
            take(kzinspect::Bytes(bytes));
            return true;
        }
        std::rewind(file);
        return readPieces(file, take);
    };
    kzinspect::StreamReader check;
    if (!pieces([&check](kzinspect::Bytes b) { check.write(b); })) {
        std::fprintf(stderr, "kzrqo317-inspect: cannot read %s\n", name);
        return 2;
    }
    if (!check.finish()) {
        const std::string text = kzinspect::report(check.stream(), kzinspect::Command::Check, false);
        std::fputs(text.c_str(), stderr);
        return 1;
    }
#ifdef KZ_STREAM_PNG
    const auto write = kzinspect::pngPages(output);
    kzinspect::PreviewRenderer preview(
        options, [&](size_t index, const kzinspect::Image& page, std::string& error) {
            if (!write(index, page, error)) return false;
            std::printf("page %zu: %s, %d x %d pixels\n", index + 1,
                        kzinspect::pagePath(output, index).c_str(), page.width, page.height);
            return true;
        });
    if (!pieces([&preview](kzinspect::Bytes b) { preview.write(b); })) {
        std::fprintf(stderr, "kzrqo317-inspect: cannot read %s\n", name);
        return 2;
    }
    if (!preview.finish()) {
        std::fprintf(stderr, "kzrqo317-inspect: %s\n", preview.error().c_str());
        return 2;
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
        } else if (render && arg == "--stream-columns") {
            options.view = kzinspect::View::Stream;
        } else if (render && (arg == "-o" || arg == "--scale" || arg == "--paper")) {
            if (i + 1 == argc) return usage(("'" + arg + "' needs a value").c_str());
            const char* value = argv[++i];
            if (arg == "-o") {
                output = value;
            } else if (arg == "--paper") {
                if (!kzinspect::paperFromName(value, options.paper)) {
                    return usage(("the paper must be a size such as iso_a4_210x297mm or 4x6in, not '" +
                                  std::string(value) + "'")
                                     .c_str());
                }
                // The print pipeline's margins: 5 mm at every edge.
                for (int& margin : options.paper.margins) margin = kPipelineMargin;
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
    if (render && !fromStdin) {
        const int status = renderPreviews(file, path, bytes, options, output);
        std::fclose(file);
        return status;
    }
    const bool read = readAll(file, bytes);
    if (!fromStdin) std::fclose(file);
    if (!read) {
        std::fprintf(stderr, "kzrqo317-inspect: cannot read %s\n", fromStdin ? "stdin" : path);
        return 2;
    }
    if (render) return renderPreviews(nullptr, "stdin", bytes, options, output);
    const kzinspect::Stream stream = kzinspect::inspect(bytes);
    const std::string text = kzinspect::report(stream, command, json, scans);
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) != 0) return 2;
    return stream.ok() ? 0 : 1;
}
