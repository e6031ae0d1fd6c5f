// Settings in people's terms, and their defaults.
#include "kzrqo317/print.h"

extern "C" {

KZ_VISIBLE kzp_settings kzp_settings_default(void) {
    kzp_settings s{};
    s.paper = "iso_a4_210x297mm";
    s.media = "plain";
    s.quality = KZP_QUALITY_NORMAL;
    s.dither = KZP_DITHER_AUTO;
    return s;
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
