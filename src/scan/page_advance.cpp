// Moving the page on between scans, and draining the scans a page still owes.
#include <algorithm>

#include "planning/pass_select.h"
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

// A scan over an empty store, under the normal rules, adds its feed order's
// entry to the feed, moves the pass and feed indices on by one and the
// position by the next entry's step (endScanData), and takes the next
// deletion step's lines: a cycle of PassNum such scans leaves the indices
// and the line target as they were and moves the rest on by the same sums
// each time.  What the last scans set besides (ScanPos, the current orders,
// LineCount) is set again by the cycle left to the scans themselves.
int64_t kz::skipEmptyCycles(OutputContext* ctx, int64_t* lines) {
    const uint32_t mode = ctx->PrintMode;
    const int n = ctx->PassNum;
    const bool ownDecider = mode <= 2 || mode == 11 || mode == 12 || mode == 14;
    if (kz::storeHoldsLines(ctx) || ownDecider || n < 1 || n > kz::kOrderLength) return 0;
    // The target a scan of the cycle leaves behind, so that the cycle's lines are its steps.
    if (ctx->LineTarget != static_cast<int16_t>(ctx->DeleteNzlOrder[ctx->FeedIndex]) / 2) return 0;

    int64_t cycleLines = 0, cycleFeed = 0, cycleAdvance = 0;
    for (int i = 0; i < n; ++i) {
        const int16_t feed = static_cast<int16_t>(ctx->FeedOrder[i]);
        const int16_t deletion = static_cast<int16_t>(ctx->DeleteNzlOrder[i]);
        if (deletion < 0) return 0;  // a step back: the scans' own tests decide
        cycleLines += deletion / 2;
        cycleFeed += ctx->FeedOrder[i];
        const int step = mode == 9 || mode == 10 ? (feed != 0 ? deletion / 2 : 0) : feed / 2;
        if (step < 0) return 0;  // positions go down: the edge test below would not hold
        cycleAdvance += step;
    }
    if (cycleLines <= 0) return 0;
    const int64_t cycles = *lines / cycleLines - 1;
    if (cycles <= 0) return 0;
    // Every skipped scan starts between here and where the cycles end.
    const int64_t end = ctx->RasterPos + cycles * cycleAdvance;
    if (end > INT32_MAX || !kz::normalRulesBetween(ctx, ctx->RasterPos, static_cast<int32_t>(end))) return 0;
    *lines -= cycles * cycleLines;
    ctx->FeedAmount += cycles * cycleFeed;
    ctx->RasterPos = static_cast<int32_t>(ctx->RasterPos + cycles * cycleAdvance);
    ctx->EdgeScanCount += static_cast<uint32_t>(cycles * n);
    return cycles * n;
}

uint16_t addFeedNum(OutputContext* ctx) {
    ctx->NowFeedOrder = setNowFeedOrder(ctx, ctx->RasterPos);
    return ctx->NowFeedOrder[ctx->FeedIndex];
}

namespace {

// Builds scans until the page position passes the page's last line (plus
// the colour planes' offset and a head's height); 0 or the first failure.
// The last line is never taken before the last inked one: a blank line
// numbered lower does not cut the page short.
int16_t drain(OutputContext* ctx, bool stopAtFailure) {
    const int64_t last = std::max<int64_t>(static_cast<int32_t>(ctx->CurLineNo), static_cast<int32_t>(ctx->PrevLineNo));
    const int64_t end = last + ctx->PlaneOffset[2] + 128;
    const int64_t bound = (end - ctx->RasterPos + 1) * kDrainScansPerLine + kDrainScansSlack;
    int16_t first = 0;
    for (int64_t scans = 0; ctx->RasterPos < end && scans < bound; ++scans) {
        const int16_t result = makeOutData(ctx);
        if (result == 0) continue;
        if (stopAtFailure) return result;
        if (first == 0) first = result;
    }
    return first;
}

}  // namespace

int16_t makeRestData(OutputContext* ctx, int32_t flag) {
    if (flag != 1) return 0;
    return drain(ctx, true);
}

int16_t kz::drainPage(OutputContext* ctx) { return drain(ctx, false); }
