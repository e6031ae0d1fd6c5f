// Entry points of PAPPL 1.3.1 and Avahi that this program puts in place of
// the libraries' own, each calling the library's after its own step.  PAPPL
// calls them through its procedure linkage table, so the program's
// definitions are the ones it reaches.  PAPPL 1.3 offers no public hook for
// these steps: its IPP operation callback (papplSystemSetOperationCallback)
// is asked only for operations PAPPL does not implement itself, and it has
// no way to order job threads, name output files or give up on a device.
// The private names and shapes were read from PAPPL 1.3.1's source; the
// build checks that the library has them (app/CMakeLists.txt) and refuses
// any other PAPPL version.
//
//   _papplPrinterProcessIPP, _papplJobProcessIPP, _papplSystemProcessIPP:
//       requests PAPPL would trip on are refused first (ipp_checks.h), then
//       settings that do not print together (job_checks.h), and the
//       printer's answers amended (job_checks.h).
//   _papplJobCopyDocumentData: a streamed job that finds its printer busy
//       is refused without PAPPL's deadlock (job_order.h, state_file.h).
//   _papplJobProcess, _papplJobProcessRaster: one job per printer at a time,
//       oldest first (job_order.h), and the job known to its thread
//       (device_guard.h).
//   papplDeviceOpen: a job's device through the guard (device_guard.h).
//   papplPrinterSetDriverDefaults (public, but called inside PAPPL by
//       Set-Printer-Attributes, the printing defaults page and the state
//       file): the kept best-quality defaults read again (app.h).
//   avahi_service_browser_new, avahi_service_resolver_new,
//   avahi_record_browser_new: PAPPL passes them its Avahi client without
//       checking it, which Avahi asserts on when no avahi-daemon could be
//       reached; without a running daemon these browse nothing.
#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/thread-watch.h>
#include <dlfcn.h>

#include <cstring>

#include "app/app.h"
#include "app/device_guard.h"
#include "app/ipp_checks.h"
#include "app/job_checks.h"
#include "app/job_order.h"
#include "app/state_file.h"
#include "app/streamed_upload.h"

namespace {

// The library's own definition of `name`, which this program's hides.
template <typename Entry>
Entry libraries(const char* name) {
    static_assert(sizeof(Entry) == sizeof(void*));
    return reinterpret_cast<Entry>(dlsym(RTLD_NEXT, name));
}

using IPPEntry = void (*)(pappl_client_t*);

void checkedIPP(IPPEntry pappl, pappl_client_t* client) {
    if (!kzapp::refuseUnchecked(client)) pappl(client);
}

// Raster that would stream while the printer is busy is refused as it would
// be once its job exists (_papplJobCopyDocumentData below), but before PAPPL
// makes the job: clients retry a busy printer, and each refusal there leaves
// a cancelled job in the history and a state save behind.
bool refuseStreamWhileBusy(pappl_client_t* client) {
    if (papplClientGetOperation(client) != IPP_OP_PRINT_JOB) return false;
    pappl_printer_t* printer = papplClientGetPrinter(client);
    const char* format =
        ippGetString(ippFindAttribute(papplClientGetRequest(client), "document-format", IPP_TAG_MIMETYPE), 0, nullptr);
    if (!printer || !format || (std::strcmp(format, "image/pwg-raster") && std::strcmp(format, "image/urf"))) return false;
    if (kzapp::tryPrinterTurn(printer).owns_lock() && !papplPrinterIsHoldingNewJobs(printer)) return false;
    papplClientRespondIPP(client, IPP_STATUS_ERROR_BUSY, "Currently printing another job.");
    return true;
}

// Printer and system requests: also what prints, and the answer amended.
void checkedPrinterIPP(IPPEntry pappl, pappl_client_t* client) {
    if (kzapp::refuseUnchecked(client) || kzapp::refuseUnprintable(client) || refuseStreamWhileBusy(client)) return;
    pappl(client);
    kzapp::amendResponse(client);
}

// A printer's turn, and the job this thread serves in it.
struct JobTurn {
    std::unique_lock<std::recursive_mutex> turn;
    explicit JobTurn(pappl_printer_t* printer) : turn(kzapp::printerTurn(printer)) {}
    void serve(pappl_job_t* job) { kzapp::setCurrentJob(job); }
    ~JobTurn() { kzapp::setCurrentJob(nullptr); }
};

// The Avahi poll this thread has locked: PAPPL 1.3 does not unlock it when
// it cannot browse.
thread_local AvahiThreadedPoll* lockedPoll = nullptr;

bool usable(AvahiClient* client) {
    if (!client) return false;
    const AvahiClientState state = avahi_client_get_state(client);
    return state == AVAHI_CLIENT_S_RUNNING || state == AVAHI_CLIENT_S_REGISTERING || state == AVAHI_CLIENT_S_COLLISION;
}

}  // namespace

// Exported, so that the libraries' calls bind to them.
#define KZ_REPLACES __attribute__((visibility("default")))

extern "C" {

KZ_REPLACES void _papplPrinterProcessIPP(pappl_client_t* client) {
    static const auto pappl = libraries<IPPEntry>("_papplPrinterProcessIPP");
    checkedPrinterIPP(pappl, client);
}

KZ_REPLACES void _papplJobProcessIPP(pappl_client_t* client) {
    static const auto pappl = libraries<IPPEntry>("_papplJobProcessIPP");
    checkedIPP(pappl, client);
}

KZ_REPLACES void _papplSystemProcessIPP(pappl_client_t* client) {
    static const auto pappl = libraries<IPPEntry>("_papplSystemProcessIPP");
    checkedPrinterIPP(pappl, client);
}

KZ_REPLACES void* _papplJobProcess(pappl_job_t* started) {
    static const auto pappl = libraries<void* (*)(pappl_job_t*)>("_papplJobProcess");
    // Once the turn comes `started` may be gone: cancelled while it waited,
    // and cleaned from the history.
    pappl_printer_t* printer = papplJobGetPrinter(started);
    JobTurn turn(printer);
    pappl_job_t* job = kzapp::oldestWaiting(printer);
    if (!job) return nullptr;  // printed by an earlier thread, or cancelled
    turn.serve(job);
    return pappl(job);
}

// A job's document arrives.  PAPPL 1.3 refuses raster that would stream
// while another job prints by aborting the job with its locks taken in the
// order opposite to a state save's, which deadlocks the two; the printer is
// found busy here instead, in its turn, and the job cancelled.  Nor does a
// save start while a document arrives (state_file.h).
KZ_REPLACES void _papplJobCopyDocumentData(pappl_client_t* client, pappl_job_t* job) {
    static const auto pappl = libraries<void (*)(pappl_client_t*, pappl_job_t*)>("_papplJobCopyDocumentData");
    const auto arriving = kzapp::holdSaves();
    const char* format = papplJobGetFormat(job);
    if (!format || (std::strcmp(format, "image/pwg-raster") && std::strcmp(format, "image/urf"))) return pappl(client, job);
    pappl_printer_t* printer = papplJobGetPrinter(job);
    const auto turn = kzapp::tryPrinterTurn(printer);
    if (turn.owns_lock() && !papplPrinterIsHoldingNewJobs(printer)) return pappl(client, job);
    papplClientRespondIPP(client, IPP_STATUS_ERROR_BUSY, "Currently printing another job.");
    ippAddInteger(papplClientGetResponse(client), IPP_TAG_JOB, IPP_TAG_INTEGER, "job-id", papplJobGetID(job));
    papplJobCancel(job);
}

// The job streams from the client while it prints: it prints itself.
KZ_REPLACES void _papplJobProcessRaster(pappl_job_t* job, pappl_client_t* client) {
    static const auto pappl = libraries<void (*)(pappl_job_t*, pappl_client_t*)>("_papplJobProcessRaster");
    JobTurn turn(papplJobGetPrinter(job));
    if (papplJobGetState(job) != IPP_JSTATE_PENDING) return;
    turn.serve(job);
    kzapp::setStreamingClient(client);
    pappl(job, client);
    kzapp::setStreamingClient(nullptr);
}

KZ_REPLACES bool papplPrinterSetDriverDefaults(pappl_printer_t* printer, pappl_pr_driver_data_t* data, int num_vendor,
                                               cups_option_t* vendor) {
    static const auto pappl =
        libraries<bool (*)(pappl_printer_t*, pappl_pr_driver_data_t*, int, cups_option_t*)>("papplPrinterSetDriverDefaults");
    const bool set = pappl(printer, data, num_vendor, vendor);
    kzapp::forgetBestQualityDefaults();
    return set;
}

KZ_REPLACES pappl_device_t* papplDeviceOpen(const char* uri, const char* name, pappl_deverror_cb_t cb, void* data) {
    static const auto pappl = libraries<kzapp::DeviceOpen>("papplDeviceOpen");
    return kzapp::openDevice(pappl, uri, name, cb, data);
}

KZ_REPLACES void avahi_threaded_poll_lock(AvahiThreadedPoll* poll) {
    static const auto avahi = libraries<void (*)(AvahiThreadedPoll*)>("avahi_threaded_poll_lock");
    avahi(poll);
    lockedPoll = poll;
}

KZ_REPLACES void avahi_threaded_poll_unlock(AvahiThreadedPoll* poll) {
    static const auto avahi = libraries<void (*)(AvahiThreadedPoll*)>("avahi_threaded_poll_unlock");
    lockedPoll = nullptr;
    avahi(poll);
}

KZ_REPLACES AvahiServiceBrowser* avahi_service_browser_new(AvahiClient* client, AvahiIfIndex interface, AvahiProtocol protocol,
                                               const char* type, const char* domain, AvahiLookupFlags flags,
                                               AvahiServiceBrowserCallback callback, void* data) {
    using Entry = AvahiServiceBrowser* (*)(AvahiClient*, AvahiIfIndex, AvahiProtocol, const char*, const char*,
                                           AvahiLookupFlags, AvahiServiceBrowserCallback, void*);
    static const auto avahi = libraries<Entry>("avahi_service_browser_new");
    AvahiServiceBrowser* browser =
        usable(client) ? avahi(client, interface, protocol, type, domain, flags, callback, data) : nullptr;
    // PAPPL returns from listing without unlocking when this fails.
    if (!browser && lockedPoll) avahi_threaded_poll_unlock(lockedPoll);
    return browser;
}

KZ_REPLACES AvahiServiceResolver* avahi_service_resolver_new(AvahiClient* client, AvahiIfIndex interface, AvahiProtocol protocol,
                                                 const char* name, const char* type, const char* domain,
                                                 AvahiProtocol aprotocol, AvahiLookupFlags flags,
                                                 AvahiServiceResolverCallback callback, void* data) {
    using Entry = AvahiServiceResolver* (*)(AvahiClient*, AvahiIfIndex, AvahiProtocol, const char*, const char*,
                                            const char*, AvahiProtocol, AvahiLookupFlags,
                                            AvahiServiceResolverCallback, void*);
    static const auto avahi = libraries<Entry>("avahi_service_resolver_new");
    return usable(client) ? avahi(client, interface, protocol, name, type, domain, aprotocol, flags, callback, data)
                          : nullptr;
}

KZ_REPLACES AvahiRecordBrowser* avahi_record_browser_new(AvahiClient* client, AvahiIfIndex interface, AvahiProtocol protocol,
                                             const char* name, uint16_t clazz, uint16_t type, AvahiLookupFlags flags,
                                             AvahiRecordBrowserCallback callback, void* data) {
    using Entry = AvahiRecordBrowser* (*)(AvahiClient*, AvahiIfIndex, AvahiProtocol, const char*, uint16_t, uint16_t,
                                          AvahiLookupFlags, AvahiRecordBrowserCallback, void*);
    static const auto avahi = libraries<Entry>("avahi_record_browser_new");
    return usable(client) ? avahi(client, interface, protocol, name, clazz, type, flags, callback, data) : nullptr;
}

}  // extern "C"
