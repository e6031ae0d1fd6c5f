// Each stored line starts the pass pattern at its own pseudo-random offset,
// so neighbouring lines fire their dots in different passes.
#include "planning/planning.h"

void getPassTblStart(OutputContext* ctx, LineRecord* record) {
    record->MaskOffset = ctx->PassNum == 1 ? 0 : static_cast<uint16_t>(static_cast<uint16_t>(MyRand(ctx)) / 7u);
}
