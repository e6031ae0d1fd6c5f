// What a scan covers: the nozzle rows and plane slots that hold data, and its
// horizontal extent.  These look at the stored lines' records only, never at
// their pixel bytes.
#include <algorithm>

#include "param/param.h"
#include "platform/field_width.h"
#include "scan/scan.h"

namespace {

constexpr int kBlackSlot = 3;

}  // namespace

int16_t datExistChk(OutputContext* ctx, ScanInfo* scan) {
    int firstSlot = -1;
    bool black = false, colour = false;
    // An empty store has nothing to find: the walk is left out.
    const bool stored = kz::storeHoldsLines(ctx);
    for (int r = ctx->FirstNzl; stored && r <= ctx->LastNzl; ++r) {
        const int32_t line = ctx->RasterPos + r;
        if (line < 0) continue;
        for (int c = 0; c < kz::kPlaneCount; ++c) {
            const int slot = kz::slotOf(ctx, scan, c);
            if (slot < 0 || kz::lineRecord(ctx, c, line)->ByteCount == 0) continue;
            if (firstSlot < 0) {
                firstSlot = slot;
                scan->WindowStart = static_cast<int16_t>(r);
            }
            (slot == kBlackSlot ? black : colour) = true;
            scan->SlotHasData[slot] = 1;
            scan->WindowEnd = std::max<int16_t>(scan->WindowEnd, static_cast<int16_t>(r));
        }
    }
    if (firstSlot < 0) return 0;
    if (black && colour) return 3;
    return black ? 1 : 2;
}

int16_t datExistChk2(OutputContext* ctx, ScanInfo* scan) {
    for (int c = 0; c < kz::kPlaneCount; ++c) {
        const int slot = kz::slotOf(ctx, scan, c);
        if (slot >= 0 && scan->SlotHasData[slot] != 0) return 1;
    }
    return 0;
}

// Each row's stored span, moved by its nozzle column's offset and widened to
// whole 8-pixel groups, all in the 16-bit pixel arithmetic of the scan record.
void getScanWidth(OutputContext* ctx, ScanInfo* scan) {
    const int last = std::max<int>(scan->ScanNzlNum - 1, scan->WindowEnd);
    for (int r = scan->WindowStart; r <= last; ++r) {
        const int32_t line = ctx->RasterPos + r;
        if (line < 0) continue;
        for (int c = 0; c < kz::kPlaneCount; ++c) {
            const int slot = kz::slotOf(ctx, scan, c);
            if (slot < 0 || scan->SlotHasData[slot] == 0) continue;
            const LineRecord* record = kz::lineRecord(ctx, c, line);
            if (record->ByteCount == 0) continue;
            const int pixelsPerByte = 8 / ctx->BitDepth[c];
            const int16_t offset = getOffsetColorCR(ctx, static_cast<int16_t>(slot),
                                                    static_cast<int16_t>(kz::parityOf(slot, r)),
                                                    static_cast<int16_t>(ctx->ScanDir));
            const int16_t left = kz::wrap16(record->FirstByte * pixelsPerByte + offset);
            const int16_t right = kz::wrap16(left + record->ByteCount * pixelsPerByte);
            const int16_t leftGroup = kz::wrap16(left & ~7);
            const int16_t rightGroup = kz::wrap16((right + 7) & ~7);
            scan->ScanLeft = std::min(scan->ScanLeft, leftGroup);
            scan->ScanRight = std::max(scan->ScanRight, rightGroup);
        }
    }
}
