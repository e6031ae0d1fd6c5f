// PDF and PostScript through Ghostscript (frontend/ghostscript.h): rendered
// one page at a time to a pipe as PNM, at the print mode's resolution, and
// when asked at the size each page prints at, so that it is sampled only
// once.  Pages stream row by row from the pipe.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "frontend/ghostscript.h"
#include "frontend/input/pnm.h"
#include "frontend/input/readers.h"
#include "frontend/input/row_source.h"

namespace kzfront::input {
namespace {

// A PDF ends with "startxref", the offset of its cross-reference table, and
// "%%EOF"; one cut short has lost them (and Ghostscript would print what it
// can salvage of it without failing).
bool endsAsPdf(int fd) {
    char tail[1024];
    const off_t size = ::lseek(fd, 0, SEEK_END);
    const off_t from = size > off_t(sizeof tail) ? size - off_t(sizeof tail) : 0;
    const ssize_t got = ::pread(fd, tail, sizeof tail, from);
    return got > 0 && std::string(tail, size_t(got)).find("startxref") != std::string::npos;
}

class DocumentPages : public RowSource {
public:
    DocumentPages(std::string name, std::unique_ptr<Ghostscript> gs, int fd, std::string path, bool postscript,
                  const OpenOptions& options)
        : RowSource(std::move(name), options), gs_(std::move(gs)), fd_(fd), path_(std::move(path)),
          postscript_(postscript) {}

    // A PDF's page count, from Ghostscript asked apart (PostScript's is known
    // only once it has run).
    int32_t pageCount() override {
        if (counted_ || postscript_) return count_;
        counted_ = true;
        const int fd = fd_ >= 0 ? fd_ : ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return 0;
        GhostscriptLimits limits{options_.pageSeconds, options_.pageSeconds, options_.cancelled};
        std::string why;
        auto gs = Ghostscript::start({"-q", "-dNODISPLAY", "-dSAFER", "--permit-file-read=/dev/fd/3", "-c",
                                      "(/dev/fd/3) (r) file runpdfbegin pdfpagecount = quit"},
                                     limits, why, fd);
        if (fd != fd_) ::close(fd);
        int32_t n = 0;
        if (gs && std::fscanf(gs->output(), "%d", &n) == 1 && gs->finish(false) == 0 && n > 0) count_ = n;
        return count_;
    }
    ~DocumentPages() override {
        gs_.reset();
        if (fd_ >= 0) ::close(fd_);
    }

    bool nextPage(PageHeader& page, std::string& error) override {
        if (done_) return false;
        if (!skipRest(error)) return stop(), false;
        gs_->nextPage();
        bool end = false;
        std::string why;
        if (!readPnmHeader(gs_->output(), header_, end, why)) {
            done_ = true;
            end = end && gs_->stopped().empty();  // a stop ends the stream too
            const int status = gs_->finish(!end);
            error = explain(status, end ? "" : "its output broke off (" + why + ")");
            return false;
        }
        const bool area = options_.areaWidth > 0;
        const int32_t box = reductionFor(header_.width, header_.height, options_, !area, 0, why);
        if (box == 0) {
            stop();
            error = name_ + ", page " + std::to_string(pages_ + 1) + ": " + why;
            return false;
        }
        ++pages_;
        page = {};
        page.format = header_.format();
        page.kind = area ? PageKind::Area : PageKind::Picture;
        page.turn = Turn::Counterclockwise;
        page.grey = options_.grey;
        page.ppi = options_.xdpi;
        beginPage(page, header_.width, header_.height, box);
        return true;
    }

private:
    bool sourceRow(uint8_t* row, std::string& error) override {
        std::string why;
        if (readPnmRow(gs_->output(), header_, scratch_, row, why)) return true;
        stop();
        error = gs_->stopped().empty() ? "Ghostscript's output broke off (" + why + ")" : gs_->stopped();
        return false;
    }

    void stop() {
        done_ = true;
        gs_->finish(true);
    }

    // Why the document did not print completely, or empty when it did.
    std::string explain(int status, const std::string& brokeOff) const {
        const GhostscriptComplaint& c = gs_->complaint();
        const std::string said = c.line.empty() ? "" : " (Ghostscript: " + c.line + ")";
        const std::string page = ", page " + std::to_string(pages_ + 1) + ": ";
        if (!gs_->stopped().empty()) return name_ + page + gs_->stopped();
        if (c.password) return name_ + ": the document is protected by a password" + said;
        if (c.damaged) return name_ + ": the document is damaged or truncated" + said;
        if (c.pageError) return name_ + ": a page could not be drawn completely" + said;
        if (!brokeOff.empty()) return name_ + page + "Ghostscript's " + brokeOff;
        if (status != 0)
            return name_ + ": Ghostscript could not render the document (exit status " + std::to_string(status) + ")" +
                   (said.empty() ? "; is it a valid PDF or PostScript file?" : said);
        if (pages_ == 0) return name_ + ": Ghostscript found no pages in it" + (said.empty() ? "" : said);
        return {};
    }

    std::unique_ptr<Ghostscript> gs_;
    int fd_;  // the document's copy, or -1
    const std::string path_;
    const bool postscript_;
    bool counted_ = false;
    int32_t count_ = 0;
    PnmHeader header_;
    std::vector<uint8_t> scratch_;
    bool done_ = false;
};

}  // namespace

std::unique_ptr<PageSource> openDocument(const std::string& path, int fd, const std::string& name, bool postscript,
                                         const OpenOptions& o, std::string& error) {
    const auto fail = [&](const std::string& why) -> std::unique_ptr<PageSource> {
        if (fd >= 0) ::close(fd);
        error = name + ": " + why;
        return nullptr;
    };
    if (!postscript) {
        const int check = fd >= 0 ? fd : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const bool whole = check < 0 || endsAsPdf(check);  // one that does not open: Ghostscript says why
        if (check >= 0 && check != fd) ::close(check);
        if (!whole) return fail("the PDF is truncated (its end, with the cross-reference table, is missing)");
    }
    // Its PostScript standard output goes to standard error, so that only
    // pages come through the pipe; the band list stays in memory, so that a
    // killed Ghostscript leaves no temporary files.  Pictures inside the page
    // are scaled with Ghostscript's interpolating filter, not by picking pixels.
    std::vector<std::string> args = {"-dSAFER", "-dBATCH", "-dNOPAUSE", "-sstdout=%stderr",
                                     "-sBandListStorage=memory",
                                     o.grey ? "-sDEVICE=pgmraw" : "-sDEVICE=ppmraw",
                                     "-r" + std::to_string(o.xdpi) + "x" + std::to_string(o.ydpi),
                                     "-dTextAlphaBits=4", "-dGraphicsAlphaBits=4", "-dDOINTERPOLATE",
                                     "-sOutputFile=-"};
    if (o.firstPage > 1) args.push_back("-dFirstPage=" + std::to_string(o.firstPage));
    if (o.lastPage > 0) args.push_back("-dLastPage=" + std::to_string(o.lastPage));
    if (o.areaWidth > 0) {
        // Each page scaled (and turned) to fit the fixed media, centred.
        args.insert(args.end(), {"-g" + std::to_string(o.areaWidth) + "x" + std::to_string(o.areaHeight),
                                 "-dFIXEDMEDIA", "-dFitPage"});
        // A PostScript page that does not ask for a size is taken to be the
        // paper's and fitted likewise.  (Not for PDF, whose pages all have a
        // size: the request would add its own slight scale to theirs.)
        if (postscript && o.paperWidth > 0)
            args.insert(args.end(), {"-c", "<</PageSize [" + std::to_string(o.paperWidth * 72.0 / o.xdpi) + " " +
                                               std::to_string(o.paperHeight * 72.0 / o.ydpi) + "]>> setpagedevice"});
    }
    args.insert(args.end(), {"-f", fd >= 0 ? "/dev/fd/3" : path});
    GhostscriptLimits limits{o.pageSeconds, o.documentSeconds, o.cancelled};
    std::string why;
    auto gs = Ghostscript::start(args, limits, why, fd);
    if (!gs) return fail("PDF and PostScript need Ghostscript, but " + why);
    return std::make_unique<DocumentPages>(name, std::move(gs), fd, path, postscript, o);
}

}  // namespace kzfront::input
