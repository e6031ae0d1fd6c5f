// Page start: the first inked line of a page sends the page's setting
// commands and fixes where the page's first scan stands.
#include "command/command.h"
#include "kzrqo317/result.h"
#include "output/buffer_list.h"
#include "planning/planning.h"
#include "platform/field_width.h"

namespace {

// Feed before the first scan, raster lines, by print mode.
constexpr int16_t kStartFeed[16] = {48, 48, 5, 20, 20, 180, 180, 20, 180, 180, 180, 48, 48, 0, 48, 180};
// Extra feed (half lines) with margins, and again for the long paper sizes.
constexpr uint16_t kMarginFeed = 236;
constexpr bool isLongPaper(int16_t paperSize) {
    return (paperSize >= 46 && paperSize <= 49) || paperSize == 58 || paperSize == 59;
}
constexpr uint8_t kKickOffFlag = 4;
constexpr uint8_t kPageStartCommands[] = {'H', 'a', 'd', 'h', 'b', 'r', 'f'};
constexpr int32_t kKickOffCommandSize = kz::kFrameHeaderSize + 4;  // "x" and its 4-byte position

}  // namespace

int16_t InitPage(OutputContext* ctx, const RasterInfo*) {
    // The page's setting commands go out whole or the page does not start:
    // room for all of them is made first (a banner page's predecessor may
    // have left its last block nearly full).
    int32_t bytes = 0;
    for (uint8_t letter : kPageStartCommands) bytes += kz::commandSize(ctx, letter);
    if (ctx->NzlLimitFlags & kKickOffFlag) bytes += kKickOffCommandSize;
    if (!kz::reserveOutput(ctx, bytes)) return KZ_NO_MEMORY;

    for (uint8_t letter : kPageStartCommands) kz::sendCommand(ctx, letter);
    if (ctx->NzlLimitFlags & kKickOffFlag) makeKickOffInfo(ctx);

    int64_t feed = (kStartFeed[ctx->PrintMode] + static_cast<int64_t>(ctx->CurLineNo)) * 2;
    if (ctx->MarginInfo != 1) feed += kMarginFeed;
    if (isLongPaper(ctx->PaperSize)) feed += kMarginFeed;
    ctx->FeedAmount = feed;
    ctx->PrevLineNo = ctx->CurLineNo;

    const int32_t line = static_cast<int32_t>(ctx->CurLineNo);
    if (ctx->MarginInfo == 1 && line < ctx->TopLimitPos / 2) {
        // Borderless, starting inside the top edge: the edge phase is counted from here.
        ctx->TopLimitPos += 2 * line;
        const int16_t half = static_cast<int16_t>(ctx->TopFeedOrder[0] / 2);
        ctx->RasterPos = line - (ctx->NzlNum - half);
        ctx->PassIndex = 0;
        ctx->FeedIndex = 0;
        ctx->LineTarget = half;
    } else {
        ctx->RasterPos = line - (ctx->NzlNum - static_cast<int16_t>(ctx->FeedOrder[0]) / 2);
    }
    ctx->RasterPos += ctx->PrintMode == 2 ? 5 : ctx->NzlNum - ctx->LastNzl - 1;
    ctx->ScanPos = ctx->RasterPos;
    ctx->PageStartPending = 0;
    return 0;
}
