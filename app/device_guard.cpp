// A job's device: a stand-in until the job prints (see device_guard.h).
#include "app/device_guard.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>

#include "app/shutdown.h"

namespace kzapp {
namespace {

constexpr const char* kScheme = "x-kzrqo317-job";
constexpr const char* kStandInURI = "x-kzrqo317-job://localhost/";
constexpr size_t kNameBytes = 64;  // of the job's name in a file name
constexpr int kRetrySeconds = 5;

int waitLimit = 300;
std::atomic<DeviceOpen> pappls{nullptr};  // PAPPL's own papplDeviceOpen
thread_local pappl_job_t* current = nullptr;

// What stands in for the printer's device.
struct StandIn {
    std::string uri, name;  // the printer's device and the name to open it under
    pappl_deverror_cb_t report = nullptr;
    void* reportData = nullptr;
    pappl_device_t* real = nullptr;
    std::string error;  // why it last did not open
    int failedJob = 0;  // the job that gave up on it
};
thread_local StandIn* pending = nullptr;  // handed from openDevice to standInOpen

std::mutex registryLock;
std::unordered_set<pappl_device_t*>& standIns() {
    static std::unordered_set<pappl_device_t*> devices;
    return devices;
}

StandIn* standInOf(pappl_device_t* device) {
    std::lock_guard<std::mutex> hold(registryLock);
    return standIns().count(device) ? static_cast<StandIn*>(papplDeviceGetData(device)) : nullptr;
}

// "12-Holiday_photo": the job's id and its name in letters, digits, '-',
// '_' and '.', at most kNameBytes of it.
std::string fileName(int id, const char* name) {
    std::string clean;
    for (const char* p = name ? name : ""; *p && clean.size() < kNameBytes; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        clean += std::isalnum(c) || c == '-' || c == '_' || c == '.' ? static_cast<char>(c) : '_';
    }
    return std::to_string(id) + "-" + (clean.empty() ? "job" : clean);
}

void keepError(const char* message, void* data) {
    auto* standIn = static_cast<StandIn*>(data);
    standIn->error = message ? message : "";
    if (standIn->report) standIn->report(message, standIn->reportData);
}

bool openReal(StandIn& s) {
    s.error.clear();
    s.real = pappls.load()(s.uri.c_str(), s.name.c_str(), keepError, &s);
    if (!s.real && s.error.empty()) s.error = "it did not open";
    return s.real != nullptr;
}

bool standInOpen(pappl_device_t* device, const char*, const char*) {
    if (!pending) return false;  // only for openDevice
    papplDeviceSetData(device, pending);
    std::lock_guard<std::mutex> hold(registryLock);
    standIns().insert(device);
    return true;
}

void standInClose(pappl_device_t* device) {
    {
        std::lock_guard<std::mutex> hold(registryLock);
        standIns().erase(device);
    }
    auto* s = static_cast<StandIn*>(papplDeviceGetData(device));
    if (s && s->real) papplDeviceClose(s->real);
    delete s;
}

ssize_t standInRead(pappl_device_t* device, void* buffer, size_t bytes) {
    auto* s = static_cast<StandIn*>(papplDeviceGetData(device));
    return s && s->real ? papplDeviceRead(s->real, buffer, bytes) : -1;
}

ssize_t standInWrite(pappl_device_t* device, const void* buffer, size_t bytes) {
    auto* s = static_cast<StandIn*>(papplDeviceGetData(device));
    // Every path to the printer asks deviceReady first; should one not, the
    // bytes still reach the device or fail.
    if (!s || (!s->real && !(current && deviceReady(current, device)))) return -1;
    const ssize_t written = papplDeviceWrite(s->real, buffer, bytes);
    papplDeviceFlush(s->real);
    return written;
}

pappl_preason_t standInStatus(pappl_device_t* device) {
    auto* s = static_cast<StandIn*>(papplDeviceGetData(device));
    if (!s || !s->real) return PAPPL_PREASON_NONE;
    return papplDeviceGetStatus(s->real);
}

int standInSupplies(pappl_device_t* device, int max, pappl_supply_t* supplies) {
    auto* s = static_cast<StandIn*>(papplDeviceGetData(device));
    return s && s->real ? papplDeviceGetSupplies(s->real, max, supplies) : 0;
}

char* standInID(pappl_device_t* device, char* buffer, size_t size) {
    auto* s = static_cast<StandIn*>(papplDeviceGetData(device));
    return s && s->real ? papplDeviceGetID(s->real, buffer, size) : nullptr;
}

}  // namespace

void setCurrentJob(pappl_job_t* job) { current = job; }
pappl_job_t* currentJob() { return current; }

void setUpDeviceGuard(int waitSeconds) {
    waitLimit = waitSeconds;
    // PAPPL adds its own schemes on first use, and none once a scheme exists.
    papplDeviceIsSupported("socket://localhost");
    papplDeviceAddScheme2(kScheme, PAPPL_DEVTYPE_CUSTOM_LOCAL, nullptr, standInOpen, standInClose, standInRead,
                          standInWrite, standInStatus, standInSupplies, standInID);
}

pappl_device_t* openDevice(DeviceOpen open, const char* uri, const char* name, pappl_deverror_cb_t cb, void* data) {
    pappls = open;
    if (!current || !uri) return open(uri, name, cb, data);
    auto* s = new StandIn;
    s->uri = uri;
    s->name = fileName(papplJobGetID(current), name);
    s->report = cb;
    s->reportData = data;
    pending = s;
    pappl_device_t* device = open(kStandInURI, name, cb, data);
    pending = nullptr;
    if (device) return device;
    delete s;
    return open(uri, name, cb, data);
}

bool deviceReady(pappl_job_t* job, pappl_device_t* device) {
    StandIn* s = standInOf(device);
    if (!s || s->real) return true;
    if (s->failedJob == papplJobGetID(job)) return false;
    // A file that cannot be created will not be later; a printer may come.
    const bool file = s->uri.compare(0, 5, "file:") == 0;
    const auto start = std::chrono::steady_clock::now();
    const auto limit = std::chrono::seconds(file ? 0 : waitLimit);
    bool told = false;
    while (!openReal(*s)) {
        const auto waited = std::chrono::steady_clock::now() - start;
        if (waited >= limit || papplJobIsCanceled(job) || stopping()) {
            s->failedJob = papplJobGetID(job);
            if (stopping())
                papplJobSetMessage(job, "Stopped: the printer application is shutting down.");
            else if (file)
                papplJobSetMessage(job, "Cannot write to %s: %s", s->uri.c_str(), s->error.c_str());
            else if (!papplJobIsCanceled(job))
                papplJobSetMessage(job, "The printer at %s did not answer within %d s: %s", s->uri.c_str(), waitLimit,
                                   s->error.c_str());
            papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", papplJobGetMessage(job));
            return false;
        }
        if (!told) {
            papplJobSetMessage(job, "Waiting up to %d s for the printer at %s: %s", waitLimit, s->uri.c_str(),
                               s->error.c_str());
            papplLogJob(job, PAPPL_LOGLEVEL_WARN, "%s", papplJobGetMessage(job));
            told = true;
        }
        const auto retry = std::min(waited + std::chrono::seconds(kRetrySeconds), std::chrono::duration_cast<std::chrono::steady_clock::duration>(limit));
        while (std::chrono::steady_clock::now() - start < retry && !papplJobIsCanceled(job) && !stopping()) usleep(250000);
    }
    if (told) papplJobSetMessage(job, "Printing.");
    return true;
}

}  // namespace kzapp
