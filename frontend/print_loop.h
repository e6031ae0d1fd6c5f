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
#include "frontend/page_spool.h"
#include "frontend/place.h"
#include "kzrqo317/print.h"

namespace kzfront {

// What the loop tells and asks the front end; every member may be empty.
struct LoopHooks {
    std::function<bool()> cancelled;                     // true: stop at the next strip
    std::function<void(int page, int percent)> progress;  // the page's lines given, 0..100
    std::function<void(int page, const PageHeader&, const Placement&)> pageStarted;
    std::function<void(int page)> pageDone;  // the page ended complete and went to the job
    // printDocuments: before each page (copies too), the job and format it
    // prints in, for front ends whose settings come with each page; false
    // with `error` when it cannot print.
    std::function<bool(const PageHeader& page, kzp_job*& job, kzp_page_format& format, std::string& error)> settingsFor;
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

// `source` with `first`, its first page's header already read, given again.
std::unique_ptr<PageSource> withFirstPage(std::unique_ptr<PageSource> source, const PageHeader& first);

// A document to print, opened when it is printed.
using Opener = std::function<std::unique_ptr<PageSource>(std::string& error)>;
struct Document {
    Opener open;
    // open() may be called again for another copy (a file); otherwise the
    // pages are kept in a spool (frontend/page_spool.h) and printed from it.
    bool reopens = true;
};

// The printer makes no copies: the front end prints each page again.  As
// IPP's multiple-document-handling says, each document's copies come
// together: collated (1 2 3, 1 2 3) or each page `count` times (1 1, 2 2,
// 3 3), then the next document's.
struct Copies {
    int count = 1;
    bool collate = true;
};

// Every page of every document into `job` at one format, with its copies.
// `pages` counts the pages that ended complete, copies included.
Outcome printDocuments(kzp_job* job, const kzp_page_format& format, const std::vector<Document>& documents,
                       Copies copies, const Placing& placing, const LoopHooks& hooks, int& pages, std::string& error);

}  // namespace kzfront
