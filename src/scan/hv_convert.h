// Horizontal-to-vertical conversion: the raster lines under the head, turned
// into the HV buffers of a scan in the order the head fires them, with the
// dots of the current pass selected, backward scans mirrored, each nozzle
// column's offset applied and the dots counted for the monitors.
//
// HV buffer layout, one plane slot and nozzle column parity: column groups of
// 16 pixels, S bytes each (S = ScanNzlNum rounded down to even); nozzle n owns
// bytes 2n and 2n + 1 of a group.  Forward, d = scan position - ScanLeft: the
// dot goes to group d / 16, byte 2n + (d / 8) % 2, bit 7 - d % 8.  Backward,
// e = ScanRight - 1 - scan position: group e / 16, byte 2n + (e / 8) % 2, bit
// e % 8.  A buffer holds 63 blocks of 128 pixels; nothing outside them, and
// no row at or beyond S, is ever written.
#pragma once

#include <cstdint>

#include "kzrqo317/export.h"
#include "output/context.h"
#include "scan/scan_info.h"

extern "C" {

// Converts the rows of the scan window of every slot with data; releases the
// raster lines no later scan prints.  SlotHasData afterwards tells which slots
// had non-blank data in the rows converted.
KZ_EXPORT void HVConvert_A2470(OutputContext* ctx, ScanInfo* scan, HVBufferTable hv);

// One stored raster line of scan row `row` into the HV buffer of the row's
// parity.  1 when a non-zero byte was placed, else 0.
#define KZ_HV_CONVERTER(name)                                                                     \
    KZ_EXPORT int16_t name(OutputContext* ctx, uint8_t* buffer, const uint8_t* source,            \
                           const ScanInfo* scan, const LineRecord* record, int16_t row, int16_t slot, \
                           int16_t useMask, uint8_t flags)
KZ_HV_CONVERTER(hv2470_Fore_1bit);
KZ_HV_CONVERTER(hv2470_Back_1bit);
KZ_HV_CONVERTER(hv2470_Fore_2bit);
KZ_HV_CONVERTER(hv2470_Back_2bit);
KZ_HV_CONVERTER(hv2470_Fore_4bit);
KZ_HV_CONVERTER(hv2470_Back_4bit);
#undef KZ_HV_CONVERTER

// Transposes every 16-pixel group of a scan's HV buffer in place, from one
// 16-pixel word per nozzle into, per pixel column, words of 16 nozzles.
KZ_EXPORT void hvConvHard(OutputContext* ctx, ScanInfo* scan, uint8_t* buffer);
// One group of `nozzles` nozzle words (a multiple of 16); `work` holds
// `nozzles` zeroed words.  Fore reads the words left pixel first, Back right
// pixel first.
KZ_EXPORT void hvConv16x16_Fore(uint8_t* group, uint16_t* work, int16_t nozzles);
KZ_EXPORT void hvConv16x16_Back(uint8_t* group, uint16_t* work, int16_t nozzles);

}  // extern "C"
