// The commands of one scan: feed, scan information, nozzle information, heat
// trigger and the compressed data blocks, and the page-end reports.
#pragma once

#include <cstdint>

#include "command/command.h"
#include "kzrqo317/export.h"
#include "output/context.h"
#include "scan/scan_info.h"

namespace kz {

// Columns the head moves per pixel step: 4 in print modes 0 and 11, else 2.
constexpr int columnDivisor(uint32_t printMode) { return (printMode == 0 || printMode == 11) ? 4 : 2; }

}  // namespace kz

extern "C" {

// Number of 128-pixel blocks of the scan, between the columns that its scan
// information command announces.
KZ_EXPORT int16_t getBlkNum(const ScanInfo* scan, const OutputContext* ctx, int32_t scanDir);

// Sends one scan: pending feed, "o", "p" per slot and parity, "i" in mode 10,
// and the data blocks.  0, or -108 when output memory ran out; the output
// then ends before the scan, which is dropped whole.
KZ_EXPORT int16_t setCommand_A2470(OutputContext* ctx, ScanInfo* scan, HVBufferTable hv);
// Sends a 320-nozzle scan as two head passes, one per nozzle column parity.
KZ_EXPORT int16_t setCommand_PM(OutputContext* ctx, ScanInfo* scan, HVBufferTable hv);
KZ_EXPORT int16_t setCommand_ScanInfo_A2470(OutputContext* ctx, const ScanInfo* scan, HapsFrame* frame,
                                            uint16_t blockCount);
KZ_EXPORT void setCommand_NzlInfo_A2470(OutputContext* ctx, const ScanInfo* scan, HapsFrame* frame,
                                        const int8_t* slotOrder);
KZ_EXPORT int16_t setCommand_HeatTrigger_A2470(OutputContext* ctx, const ScanInfo* scan, HapsFrame* frame);
KZ_EXPORT int16_t setCommand_Block_A2470(OutputContext* ctx, const ScanInfo* scan, HVBufferTable hv,
                                         HapsFrame* frame, int16_t blockCount, const int8_t* pairs);
// Compresses one block of one nozzle column at the node's write position;
// returns the bytes written.  The last block is trimmed of blank 16-column groups.
KZ_EXPORT int16_t comp_hvbuf(BufListNode* node, const uint8_t* source, int32_t blockSize, int16_t nozzles,
                             uint16_t lastBlock);

// Page-end reports.
KZ_EXPORT int16_t GetDotCountLevel(const OutputContext* ctx, int16_t band);

}  // extern "C"
