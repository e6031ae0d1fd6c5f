// The pipeline job of a PAPPL job, and PAPPL's raster callbacks.
//
// Settings come from the job's IPP attributes through the front-end layer's
// translation, the nearest that print (the job says what changed).  PAPPL
// streams PWG and Apple raster straight from the client into the raster
// callbacks: each page's header is checked as the readers check it, and its
// lines are placed on the print mode's area by the same placement as every
// other page, as they arrive.  A page whose data ends early fails its job.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/job_preview.h"
#include "frontend/print_loop.h"
#include "frontend/raster_header.h"

namespace kzapp {
namespace {

struct RasterJob {
    kzfront::Resolved settings;
    kzp_job* job = nullptr;
    // The streamed page in progress.
    std::unique_ptr<kzfront::PagePrinter> page;
    kzfront::RasterLayout layout;
    int32_t width = 0, height = 0;
    std::vector<uint8_t> row;
    std::chrono::steady_clock::time_point pageStart;
    pappl_device_t* device = nullptr;
    std::unique_ptr<JobPreview> preview;  // drawn from the bytes sent
    // Streamed pages read once: kept to print the copies (PAPPL makes none).
    kzfront::Copies copies;
    std::unique_ptr<kzfront::PageSpool> spool;
    kzfront::PageHeader header;
};

int writeToDevice(void* ctx, const uint8_t* bytes, size_t size) {
    auto* r = static_cast<RasterJob*>(ctx);
    if (papplDeviceWrite(r->device, bytes, size) != static_cast<ssize_t>(size)) return -1;
    if (r->preview) r->preview->write(bytes, size);
    return 0;
}

bool fail(pappl_job_t* job, const char* format, const char* detail) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, format, detail);
    papplJobSetMessage(job, format, detail);
    return false;
}

const char* colourModeKeyword(pappl_color_mode_t mode) {
    if (mode & (PAPPL_COLOR_MODE_MONOCHROME | PAPPL_COLOR_MODE_AUTO_MONOCHROME | PAPPL_COLOR_MODE_BI_LEVEL))
        return "monochrome";
    return mode == PAPPL_COLOR_MODE_AUTO ? "auto" : "color";
}

// A raster line as the pipeline takes it: 8-bit, 0 black .. 255 white for grey.
void toPixels(const kzfront::RasterLayout& layout, const uint8_t* in, int32_t width, uint8_t* out) {
    if (layout.bits == 1) {
        for (int32_t x = 0; x < width; ++x)
            out[x] = (((in[x >> 3] >> (7 - (x & 7))) & 1) != 0) != layout.inverted ? 255 : 0;
    } else if (layout.inverted) {
        for (int32_t x = 0; x < width; ++x) out[x] = uint8_t(255 - in[x]);
    } else {
        std::memcpy(out, in, size_t(width) * size_t(kzfront::channels(layout.format)));
    }
}

RasterJob* rasterJob(pappl_job_t* job) { return static_cast<RasterJob*>(papplJobGetData(job)); }

// The kept pages from `first` on, printed again `times` times.
bool printKept(pappl_job_t* job, RasterJob& r, int first, int times) {
    for (int copy = 0; copy < times && !papplJobIsCanceled(job); ++copy) {
        auto kept = r.spool->replay(first);
        kzfront::PageHeader page;
        std::string why;
        kzfront::LoopHooks hooks;
        hooks.cancelled = [job] { return papplJobIsCanceled(job); };
        while (kept->nextPage(page, why)) {
            const kzfront::Outcome outcome =
                kzfront::printPage(r.job, r.settings.format, *kept, page, kzfront::Placing{}, hooks, 0, why);
            if (outcome == kzfront::Outcome::Cancelled) return true;
            if (outcome == kzfront::Outcome::Failed) return fail(job, "A copy did not print: %s", why.c_str());
            papplJobSetImpressionsCompleted(job, 1);
        }
        if (!why.empty()) return fail(job, "A copy did not print: %s", why.c_str());
    }
    return true;
}

}  // namespace

kzfront::Copies jobCopies(pappl_job_t* job, const pappl_pr_options_t& options) {
    kzfront::Copies copies;
    copies.count = std::max(1, options.copies);
    // PAPPL 1.3 takes the two values IPP defines for several copies and
    // advertises separate-documents-collated-copies as the default.
    char handling[64] = "";
    if (ipp_attribute_t* attr = papplJobGetAttribute(job, "multiple-document-handling"))
        papplCopyString(handling, ippGetString(attr, 0, nullptr) ? ippGetString(attr, 0, nullptr) : "", sizeof handling);
    copies.collate = std::strcmp(handling, "separate-documents-uncollated-copies") != 0;
    return copies;
}

bool jobSettings(pappl_job_t* job, const pappl_pr_options_t* options, bool greyContent, kzfront::Resolved& out) {
    kzfront::IppAttributes ipp;
    ipp.mediaSizeName = options->media.size_name;
    ipp.mediaType = options->media.type;
    ipp.mediaSource = options->media.source;
    ipp.margins[0] = options->media.left_margin;
    ipp.margins[1] = options->media.right_margin;
    ipp.margins[2] = options->media.top_margin;
    ipp.margins[3] = options->media.bottom_margin;
    ipp.quality = options->print_quality;
    const char* best = cupsGetOption(kBestQuality, options->num_vendor, options->vendor);
    ipp.best = best ? !std::strcmp(best, "true") : bestQualityDefault(papplJobGetPrinter(job));
    ipp.colourMode = colourModeKeyword(options->print_color_mode);
    ipp.greyContent = greyContent;
    std::string why;
    if (!kzfront::resolveRequest(kzfront::requestFromIpp(ipp), kzfront::Policy::Nearest, out, why))
        return fail(job, "These settings do not print: %s", why.c_str());
    if (out.changes.any()) {
        // Substituted as ipp-attribute-fidelity false allows (true refuses the
        // job when it is submitted): said in the message and the reasons.
        const std::string changed = out.changed();
        papplLogJob(job, PAPPL_LOGLEVEL_WARN, "%s Printing %s.", out.reason.c_str(), changed.c_str());
        papplJobSetMessage(job, "Printing %s: %s", changed.c_str(), out.reason.c_str());
        papplJobSetReasons(job, PAPPL_JREASON_WARNINGS_DETECTED, PAPPL_JREASON_NONE);
    }
    return true;
}

// PAPPL 1.3's copy of a printer's driver attributes shares their collections
// by a use count it changes without a lock, so copies made by many request
// threads at once free them twice: the one value needed is read once, under
// a lock, and again only after the printer's defaults change.
namespace {
std::mutex bestLock;
std::map<int, bool> bestDefaults;  // by printer id
}  // namespace

bool bestQualityDefault(pappl_printer_t* printer) {
    const std::lock_guard<std::mutex> guard(bestLock);
    const int id = papplPrinterGetID(printer);
    if (const auto known = bestDefaults.find(id); known != bestDefaults.end()) return known->second;
    ipp_t* attrs = papplPrinterGetDriverAttributes(printer);
    const std::string name = std::string(kBestQuality) + "-default";
    const bool best = ippGetBoolean(ippFindAttribute(attrs, name.c_str(), IPP_TAG_BOOLEAN), 0);
    ippDelete(attrs);
    return bestDefaults[id] = best;
}

void forgetBestQualityDefaults() {
    const std::lock_guard<std::mutex> guard(bestLock);
    bestDefaults.clear();
}

bool rasterStartJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
    auto r = std::make_unique<RasterJob>();
    const kzfront::RasterHeader header = kzfront::rasterHeaderFrom(options->header);
    const bool greyContent = header.cupsColorSpace == CUPS_CSPACE_SW || header.cupsColorSpace == CUPS_CSPACE_W ||
                             header.cupsColorSpace == CUPS_CSPACE_K;
    if (!jobSettings(job, options, greyContent, r->settings)) return false;
    r->copies = jobCopies(job, *options);
    r->device = device;
    r->preview = JobPreview::start(job, &r->settings.format);
    kzp_sink sink = kzp_sink_callback(writeToDevice, r.get());
    char why[512] = "";
    const kzp_settings settings = r->settings.settings();
    r->job = kzp_job_open(&settings, &sink, why, sizeof why);
    if (!r->job) return fail(job, "The job cannot start: %s", why);
    const kzfront::Request& q = r->settings.request;
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Printing %s on %s, %s quality, %s%s, %dx%d dpi", q.paper.c_str(),
                q.media.c_str(), kzp_quality_name(q.quality), settings.mono ? "black only" : "colour",
                q.borderless ? ", borderless" : "", r->settings.format.mode->xdpi, r->settings.format.mode->ydpi);
    papplJobSetData(job, r.release());
    return true;
}

kzp_job* pipelineJob(pappl_job_t* job, const kzfront::Resolved** settings) {
    RasterJob* r = rasterJob(job);
    if (!r) return nullptr;
    if (settings) *settings = &r->settings;
    return r->job;
}

bool rasterStartPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned page) {
    RasterJob* r = rasterJob(job);
    if (!r) return false;
    // A client's PWG or Apple raster header replaces the driver's: checked
    // as the readers check every raster header.
    const kzfront::RasterHeader header = kzfront::rasterHeaderFrom(options->header);
    std::string why;
    if (!kzfront::checkRasterHeader(header, r->layout, why)) return fail(job, "Page %s", (std::to_string(page) + ": " + why).c_str());
    kzfront::PageHeader p;
    p.kind = kzfront::PageKind::Raster;
    p.width = r->width = int32_t(header.cupsWidth);
    p.height = r->height = int32_t(header.cupsHeight);
    p.format = r->layout.format;
    p.grey = p.format == kzfront::PixelFormat::Gray8;
    p.raster = kzfront::rasterGeometry(header);
    r->row.resize(size_t(p.width) * size_t(kzfront::channels(p.format)));
    r->page = std::make_unique<kzfront::PagePrinter>(r->job, r->settings.format, p, kzfront::Placing{});
    if (!r->page->begin(why)) return fail(job, "The page cannot start: %s", why.c_str());
    if (r->copies.count > 1) {
        if (!r->spool && !(r->spool = kzfront::PageSpool::create(why))) return fail(job, "%s", why.c_str());
        if (!r->spool->beginPage(p, why)) return fail(job, "%s", why.c_str());
    }
    r->pageStart = std::chrono::steady_clock::now();
    return true;
}

bool rasterWriteLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned, const unsigned char* line) {
    RasterJob* r = rasterJob(job);
    if (!r || !r->page) return false;
    // Cancelled: take no more lines; the page ends blank from here.
    if (papplJobIsCanceled(job)) return true;
    toPixels(r->layout, line, r->width, r->row.data());
    std::string why;
    if (!r->page->addRows(r->row.data(), 1, why)) return fail(job, "A line did not print: %s", why.c_str());
    if (r->spool && !r->spool->addRows(r->row.data(), 1, why)) return fail(job, "%s", why.c_str());
    return true;
}

bool rasterEndPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned page) {
    RasterJob* r = rasterJob(job);
    if (!r || !r->page) return false;
    // A page cut short still ends, blank from where its data stopped, so
    // that the paper leaves the printer; the job then fails unless cancelled.
    const int32_t given = r->page->rowsAdded();
    const bool complete = given >= r->height;
    std::string why;
    const bool ended = r->page->end(complete, why);
    r->page.reset();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - r->pageStart).count();
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Page %u done in %.2f s (%d of %d lines given)", page, seconds, given,
                r->height);
    if (!ended) return fail(job, "The page did not finish: %s", why.c_str());
    if (!complete && !papplJobIsCanceled(job)) {
        const std::string what = std::to_string(page) + " ended after " + std::to_string(given) + " of its " +
                                 std::to_string(r->height) + " lines";
        return fail(job, "The raster data stopped: page %s.", what.c_str());
    }
    if (!r->spool || !complete) return true;
    if (!r->spool->endPage(why)) return fail(job, "%s", why.c_str());
    if (r->copies.collate) return true;
    // Uncollated: this page's copies now, then it is forgotten.
    const bool printed = printKept(job, *r, r->spool->pages() - 1, r->copies.count - 1);
    r->spool->clear();
    return printed;
}

bool rasterEndJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    std::unique_ptr<RasterJob> r(rasterJob(job));
    if (!r) return false;
    papplJobSetData(job, nullptr);
    bool ok = true;
    if (r->page) {
        std::string ignored;
        r->page->end(false, ignored);
        r->page.reset();
    }
    // Collated: the whole document again for each copy.
    if (r->spool && r->copies.collate && r->spool->pages() > 0 && !papplJobIsCanceled(job))
        ok = printKept(job, *r, 0, r->copies.count - 1);
    if (kzp_job_finish(r->job) != KZP_OK) ok = fail(job, "The job did not finish: %s", kzp_job_message(r->job));
    kzp_job_close(r->job);
    if (r->preview) r->preview->finish();
    // PAPPL 1.3 ends a job without adding this for the warning it carries.
    if (ok && r->settings.changes.any())
        papplJobSetReasons(job, PAPPL_JREASON_JOB_COMPLETED_WITH_WARNINGS, PAPPL_JREASON_NONE);
    return ok;
}

// Printer-ready streams go to the printer as they are.
bool printRawFile(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device) {
    const int fd = open(papplJobGetFilename(job), O_RDONLY);
    if (fd < 0) return fail(job, "Cannot open the job file: %s", std::strerror(errno));
    uint8_t buffer[65536];
    ssize_t got = 0;
    bool ok = true;
    const auto preview = JobPreview::start(job, nullptr);
    while (ok && (got = read(fd, buffer, sizeof buffer)) > 0) {
        ok = papplDeviceWrite(device, buffer, static_cast<size_t>(got)) == got;
        if (ok && preview) preview->write(buffer, static_cast<size_t>(got));
    }
    close(fd);
    if (preview) preview->finish();
    if (!ok || got < 0) return fail(job, "%s", "Cannot send the job to the printer.");
    papplJobSetImpressions(job, 1);
    papplJobSetImpressionsCompleted(job, 1);
    return true;
}

}  // namespace kzapp
