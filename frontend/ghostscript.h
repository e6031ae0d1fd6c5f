// Ghostscript under control: the one way every front end runs it.
//
// The child runs with -dSAFER in a process group of its own and dies with the
// thread that started it (PR_SET_PDEATHSIG), so neither a killed front end
// nor a finished job leaves it running; the destructor kills the group.  Its
// output is read through a stream whose reads wait at most for the time left
// to the page and to the document (time spent waiting for Ghostscript only:
// a slow printer does not count), and stop when the caller cancels.  What it
// says on standard error is kept as the one line that explains a failure.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kzfront {

struct GhostscriptLimits {
    int pageSeconds = 0, documentSeconds = 0;  // 0: no limit
    std::function<bool()> cancelled;
};

// What Ghostscript's messages say went wrong, most telling first.
struct GhostscriptComplaint {
    bool password = false;   // the PDF needs a password to open
    bool damaged = false;    // truncated or damaged beyond repair
    bool pageError = false;  // a page could not be drawn completely
    std::string line;        // the line that says so, or the first error line
};

class Ghostscript {
public:
    // Starts Ghostscript with `args` (after the program's name); its output
    // is read from output().  `input`, when given, is its descriptor 3
    // ("/dev/fd/3").  NULL with `error` when it cannot start.
    static std::unique_ptr<Ghostscript> start(const std::vector<std::string>& args, const GhostscriptLimits& limits,
                                              std::string& error, int input = -1);
    ~Ghostscript();
    Ghostscript(const Ghostscript&) = delete;
    Ghostscript& operator=(const Ghostscript&) = delete;

    // Its standard output.  A read past a limit, or after cancelling, ends
    // the stream; stopped() then says why.
    std::FILE* output() { return output_; }
    // A page began: its time starts now.
    void nextPage() { pageWaited_ = {}; }
    // Why reading stopped early ("took longer than 45 s ...", "cancelled"),
    // or empty.
    const std::string& stopped() const { return stopped_; }
    // Ends it (killing its process group when `kill`) and waits: the exit
    // status, 128 + signal when killed.
    int finish(bool kill);
    pid_t pid() const { return pid_; }
    const GhostscriptComplaint& complaint() const { return complaint_; }

    // The program Ghostscript is run as, searched on PATH ("gs").
    static std::string program();
    // Reads Ghostscript's messages, for tests.
    static GhostscriptComplaint complaintIn(const std::string& messages);

private:
    Ghostscript(pid_t pid, int out, int err, const GhostscriptLimits& limits);
    static ssize_t readOutput(void* self, char* buffer, size_t size);
    ssize_t read(char* buffer, size_t size);
    void takeMessages();

    pid_t pid_;
    int out_, err_;
    std::FILE* output_ = nullptr;
    GhostscriptLimits limits_;
    std::chrono::steady_clock::duration pageWaited_{}, documentWaited_{};
    std::string stopped_;
    std::string partialLine_;
    GhostscriptComplaint complaint_;
    int status_ = -1;
};

}  // namespace kzfront
