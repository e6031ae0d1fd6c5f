#include "page_setup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "ppd_names.h"

namespace kzcups {
namespace {

constexpr double kPointsPerMicrometre = 72.0 / 25400.0;
constexpr double kSizeTolerancePt = 2.0;  // PageSize is whole points; sizes are rounded
constexpr unsigned kMaxFactor = 8;        // finest raster: 8 x 8 pixels for one of the mode's

std::string format(const char* pattern, auto... args) {
    char text[2048];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

double widthPt(const kzp_paper& p) { return p.width_um * kPointsPerMicrometre; }
double heightPt(const kzp_paper& p) { return p.height_um * kPointsPerMicrometre; }

std::string paperList() {
    const size_t count = kzp_paper_count();
    std::string list;
    for (size_t i = 0; i < count; ++i) {
        if (std::strncmp(kzp_paper_at(i)->pwg_name, "code-", 5) == 0) continue;  // raw codes, for experts
        list += format("%s%s (%.0f x %.0f mm)", list.empty() ? "" : ", ", kzp_paper_at(i)->label,
                       kzp_paper_at(i)->width_um / 1000.0, kzp_paper_at(i)->height_um / 1000.0);
    }
    return list;
}

// The paper by the PPD's size name, else by its dimensions.
const kzp_paper* findPaper(const cups_page_header2_t& h, std::string& why) {
    const size_t count = kzp_paper_count();
    std::string name = h.cupsPageSizeName;
    for (const char* suffix : {kBorderlessSuffix, kOtherBorderlessSuffix}) {
        if (endsWith(name, suffix)) name.resize(name.size() - std::strlen(suffix));
    }
    for (size_t i = 0; i < count && !name.empty(); ++i) {
        if (name == ppdSizeName(*kzp_paper_at(i)) || name == kzp_paper_at(i)->pwg_name) return kzp_paper_at(i);
    }
    for (size_t i = 0; i < count; ++i) {
        if (std::fabs(widthPt(*kzp_paper_at(i)) - h.PageSize[0]) <= kSizeTolerancePt &&
            std::fabs(heightPt(*kzp_paper_at(i)) - h.PageSize[1]) <= kSizeTolerancePt) {
            return kzp_paper_at(i);
        }
    }
    double widest = 0;
    for (size_t i = 0; i < count; ++i) widest = std::max(widest, widthPt(*kzp_paper_at(i)));
    const double mm = 25.4 / 72.0;
    if (h.PageSize[0] > widest + kSizeTolerancePt) {
        why = format("The page is %.0f mm wide, wider than the printer takes (%.0f mm at most).",
                     h.PageSize[0] * mm, widest * mm);
    } else {
        why = format("The page is %.0f x %.0f mm, a size this printer does not take. It takes %s.",
                     h.PageSize[0] * mm, h.PageSize[1] * mm, paperList().c_str());
    }
    return nullptr;
}

// The media by the header's MediaType name, else by cupsMediaType's code;
// plain paper when neither is set.
const kzp_media* findMedia(const cups_page_header2_t& h, std::string& why) {
    const size_t count = kzp_media_count();
    for (size_t i = 0; i < count; ++i) {
        if (h.MediaType[0] != '\0' && std::strcmp(h.MediaType, kzp_media_at(i)->name) == 0) return kzp_media_at(i);
    }
    for (size_t i = 0; i < count && h.MediaType[0] == '\0'; ++i) {
        if (h.cupsMediaType != 0 && h.cupsMediaType == static_cast<unsigned>(kzp_media_at(i)->code)) return kzp_media_at(i);
    }
    if (h.MediaType[0] == '\0' && h.cupsMediaType == 0) {
        for (size_t i = 0; i < count; ++i) {
            if (std::strcmp(kzp_media_at(i)->name, "plain") == 0) return kzp_media_at(i);
        }
    }
    std::string names;
    for (size_t i = 0; i < count; ++i) names += format("%s%s", names.empty() ? "" : ", ", kzp_media_at(i)->name);
    why = format("The media type '%s' (code %u) is not one this printer knows. It knows: %s.", h.MediaType,
                 h.cupsMediaType, names.c_str());
    return nullptr;
}

// What the raster's encoding becomes in the pipeline.
bool pickInput(const cups_page_header2_t& h, PagePlan& plan, std::string& why) {
    const unsigned bits = h.cupsBitsPerColor;
    const bool chunky = h.cupsColorOrder == CUPS_ORDER_CHUNKED;
    switch (h.cupsColorSpace) {
    case CUPS_CSPACE_W:
    case CUPS_CSPACE_SW:
    case CUPS_CSPACE_K:
        if (bits == 8 || bits == 1) {
            plan.input = KZP_INPUT_GRAY8;
            plan.grey = true;
            return true;
        }
        break;
    case CUPS_CSPACE_RGB:
    case CUPS_CSPACE_SRGB:
        if (bits == 8 && chunky) {
            plan.input = KZP_INPUT_RGB8;
            return true;
        }
        break;
    case CUPS_CSPACE_CMYK:
        if (bits == 8 && chunky) {
            plan.input = KZP_INPUT_CMYK8;
            return true;
        }
        break;
    default:
        break;
    }
    why = format("The page arrived in colour space %u with %u bits per colour%s; this printer takes "
                 "8-bit grey, 1- or 8-bit black, or 8-bit RGB or CMYK, pixel by pixel. Choose the "
                 "colour mode in the printer's options.",
                 h.cupsColorSpace, bits, chunky ? "" : " in separate planes");
    return false;
}

// The raster is at the mode's resolution or a whole multiple of it (the PPD
// renders each quality at the finest resolution its modes print).
bool resolutionMatches(const cups_page_header2_t& h, const kzp_page_format& f) {
    return f.mode->xdpi > 0 && f.mode->ydpi > 0 && h.HWResolution[0] % f.mode->xdpi == 0 &&
           h.HWResolution[1] % f.mode->ydpi == 0 && h.HWResolution[0] / f.mode->xdpi <= kMaxFactor &&
           h.HWResolution[1] / f.mode->ydpi <= kMaxFactor;
}

// Grey pages print black-only where a black-only mode exists, else with
// colour inks.
kzp_status resolveGrey(PagePlan& plan, char* message, size_t size) {
    plan.settings.mono = 1;
    if (kzp_resolve(&plan.settings, &plan.format, nullptr, 0) == KZP_OK) return KZP_OK;
    plan.settings.mono = 0;
    plan.greyInColour = true;
    return kzp_resolve(&plan.settings, &plan.format, message, size);
}

}  // namespace

kzp_status resolve(PagePlan& plan, char* message, size_t size) {
    plan.greyInColour = false;
    if (plan.grey) return resolveGrey(plan, message, size);
    plan.settings.mono = 0;
    return kzp_resolve(&plan.settings, &plan.format, message, size);
}

bool planPage(const cups_page_header2_t& h, PagePlan& plan, std::string& why) {
    plan = PagePlan{};
    if (h.cupsWidth == 0 || h.cupsHeight == 0 || h.HWResolution[0] == 0 || h.HWResolution[1] == 0) {
        why = "The page header has no size or resolution; the raster is damaged.";
        return false;
    }
    if (!pickInput(h, plan, why)) return false;
    const uint64_t lineBits = uint64_t{h.cupsWidth} * h.cupsBitsPerPixel;
    if (h.cupsBitsPerPixel != h.cupsBitsPerColor * (plan.input == KZP_INPUT_GRAY8 ? 1u : plan.input == KZP_INPUT_RGB8 ? 3u : 4u) ||
        uint64_t{h.cupsBytesPerLine} < (lineBits + 7) / 8) {
        why = format("The page header is inconsistent (%u pixels of %u bits in %u bytes per line); the "
                     "raster is damaged.",
                     h.cupsWidth, h.cupsBitsPerPixel, h.cupsBytesPerLine);
        return false;
    }
    const kzp_paper* paper = findPaper(h, why);
    if (paper == nullptr) return false;
    const kzp_media* media = findMedia(h, why);
    if (media == nullptr) return false;

    plan.settings = kzp_settings_default();
    plan.paper = paper;
    plan.mediaType = media;
    plan.settings.paper = paper->pwg_name;
    plan.settings.media = media->name;
    plan.settings.borderless =
        h.cupsInteger[kBorderlessSlot] == 1 || endsWith(h.cupsPageSizeName, kBorderlessSuffix) ||
        endsWith(h.cupsPageSizeName, kOtherBorderlessSuffix);
    plan.settings.roll = h.MediaPosition == kRollPosition;
    const unsigned dither = h.cupsInteger[kDitherSlot];
    if (dither > KZP_DITHER_QUALITY + 1) {
        why = format("The dithering choice %u is not one of this printer's (Auto, Fast, Quality).", dither);
        return false;
    }
    plan.settings.dither = dither == 0 ? KZP_DITHER_AUTO : static_cast<kzp_dither>(dither - 1);

    char message[512] = "";
    const unsigned quality = h.cupsInteger[kQualitySlot];
    if (quality > KZP_QUALITY_BEST + 1) {
        why = format("The print quality %u is not one of this printer's.", quality);
        return false;
    }
    if (quality != 0 || h.cupsInteger[kFinestSlot] == 1) {
        plan.settings.quality = h.cupsInteger[kFinestSlot] == 1 ? KZP_QUALITY_BEST : static_cast<kzp_quality>(quality - 1);
        if (resolve(plan, message, sizeof message) != KZP_OK) {
            why = message;
            return false;
        }
    } else {
        // A raster made without this printer's PPD: the quality whose mode
        // prints at the raster's resolution.
        const kzp_quality order[] = {KZP_QUALITY_NORMAL, KZP_QUALITY_HIGH, KZP_QUALITY_DRAFT, KZP_QUALITY_BEST};
        bool found = false;
        for (const kzp_quality q : order) {
            plan.settings.quality = q;
            if (resolve(plan, message, sizeof message) == KZP_OK && resolutionMatches(h, plan.format)) {
                found = true;
                break;
            }
        }
        if (!found) {
            plan.settings.quality = KZP_QUALITY_NORMAL;
            if (resolve(plan, message, sizeof message) != KZP_OK) {
                why = message;
                return false;
            }
        }
    }
    if (!resolutionMatches(h, plan.format)) {
        why = format("The page was rendered at %ux%u dpi, which matches no print mode: %s quality on %s "
                     "%s prints at %dx%d dpi (or from a raster at a whole multiple of it). Choose the "
                     "print quality in the printer's options rather than a resolution.",
                     h.HWResolution[0], h.HWResolution[1], kzp_quality_name(plan.settings.quality),
                     paper->label, media->label, plan.format.mode->xdpi, plan.format.mode->ydpi);
        return false;
    }
    // The raster covers at most the page: a wider one is damaged (and would
    // ask for line buffers of any size).
    if (uint64_t{h.cupsWidth} * 72 > (uint64_t{h.PageSize[0]} + 2) * h.HWResolution[0]) {
        why = format("The page header is inconsistent (%u pixels across at %u dpi on a page %u points "
                     "wide); the raster is damaged.",
                     h.cupsWidth, h.HWResolution[0], h.PageSize[0]);
        return false;
    }
    return true;
}

bool sameSettings(const kzp_settings& a, const kzp_settings& b) {
    return std::strcmp(a.paper, b.paper) == 0 && std::strcmp(a.media, b.media) == 0 &&
           a.quality == b.quality && a.mono == b.mono && a.borderless == b.borderless && a.roll == b.roll &&
           a.dither == b.dither;
}

Placement::Placement(const cups_page_header2_t& h, const kzp_page_format& f)
    : factorX_(static_cast<int32_t>(h.HWResolution[0]) / std::max(f.mode->xdpi, 1)),
      factorY_(static_cast<int32_t>(h.HWResolution[1]) / std::max(f.mode->ydpi, 1)) {
    factorX_ = std::max(factorX_, 1);
    factorY_ = std::max(factorY_, 1);
    // The raster's origin on the paper, in raster pixels.
    const bool boxed = h.ImagingBoundingBox[2] > h.ImagingBoundingBox[0] &&
                       h.ImagingBoundingBox[3] > h.ImagingBoundingBox[1];
    const double originX = boxed ? h.ImagingBoundingBox[0] * h.HWResolution[0] / 72.0 : 0.0;
    const double originY = boxed ? (static_cast<double>(h.PageSize[1]) - h.ImagingBoundingBox[3]) * h.HWResolution[1] / 72.0 : 0.0;
    const bool stretch = f.left_px < 0 || f.top_px < 0;
    // Each of the mode's pixels, by its centre on the paper in the mode's
    // pixels, takes the block of `factor` raster pixels around it.
    auto map = [&](int32_t count, int32_t offset, int32_t paper, double origin, int32_t factor, uint32_t limit,
                   std::vector<int32_t>& out) {
        out.resize(static_cast<size_t>(std::max(count, 0)));
        for (int32_t i = 0; i < count; ++i) {
            const double centre = stretch ? (i + 0.5) * paper / count : i + offset + 0.5;
            const double first = std::floor(centre * factor - origin - factor / 2.0 + 0.5);
            out[static_cast<size_t>(i)] = first >= 0 && first < limit ? static_cast<int32_t>(first) : -1;
        }
    };
    map(f.width_px, f.left_px, f.paper_width_px, originX, factorX_, h.cupsWidth, columns_);
    map(f.height_px, f.top_px, f.paper_height_px, originY, factorY_, h.cupsHeight, rows_);
}

int32_t Placement::sourceRow(int32_t line) const {
    return line >= 0 && static_cast<size_t>(line) < rows_.size() ? rows_[static_cast<size_t>(line)] : -1;
}

size_t inputBytes(kzp_input input) {
    switch (input) {
    case KZP_INPUT_GRAY8: return 1;
    case KZP_INPUT_RGB8: return 3;
    case KZP_INPUT_CMYK8: return 4;
    case KZP_INPUT_BLACK1: return 1;
    }
    return 1;
}

LineConverter::LineConverter(const cups_page_header2_t& h, const PagePlan& plan, const Placement& placement)
    : header_(h),
      placement_(placement),
      channels_(inputBytes(plan.input)),
      blank_(plan.input == KZP_INPUT_CMYK8 ? 0 : 255),
      toGrey_(plan.input == KZP_INPUT_GRAY8 && (h.cupsBitsPerColor == 1 || h.cupsColorSpace == CUPS_CSPACE_K)) {}

void LineConverter::convert(const uint8_t* raster, int32_t rows, uint8_t* out) {
    if (raster == nullptr || rows <= 0) {
        std::memset(out, blank_, placement_.sourceColumns().size() * channels_);
        return;
    }
    size_t stride = header_.cupsBytesPerLine;
    if (toGrey_) {
        // 0 black .. 255 white, as the pipeline takes grey.
        const size_t width = header_.cupsWidth;
        const bool black = header_.cupsColorSpace == CUPS_CSPACE_K;
        grey_.resize(width * static_cast<size_t>(rows));
        for (int32_t r = 0; r < rows; ++r) {
            const uint8_t* line = raster + static_cast<size_t>(r) * stride;
            uint8_t* to = grey_.data() + static_cast<size_t>(r) * width;
            for (size_t x = 0; x < width; ++x) {
                if (header_.cupsBitsPerColor == 1) {
                    const bool set = (line[x / 8] >> (7 - x % 8)) & 1;
                    to[x] = set != black ? 255 : 0;  // K: 1 is ink; W: 1 is white
                } else {
                    to[x] = black ? static_cast<uint8_t>(255 - line[x]) : line[x];
                }
            }
        }
        raster = grey_.data();
        stride = width;
    }
    switch (channels_) {
    case 3: average<3>(raster, stride, rows, out); break;
    case 4: average<4>(raster, stride, rows, out); break;
    default: average<1>(raster, stride, rows, out); break;
    }
}

template <size_t N>
void LineConverter::average(const uint8_t* raster, size_t stride, int32_t rows, uint8_t* out) const {
    const std::vector<int32_t>& columns = placement_.sourceColumns();
    const int32_t width = static_cast<int32_t>(header_.cupsWidth);
    const int32_t blockWidth = placement_.blockWidth();
    for (size_t i = 0; i < columns.size(); ++i, out += N) {
        const int32_t first = columns[i];
        if (first < 0) {
            std::memset(out, blank_, N);
        } else if (blockWidth == 1 && rows == 1) {
            std::memcpy(out, raster + static_cast<size_t>(first) * N, N);
        } else if (blockWidth == 2 && rows == 2 && first + 2 <= width) {
            // Normal quality on plain paper: 600 dpi raster, 300 dpi mode.
            const uint8_t* a = raster + static_cast<size_t>(first) * N;
            const uint8_t* b = a + stride;
            for (size_t c = 0; c < N; ++c) {
                out[c] = static_cast<uint8_t>((unsigned{a[c]} + a[N + c] + b[c] + b[N + c] + 2) / 4);
            }
        } else {
            const int32_t last = std::min(first + blockWidth, width);
            const unsigned count = static_cast<unsigned>((last - first) * rows);
            unsigned sum[N] = {};
            for (int32_t r = 0; r < rows; ++r) {
                const uint8_t* p = raster + static_cast<size_t>(r) * stride + static_cast<size_t>(first) * N;
                for (int32_t x = first; x < last; ++x, p += N) {
                    for (size_t c = 0; c < N; ++c) sum[c] += p[c];
                }
            }
            for (size_t c = 0; c < N; ++c) out[c] = static_cast<uint8_t>((sum[c] + count / 2) / count);
        }
    }
}

}  // namespace kzcups
