#include "command/scan_commands.h"
#include "platform/field_width.h"

int16_t getBlkNum(const ScanInfo* scan, const OutputContext* ctx, int32_t scanDir) {
    const int d = kz::columnDivisor(ctx->PrintMode);
    const int16_t width = kz::wrap16(scan->ScanRight - scan->ScanLeft);
    const int16_t columns = kz::wrap16(width + (scanDir == 0 ? 48 : 80) / d);
    return kz::wrap16((columns + ctx->BlockWidth - 1) / ctx->BlockWidth);
}
