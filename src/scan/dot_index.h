// Dot indexing and dot counting: which dots of a source byte print in the
// current pass, written as 1-bit dots into an HV buffer byte, and the counters
// behind the printer's monitors.
//
// The exported operations are thin wrappers of the inline kernels below, which
// the HV converters call directly in their per-byte loop.
#pragma once

#include <algorithm>
#include <cstdint>

#include "kzrqo317/export.h"
#include "output/context.h"
#include "scan/scan_info.h"

namespace kz {

// Bytes of the pass pattern table (MaskTbl); each a phase 0..239.
inline constexpr int kMaskTableLength = 10800;

// Conversion flags: which counters the dots of a scan go to.
inline constexpr uint8_t kCountPower = 1;    // black into PMDotCount
inline constexpr uint8_t kCountSmear = 2;    // black into SmearDotCount
inline constexpr uint8_t kCountNoEdge = 4;   // into NoEdgeDotAmount
inline constexpr uint8_t kCountUneven = 8;   // colour into UnevenDotCount

// Borderless ink outside the counting area weighs 2.176 per dot in slots 0..2.
inline constexpr double kNoEdgeColourWeight = 2.176;

// Pixel k of a 1-bit byte prints in the pass whose index is its phase modulo
// the pass count.  The result replaces the output byte.
inline int16_t indexOneBit(uint8_t* out, uint8_t source, int passCount, int passIndex,
                           const uint8_t* maskRow) {
    if (passCount < 1) passCount = 1;
    uint8_t result = 0;
    int16_t dots = 0;
    for (int k = 0; k < 8; ++k) {
        const uint8_t bit = static_cast<uint8_t>(0x80u >> k);
        if ((source & bit) != 0 && maskRow[k] % passCount == passIndex) {
            result |= bit;
            ++dots;
        }
    }
    *out = result;
    return dots;
}

// Level of a multi-level pixel as the pass select table knows it: levels
// above 8 (a 4-bit pixel can hold up to 15) print as the most ink, level 8.
constexpr int selectLevel(int level) { return level < kPassSelectLevels ? level : kPassSelectLevels - 1; }

// The Pixels pixels of a source byte at Bits bits each become Pixels 1-bit
// dots, from output bit `firstBit` rightward, ORed into the output byte.
template <int Bits>
inline int16_t indexLevels(uint8_t* out, uint8_t source, const uint8_t* maskRow, unsigned firstBit,
                           const ScanInfo* scan) {
    constexpr int kPixels = 8 / Bits;
    constexpr unsigned kLevelMask = (1u << Bits) - 1;
    uint8_t result = 0;
    int16_t dots = 0;
    unsigned bit = firstBit;
    for (int k = 0; k < kPixels; ++k, bit >>= 1) {
        const int level = static_cast<int>((source >> (8 - Bits * (k + 1))) & kLevelMask);
        if (level != 0 && scan->PassSelectTbl[selectLevel(level)][maskRow[k]] != 0) {
            result = static_cast<uint8_t>(result | bit);
            ++dots;
        }
    }
    *out = static_cast<uint8_t>(*out | result);
    return dots;
}

// Adds a byte's dots to the scan counters.  A null cell (a page line outside
// the smear bands) is not counted.
inline void countDots(int16_t dots, uint16_t* power, uint32_t* smear, uint32_t* uneven, int slot,
                      uint8_t flags) {
    if (slot == kBlackPlane) {
        if ((flags & kCountPower) && power != nullptr) *power = static_cast<uint16_t>(*power + dots);
        if ((flags & kCountSmear) && smear != nullptr) *smear += static_cast<uint32_t>(dots);
    } else if ((flags & kCountUneven) && uneven != nullptr) {
        *uneven += static_cast<uint32_t>(dots);
    }
}

// Borderless ink printed outside the counting area (left, right, top, bottom;
// inclusive), weighted by slot; black is never counted.
inline void countNoEdgeDots(int16_t dots, int16_t x, int32_t y, const int16_t* area, double* amount,
                            int slot) {
    if (slot == kBlackPlane) return;
    if (area[2] <= y && y <= area[3] && area[0] <= x && x <= area[1]) return;
    *amount += slot < kBlackPlane ? dots * kNoEdgeColourWeight : static_cast<double>(dots);
}

}  // namespace kz

extern "C" {

// 1-bit source byte: the dots of this pass replace the output byte.  Returns the dots printed.
KZ_EXPORT int16_t makeOutData_1bit_Index(uint8_t* out, uint8_t source, int16_t passCount,
                                         int16_t passIndex, const uint8_t* maskRow);
// 2-bit source byte: four dots ORed into the high nibble (selector 0) or the low one.
KZ_EXPORT int16_t makeOutData_2bit_Index(uint8_t* out, uint8_t source, int16_t passCount,
                                         int16_t passIndex, const uint8_t* maskRow, uint16_t nibble,
                                         const ScanInfo* scan);
// 4-bit source byte: two dots ORed into bit pair `position` (0..3, from the left).
KZ_EXPORT int16_t makeOutData_4bit_Index(uint8_t* out, uint8_t source, int16_t passCount,
                                         int16_t passIndex, const uint8_t* maskRow, int16_t position,
                                         const ScanInfo* scan);

KZ_EXPORT void dotCountSet(int16_t dots, uint16_t* powerCell, uint32_t* smearCell,
                           uint32_t* unevenCell, int16_t slot, uint8_t flags);
KZ_EXPORT void dotCountSet2(int16_t dots, int16_t x, int32_t y, const int16_t* noEdgeArea,
                            double* noEdgeAmount, int16_t slot);

}  // extern "C"
