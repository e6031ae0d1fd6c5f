// The raster store's blocks: accessors for intake and scan building, and their
// release at the end of a page.
#include "kzrqo317/platform.h"
#include "output/buffer_list.h"
#include "output/output.h"

BandBlock* GetBufInfo(OutputContext* ctx, int32_t ringLine, int16_t plane) {
    return &ctx->Band[plane][ringLine / kz::kLinesPerBandBlock];
}

uint8_t* MyLockPH_Direct(OutputContext* ctx, BandBlock* block, int16_t line, int16_t plane) {
    auto* memory = static_cast<uint8_t*>(KRVSLockHNDL(block->LineMemory));
    if (memory == nullptr) return nullptr;
    return memory + line * ctx->LinePitch[plane];
}

uint8_t* MyLockPH_Index(OutputContext*, BandBlock* block, int16_t index) {
    auto* memory = static_cast<uint8_t*>(KRVSLockHNDL(block->IndexedMemory));
    if (memory == nullptr) return nullptr;
    return memory + index * 3072;
}

// Releases every block the store holds, whatever the current page's bit
// depths: a page of a banner job may use other planes than the page whose
// buffers are still allocated, and none of them may be left behind.
void freeOffsetBuffer(OutputContext* ctx) {
    for (auto& plane : ctx->Band) {
        for (BandBlock& block : plane) KRVSDisposeHNDL(&block.LineMemory);
    }
    for (auto& slot : ctx->ScanBuffer) {
        KRVSDisposeHNDL(&slot[0]);
        KRVSDisposeHNDL(&slot[1]);
    }
}
