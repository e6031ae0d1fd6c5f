// kzrqo317-inspect: reads a printer command stream and says what is in it.
//
//   kzrqo317-inspect check|dump|stats [--json] [FILE|-]
//
// Exit status: 0 for a well-formed stream, 1 for a malformed one (the report
// ends with the first fault and its byte offset), 2 for a usage or read error.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "report.h"
#include "stream.h"

namespace {

constexpr const char* kUsage =
    "usage: kzrqo317-inspect check|dump|stats [--json] [FILE|-]\n"
    "  check  exit 0 for a well-formed stream, 1 with its first fault\n"
    "  dump   one line per frame, with the decoded fields\n"
    "  stats  frames per letter, pages, scans, bytes, compression, dots per ink\n"
    "  --json machine-readable output\n"
    "Reads standard input when FILE is missing or '-'.\n";

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

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 2) return usage(nullptr);
    kzinspect::Command command;
    const std::string name = argv[1];
    if (name == "check") {
        command = kzinspect::Command::Check;
    } else if (name == "dump") {
        command = kzinspect::Command::Dump;
    } else if (name == "stats") {
        command = kzinspect::Command::Stats;
    } else {
        return usage(("unknown sub-command '" + name + "'").c_str());
    }
    bool json = false;
    const char* path = nullptr;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            json = true;
        } else if (path == nullptr && (arg == "-" || arg.empty() || arg[0] != '-')) {
            path = argv[i];
        } else {
            return usage(("unexpected argument '" + arg + "'").c_str());
        }
    }
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
    const std::string text = kzinspect::report(stream, command, json);
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) != 0) return 2;
    return stream.ok() ? 0 : 1;
}
