// Documents through Ghostscript: time limits, cancelling and the end of the
// front end stop it and leave no process behind; failures are named in one
// line.
#include "frontend/ghostscript.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "samples.h"

namespace {

using namespace samples;
using Clock = std::chrono::steady_clock;

// Whether a process runs with `text` on its command line.
bool running(const std::string& text) {
    bool found = false;
    DIR* proc = ::opendir("/proc");
    while (dirent* e = proc ? ::readdir(proc) : nullptr) {
        std::ifstream cmdline(std::string("/proc/") + e->d_name + "/cmdline");
        std::string args((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
        found = found || (args.find(text) != std::string::npos && args.rfind("gs", 0) == 0);
    }
    if (proc) ::closedir(proc);
    return found;
}

bool gone(const std::string& text) {
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (running(text) && Clock::now() < until) ::usleep(20'000);
    return !running(text);
}

class GhostscriptRuns : public ::testing::Test {
protected:
    void SetUp() override {
        if (kzfront::Ghostscript::program().empty()) GTEST_SKIP() << "Ghostscript is not installed";
        options.xdpi = options.ydpi = 36;
    }
    // A PDF Ghostscript makes from PostScript `program`, with `extra` options.
    std::string pdf(const std::string& name, const std::string& program, const std::string& extra = "") {
        const std::string path = files.path(name);
        const std::string make = "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sPAPERSIZE=a4 " + extra +
                                 " -sOutputFile=" + path + " -c '" + program + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(make.c_str()), 0) << make;
        return path;
    }
    Files files;
    kzfront::OpenOptions options;
};

TEST_F(GhostscriptRuns, TimeLimitsAndCancellingStopGhostscriptAndItsGroup) {
    const std::string loop = files.put("loop.ps", "%!PS\n{} loop\n");
    struct Case {
        int pageSeconds, documentSeconds;
        bool cancel;
        std::string says;
    } cases[] = {
        {1, 0, false, "longer than 1 s for a page"},
        {0, 1, false, "longer than 1 s for the document"},
        {0, 0, true, "cancelled"},
    };
    for (const auto& c : cases) {
        options.pageSeconds = c.pageSeconds, options.documentSeconds = c.documentSeconds;
        const auto start = Clock::now();
        if (c.cancel) options.cancelled = [&] { return Clock::now() > start + std::chrono::milliseconds(300); };
        const Pages p = readFile(loop, options);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)) << c.says;
        EXPECT_FALSE(p.ok);
        EXPECT_NE(p.error.find(loop + ", page 1: "), std::string::npos) << p.error;
        EXPECT_NE(p.error.find(c.says), std::string::npos) << p.error;
        EXPECT_TRUE(gone(loop)) << c.says;
    }

    // A front end killed while Ghostscript renders takes it along.
    const pid_t frontEnd = ::fork();
    if (frontEnd == 0) {
        std::string error;
        kzfront::OpenOptions o;
        o.pageSeconds = o.documentSeconds = 0;
        auto source = kzfront::openPages(loop, o, error);
        kzfront::PageHeader h;
        source->nextPage(h, error);  // waits for ever
        ::_exit(0);
    }
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (!running(loop) && Clock::now() < until) ::usleep(20'000);
    ASSERT_TRUE(running(loop));
    ::kill(frontEnd, SIGKILL);
    ::waitpid(frontEnd, nullptr, 0);
    EXPECT_TRUE(gone(loop));
}

TEST_F(GhostscriptRuns, FailuresAreNamedInOneLine) {
    const std::string page = "0 0 1 setrgbcolor 100 100 200 200 rectfill showpage";
    const std::string whole = pdf("whole.pdf", page + " " + page);
    std::ifstream in(whole, std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    struct Case {
        std::string path, says;
    } cases[] = {
        {pdf("locked.pdf", page, "-sOwnerPassword=owner -sUserPassword=secret"),
         "protected by a password (Ghostscript: This file requires a password for access.)"},
        {files.put("cut.pdf", bytes.substr(0, bytes.size() / 2)), "the PDF is truncated"},
        {files.put("bad.ps", "%!PS\n/a nonsense\n"), "could not render the document (exit status 1) (Ghostscript: Error: /undefined in nonsense)"},
        {files.put("blank.ps", "%!PS\n"), "found no pages"},
    };
    for (const auto& c : cases) {
        const Pages p = readFile(c.path, options);
        EXPECT_FALSE(p.ok) << c.path;
        EXPECT_NE(p.error.find(c.path + ": " ), std::string::npos) << p.error;
        EXPECT_NE(p.error.find(c.says), std::string::npos) << p.error;
        EXPECT_EQ(p.error.find('\n'), std::string::npos) << p.error;
    }
    // Messages as Ghostscript writes them, most telling first.
    const auto damaged = kzfront::Ghostscript::complaintIn(
        "Page 1\nThe following errors were encountered at least once while processing this file:\n"
        "\tno startxref token found\n\tPDF file was repaired\n");
    EXPECT_TRUE(damaged.damaged);
    EXPECT_EQ(damaged.line, "no startxref token found");
    EXPECT_TRUE(kzfront::Ghostscript::complaintIn("   **** Error: Page drawing error occurred.\n").pageError);
    EXPECT_EQ(kzfront::Ghostscript::complaintIn("GPL Ghostscript 10.0.0\nPage 1\n").line, "");

    // A document that prints, from a pipe: pages fitted to the area, in grey when asked.
    options.areaWidth = 200, options.areaHeight = 300, options.grey = true;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::thread writer([&] {
        EXPECT_EQ(::write(fds[1], bytes.data(), bytes.size()), ssize_t(bytes.size()));
        ::close(fds[1]);
    });
    std::string error;
    auto piped = kzfront::openPages(fds[0], "standard input", options, error);
    writer.join();
    ::close(fds[0]);
    const Pages p = readAll(piped.get(), error);
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.headers.size(), 2u);
    EXPECT_EQ(p.headers[1].kind, kzfront::PageKind::Area);
    EXPECT_EQ(p.headers[1].format, kzfront::PixelFormat::Gray8);
    EXPECT_EQ(p.headers[1].width, 200);
    EXPECT_EQ(p.headers[1].height, 300);
}

}  // namespace
