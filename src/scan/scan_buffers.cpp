// The scan record's set-up and the scan's HV buffers.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "kzrqo317/platform.h"
#include "kzrqo317/result.h"
#include "command/scan_commands.h"
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

namespace {

// Rows of the page's tallest scan: what formatScanInfo gives.
int32_t tallestScan(const OutputContext* ctx) {
    switch (ctx->PrintMode) {
        case 0: case 1: case 2: return 320;
        case 14: return 128;
        default: return ctx->NzlNum;
    }
}

// Every buffer holds 63 blocks of 128 pixels of one nozzle column:
// BlockWidth x 63 x (rows / 16) bytes.
int32_t bufferSize(const OutputContext* ctx, int32_t rows) {
    return ctx->BlockWidth * kz::kBlocksPerBuffer * (rows / 16);
}

}  // namespace

int16_t kz::allocateScanBuffers(OutputContext* ctx) {
    const int32_t size = bufferSize(ctx, tallestScan(ctx));
    const bool pairs = ctx->PrintMode == 4 || ctx->PrintMode == 8;
    for (int c = 0; c < kz::kPlaneCount; ++c) {
        if (ctx->BitDepth[c] == 0) continue;
        // Modes 4 and 8 put colours 0..2 of their odd passes in slots 4..6.
        for (const int slot : {c, pairs && c <= 2 ? c + 4 : -1}) {
            if (slot < 0) continue;
            for (uint32_t& buffer : ctx->ScanBuffer[slot]) {
                if (buffer == 0) buffer = KRVSNewHNDL(size);
                if (buffer == 0) return KZ_NO_MEMORY;
            }
        }
    }
    return 0;
}

// The page's own buffers are cleared for the scan, as far as its blocks
// reach in either direction (the scan's commands read no further; what a
// converter may leave beyond them is cleared by the scan that reads it); a
// buffer the page does not hold is allocated for the scan alone.
int16_t allocateHVBuffer(OutputContext* ctx, ScanInfo* scan, HVBufferTable hv) {
    const int32_t size = bufferSize(ctx, scan->ScanNzlNum);
    const bool pageBuffersFit = size <= bufferSize(ctx, tallestScan(ctx));
    int32_t cleared = size;
    if (scan->ScanRight > scan->ScanLeft) {
        const int blocks = std::max(getBlkNum(scan, ctx, 0), getBlkNum(scan, ctx, 1));
        if (blocks > 0) cleared = std::min(size, blocks * (size / kz::kBlocksPerBuffer));
    }
    for (int c = 0; c < kz::kPlaneCount; ++c) {
        const int slot = kz::slotOf(ctx, scan, c);
        if (slot < 0) continue;
        for (int parity = 0; parity < 2; ++parity) {
            if (const uint32_t own = ctx->ScanBuffer[slot][parity]; own != 0 && pageBuffersFit) {
                std::memset(KRVSLockHNDL(own), 0, static_cast<size_t>(cleared));
                hv[slot][parity] = own;
                continue;
            }
            hv[slot][parity] = KRVSNewHNDL(size);
            if (hv[slot][parity] == 0) return KZ_NO_MEMORY;
        }
    }
    return 0;
}

// Releases the scan's own buffers, a partly filled table included; the
// page's stay for its next scan.
void freeScanBuffer(OutputContext* ctx, ScanInfo*, HVBufferTable hv) {
    for (int s = 0; s < kz::kSlotCount; ++s) {
        for (int parity = 0; parity < 2; ++parity) {
            if (hv[s][parity] == ctx->ScanBuffer[s][parity]) {
                hv[s][parity] = 0;
            } else {
                KRVSDisposeHNDL(&hv[s][parity]);
            }
        }
    }
}
