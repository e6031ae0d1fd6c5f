// PDF: Ghostscript renders each page at the job's resolution into the same
// raster callbacks that PWG raster and images use.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"

extern char** environ;

namespace kzapp {
namespace {

std::string findGhostscript() {
    const char* path = std::getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::string candidate = (dir.empty() ? "." : dir) + "/gs";
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return {};
}

// Reads exactly `size` bytes; false at the end of the output or on an error.
bool readFully(int fd, void* buffer, size_t size) {
    auto* p = static_cast<uint8_t*>(buffer);
    while (size > 0) {
        const ssize_t got = read(fd, p, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

// A PNM header: "P6" or "P5", width, height, maxval, one whitespace byte.
bool readPnmHeader(int fd, bool& colour, unsigned& width, unsigned& height) {
    char magic[2];
    if (!readFully(fd, magic, 2) || magic[0] != 'P' || (magic[1] != '6' && magic[1] != '5')) return false;
    colour = magic[1] == '6';
    unsigned values[3];
    for (unsigned& value : values) {
        char c = ' ';
        while (readFully(fd, &c, 1) && (c == ' ' || c == '\n' || c == '\r' || c == '\t')) {}
        if (c < '0' || c > '9') return false;
        value = 0;
        while (c >= '0' && c <= '9') {
            if (value > 1000000) return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (!readFully(fd, &c, 1)) return false;
        }
    }
    width = values[0];
    height = values[1];
    return values[2] == 255 && width > 0 && height > 0;
}

std::string lastLines(const char* path) {
    std::string text;
    if (FILE* f = std::fopen(path, "r")) {
        char buffer[4096];
        size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
        std::fclose(f);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    const size_t cut = text.rfind('\n', text.size() > 300 ? text.size() - 300 : 0);
    if (text.size() > 300) text = text.substr(cut == std::string::npos ? text.size() - 300 : cut + 1);
    for (char& c : text) if (c == '\n') c = ' ';
    return text;
}

}  // namespace

bool ghostscriptAvailable() { return !findGhostscript().empty(); }

bool printPdf(pappl_job_t* job, pappl_device_t* device, void*) {
    const std::string gs = findGhostscript();
    if (gs.empty()) {
        papplJobSetMessage(job, "PDF needs Ghostscript (the gs program), which is not installed.");
        return false;
    }
    pappl_pr_driver_data_t driver;
    papplPrinterGetDriverData(papplJobGetPrinter(job), &driver);
    pappl_pr_options_t* options = papplJobCreatePrintOptions(job, INT_MAX, true);
    cups_page_header2_t& header = options->header;
    const bool gray = header.cupsColorSpace == CUPS_CSPACE_SW || header.cupsColorSpace == CUPS_CSPACE_W ||
                      header.cupsColorSpace == CUPS_CSPACE_K;

    char errors[1024];
    std::snprintf(errors, sizeof errors, "%s/kzrqo317-gs-XXXXXX", papplGetTempDir());
    const int errorFd = mkstemp(errors);
    int out[2];
    if (errorFd < 0 || pipe(out) != 0) {
        papplJobSetMessage(job, "Cannot start Ghostscript: %s", std::strerror(errno));
        if (errorFd >= 0) { close(errorFd); unlink(errors); }
        papplJobDeletePrintOptions(options);
        return false;
    }
    const std::string resolution = "-r" + std::to_string(header.HWResolution[0]) + "x" +
                                   std::to_string(header.HWResolution[1]);
    const std::string size = "-g" + std::to_string(header.cupsWidth) + "x" + std::to_string(header.cupsHeight);
    const std::string first = "-dFirstPage=" + std::to_string(options->first_page ? options->first_page : 1);
    std::vector<std::string> args = {"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-dNOINTERPOLATE",
                                     gray ? "-sDEVICE=pgmraw" : "-sDEVICE=ppmraw", resolution, size,
                                     "-dFIXEDMEDIA", "-dPDFFitPage", first, "-sstdout=%stderr",
                                     "-sOutputFile=-", "-f", papplJobGetFilename(job)};
    if (options->last_page > 0 && options->last_page < INT_MAX)
        args.insert(args.end() - 3, "-dLastPage=" + std::to_string(options->last_page));
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, gs.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(errorFd);

    bool ok = spawned == 0 && (driver.rstartjob_cb)(job, options, device);
    unsigned page = 1;  // PAPPL numbers pages from 1
    bool colour = false;
    unsigned width = 0, height = 0;
    std::vector<uint8_t> line;
    while (ok && !papplJobIsCanceled(job) && readPnmHeader(out[0], colour, width, height)) {
        header.cupsWidth = width;
        header.cupsHeight = height;
        header.cupsBitsPerColor = 8;
        header.cupsBitsPerPixel = colour ? 24 : 8;
        header.cupsBytesPerLine = width * (colour ? 3 : 1);
        header.cupsColorSpace = colour ? CUPS_CSPACE_SRGB : CUPS_CSPACE_SW;
        header.cupsColorOrder = CUPS_ORDER_CHUNKED;
        line.resize(header.cupsBytesPerLine);
        if (!(driver.rstartpage_cb)(job, options, device, page)) { ok = false; break; }
        for (unsigned y = 0; y < height && ok; ++y) {
            if (!readFully(out[0], line.data(), line.size())) {
                papplJobSetMessage(job, "Ghostscript stopped in the middle of page %u.", page);
                ok = false;
            } else if (papplJobIsCanceled(job)) {
                break;
            } else {
                ok = (driver.rwriteline_cb)(job, options, device, y, line.data());
            }
        }
        // A cancelled or broken page still ends, so the paper leaves the printer.
        ok = (driver.rendpage_cb)(job, options, device, page) && ok;
        papplJobSetImpressionsCompleted(job, 1);
        ++page;
    }
    if (spawned == 0) {
        if (!ok || papplJobIsCanceled(job)) kill(pid, SIGTERM);
        close(out[0]);
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        if (ok && !papplJobIsCanceled(job) && (page == 1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)) {
            papplJobSetMessage(job, "Ghostscript could not render the PDF: %s", lastLines(errors).c_str());
            papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Ghostscript could not render the PDF: %s", lastLines(errors).c_str());
            ok = false;
        }
    } else {
        close(out[0]);
        papplJobSetMessage(job, "Cannot start Ghostscript: %s", std::strerror(spawned));
    }
    unlink(errors);
    if (spawned == 0) ok = (driver.rendjob_cb)(job, options, device) && ok;
    papplJobSetImpressions(job, static_cast<int>(page - 1));
    papplJobDeletePrintOptions(options);
    return ok;
}

}  // namespace kzapp
