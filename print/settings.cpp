// Settings in people's terms, their defaults, and the library's version.
#include <algorithm>
#include <cstring>

#include "kzrqo317/print.h"
#include "print/setup.h"

static_assert(KZP_VERSION_MAJOR == KZ_PROJECT_VERSION_MAJOR && KZP_VERSION_MINOR == KZ_PROJECT_VERSION_MINOR &&
                  KZP_VERSION_PATCH == KZ_PROJECT_VERSION_PATCH,
              "print.h's version is the project's");

namespace kzp {
namespace {

// Copies the caller's `size` bytes of a struct over this library's defaults.
template <typename T>
bool readSized(const T* in, T& out, size_t first, const char* what, std::string& why) {
    if (!in || in->struct_size < first) {
        why = std::string("no ") + what + ", or its struct_size is not set";
        return false;
    }
    std::memcpy(&out, in, std::min(in->struct_size, sizeof out));
    out.struct_size = sizeof out;
    return true;
}

}  // namespace

bool readSettings(const kzp_settings* in, kzp_settings& out, std::string& why) {
    kzp_settings_init(&out, sizeof out);
    return readSized(in, out, kFirstSettingsSize, "settings (use kzp_settings_default())", why);
}

bool readSink(const kzp_sink* in, kzp_sink& out, std::string& why) {
    out = kzp_sink_fd(-1);
    return readSized(in, out, kFirstSinkSize, "sink (use kzp_sink_fd() or kzp_sink_callback())", why);
}

}  // namespace kzp

extern "C" {

#define KZ_STRINGIFY(x) #x
#define KZ_VERSION_TEXT(a, b, c) KZ_STRINGIFY(a) "." KZ_STRINGIFY(b) "." KZ_STRINGIFY(c)
KZ_VISIBLE const char* kzp_version(void) {
    return KZ_VERSION_TEXT(KZP_VERSION_MAJOR, KZP_VERSION_MINOR, KZP_VERSION_PATCH);
}

KZ_VISIBLE void kzp_settings_init(kzp_settings* s, size_t struct_size) {
    if (!s || struct_size < sizeof s->struct_size) return;
    kzp_settings d{};
    d.struct_size = std::min(struct_size, sizeof d);
    d.paper = "iso_a4_210x297mm";
    d.media = "plain";
    d.quality = KZP_QUALITY_NORMAL;
    d.dither = KZP_DITHER_AUTO;
    // A larger caller struct (a newer header) gets zeros in the fields this
    // library does not know.
    std::memset(s, 0, struct_size);
    std::memcpy(s, &d, d.struct_size);
    s->struct_size = struct_size;
}

KZ_VISIBLE const char* kzp_quality_name(kzp_quality q) {
    switch (q) {
    case KZP_QUALITY_DRAFT: return "draft";
    case KZP_QUALITY_NORMAL: return "normal";
    case KZP_QUALITY_HIGH: return "high";
    case KZP_QUALITY_BEST: return "best";
    }
    return "unknown";
}

}
