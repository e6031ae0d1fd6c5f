// Nozzle clearing: up to which nozzle of the scan window the raster lines are
// printed for the last time, so the conversion can release them.  Borderless
// pages print with fewer nozzles near their edges; the same computation runs
// those edge phases: the top edge, the bottom edge with its 64-line shift of
// the window, and the kick-off at the page's end with its one-time shift.
//
// Positions compared with the edge limits are half raster lines:
// P = 2 x RasterPos + 256.  Halving rounds toward zero; results are 16-bit.
#include <algorithm>

#include "planning/pass_select.h"
#include "platform/field_width.h"

namespace {

constexpr uint8_t kTopEdge = 1, kBottomEdge = 2, kKickOff = 4;
constexpr int kBottomShift = 64;        // lines the window moves in the bottom phase
constexpr int kKickOffShift = 64;       // lines the window and page move at the kick-off
constexpr int kKickOffPhaseDelay = 248; // half lines from the kick-off shift to the kick-off phase
constexpr int kKickOffLastNzl = 119;

// Per print mode 0..15.
constexpr int16_t kTopBandHeight[16] = {320, 320, 120, 120, 120, 120, 120, 120,
                                        120, 120, 120, 320, 320, 320, 128, 128};
static_assert(std::ranges::all_of(kTopBandHeight, [](int16_t h) { return h >= 0; }));
constexpr int16_t kTopNozzleReserve[16] = {0, 0, 0, 0, 0, 60, 60, 60, 60, 60, 60, 0, 0, 0, 0, 60};
constexpr int16_t kKickOffEndMargin[16] = {0, 0, 0, 0, 0, 40, 50, 0, 40, 50, 50, 0, 0, 0, 0, 0};

constexpr int modeIndex(const OutputContext* ctx) { return ctx->PrintMode < 16 ? ctx->PrintMode : 0; }

// The band's pass count, kept to the 16 entries of an order.
int passCount(const OutputContext* ctx) { return std::clamp<int>(ctx->PassNum, 1, kz::kOrderLength); }

int edgePosition(const OutputContext* ctx) { return 2 * ctx->RasterPos + 256; }

// Order entry `i` steps after the current feed index, cyclically.
int ahead(const OutputContext* ctx, const uint16_t* order, int i) {
    return order[(ctx->FeedIndex + i) % passCount(ctx)];
}

// The normal rule, away from the page's edges.
int16_t normalClearPos(const OutputContext* ctx, const ScanInfo* scan) {
    const int n = passCount(ctx);
    switch (ctx->PrintMode) {
        case 0: case 1: case 11: case 12: return 320;
        case 14: return 128;
        case 2:
            if (scan->ScanNzlNum != 128) return 320;
            return kz::wrap16(ctx->FirstNzl + ctx->FeedOrder[(ctx->PassIndex + 1) % n] / 2);
        default: return kz::wrap16(ctx->FirstNzl + ctx->DeleteNzlOrder[(ctx->PassIndex + 1) % n] / 2);
    }
}

}  // namespace

int16_t getDelNzl_noEdge_Top(OutputContext* ctx) {
    const int n = passCount(ctx);
    const int mode = modeIndex(ctx);
    const int32_t limit = 2 * (kTopBandHeight[mode] + ctx->RasterPos);
    int32_t acc = ctx->TopLimitPos;
    int r = ctx->LastNzl + 1 - kTopNozzleReserve[mode] + ahead(ctx, ctx->TopDeleteNzlOrder, 1) / 2;
    int j = ctx->FeedIndex % n;
    for (int i = 0; i < n - 1 && acc < limit; ++i) {
        r -= (ctx->DeleteNzlOrder[j] - ctx->TopDeleteNzlOrder[j]) / 2;
        acc += ctx->DeleteNzlOrder[j];
        j = (n + j - 1) % n;
    }
    return kz::wrap16(r);
}

int16_t getDelNzl_noEdge_Btm(OutputContext* ctx) {
    const int n = passCount(ctx);
    int r = ctx->FirstNzl + ahead(ctx, ctx->DeleteNzlOrder, 1) / 2;
    int j = ctx->FeedIndex % n;
    for (uint32_t k = 0; k < ctx->EdgeScanCount && k < static_cast<uint32_t>(n - 1); ++k) {
        r += (ctx->DeleteNzlOrder[j] - ctx->BottomDeleteNzlOrder[j]) / 2;
        j = (n + j - 1) % n;
    }
    return kz::wrap16(r);
}

int16_t getDelNzl_KickOff(OutputContext* ctx) {
    const int n = passCount(ctx);
    const int h = ahead(ctx, ctx->KickOffDeleteNzlOrder, 1) / 2;
    int16_t r = kz::wrap16(ctx->FirstNzl + h);
    int j = ctx->FeedIndex % n;
    for (uint32_t k = 0; k < ctx->EdgeScanCount; ++k) {
        r = kz::wrap16(r + (ctx->KickOffDeleteNzlOrder[j] - ctx->KickOffFeedOrder[j]) / 2);
        j = (n + j - 1) % n;
    }
    if (r > kKickOffEndMargin[modeIndex(ctx)] + h) ctx->KickOffDone = 1;
    return r;
}

int16_t getClearRasterPos(OutputContext* ctx, ScanInfo* scan) {
    const uint8_t flags = ctx->NzlLimitFlags;
    if (flags == 0) return normalClearPos(ctx, scan);

    const int32_t p = edgePosition(ctx);
    const auto reachedKickOff = [&] { return static_cast<uint32_t>(ctx->KickOffPos) <= static_cast<uint32_t>(p); };

    if ((flags & kTopEdge) && p <= ctx->TopLimitPos + 2 * kTopBandHeight[modeIndex(ctx)]) {
        return getDelNzl_noEdge_Top(ctx);
    }

    if (ctx->KickOffArmed != 0) {
        if (ctx->KickOffDone != 0) {
            ctx->EdgeScanCount = static_cast<uint32_t>(ctx->PassNum);
            return getDelNzl_noEdge_Btm(ctx);
        }
        if (ctx->KickOffStartPos <= p) {
            if (ctx->KickOffActive == 0) {
                ctx->KickOffActive = 1;
                ctx->KickOffStartPos = p;
                ctx->EdgeScanCount = 0;
            }
            return getDelNzl_KickOff(ctx);
        }
        if (reachedKickOff()) {
            if (ctx->KickOffShifted == 0) {
                // The one-time kick-off shift: page and window move on by 64 lines.
                ctx->KickOffPos = p;
                scan->RasterBase += kKickOffShift;
                ctx->RasterPos += kKickOffShift;
                ctx->KickOffShifted = 1;
                ctx->FirstNzl = 0;
                ctx->LastNzl = kKickOffLastNzl;
                scan->WindowStart = kz::wrap16(scan->WindowStart - kKickOffShift);
                scan->WindowEnd = kz::wrap16(scan->WindowEnd - kKickOffShift);
                ctx->KickOffStartPos = ctx->KickOffPos + kKickOffPhaseDelay;
            }
            return kz::wrap16(ctx->FirstNzl + ahead(ctx, ctx->BottomDeleteNzlOrder, 1) / 2);
        }
    }

    if ((flags & kBottomEdge) && ctx->BottomLimitPos <= p) {
        bool inBottomPhase = true;
        if (ctx->BottomStarted == 0) {
            // The bottom phase begins only on a scan of an odd pass.
            if ((ctx->PassIndex & 1) == 0) {
                inBottomPhase = false;
            } else {
                ctx->BottomStarted = 1;
                ctx->BottomLimitPos = p;
                ctx->EdgeScanCount = 0;
            }
        }
        if (inBottomPhase) {
            int16_t r = getDelNzl_noEdge_Btm(ctx);
            if (ctx->EdgeScanCount < static_cast<uint32_t>(ctx->PassNum) || scan->WindowStart <= 63 ||
                ((flags & kKickOff) && reachedKickOff())) {
                return r;
            }
            // After a full band of bottom scans the window moves up by 64 lines.
            scan->ScanNzlNum = 64;
            scan->RasterBase += kBottomShift;
            scan->WindowStart = kz::wrap16(scan->WindowStart - kBottomShift);
            scan->WindowEnd = kz::wrap16(scan->WindowEnd - kBottomShift);
            r = kz::wrap16(r - kBottomShift);
            if (flags & kKickOff) ctx->KickOffArmed = 1;
            return r;
        }
    }
    return normalClearPos(ctx, scan);
}

// The rules above and the order choice leave the normal ones only at a
// position at or above the top band's end or at the bottom limit, or once a
// bottom or kick-off phase has begun.
bool kz::normalRulesBetween(const OutputContext* ctx, int32_t from, int32_t to) {
    const uint8_t flags = ctx->NzlLimitFlags;
    if (flags == 0) return true;
    if (ctx->BottomStarted != 0 || ctx->KickOffArmed != 0 || ctx->KickOffActive != 0 || ctx->KickOffDone != 0) {
        return false;
    }
    const int64_t first = 2 * int64_t{from} + 256, last = 2 * int64_t{to} + 256;
    // The top band ends below the orders' top limit.
    if ((flags & kTopEdge) && first <= ctx->TopLimitPos + 2 * kTopBandHeight[modeIndex(ctx)]) return false;
    return !((flags & kBottomEdge) && ctx->BottomLimitPos <= last);
}
