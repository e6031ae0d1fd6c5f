// Page start: the first inked line of a page sends the page's setting
// commands and fixes where the page's first scan stands.
#include <initializer_list>

#include "command/command.h"
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

}  // namespace

int16_t InitPage(OutputContext* ctx, const RasterInfo*) {
    for (uint8_t letter : {'H', 'a', 'd', 'h', 'b', 'r', 'f'}) kz::sendCommand(ctx, letter);
    if (ctx->NzlLimitFlags & kKickOffFlag) makeKickOffInfo(ctx);

    uint16_t feed = kz::wrapU16((kStartFeed[ctx->PrintMode] + static_cast<int64_t>(ctx->CurLineNo)) * 2);
    if (ctx->MarginInfo != 1) feed = kz::wrapU16(feed + kMarginFeed);
    if (isLongPaper(ctx->PaperSize)) feed = kz::wrapU16(feed + kMarginFeed);
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
