// kzrqo317-print: pictures and documents to printer bytes.
//   kzrqo317-print [options] FILE... > out.prn
// Exit status: 0 printed, 1 a file or the output failed (the pages before it
// are complete in the output), 2 a bad command line or settings, 128 + N
// stopped by signal N (SIGINT, SIGTERM: the page in progress is ended).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frontend/input/open_pages.h"
#include "frontend/print_loop.h"
#include "kzrqo317/print.h"
#include "options.h"
#include "stream_reader/preview.h"

namespace {

using namespace kzprint;

volatile sig_atomic_t stopSignal = 0;
void onStop(int signal) { stopSignal = signal; }

int fail(const std::string& message, int status) {
    std::fprintf(stderr, "kzrqo317-print: %s\n", message.c_str());
    return status;
}

// Where the bytes go: the output, and the preview drawn from them.
struct Output {
    int fd = -1;  // set once the job is open
    kzinspect::PreviewRenderer* preview = nullptr;
};

int writeAll(void* ctx, const uint8_t* bytes, size_t size) {
    auto* out = static_cast<Output*>(ctx);
    if (out->preview) kzinspect::PreviewRenderer::sinkWrite(out->preview, bytes, size);
    while (size > 0) {
        const ssize_t n = ::write(out->fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        bytes += n;
        size -= size_t(n);
    }
    return 0;
}

class Progress {
public:
    explicit Progress(bool on) : on_(on) {}
    ~Progress() { done(); }
    // `total` 0: not known.
    void show(int page, int total, const std::string& file, int percent) {
        if (!on_) return;
        if (total > 0)
            std::fprintf(stderr, "\rkzrqo317-print: page %d of %d (%s) %3d%%", page, total, file.c_str(), percent);
        else
            std::fprintf(stderr, "\rkzrqo317-print: page %d (%s) %3d%%", page, file.c_str(), percent);
        shown_ = true;
    }
    void done() {
        if (shown_) std::fputs("\r\033[K", stderr);
        shown_ = false;
    }

private:
    bool on_;
    bool shown_ = false;
};

int printFiles(const Options& o) {
    kzfront::Resolved resolved;
    std::string error;
    if (!kzfront::resolveRequest(o.request, o.policy, resolved, error)) return fail(error, 2);
    if (o.files.empty()) return fail("no files to print (kzrqo317-print --help tells how)", 2);
    // The nearest settings that print: one line says what changed and why.
    if (resolved.changes.any())
        std::fprintf(stderr, "kzrqo317-print: printing %s instead (--strict refuses): %s\n", resolved.changed().c_str(),
                     resolved.reason.c_str());
    const kzp_page_format& format = resolved.format;

    // Documents are rendered at the size they print at when Ghostscript can
    // place them as asked; otherwise at their own size, for the placement.
    kzfront::OpenOptions open;
    open.xdpi = format.mode->xdpi;
    open.ydpi = format.mode->ydpi;
    if (kzfront::documentsFitted(o.placing, format.mode->borderless)) {
        open.areaWidth = std::max<int32_t>(1, int32_t(std::lround(format.width_px * o.placing.percent / 100)));
        open.areaHeight = std::max<int32_t>(1, int32_t(std::lround(format.height_px * o.placing.percent / 100)));
    }
    open.paperWidth = format.paper_width_px;
    open.paperHeight = format.paper_height_px;
    kzfront::largestDrawnSize(o.placing, format, open.printWidth, open.printHeight);
    open.grey = resolved.request.colour != kzfront::Colour::Colour;
    open.cancelled = [] { return stopSignal != 0; };

    // Every file is opened before the first byte goes out.
    std::vector<std::unique_ptr<kzfront::PageSource>> sources;
    int total = 0;  // pages to print, when every file knows its count
    const auto openFile = [&](const std::string& file, std::string& why) {
        return file == "-" ? kzfront::openPages(STDIN_FILENO, "standard input", open, why)
                           : kzfront::openPages(file, open, why);
    };
    for (const auto& file : o.files) {
        auto source = openFile(file, error);
        if (!source) return fail(error, 1);
        const int32_t count = !o.quiet && ::isatty(2) ? source->pageCount() : 0;
        total = count > 0 && (total > 0 || sources.empty()) ? total + count : 0;
        sources.push_back(std::move(source));
    }
    total *= o.copies.count;

    // The job first (it refuses an unusable profile), then the output.
    Output out;
    kzinspect::RenderOptions view;
    view.paper = kzinspect::paperOfArea(format.mode->xdpi, format.paper_width_px, format.paper_height_px,
                                        format.left_px, format.top_px, format.width_px, format.height_px);
    kzinspect::PreviewRenderer preview(view, kzinspect::pngPages(o.preview));
    if (!o.preview.empty()) out.preview = &preview;
    kzp_sink sink = kzp_sink_callback(writeAll, &out);
    char why[2048];
    const kzp_settings settings = resolved.settings();
    kzp_job* job = kzp_job_open(&settings, &sink, why, sizeof why);
    if (!job) return fail(why, 2);
    if (!o.output.empty()) {
        out.fd = ::open(o.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out.fd < 0) {
            kzp_job_close(job);
            return fail(o.output + ": cannot be written (" + std::strerror(errno) + ")", 1);
        }
    } else if (::isatty(1)) {
        kzp_job_close(job);
        return fail("will not write printer bytes to a terminal: redirect them ('> out.prn') or use -o", 2);
    } else {
        out.fd = 1;
    }

    Progress progress(!o.quiet && ::isatty(2));
    size_t current = 0;  // the file printing
    std::vector<kzfront::Document> documents;
    for (size_t i = 0; i < sources.size(); ++i) {
        // A file is read again for each copy; a pipe's pages are kept.
        struct stat st {};
        const bool file = o.files[i] != "-" && ::stat(o.files[i].c_str(), &st) == 0 && S_ISREG(st.st_mode);
        documents.push_back({[&, i](std::string& why) {
                                 current = i;
                                 return sources[i] ? std::move(sources[i]) : openFile(o.files[i], why);
                             },
                             file});
    }
    kzfront::LoopHooks hooks;
    hooks.cancelled = [] { return stopSignal != 0; };
    hooks.progress = [&](int page, int percent) { progress.show(page, total, o.files[current], percent); };
    int pages = 0;
    const kzfront::Outcome outcome =
        kzfront::printDocuments(job, format, documents, o.copies, o.placing, hooks, pages, error);
    progress.done();
    const kzp_status status = kzp_job_finish(job);
    if (status != KZP_OK && error.empty()) error = kzp_job_message(job);
    kzp_job_close(job);
    if (out.fd > 1) ::close(out.fd);
    if (outcome == kzfront::Outcome::Cancelled)
        return fail("stopped by signal " + std::to_string(stopSignal) + "; the page in progress was ended blank", 128 + stopSignal);
    if (outcome != kzfront::Outcome::Printed || status != KZP_OK) return fail(error, 1);
    if (out.preview && !preview.finish()) return fail("no preview: " + preview.error(), 1);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);  // a closed pipe is a write error, reported as such
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0) return std::printf("kzrqo317-print %s\n", KZ_VERSION) < 0;
    // Interrupted: the page in progress ends, so that the printer is not left in it.
    struct sigaction stop {};
    stop.sa_handler = onStop;
    sigemptyset(&stop.sa_mask);
    ::sigaction(SIGINT, &stop, nullptr);
    ::sigaction(SIGTERM, &stop, nullptr);
    Options options;
    std::string error;
    bool help = false;
    if (!parseOptions(argc, argv, options, error, help)) {
        std::fprintf(stderr, "kzrqo317-print: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.list) {
        printCapabilities(options);
        return 0;
    }
    if (options.benchmark) return runBenchmark(options);
    return printFiles(options);
}
