// The capability query and the resolution of settings to a page format.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "kzrqo317/print.h"
#include "print/mode_tables.h"
#include "print/papers.h"
#include "print/setup.h"

namespace kzp {
namespace {

// Paper size at 600 dpi: the printer's own for coded sizes, else from the name.
void paperPixels(const kzp_paper& p, int& w, int& h) {
    if (const NoEdgeArea* a = p.established ? noEdgeArea(p.code) : nullptr) {
        w = a->width();
        h = a->height();
    } else {
        w = pixelsFromUm(p.width_um);
        h = pixelsFromUm(p.height_um);
    }
}

bool borderlessMedia(int16_t media) {
    // Media whose borderless pages get no nozzle limiting at the paper's edges
    // are not made for borderless printing.
    const int idx = mediaIndex(media);
    return idx != 2 && idx != 3;
}

int16_t qualityCode(int16_t media, kzp_quality q, bool mono, bool borderless) {
    // Best is the densest mode the media has: quality index 4 where it exists.
    if (q == KZP_QUALITY_BEST && printMode(media, kQualityCode[4], mono, borderless) != kNoMode &&
        !(mono && printsBlackOnly(media, borderless)))
        return kQualityCode[4];
    return kQualityCode[q];
}

// Why the combination does not print, or "" when it does.
std::string refusal(const kzp_paper& paper, const kzp_media& media, kzp_quality q, bool mono, bool borderless) {
    if (borderless) {
        if (!paper.borderless) return std::string(paper.label) + " has no borderless printing";
        if (!borderlessMedia(media.code)) return std::string(media.name) + " has no borderless printing";
        if (mono) return "black-only printing needs margins";
    }
    if (mono && !printsBlackOnly(media.code, borderless)) return std::string(media.name) + " has no black-only printing";
    if (printMode(media.code, qualityCode(media.code, q, mono, borderless), mono, borderless) == kNoMode)
        return std::string("no ") + kzp_quality_name(q) + " quality";
    return "";
}

std::string alternatives(const kzp_paper& paper, const kzp_media& media) {
    std::string out;
    for (int b = 0; b < 2; ++b)
        for (int m = 0; m < 2; ++m) {
            std::string qs;
            for (int q = 0; q < 4; ++q)
                if (refusal(paper, media, kzp_quality(q), m, b).empty())
                    qs += std::string(qs.empty() ? "" : ", ") + kzp_quality_name(kzp_quality(q));
            if (qs.empty()) continue;
            out += std::string(out.empty() ? "" : "; ") + (m ? "black-only" : "colour") +
                   (b ? " borderless" : " with margins") + ": " + qs;
        }
    return out.empty() ? "nothing" : out;
}

// The mode's record and the page format of a combination that prints; the
// format's `mode` is left for the caller to point at the query's record.
void fillMode(const kzp_paper& paper, const kzp_media& media, kzp_quality q, bool mono, bool borderless, bool roll,
              Setup& s, kzp_mode_info& mi) {
    kzp_page_format& f = s.format;
    f = kzp_page_format{};
    f.struct_size = sizeof f;
    mi = kzp_mode_info{};
    s.paperCode = paper.code;
    s.mediaCode = media.code;
    s.qualityCode = qualityCode(media.code, q, mono, borderless);
    s.mono = mono;
    s.borderless = borderless;
    s.roll = roll;
    mi.paper = paper.pwg_name;
    mi.media = media.name;
    mi.paper_code = paper.code;
    mi.media_code = media.code;
    mi.quality_code = s.qualityCode;
    mi.quality = q;
    mi.mono = mono;
    mi.borderless = borderless;
    mi.roll = roll;
    const int mode = printMode(media.code, s.qualityCode, mono, borderless);
    mi.print_mode = uint8_t(mode);
    const int mult = lineMultiplier(media.code, s.qualityCode);
    mi.xdpi = mi.ydpi = kBaseDpi / mult;
    const ModeRaster& r = kModeRaster[size_t(mode)];
    for (int p = 0; p < 7; ++p) {
        mi.bit_depth[p] = r.bits[p];
        mi.levels[p] = r.levels[p];
        std::copy(r.drops[p].begin(), r.drops[p].end(), mi.drops[p]);
        if (r.bits[p]) mi.planes = uint8_t(mi.planes | (1u << p));
    }

    // Geometry in pixels of the mode's resolution.
    int w600 = 0, h600 = 0;
    paperPixels(paper, w600, h600);
    const auto down = [mult](int v) { return (v + mult / 2) / mult; };
    const auto up = [mult](int v) { return (v + mult - 1) / mult; };
    f.paper_width_px = down(w600);
    f.paper_height_px = down(h600);
    s.rasterWidth = kPrintableWidth / mult;
    if (borderless) {
        const int bleed = up(kBleed);
        f.left_px = f.top_px = -bleed;
        f.width_px = f.paper_width_px + 2 * bleed;
        f.height_px = f.paper_height_px + 2 * bleed;
        for (int& b : f.bleed_px) b = bleed;
        s.rasterLeft = 0;
    } else {
        const int margin = up(kMargin);
        f.left_px = f.top_px = margin;
        f.width_px = std::min(f.paper_width_px - 2 * margin, s.rasterWidth - margin);
        f.height_px = f.paper_height_px - 2 * margin;
        s.rasterLeft = margin;
    }
    s.rasterTop = 0;
    const auto um = [mult](int px) { return umFromPixels(px * mult); };
    const int right = f.paper_width_px - f.left_px - f.width_px, bottom = f.paper_height_px - f.top_px - f.height_px;
    if (borderless) {
        for (int i = 0; i < 4; ++i) mi.bleed_um[i] = um(f.bleed_px[i]);
    } else {
        mi.margin_um[0] = um(f.left_px);
        mi.margin_um[1] = um(right);
        mi.margin_um[2] = um(f.top_px);
        mi.margin_um[3] = um(bottom);
    }
}

// Every combination that prints, and where each is in the list.
struct ModeList {
    using Key = std::tuple<const kzp_paper*, const kzp_media*, int, bool, bool, bool>;
    std::vector<kzp_mode_info> list;
    std::map<Key, size_t> index;
};

const ModeList& modes() {
    static const ModeList all = [] {
        ModeList m;
        for (const kzp_paper& paper : papers())
            for (const kzp_media& media : mediaTypes())
                for (int roll = 0; roll < 2; ++roll)
                    for (int borderless = 0; borderless < 2; ++borderless)
                        for (int mono = 0; mono < 2; ++mono)
                            for (int q = 0; q < 4; ++q) {
                                if (!refusal(paper, media, kzp_quality(q), mono, borderless).empty()) continue;
                                Setup s;
                                kzp_mode_info mi;
                                fillMode(paper, media, kzp_quality(q), mono, borderless, roll, s, mi);
                                m.index[{&paper, &media, q, mono, borderless, roll}] = m.list.size();
                                m.list.push_back(mi);
                            }
        return m;
    }();
    return all;
}

// The record of a combination the query does not list (a raw media code
// the tables do not name), made once and kept, as the listed ones are.
const kzp_mode_info* unlistedMode(const ModeList::Key& key, const kzp_mode_info& made) {
    static std::mutex lock;
    static std::map<ModeList::Key, kzp_mode_info> unlisted;
    std::lock_guard<std::mutex> guard(lock);
    return &unlisted.try_emplace(key, made).first->second;
}

std::string names(auto list, auto name) {
    std::string s;
    for (const auto& e : list) s += std::string(s.empty() ? "" : ", ") + name(e);
    return s;
}

}  // namespace

bool resolveSetup(const kzp_settings& in, Setup& setup, std::string& why) {
    const char* paperName = in.paper ? in.paper : "iso_a4_210x297mm";
    const char* mediaName = in.media ? in.media : "plain";
    const kzp_paper* paper = findPaper(paperName);
    if (!paper) {
        why = std::string("unknown paper '") + paperName + "'; papers: " +
              names(papers(), [](const kzp_paper& p) {
                  return std::string(p.pwg_name) + (*p.short_name ? std::string(" (") + p.short_name + ")" : "");
              });
        return false;
    }
    const kzp_media* media = findMedia(mediaName);
    if (!media) {
        why = std::string("unknown media '") + mediaName + "'; media: " +
              names(mediaTypes(), [](const kzp_media& m) { return std::string(m.name); }) +
              " (or code-N for a raw media code)";
        return false;
    }
    if (in.quality < KZP_QUALITY_DRAFT || in.quality > KZP_QUALITY_BEST) {
        why = "unknown quality " + std::to_string(int(in.quality)) + "; qualities: draft, normal, high, best";
        return false;
    }
    if (in.dither < KZP_DITHER_AUTO || in.dither > KZP_DITHER_QUALITY) {
        why = "unknown dither method " + std::to_string(int(in.dither)) + "; methods: auto, fast, quality";
        return false;
    }
    const bool mono = in.mono != 0, borderless = in.borderless != 0;
    const std::string no = refusal(*paper, *media, in.quality, mono, borderless);
    if (!no.empty()) {
        why = std::string("no print mode for ") + media->name + " on " + paper->pwg_name + " at " +
              kzp_quality_name(in.quality) + " quality, " + (mono ? "black-only" : "colour") + ", " +
              (borderless ? "borderless" : "with margins") + " (" + no + "). Possible with " + media->name + " on " +
              paper->pwg_name + ": " + alternatives(*paper, *media);
        return false;
    }
    kzp_mode_info mi;
    fillMode(*paper, *media, in.quality, mono, borderless, in.roll != 0, setup, mi);
    const ModeList::Key key{paper, media, int(in.quality), mono, borderless, in.roll != 0};
    const ModeList& all = modes();
    const auto listed = all.index.find(key);
    setup.format.mode = listed != all.index.end() ? &all.list[listed->second] : unlistedMode(key, mi);
    return true;
}

size_t modeCount() { return modes().list.size(); }
const kzp_mode_info* modeAt(size_t i) { return i < modes().list.size() ? &modes().list[i] : nullptr; }

}  // namespace kzp

namespace {
void copyMessage(const std::string& text, char* message, size_t size) {
    if (!message || size == 0) return;
    std::snprintf(message, size, "%s", text.c_str());
}
}  // namespace

extern "C" {

KZ_VISIBLE size_t kzp_paper_count(void) { return kzp::papers().size(); }
KZ_VISIBLE const kzp_paper* kzp_paper_at(size_t i) { return i < kzp::papers().size() ? &kzp::papers()[i] : nullptr; }
KZ_VISIBLE size_t kzp_media_count(void) { return kzp::mediaTypes().size(); }
KZ_VISIBLE const kzp_media* kzp_media_at(size_t i) {
    return i < kzp::mediaTypes().size() ? &kzp::mediaTypes()[i] : nullptr;
}
KZ_VISIBLE size_t kzp_mode_count(void) { return kzp::modeCount(); }
KZ_VISIBLE const kzp_mode_info* kzp_mode_at(size_t i) { return kzp::modeAt(i); }

KZ_VISIBLE kzp_status kzp_resolve(const kzp_settings* s, kzp_page_format* out, char* message, size_t size) {
    kzp_settings settings;
    std::string why;
    if (!out || out->struct_size < kzp::kFirstPageFormatSize) {
        why = "no page format to fill, or its struct_size is not set (use kzp_page_format_empty())";
    } else if (kzp::readSettings(s, settings, why)) {
        kzp::Setup setup;
        if (kzp::resolveSetup(settings, setup, why)) {
            const size_t callers = std::min(out->struct_size, sizeof setup.format);
            std::memcpy(out, &setup.format, callers);
            out->struct_size = callers;
            copyMessage("", message, size);
            return KZP_OK;
        }
    }
    copyMessage(why, message, size);
    return KZP_ERR_SETTINGS;
}

}
