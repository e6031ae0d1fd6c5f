// kzrqo317-print's command line.
#pragma once

#include <string>
#include <vector>

#include "kzrqo317/print.h"
#include "frontend/place.h"

namespace kzprint {

struct Options {
    kzp_settings settings = kzp_settings_default();
    std::string paper = "iso_a4_210x297mm", media = "plain", icc;
    std::string output;   // empty: standard output
    std::string preview;  // PNG of what would print
    Fit fit = Fit::Fit;
    double scale = 100;
    bool rotate = true;
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
