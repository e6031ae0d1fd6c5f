// PAPPL 1.3.1's IPP entry points for printer and system requests, taken over
// here (PAPPL calls them through its procedure linkage table) so that the
// printer's own checks run before PAPPL reads a request and amend its answer
// before it is sent (app/job_checks.h).  PAPPL offers no public hook for
// either: its operation callback is asked only for operations it does not
// implement itself.
#include <dlfcn.h>

#include "app/job_checks.h"

namespace {

using Entry = void (*)(pappl_client_t*);

Entry pappls(const char* name) { return reinterpret_cast<Entry>(dlsym(RTLD_NEXT, name)); }

void checked(Entry pappl, pappl_client_t* client) {
    if (!pappl || kzapp::refuseUnprintable(client)) return;
    pappl(client);
    kzapp::amendResponse(client);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void _papplPrinterProcessIPP(pappl_client_t* client) {
    static const Entry pappl = pappls("_papplPrinterProcessIPP");
    checked(pappl, client);
}

__attribute__((visibility("default"))) void _papplSystemProcessIPP(pappl_client_t* client) {
    static const Entry pappl = pappls("_papplSystemProcessIPP");
    checked(pappl, client);
}

}  // extern "C"
