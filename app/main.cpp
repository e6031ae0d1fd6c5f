// kzrqo317-printer-app: an IPP Everywhere printer application for model 317.
//
//   kzrqo317-printer-app server -o server-port=8317     # start it
//   kzrqo317-printer-app add -d inkjet -m kzrqo317 -v usb://...   # add a printer
//
// The main loop gives the standard sub-commands (server, add, submit, jobs,
// printers, shutdown, ...); system.cpp reads the server's options.
#include <malloc.h>

#include <cstdlib>
#include <cstring>

#include "app/app.h"

namespace {

pappl_pr_driver_t kDrivers[] = {
    {kzapp::kDriverName, "Serial inkjet, model 317", nullptr, nullptr},
};

// Auto-add is off unless a device ID to match is given: -o auto-add=ID on the
// command line, or KZRQO317_AUTO_ADD in the environment (the option wins).
std::string autoAddMatch(int argc, char* argv[]) {
    constexpr const char* kKey = "auto-add=";
    std::string match;
    if (const char* env = std::getenv("KZRQO317_AUTO_ADD")) match = env;
    for (int i = 1; i < argc; ++i) {
        const char* value = nullptr;
        if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) value = argv[++i];
        else if (std::strncmp(argv[i], "-o", 2) == 0) value = argv[i] + 2;
        if (value && std::strncmp(value, kKey, std::strlen(kKey)) == 0) match = value + std::strlen(kKey);
    }
    return match;
}

// The footer of every web page.  Its script puts each job's thumbnail on the
// job's line of PAPPL's job tables (PAPPL 1.3 writes those lines in private
// code, with no hook for another column); a job without one shows nothing.
constexpr const char* kFooter =
    "kzrqo317 printer application " KZ_APP_VERSION
    "<script>(function () {"
    "  var printer = location.pathname.split('/')[1];"
    "  var table = document.querySelector('table.list[summary=\"Jobs\"]');"
    "  if (!printer || !table) return;"
    "  var base = '/' + encodeURIComponent(decodeURIComponent(printer)) + '/previews/';"
    "  table.querySelectorAll('thead tr').forEach(function (row) { row.insertCell(0).outerHTML = '<th>Preview</th>'; });"
    "  table.querySelectorAll('tbody tr').forEach(function (row) {"
    "    var id = row.cells.length ? row.cells[0].textContent.trim() : '', cell = row.insertCell(0);"
    "    if (!/^[0-9]+$/.test(id)) return;"
    "    var link = document.createElement('a'), img = new Image();"
    "    link.href = base + 'page.png?job=' + id;"
    "    img.className = 'kz-job-preview'; img.alt = 'Page 1 of job ' + id; img.height = 64; img.loading = 'lazy';"
    "    img.onerror = function () { link.remove(); };"
    "    img.src = base + 'thumbnail.png?job=' + id;"
    "    link.appendChild(img); cell.appendChild(link);"
    "  });"
    "})();</script>";

}  // namespace

int main(int argc, char* argv[]) {
    // PAPPL runs a thread per client and per job, and glibc gives threads
    // arenas of their own that keep what pages freed: under 50 clients the
    // server held 300-460 MB after the load, growing from round to round,
    // against 50 MB flat with two arenas, as fast.
    mallopt(M_ARENA_MAX, 2);
    static kzapp::Config config;
    config.autoAddMatch = autoAddMatch(argc, argv);
    config.drivers = kDrivers;
    config.numDrivers = static_cast<int>(sizeof kDrivers / sizeof kDrivers[0]);
    // The web interface needs a footer: PAPPL 1.3 crashes looking up a missing one.
    return papplMainloop(argc, argv, KZ_APP_VERSION, kFooter,
                         config.numDrivers, config.drivers,
                         kzapp::matchAutoAdd, kzapp::fillDriver, nullptr, nullptr,
                         kzapp::createSystem, kzapp::printUsage, &config);
}
