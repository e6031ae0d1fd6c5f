// Scan assembly: decides what the next scan covers and builds it.  The
// single-pass modes and mode 2 have their own deciders; every other mode
// follows its feed order here.
#include "scan/scan_assembly.h"

#include "command/scan_commands.h"
#include "planning/pass_select.h"
#include "planning/planning.h"
#include "scan/hv_convert.h"
#include "platform/field_width.h"

// A scan whose buffers cannot all be had is dropped, but the page moves on
// as if it had been printed: its lines are converted into the buffers there
// are, released as a printed scan releases them, the edge phases step and
// the head turns.  The scans after it are then the ones the page has anyway.
int16_t kz::printScan(OutputContext* ctx, ScanInfo* scan, const ScanPolicy& policy) {
    HVBufferTable hv = {};
    getScanWidth(ctx, scan);
    int16_t result = allocateHVBuffer(ctx, scan, hv);
    if (policy.judgeUnevenness && unevenMonitorJudge(ctx, scan) == 1) ctx->ScanDir ^= 1;
    HVConvert_A2470(ctx, scan, hv);
    if (result != 0) {
        if (ctx->Direction == 0) ctx->ScanDir ^= 1;
    } else if (datExistChk2(ctx, scan) != 0) {
        if (policy.powerPath && powerMonitorJudge(ctx, scan) == 1) {
            result = setCommand_PM(ctx, scan, hv);
        } else {
            scan->BlockMode = 2;
            result = setCommand_A2470(ctx, scan, hv);
        }
        if (ctx->Direction == 0) ctx->ScanDir ^= 1;
    }
    freeScanBuffer(ctx, scan, hv);
    return result;
}

int16_t makeOutData(OutputContext* ctx) {
    ScanInfo scan;
    HVBufferTable hv;
    formatScanInfo(ctx, &scan, hv);
    switch (ctx->PrintMode) {
        case 0: case 1: case 11: case 12: return kz::noteScanResult(ctx, makeOutData_1(ctx, &scan));
        case 2: return kz::noteScanResult(ctx, makeOutData_2(ctx, &scan));
        default: break;
    }

    int16_t result = 0;
    if (datExistChk(ctx, &scan) == 0) {
        ctx->FeedAmount += addFeedNum(ctx);
        // The edge phases of borderless and kick-off pages follow the page
        // position, not the ink: a scan position with nothing to print takes
        // its step through them as a printed scan would.
        getClearRasterPos(ctx, &scan);
    } else {
        // The unevenness monitor judges the latest 128-row scan before the
        // feed of this one is chosen.
        if (ctx->Direction == 0 && unevenMonitorJudge(ctx, &scan) == 1) ctx->ScanDir ^= 1;
        ctx->NowFeedOrder = setNowFeedOrder(ctx, ctx->ScanPos);
        ctx->FeedAmount += ctx->NowFeedOrder[ctx->FeedIndex];
        result = kz::printScan(ctx, &scan, {false, false});
    }
    // In mode 3 the odd pass prints where the even one stood.
    if (!(ctx->PrintMode == 3 && (ctx->PassIndex & 1))) ctx->ScanPos = ctx->RasterPos;
    endScanData(ctx, &scan);
    return kz::noteScanResult(ctx, result);
}
