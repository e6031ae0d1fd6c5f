// Raster intake, whose body arrives with the raster store.  Until then raster
// lines are refused as unsupported (-128).
#include "planning/planning.h"

#include "kzrqo317/result.h"

int16_t SetRasterData(OutputContext*, const RasterInfo*, int16_t) { return KZ_UNSUPPORTED; }
