// Scan assembly of the single-pass modes 0, 1, 11 and 12: 320 black nozzles,
// and colour on the first 128.  Each call either skips the blank lines that
// lead the window or prints one scan of 128 or 320 rows.
#include <algorithm>

#include "platform/field_width.h"
#include "scan/scan_assembly.h"

namespace {

constexpr int kWindowLines = 448;  // lines examined below the scan position
constexpr int kBlackLines = 320;   // black is examined on the head's 320 rows only
constexpr int kColorRows = 128;

enum Class : int16_t { kLeadingBlank = 0, kColorNearTop = 1, kColorDeep = 2, kBlackOnly = 3 };

}  // namespace

int16_t ModeChk_1(OutputContext* ctx, ScanInfo* scan) {
    bool any = false, black = false;
    int16_t colorClass = -1;
    // An empty store has nothing to find: the walk is left out.
    const bool stored = kz::storeHoldsLines(ctx);
    for (int i = 0; stored && i < kWindowLines; ++i) {
        for (int c = 0; c < kz::kPlaneCount; ++c) {
            const bool isBlack = c == kz::kBlackPlane;
            if (isBlack && i >= kBlackLines) continue;
            if (!kz::lineHasData(ctx, c, i)) continue;
            if (!any) {
                any = true;
                if (i != 0) {
                    scan->WindowStart = static_cast<int16_t>(i);
                    return kLeadingBlank;
                }
            }
            if (isBlack) {
                black = true;
                scan->SlotHasData[kz::kBlackPlane] = 1;
            } else {
                if (colorClass < 0) {
                    colorClass = kColorNearTop;
                    if (i > 255) {
                        colorClass = kColorDeep;
                        scan->ShiftNzl = static_cast<int16_t>(i - kColorRows);
                    }
                }
                if (i < kColorRows) scan->SlotHasData[c] = 1;
            }
            scan->WindowStart = std::min<int16_t>(scan->WindowStart, static_cast<int16_t>(i));
            scan->WindowEnd = static_cast<int16_t>(i);
        }
    }
    if (!any) {
        scan->WindowStart = kBlackLines;
        return kLeadingBlank;
    }
    if (colorClass < 0) return black ? kBlackOnly : kLeadingBlank;
    return colorClass;
}

int16_t makeOutData_1(OutputContext* ctx, ScanInfo* scan) {
    const int16_t kind = ModeChk_1(ctx, scan);
    if (kind == kLeadingBlank) {
        const int16_t lines = std::min<int16_t>(scan->WindowStart, kBlackLines);
        ctx->FeedAmount += 2 * lines;
        ctx->RasterPos += lines;
        ctx->LineTarget = lines;
        ctx->LineCount = 0;
        return 0;
    }
    switch (kind) {
        case kColorNearTop:
            scan->ScanNzlNum = kColorRows;
            ctx->FeedAmount += 256;
            scan->WindowEnd = std::min<int16_t>(scan->WindowEnd, kColorRows - 1);
            break;
        case kColorDeep: {
            // Colour starts deep: the 320-row scan moves up so that its colour
            // rows meet the colour lines.
            scan->ScanNzlNum = 320;
            ctx->FeedAmount += 2 * scan->ShiftNzl - 96;
            const int16_t shift = static_cast<int16_t>(320 - scan->ShiftNzl);
            scan->WindowStart = static_cast<int16_t>(scan->WindowStart + shift);
            scan->WindowEnd = std::min<int16_t>(static_cast<int16_t>(scan->WindowEnd + shift), 319);
            ctx->RasterPos -= shift;
            break;
        }
        default:  // black only
            scan->ScanNzlNum = 320;
            ctx->FeedAmount += 542;
            break;
    }
    scan->RasterBase = ctx->RasterPos;
    // A scan that cannot be printed (no memory) still moves the page on, so
    // the caller's scan loop ends.
    const int16_t result = kz::printScan(ctx, scan, {false, ctx->QualityIndex == 2});
    switch (kind) {
        case kColorNearTop:
            ctx->RasterPos += kColorRows;
            ctx->LineTarget = kColorRows;
            break;
        case kColorDeep:
            ctx->FeedAmount += 96;
            ctx->RasterPos += 320;
            ctx->LineTarget = scan->ShiftNzl;
            break;
        default:
            ctx->FeedAmount += 96;
            ctx->RasterPos += 320;
            ctx->LineTarget = 320;
            break;
    }
    ctx->LineCount = 0;
    return result;
}
