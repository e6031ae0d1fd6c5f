// The server's system: listeners, spool, log, authentication and the state
// file, from `server -o NAME=VALUE` options and the environment.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app.h"
#include "app/device_guard.h"
#include "app/job_preview.h"
#include "app/shutdown.h"
#include "app/state_file.h"

namespace kzapp {
namespace {

// Ended jobs a printer keeps in its history (and their previews).
constexpr int kKeptJobs = 100;

const char* option(const char* name, int num_options, cups_option_t* options) {
    const char* value = cupsGetOption(name, num_options, options);
    return value && *value ? value : nullptr;
}

bool isLoopback(const std::string& host) {
    return host == "localhost" || host == "::1" || host == "[::1]" || host.rfind("127.", 0) == 0 ||
           host.rfind("/", 0) == 0;
}

// Where printers, their settings and jobs are kept between runs: the
// state-file option, else KZRQO317_STATE_FILE, else the place PAPPL's own
// main loop would use (/var/lib as root, the user's configuration otherwise).
std::string stateFile(int num_options, cups_option_t* options) {
    if (const char* path = option("state-file", num_options, options)) return path;
    if (const char* path = std::getenv("KZRQO317_STATE_FILE"); path && *path) return path;
    if (getuid() == 0) return std::string("/var/lib/") + kAppName + ".state";
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return std::string(xdg) + "/" + kAppName + ".state";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "/tmp") + "/.config/" + kAppName + ".state";
}

bool save(pappl_system_t* system, void* path) { return saveState(system, static_cast<const char*>(path)); }

// A number of seconds, from `min` to a day; `value` stays when not given.
bool seconds(const char* name, int min, int num_options, cups_option_t* options, int& value) {
    const char* text = option(name, num_options, options);
    if (!text) return true;
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (*end || n < min || n > 86400) {
        std::fprintf(stderr, "%s: %s must be %d to 86400 seconds, not '%s'\n", kAppName, name, min, text);
        return false;
    }
    value = static_cast<int>(n);
    return true;
}

// Each printer as PAPPL makes it (added, or read from the state file).
void setUpPrinter(pappl_printer_t* printer, void* data) {
    // PAPPL 1.3 keeps every ended job otherwise: under load (clients that
    // retry while a printer is busy leave a cancelled job each time) the
    // history grew to thousands of jobs and hundreds of megabytes.
    if (papplPrinterGetMaxCompletedJobs(printer) <= 0 || papplPrinterGetMaxCompletedJobs(printer) > kKeptJobs)
        papplPrinterSetMaxCompletedJobs(printer, kKeptJobs);
    addPreviewPages(printer, data);
}

pappl_loglevel_t logLevel(const char* name) {
    if (!name) return PAPPL_LOGLEVEL_INFO;
    if (!std::strcmp(name, "debug")) return PAPPL_LOGLEVEL_DEBUG;
    if (!std::strcmp(name, "warn")) return PAPPL_LOGLEVEL_WARN;
    if (!std::strcmp(name, "error")) return PAPPL_LOGLEVEL_ERROR;
    if (!std::strcmp(name, "fatal")) return PAPPL_LOGLEVEL_FATAL;
    return PAPPL_LOGLEVEL_INFO;
}

}  // namespace

// Every sub-command and option papplMainloop takes, and the server's own
// options (man page: kzrqo317-printer-app(1)).
void printUsage(void*) {
    std::printf(
        "Usage: %s SUB-COMMAND [OPTIONS] [FILE...]\n"
        "       %s [OPTIONS] FILE...        (submit)\n"
        "       %s --help | --version\n"
        "\n"
        "Sub-commands:\n"
        "  server          run the server (the others talk to a running one)\n"
        "  add             add a printer: -d NAME -m kzrqo317 -v DEVICE-URI\n"
        "  autoadd         add every USB printer that auto-add=ID matches\n"
        "  modify          change a printer: -d NAME [-v DEVICE-URI] [-o NAME=VALUE]\n"
        "  delete          delete a printer: -d NAME\n"
        "  default         show the default printer, or set it: [-d NAME]\n"
        "  printers        list the printers\n"
        "  devices         list the devices printers can be added on\n"
        "  drivers         list the drivers (-m names)\n"
        "  options         list a printer's options and their values: [-d NAME]\n"
        "  submit          print files (also without a sub-command): [-d NAME] [-n COPIES]\n"
        "                  [-t TITLE] [-o NAME=VALUE] FILE... ('-' for standard input)\n"
        "  jobs            list a printer's jobs: [-d NAME]\n"
        "  cancel          cancel a job (-j JOB-ID) or all of them (-a): [-d NAME]\n"
        "  pause, resume   stop and restart printing on a printer: -d NAME\n"
        "  status          show the server's state, or a printer's: [-d NAME]\n"
        "  shutdown        stop the running server\n"
        "\n"
        "Options:\n"
        "  -a              all jobs (cancel)\n"
        "  -d NAME         the printer (default: the default printer)\n"
        "  -h HOST         the host in the server's printer URIs (server-hostname=HOST)\n"
        "  -j JOB-ID       the job (cancel)\n"
        "  -m DRIVER       the driver, kzrqo317 (add, modify)\n"
        "  -n COPIES       number of copies (submit)\n"
        "  -o NAME=VALUE   a job, printer or server option (several in one, space separated)\n"
        "  -t TITLE        the job's name (submit)\n"
        "  -u URI          an ipp: or ipps: printer or server to talk to instead of the local one\n"
        "  -v DEVICE-URI   usb://..., socket://HOST[:PORT] or file:///DIR?ext=prn (add, modify)\n"
        "  --              the next argument is a file, even if it starts with '-'\n"
        "  --help          this text\n"
        "  --version       the version\n"
        "\n"
        "Server options (server -o NAME=VALUE):\n"
        "  server-port=N          TCP port (default 8317)\n"
        "  listen-hostname=HOST   address to listen on (default localhost; '*' for all)\n"
        "  server-hostname=HOST   host name in printer URIs\n"
        "  spool-directory=DIR    where jobs are spooled\n"
        "  log-file=FILE          log file ('-' for standard error)\n"
        "  log-level=LEVEL        fatal, error, warn, info or debug\n"
        "  state-file=FILE        printers and settings (or KZRQO317_STATE_FILE)\n"
        "  auth-service=SERVICE   PAM service that authenticates administrators\n"
        "  admin-group=GROUP      group whose members may administer the system\n"
        "  auto-add=ID            auto-add USB printers whose IEEE 1284 device ID has these\n"
        "                         keys, e.g. 'MFG:Maker;MDL:Model;' (or KZRQO317_AUTO_ADD)\n"
        "  device-wait=SECONDS    how long a job waits for a printer that does not answer\n"
        "                         before it is aborted (default 300)\n"
        "  page-time-limit=SECONDS, document-time-limit=SECONDS\n"
        "                         how long Ghostscript may take for a page of a PDF and for\n"
        "                         all of it before the job is aborted (default 45 and 1800)\n"
        "  system-socket=PATH     also listen on this domain socket (the system service's)\n"
        "  job-previews=off       keep no picture of each job's first page (default: on)\n"
        "Listening beyond localhost needs auth-service: anyone may print, only\n"
        "administrators may change the system.\n",
        kAppName, kAppName, kAppName);
}

pappl_system_t* createSystem(int num_options, cups_option_t* options, void* data) {
    auto* config = static_cast<Config*>(data);
    const char* portText = option("server-port", num_options, options);
    const int port = portText ? std::atoi(portText) : 8317;
    if (port < 1 || port > 65535) {
        std::fprintf(stderr, "%s: server-port must be 1..65535, not '%s'\n", kAppName, portText);
        return nullptr;
    }
    int deviceWait = 300;
    if (!seconds("device-wait", 0, num_options, options, deviceWait) ||
        !seconds("page-time-limit", 1, num_options, options, config->pageSeconds) ||
        !seconds("document-time-limit", 1, num_options, options, config->documentSeconds))
        return nullptr;
    const char* listenText = option("listen-hostname", num_options, options);
    const std::string listen = listenText ? listenText : "localhost";
    const char* authService = option("auth-service", num_options, options);
    if (!isLoopback(listen) && !authService) {
        std::fprintf(stderr,
                     "%s: listening on '%s' reaches beyond this machine; give -o auth-service=login "
                     "(a PAM service) and -o admin-group=GROUP so that only administrators change "
                     "printers and settings\n",
                     kAppName, listen.c_str());
        return nullptr;
    }

    pappl_soptions_t soptions = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE |
                                PAPPL_SOPTIONS_WEB_LOG | PAPPL_SOPTIONS_WEB_SECURITY;
    if (authService) soptions |= PAPPL_SOPTIONS_WEB_REMOTE;
    pappl_system_t* system = papplSystemCreate(
        soptions, kAppName, port, "_print,_universal", option("spool-directory", num_options, options),
        option("log-file", num_options, options), logLevel(option("log-level", num_options, options)),
        authService, false);
    if (!system) return nullptr;
    if (!papplSystemAddListeners(system, listen == "*" ? nullptr : listen.c_str())) {
        std::fprintf(stderr, "%s: cannot listen on %s port %d\n", kAppName, listen.c_str(), port);
        papplSystemDelete(system);
        return nullptr;
    }
    // The system service listens here too: it is not root, so PAPPL's own
    // socket is per user, and sub-commands of other users would not find it.
    if (const char* path = option("system-socket", num_options, options);
        path && !papplSystemAddListeners(system, path)) {
        std::fprintf(stderr, "%s: cannot listen on %s\n", kAppName, path);
        papplSystemDelete(system);
        return nullptr;
    }
    if (const char* host = option("server-hostname", num_options, options)) papplSystemSetHostName(system, host);
    if (const char* group = option("admin-group", num_options, options)) papplSystemSetAdminGroup(system, group);
    // Pages of images: enough for a 600 dpi poster, not enough to exhaust memory.
    papplSystemSetMaxImageSize(system, 512u * 1024u * 1024u, 16384, 16384);

    papplSystemSetPrinterDrivers(system, config->numDrivers, config->drivers, matchAutoAdd, setUpPrinter,
                                 fillDriver, data);
    // The web pages' words for the printer's own attribute.
    papplSystemAddStringsData(system, "/kzrqo317-en.strings", "en", "\"kzrqo317-best-quality\" = \"Best Quality (slowest)\";\n");
    // Registered for the driver's own format, these come before PAPPL's
    // built-in PNG and JPEG readers.
    papplSystemAddMIMEFilter(system, "image/png", kNativeFormat, printDocument, config);
    papplSystemAddMIMEFilter(system, "image/jpeg", kNativeFormat, printDocument, config);
    if (ghostscriptAvailable()) papplSystemAddMIMEFilter(system, "application/pdf", "image/pwg-raster", printDocument, config);

    const char* previews = option("job-previews", num_options, options);
    startJobPreviews(system, !previews || std::strcmp(previews, "off") != 0,
                     option("spool-directory", num_options, options));

    // The path lives as long as the system.
    static std::string statePath;
    statePath = stateFile(num_options, options);
    if (!papplSystemLoadState(system, statePath.c_str())) papplSystemSetDNSSDName(system, "kzrqo317 Printer App");
    papplSystemSetSaveCallback(system, save, const_cast<char*>(statePath.c_str()));
    setUpDeviceGuard(deviceWait);
    watchForShutdown(system, statePath);
    papplLog(system, PAPPL_LOGLEVEL_INFO, "State file: %s", statePath.c_str());
    return system;
}

}  // namespace kzapp
