// Scan building: assembly of one scan, its buffers and extent, and the
// end-of-page drain.
#pragma once

#include <cstdint>

#include "kzrqo317/export.h"
#include "output/context.h"
#include "scan/scan_info.h"

extern "C" {

// Builds one scan and appends its commands; 0 or -108.
KZ_EXPORT int16_t makeOutData(OutputContext* ctx);
// With flag 1, builds the scans the page still owes; 0 or makeOutData's first failure.
KZ_EXPORT int16_t makeRestData(OutputContext* ctx, int32_t flag);

// A fresh scan record for the next scan, with an empty buffer table.
KZ_EXPORT void formatScanInfo(OutputContext* ctx, ScanInfo* scan, HVBufferTable hv);
// Which slots hold data in the mode's nozzle window: 0 none, 1 black only,
// 2 colour only, 3 both.  Sets the window and SlotHasData.
KZ_EXPORT int16_t datExistChk(OutputContext* ctx, ScanInfo* scan);
// 1 when some slot of the scan had data in the rows converted.
KZ_EXPORT int16_t datExistChk2(OutputContext* ctx, ScanInfo* scan);
// The scan's horizontal extent, ScanLeft and ScanRight.
KZ_EXPORT void getScanWidth(OutputContext* ctx, ScanInfo* scan);
// Both nozzle-column buffers of every slot of the scan; 0 or -108.
KZ_EXPORT int16_t allocateHVBuffer(OutputContext* ctx, ScanInfo* scan, HVBufferTable hv);
KZ_EXPORT void freeScanBuffer(OutputContext* ctx, ScanInfo* scan, HVBufferTable hv);
// Moves the page on after a scan of the multi-pass modes.
KZ_EXPORT void endScanData(OutputContext* ctx, ScanInfo* scan);
// The feed of a scan position that has nothing to print, half raster lines.
KZ_EXPORT uint16_t addFeedNum(OutputContext* ctx);

}  // extern "C"

namespace kz {

// Builds every scan the page still owes, as makeRestData does, but goes on
// past a scan that could not be made or written (the page moves on without
// it), so that one failure loses no more than that scan.  0, or the first
// failure.
int16_t drainPage(OutputContext* ctx);

// Takes whole pass cycles of scans that print nothing in one step, while
// `lines` page lines held cover more than one more cycle: the store is empty
// and no edge phase is in play (modes with a decider of their own are left
// to it).  `lines` is lessened by what the skipped scans take; one cycle at
// least is left to the scans themselves.  The number of scans skipped.
int64_t skipEmptyCycles(OutputContext* ctx, int64_t* lines);

// Takes the page's scan buffers, sized for its tallest scan; 0 or -108
// (what was taken is released with the raster store).
int16_t allocateScanBuffers(OutputContext* ctx);

}  // namespace kz

extern "C" {

// Scan assembly of the single-pass modes 0, 1, 11, 12 and of mode 2.
KZ_EXPORT int16_t makeOutData_1(OutputContext* ctx, ScanInfo* scan);
KZ_EXPORT int16_t ModeChk_1(OutputContext* ctx, ScanInfo* scan);
KZ_EXPORT int16_t makeOutData_2(OutputContext* ctx, ScanInfo* scan);
KZ_EXPORT int16_t ModeChk_2(OutputContext* ctx, ScanInfo* scan);

// Head monitors: 1 asks for the gentler way of printing the scan.
KZ_EXPORT int16_t powerMonitorJudge(OutputContext* ctx, ScanInfo* scan);
KZ_EXPORT int16_t unevenMonitorJudge(OutputContext* ctx, ScanInfo* scan);

}  // extern "C"
