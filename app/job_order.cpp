// One job at a time per printer.
//
// PAPPL 1.3 starts a job's thread before it marks the printer busy, so jobs
// submitted together can all start before the first marks it: they then
// print at once through the printer's one device, which the first to end
// closes under the others, and a job still waiting can be started twice.
// The job threads and the streamed-raster path enter PAPPL through the two
// functions below; defined here they take PAPPL's place, let one job per
// printer through at a time and drop a second start of a job that has left
// the queue meanwhile.  A PAPPL without these entry points never calls them.
#include <dlfcn.h>

#include <map>
#include <memory>
#include <mutex>

#include "app/app.h"

namespace kzapp {
namespace {

std::mutex& printerLock(pappl_printer_t* printer) {
    static std::mutex guard;
    static std::map<pappl_printer_t*, std::unique_ptr<std::mutex>> locks;
    std::lock_guard<std::mutex> hold(guard);
    auto& lock = locks[printer];
    if (!lock) lock = std::make_unique<std::mutex>();
    return *lock;
}

template <typename Entry>
Entry pappls(const char* name) {
    static_assert(sizeof(Entry) == sizeof(void*));
    void* entry = dlsym(RTLD_NEXT, name);
    return reinterpret_cast<Entry>(entry);
}

// Only a job still waiting prints; another thread has printed, cancelled or
// aborted any other.
bool stillWaiting(pappl_job_t* job) {
    if (papplJobGetState(job) == IPP_JSTATE_PENDING) return true;
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Started again after it left the queue; not printed twice.");
    return false;
}

}  // namespace
}  // namespace kzapp

extern "C" {

__attribute__((visibility("default"))) void* _papplJobProcess(pappl_job_t* job) {
    using Entry = void* (*)(pappl_job_t*);
    static const Entry pappl = kzapp::pappls<Entry>("_papplJobProcess");
    std::lock_guard<std::mutex> one(kzapp::printerLock(papplJobGetPrinter(job)));
    return pappl && kzapp::stillWaiting(job) ? pappl(job) : nullptr;
}

__attribute__((visibility("default"))) void _papplJobProcessRaster(pappl_job_t* job, pappl_client_t* client) {
    using Entry = void (*)(pappl_job_t*, pappl_client_t*);
    static const Entry pappl = kzapp::pappls<Entry>("_papplJobProcessRaster");
    std::lock_guard<std::mutex> one(kzapp::printerLock(papplJobGetPrinter(job)));
    if (pappl && kzapp::stillWaiting(job)) pappl(job, client);
}

}  // extern "C"
