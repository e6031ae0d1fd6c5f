// The PNG reader with any bytes.
#include "read_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    readInput(data, size, "image/png");
    return 0;
}
