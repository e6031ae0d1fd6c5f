// kzrqo317-print: pictures and documents to printer bytes.
//   kzrqo317-print [options] FILE... > out.prn
// Exit status: 0 printed, 1 a file or the output failed (the pages before it
// are complete in the output), 2 a bad command line or settings.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kzrqo317/print.h"
#include "options.h"
#include "frontend/input/open_pages.h"
#include "frontend/picture.h"
#include "frontend/place.h"
#include "stream_reader/preview.h"

namespace {

using namespace kzprint;

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
    void show(int page, const std::string& file, int32_t line, int32_t lines) {
        if (!on_) return;
        const int percent = int(int64_t(line) * 100 / lines);
        if (percent == last_ && page == page_) return;
        last_ = percent;
        page_ = page;
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
    int last_ = -1, page_ = 0;
};

int printFiles(const Options& o) {
    kzp_page_format format = kzp_page_format_empty();
    char why[2048];
    if (kzp_resolve(&o.settings, &format, why, sizeof why) != KZP_OK) return fail(why, 2);
    if (o.files.empty()) return fail("no files to print (kzrqo317-print --help tells how)", 2);

    // Documents are rendered at the size they print at when Ghostscript can
    // place them as asked: fitted, turned as needed, no larger than the area.
    // Filling, never turning and enlarging (which would render the whole
    // enlarged page for the middle that shows) leave the page at its own size
    // for Placement to resample.
    kzfront::OpenOptions open;
    open.xdpi = format.mode->xdpi, open.ydpi = format.mode->ydpi;
    open.paperWidth = format.paper_width_px, open.paperHeight = format.paper_height_px;
    open.printWidth = format.width_px, open.printHeight = format.height_px;
    if (o.fit == Fit::Fit && o.rotate && o.scale <= 100) {
        open.areaWidth = std::max<int32_t>(1, int32_t(std::lround(format.width_px * o.scale / 100)));
        open.areaHeight = std::max<int32_t>(1, int32_t(std::lround(format.height_px * o.scale / 100)));
    }

    // Every file is opened before the first byte goes out.
    std::vector<std::unique_ptr<kzfront::PageSource>> sources;
    for (const auto& file : o.files) {
        std::string error;
        auto source = kzfront::openPages(file, open, error);
        if (!source) return fail(error, 1);
        sources.push_back(std::move(source));
    }

    // The job first (it refuses an unusable profile), then the output.
    Output out;
    kzinspect::RenderOptions view;
    view.paper = kzinspect::paperOfArea(format.mode->xdpi, format.paper_width_px, format.paper_height_px,
                                        format.left_px, format.top_px, format.width_px, format.height_px);
    kzinspect::PreviewRenderer preview(view, kzinspect::pngPages(o.preview));
    if (!o.preview.empty()) out.preview = &preview;
    kzp_sink sink = kzp_sink_callback(writeAll, &out);
    kzp_job* job = kzp_job_open(&o.settings, &sink, why, sizeof why);
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
    std::string failure;
    int page = 0;
    constexpr int32_t kStrip = 64;
    std::vector<uint8_t> strip(size_t(format.width_px) * 3 * kStrip);
    bool stopped = false;  // the job failed: its message says why
    for (size_t i = 0; i < sources.size() && failure.empty() && !stopped; ++i) {
        while (!stopped) {
            kzfront::PageHeader header;
            Picture picture;
            std::string error;
            if (!sources[i]->nextPage(header, error) || !readPicture(*sources[i], header, picture, error)) {
                if (!error.empty()) failure = error;
                break;
            }
            ++page;
            const Turn turn = o.rotate ? turnToFit(picture.width, picture.height, format.width_px, format.height_px,
                                                   picture.turn)
                                       : Turn::None;
            Placement placement(std::move(picture), format.width_px, format.height_px, o.fit, o.scale, turn);
            stopped = kzp_job_begin_page(job, KZP_INPUT_RGB8, format.width_px, format.height_px) != KZP_OK;
            for (int32_t y = 0; y < format.height_px && !stopped; y += kStrip) {
                const int32_t rows = std::min(kStrip, format.height_px - y);
                placement.lines(y, rows, strip.data());
                progress.show(page, o.files[i], y, format.height_px);
                for (int32_t r = 0; r < rows && !stopped; ++r)
                    stopped = kzp_job_write_line(job, strip.data() + size_t(r) * size_t(format.width_px) * 3) != KZP_OK;
            }
            stopped = kzp_job_end_page(job) != KZP_OK || stopped;
        }
    }
    progress.done();
    const kzp_status status = kzp_job_finish(job);
    if (status != KZP_OK && failure.empty()) failure = kzp_job_message(job);
    kzp_job_close(job);
    if (out.fd > 1) ::close(out.fd);
    if (!failure.empty()) return fail(failure, 1);
    if (out.preview && !preview.finish()) return fail("no preview: " + preview.error(), 1);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);  // a closed pipe is a write error, reported as such
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
