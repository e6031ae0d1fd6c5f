// rastertokzrqo317: the CUPS filter.  Reads CUPS raster pages and writes the
// printer's command stream to standard output through the print pipeline.
//
//   rastertokzrqo317 job-id user title copies options [file]
//
// Each page's header says what to print (page size, media type, quality,
// colour, borderless, roll); a page that cannot print ends the job with an
// ERROR: line before any of its bytes are written.  SIGTERM (a cancelled
// job) ends the current page with blank lines and closes the job, so the
// printer is never left in the middle of a page.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <new>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "page_setup.h"

namespace {

volatile std::sig_atomic_t cancelled = 0;

void onTerm(int) { cancelled = 1; }

void installSignals() {
    struct sigaction action{};
    action.sa_handler = onTerm;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

// An open pipeline job and the settings it was opened with.
class Output {
public:
    ~Output() {
        std::string why;
        close(why);
    }

    // Opens a job for these settings, closing one with other settings first.
    bool ready(const kzp_settings& settings, std::string& why) {
        if (job_ != nullptr && kzcups::sameSettings(settings_, settings)) return true;
        if (!close(why)) return false;
        const kzp_sink sink = kzp_sink_fd(STDOUT_FILENO);
        char message[512] = "";
        job_ = kzp_job_open(&settings, &sink, message, sizeof message);
        if (job_ == nullptr) {
            why = message;
            return false;
        }
        settings_ = settings;
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
    kzp_job* job_ = nullptr;
    kzp_settings settings_{};
};

// The raster lines a line of the print mode averages: a window that only
// moves down the page, reading as it goes.
class RowWindow {
public:
    RowWindow(cups_raster_t* raster, const cups_page_header2_t& header, int32_t rows)
        : raster_(raster), bytes_(header.cupsBytesPerLine), height_(header.cupsHeight), rows_(rows),
          data_(size_t{bytes_} * static_cast<size_t>(rows)) {}

    // Holds rows [first, first + rows) of the raster (fewer at its end);
    // false when the raster data stopped.
    bool seek(int32_t first) {
        if (first < start_) first = start_;
        const int64_t keep = std::max<int64_t>(0, start_ + count_ - first);
        if (keep > 0 && first > start_) {
            std::memmove(data_.data(), row(static_cast<int32_t>(first - start_)), size_t{bytes_} * keep);
        }
        count_ = static_cast<int32_t>(keep);
        start_ = first;
        while (read_ < first) {
            if (!readInto(data_.data())) return false;
        }
        const int64_t want = std::min<int64_t>(rows_, int64_t{height_} - first);
        while (count_ < want) {
            if (!readInto(row(count_))) return false;
            ++count_;
        }
        return true;
    }
    // Reads the rest of the page's raster, to stay in step with the stream.
    bool drain() {
        while (read_ < height_) {
            if (!readInto(data_.data())) return false;
        }
        return true;
    }
    const uint8_t* data() const { return data_.data(); }
    int32_t rows() const { return count_; }

private:
    uint8_t* row(int32_t i) { return data_.data() + size_t{bytes_} * static_cast<size_t>(i); }
    bool readInto(uint8_t* to) {
        if (cancelled || cupsRasterReadPixels(raster_, to, bytes_) != bytes_) return false;
        ++read_;
        return true;
    }

    cups_raster_t* raster_;
    unsigned bytes_;
    uint32_t height_;
    int32_t rows_;
    std::vector<uint8_t> data_;
    int64_t start_ = 0, read_ = 0;
    int32_t count_ = 0;
};

const char* colourWords(const kzcups::PagePlan& plan) {
    if (!plan.grey) return "colour";
    return plan.greyInColour ? "grey (with colour inks: no black-only printing for this paper)" : "black only";
}

// Prints one page; false when the job must stop (the message is out).
bool printPage(cups_raster_t* raster, const cups_page_header2_t& header, int number, Output& output) {
    kzcups::PagePlan plan;
    std::string why;
    if (!kzcups::planPage(header, plan, why) || !output.ready(plan.settings, why)) {
        std::fprintf(stderr, "ERROR: Page %d cannot be printed: %s\n", number, why.c_str());
        return false;
    }
    const kzp_page_format& f = plan.format;
    std::fprintf(stderr, "INFO: Printing page %d: %s, %s, %s quality, %s%s\n", number, plan.paper->label,
                 plan.mediaType->label, kzp_quality_name(plan.settings.quality), colourWords(plan),
                 plan.settings.borderless ? ", borderless" : "");
    std::fprintf(stderr, "DEBUG: page %d: raster %ux%u at %ux%u dpi, mode %u lines %dx%d at (%d,%d)\n", number,
                 header.cupsWidth, header.cupsHeight, header.HWResolution[0], header.HWResolution[1],
                 unsigned{f.mode->print_mode}, f.width_px, f.height_px, f.left_px, f.top_px);

    kzp_job* job = output.job();
    if (kzp_job_begin_page(job, plan.input, f.width_px, f.height_px) != KZP_OK) {
        std::fprintf(stderr, "ERROR: Page %d cannot be printed: %s\n", number, kzp_job_message(job));
        return false;
    }
    const kzcups::Placement placement(header, f);
    RowWindow window(raster, header, placement.blockHeight());
    kzcups::LineConverter converter(header, plan, placement);
    std::vector<uint8_t> line(static_cast<size_t>(f.width_px) * kzcups::inputBytes(plan.input));
    bool ended = false;  // the raster data stopped (cancelled upstream, or cut short)
    int progress = -10;
    for (int32_t y = 0; y < f.height_px && !cancelled; ++y) {
        const int32_t source = placement.sourceRow(y);
        if (source >= 0 && !window.seek(source)) {
            ended = true;
            break;
        }
        converter.convert(window.data(), source >= 0 ? window.rows() : 0, line.data());
        if (kzp_job_write_line(job, line.data()) != KZP_OK) {
            std::fprintf(stderr, "ERROR: Page %d: %s\n", number, kzp_job_message(job));
            kzp_job_end_page(job);
            return false;
        }
        const int percent = static_cast<int>(int64_t{y} * 100 / f.height_px);
        if (percent / 10 != progress / 10) {
            progress = percent;
            std::fprintf(stderr, "ATTR: job-media-progress=%d\n", percent);
        }
    }
    if (!ended && !cancelled) ended = !window.drain();
    const bool ok = kzp_job_end_page(job) == KZP_OK;
    if (!ok) {
        std::fprintf(stderr, "ERROR: Page %d: %s\n", number, kzp_job_message(job));
        return false;
    }
    std::fprintf(stderr, "ATTR: job-media-progress=100\n");
    std::fprintf(stderr, "PAGE: %d 1\n", number);
    if (cancelled) std::fprintf(stderr, "INFO: Job cancelled; page %d ended early\n", number);
    if (ended && !cancelled) {
        std::fprintf(stderr, "ERROR: Page %d ended early: its raster data stopped\n", number);
        return false;
    }
    return !cancelled;
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
        fd = open(argv[6], O_RDONLY);
        if (fd < 0) {
            std::fprintf(stderr, "ERROR: Cannot open the print file %s: %s\n", argv[6], std::strerror(errno));
            return 1;
        }
    }
    cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    if (raster == nullptr) {
        std::fputs("ERROR: The print data is not CUPS raster\n", stderr);
        return 1;
    }
    Output output;
    cups_page_header2_t header;
    int pages = 0;
    bool ok = true;
    while (ok && !cancelled && cupsRasterReadHeader2(raster, &header)) {
        ok = printPage(raster, header, ++pages, output);
    }
    std::string why;
    if (!output.close(why)) {
        std::fprintf(stderr, "ERROR: The job could not be finished: %s\n", why.c_str());
        ok = false;
    }
    cupsRasterClose(raster);
    if (fd != STDIN_FILENO) ::close(fd);
    if (ok && pages == 0 && !cancelled) std::fputs("ERROR: The print data has no pages\n", stderr);
    if (ok && !cancelled) std::fprintf(stderr, "INFO: Printed %d page%s\n", pages, pages == 1 ? "" : "s");
    return ok && (pages > 0 || cancelled) ? 0 : 1;
}

int main(int argc, char* argv[]) {
    try {
        return filterMain(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("ERROR: The filter ran out of memory\n", stderr);
        return 1;
    }
}
