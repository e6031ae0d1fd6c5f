// PNG, JPEG and PDF jobs: read, placed and printed by the front-end layer,
// exactly as kzrqo317-print prints them (the same readers, Ghostscript
// runner, placement and strip loop), following print-scaling,
// orientation-requested, page-ranges and copies.  PAPPL's own image readers
// are not used: they sample by nearest pixel to the raster's resolution,
// which the raster callbacks would sample again, and PAPPL 1.3's PNG reader
// spins forever on a file that ends early.  A damaged file fails its job
// with the reason.
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/app.h"
#include "frontend/input/open_pages.h"
#include "frontend/print_loop.h"

namespace kzapp {
namespace {

bool refuse(pappl_job_t* job, std::string why, const std::string& path) {
    // The reader's words as a sentence, without the spool file's name.
    if (why.compare(0, path.size() + 2, path + ": ") == 0) why.erase(0, path.size() + 2);
    if (!why.empty()) why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
    if (!why.empty() && why.back() != '.') why += '.';
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", why.c_str());
    papplJobSetMessage(job, "%s", why.c_str());
    return false;
}

kzfront::Placing placingFor(const pappl_pr_options_t& o) {
    kzfront::Placing p;
    switch (o.print_scaling) {
    case PAPPL_SCALING_FILL: p.scaling = kzfront::Scaling::Fill; break;
    case PAPPL_SCALING_FIT: p.scaling = kzfront::Scaling::Fit; break;
    case PAPPL_SCALING_NONE: p.scaling = kzfront::Scaling::Natural; break;
    case PAPPL_SCALING_AUTO_FIT: p.scaling = kzfront::Scaling::AutoFit; break;
    default: p.scaling = kzfront::Scaling::Auto; break;
    }
    switch (o.orientation_requested) {
    case IPP_ORIENT_PORTRAIT:
    case IPP_ORIENT_REVERSE_PORTRAIT: p.orientation = kzfront::Orientation::Upright; break;
    case IPP_ORIENT_LANDSCAPE: p.orientation = kzfront::Orientation::Counterclockwise; break;
    case IPP_ORIENT_REVERSE_LANDSCAPE: p.orientation = kzfront::Orientation::Clockwise; break;
    default: break;
    }
    return p;
}

struct Options {
    pappl_pr_options_t* options;
    ~Options() { papplJobDeletePrintOptions(options); }
};

}  // namespace

bool ghostscriptAvailable() {
    const char* path = std::getenv("PATH");
    const std::string dirs = path && *path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string dir = dirs.substr(start, end - start);
        if (access(((dir.empty() ? "." : dir) + "/gs").c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

bool printDocument(pappl_job_t* job, pappl_device_t* device, void* data) {
    // A job cancelled while it waited may have lost its document already.
    const char* filename = papplJobGetFilename(job);
    if (!filename) {
        papplLogJob(job, PAPPL_LOGLEVEL_INFO, "The job's document is gone (cancelled): nothing to print.");
        return false;
    }
    const std::string path = filename;
    const char* declared = papplJobGetFormat(job);
    Options first{papplJobCreatePrintOptions(job, INT_MAX, true)};
    const pappl_pr_options_t& o = *first.options;
    const kzfront::Placing placing = placingFor(o);

    // The settings as far as the file does not matter: how documents render.
    kzfront::Resolved asked;
    if (!jobSettings(job, &o, false, asked)) return false;
    const kzp_page_format& f = asked.format;
    kzfront::OpenOptions open;
    open.xdpi = f.mode->xdpi;
    open.ydpi = f.mode->ydpi;
    if (kzfront::documentsFitted(placing, f.mode->borderless)) {
        open.areaWidth = f.width_px;
        open.areaHeight = f.height_px;
    }
    open.paperWidth = f.paper_width_px;
    open.paperHeight = f.paper_height_px;
    kzfront::largestDrawnSize(placing, f, open.printWidth, open.printHeight);
    open.firstPage = o.first_page > 0 ? int32_t(o.first_page) : 1;
    open.lastPage = o.last_page > 0 && o.last_page < INT_MAX ? int32_t(o.last_page) : 0;
    open.grey = asked.request.colour != kzfront::Colour::Colour;
    open.cancelled = [job] { return papplJobIsCanceled(job); };
    if (const auto* config = static_cast<const Config*>(data)) {
        open.pageSeconds = config->pageSeconds;
        open.documentSeconds = config->documentSeconds;
    }
    open.declaredFormat = declared ? declared : "";

    std::string error;
    auto source = kzfront::openPages(path, open, error);
    kzfront::PageHeader page;
    if (!source || !source->nextPage(page, error))
        return refuse(job, error.empty() ? "The document has no pages." : error, path);

    // The job, with colour known: print-color-mode auto prints a grey picture in grey.
    Options options{papplJobCreatePrintOptions(job, INT_MAX, !page.grey)};
    pappl_pr_driver_data_t driver;
    papplPrinterGetDriverData(papplJobGetPrinter(job), &driver);
    if (!(driver.rstartjob_cb)(job, options.options, device)) return false;
    const kzfront::Resolved* settings = nullptr;
    kzp_job* pipeline = pipelineJob(job, &settings);

    std::vector<kzfront::Document> documents = {{[&](std::string& why) -> std::unique_ptr<kzfront::PageSource> {
        // The first copy from the file already open, the others read again.
        if (source) return kzfront::withFirstPage(std::move(source), page);
        return kzfront::openPages(path, open, why);
    }}};
    kzfront::LoopHooks hooks;
    hooks.cancelled = [job] { return papplJobIsCanceled(job); };
    auto pageStart = std::chrono::steady_clock::now();
    hooks.pageStarted = [&](int number, const kzfront::PageHeader& p, const kzfront::Placement& placed) {
        pageStart = std::chrono::steady_clock::now();
        papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Page %d: %s %dx%d %s at %.0f%%%s", number,
                    p.kind == kzfront::PageKind::Area ? "rendered at the area's size," : "picture",
                    p.width, p.height, placed.resampled() ? "resampled" : "copied", placed.scale() * 100,
                    placed.turned() ? ", turned" : "");
    };
    hooks.pageDone = [&](int number) {
        papplJobSetImpressionsCompleted(job, 1);
        papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Page %d done in %.2f s", number,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - pageStart).count());
    };
    int pages = 0;
    const kzfront::Outcome outcome = kzfront::printDocuments(pipeline, settings->format, documents, jobCopies(job, o),
                                                             placing, hooks, pages, error);
    papplJobSetImpressions(job, pages);
    const bool ended = (driver.rendjob_cb)(job, options.options, device);
    if (outcome == kzfront::Outcome::Failed) return refuse(job, error, path);
    return ended;
}

}  // namespace kzapp
