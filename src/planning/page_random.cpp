// The page's pseudo-random generator: a linear congruential generator over
// the 32-bit RandSeed.  The seed is 1 at every page start, so a page prints
// the same every time.
#include "planning/planning.h"

int16_t MyRand(OutputContext* ctx) {
    ctx->RandSeed = ctx->RandSeed * 0x343FDu + 0x269EC3u;
    return static_cast<int16_t>((ctx->RandSeed >> 16) & 0x7FFF);
}
