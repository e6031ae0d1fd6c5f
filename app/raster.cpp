// PAPPL's raster callbacks: each page's lines go to the pipeline, which
// separates colour and halftones them (PAPPL's own dither is not used).
//
// PAPPL hands over whole pages at the raster header's resolution; the
// pipeline wants the lines of the print mode's area (the paper less margins,
// or plus bleed when borderless) at the mode's resolution.  Each page is
// mapped onto the paper centred, and resampled to the mode by nearest pixel.
// Pictures (PNG, JPEG) placed with pixman by picture_filter.cpp, and PDF pages
// Ghostscript renders to fit, arrive at the area's size (rasterStartArea).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"

namespace kzapp {
namespace {

struct RasterJob {
    std::string paper, media;
    kzp_settings settings{};
    kzp_job* job = nullptr;
    kzp_page_format format = kzp_page_format_empty();
    pappl_device_t* device = nullptr;
    // The page in progress.
    kzp_input input = KZP_INPUT_RGB8;
    unsigned bytesPerPixel = 3;  // of the output line; 0 for 1-bit input
    bool invert = false;         // black-is-high input
    unsigned sourceHeight = 0;
    double sourceLinesPerLine = 1, sourceLineOffset = 0;
    std::vector<int32_t> sourceX;  // source pixel of each output pixel
    std::vector<uint8_t> line;
    int32_t nextLine = 0;
    bool pageOpen = false;
    std::chrono::steady_clock::time_point pageStart;
};

int writeToDevice(void* ctx, const uint8_t* bytes, size_t size) {
    return papplDeviceWrite(static_cast<pappl_device_t*>(ctx), bytes, size) == static_cast<ssize_t>(size) ? 0 : -1;
}

bool fail(pappl_job_t* job, const char* format, const char* detail) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, format, detail);
    papplJobSetMessage(job, format, detail);
    return false;
}

kzp_quality qualityOf(ipp_quality_t q) {
    switch (q) {
    case IPP_QUALITY_DRAFT: return KZP_QUALITY_DRAFT;
    case IPP_QUALITY_HIGH: return KZP_QUALITY_HIGH;
    default: return KZP_QUALITY_NORMAL;
    }
}

bool grayHeader(const cups_page_header2_t& h) {
    return h.cupsColorSpace == CUPS_CSPACE_SW || h.cupsColorSpace == CUPS_CSPACE_W ||
           h.cupsColorSpace == CUPS_CSPACE_K;
}

// The settings as asked, else the nearest that print: the quality first
// (high also tries best), then borderless, then the colour mode.  A phone
// asking borderless draft on plain paper gets a page, and the job says what
// changed.
bool resolveNearest(RasterJob& r, pappl_job_t* job, std::string& changed) {
    const kzp_settings asked = r.settings;
    static const kzp_quality kOrder[4][4] = {
        {KZP_QUALITY_DRAFT, KZP_QUALITY_NORMAL, KZP_QUALITY_HIGH, KZP_QUALITY_BEST},
        {KZP_QUALITY_NORMAL, KZP_QUALITY_HIGH, KZP_QUALITY_DRAFT, KZP_QUALITY_BEST},
        {KZP_QUALITY_HIGH, KZP_QUALITY_BEST, KZP_QUALITY_NORMAL, KZP_QUALITY_DRAFT},
        {KZP_QUALITY_BEST, KZP_QUALITY_HIGH, KZP_QUALITY_NORMAL, KZP_QUALITY_DRAFT}};
    char why[512] = "";
    char first[512] = "";
    for (int mono : {asked.mono, asked.mono ? 0 : 1}) {
        for (int borderless : {asked.borderless, 0}) {
            for (kzp_quality q : kOrder[asked.quality]) {
                kzp_settings s = asked;
                s.mono = mono;
                s.borderless = borderless;
                s.quality = q;
                if (kzp_resolve(&s, &r.format, why, sizeof why) == KZP_OK) {
                    r.settings = s;
                    if (q != asked.quality) changed += std::string(" quality ") + kzp_quality_name(q) + ";";
                    if (borderless != asked.borderless) changed += " with margins;";
                    if (mono != asked.mono) changed += mono ? " black only;" : " in colour;";
                    if (!changed.empty()) {
                        papplLogJob(job, PAPPL_LOGLEVEL_WARN, "%s Printing%s", first, changed.c_str());
                        papplJobSetMessage(job, "Printing%s (%s)", changed.c_str(), first);
                    }
                    return true;
                }
                if (!*first) std::memcpy(first, why, sizeof first);
            }
        }
    }
    return fail(job, "These settings do not print: %s", first);
}

}  // namespace

bool rasterStartJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
    auto* r = new RasterJob;
    papplJobSetData(job, r);
    r->device = device;
    r->paper = options->media.size_name;
    r->media = options->media.type;
    r->settings = kzp_settings_default();
    r->settings.paper = r->paper.c_str();
    if (!r->media.empty()) r->settings.media = r->media.c_str();
    r->settings.quality = qualityOf(options->print_quality);
    const pappl_color_mode_t mode = options->print_color_mode;
    r->settings.mono = (mode & (PAPPL_COLOR_MODE_MONOCHROME | PAPPL_COLOR_MODE_AUTO_MONOCHROME |
                                PAPPL_COLOR_MODE_BI_LEVEL)) != 0 ||
                       (mode == PAPPL_COLOR_MODE_AUTO && grayHeader(options->header));
    r->settings.borderless = options->media.left_margin == 0 && options->media.right_margin == 0 &&
                             options->media.top_margin == 0 && options->media.bottom_margin == 0;
    r->settings.roll = std::strncmp(options->media.source, "main-roll", 9) == 0;
    std::string changed;
    char why[512] = "";
    kzp_sink sink = kzp_sink_callback(writeToDevice, device);
    if (resolveNearest(*r, job, changed)) r->job = kzp_job_open(&r->settings, &sink, why, sizeof why);
    if (!r->job) {
        papplJobSetData(job, nullptr);
        delete r;
        return *why ? fail(job, "The job cannot start: %s", why) : false;
    }
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Printing %s on %s, %s quality, %s%s, %dx%d dpi",
                r->paper.c_str(), r->settings.media ? r->settings.media : "plain",
                kzp_quality_name(r->settings.quality), r->settings.mono ? "black only" : "colour",
                r->settings.borderless ? ", borderless" : "", r->format.mode->xdpi, r->format.mode->ydpi);
    return true;
}

bool rasterStartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned page) {
    auto* r = static_cast<RasterJob*>(papplJobGetData(job));
    if (!r || !r->job) return false;
    const cups_page_header2_t& h = options->header;
    // A client's PWG or Apple raster header replaces the driver's: take only
    // what the pipeline can, and say what arrived when it cannot.
    const unsigned bits = h.cupsBitsPerColor;
    unsigned colours = 0;
    switch (h.cupsColorSpace) {
    case CUPS_CSPACE_SW: case CUPS_CSPACE_W: r->input = KZP_INPUT_GRAY8; r->invert = false; colours = 1; break;
    case CUPS_CSPACE_K: r->input = KZP_INPUT_GRAY8; r->invert = true; colours = 1; break;
    case CUPS_CSPACE_SRGB: case CUPS_CSPACE_RGB: case CUPS_CSPACE_ADOBERGB:
        r->input = KZP_INPUT_RGB8; r->invert = false; colours = 3; break;
    case CUPS_CSPACE_CMYK: r->input = KZP_INPUT_CMYK8; r->invert = false; colours = 4; break;
    default: break;
    }
    char what[256];
    std::snprintf(what, sizeof what, "page %u has colour space %d at %u bits, order %d", page,
                  static_cast<int>(h.cupsColorSpace), bits, static_cast<int>(h.cupsColorOrder));
    if (colours == 0 || (bits != 8 && !(bits == 1 && colours == 1)) || h.cupsColorOrder != CUPS_ORDER_CHUNKED)
        return fail(job, "Unsupported raster: %s; this printer takes 8-bit sRGB, sGray, black or CMYK, "
                         "or 1-bit black, chunky.", what);
    if (h.cupsBitsPerPixel != bits * colours || h.cupsWidth == 0 || h.cupsHeight == 0 ||
        h.cupsBytesPerLine != (h.cupsWidth * h.cupsBitsPerPixel + 7) / 8 || h.HWResolution[0] < 50 ||
        h.HWResolution[1] < 50 || h.HWResolution[0] > 4800 || h.HWResolution[1] > 4800) {
        std::snprintf(what, sizeof what, "%u x %u pixels, %u bits per pixel, %u bytes per line, %u x %u dpi",
                      h.cupsWidth, h.cupsHeight, h.cupsBitsPerPixel, h.cupsBytesPerLine, h.HWResolution[0],
                      h.HWResolution[1]);
        return fail(job, "The raster page header does not add up: %s.", what);
    }
    const kzp_page_format& f = r->format;
    const double xScale = static_cast<double>(f.mode->xdpi) / h.HWResolution[0];
    const double yScale = static_cast<double>(f.mode->ydpi) / h.HWResolution[1];
    const double width = h.cupsWidth * xScale, height = h.cupsHeight * yScale;
    // A page much larger than the paper is a mistake, not something to shrink.
    if (width > 1.5 * f.paper_width_px + 600 || height > 1.5 * f.paper_height_px + 600) {
        std::snprintf(what, sizeof what, "the page is %.0f x %.0f mm, the paper %s %.0f x %.0f mm",
                      width * 25.4 / f.mode->xdpi, height * 25.4 / f.mode->ydpi, r->paper.c_str(),
                      f.paper_width_px * 25.4 / f.mode->xdpi, f.paper_height_px * 25.4 / f.mode->ydpi);
        return fail(job, "The page does not fit the paper: %s.", what);
    }
    // Output pixel x sits at paper position left_px + x; the page is centred.
    const double offsetX = (f.paper_width_px - width) / 2, offsetY = (f.paper_height_px - height) / 2;
    r->sourceX.resize(static_cast<size_t>(f.width_px));
    for (int32_t x = 0; x < f.width_px; ++x) {
        const double sx = std::floor((f.left_px + x + 0.5 - offsetX) / xScale);
        r->sourceX[x] = static_cast<int32_t>(std::clamp(sx, 0.0, h.cupsWidth - 1.0));
    }
    r->sourceLinesPerLine = 1 / yScale;
    r->sourceLineOffset = f.top_px - offsetY;
    r->sourceHeight = h.cupsHeight;
    r->bytesPerPixel = bits == 1 ? 0 : colours;
    const kzp_input pipelineInput = bits == 1 ? KZP_INPUT_GRAY8 : r->input;
    const unsigned outBytes = pipelineInput == KZP_INPUT_RGB8 ? 3 : pipelineInput == KZP_INPUT_CMYK8 ? 4 : 1;
    r->line.resize(static_cast<size_t>(f.width_px) * outBytes);
    r->nextLine = 0;
    if (kzp_job_begin_page(r->job, pipelineInput, f.width_px, f.height_px) != KZP_OK)
        return fail(job, "The page cannot start: %s", kzp_job_message(r->job));
    r->pageOpen = true;
    r->pageStart = std::chrono::steady_clock::now();
    return true;
}

const kzp_page_format* rasterFormat(pappl_job_t* job) {
    const auto* r = static_cast<RasterJob*>(papplJobGetData(job));
    return r && r->job ? &r->format : nullptr;
}

bool rasterStartArea(pappl_job_t* job, unsigned page, bool grey) {
    auto* r = static_cast<RasterJob*>(papplJobGetData(job));
    if (!r || !r->job) return false;
    // Line y is line y of the area, pixel x its pixel x.
    const kzp_page_format& f = r->format;
    r->input = grey ? KZP_INPUT_GRAY8 : KZP_INPUT_RGB8;
    r->invert = false;
    r->bytesPerPixel = grey ? 1 : 3;
    r->sourceX.resize(static_cast<size_t>(f.width_px));
    for (int32_t x = 0; x < f.width_px; ++x) r->sourceX[x] = x;
    r->sourceLinesPerLine = 1;
    r->sourceLineOffset = 0;
    r->sourceHeight = static_cast<unsigned>(f.height_px);
    r->line.resize(static_cast<size_t>(f.width_px) * r->bytesPerPixel);
    r->nextLine = 0;
    if (kzp_job_begin_page(r->job, r->input, f.width_px, f.height_px) != KZP_OK)
        return fail(job, "The page cannot start: %s", kzp_job_message(r->job));
    r->pageOpen = true;
    r->pageStart = std::chrono::steady_clock::now();
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Page %u placed at the print mode's area, %d x %d", page, f.width_px,
                f.height_px);
    return true;
}

bool rasterWriteLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned y, const unsigned char* src) {
    auto* r = static_cast<RasterJob*>(papplJobGetData(job));
    if (!r || !r->pageOpen) return false;
    // Cancelled: take no more lines; the page ends blank from here.
    if (papplJobIsCanceled(job)) return true;
    auto sourceLine = [r](int32_t line) {
        const double sy = std::floor((line + 0.5 + r->sourceLineOffset) * r->sourceLinesPerLine);
        return static_cast<unsigned>(std::clamp(sy, 0.0, r->sourceHeight - 1.0));
    };
    bool converted = false;
    while (r->nextLine < r->format.height_px && sourceLine(r->nextLine) <= y) {
        if (!converted) {
            uint8_t* out = r->line.data();
            const size_t n = r->sourceX.size();
            if (r->bytesPerPixel == 0) {  // 1-bit: set bits are black for K, white for W
                for (size_t x = 0; x < n; ++x) {
                    const int32_t sx = r->sourceX[x];
                    const bool set = (src[sx >> 3] >> (7 - (sx & 7))) & 1;
                    out[x] = (set != r->invert) ? 255 : 0;
                }
            } else if (r->bytesPerPixel == 1) {
                for (size_t x = 0; x < n; ++x) out[x] = r->invert ? 255 - src[r->sourceX[x]] : src[r->sourceX[x]];
            } else {
                const unsigned bpp = r->bytesPerPixel;
                for (size_t x = 0; x < n; ++x) std::memcpy(out + x * bpp, src + r->sourceX[x] * bpp, bpp);
            }
            converted = true;
        }
        if (kzp_job_write_line(r->job, r->line.data()) != KZP_OK)
            return fail(job, "A line did not print: %s", kzp_job_message(r->job));
        ++r->nextLine;
    }
    return true;
}

bool rasterEndPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned page) {
    auto* r = static_cast<RasterJob*>(papplJobGetData(job));
    if (!r || !r->pageOpen) return false;
    r->pageOpen = false;
    // Lines not given (a cancelled or short page) print blank: the page ends
    // and leaves the printer.
    const kzp_status status = kzp_job_end_page(r->job);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - r->pageStart).count();
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Page %u done in %.2f s (%d of %d lines given)", page, seconds,
                r->nextLine, r->format.height_px);
    if (status != KZP_OK) return fail(job, "The page did not finish: %s", kzp_job_message(r->job));
    return true;
}

bool rasterEndJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    auto* r = static_cast<RasterJob*>(papplJobGetData(job));
    if (!r) return false;
    papplJobSetData(job, nullptr);
    bool ok = true;
    if (r->job) {
        if (kzp_job_finish(r->job) != KZP_OK) ok = fail(job, "The job did not finish: %s", kzp_job_message(r->job));
        kzp_job_close(r->job);
    }
    delete r;
    return ok;
}

// Printer-ready streams go to the printer as they are.
bool printRawFile(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device) {
    const int fd = open(papplJobGetFilename(job), O_RDONLY);
    if (fd < 0) return fail(job, "Cannot open the job file: %s", std::strerror(errno));
    uint8_t buffer[65536];
    ssize_t got = 0;
    bool ok = true;
    while (ok && (got = read(fd, buffer, sizeof buffer)) > 0)
        ok = papplDeviceWrite(device, buffer, static_cast<size_t>(got)) == got;
    close(fd);
    if (!ok || got < 0) return fail(job, "%s", "Cannot send the job to the printer.");
    papplJobSetImpressions(job, 1);
    papplJobSetImpressionsCompleted(job, 1);
    return true;
}

}  // namespace kzapp
