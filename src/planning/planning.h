// Pass planning and raster intake: feed and deletion orders, and the raster store.
#pragma once

#include <cstdint>

#include "kzrqo317/export.h"
#include "kzrqo317/records.h"
#include "output/context.h"

extern "C" {

KZ_EXPORT void makeFeedOrder(int16_t headType, uint16_t* out, uint32_t printMode);
KZ_EXPORT void makeFeedOrderTopBottom(int16_t headType, uint16_t* top, uint16_t* bottom,
                                      uint16_t* kickOff, uint32_t printMode);
KZ_EXPORT void makeDeleteNzlOrder(uint16_t* out, uint32_t printMode);
KZ_EXPORT void makeDeleteNzlOrderTopBottom(uint16_t* top, uint16_t* bottom, uint16_t* kickOff,
                                           uint32_t printMode);

// The order that applies at page position `rasterPos` (raster lines): the
// normal one, or the top-edge, bottom-edge or kick-off variant.  The feed
// choice clears KickOffActive once, when it first sees the kick-off done.
KZ_EXPORT uint16_t* setNowFeedOrder(OutputContext* ctx, int32_t rasterPos);
KZ_EXPORT uint16_t* setNowDeleteNzlOrder(OutputContext* ctx, int32_t rasterPos);

// The page's pseudo-random generator: 0..32767, reseeded to 1 per page.
KZ_EXPORT int16_t MyRand(OutputContext* ctx);

// Appends the kick-off command "x"; 0 or -108.
KZ_EXPORT int16_t makeKickOffInfo(OutputContext* ctx);

// A plane's inked span of one line, in bytes, as the span conversion gives it.
struct ByteSpan {
    uint16_t PixelsPerByte;
    uint16_t BitDepth;
    uint16_t StartByte;   // index of the first (partial) byte in the line
    uint16_t WholeBytes;  // whole bytes between the first and the last partial byte
    uint8_t FirstEdge;    // the first byte, masked to the span
    uint8_t LastEdge;     // the last partial byte, masked; 0 when the span ends on a byte boundary
};

// Stores one raster line; 0, -128 for a refused line, or the negative result
// of the span conversion.
KZ_EXPORT int16_t SetRasterData(OutputContext* ctx, const RasterInfo* line, int16_t lineMultiplier);
// Starts the page at its first inked line: setting commands, starting feed and position.
KZ_EXPORT int16_t InitPage(OutputContext* ctx, const RasterInfo* line);
// Writes the span with every bit doubled: two output bytes per source byte,
// the last pair always written.
KZ_EXPORT void BoldRasterData(const uint8_t* data, const ByteSpan* span, uint8_t* dst);
// Sets a stored line's starting offset into the pass pattern table.
KZ_EXPORT void getPassTblStart(OutputContext* ctx, LineRecord* record);

}  // extern "C"
