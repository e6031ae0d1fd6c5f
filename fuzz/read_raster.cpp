// The PWG and CUPS raster reader with any bytes: page headers and page data.
#include "read_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    readInput(data, size, "image/pwg-raster");
    return 0;
}
