// A job's device: opened when the job first prints, under a name that fits,
// and given up on with a reason instead of pausing the queue.
//
// PAPPL 1.3 opens the printer's device before a job prints, naming a file://
// directory's output after the job's name alone (a name over 255 bytes
// cannot be created), and retries every 5 s for as long as it fails, the
// queue paused.  Here the job
// gets a stand-in device at once; the real one opens when the job starts
// printing: file:// output is named "ID-NAME.EXT" with the name cleaned and
// shortened, a file that cannot be created aborts the job with the reason,
// and another device is waited for (retried every 5 s, cancel and shutdown
// heard) for at most the configured time.
#pragma once

#include <pappl/pappl.h>

namespace kzapp {

using DeviceOpen = pappl_device_t* (*)(const char* uri, const char* name, pappl_deverror_cb_t cb, void* data);

// The job the calling thread is starting or printing (set by the job entry
// points around PAPPL's job processing), or nullptr.
void setCurrentJob(pappl_job_t* job);
pappl_job_t* currentJob();

// After PAPPL's own schemes are in place: the stand-in's scheme, and how
// long a job waits for a device that does not open.
void setUpDeviceGuard(int waitSeconds);

// papplDeviceOpen as the job entry points see it: a stand-in when called
// for the current job, else PAPPL's own `open`.
pappl_device_t* openDevice(DeviceOpen open, const char* uri, const char* name, pappl_deverror_cb_t cb, void* data);

// Before a job's first byte: true when its device is open (opening it now);
// false with the job's message set when it cannot be.
bool deviceReady(pappl_job_t* job, pappl_device_t* device);

}  // namespace kzapp
