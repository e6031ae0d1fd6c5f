// The printer's previews on its web interface:
//
//   /PRINTER/previews                        its jobs, newest first, each with
//                                            the thumbnail of its first page
//   /PRINTER/previews/thumbnail.png?job=ID   a job's thumbnail
//   /PRINTER/previews/page.png?job=ID        the larger view
//
// The printer's job lists show the thumbnails on each job's line through a
// script in the pages' footer (app/main.cpp): PAPPL 1.3 writes those lines
// in private code, with no hook for another column.  The pages ask for what
// PAPPL's job page asks for: an administrator where authentication is on.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "app/job_preview.h"

namespace kzapp {
namespace {

constexpr int kPerPage = 20;

struct Found {
    int id;
    const char* ext;
    int fd = -1;
};

// Opened while PAPPL holds the job (iterating locks the printer): the file
// stays readable even if the job goes meanwhile.
void openPicture(pappl_job_t* job, void* data) {
    auto* found = static_cast<Found*>(data);
    if (papplJobGetID(job) != found->id || found->fd >= 0) return;
    char path[1024];
    found->fd = papplJobOpenFile(job, path, sizeof path, nullptr, found->ext, "r");
}

int formInt(pappl_client_t* client, const char* name, int otherwise) {
    cups_option_t* form = nullptr;
    const int count = papplClientGetForm(client, &form);
    const char* value = cupsGetOption(name, count, form);
    char* end = nullptr;
    const long n = value ? std::strtol(value, &end, 10) : 0;
    const int result = value && *end == '\0' && n > 0 && n < 1000000000 ? int(n) : otherwise;
    cupsFreeOptions(count, form);
    return result;
}

bool servePicture(pappl_client_t* client, pappl_printer_t* printer, const char* ext) {
    if (papplClientGetMethod(client) != HTTP_STATE_GET)
        return papplClientRespond(client, HTTP_STATUS_BAD_REQUEST, nullptr, nullptr, 0, 0);
    if (!papplClientHTMLAuthorize(client)) return true;
    Found found{formInt(client, "job", 0), ext};
    if (found.id > 0) papplPrinterIterateAllJobs(printer, openPicture, &found, 1, 0);
    struct stat info {};
    if (found.fd < 0 || fstat(found.fd, &info) != 0) {
        if (found.fd >= 0) close(found.fd);
        return papplClientRespond(client, HTTP_STATUS_NOT_FOUND, nullptr, nullptr, 0, 0);
    }
    bool ok = papplClientRespond(client, HTTP_STATUS_OK, nullptr, "image/png", info.st_mtime, size_t(info.st_size));
    http_t* http = papplClientGetHTTP(client);
    char buffer[65536];
    ssize_t got = 0;
    while (ok && (got = read(found.fd, buffer, sizeof buffer)) > 0) ok = httpWrite2(http, buffer, size_t(got)) == got;
    close(found.fd);
    return ok && got == 0 && httpFlushWrite(http) >= 0;
}

bool thumbnailPicture(pappl_client_t* client, void* printer) {
    return servePicture(client, static_cast<pappl_printer_t*>(printer), kThumbnailExt);
}

bool viewPicture(pappl_client_t* client, void* printer) {
    return servePicture(client, static_cast<pappl_printer_t*>(printer), kViewExt);
}

struct Row {
    int id = 0;
    std::string name, owner, state;
    int pages = 0;
    bool preview = false;
    bool waiting = false;  // not printed yet, or printing
};

std::string clock(time_t t) {
    struct tm local {};
    char text[16] = "";
    if (t > 0 && localtime_r(&t, &local)) std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

void collect(pappl_job_t* job, void* data) {
    Row row;
    row.id = papplJobGetID(job);
    row.name = papplJobGetName(job) ? papplJobGetName(job) : "";
    row.owner = papplJobGetUsername(job) ? papplJobGetUsername(job) : "";
    row.pages = papplJobGetImpressionsCompleted(job);
    const ipp_jstate_t state = papplJobGetState(job);
    const char* keyword = ippEnumString("job-state", int(state));
    row.waiting = state < IPP_JSTATE_CANCELED;
    switch (state) {
    case IPP_JSTATE_PENDING:
    case IPP_JSTATE_HELD: row.state = std::string(keyword) + " since " + clock(papplJobGetTimeCreated(job)); break;
    case IPP_JSTATE_PROCESSING:
    case IPP_JSTATE_STOPPED: row.state = std::string("printing since ") + clock(papplJobGetTimeProcessed(job)); break;
    default: row.state = std::string(keyword) + " at " + clock(papplJobGetTimeCompleted(job)); break;
    }
    char path[1024];
    const int fd = papplJobOpenFile(job, path, sizeof path, nullptr, kThumbnailExt, "r");
    row.preview = fd >= 0;
    if (fd >= 0) close(fd);
    static_cast<std::vector<Row>*>(data)->push_back(std::move(row));
}

bool previewPage(pappl_client_t* client, void* data) {
    auto* printer = static_cast<pappl_printer_t*>(data);
    if (!papplClientHTMLAuthorize(client)) return true;
    const int first = formInt(client, "job-index", 1);
    std::vector<Row> rows;
    papplPrinterIterateAllJobs(printer, collect, &rows, first, kPerPage);
    const int total = papplPrinterGetNumberOfJobs(printer);
    char base[256];
    papplPrinterGetPath(printer, "previews", base, sizeof base);

    papplClientHTMLPrinterHeader(client, printer, "Previews",
                                 papplPrinterGetState(printer) == IPP_PSTATE_PROCESSING ? 10 : 0, nullptr, nullptr);
    // The header gives the page its title.
    papplClientHTMLPuts(client, "      <div class=\"row\">\n        <div class=\"col-12\">\n"
                                "          <p>The first page of each job as the printer was sent it, drawn from the "
                                "bytes that went to the printer. Select a picture for a larger view.</p>\n");
    if (rows.empty()) {
        papplClientHTMLPuts(client, "          <p>No jobs in history.</p>\n");
    } else {
        papplClientHTMLPrintf(client, "          <table class=\"list\" summary=\"Previews\">\n"
                                      "            <thead><tr><th>%s</th><th>%s</th><th>%s</th><th>%s</th><th>%s</th>"
                                      "<th>%s</th></tr></thead>\n            <tbody>\n",
                              "Page 1", "Job #", "Name", "Owner", "Pages", "Status");
        for (const Row& row : rows) {
            papplClientHTMLPuts(client, "              <tr><td>");
            if (row.preview)
                papplClientHTMLPrintf(client,
                                      "<a href=\"%s/page.png?job=%d\"><img class=\"kz-preview\" "
                                      "src=\"%s/thumbnail.png?job=%d\" alt=\"Page 1 of job %d\" "
                                      "style=\"max-width:120px;max-height:120px;border:1px solid #999\"></a>",
                                      base, row.id, base, row.id, row.id);
            else
                papplClientHTMLPuts(client, row.waiting ? "not yet" : "none");
            papplClientHTMLPrintf(client, "</td><td>%d</td><td>%s</td><td>%s</td><td>%d</td><td>%s</td></tr>\n",
                                  row.id, row.name.c_str(), row.owner.c_str(), row.pages, row.state.c_str());
        }
        papplClientHTMLPuts(client, "            </tbody>\n          </table>\n");
        if (first > 1)
            papplClientHTMLPrintf(client, "          <a class=\"btn\" href=\"%s?job-index=%d\">Newer</a>\n", base,
                                  std::max(1, first - kPerPage));
        if (first + kPerPage <= total)
            papplClientHTMLPrintf(client, "          <a class=\"btn\" href=\"%s?job-index=%d\">Older</a>\n", base,
                                  first + kPerPage);
    }
    papplClientHTMLPuts(client, "        </div>\n      </div>\n");
    papplClientHTMLPrinterFooter(client);
    return true;
}

}  // namespace

void addPreviewPages(pappl_printer_t* printer, void*) {
    char path[256];
    pappl_system_t* system = papplPrinterGetSystem(printer);
    // Under the printer's path: PAPPL removes them with the printer.
    papplPrinterGetPath(printer, "previews", path, sizeof path);
    papplSystemAddResourceCallback(system, path, "text/html", previewPage, printer);
    papplPrinterAddLink(printer, "Previews", path, PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_JOB);
    papplPrinterGetPath(printer, "previews/thumbnail.png", path, sizeof path);
    papplSystemAddResourceCallback(system, path, "image/png", thumbnailPicture, printer);
    papplPrinterGetPath(printer, "previews/page.png", path, sizeof path);
    papplSystemAddResourceCallback(system, path, "image/png", viewPicture, printer);
}

}  // namespace kzapp
