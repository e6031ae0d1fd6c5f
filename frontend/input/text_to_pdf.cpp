// Plain text, set as pages by cups-filters' texttopdf (the filter CUPS itself
// prints text with) and then printed as any PDF.  texttopdf takes its paper
// from a PPD only, so it gets a one-size PPD written for the job.
#include "frontend/input/readers.h"
#include "frontend/unnamed_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>


extern char** environ;

namespace kzfront::input {
namespace {

// Half an inch of white around the text, whatever the printer's margins.
constexpr double kMarginPoints = 36;
// texttopdf sets a large file in well under a second a hundred pages.
constexpr int kSeconds = 60;

bool validUtf8(const unsigned char* p, size_t n) {
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        size_t follow = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 9;
        if (follow == 9 || (follow == 1 && c < 0xC2)) return false;
        if (c < 0x20 && !std::strchr("\t\n\r\f", c)) return false;  // NUL or other control: not text
        if (c == 0x7F) return false;
        for (size_t k = 1; k <= follow && i + k < n; ++k)  // a character cut by the sample's end counts
            if ((p[i + k] & 0xC0) != 0x80) return false;
        i += follow + 1;
    }
    return true;
}

std::string filterProgram() {
    const char* bin = std::getenv("CUPS_SERVERBIN");
    return std::string(bin && *bin ? bin : "/usr/lib/cups") + "/filter/texttopdf";
}

// A file named for the child to open, removed with this.
class NamedTemporary {
public:
    NamedTemporary() {
        const char* dir = std::getenv("TMPDIR");
        path_ = std::string(dir && *dir ? dir : "/tmp") + "/kzrqo317-text-XXXXXX.ppd";
        fd_ = ::mkostemps(path_.data(), 4, O_CLOEXEC);
    }
    ~NamedTemporary() {
        if (fd_ >= 0) ::close(fd_), ::unlink(path_.c_str());
    }
    NamedTemporary(const NamedTemporary&) = delete;
    NamedTemporary& operator=(const NamedTemporary&) = delete;
    bool write(const std::string& text, std::string& error) {
        if (fd_ >= 0 && ::write(fd_, text.data(), text.size()) == ssize_t(text.size())) return true;
        error = "cannot write a temporary file in " + path_.substr(0, path_.rfind('/')) + " (" + std::strerror(errno) + ")";
        return false;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

// A PPD with the one paper `width` x `height` points.
std::string ppdFor(double width, double height) {
    char size[200];
    std::snprintf(size, sizeof size, "*ImageableArea Job: \"%.2f %.2f %.2f %.2f\"\n*PaperDimension Job: \"%.2f %.2f\"\n",
                  kMarginPoints, kMarginPoints, width - kMarginPoints, height - kMarginPoints, width, height);
    return std::string("*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*LanguageVersion: English\n"
                       "*LanguageEncoding: ISOLatin1\n*PCFileName: \"TEXT.PPD\"\n*Manufacturer: \"Text\"\n"
                       "*Product: \"(Text)\"\n*ModelName: \"Text\"\n*NickName: \"Text\"\n"
                       "*OpenUI *PageSize: PickOne\n*DefaultPageSize: Job\n*PageSize Job: \"\"\n*CloseUI: *PageSize\n"
                       "*DefaultImageableArea: Job\n*DefaultPaperDimension: Job\n") +
           size;
}

}  // namespace

bool looksLikeText(const unsigned char* start, size_t size) { return size > 0 && validUtf8(start, size); }

bool looksLikeText(int fd) {
    unsigned char sample[4096];
    const ssize_t n = ::pread(fd, sample, sizeof sample, 0);
    return n > 0 && validUtf8(sample, size_t(n));
}

int textToPdf(int text, double widthPoints, double heightPoints, const std::function<bool()>& cancelled,
              std::string& error) {
    const std::string program = filterProgram();
    if (::access(program.c_str(), X_OK) != 0) {
        error = "plain text needs cups-filters' texttopdf, which is not installed (" + program + ")";
        return -1;
    }
    NamedTemporary ppd;
    if (!ppd.write(ppdFor(widthPoints, heightPoints), error)) return -1;
    const int pdf = unnamedFile(error);
    if (pdf < 0) return -1;

    // Made before fork: only async-signal-safe calls after it.
    std::vector<std::string> env = {"PPD=" + ppd.path(), "CHARSET=utf-8", "CONTENT_TYPE=text/plain"};
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "PPD=", 4) && std::strncmp(*e, "CHARSET=", 8) && std::strncmp(*e, "CONTENT_TYPE=", 13))
            env.push_back(*e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string args[] = {"texttopdf", "1", "kzrqo317", "text", "1", ""};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data(), args[5].data(), nullptr};
    const int devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t parent = ::getpid();
    ::lseek(text, 0, SEEK_SET);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        ::dup2(text, STDIN_FILENO);
        ::dup2(pdf, STDOUT_FILENO);
        if (devnull >= 0) ::dup2(devnull, STDERR_FILENO);  // it reports every option it sees
        ::execve(program.c_str(), argv, envp.data());
        ::_exit(127);
    }
    if (devnull >= 0) ::close(devnull);
    if (pid < 0) {
        error = std::string("cannot start texttopdf: ") + std::strerror(errno);
        ::close(pdf);
        return -1;
    }
    ::setpgid(pid, pid);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kSeconds);
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) break;
        const bool late = std::chrono::steady_clock::now() > deadline;
        if (late || (cancelled && cancelled())) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            error = late ? "texttopdf took longer than " + std::to_string(kSeconds) + " s" : "cancelled";
            ::close(pdf);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || ::lseek(pdf, 0, SEEK_END) <= 0) {
        error = "texttopdf could not set the text as pages";
        ::close(pdf);
        return -1;
    }
    ::lseek(pdf, 0, SEEK_SET);
    return pdf;
}

}  // namespace kzfront::input
