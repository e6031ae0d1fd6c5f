// The state file (see state_file.h).
#include "app/state_file.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

namespace kzapp {

namespace {

std::shared_mutex arriving;
std::atomic<bool> deferred{false};

// Written beside the state file and renamed over it: a process killed while
// it saves leaves the last state whole, where PAPPL would leave it cut short.
bool save(pappl_system_t* system, const std::string& path) {
    const std::string written = path + ".new";
    // A folder the state file may not be written beside: in place.
    if (!papplSystemSaveState(system, written.c_str())) return papplSystemSaveState(system, path.c_str());
    std::ifstream in(written);
    std::ostringstream fixed;
    bool changed = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Job ", 0) == 0 && line.find(" format=") == std::string::npos) {
            line.insert(4, "format=\"application/octet-stream\" ");
            changed = true;
        }
        fixed << line << '\n';
    }
    in.close();
    if (changed) {
        std::ofstream out(written, std::ios::trunc);
        out << fixed.str();
        if (!out.flush()) return false;
    }
    return std::rename(written.c_str(), path.c_str()) == 0;
}

}  // namespace

bool saveState(pappl_system_t* system, const std::string& path) {
    std::unique_lock<std::shared_mutex> alone(arriving, std::try_to_lock);
    deferred = !alone.owns_lock();
    return deferred || save(system, path);
}

void saveIfDeferred(pappl_system_t* system, const std::string& path) {
    if (deferred) saveState(system, path);
}

void saveStateNow(pappl_system_t* system, const std::string& path) {
    std::unique_lock<std::shared_mutex> alone(arriving, std::defer_lock);
    for (int i = 0; i < 20 && !alone.try_lock(); ++i) usleep(50000);
    save(system, path);
}

std::shared_lock<std::shared_mutex> holdSaves() { return std::shared_lock<std::shared_mutex>(arriving); }

void startRestoredJobs(pappl_system_t* system) {
    std::vector<pappl_printer_t*> printers;
    papplSystemIteratePrinters(
        system, [](pappl_printer_t* p, void* all) { static_cast<std::vector<pappl_printer_t*>*>(all)->push_back(p); },
        &printers);
    for (pappl_printer_t* printer : printers) {
        bool queued = false;
        papplPrinterIterateActiveJobs(
            printer, [](pappl_job_t* job, void* any) { *static_cast<bool*>(any) |= papplJobGetState(job) == IPP_JSTATE_PENDING; },
            &queued, 1, 0);
        // Resuming an idle printer looks for jobs to start.
        if (queued && papplPrinterGetState(printer) == IPP_PSTATE_IDLE) papplPrinterResume(printer);
    }
}

}  // namespace kzapp
