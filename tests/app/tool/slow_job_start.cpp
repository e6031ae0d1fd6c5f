// Preloaded into the server: every PAPPL job thread starts 300 ms late, as
// on a loaded machine, so that jobs submitted together are all started
// before the first one runs.  Other threads start as usual.
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <cstring>

namespace {

struct Start {
    void* (*entry)(void*);
    void* arg;
};

void* lateStart(void* data) {
    const Start start = *static_cast<Start*>(data);
    delete static_cast<Start*>(data);
    usleep(300000);
    return start.entry(start.arg);
}

bool isJobThread(void* (*entry)(void*)) {
    Dl_info info{};
    return dladdr(reinterpret_cast<void*>(entry), &info) && info.dli_sname &&
           std::strcmp(info.dli_sname, "_papplJobProcess") == 0;
}

}  // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*entry)(void*), void* arg) {
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const auto create = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    if (!isJobThread(entry)) return create(thread, attr, entry, arg);
    auto* start = new Start{entry, arg};
    const int result = create(thread, attr, lateStart, start);
    if (result != 0) delete start;
    return result;
}
