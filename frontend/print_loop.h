// The strip loop every front end prints through: a page's rows in, placed on
// the print mode's area, lines out to the pipeline's job; progress, cancel,
// and a page always ended (blank from where it stopped) so that the printer
// is never left in the middle of one.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frontend/page_source.h"
#include "frontend/place.h"
#include "kzrqo317/print.h"

namespace kzfront {

// What the loop tells and asks the front end; every member may be empty.
struct LoopHooks {
    std::function<bool()> cancelled;                     // true: stop at the next strip
    std::function<void(int page, int percent)> progress;  // the page's lines given, 0..100
    std::function<void(int page, const PageHeader&, const Placement&)> pageStarted;
    std::function<void(int page)> pageDone;  // the page ended complete and went to the job
};

enum class Outcome { Printed, Cancelled, Failed };

// One page into an open job, its rows pushed as they arrive: for front ends
// that are handed rows (the printer application's streamed raster).
class PagePrinter {
public:
    PagePrinter(kzp_job* job, const kzp_page_format& format, const PageHeader& page, const Placing& placing);
    // kzp_job_begin_page; false with `error` from the job.
    bool begin(std::string& error);
    // The page's next rows; the lines they complete go to the job.
    bool addRows(const uint8_t* rows, int32_t count, std::string& error);
    int32_t rowsWanted() const { return placement_.rowsWanted(); }
    // Ends the page: the remaining lines (blank where rows are missing when
    // not `complete`), then kzp_job_end_page.
    bool end(bool complete, std::string& error);
    const Placement& placement() const { return placement_; }
    int32_t rowsAdded() const { return rows_; }
    void setProgress(std::function<void(int percent)> progress) { progress_ = std::move(progress); }

private:
    bool write(bool ending, std::string& error);
    kzp_job* job_;
    kzp_page_format format_;
    PageHeader page_;
    Placement placement_;
    std::vector<uint8_t> lines_;
    int32_t rows_ = 0;
    int percent_ = -1;
    std::function<void(int)> progress_;
};

// The current page of `source` (its header just read) into `job`.  On a
// failure `error` says what happened (the source's words, or the job's).
Outcome printPage(kzp_job* job, const kzp_page_format& format, PageSource& source, const PageHeader& page,
                  const Placing& placing, const LoopHooks& hooks, int number, std::string& error);

// A document to print, opened when it is printed (again for each copy).
using Opener = std::function<std::unique_ptr<PageSource>(std::string& error)>;

// Every page of every document into `job` at one format, `copies` times,
// collated (each copy all documents in order).  `pages` counts the pages
// that ended complete.
Outcome printDocuments(kzp_job* job, const kzp_page_format& format, const std::vector<Opener>& documents,
                       int copies, const Placing& placing, const LoopHooks& hooks, int& pages, std::string& error);

}  // namespace kzfront
