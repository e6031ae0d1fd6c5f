// A zero-filled context and a print record, as the job calls would hold them.
#pragma once

#include <cstring>
#include <memory>

#include "kzrqo317/records.h"
#include "output/context.h"
#include "param/param.h"

namespace kz::test {

struct Settings {
    int16_t media = 0;
    int16_t quality = 15;
    int16_t paper = 1;
    int16_t margin = 0;
    int16_t mono = 0;
};

inline PrintInfo makeInfo(const Settings& s) {
    PrintInfo info{};
    info.MediaType = s.media;
    info.PrintQuality = s.quality;
    info.PaperSize = s.paper;
    info.MarginInfo = s.margin;
    info.Monochrome = s.mono;
    return info;
}

// Context on the heap (it is large), zero-filled like the platform's blocks.
inline std::unique_ptr<OutputContext> makeContext() {
    return std::make_unique<OutputContext>();
}

// Job and page set-up as OutputInitTwo and OutputInitPart run it; the page's result.
inline int16_t setUp(OutputContext* ctx, const Settings& s) {
    const PrintInfo info = makeInfo(s);
    setPrintInfo(ctx, &info);
    return setPrintInfoPart(ctx, &info);
}

}  // namespace kz::test
