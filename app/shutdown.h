// Stopping within seconds, whatever a job is doing.
//
// PAPPL 1.3 stops on SIGTERM, SIGINT or Shutdown-All-Printers only once no
// job is active, pending ones included, or after 60 s; meanwhile it keeps
// starting the queued jobs.  Here the printers stop taking jobs from their
// queues, the jobs printing are cancelled (their Ghostscript with them),
// and when queued jobs remain the state is saved, so that they print after
// the next start, and the program exits: within 10 s in all cases.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace kzapp {

constexpr int kStopSeconds = 6;

// Watches `system` for a shutdown once it runs; `statePath` is where its
// state is saved.
void watchForShutdown(pappl_system_t* system, const std::string& statePath);

// True once a shutdown was asked for.
bool stopping();

}  // namespace kzapp
