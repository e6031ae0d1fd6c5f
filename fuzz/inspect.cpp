// Feeds arbitrary bytes to the stream inspector's reader, every report and
// the page preview: whatever the input, they must not crash, hang or read
// out of bounds.
#include <cstddef>
#include <cstdint>

#include <string>
#include <vector>

#include "stream_reader/render.h"
#include "stream_reader/report.h"
#include "stream_reader/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const kzinspect::Stream stream = kzinspect::inspect({data, size});
    for (const auto command :
         {kzinspect::Command::Check, kzinspect::Command::Dump, kzinspect::Command::Stats}) {
        (void)kzinspect::report(stream, command, false, true);
        (void)kzinspect::report(stream, command, true);
    }
    // The previews, kept small: a hostile feed must not ask for a huge image.
    for (const auto view : {kzinspect::View::Paper, kzinspect::View::Stream}) {
        kzinspect::RenderOptions options;
        options.scale = 8;
        options.maxPixels = 1 << 20;
        options.view = view;
        std::vector<kzinspect::Image> pages;
        std::string error;
        (void)kzinspect::renderPages({data, size}, options, pages, error);
    }
    return 0;
}
