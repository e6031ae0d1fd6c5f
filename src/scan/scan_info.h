// The record of one scan of the print head, its HV buffer table, and the
// mapping of colour planes to the scan's plane slots.
#pragma once

#include <cstdint>

#include "output/buffer_list.h"
#include "output/context.h"

namespace kz {

inline constexpr int kSlotCount = 7;
inline constexpr int kPassSelectLevels = 9;
inline constexpr int kPassSelectPhases = 240;
inline constexpr int kBlocksPerBuffer = 63;  // a scan is at most 63 x 128 = 8064 pixels wide

// ScanKind values.
inline constexpr uint32_t kScanEvenPair = 2;  // modes 4 and 8, even pass: colours in slots 0..3
inline constexpr uint32_t kScanOddPair = 3;   // modes 4 and 8, odd pass: colours 0..2 in slots 4..6
inline constexpr uint32_t kScanOrdinary = 4;

}  // namespace kz

extern "C" {

struct ScanInfo {
    uint32_t ScanKind;
    uint16_t ScanColorNum;
    uint16_t ScanPassIndex;
    uint16_t SlotHasData[kz::kSlotCount];
    uint16_t ScanNzlNum;   // nozzle rows of the scan: 320, 128 or 64
    int16_t ScanLeft;      // pixels, a multiple of 8
    int16_t ScanRight;     // pixels, exclusive, a multiple of 8
    int16_t WindowStart;   // first nozzle row holding data
    int16_t ShiftNzl;
    int16_t WindowEnd;     // last nozzle row holding data
    int32_t RasterBase;    // page line printed by nozzle row 0
    uint16_t UseMask;      // 1: pass masks choose the dots of this scan
    uint32_t BlockMode;    // 0 or 1: send only that nozzle column parity; 2: both
    uint16_t ColorHasData;
    uint8_t PassSelectTbl[kz::kPassSelectLevels][kz::kPassSelectPhases];
    uint16_t ScanParity;
};

// HV buffer handles of a scan, [plane slot][nozzle column parity]; 0 = none.
typedef uint32_t HVBufferTable[kz::kSlotCount][2];

}  // extern "C"

namespace kz {

// The scan slot of colour c, or -1 when the colour takes no part in the scan
// (not printed in this mode, or not a colour of an odd-pass scan of modes 4 and 8).
inline int slotOf(const OutputContext* ctx, const ScanInfo* scan, int c) {
    if (ctx->BitDepth[c] == 0) return -1;
    if (scan->ScanKind == kScanOddPair) return c <= 2 ? c + 4 : -1;
    return c;
}

// Nozzle column parity of scan row r in a slot: slots 4..6 sit one row over.
inline int parityOf(int slot, int row) { return slot >= 4 ? (row + 1) & 1 : row & 1; }

// The stored record of colour c at page line L (L >= 0, colour in use).
inline LineRecord* lineRecord(OutputContext* ctx, int c, int32_t line) {
    const int32_t k = line % ctx->RingLines[c];
    return &GetBufInfo(ctx, k, static_cast<int16_t>(c))->Line[k % kLinesPerBandBlock];
}

}  // namespace kz
