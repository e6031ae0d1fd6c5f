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

}  // extern "C"
