// The scan record's set-up and the scan's HV buffers.
#include <algorithm>
#include <iterator>

#include "kzrqo317/platform.h"
#include "kzrqo317/result.h"
#include "scan/scan.h"

namespace {

// Sentinels larger than any real value, so the first real value replaces them.
constexpr int16_t kNoLeftYet = 5400;
constexpr int16_t kNoWindowYet = 640;

}  // namespace

void formatScanInfo(OutputContext* ctx, ScanInfo* scan, HVBufferTable hv) {
    scan->ScanKind = kz::kScanOrdinary;
    scan->ScanColorNum = ctx->ColorNum;
    scan->ScanPassIndex = ctx->PassIndex;
    std::fill(std::begin(scan->SlotHasData), std::end(scan->SlotHasData), 0);
    scan->ScanLeft = kNoLeftYet;
    scan->ScanRight = 0;
    scan->WindowStart = kNoWindowYet;
    scan->ShiftNzl = 0;
    scan->WindowEnd = 0;
    scan->RasterBase = ctx->RasterPos;
    scan->BlockMode = 2;
    scan->ColorHasData = 0;
    scan->ScanParity = ctx->PassIndex;
    for (int s = 0; s < kz::kSlotCount; ++s) hv[s][0] = hv[s][1] = 0;

    switch (ctx->PrintMode) {
        case 0: case 1: case 2:
            scan->ScanNzlNum = 320;
            scan->UseMask = 0;
            break;
        case 11: case 12:
            scan->ScanNzlNum = ctx->NzlNum;
            scan->UseMask = 0;
            break;
        case 14:
            scan->ScanNzlNum = 128;
            scan->UseMask = 0;
            break;
        default:
            scan->ScanNzlNum = ctx->NzlNum;
            scan->UseMask = 1;
            break;
    }
    if (ctx->PrintMode == 4 || ctx->PrintMode == 8) {
        scan->ScanKind = (scan->ScanPassIndex & 1) ? kz::kScanOddPair : kz::kScanEvenPair;
    }
}

// Every buffer holds 63 blocks of 128 pixels of one nozzle column:
// BlockWidth x 63 x (rows / 16) bytes, zero-filled.
int16_t allocateHVBuffer(OutputContext* ctx, ScanInfo* scan, HVBufferTable hv) {
    const int32_t size = ctx->BlockWidth * kz::kBlocksPerBuffer * (scan->ScanNzlNum / 16);
    for (int c = 0; c < kz::kPlaneCount; ++c) {
        const int slot = kz::slotOf(ctx, scan, c);
        if (slot < 0) continue;
        for (int parity = 0; parity < 2; ++parity) {
            hv[slot][parity] = KRVSNewHNDL(size);
            if (hv[slot][parity] == 0) return KZ_NO_MEMORY;
        }
    }
    return 0;
}

// Releases every buffer in the table, a partly filled one included.
void freeScanBuffer(OutputContext*, ScanInfo*, HVBufferTable hv) {
    for (int s = 0; s < kz::kSlotCount; ++s) {
        KRVSDisposeHNDL(&hv[s][0]);
        KRVSDisposeHNDL(&hv[s][1]);
    }
}
