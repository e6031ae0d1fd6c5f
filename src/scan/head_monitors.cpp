// Head monitors: judge a scan's ink load from the dots counted while it was
// converted, and ask for a gentler way of printing it.
#include "scan/scan.h"

namespace {

constexpr uint16_t kPowerLimit = 37616;   // black dots of one 160-pixel segment
constexpr int32_t kUnevenLimit = 95999;   // colour dots of one 800-pixel segment

}  // namespace

// A 320-row scan with a segment this dense is sent one nozzle column at a time.
int16_t powerMonitorJudge(OutputContext* ctx, ScanInfo* scan) {
    if (ctx->PowerMonitorInfo == 0 || scan->ScanNzlNum == 128) return 0;
    for (uint16_t count : ctx->PMDotCount) {
        if (count >= kPowerLimit) return 1;
    }
    return 0;
}

// After a dense 128-row scan the next scan runs in the same direction.
int16_t unevenMonitorJudge(OutputContext* ctx, ScanInfo* scan) {
    if (ctx->UnevenMonitorInfo == 0 || scan->ScanNzlNum == 320) return 0;
    for (uint32_t count : ctx->UnevenDotCount) {
        if (static_cast<int32_t>(count) > kUnevenLimit) return 1;
    }
    return 0;
}
