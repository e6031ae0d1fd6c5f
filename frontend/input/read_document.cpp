// PDF and PostScript through Ghostscript, when it is installed: rendered one
// page at a time to a pipe as PNM, at the print mode's resolution, and when
// asked at the size each page prints at, so that it is sampled only once.
// Pages stream row by row from the pipe.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "frontend/input/pnm.h"
#include "frontend/input/readers.h"

extern char** environ;

namespace kzfront::input {
namespace {

class DocumentPages : public PageSource {
public:
    DocumentPages(std::string name, pid_t child, std::FILE* pipe, const OpenOptions& options)
        : name_(std::move(name)), child_(child), pipe_(pipe), area_(options.areaWidth > 0) {}
    ~DocumentPages() override { finish(true); }

    bool nextPage(PageHeader& page, std::string& error) override {
        if (!pipe_) return false;
        std::vector<uint8_t> skip(size_t(header_.width) * 3);
        while (row_ < header_.height)
            if (!readRows(skip.data(), 1, error)) return false;
        bool end = false;
        std::string why;
        if (!readPnmHeader(pipe_, header_, end, why)) {
            header_ = {};
            const int status = finish(!end);
            if (!end) {
                error = name_ + ": Ghostscript's output broke off (" + why + ")";
            } else if (status != 0) {
                error = name_ + ": Ghostscript could not render " + (pages_ ? "all of " : "") +
                        "the document (exit status " + std::to_string(status) + "); is it a valid PDF or PostScript file?";
            } else if (pages_ == 0) {
                error = name_ + ": Ghostscript found no pages in it; is it a valid PDF or PostScript file?";
            }
            return false;
        }
        ++pages_;
        row_ = 0;
        page = {};
        page.width = header_.width;
        page.height = header_.height;
        page.format = header_.format();
        page.kind = area_ ? PageKind::Area : PageKind::Picture;
        page.turn = Turn::Counterclockwise;
        return true;
    }

    bool readRows(uint8_t* rows, int32_t count, std::string& error) override {
        if (!pipe_ || count < 1 || count > header_.height - row_) {
            error = name_ + ": rows asked past the end of the page";
            return false;
        }
        const size_t stride = size_t(header_.width) * size_t(channels(header_.format()));
        for (int32_t r = 0; r < count; ++r, ++row_) {
            std::string why;
            if (!readPnmRow(pipe_, header_, scratch_, rows + size_t(r) * stride, why)) {
                finish(true);
                error = name_ + ", page " + std::to_string(pages_) + ": Ghostscript's output broke off (" + why + ")";
                return false;
            }
        }
        return true;
    }

private:
    // Closes the pipe and waits for Ghostscript; `stop` ends it first.
    int finish(bool stop) {
        if (!pipe_) return status_;
        if (stop) ::kill(child_, SIGTERM);
        std::fclose(pipe_);
        pipe_ = nullptr;
        int status = 0;
        while (::waitpid(child_, &status, 0) < 0 && errno == EINTR) {
        }
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        return status_;
    }

    std::string name_;
    pid_t child_;
    std::FILE* pipe_;
    bool area_;
    PnmHeader header_;
    std::vector<uint8_t> scratch_;
    int32_t row_ = 0;
    int pages_ = 0;
    int status_ = 0;
};

}  // namespace

std::unique_ptr<PageSource> openDocument(const std::string& path, const std::string& name, bool postscript,
                                         const OpenOptions& o, std::string& error) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = std::string("cannot start Ghostscript: ") + std::strerror(errno);
        return nullptr;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    // Its PostScript standard output goes to standard error, so that only
    // pictures come through the pipe.  Pictures inside the page are scaled
    // with Ghostscript's interpolating filter, not by picking pixels.
    std::vector<std::string> args = {"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sstdout=%stderr",
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
    args.insert(args.end(), {"-f", path});
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, "gs", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        ::close(fds[0]);
        error = name + ": PDF and PostScript need Ghostscript ('gs'), which " +
                (spawned == ENOENT ? std::string("is not installed") : std::string("cannot start: ") + std::strerror(spawned));
        return nullptr;
    }
    std::FILE* pipe = ::fdopen(fds[0], "rb");
    if (!pipe) {
        ::close(fds[0]);
        ::kill(child, SIGTERM);
        ::waitpid(child, nullptr, 0);
        error = "cannot read from Ghostscript";
        return nullptr;
    }
    return std::make_unique<DocumentPages>(name, child, pipe, o);
}

}  // namespace kzfront::input
