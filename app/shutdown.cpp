// Stopping within seconds (see shutdown.h).  A timer of PAPPL's main loop
// does the work: it runs there while the system is whole, with PAPPL's read
// lock on the system, so it takes only read locks of its own.
#include "app/shutdown.h"

#include "app/state_file.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace kzapp {
namespace {

std::atomic<bool> signalled{false}, requested{false};
struct sigaction pappls[2];  // PAPPL's own SIGTERM and SIGINT handlers

void onSignal(int sig) {
    signalled = true;
    const struct sigaction& theirs = pappls[sig == SIGINT];
    if (theirs.sa_handler != SIG_DFL && theirs.sa_handler != SIG_IGN) theirs.sa_handler(sig);
}

struct Watch {
    std::string statePath;
    bool handlersSet = false, started = false;
    std::chrono::steady_clock::time_point since;
};

std::vector<pappl_printer_t*> printersOf(pappl_system_t* system) {
    std::vector<pappl_printer_t*> printers;
    papplSystemIteratePrinters(
        system, [](pappl_printer_t* p, void* all) { static_cast<std::vector<pappl_printer_t*>*>(all)->push_back(p); },
        &printers);
    return printers;
}

// Jobs are gathered first and acted on after: PAPPL holds the printer's
// lock while it iterates.
std::vector<pappl_job_t*> activeJobs(pappl_printer_t* printer) {
    std::vector<pappl_job_t*> jobs;
    papplPrinterIterateActiveJobs(
        printer, [](pappl_job_t* j, void* all) { static_cast<std::vector<pappl_job_t*>*>(all)->push_back(j); },
        &jobs, 1, 0);
    return jobs;
}

bool tick(pappl_system_t* system, void* data) {
    auto* watch = static_cast<Watch*>(data);
    if (!watch->handlersSet) {
        startRestoredJobs(system);
        // PAPPL sets its handlers when it starts running, before any timer.
        struct sigaction ours = {};
        ours.sa_handler = onSignal;
        sigemptyset(&ours.sa_mask);
        sigaction(SIGTERM, &ours, &pappls[0]);
        sigaction(SIGINT, &ours, &pappls[1]);
        watch->handlersSet = true;
    }
    if (!signalled && !papplSystemIsShutdown(system)) {
        saveIfDeferred(system, watch->statePath);
        return true;
    }

    const auto printers = printersOf(system);
    if (!watch->started) {
        watch->started = true;
        watch->since = std::chrono::steady_clock::now();
        requested = true;
        papplLog(system, PAPPL_LOGLEVEL_INFO, "Stopping: queued jobs stay for the next start, jobs printing are cancelled.");
        for (pappl_printer_t* printer : printers) {
            papplPrinterPause(printer);
            for (pappl_job_t* job : activeJobs(printer)) {
                if (papplJobGetState(job) != IPP_JSTATE_PROCESSING) continue;
                papplJobSetMessage(job, "Cancelled: the printer application stopped.");
                papplJobCancel(job);
            }
        }
        // Should anything hold the process beyond the limit, it ends anyway.
        std::thread([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(kStopSeconds * 1000 + 2500));
            _exit(0);
        }).detach();
    }
    // PAPPL ends its loop by itself once no job is active; queued jobs keep
    // it waiting, so once nothing prints the state is saved and the program
    // ends here.
    bool printing = false;
    for (pappl_printer_t* printer : printers)
        for (pappl_job_t* job : activeJobs(printer)) printing = printing || papplJobGetState(job) == IPP_JSTATE_PROCESSING;
    if (printing && std::chrono::steady_clock::now() - watch->since < std::chrono::seconds(kStopSeconds)) return true;
    papplLog(system, PAPPL_LOGLEVEL_INFO, "Stopped%s; saving the state with the queued jobs.",
             printing ? " with a job still printing" : "");
    saveStateNow(system, watch->statePath);
    _exit(0);
}

}  // namespace

void watchForShutdown(pappl_system_t* system, const std::string& statePath) {
    static Watch watch;
    watch.statePath = statePath;
    papplSystemAddTimerCallback(system, time(nullptr), 1, tick, &watch);
}

bool stopping() { return signalled || requested; }

}  // namespace kzapp
