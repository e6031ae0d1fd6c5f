// What every scan family does once it knows what a scan covers.
#pragma once

#include "output/buffer_list.h"
#include "scan/scan.h"

namespace kz {

// How a family prints its scans.
struct ScanPolicy {
    bool judgeUnevenness;  // the unevenness monitor may flip the direction before converting
    bool powerPath;        // a dense 320-row scan may go out one nozzle column at a time
};

// Sets the scan's extent, converts it into fresh HV buffers and sends it when
// any data survived; flips the direction after a printed scan in
// bidirectional modes.  Releases the buffers whatever happened.  0, or -108
// when the buffers or the output could not be had (the scan is then dropped).
int16_t printScan(OutputContext* ctx, ScanInfo* scan, const ScanPolicy& policy);

// Whether line i below the scan position holds data of colour c.
inline bool lineHasData(OutputContext* ctx, int c, int i) {
    if (ctx->BitDepth[c] == 0) return false;
    const int32_t line = ctx->RasterPos + i;
    return line >= 0 && lineRecord(ctx, c, line)->ByteCount != 0;
}

// Remembers a scan's failure for the producing call that is running.
inline int16_t noteScanResult(OutputContext* ctx, int16_t result) { return noteOutputFailure(ctx, result); }

}  // namespace kz
