// Operations whose bodies arrive with pass planning and raster intake.  Until
// then raster lines are refused as unsupported (-128).
#include "planning/planning.h"

#include "kzrqo317/result.h"

void makeFeedOrder(int16_t, uint16_t*, uint32_t) {}
void makeFeedOrderTopBottom(int16_t, uint16_t*, uint16_t*, uint16_t*, uint32_t) {}
void makeDeleteNzlOrder(uint16_t*, uint32_t) {}
void makeDeleteNzlOrderTopBottom(uint16_t*, uint16_t*, uint16_t*, uint32_t) {}
int16_t SetRasterData(OutputContext*, const RasterInfo*, int16_t) { return KZ_UNSUPPORTED; }
