// The job's and the page's print settings: copying the caller's record,
// choosing the print mode, and filling the page's mode parameters.
#include <array>

#include "kzrqo317/result.h"
#include "param/param.h"
#include "platform/field_width.h"

namespace {

// Module record of the parameter module, carried in the binary and read by nothing.
[[gnu::used]] constexpr char kModuleRecord[] = "LANTERNS_KRPARM_2_70_01_010";

constexpr uint32_t X = kz::kNoPrintMode;
using ModeRow = std::array<uint32_t, kz::kMediaIndexCount>;
using ModeTable = std::array<ModeRow, kz::kQualityIndexCount>;

// Black-only modes by quality index (rows) and media index (columns).  Only
// media 0, 1, 5 and 10 offer black-only printing; the other columns are never read.
//                              M0  M1  M2 M3 M4 M5  M6 M7 M8 M9 M10 M11 M12
constexpr ModeTable MonoModeTbl = {{
    {11, X, X, X, X, X, X, X, X, X, X, X, X},
    {12, X, X, X, X, X, X, X, X, X, X, X, X},
    {12, 13, X, X, X, 13, X, X, X, X, 13, X, X},
    {13, 13, X, X, X, 13, X, X, X, X, 13, X, X},
    {X, X, X, X, X, X, X, X, X, X, X, X, X},
}};

// Colour modes by quality index (rows) and media index (columns).
//                                M0 M1 M2 M3 M4 M5 M6 M7 M8 M9 M10 M11 M12
constexpr ModeTable ColorModeTbl = {{
    {0, X, X, X, X, X, X, X, X, X, X, X, X},
    {1, X, 3, X, X, X, X, X, X, 5, X, X, X},
    {2, 3, X, 6, 6, 6, 6, 6, 6, 6, 3, 9, 6},
    {4, 4, 7, X, 9, 9, 9, 9, 9, 9, 4, X, 9},
    {X, X, X, X, X, X, 10, X, X, X, X, X, X},
}};

constexpr bool modesInRange(const ModeTable& table) {
    for (const ModeRow& row : table) {
        for (uint32_t mode : row) {
            if (mode >= kz::kModeCount && mode != kz::kNoPrintMode) return false;
        }
    }
    return true;
}
static_assert(modesInRange(MonoModeTbl) && modesInRange(ColorModeTbl));

}  // namespace

int16_t setPrintInfo(OutputContext* ctx, const PrintInfo* info) {
    ctx->MediaIndex = GetIndexMediaType(info->MediaType);
    ctx->MediaType = info->MediaType;
    ctx->QualityIndex = GetIndexPrintQuality(info->PrintQuality);
    ctx->BinMethod = kz::wrap16(GetBinMethod(info));
    ctx->PaperSize = kz::wrap16(GetPaperSize(info));
    ctx->MarginInfo = kz::wrap16(GetMarginInfo(info));
    return 0;
}

uint32_t GetColorMode(const PrintInfo* info, const OutputContext* ctx) {
    const bool monoMedia = kz::isPlainMedia(ctx->MediaIndex) || ctx->MediaIndex == 5;
    return (ctx->MarginInfo != 1 && monoMedia && info->Monochrome == 1) ? 0 : 1;
}

uint32_t GetPrintMode(const OutputContext* ctx) {
    if (ctx->QualityIndex >= kz::kQualityIndexCount || ctx->MediaIndex >= kz::kMediaIndexCount) {
        return kz::kNoPrintMode;
    }
    if (ctx->ColorMode == 0) return MonoModeTbl[ctx->QualityIndex][ctx->MediaIndex];
    uint32_t mode = ColorModeTbl[ctx->QualityIndex][ctx->MediaIndex];
    // Borderless on plain media prints the middle qualities in their own modes.
    if (ctx->MarginInfo == 1 && kz::isPlainMedia(ctx->MediaIndex)) {
        if (ctx->QualityIndex == 2) mode = 15;
        if (ctx->QualityIndex == 3) mode = 8;
    }
    return mode;
}

int16_t setPrintInfoPart(OutputContext* ctx, const PrintInfo* info) {
    ctx->ColorMode = GetColorMode(info, ctx);
    ctx->PrintMode = GetPrintMode(ctx);
    if (ctx->PrintMode == kz::kNoPrintMode) return KZ_UNSUPPORTED;

    const auto mode = static_cast<int32_t>(ctx->PrintMode);
    ctx->PassNum = kz::wrap16(GetPassNum(mode));
    ctx->ScanSpeed = kz::wrapU16(GetScanSpeed(ctx, ctx->MediaType));
    ctx->BlockWidth = 128;
    ctx->Direction = GetDirection(ctx);
    for (int16_t plane = 0; plane < kz::kPlaneCount; ++plane) {
        ctx->BitDepth[plane] = GetBitDepth(ctx, plane);
    }
    ctx->NzlNum = kz::wrapU16(GetNzlNum(mode));
    GetNzlPosition(ctx);
    ctx->ColorNum = kz::wrapU16(GetColorNum(mode));
    ctx->PowerMonitorInfo = GetPowerMonitorInfo(ctx);
    ctx->SmearInfo = GetSmearInfo(ctx);
    ctx->UnevenMonitorInfo = GetUnevenMonitorInfo();
    ctx->ScanDelayInfo = GetScanDelayInfo(ctx);
    ctx->ScanDelayTblNum = GetScanDelayTblNum(ctx);
    ctx->PageDelayTblNum = GetPageDelayTblNum(ctx);
    ctx->NzlLimitFlags = GetNzlLimitInfo(ctx);
    SetTopBottomNzlFunc(ctx);
    return 0;
}

// The registration value in pixels of the page: a quarter of the register,
// one more going backward, rounded toward zero to whole 8-pixel groups, and
// doubled at every quality but the 300-dpi one.
int16_t getOffsetColorCR(const OutputContext* ctx, int16_t plane, int16_t rowParity,
                         int16_t direction) {
    if (plane < 0 || plane >= kz::kPlaneCount) return 0;
    const int parity = rowParity != 0 ? 1 : 0;
    const int dir = direction != 0 ? 1 : 0;
    int16_t v = kz::wrap16(ctx->ColorOffsetReg[plane][parity][dir] / 4 + dir);
    if (v < 0) v = kz::wrap16(v + 7);
    v = kz::wrap16(v & ~7);
    if (ctx->QualityIndex != 0) v = kz::wrap16(v * 2);
    return v;
}
