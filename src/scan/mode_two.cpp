// Scan assembly of print mode 2: black in one pass over 320 nozzles, colour
// in two passes over 120 nozzles.  Each call prints a colour pass, a black
// scan, or moves on to where the next scan is worth making.
#include <algorithm>

#include "planning/planning.h"
#include "platform/field_width.h"
#include "scan/scan_assembly.h"

namespace {

constexpr int kHeadStep = 5;                      // K: the head's step between black and colour rows
constexpr int kColorLimitOffset[2] = {3, 5};      // colour window limit offset by pass index
constexpr int kColorSpan = 246;                   // colour lines a pass range covers past the other pass's feed
constexpr int kScanEnd = 502;                     // lines examined while no colour pass is due
constexpr int kBlackRows = 320;

enum Class : int16_t { kNothing = 0, kSkipPass = 1, kColorPass = 2, kBlackAboveColor = 3, kBlackNearTop = 4 };

}  // namespace

int16_t ModeChk_2(OutputContext* ctx, ScanInfo* scan) {
    const int pass = ctx->PassIndex & 1;
    const int a = static_cast<int16_t>(ctx->FeedOrder[pass ^ 1]) / 2;  // the other pass's half feed
    const int b = static_cast<int16_t>(ctx->FeedOrder[pass]) / 2;
    int limit = 128 - kColorLimitOffset[pass];
    int end = kScanEnd;
    bool colorPass = false, any = false;
    int firstBlack = -1, lowestColor = 640, colorWindowEnd = 0;

    // An empty store has nothing to find: the walk is left out.
    const bool stored = kz::storeHoldsLines(ctx);
    for (int i = 0; stored && i < end; ++i) {
        for (int c = 0; c < kz::kPlaneCount; ++c) {
            const bool isBlack = c == kz::kBlackPlane;
            if (isBlack && i >= kBlackRows) continue;
            if (!kz::lineHasData(ctx, c, i)) continue;
            if (isBlack) {
                scan->SlotHasData[c] = 1;
                if (firstBlack < 0) firstBlack = i;
            } else if (i < a + kColorSpan) {
                if (i < a || i <= 127) scan->SlotHasData[c] = 1;
                if (!colorPass) {
                    colorPass = true;
                    end = a + kColorSpan + b;
                }
            }
            if (!any) {
                any = true;
                if (i > 319) return kNothing;
                scan->WindowStart = static_cast<int16_t>(i);
            }
            scan->WindowEnd = std::max<int16_t>(scan->WindowEnd, static_cast<int16_t>(i));
            if (!isBlack) {
                lowestColor = std::min(lowestColor, i);
                colorWindowEnd = scan->WindowEnd;
            }
        }
    }

    if (colorPass) {
        if (lowestColor <= 119) limit = 120;
        if (scan->WindowStart >= limit) return kSkipPass;
        scan->WindowEnd = std::min<int16_t>(scan->WindowEnd, 119);
        if (firstBlack >= a + 64) scan->SlotHasData[kz::kBlackPlane] = 0;
        if (colorWindowEnd < a) {
            if (scan->SlotHasData[kz::kBlackPlane] != 0) {
                scan->WindowEnd = static_cast<int16_t>(a - 1);
                scan->ScanParity ^= 1;
            } else {
                scan->WindowEnd = static_cast<int16_t>(colorWindowEnd);
            }
        }
        return kColorPass;
    }
    if (scan->WindowStart > scan->WindowEnd) return kNothing;
    if (lowestColor >= a + kColorSpan && lowestColor < end && scan->SlotHasData[kz::kBlackPlane] != 0) {
        scan->ShiftNzl = static_cast<int16_t>(lowestColor);
        return kBlackAboveColor;
    }
    return scan->WindowStart >= 64 ? kSkipPass : kBlackNearTop;
}

int16_t makeOutData_2(OutputContext* ctx, ScanInfo* scan) {
    const int32_t start = ctx->RasterPos;
    const int feed0 = ctx->FeedOrder[0];
    const int16_t kind = ModeChk_2(ctx, scan);
    int16_t result = 0;
    bool print = false;
    int32_t blackAdvance = 0;

    switch (kind) {
        case kNothing:
            ctx->FeedAmount += 640 - feed0 - 2 * kHeadStep;
            ctx->RasterPos += 320 - feed0 / 2 - kHeadStep;
            ctx->PassIndex = 0;
            break;
        case kSkipPass: {
            const int f = ctx->FeedOrder[ctx->PassIndex];
            ctx->FeedAmount += f + 2 * kHeadStep;
            ctx->RasterPos += f / 2 + kHeadStep;
            ctx->PassIndex = 0;
            ctx->ScanPos = ctx->RasterPos;
            break;
        }
        case kColorPass:
            scan->ScanNzlNum = 128;
            scan->UseMask = 1;
            ctx->FeedAmount += ctx->FeedOrder[ctx->PassIndex];
            print = scan->WindowStart <= 127;
            break;
        case kBlackAboveColor: {
            scan->ScanNzlNum = 320;
            ctx->FeedAmount += ctx->FeedOrder[ctx->PassIndex] + 2 * scan->ShiftNzl - 620;
            scan->UseMask = 0;
            const int32_t shift = ctx->PlaneOffset[0] - scan->ShiftNzl + 326;
            ctx->RasterPos -= shift;
            scan->WindowStart = kz::wrap16(scan->WindowStart + shift);
            scan->WindowEnd = kz::wrap16(scan->WindowEnd + shift);
            print = scan->WindowStart <= 319;
            scan->WindowEnd = std::min<int16_t>(scan->WindowEnd, 319);
            break;
        }
        default:  // black close to the top
            if (scan->WindowStart != 0) {
                ctx->FeedAmount += 2 * scan->WindowStart;
                ctx->RasterPos += scan->WindowStart;
                ctx->ScanPos = ctx->RasterPos;
                break;
            }
            scan->ScanNzlNum = 320;
            ctx->FeedAmount += ctx->FeedOrder[ctx->PassIndex] + 382;
            blackAdvance = 320 - feed0 / 2 - kHeadStep;
            scan->UseMask = 0;
            scan->WindowEnd = std::min<int16_t>(scan->WindowEnd, 319);
            print = true;
            break;
    }

    const bool scanClass = kind == kColorPass || kind == kBlackAboveColor || (kind == kBlackNearTop && print);
    if (print) {
        scan->RasterBase = ctx->RasterPos;
        result = kz::printScan(ctx, scan, {true, true});
    }
    // The page moves on after a scan, a skipped scan, or a scan that could not
    // be printed (no memory), so the caller's scan loop always ends.
    if (scanClass) {
        ctx->ScanPos = ctx->RasterPos;
        if (kind == kColorPass) {
            ctx->PassIndex = static_cast<uint16_t>((ctx->PassIndex + 1) % ctx->PassNum);
            ctx->NowFeedOrder = setNowFeedOrder(ctx, ctx->RasterPos);
            ctx->RasterPos += static_cast<int16_t>(ctx->NowFeedOrder[ctx->PassIndex]) / 2;
        } else {
            ctx->PassIndex = 0;
            ctx->RasterPos += kind == kBlackAboveColor ? 320 - feed0 / 2 - kHeadStep : blackAdvance;
            ctx->FeedAmount += 2 * kHeadStep;
        }
    }
    ctx->LineTarget = kz::wrap16(ctx->RasterPos - start);
    ctx->LineCount = 0;
    return result;
}
