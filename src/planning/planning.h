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

// Stores one raster line; 0 or the negative result of the span conversion.
KZ_EXPORT int16_t SetRasterData(OutputContext* ctx, const RasterInfo* line, int16_t lineMultiplier);

}  // extern "C"
