// PDF and PostScript through Ghostscript, when it is installed: rendered one
// page at a time to a pipe as PPM, at the print mode's resolution, and when
// asked at the size each page prints at, so that it is sampled only once.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "frontend/picture.h"

extern char** environ;

namespace kzprint {
namespace {

class DocumentPages : public PageSource {
public:
    DocumentPages(std::string path, pid_t child, std::FILE* pipe) : path_(std::move(path)), child_(child), pipe_(pipe) {}
    ~DocumentPages() override { finish(true); }

    bool next(Picture& page, std::string& error) override {
        if (!pipe_) return false;
        bool end = false;
        if (readPnm(pipe_, page, error, end)) {
            page.turn = Turn::Counterclockwise;
            ++pages_;
            return true;
        }
        const int status = finish(!end);
        if (!end) {
            error = path_ + ": Ghostscript's output broke off (" + error + ")";
        } else if (status != 0) {
            error = path_ + ": Ghostscript could not render " + (pages_ ? "all of " : "") +
                    "the document (exit status " + std::to_string(status) + "); is it a valid PDF or PostScript file?";
        } else if (pages_ == 0) {
            error = path_ + ": Ghostscript found no pages in it; is it a valid PDF or PostScript file?";
        }
        return false;
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

    std::string path_;
    pid_t child_;
    std::FILE* pipe_;
    int pages_ = 0;
    int status_ = 0;
};

}  // namespace

std::unique_ptr<PageSource> openDocument(const std::string& path, const RenderSize& render, bool postscript,
                                         std::string& error) {
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
                                     "-sDEVICE=ppmraw",
                                     "-r" + std::to_string(render.xdpi) + "x" + std::to_string(render.ydpi),
                                     "-dTextAlphaBits=4", "-dGraphicsAlphaBits=4", "-dDOINTERPOLATE",
                                     "-sOutputFile=-"};
    if (render.width > 0) {
        // Each page scaled (and turned) to fit the fixed media, centred.
        args.insert(args.end(), {"-g" + std::to_string(render.width) + "x" + std::to_string(render.height),
                                 "-dFIXEDMEDIA", "-dFitPage"});
        // A PostScript page that does not ask for a size is taken to be the
        // paper's and fitted likewise.  (Not for PDF, whose pages all have a
        // size: the request would add its own slight scale to theirs.)
        if (postscript)
            args.insert(args.end(), {"-c", "<</PageSize [" + std::to_string(render.paperWidth * 72.0 / render.xdpi) +
                                               " " + std::to_string(render.paperHeight * 72.0 / render.ydpi) +
                                               "]>> setpagedevice"});
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
        error = path + ": PDF and PostScript need Ghostscript ('gs'), which " +
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
    return std::make_unique<DocumentPages>(path, child, pipe);
}

}  // namespace kzprint
