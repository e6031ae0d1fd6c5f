// kzrqo317-print's command line.
#pragma once

#include <string>
#include <vector>

#include "frontend/place.h"
#include "frontend/print_loop.h"
#include "frontend/settings.h"

namespace kzprint {

struct Options {
    kzfront::Request request;  // paper, media, quality, colour, borderless, roll, dither, profile
    kzfront::Policy policy = kzfront::Policy::Nearest;  // --strict: Strict
    kzfront::Placing placing;  // --fit, --fill, --scale, --no-rotate
    kzfront::Copies copies;    // --copies, --no-collate
    std::string output;   // empty: standard output
    std::string preview;  // PNG of what would print
    bool list = false;
    bool benchmark = false;
    bool quiet = false;
    std::vector<std::string> files;
};

// false with `error` set on a bad command line; `help` set for --help.
bool parseOptions(int argc, char** argv, Options& options, std::string& error, bool& help);
extern const char* const kUsage;

// --list: the capability query as tables.
void printCapabilities(const Options& options);
// --benchmark: one A4 photo page per print mode, 8-bit RGB to printer bytes.
int runBenchmark(const Options& options);

}  // namespace kzprint
