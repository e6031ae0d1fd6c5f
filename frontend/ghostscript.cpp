#include "frontend/ghostscript.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace kzfront {
namespace {

using Clock = std::chrono::steady_clock;

// Checks the clock and the cancel check this often while waiting.
constexpr auto kSlice = std::chrono::milliseconds(100);
// How long it may take to exit after its output ended.
constexpr auto kLinger = std::chrono::seconds(10);
// Longest message line kept.
constexpr size_t kLineLength = 300;

bool contains(const std::string& text, const char* what) { return text.find(what) != std::string::npos; }

std::string trimmed(const std::string& line) {
    const size_t start = line.find_first_not_of(" \t*");
    if (start == std::string::npos) return {};
    const size_t end = line.find_last_not_of(" \t\r");
    return line.substr(start, std::min(end + 1 - start, kLineLength));
}

void noteLine(GhostscriptComplaint& c, const std::string& line) {
    if (contains(line, "requires a password")) {
        c.password = true;
        c.line = trimmed(line);
    } else if (c.password) {
        return;
    } else if (contains(line, "no startxref token found") || contains(line, "couldn't repair")) {
        if (!c.damaged) c.line = trimmed(line);
        c.damaged = true;
    } else if (contains(line, "Page drawing error")) {
        if (!c.damaged && !c.pageError) c.line = trimmed(line);
        c.pageError = true;
    } else if (c.line.empty() && (line.rfind("Error: /", 0) == 0 || contains(line, "**** Error"))) {
        c.line = trimmed(line);
    }
}

}  // namespace

std::string Ghostscript::program() {
    const char* path = std::getenv("PATH");
    const std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string dir = dirs.substr(start, end - start);
        const std::string candidate = (dir.empty() ? "." : dir) + "/gs";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

GhostscriptComplaint Ghostscript::complaintIn(const std::string& messages) {
    GhostscriptComplaint c;
    size_t start = 0;
    while (start < messages.size()) {
        const size_t end = std::min(messages.find('\n', start), messages.size());
        noteLine(c, messages.substr(start, end - start));
        start = end + 1;
    }
    return c;
}

std::unique_ptr<Ghostscript> Ghostscript::start(const std::vector<std::string>& args, const GhostscriptLimits& limits,
                                                std::string& error, int input) {
    const std::string gs = program();
    if (gs.empty()) {
        error = "Ghostscript ('gs') is not installed";
        return nullptr;
    }
    // Everything the child needs is made before fork: after it, in a
    // program with threads, only async-signal-safe calls are allowed.
    std::vector<std::string> all = {"gs"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        error = std::string("cannot start Ghostscript: ") + std::strerror(errno);
        return nullptr;
    }
    if (::pipe2(err, O_CLOEXEC) != 0) {
        error = std::string("cannot start Ghostscript: ") + std::strerror(errno);
        ::close(out[0]), ::close(out[1]);
        return nullptr;
    }
    const int devnull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);  // the parent died before prctl
        // The input out of the way first: the pipes may lie at 3.
        const int kept = input >= 0 ? ::fcntl(input, F_DUPFD, 10) : -1;
        if (devnull >= 0) ::dup2(devnull, STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        if (kept >= 0) ::dup2(kept, 3);
        ::execve(gs.c_str(), argv.data(), environ);
        ::_exit(127);
    }
    const int forkErrno = errno;
    if (devnull >= 0) ::close(devnull);
    ::close(out[1]);
    ::close(err[1]);
    if (pid < 0) {
        ::close(out[0]), ::close(err[0]);
        error = std::string("cannot start Ghostscript: ") + std::strerror(forkErrno);
        return nullptr;
    }
    ::setpgid(pid, pid);  // as the child does, whichever runs first
    ::fcntl(err[0], F_SETFL, O_NONBLOCK);
    std::unique_ptr<Ghostscript> g(new Ghostscript(pid, out[0], err[0], limits));
    cookie_io_functions_t io{readOutput, nullptr, nullptr, nullptr};
    g->output_ = ::fopencookie(g.get(), "rb", io);
    if (!g->output_) {
        error = "cannot read from Ghostscript";
        return nullptr;
    }
    return g;
}

Ghostscript::Ghostscript(pid_t pid, int out, int err, const GhostscriptLimits& limits)
    : pid_(pid), out_(out), err_(err), limits_(limits) {}

Ghostscript::~Ghostscript() {
    finish(true);
    if (output_) std::fclose(output_);
}

ssize_t Ghostscript::readOutput(void* self, char* buffer, size_t size) {
    return static_cast<Ghostscript*>(self)->read(buffer, size);
}

ssize_t Ghostscript::read(char* buffer, size_t size) {
    if (!stopped_.empty() || out_ < 0) return 0;
    for (;;) {
        if (limits_.cancelled && limits_.cancelled()) {
            stopped_ = "cancelled";
            return 0;
        }
        using std::chrono::seconds;
        auto left = kSlice * 1.0;
        if (limits_.pageSeconds > 0) left = std::min<decltype(left)>(left, seconds(limits_.pageSeconds) - pageWaited_);
        if (limits_.documentSeconds > 0)
            left = std::min<decltype(left)>(left, seconds(limits_.documentSeconds) - documentWaited_);
        if (left.count() <= 0) {
            const bool page = limits_.pageSeconds > 0 && pageWaited_ >= seconds(limits_.pageSeconds);
            stopped_ = page ? "Ghostscript took longer than " + std::to_string(limits_.pageSeconds) + " s for a page"
                            : "Ghostscript took longer than " + std::to_string(limits_.documentSeconds) +
                                  " s for the document";
            return 0;
        }
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        const auto begun = Clock::now();
        const int ready = ::poll(fds, err_ >= 0 ? 2 : 1,
                                 int(std::max<int64_t>(1, std::chrono::duration_cast<std::chrono::milliseconds>(left).count())));
        const auto waited = Clock::now() - begun;
        pageWaited_ += waited;
        documentWaited_ += waited;
        if (ready < 0 && errno != EINTR) return -1;
        if (ready <= 0) continue;
        if (err_ >= 0 && fds[1].revents) takeMessages();
        if (fds[0].revents) {
            const ssize_t got = ::read(out_, buffer, size);
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (got <= 0) takeMessages();  // the last words, before the end
            return got;
        }
    }
}

// Reads what is waiting on standard error, line by line.
void Ghostscript::takeMessages() {
    char buffer[4096];
    for (;;) {
        const ssize_t got = err_ >= 0 ? ::read(err_, buffer, sizeof buffer) : 0;
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got == 0 && err_ >= 0) {
                ::close(err_);
                err_ = -1;
            }
            return;
        }
        for (ssize_t i = 0; i < got; ++i) {
            if (buffer[i] == '\n') {
                noteLine(complaint_, partialLine_);
                partialLine_.clear();
            } else if (partialLine_.size() < 4 * kLineLength) {
                partialLine_ += buffer[i];
            }
        }
    }
}

int Ghostscript::finish(bool kill) {
    if (pid_ <= 0) return status_;
    if (kill) ::kill(-pid_, SIGKILL);
    if (out_ >= 0) ::close(out_);
    out_ = -1;
    // It ends on its own once its output is read (or killed); its last
    // messages are read meanwhile.  One that lingers is killed.
    const auto deadline = Clock::now() + kLinger;
    for (;;) {
        siginfo_t info{};
        if (::waitid(P_PID, id_t(pid_), &info, WEXITED | WNOWAIT | WNOHANG) != 0 && errno != EINTR) break;
        if (info.si_pid == pid_) break;
        if (Clock::now() > deadline) ::kill(-pid_, SIGKILL);
        pollfd fd{err_, POLLIN, 0};
        if (err_ >= 0 && ::poll(&fd, 1, int(kSlice.count())) > 0) {
            takeMessages();
        } else if (err_ < 0) {
            ::usleep(10'000);
        }
    }
    takeMessages();
    if (err_ >= 0) ::close(err_);
    err_ = -1;
    if (!partialLine_.empty()) noteLine(complaint_, partialLine_);
    partialLine_.clear();
    ::kill(-pid_, SIGKILL);  // what it started, while its group is still its own
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = 0;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return status_;
}

}  // namespace kzfront
