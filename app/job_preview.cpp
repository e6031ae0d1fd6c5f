// A job's preview, drawn from its bytes on the job's thread as they go to
// the device (the page-sized work is the renderer's, in memory that does not
// grow with the job), and its files.  PAPPL has no call for "job removed":
// the previews are named by papplJobOpenFile like the job's own files, and a
// timer removes those whose job PAPPL no longer keeps.
#include "app/job_preview.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "stream_reader/first_page_preview.h"
#include "stream_reader/png_writer.h"

namespace kzapp {
namespace {

std::atomic<bool> previewsOn{false};
std::mutex spoolGuard;
std::string spoolDirectory;  // empty until known

constexpr int kSweepSeconds = 10;

double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

std::string knownSpool() {
    std::lock_guard<std::mutex> hold(spoolGuard);
    return spoolDirectory;
}

// A preview's file, written whole under another name first, so that the web
// page never serves half of one.
bool keepFile(pappl_job_t* job, const char* ext, const kzinspect::Image& image, std::string& error) {
    char path[1024];
    const std::string partExt = std::string(ext) + ".new";
    const int fd = papplJobOpenFile(job, path, sizeof path, nullptr, partExt.c_str(), "w");
    if (fd < 0) {
        error = std::string("cannot create ") + path + ": " + std::strerror(errno);
        return false;
    }
    close(fd);
    const std::string part = path, kept = part.substr(0, part.size() - 4);
    if (!kzinspect::writePng(image, part, error) || std::rename(part.c_str(), kept.c_str()) != 0) {
        if (error.empty()) error = "cannot name " + kept + ": " + std::strerror(errno);
        unlink(part.c_str());
        return false;
    }
    std::lock_guard<std::mutex> hold(spoolGuard);
    if (spoolDirectory.empty()) spoolDirectory = kept.substr(0, kept.find_last_of('/'));
    return true;
}

// A file name papplJobOpenFile gave a preview: "pPPPPPjJJJJJJJJJ-NAME.EXT",
// NAME without dots, EXT one of ours (or one being written).
bool previewFile(const char* name, int& printerId, int& jobId) {
    int end = 0;
    if (std::sscanf(name, "p%5dj%9d-%n", &printerId, &jobId, &end) != 2 || end == 0) return false;
    const char* dot = std::strchr(name + end, '.');
    if (dot == nullptr) return false;
    const std::string ext = dot + 1;
    for (const char* ours : {kThumbnailExt, kViewExt})
        if (ext == ours || ext == std::string(ours) + ".new") return true;
    return false;
}

// Called by the main loop with the system locked for reading: printers are
// not deleted meanwhile.
bool sweep(pappl_system_t* system, void*) {
    const std::string dir = knownSpool();
    DIR* d = dir.empty() ? nullptr : opendir(dir.c_str());
    if (d == nullptr) return true;
    while (const dirent* e = readdir(d)) {
        int printerId = 0, jobId = 0;
        if (!previewFile(e->d_name, printerId, jobId)) continue;
        pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, printerId, nullptr);
        if (printer != nullptr && papplPrinterFindJob(printer, jobId) != nullptr) continue;
        if (unlinkat(dirfd(d), e->d_name, 0) == 0)
            papplLog(system, PAPPL_LOGLEVEL_DEBUG, "Removed %s: its job is no longer kept.", e->d_name);
    }
    closedir(d);
    return true;
}

}  // namespace

struct JobPreview::Drawing {
    explicit Drawing(const kzinspect::Paper& paper) : preview(paper) {}
    kzinspect::FirstPagePreview preview;
};

void startJobPreviews(pappl_system_t* system, bool enabled, const char* spool) {
    previewsOn = enabled;
    if (spool != nullptr) {
        std::lock_guard<std::mutex> hold(spoolGuard);
        spoolDirectory = spool;
    }
    // Even with previews off, and first as the system starts: jobs do not
    // outlive the server, so the previews of an earlier run go at once (a
    // new job with the same number must not show an old picture).
    papplSystemAddTimerCallback(system, time(nullptr), kSweepSeconds, sweep, nullptr);
}

std::unique_ptr<JobPreview> JobPreview::start(pappl_job_t* job, const kzp_page_format* format) {
    if (!previewsOn) return nullptr;
    try {
        kzinspect::Paper paper;
        if (format != nullptr && format->mode != nullptr)
            paper = kzinspect::paperOfArea(format->mode->xdpi, format->paper_width_px, format->paper_height_px,
                                           format->left_px, format->top_px, format->width_px, format->height_px);
        return std::unique_ptr<JobPreview>(new JobPreview(job, std::make_unique<Drawing>(paper)));
    } catch (...) {
        papplLogJob(job, PAPPL_LOGLEVEL_WARN, "No preview: not enough memory.");
        return nullptr;
    }
}

JobPreview::JobPreview(pappl_job_t* job, std::unique_ptr<Drawing> drawing) : job_(job), drawing_(std::move(drawing)) {}
JobPreview::~JobPreview() = default;

void JobPreview::write(const uint8_t* bytes, size_t size) noexcept {
    if (!drawing_) return;
    const double begin = threadSeconds();
    drawing_->preview.write(bytes, size);
    seconds_ += threadSeconds() - begin;
    if (drawing_->preview.drawn()) keep();
    else if (drawing_->preview.failed()) giveUp();
}

void JobPreview::finish() noexcept {
    if (!drawing_) return;
    if (drawing_->preview.finish()) keep();
    else giveUp();
}

void JobPreview::keep() noexcept {
    const kzinspect::FirstPagePreview& p = drawing_->preview;
    const double begin = threadSeconds();
    std::string error;
    bool kept = false;
    try {
        // The thumbnail last: where it is, the view is too.
        kept = keepFile(job_, kViewExt, p.view(), error) && keepFile(job_, kThumbnailExt, p.thumbnail(), error);
    } catch (...) {
        error = "not enough memory";
    }
    seconds_ += threadSeconds() - begin;
    if (kept)
        papplLogJob(job_, PAPPL_LOGLEVEL_INFO, "Preview of page 1 kept: %dx%d, thumbnail %dx%d (1:%d), %.3f s.",
                    p.view().width, p.view().height, p.thumbnail().width, p.thumbnail().height, p.scale(), seconds_);
    else
        papplLogJob(job_, PAPPL_LOGLEVEL_WARN, "No preview: %s", error.c_str());
    drawing_.reset();
}

void JobPreview::giveUp() noexcept {
    papplLogJob(job_, PAPPL_LOGLEVEL_INFO, "No preview: %s.", drawing_->preview.error().c_str());
    drawing_.reset();
}

}  // namespace kzapp
