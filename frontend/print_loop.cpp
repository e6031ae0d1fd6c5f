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

namespace {

class FirstPageAgain : public PageSource {
public:
    FirstPageAgain(std::unique_ptr<PageSource> source, const PageHeader& first)
        : source_(std::move(source)), first_(first) {}
    bool nextPage(PageHeader& page, std::string& error) override {
        if (!pending_) return source_->nextPage(page, error);
        pending_ = false;
        page = first_;
        return true;
    }
    bool readRows(uint8_t* rows, int32_t count, std::string& error) override {
        return source_->readRows(rows, count, error);
    }
    int32_t pageCount() override { return source_->pageCount(); }

private:
    std::unique_ptr<PageSource> source_;
    PageHeader first_;
    bool pending_ = true;
};

// Prints the pages `source` gives, each followed by `again` copies of it
// from `perPage` (uncollated copies; then `source` records into it).
Outcome printAll(kzp_job* job, const kzp_page_format& format, PageSource& source, RecordingSource* recorder,
                 PageSpool* perPage, int again, const Placing& placing, const LoopHooks& hooks, int& pages,
                 std::string& error) {
    const auto stopped = [&] { return hooks.cancelled && hooks.cancelled(); };
    const auto printOne = [&](PageSource& from, const PageHeader& page) {
        kzp_job* into = job;
        kzp_page_format at = format;
        if (hooks.settingsFor && !hooks.settingsFor(page, into, at, error)) return Outcome::Failed;
        return printPage(into, at, from, page, placing, hooks, pages + 1, error);
    };
    PageHeader page;
    while (source.nextPage(page, error)) {
        if (stopped()) return Outcome::Cancelled;
        Outcome outcome = printOne(source, page);
        if (outcome != Outcome::Printed) return outcome;
        ++pages;
        if (!perPage) continue;
        if (recorder && !recorder->keepRest(error)) return Outcome::Failed;
        for (int copy = 0; copy < again; ++copy) {
            if (stopped()) return Outcome::Cancelled;
            auto kept = perPage->replay(perPage->pages() - 1);
            PageHeader same;
            if (!kept->nextPage(same, error)) return Outcome::Failed;
            outcome = printOne(*kept, same);
            if (outcome != Outcome::Printed) return outcome;
            ++pages;
        }
        perPage->clear();
    }
    if (!error.empty()) return stopped() ? Outcome::Cancelled : Outcome::Failed;
    return Outcome::Printed;
}

}  // namespace

std::unique_ptr<PageSource> withFirstPage(std::unique_ptr<PageSource> source, const PageHeader& first) {
    return std::make_unique<FirstPageAgain>(std::move(source), first);
}

Outcome printDocuments(kzp_job* job, const kzp_page_format& format, const std::vector<Document>& documents,
                       Copies copies, const Placing& placing, const LoopHooks& hooks, int& pages, std::string& error) {
    pages = 0;
    const int count = std::max(copies.count, 1);
    for (const Document& document : documents) {
        std::unique_ptr<PageSource> source = document.open(error);
        if (!source) return Outcome::Failed;
        Outcome outcome = Outcome::Printed;
        if (count == 1 || (copies.collate && document.reopens)) {
            for (int copy = 0; outcome == Outcome::Printed && copy < count; ++copy) {
                if (copy > 0 && !(source = document.open(error))) return Outcome::Failed;
                outcome = printAll(job, format, *source, nullptr, nullptr, 0, placing, hooks, pages, error);
            }
        } else {
            // Pages kept to print again: the whole document when collating,
            // else each page until its copies are out.
            std::unique_ptr<PageSpool> spool = PageSpool::create(error);
            if (!spool) return Outcome::Failed;
            RecordingSource recorder(std::move(source), *spool);
            if (copies.collate) {
                outcome = printAll(job, format, recorder, nullptr, nullptr, 0, placing, hooks, pages, error);
                for (int copy = 1; outcome == Outcome::Printed && copy < count; ++copy) {
                    auto kept = spool->replay();
                    outcome = printAll(job, format, *kept, nullptr, nullptr, 0, placing, hooks, pages, error);
                }
            } else {
                outcome = printAll(job, format, recorder, &recorder, spool.get(), count - 1, placing, hooks, pages, error);
            }
        }
        if (outcome != Outcome::Printed) return outcome;
    }
    return Outcome::Printed;
}

}  // namespace kzfront
