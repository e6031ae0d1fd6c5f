// The state file: printers, their settings and jobs, between runs.
#pragma once

#include <pappl/pappl.h>

#include <shared_mutex>
#include <string>

namespace kzapp {

// Saves the state as PAPPL does, whole or not at all, and so that PAPPL 1.3
// can read all of it again:
// it stops reading at a job saved without a document format (a Create-Job
// cancelled before its document came), losing the jobs and printers after it.
// While a job's document arrives the save waits for saveIfDeferred: PAPPL
// 1.3 aborts a job whose upload fails holding the printer's lock while it
// waits for the system's, the order opposite to a save's.
bool saveState(pappl_system_t* system, const std::string& path);
// From a timer: the save that waited, once no document arrives.
void saveIfDeferred(pappl_system_t* system, const std::string& path);
// On the way out: waits a moment for arriving documents, then saves.
void saveStateNow(pappl_system_t* system, const std::string& path);
// Held while a job's document arrives.
std::shared_lock<std::shared_mutex> holdSaves();

// Queued jobs of the last run print now: PAPPL 1.3 restores them but starts
// none until a new job arrives.
void startRestoredJobs(pappl_system_t* system);

}  // namespace kzapp
