// Requests from the front ends' words, and the nearest settings that print.
#include "frontend/settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "frontend/ppd_names.h"

namespace kzfront {
namespace {

std::string format(const char* pattern, auto... args) {
    char text[2048];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The nearest qualities to each, in the order they are tried.
constexpr kzp_quality kNearest[4][4] = {
    {KZP_QUALITY_DRAFT, KZP_QUALITY_NORMAL, KZP_QUALITY_HIGH, KZP_QUALITY_BEST},
    {KZP_QUALITY_NORMAL, KZP_QUALITY_HIGH, KZP_QUALITY_DRAFT, KZP_QUALITY_BEST},
    {KZP_QUALITY_HIGH, KZP_QUALITY_BEST, KZP_QUALITY_NORMAL, KZP_QUALITY_DRAFT},
    {KZP_QUALITY_BEST, KZP_QUALITY_HIGH, KZP_QUALITY_NORMAL, KZP_QUALITY_DRAFT}};

}  // namespace

kzp_settings Resolved::settings() const {
    kzp_settings s = kzp_settings_default();
    s.paper = request.paper.c_str();
    s.media = request.media.c_str();
    s.quality = request.quality;
    s.mono = request.colour != Colour::Colour;
    s.borderless = request.borderless;
    s.roll = request.roll;
    s.dither = request.dither;
    s.icc_profile = request.icc.empty() ? nullptr : request.icc.c_str();
    return s;
}

std::string Resolved::changed() const {
    std::string words;
    const auto add = [&](const std::string& w) { words += (words.empty() ? "" : ", ") + w; };
    if (changes.quality) add(std::string(kzp_quality_name(request.quality)) + " quality");
    if (changes.margins) add("with margins");
    if (changes.colour) add(request.colour == Colour::Colour ? "in colour" : "black only");
    return words;
}

bool resolveRequest(const Request& asked, Policy policy, Resolved& out, std::string& error) {
    const bool nearest = policy == Policy::Nearest;
    // The colour modes tried, in order: black only (mono 1) or colour inks.
    struct Ink {
        Colour colour;
        bool change, greyInColour;
    };
    std::vector<Ink> inks;
    switch (asked.colour) {
    case Colour::Grey:
        inks = {{Colour::Grey, false, false}, {Colour::Colour, false, true}};
        break;
    case Colour::BlackOnly:
        inks = {{Colour::BlackOnly, false, false}};
        if (nearest) inks.push_back({Colour::Colour, true, false});
        break;
    case Colour::Colour:
        inks = {{Colour::Colour, false, false}};
        if (nearest) inks.push_back({Colour::BlackOnly, true, false});
        break;
    }
    std::vector<bool> borders = {asked.borderless};
    if (nearest && asked.borderless) borders.push_back(false);
    const int qualities = nearest ? 4 : 1;
    const kzp_quality q0 = std::clamp(asked.quality, KZP_QUALITY_DRAFT, KZP_QUALITY_BEST);

    Resolved r;
    r.request = asked;
    char message[1024] = "";
    for (const Ink& ink : inks) {
        for (const bool borderless : borders) {
            for (int i = 0; i < qualities; ++i) {
                const kzp_quality q = nearest ? kNearest[q0][i] : asked.quality;
                r.request.colour = ink.colour;
                r.request.borderless = borderless;
                r.request.quality = q;
                const kzp_settings s = r.settings();
                if (kzp_resolve(&s, &r.format, message, sizeof message) == KZP_OK) {
                    r.request.paper = r.format.mode->paper;  // the PWG name, whatever name was typed
                    r.changes.quality = q != asked.quality;
                    r.changes.margins = borderless != asked.borderless;
                    r.changes.colour = ink.change;
                    r.changes.greyInColour = ink.greyInColour;
                    out = std::move(r);
                    return true;
                }
                // The words for the request as asked (grey: its colour-ink try, which names more).
                if (!ink.change && borderless == asked.borderless && q == asked.quality) r.reason = message;
            }
        }
    }
    error = r.reason.empty() ? std::string(message) : r.reason;
    return false;
}

bool sameSettings(const Request& a, const Request& b) {
    return a.paper == b.paper && a.media == b.media && a.quality == b.quality && a.colour == b.colour &&
           a.borderless == b.borderless && a.roll == b.roll && a.dither == b.dither && a.icc == b.icc;
}

bool qualityFromWord(const std::string& word, kzp_quality& quality) {
    for (const kzp_quality q : {KZP_QUALITY_DRAFT, KZP_QUALITY_NORMAL, KZP_QUALITY_HIGH, KZP_QUALITY_BEST}) {
        if (word == kzp_quality_name(q)) {
            quality = q;
            return true;
        }
    }
    return false;
}

bool ditherFromWord(const std::string& word, kzp_dither& dither) {
    if (word == "auto") dither = KZP_DITHER_AUTO;
    else if (word == "fast") dither = KZP_DITHER_FAST;
    else if (word == "quality") dither = KZP_DITHER_QUALITY;
    else return false;
    return true;
}

Request requestFromIpp(const IppAttributes& ipp) {
    Request r;
    if (!ipp.mediaSizeName.empty()) r.paper = ipp.mediaSizeName;
    if (!ipp.mediaType.empty()) r.media = ipp.mediaType;
    r.quality = ipp.best                          ? KZP_QUALITY_BEST
                : ipp.quality == IPP_QUALITY_DRAFT ? KZP_QUALITY_DRAFT
                : ipp.quality == IPP_QUALITY_HIGH  ? KZP_QUALITY_HIGH
                                                   : KZP_QUALITY_NORMAL;
    const std::string& mode = ipp.colourMode;
    const bool grey = mode == "monochrome" || mode == "auto-monochrome" || mode == "process-monochrome" ||
                      mode == "bi-level" || mode == "process-bi-level" || (mode == "auto" && ipp.greyContent);
    r.colour = grey ? Colour::Grey : Colour::Colour;
    r.borderless = std::all_of(std::begin(ipp.margins), std::end(ipp.margins), [](int32_t m) { return m == 0; });
    r.roll = ipp.mediaSource.rfind("main-roll", 0) == 0;
    return r;
}

namespace {

constexpr double kPointsPerMicrometre = 72.0 / 25400.0;
constexpr double kSizeTolerancePt = 2.0;  // PageSize is whole points; sizes are rounded
constexpr uint32_t kMaxFactor = 8;        // finest raster the quality search matches: 8 x the mode's

double widthPt(const kzp_paper& p) { return p.width_um * kPointsPerMicrometre; }
double heightPt(const kzp_paper& p) { return p.height_um * kPointsPerMicrometre; }

std::string paperList() {
    std::string list;
    for (size_t i = 0; i < kzp_paper_count(); ++i) {
        const kzp_paper& p = *kzp_paper_at(i);
        if (std::strncmp(p.pwg_name, "code-", 5) == 0) continue;  // raw codes, for experts
        list += format("%s%s (%.0f x %.0f mm)", list.empty() ? "" : ", ", p.label, p.width_um / 1000.0,
                       p.height_um / 1000.0);
    }
    return list;
}

// The paper by the PPD's size name, else by the page's size.
const kzp_paper* rasterPaper(const PageHeader& page, std::string& why) {
    std::string name = page.options.pageSizeName;
    for (const char* suffix : {kzcups::kBorderlessSuffix, kzcups::kOtherBorderlessSuffix}) {
        if (endsWith(name, suffix)) name.resize(name.size() - std::strlen(suffix));
    }
    const size_t count = kzp_paper_count();
    for (size_t i = 0; i < count && !name.empty(); ++i) {
        if (name == kzcups::ppdSizeName(*kzp_paper_at(i)) || name == kzp_paper_at(i)->pwg_name) return kzp_paper_at(i);
    }
    const double w = page.raster.pageWidthPt, h = page.raster.pageHeightPt;
    for (size_t i = 0; i < count; ++i) {
        if (std::fabs(widthPt(*kzp_paper_at(i)) - w) <= kSizeTolerancePt &&
            std::fabs(heightPt(*kzp_paper_at(i)) - h) <= kSizeTolerancePt)
            return kzp_paper_at(i);
    }
    double widest = 0;
    for (size_t i = 0; i < count; ++i) widest = std::max(widest, widthPt(*kzp_paper_at(i)));
    const double mm = 25.4 / 72.0;
    if (w > widest + kSizeTolerancePt) {
        why = format("The page is %.0f mm wide, wider than the printer takes (%.0f mm at most).", w * mm, widest * mm);
    } else {
        why = format("The page is %.0f x %.0f mm, a size this printer does not take. It takes %s.", w * mm, h * mm,
                     paperList().c_str());
    }
    return nullptr;
}

// The media by the header's MediaType name, else by cupsMediaType's code;
// plain paper when neither is set.
const kzp_media* rasterMedia(const RasterOptions& o, std::string& why) {
    const size_t count = kzp_media_count();
    for (size_t i = 0; i < count; ++i) {
        const kzp_media& m = *kzp_media_at(i);
        if (!o.mediaType.empty() ? o.mediaType == m.name
                                 : o.mediaTypeCode != 0 && o.mediaTypeCode == static_cast<uint32_t>(m.code))
            return &m;
        if (o.mediaType.empty() && o.mediaTypeCode == 0 && std::strcmp(m.name, "plain") == 0) return &m;
    }
    std::string names;
    for (size_t i = 0; i < count; ++i) names += format("%s%s", names.empty() ? "" : ", ", kzp_media_at(i)->name);
    why = format("The media type '%s' (code %u) is not one this printer knows. It knows: %s.", o.mediaType.c_str(),
                 o.mediaTypeCode, names.c_str());
    return nullptr;
}

// The raster is at the mode's resolution or a whole multiple of it.
bool resolutionMatches(const RasterGeometry& g, const kzp_page_format& f) {
    return f.mode->xdpi > 0 && f.mode->ydpi > 0 && g.xdpi % uint32_t(f.mode->xdpi) == 0 &&
           g.ydpi % uint32_t(f.mode->ydpi) == 0 && g.xdpi / uint32_t(f.mode->xdpi) <= kMaxFactor &&
           g.ydpi / uint32_t(f.mode->ydpi) <= kMaxFactor;
}

}  // namespace

bool resolveRaster(const PageHeader& page, Resolved& out, std::string& error) {
    const RasterOptions& o = page.options;
    const kzp_paper* paper = rasterPaper(page, error);
    if (!paper) return false;
    const kzp_media* media = rasterMedia(o, error);
    if (!media) return false;
    Request r;
    r.paper = paper->pwg_name;
    r.media = media->name;
    r.borderless = o.integers[kzcups::kBorderlessSlot] == 1 || endsWith(o.pageSizeName, kzcups::kBorderlessSuffix) ||
                   endsWith(o.pageSizeName, kzcups::kOtherBorderlessSuffix);
    r.roll = o.mediaPosition == kzcups::kRollPosition;
    r.colour = page.grey || page.format == PixelFormat::Gray8 ? Colour::Grey : Colour::Colour;
    const uint32_t dither = o.integers[kzcups::kDitherSlot];
    if (dither > KZP_DITHER_QUALITY + 1) {
        error = format("The dithering choice %u is not one of this printer's (Auto, Fast, Quality).", dither);
        return false;
    }
    r.dither = dither == 0 ? KZP_DITHER_AUTO : static_cast<kzp_dither>(dither - 1);
    const uint32_t quality = o.integers[kzcups::kQualitySlot];
    if (quality > KZP_QUALITY_BEST + 1) {
        error = format("The print quality %u is not one of this printer's.", quality);
        return false;
    }
    if (quality != 0 || o.integers[kzcups::kFinestSlot] == 1) {
        r.quality = o.integers[kzcups::kFinestSlot] == 1 ? KZP_QUALITY_BEST : static_cast<kzp_quality>(quality - 1);
        return resolveRequest(r, Policy::Strict, out, error);
    }
    // A raster made without this printer's PPD: the quality whose mode
    // prints at the raster's resolution, else normal.
    for (const kzp_quality q : {KZP_QUALITY_NORMAL, KZP_QUALITY_HIGH, KZP_QUALITY_DRAFT, KZP_QUALITY_BEST}) {
        r.quality = q;
        std::string ignored;
        if (resolveRequest(r, Policy::Strict, out, ignored) && resolutionMatches(page.raster, out.format)) return true;
    }
    r.quality = KZP_QUALITY_NORMAL;
    return resolveRequest(r, Policy::Strict, out, error);
}

}  // namespace kzfront
