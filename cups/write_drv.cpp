// kzrqo317-write-drv: prints the PPD compiler source (.drv) of the printer's
// PPD from the print pipeline's capability query, so that the PPD offers
// exactly what the pipeline prints.
//
//   kzrqo317-write-drv VERSION > kzrqo317.drv && ppdc kzrqo317.drv
//
// Every combination of page size (with and without borders), media type,
// print quality, colour mode and paper source is resolved as the filter
// resolves it; choices that never print are left out, and combinations that
// do not print become constraints (two options: UIConstraints, more:
// cupsUIConstraints).  Each quality sets the resolution its modes print at.
#include <cups/raster.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "frontend/ppd_names.h"
#include "frontend/settings.h"

namespace {

using kzfront::Resolved;

std::string format(const char* pattern, auto... args) {
    char text[1024];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

// PPD choice names: printable ASCII without space, comma, slash or colon;
// texts without double quotes.
bool validName(const std::string& name) {
    if (name.empty() || name.size() > 40) return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return c > 32 && c < 127 && c != ',' && c != '/' && c != ':'; });
}

std::string text(std::string t) {
    std::replace(t.begin(), t.end(), '"', '\'');
    std::replace(t.begin(), t.end(), ':', ',');
    return t.substr(0, 80);
}

// "code-N" papers and media name the driver's raw codes for experts; the
// filter takes them by name, the PPD shows people the named ones.
bool rawCode(const char* name) { return std::strncmp(name, "code-", 5) == 0; }

struct Choice {
    std::string name, text, code;
    std::string keyword = "";  // set: the choice is this other option's (FinestQuality True)
};

struct Option {
    std::string keyword, text;
    std::vector<Choice> choices;
    size_t defaultChoice = 0;
};

// The options that decide the print mode, in this order in every tuple.
enum Axis { kSize, kMedia, kQuality, kColour, kSlot, kAxes };
using Tuple = std::array<int, kAxes>;

struct SizeChoice {
    const kzp_paper* paper;
    bool borderless;
    double margins[4] = {0, 0, 0, 0};  // left, bottom, right, top in points; the widest any mode needs
};

struct Capabilities {
    std::vector<SizeChoice> sizes;
    std::vector<const kzp_media*> media;
    std::vector<kzp_quality> qualities;
    std::map<kzp_quality, std::pair<int32_t, int32_t>> resolution;
    bool roll = false;
    std::set<Tuple> valid;
};

// As the filter resolves a page: strictly, grey pages grey.
bool resolveTuple(const Capabilities& c, const Tuple& t, Resolved& plan) {
    kzfront::Request r;
    r.paper = c.sizes[t[kSize]].paper->pwg_name;
    r.borderless = c.sizes[t[kSize]].borderless;
    r.media = c.media[t[kMedia]]->name;
    r.quality = c.qualities[t[kQuality]];
    r.colour = t[kColour] == 1 ? kzfront::Colour::Grey : kzfront::Colour::Colour;
    r.roll = t[kSlot] == 1;
    std::string ignored;
    return kzfront::resolveRequest(r, kzfront::Policy::Strict, plan, ignored);
}

void forEachTuple(const Capabilities& c, auto&& visit) {
    const int counts[kAxes] = {int(c.sizes.size()), int(c.media.size()), int(c.qualities.size()), 2, 2};
    Tuple t{};
    for (t[kSize] = 0; t[kSize] < counts[kSize]; ++t[kSize])
        for (t[kMedia] = 0; t[kMedia] < counts[kMedia]; ++t[kMedia])
            for (t[kQuality] = 0; t[kQuality] < counts[kQuality]; ++t[kQuality])
                for (t[kColour] = 0; t[kColour] < 2; ++t[kColour])
                    for (t[kSlot] = 0; t[kSlot] < 2; ++t[kSlot]) visit(t);
}

// Keeps only the choices some valid tuple uses, renumbering the tuples.
template <typename T>
void keepUsed(std::vector<T>& choices, Axis axis, std::set<Tuple>& valid) {
    std::vector<int> renumber(choices.size(), -1);
    std::vector<T> kept;
    for (const Tuple& t : valid) {
        if (renumber[t[axis]] < 0) renumber[t[axis]] = 0;
    }
    for (size_t i = 0; i < choices.size(); ++i) {
        if (renumber[i] >= 0) {
            renumber[i] = int(kept.size());
            kept.push_back(choices[i]);
        }
    }
    std::set<Tuple> renumbered;
    for (Tuple t : valid) {
        t[axis] = renumber[t[axis]];
        renumbered.insert(t);
    }
    choices = kept;
    valid = renumbered;
}

Capabilities gather() {
    Capabilities c;
    size_t count = kzp_paper_count();
    for (size_t i = 0; i < count; ++i) {
        if (rawCode(kzp_paper_at(i)->pwg_name)) continue;
        c.sizes.push_back({kzp_paper_at(i), false});
        if (kzp_paper_at(i)->borderless) c.sizes.push_back({kzp_paper_at(i), true});
    }
    count = kzp_media_count();
    for (size_t i = 0; i < count; ++i) {
        if (rawCode(kzp_media_at(i)->name)) continue;
        if (validName(kzp_media_at(i)->name)) {
            c.media.push_back(kzp_media_at(i));
        } else {
            std::fprintf(stderr, "kzrqo317-write-drv: media '%s' has no valid PPD name; left out\n", kzp_media_at(i)->name);
        }
    }
    count = kzp_mode_count();
    std::set<kzp_quality> qualities;
    for (size_t i = 0; i < count; ++i) qualities.insert(kzp_mode_at(i)->quality);
    c.qualities.assign(qualities.begin(), qualities.end());

    // Each quality renders at the finest resolution its modes print at; the
    // filter averages down to modes that print at a whole fraction of it.
    Resolved plan;
    forEachTuple(c, [&](const Tuple& t) {
        if (!resolveTuple(c, t, plan)) return;
        auto& res = c.resolution[plan.request.quality];
        res = {std::max(res.first, plan.format.mode->xdpi), std::max(res.second, plan.format.mode->ydpi)};
    });
    forEachTuple(c, [&](const Tuple& t) {
        if (!resolveTuple(c, t, plan)) return;
        const auto [rx, ry] = c.resolution.at(plan.request.quality);
        if (rx % plan.format.mode->xdpi != 0 || ry % plan.format.mode->ydpi != 0) {
            std::fprintf(stderr, "kzrqo317-write-drv: %s at %dx%d dpi is not a whole fraction of %dx%d; left out\n",
                         kzp_quality_name(plan.request.quality), plan.format.mode->xdpi, plan.format.mode->ydpi, rx, ry);
            return;
        }
        c.valid.insert(t);
        const kzp_page_format& f = plan.format;
        const double x = 72.0 / f.mode->xdpi, y = 72.0 / f.mode->ydpi;
        const double margins[4] = {f.left_px * x, (f.paper_height_px - f.top_px - f.height_px) * y,
                                   (f.paper_width_px - f.left_px - f.width_px) * x, f.top_px * y};
        SizeChoice& size = c.sizes[t[kSize]];
        for (int m = 0; m < 4; ++m) size.margins[m] = std::max(size.margins[m], size.borderless ? 0.0 : margins[m]);
    });
    c.roll = std::any_of(c.valid.begin(), c.valid.end(), [](const Tuple& t) { return t[kSlot] == 1; });
    keepUsed(c.sizes, kSize, c.valid);
    keepUsed(c.media, kMedia, c.valid);
    keepUsed(c.qualities, kQuality, c.valid);
    return c;
}

std::string setPageDevice(const std::string& entries) { return "<<" + entries + ">>setpagedevice"; }

std::vector<Option> options(const Capabilities& c) {
    std::vector<Option> out(kAxes);
    Option& size = out[kSize];
    size.keyword = "PageSize";
    for (size_t i = 0; i < c.sizes.size(); ++i) {
        const SizeChoice& s = c.sizes[i];
        std::string name = kzcups::ppdSizeName(*s.paper);
        std::string label = s.paper->label;
        if (s.borderless) {
            name += kzcups::kBorderlessSuffix;
            label += " (borderless)";
        }
        const double w = s.paper->width_um * 72.0 / 25400.0, h = s.paper->height_um * 72.0 / 25400.0;
        size.choices.push_back({name, text(label),
                                setPageDevice(format("/PageSize[%.0f %.0f]/ImagingBBox null/cupsInteger%d %d", w, h,
                                                     kzcups::kBorderlessSlot, s.borderless ? 1 : 0))});
        if (!s.borderless && std::strcmp(s.paper->pwg_name, kzp_settings_default().paper) == 0) size.defaultChoice = i;
    }
    Option& media = out[kMedia];
    media.keyword = "MediaType";
    media.text = "Media Type";
    for (size_t i = 0; i < c.media.size(); ++i) {
        const kzp_media* m = c.media[i];
        media.choices.push_back(
            {m->name, text(m->label), setPageDevice(format("/MediaType(%s)/cupsMediaType %d", m->name, m->code))});
        if (std::strcmp(m->name, kzp_settings_default().media) == 0) media.defaultChoice = i;
    }
    Option& quality = out[kQuality];
    quality.keyword = "cupsPrintQuality";
    quality.text = "Print Quality";
    for (size_t i = 0; i < c.qualities.size(); ++i) {
        const kzp_quality q = c.qualities[i];
        const auto [x, y] = c.resolution.at(q);
        if (q == KZP_QUALITY_BEST) {
            quality.choices.push_back({"True", "", "", "FinestQuality"});
            continue;
        }
        std::string label = kzcups::qualityChoice(q);
        quality.choices.push_back({label, format("%s (%dx%d dpi)", label.c_str(), x, y),
                                   setPageDevice(format("/HWResolution[%d %d]/cupsInteger%d %d", x, y,
                                                        kzcups::kQualitySlot, int(q) + 1))});
        if (q == kzp_settings_default().quality) quality.defaultChoice = i;
    }
    Option& colour = out[kColour];
    colour.keyword = "ColorModel";
    colour.text = "Color Mode";
    colour.choices = {
        {"RGB", "Color", setPageDevice(format("/cupsColorSpace %d/cupsColorOrder 0/cupsBitsPerColor 8", CUPS_CSPACE_SRGB))},
        {"Gray", "Grayscale", setPageDevice(format("/cupsColorSpace %d/cupsColorOrder 0/cupsBitsPerColor 8", CUPS_CSPACE_SW))}};
    Option& slot = out[kSlot];
    slot.keyword = "InputSlot";
    slot.text = "Paper Source";
    slot.choices = {{"Sheet", "Cut sheets", setPageDevice(format("/MediaPosition %u", kzcups::kSheetPosition))},
                    {"Roll", "Roll paper", setPageDevice(format("/MediaPosition %u", kzcups::kRollPosition))}};
    if (!c.roll) slot.choices.pop_back();
    return out;
}

// Partial settings (some options fixed) that no valid combination matches,
// and that contain no smaller such set: the PPD's constraints.
std::vector<std::vector<std::pair<int, int>>> constraints(const Capabilities& c, const std::vector<Option>& o) {
    std::set<std::vector<std::pair<int, int>>> forbidden;
    std::vector<std::vector<std::pair<int, int>>> ordered;
    std::vector<int> masks;
    for (int mask = 1; mask < (1 << kAxes); ++mask) {
        if (__builtin_popcount(mask) >= 2) masks.push_back(mask);
    }
    std::stable_sort(masks.begin(), masks.end(),
                     [](int a, int b) { return __builtin_popcount(a) < __builtin_popcount(b); });
    for (const int mask : masks) {
        std::vector<int> axes;
        for (int a = 0; a < kAxes; ++a) {
            if (mask & (1 << a)) axes.push_back(a);
        }
        if (std::any_of(axes.begin(), axes.end(), [&](int a) { return o[a].choices.size() < 2; })) continue;
        std::vector<int> pick(axes.size(), 0);
        while (true) {
            std::vector<std::pair<int, int>> set;
            for (size_t k = 0; k < axes.size(); ++k) set.push_back({axes[k], pick[k]});
            const bool matched = std::any_of(c.valid.begin(), c.valid.end(), [&](const Tuple& t) {
                return std::all_of(set.begin(), set.end(), [&](const auto& p) { return t[p.first] == p.second; });
            });
            bool covered = false;
            for (int sub = (mask - 1) & mask; sub > 0 && !covered; sub = (sub - 1) & mask) {
                if (__builtin_popcount(sub) < 2) continue;
                std::vector<std::pair<int, int>> part;
                for (const auto& p : set) {
                    if (sub & (1 << p.first)) part.push_back(p);
                }
                covered = forbidden.count(part) > 0;
            }
            if (!matched && !covered) {
                forbidden.insert(set);
                ordered.push_back(set);
            }
            size_t k = 0;
            while (k < axes.size() && ++pick[k] == int(o[axes[k]].choices.size())) pick[k++] = 0;
            if (k == axes.size()) break;
        }
    }
    return ordered;
}

void printOption(const Option& o, int order = 10, const char* type = "PickOne") {
    std::printf("Option \"%s/%s\" %s AnySetup %d\n", o.keyword.c_str(), o.text.c_str(), type, order);
    for (size_t i = 0; i < o.choices.size(); ++i) {
        const Choice& ch = o.choices[i];
        if (!ch.keyword.empty()) continue;
        std::printf("  %sChoice \"%s/%s\" \"%s\"\n", i == o.defaultChoice ? "*" : "", ch.name.c_str(), ch.text.c_str(),
                    ch.code.c_str());
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2 || argc > 3) {
        std::fputs("usage: kzrqo317-write-drv VERSION [OUT.drv]\n", stderr);
        return 2;
    }
    if (argc == 3 && std::freopen(argv[2], "w", stdout) == nullptr) {
        std::fprintf(stderr, "kzrqo317-write-drv: cannot write %s\n", argv[2]);
        return 2;
    }
    const Capabilities c = gather();
    if (c.valid.empty()) {
        std::fputs("kzrqo317-write-drv: the capability query offers nothing that prints\n", stderr);
        return 1;
    }
    const std::vector<Option> o = options(c);
    std::printf("// The printer's PPD, written by kzrqo317-write-drv from the print pipeline's\n"
                "// capability query (%zu printable combinations). Do not edit: rebuild.\n",
                c.valid.size());
    std::printf("DriverType custom\nManufacturer \"kzrqo317\"\nModelName \"kzrqo317 inkjet\"\n");
    std::printf("Version \"%s\"\nPCFileName \"kzrqo317.ppd\"\n", argv[1]);
    std::printf("Filter application/vnd.cups-raster 100 rastertokzrqo317\n");
    std::printf("ColorDevice yes\nThroughput 1\n");
    const auto [x, y] = c.resolution.at(c.qualities[o[kQuality].defaultChoice]);
    std::printf("Attribute DefaultResolution \"\" %s\n", (x == y ? format("%ddpi", x) : format("%dx%ddpi", x, y)).c_str());

    std::printf("\n// Page sizes: margins are the widest any print mode needs.\n");
    const Option& sizes = o[kSize];
    for (size_t i = 0; i < sizes.choices.size(); ++i) {
        const SizeChoice& s = c.sizes[i];
        const Choice& ch = sizes.choices[i];
        std::printf("%sCustomMedia \"%s/%s\" %.2f %.2f %.2f %.2f %.2f %.2f\n  \"%s\"\n  \"%s\"\n",
                    i == sizes.defaultChoice ? "*" : "", ch.name.c_str(), ch.text.c_str(),
                    s.paper->width_um * 72.0 / 25400.0, s.paper->height_um * 72.0 / 25400.0, s.margins[0],
                    s.margins[1], s.margins[2], s.margins[3], ch.code.c_str(), ch.code.c_str());
    }
    std::printf("\n");
    for (int a = kMedia; a < kAxes; ++a) {
        if (o[a].choices.size() > 1 || a == kQuality || a == kColour) printOption(o[a]);
    }
    // The best mode: after the quality (a higher order), whose resolution it replaces.
    const auto best = std::find(c.qualities.begin(), c.qualities.end(), KZP_QUALITY_BEST);
    if (best != c.qualities.end()) {
        const auto [bx, by] = c.resolution.at(KZP_QUALITY_BEST);
        printOption({"FinestQuality",
                     "Best Mode (whatever the quality)",
                     {{"False", "Off", setPageDevice(format("/cupsInteger%d 0", kzcups::kFinestSlot))},
                      {"True", "On (slowest, finest)",
                       setPageDevice(format("/cupsInteger%d 1/HWResolution[%d %d]", kzcups::kFinestSlot, bx, by))}},
                     0},
                    20);
    }
    printOption({"Dither",
                 "Dithering",
                 {{"Auto", "Automatic (fast for draft and normal, error diffusion for high and best)",
                   setPageDevice(format("/cupsInteger%d 1", kzcups::kDitherSlot))},
                  {"Fast", "Fast (blue-noise screen)", setPageDevice(format("/cupsInteger%d 2", kzcups::kDitherSlot))},
                  {"Quality", "Quality (error diffusion)",
                   setPageDevice(format("/cupsInteger%d 3", kzcups::kDitherSlot))}},
                 0});
    // The filter prints the copies (*cupsManualCopies: False) and collates
    // them when asked, so that cups-filters leaves both to it.
    printOption({"Collate",
                 "Collate Copies",
                 {{"True", "On (1 2 3, 1 2 3)", setPageDevice("/Collate true")},
                  {"False", "Off (1 1, 2 2, 3 3)", setPageDevice("/Collate false")}},
                 0},
                10, "Boolean");

    std::printf("\n// Combinations without a print mode.\n");
    int n = 0;
    for (const auto& set : constraints(c, o)) {
        std::string rule;
        for (const auto& [axis, choice] : set) {
            const Choice& ch = o[axis].choices[choice];
            rule += format("%s*%s %s", rule.empty() ? "" : " ",
                           (ch.keyword.empty() ? o[axis].keyword : ch.keyword).c_str(), ch.name.c_str());
        }
        if (set.size() == 2) {
            std::printf("UIConstraints \"%s\"\n", rule.c_str());
        } else {
            std::printf("Attribute cupsUIConstraints kz%d \"%s\"\n", ++n, rule.c_str());
        }
    }
    return 0;
}
