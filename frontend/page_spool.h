// Pages kept to print again: copies of input that cannot be read twice (the
// CUPS filter's standard input, raster the printer application is streamed)
// and uncollated copies (each page several times in a row).
//
// The spool keeps each page's header in memory and its rows deflated in a
// file without a name in TMPDIR, gone with its descriptor whatever ends the
// program.  A page of text deflates to a few hundred kilobytes, an A4 photo
// at 600 dpi to about half its 105 MB.
#pragma once

#include <sys/types.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

#include "frontend/page_source.h"

namespace kzfront {

class PageSpool {
public:
    // NULL with `error` when no temporary file can be made.
    static std::unique_ptr<PageSpool> create(std::string& error);
    ~PageSpool();
    PageSpool(const PageSpool&) = delete;
    PageSpool& operator=(const PageSpool&) = delete;

    // Keeping a page: its header, then all its rows in order, then endPage.
    bool beginPage(const PageHeader& page, std::string& error);
    bool addRows(const uint8_t* rows, int32_t count, std::string& error);
    bool endPage(std::string& error);

    // The pages kept so far (whole ones only).
    int pages() const { return int(pages_.size()); }
    // Their pages from `first` on, read back as a source; the spool must
    // outlive it, and keep no new pages meanwhile.
    std::unique_ptr<PageSource> replay(int first = 0);
    // Forgets every page and gives the file's space back.
    void clear();

private:
    friend class SpoolReader;
    struct Page {
        PageHeader header;
        off_t offset = 0, size = 0;  // the deflated rows in the file
    };
    explicit PageSpool(int fd) : fd_(fd) {}
    bool deflateInto(int flush, std::string& error);

    int fd_;
    off_t end_ = 0;
    std::vector<Page> pages_;
    Page current_;
    bool open_ = false;  // a page is being kept
    z_stream zs_{};
    bool zsReady_ = false;
    std::vector<uint8_t> out_;
};

// Passes a source's pages through while keeping each page whole in a spool.
class RecordingSource : public PageSource {
public:
    RecordingSource(std::unique_ptr<PageSource> source, PageSpool& spool) : source_(std::move(source)), spool_(spool) {}
    bool nextPage(PageHeader& page, std::string& error) override;
    bool readRows(uint8_t* rows, int32_t count, std::string& error) override;
    // Reads and keeps the rows of the current page not read yet, and ends it
    // in the spool (nextPage does it too).
    bool keepRest(std::string& error);

private:
    std::unique_ptr<PageSource> source_;
    PageSpool& spool_;
    PageHeader page_;
    int32_t rows_ = 0;
    bool inPage_ = false;
};

}  // namespace kzfront
