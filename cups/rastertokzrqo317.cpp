// rastertokzrqo317: the CUPS filter.  Reads CUPS raster pages and writes the
// printer's command stream to standard output through the print pipeline.
//
//   rastertokzrqo317 job-id user title copies options [file]
//
// Each page's header says what to print (page size, media type, quality,
// colour, borderless, roll); a page that cannot print ends the job with an
// ERROR: line before any of its bytes are written.  The filter prints the
// copies (the PPD says *cupsManualCopies: False and offers Collate), from
// pages kept in a spool, since standard input is read once.  SIGTERM (a cancelled
// job) ends the current page with blank lines and closes the job, so the
// printer is never left in the middle of a page.
//
// The job option kzrqo317-preview=/ABSOLUTE/PATH.png asks for a picture of
// the first page as sent to the printer, drawn from the same bytes; a
// preview that cannot be written is a WARNING: and never fails the print.
#include <cups/cups.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "frontend/input/open_pages.h"
#include "frontend/ppd_names.h"
#include "frontend/print_loop.h"
#include "frontend/settings.h"
#if KZ_STREAM_PNG
#include "stream_reader/first_page_preview.h"
#include "stream_reader/png_writer.h"
#endif

namespace {

volatile std::sig_atomic_t cancelled = 0;

// CUPS's own limit on copies (MaxCopies).
constexpr long kMaxCopies = 9999;

void onTerm(int) { cancelled = 1; }

void installSignals() {
    struct sigaction action{};
    action.sa_handler = onTerm;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

constexpr const char* kPreviewOption = "kzrqo317-preview";

// The first page's preview the job's options ask for, drawn from the bytes
// written to standard output.
class Preview {
public:
    explicit Preview(const char* jobOptions) {
        cups_option_t* options = nullptr;
        const int count = cupsParseOptions(jobOptions, 0, &options);
        if (const char* value = cupsGetOption(kPreviewOption, count, options)) path_ = value;
        cupsFreeOptions(count, options);
        if (path_.empty()) return;
#if KZ_STREAM_PNG
        // Tried now, so that a path that cannot be made is named before
        // printing.  Only PNG names: whoever sends a job chooses the path.
        std::string why;
        if (path_[0] != '/' || path_.size() < 5 || path_.compare(path_.size() - 4, 4, ".png") != 0) {
            why = "give an absolute path ending in .png";
        } else {
            const std::string tried = part(why);
            if (!tried.empty()) unlink(tried.c_str());
        }
        if (!why.empty()) {
            std::fprintf(stderr, "WARNING: No preview: cannot create %s: %s\n", path_.c_str(), why.c_str());
            path_.clear();
        }
#else
        std::fprintf(stderr, "WARNING: No preview: this filter was built without PNG support\n");
        path_.clear();
#endif
    }

    // The first page's format, before its bytes.
    void start(const kzp_page_format& format) {
#if KZ_STREAM_PNG
        if (path_.empty() || drawing_) return;
        drawing_ = std::make_unique<kzinspect::FirstPagePreview>(kzinspect::paperOfArea(
            format.mode->xdpi, format.paper_width_px, format.paper_height_px, format.left_px, format.top_px,
            format.width_px, format.height_px));
#else
        (void)format;
#endif
    }

    void write(const uint8_t* bytes, size_t size) {
#if KZ_STREAM_PNG
        if (drawing_ && !drawing_->drawn() && !drawing_->failed()) drawing_->write(bytes, size);
#else
        (void)bytes, (void)size;
#endif
    }

    // The job's bytes are all written.
    void finish() {
#if KZ_STREAM_PNG
        if (path_.empty()) return;
        std::string error;
        std::string part;
        if (!drawing_) error = "nothing was printed";
        else if (!drawing_->finish()) error = drawing_->error();
        else if (!(part = this->part(error)).empty() && kzinspect::writePng(drawing_->thumbnail(), part, error) &&
                 ::link(part.c_str(), path_.c_str()) != 0)
            // Named by a hard link, which replaces nothing: whoever sends a
            // job must not overwrite the filter user's files.
            error = errno == EEXIST ? std::string("a file of that name is there already (none is replaced)")
                                    : std::string("cannot name it: ") + std::strerror(errno);
        if (!part.empty()) unlink(part.c_str());
        if (error.empty())
            std::fprintf(stderr, "INFO: Preview of page 1 written to %s\n", path_.c_str());
        else
            std::fprintf(stderr, "WARNING: No preview in %s: %s\n", path_.c_str(), error.c_str());
        drawing_.reset();
        path_.clear();
#endif
    }

private:
    // A new file beside the preview's, written whole and then linked to its
    // name so that nobody reads half of one; made by mkstemp, so never a
    // file or link that was there.  Empty, with `why`, when it cannot be made.
    std::string part(std::string& why) const {
        std::string name = path_ + ".XXXXXX";
        const int fd = mkstemp(name.data());
        if (fd < 0) {
            why = std::strerror(errno);
            return {};
        }
        fchmod(fd, 0644);
        ::close(fd);
        return name;
    }

    std::string path_;
#if KZ_STREAM_PNG
    std::unique_ptr<kzinspect::FirstPagePreview> drawing_;
#endif
};

// All of `size` bytes to standard output, and to the preview.
int writeOut(void* preview, const uint8_t* bytes, size_t size) {
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        done += size_t(n);
    }
    static_cast<Preview*>(preview)->write(bytes, size);
    return 0;
}

// An open pipeline job and the settings it was opened with.
class Output {
public:
    explicit Output(Preview& preview) : preview_(preview) {}

    ~Output() {
        std::string why;
        close(why);
    }

    // Opens a job for these settings, closing one with other settings first.
    bool ready(const kzfront::Resolved& resolved, std::string& why) {
        if (job_ != nullptr && kzfront::sameSettings(request_, resolved.request)) return true;
        if (!close(why)) return false;
        preview_.start(resolved.format);
        const kzp_sink sink = kzp_sink_callback(writeOut, &preview_);
        const kzp_settings settings = resolved.settings();
        char message[512] = "";
        job_ = kzp_job_open(&settings, &sink, message, sizeof message);
        if (job_ == nullptr) {
            why = message;
            return false;
        }
        request_ = resolved.request;
        return true;
    }

    kzp_job* job() const { return job_; }

    bool close(std::string& why) {
        if (job_ == nullptr) return true;
        const kzp_status status = kzp_job_finish(job_);
        if (status != KZP_OK) why = kzp_job_message(job_);
        kzp_job_close(job_);
        job_ = nullptr;
        return status == KZP_OK;
    }

private:
    Preview& preview_;
    kzp_job* job_ = nullptr;
    kzfront::Request request_;
};

const char* paperLabel(const std::string& name) {
    for (size_t i = 0; i < kzp_paper_count(); ++i)
        if (name == kzp_paper_at(i)->pwg_name) return kzp_paper_at(i)->label;
    return name.c_str();
}

const char* mediaLabel(const std::string& name) {
    for (size_t i = 0; i < kzp_media_count(); ++i)
        if (name == kzp_media_at(i)->name) return kzp_media_at(i)->label;
    return name.c_str();
}

std::string describe(const kzfront::Resolved& r) {
    const kzfront::Request& q = r.request;
    const char* colour = q.colour == kzfront::Colour::Colour
                             ? (r.changes.greyInColour ? "grey (with colour inks: no black-only printing for this paper)"
                                                       : "colour")
                             : "black only";
    return std::string(paperLabel(q.paper)) + ", " + mediaLabel(q.media) + ", " + kzp_quality_name(q.quality) + " quality, " + colour +
           (q.borderless ? ", borderless" : "");
}

// The copies the filter prints (the printer makes none).  When CUPS made
// the raster from the job's document (CONTENT_TYPE, the document's type, is
// not raster), the page header says how many copies the RIP left to make
// (NumCopies; cups-filters makes them itself, and says 1, when the PPD does
// not let it leave them); raster sent as it is gets the job's copies.
// Collated unless the job says otherwise, as the PPD's Collate defaults.
kzfront::Copies copiesFor(const char* copiesArg, const char* optionsArg, const kzfront::PageHeader& first) {
    kzfront::Copies copies;
    const char* type = std::getenv("CONTENT_TYPE");
    const bool rendered = type && *type && std::strcmp(type, "application/vnd.cups-raster") != 0;
    copies.count = int(std::clamp<long>(rendered ? long(first.options.numCopies) : std::atol(copiesArg), 1, kMaxCopies));
    cups_option_t* options = nullptr;
    const int count = cupsParseOptions(optionsArg, 0, &options);
    const char* collate = cupsGetOption("Collate", count, options);
    if (!collate) collate = cupsGetOption("collate", count, options);
    const char* handling = cupsGetOption("multiple-document-handling", count, options);
    if (collate)
        copies.collate = !strcasecmp(collate, "true") || !strcasecmp(collate, "on") || !strcasecmp(collate, "yes");
    else
        copies.collate = !(handling && !std::strcmp(handling, "separate-documents-uncollated-copies"));
    cupsFreeOptions(count, options);
    return copies;
}

}  // namespace

static int filterMain(int argc, char* argv[]) {
    if (argc < 6 || argc > 7) {
        std::fputs("Usage: rastertokzrqo317 job-id user title copies options [file]\n", stderr);
        return 1;
    }
    installSignals();
    int fd = STDIN_FILENO;
    if (argc == 7) {
        fd = open(argv[6], O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "ERROR: Cannot open the print file %s: %s\n", argv[6], std::strerror(errno));
            return 1;
        }
    }
    kzfront::OpenOptions options;
    options.cancelled = [] { return cancelled != 0; };
    options.declaredFormat = "application/vnd.cups-raster";
    std::string error;
    auto pages = kzfront::openPages(fd, argc == 7 ? argv[6] : "the print data", options, error);
    if (!pages) {
        std::fprintf(stderr, "ERROR: The print data is not CUPS raster: %s\n", error.c_str());
        if (fd != STDIN_FILENO) ::close(fd);
        return 1;
    }
    Preview preview(argv[5]);
    Output output(preview);
    kzfront::PageHeader first;
    int number = 0;
    bool ok = true;
    kzfront::Outcome outcome = kzfront::Outcome::Printed;
    if (pages->nextPage(first, error)) {
        const kzfront::Copies copies = copiesFor(argv[4], argv[5], first);
        if (copies.count > 1)
            std::fprintf(stderr, "INFO: Printing %d %s copies\n", copies.count, copies.collate ? "collated" : "uncollated");
        // Each page's header says what to print: its settings, resolved
        // strictly (the PPD forbids what does not print), and the job for them.
        kzfront::LoopHooks hooks;
        hooks.cancelled = [] { return cancelled != 0; };
        hooks.settingsFor = [&](const kzfront::PageHeader& page, kzp_job*& job, kzp_page_format& format,
                                std::string& why) {
            kzfront::Resolved resolved;
            if (!kzfront::resolveRaster(page, resolved, why) || !output.ready(resolved, why)) {
                std::fprintf(stderr, "ERROR: Page %d cannot be printed: %s\n", number + 1, why.c_str());
                why.clear();
                return false;
            }
            job = output.job();
            format = resolved.format;
            std::fprintf(stderr, "INFO: Printing page %d: %s\n", number + 1, describe(resolved).c_str());
            std::fprintf(stderr, "DEBUG: page %d: raster %dx%d at %ux%u dpi, mode %u lines %dx%d at (%d,%d)\n",
                         number + 1, page.width, page.height, page.raster.xdpi, page.raster.ydpi,
                         unsigned{format.mode->print_mode}, format.width_px, format.height_px, format.left_px,
                         format.top_px);
            return true;
        };
        int progress = -10;
        hooks.progress = [&](int, int percent) {
            if (percent / 10 == progress / 10) return;
            progress = percent;
            std::fprintf(stderr, "ATTR: job-media-progress=%d\n", percent);
        };
        hooks.pageDone = [&](int page) {
            number = page;
            progress = -10;
            std::fprintf(stderr, "ATTR: job-media-progress=100\n");
            std::fprintf(stderr, "PAGE: %d 1\n", page);
        };
        std::vector<kzfront::Document> documents = {
            {[&](std::string&) { return kzfront::withFirstPage(std::move(pages), first); }, false}};
        int printed = 0;
        outcome = kzfront::printDocuments(nullptr, kzp_page_format_empty(), documents, copies, {}, hooks, printed, error);
        if (outcome == kzfront::Outcome::Failed) {
            if (!error.empty()) std::fprintf(stderr, "ERROR: Page %d: %s\n", number + 1, error.c_str());
            ok = false;
        } else if (outcome == kzfront::Outcome::Cancelled) {
            std::fprintf(stderr, "INFO: Job cancelled; page %d ended early\n", number + 1);
        }
    } else if (!error.empty() && !cancelled) {
        std::fprintf(stderr, "ERROR: %s\n", error.c_str());
        ok = false;
    }
    std::string why;
    if (!output.close(why)) {
        std::fprintf(stderr, "ERROR: The job could not be finished: %s\n", why.c_str());
        ok = false;
    }
    preview.finish();
    pages.reset();
    if (fd != STDIN_FILENO) ::close(fd);
    if (cancelled || outcome == kzfront::Outcome::Cancelled) return 0;
    if (ok && number == 0) std::fputs("ERROR: The print data has no pages\n", stderr);
    if (ok) std::fprintf(stderr, "INFO: Printed %d page%s\n", number, number == 1 ? "" : "s");
    return ok && number > 0 ? 0 : 1;
}

int main(int argc, char* argv[]) {
    try {
        return filterMain(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("ERROR: The filter ran out of memory\n", stderr);
        return 1;
    }
}
