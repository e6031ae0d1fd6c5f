// Feeds arbitrary bytes to the stream inspector's reader and to every report:
// whatever the input, they must not crash, hang or read out of bounds.
#include <cstddef>
#include <cstdint>

#include "report.h"
#include "stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const kzinspect::Stream stream = kzinspect::inspect({data, size});
    for (const auto command :
         {kzinspect::Command::Check, kzinspect::Command::Dump, kzinspect::Command::Stats}) {
        (void)kzinspect::report(stream, command, false);
        (void)kzinspect::report(stream, command, true);
    }
    return 0;
}
