// Parsing kzrqo317-print's options: the words of the capability query.
#include "options.h"

#include <cstdlib>
#include <cstring>

namespace kzprint {

const char* const kUsage =
    "usage: kzrqo317-print [options] FILE... > out.prn      ('-' reads standard input)\n"
    "       kzrqo317-print [options] -o /dev/usb/lp0 FILE...\n"
    "       kzrqo317-print --list [--paper NAME]\n"
    "       kzrqo317-print --benchmark [MODE...]\n"
    "Prints PNG, JPEG, PNM, PWG or CUPS raster, PDF or PostScript (with Ghostscript), and plain\n"
    "text (with cups-filters' texttopdf and Ghostscript).\n"
    "  -o FILE             write the printer bytes to FILE (default: standard output)\n"
    "  --paper NAME        paper size: a4, letter, 4x6, 5x7, a5 ... or its PWG name (see --list)\n"
    "  --media NAME        media type, e.g. plain, photo, or code-N for a raw media code\n"
    "  --quality Q         draft, normal, high or best\n"
    "  --mono              black only\n"
    "  --borderless        print to the paper's edges (the picture covers the bleed)\n"
    "  --roll              roll paper: pages end with a form feed\n"
    "  --dither METHOD     fast or quality (default: fast for draft and normal, quality above)\n"
    "  --icc FILE          ICC output profile for the paper\n"
    "  --strict            refuse settings that do not print (default: print the nearest that do,\n"
    "                      saying on standard error what changed)\n"
    "  --copies N          print everything N times (1 to 999)\n"
    "  --no-collate        with --copies, each page N times in a row (default: whole copies)\n"
    "  --fit | --fill      show the whole picture (default), or cover the whole area\n"
    "  --scale PERCENT     scale the fitted picture (default 100)\n"
    "  --no-rotate         never turn pictures to fit the page\n"
    "  --preview OUT.png   also draw what the printer would print (OUT-2.png ... for more pages)\n"
    "  --list              print the papers, media and print modes, then exit\n"
    "  --benchmark         time one A4 photo page per print mode (or the modes given), then exit\n"
    "  -q                  no progress line\n"
    "  --version           the program's version, then exit\n";

bool parseOptions(int argc, char** argv, Options& o, std::string& error, bool& help) {
    help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = "'" + arg + "' needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "-h" || arg == "--help") {
            help = true;
            return true;
        } else if (arg == "-o") {
            if (!value(o.output)) return false;
        } else if (arg == "--paper") {
            if (!value(o.request.paper)) return false;
        } else if (arg == "--media") {
            if (!value(o.request.media)) return false;
        } else if (arg == "--icc") {
            if (!value(o.request.icc)) return false;
        } else if (arg == "--preview") {
            if (!value(o.preview)) return false;
        } else if (arg == "--quality") {
            if (!value(v)) return false;
            if (!kzfront::qualityFromWord(v, o.request.quality)) {
                error = "unknown quality '" + v + "'; qualities: draft, normal, high, best";
                return false;
            }
        } else if (arg == "--dither") {
            if (!value(v)) return false;
            if (!kzfront::ditherFromWord(v, o.request.dither)) {
                error = "unknown dither method '" + v + "'; methods: fast, quality";
                return false;
            }
        } else if (arg == "--scale") {
            if (!value(v)) return false;
            char* end = nullptr;
            o.placing.percent = std::strtod(v.c_str(), &end);
            if (end == v.c_str() || *end != '\0' || !(o.placing.percent >= 1 && o.placing.percent <= 1000)) {
                error = "the scale must be a percentage from 1 to 1000, not '" + v + "'";
                return false;
            }
        } else if (arg == "--copies") {
            if (!value(v)) return false;
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (end == v.c_str() || *end != '\0' || n < 1 || n > 999) {
                error = "the number of copies must be 1 to 999, not '" + v + "'";
                return false;
            }
            o.copies.count = int(n);
        } else if (arg == "--no-collate") {
            o.copies.collate = false;
        } else if (arg == "--collate") {
            o.copies.collate = true;
        } else if (arg == "--strict") {
            o.policy = kzfront::Policy::Strict;
        } else if (arg == "--mono") {
            o.request.colour = kzfront::Colour::BlackOnly;
        } else if (arg == "--borderless") {
            o.request.borderless = true;
        } else if (arg == "--roll") {
            o.request.roll = true;
        } else if (arg == "--fit") {
            o.placing.scaling = kzfront::Scaling::Fit;
        } else if (arg == "--fill") {
            o.placing.scaling = kzfront::Scaling::Fill;
        } else if (arg == "--no-rotate") {
            o.placing.orientation = kzfront::Orientation::Upright;
        } else if (arg == "--list") {
            o.list = true;
        } else if (arg == "--benchmark") {
            o.benchmark = true;
        } else if (arg == "-q") {
            o.quiet = true;
        } else if (arg != "-" && !arg.empty() && arg[0] == '-') {
            error = "unknown option '" + arg + "'";
            return false;
        } else {
            o.files.push_back(arg);
        }
    }
    return true;
}

}  // namespace kzprint
