// Scan building: assembly of one scan, and the end-of-page drain.
#pragma once

#include <cstdint>

#include "kzrqo317/export.h"
#include "output/context.h"

extern "C" {

// Builds one scan and appends its commands; 0 or -108.
KZ_EXPORT int16_t makeOutData(OutputContext* ctx);
// With flag 1, builds the scans the page still owes; 0 or makeOutData's first failure.
KZ_EXPORT int16_t makeRestData(OutputContext* ctx, int32_t flag);

}  // extern "C"
