// The page's raster store: per printed plane a ring of stored lines, taken in
// blocks of eight lines.  freeOffsetBuffer releases it at the page's end.
#include "kzrqo317/platform.h"
#include "kzrqo317/result.h"
#include "param/param.h"
#include "platform/field_width.h"

namespace {

constexpr int16_t kLineBytesPerBit = 768;  // 6144 pixels a line

// Lines every plane keeps before its own offset is added.
constexpr int16_t baseLines(uint32_t mode) {
    switch (mode) {
        case 0:
        case 1:
        case 11:
        case 12:
        case 13:
            return 320;
        case 2:
            return 448;
        default:
            return 128;
    }
}

// The widest store (mode 2, colour planes offset by 176 lines) fits the
// context's blocks exactly.
static_assert((448 + 176 + kz::kLinesPerBandBlock - 1) / kz::kLinesPerBandBlock ==
              kz::kBandBlocksPerPlane);

// Blocks of a plane's ring; never more than the context holds, whatever the
// offsets say.
int blockCount(const OutputContext* ctx, int plane) {
    const int blocks =
        (ctx->RingLines[plane] + kz::kLinesPerBandBlock - 1) / kz::kLinesPerBandBlock;
    return blocks < kz::kBandBlocksPerPlane ? blocks : kz::kBandBlocksPerPlane;
}

// Releases the blocks this call took: planes before `plane` in full, and
// `plane` up to `block`.
void releaseTaken(OutputContext* ctx, int plane, int block) {
    for (int p = 0; p <= plane; ++p) {
        if (ctx->BitDepth[p] == 0) continue;
        const int last = p < plane ? blockCount(ctx, p) : block;
        for (int g = 0; g < last; ++g) KRVSDisposeHNDL(&ctx->Band[p][g].LineMemory);
    }
}

}  // namespace

int16_t FormatBlock(OutputContext* ctx) {
    const int16_t base = baseLines(ctx->PrintMode);
    for (int p = 0; p < kz::kPlaneCount; ++p) {
        if (ctx->BitDepth[p] == 0) continue;
        ctx->LinePitch[p] = kz::wrap16(ctx->BitDepth[p] * kLineBytesPerBit);
        ctx->RingLines[p] = kz::wrap16(base + ctx->PlaneOffset[p]);
        for (int g = 0; g < blockCount(ctx, p); ++g) {
            BandBlock& block = ctx->Band[p][g];
            KRVSDisposeHNDL(&block.LineMemory);  // a store left from an earlier page
            block.LineMemory = KRVSNewHNDL(ctx->LinePitch[p] * kz::kLinesPerBandBlock);
            if (block.LineMemory == 0) {
                releaseTaken(ctx, p, g);
                return KZ_NO_MEMORY;
            }
            for (LineRecord& line : block.Line) {
                kz::setLineBytes(ctx, &line, 0);
                line.FirstByte = 0;
            }
        }
    }
    return 0;
}
