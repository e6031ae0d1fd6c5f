// Which pass of a band fires which dot, and up to which nozzle a scan prints
// its raster lines for the last time (with the nozzle limits of borderless
// printing near the page's edges).
#pragma once

#include <cstdint>

#include "kzrqo317/export.h"
#include "output/context.h"
#include "scan/scan_info.h"

extern "C" {

// Fills the scan's pass select table for plane slot `plane`: entry [level][phase]
// is 1 when this scan's pass fires a dot of that level at that phase.  The
// black slot and the single-pass modes leave the table as it was; a mode
// without a pattern leaves it all zero.  `scanDir` does not change the table.
KZ_EXPORT void makePassSelectTbl(int16_t plane, ScanInfo* scan, OutputContext* ctx, int16_t scanDir);

// The clear position of the scan being converted: its rows below this nozzle
// print their raster lines for the last time.  Runs the edge phases of
// borderless printing, which may shift the scan window and the page position.
KZ_EXPORT int16_t getClearRasterPos(OutputContext* ctx, ScanInfo* scan);

// The clear position in the top-edge, bottom-edge and kick-off phases.  Only
// the kick-off one writes the context: it ends the phase (KickOffDone).
KZ_EXPORT int16_t getDelNzl_noEdge_Top(OutputContext* ctx);
KZ_EXPORT int16_t getDelNzl_noEdge_Btm(OutputContext* ctx);
KZ_EXPORT int16_t getDelNzl_KickOff(OutputContext* ctx);

}  // extern "C"

namespace kz {

// Whether scans starting at page positions `from` to `to` (raster lines,
// from <= to) all take the normal rules: the normal feed and deletion
// orders, no edge phase under way and none beginning there.
bool normalRulesBetween(const OutputContext* ctx, int32_t from, int32_t to);

}  // namespace kz
