// Print parameters: settings, print mode selection, mode tables, page geometry.
#pragma once

#include <cstdint>

#include "kzrqo317/export.h"
#include "kzrqo317/records.h"
#include "output/context.h"

extern "C" {

// Job level: copies the caller's codes and their indices.  Never fails.
KZ_EXPORT int16_t setPrintInfo(OutputContext* ctx, const PrintInfo* info);
// Page level: selects the print mode and fills its parameters; -128 without a mode.
KZ_EXPORT int16_t setPrintInfoPart(OutputContext* ctx, const PrintInfo* info);
// Hands the pass pattern and bit-count tables to the context.
KZ_EXPORT int16_t SetTable(OutputContext* ctx);

// Page geometry.
KZ_EXPORT void SetNoEdgeDotCntInfo(OutputContext* ctx);
KZ_EXPORT void SetOffsetSize(OutputContext* ctx);
// Allocates the page's raster store; 0 or -108 (everything it took released).
KZ_EXPORT int16_t FormatBlock(OutputContext* ctx);

}  // extern "C"

extern "C" {

// Load-paper mode 0..2 of the "f" command, from the caller's paper size and media codes.
KZ_EXPORT uint8_t getLoadPaperMode(int16_t paperSize, int16_t mediaType);
// Column offset of one plane slot's nozzle row for a scan direction, pixels (a multiple of 8).
KZ_EXPORT int16_t getOffsetColorCR(const OutputContext* ctx, int16_t plane, int16_t rowParity,
                                   int16_t direction);

}  // extern "C"
