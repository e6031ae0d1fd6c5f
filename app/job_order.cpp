// One job at a time per printer, in the order they came.
//
// PAPPL 1.3 starts a job's thread before it marks the printer busy, so jobs
// submitted together can all start before the first marks it: they then
// print at once through the printer's one device, which the first to end
// closes under the others, and a job still waiting can be started twice.
// It also starts the newest job waiting first (its queue is sorted by
// falling job id), so under load the first jobs wait longest.  PAPPL 1.3
// has no public way to order its job threads: they and the streamed-raster
// path enter PAPPL through two private functions, which this program
// replaces (replaced_entry_points.cpp) to let one job per printer through
// at a time, each job thread printing the oldest job still waiting.
#include "app/job_order.h"

#include <map>
#include <memory>

namespace kzapp {

namespace {

std::recursive_mutex& turnOf(pappl_printer_t* printer) {
    static std::mutex guard;
    static std::map<pappl_printer_t*, std::unique_ptr<std::recursive_mutex>> turns;
    std::lock_guard<std::mutex> hold(guard);
    auto& turn = turns[printer];
    if (!turn) turn = std::make_unique<std::recursive_mutex>();
    return *turn;
}

}  // namespace

std::unique_lock<std::recursive_mutex> printerTurn(pappl_printer_t* printer) {
    return std::unique_lock<std::recursive_mutex>(turnOf(printer));
}

std::unique_lock<std::recursive_mutex> tryPrinterTurn(pappl_printer_t* printer) {
    return std::unique_lock<std::recursive_mutex>(turnOf(printer), std::try_to_lock);
}

pappl_job_t* oldestWaiting(pappl_printer_t* printer) {
    pappl_job_t* oldest = nullptr;
    papplPrinterIterateActiveJobs(
        printer,
        [](pappl_job_t* job, void* data) {
            auto*& first = *static_cast<pappl_job_t**>(data);
            if (papplJobGetState(job) == IPP_JSTATE_PENDING && (!first || papplJobGetID(job) < papplJobGetID(first)))
                first = job;
        },
        &oldest, 1, 0);
    return oldest;
}

}  // namespace kzapp
