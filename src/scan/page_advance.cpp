// Moving the page on between scans, and draining the scans a page still owes.
#include "planning/planning.h"
#include "platform/field_width.h"
#include "scan/scan.h"

namespace {

// A drain needs one scan per feed step at most, and a cycle holds at most 16
// steps of which some may stand still; the bound only makes sure the drain
// ends whatever the state.
constexpr int64_t kDrainScansPerLine = 16;
constexpr int64_t kDrainScansSlack = 1024;

}  // namespace

void endScanData(OutputContext* ctx, ScanInfo* scan) {
    if (ctx->PrintMode == 14) {
        ctx->RasterPos += scan->ScanNzlNum;
        ctx->PassIndex = 0;
        ctx->FeedIndex = 0;
        ctx->LineCount = kz::wrap16(ctx->LineTarget - scan->ScanNzlNum);
    } else {
        const int passes = ctx->PassNum;
        ctx->FeedIndex = static_cast<uint16_t>((ctx->FeedIndex + 1) % passes);
        ctx->PassIndex = static_cast<uint16_t>((ctx->PassIndex + 1) % passes);
        ctx->NowFeedOrder = setNowFeedOrder(ctx, ctx->RasterPos);
        ctx->NowDeleteNzlOrder = setNowDeleteNzlOrder(ctx, ctx->RasterPos);
        const int16_t feed = static_cast<int16_t>(ctx->NowFeedOrder[ctx->FeedIndex]);
        const int16_t deletion = static_cast<int16_t>(ctx->NowDeleteNzlOrder[ctx->FeedIndex]);
        if (ctx->PrintMode == 9 || ctx->PrintMode == 10) {
            // The feed wanders by a half line around the deletion step; the
            // position follows the deletion order, and stays where the feed does.
            if (feed != 0) ctx->RasterPos += deletion / 2;
        } else {
            ctx->RasterPos += feed / 2;
        }
        ctx->LineTarget = static_cast<int16_t>(deletion / 2);
        ctx->LineCount = 0;
    }
    ctx->EdgeScanCount += 1;
}

uint16_t addFeedNum(OutputContext* ctx) {
    ctx->NowFeedOrder = setNowFeedOrder(ctx, ctx->RasterPos);
    return ctx->NowFeedOrder[ctx->FeedIndex];
}

int16_t makeRestData(OutputContext* ctx, int32_t flag) {
    if (flag != 1) return 0;
    const int64_t end = static_cast<int64_t>(static_cast<int32_t>(ctx->CurLineNo)) + ctx->PlaneOffset[2] + 128;
    const int64_t bound = (end - ctx->RasterPos + 1) * kDrainScansPerLine + kDrainScansSlack;
    for (int64_t scans = 0; ctx->RasterPos < end && scans < bound; ++scans) {
        if (const int16_t result = makeOutData(ctx); result != 0) return result;
    }
    return 0;
}
