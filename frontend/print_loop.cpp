// The strip loop.
#include "frontend/print_loop.h"

#include <algorithm>

namespace kzfront {

PagePrinter::PagePrinter(kzp_job* job, const kzp_page_format& format, const PageHeader& page, const Placing& placing)
    : job_(job), format_(format), page_(page), placement_(page, format, placing) {}

bool PagePrinter::begin(std::string& error) {
    if (kzp_job_begin_page(job_, inputFor(page_.format), format_.width_px, format_.height_px) == KZP_OK) return true;
    error = kzp_job_message(job_);
    return false;
}

bool PagePrinter::write(bool ending, std::string& error) {
    for (int32_t n; (n = placement_.linesReady(ending)) > 0;) {
        lines_.resize(size_t(n) * placement_.lineBytes());
        placement_.lines(n, lines_.data(), ending);
        for (int32_t i = 0; i < n; ++i) {
            if (kzp_job_write_line(job_, lines_.data() + size_t(i) * placement_.lineBytes()) != KZP_OK) {
                error = kzp_job_message(job_);
                return false;
            }
        }
        const int percent = int(int64_t(placement_.linesDone()) * 100 / std::max(format_.height_px, 1));
        if (progress_ && percent != percent_) progress_(percent);
        percent_ = percent;
    }
    return true;
}

bool PagePrinter::addRows(const uint8_t* rows, int32_t count, std::string& error) {
    placement_.addRows(rows, count);
    rows_ += count;
    return write(false, error);
}

bool PagePrinter::end(bool complete, std::string& error) {
    std::string failed;
    const bool wrote = write(!complete, failed);
    // The page ends whatever happened, so that the printer is not left in it.
    const bool ended = kzp_job_end_page(job_) == KZP_OK;
    if (!wrote || !ended) error = wrote ? kzp_job_message(job_) : failed;
    return wrote && ended;
}

Outcome printPage(kzp_job* job, const kzp_page_format& format, PageSource& source, const PageHeader& page,
                  const Placing& placing, const LoopHooks& hooks, int number, std::string& error) {
    PagePrinter printer(job, format, page, placing);
    if (hooks.progress) printer.setProgress([&](int percent) { hooks.progress(number, percent); });
    if (!printer.begin(error)) return Outcome::Failed;
    if (hooks.pageStarted) hooks.pageStarted(number, page, printer.placement());
    std::vector<uint8_t> rows;
    const size_t rowBytes = size_t(page.width) * size_t(channels(page.format));
    // Rows in small batches: the placement holds what its next lines need.
    constexpr int32_t kBatch = 32;
    for (int32_t n; (n = std::min(printer.rowsWanted(), kBatch)) > 0;) {
        std::string ignored;
        if (hooks.cancelled && hooks.cancelled()) {
            printer.end(false, ignored);
            return Outcome::Cancelled;
        }
        rows.resize(size_t(n) * rowBytes);
        if (!source.readRows(rows.data(), n, error)) {
            printer.end(false, ignored);
            return hooks.cancelled && hooks.cancelled() ? Outcome::Cancelled : Outcome::Failed;
        }
        if (!printer.addRows(rows.data(), n, error)) {
            printer.end(false, ignored);
            return Outcome::Failed;
        }
    }
    if (!printer.end(true, error)) return Outcome::Failed;
    if (hooks.pageDone) hooks.pageDone(number);
    return Outcome::Printed;
}

Outcome printDocuments(kzp_job* job, const kzp_page_format& format, const std::vector<Opener>& documents,
                       int copies, const Placing& placing, const LoopHooks& hooks, int& pages, std::string& error) {
    pages = 0;
    for (int copy = 0; copy < std::max(copies, 1); ++copy) {
        for (const Opener& open : documents) {
            std::unique_ptr<PageSource> source = open(error);
            if (!source) return Outcome::Failed;
            PageHeader page;
            while (source->nextPage(page, error)) {
                if (hooks.cancelled && hooks.cancelled()) return Outcome::Cancelled;
                const Outcome outcome = printPage(job, format, *source, page, placing, hooks, pages + 1, error);
                if (outcome != Outcome::Printed) return outcome;
                ++pages;
            }
            if (!error.empty()) return hooks.cancelled && hooks.cancelled() ? Outcome::Cancelled : Outcome::Failed;
        }
    }
    return Outcome::Printed;
}

}  // namespace kzfront
