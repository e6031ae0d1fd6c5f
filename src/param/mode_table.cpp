// The fixed parameters of the sixteen print modes, and the speed, monitor and
// delay settings that follow from the mode, the media and the quality.
#include <array>

#include "param/param.h"

namespace {

using ModeValues = std::array<int16_t, kz::kModeCount>;

//                                   mode 0    1    2    3    4    5    6    7
//                                        8    9   10   11   12   13   14   15
constexpr ModeValues PassNum = {1, 1,  2,  2, 8, 4, 6, 6,  //
                                8, 12, 16, 1, 1, 4, 1, 2};
constexpr ModeValues NzlNum = {320, 320, 128, 128, 128, 128, 128, 128,  //
                               128, 128, 128, 320, 320, 320, 128, 128};
constexpr ModeValues FirstNzl = {0, 0, 0, 4, 4, 4, 4, 4,  //
                                 4, 4, 4, 0, 0, 0, 0, 4};
constexpr ModeValues LastNzl = {319, 319, 119, 123, 123, 123, 123, 123,  //
                                123, 123, 123, 319, 319, 319, 127, 123};
constexpr ModeValues ColorNum = {4, 4, 4, 4, 7, 3, 3, 4,  //
                                 6, 3, 3, 1, 1, 1, 4, 3};

// Bits per pixel by plane (rows) and mode (columns); 0: the plane is not printed.
//                                            mode 0  1  2  3  4  5  6  7  8  9 10 11 12 13 14 15
constexpr std::array<ModeValues, kz::kPlaneCount> BitDepth = {{
    {1, 1, 2, 2, 4, 4, 4, 2, 4, 0, 0, 0, 0, 0, 1, 2},  // plane 0
    {1, 1, 2, 2, 4, 4, 4, 2, 4, 0, 0, 0, 0, 0, 1, 2},  // plane 1
    {1, 1, 2, 2, 4, 4, 4, 2, 4, 0, 0, 0, 0, 0, 1, 2},  // plane 2
    {1, 1, 1, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1, 0},  // plane 3, black
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 4, 0, 0, 0, 0, 0},  // plane 4
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 4, 0, 0, 0, 0, 0},  // plane 5
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 4, 0, 0, 0, 0, 0},  // plane 6
}};

constexpr bool modeTablesConsistent() {
    for (int mode = 0; mode < kz::kModeCount; ++mode) {
        // 240 phases split evenly into every pass count.
        if (240 % PassNum[mode] != 0) return false;
        if (FirstNzl[mode] < 0 || LastNzl[mode] >= NzlNum[mode]) return false;
        int planes = 0;
        for (const ModeValues& plane : BitDepth) {
            const int16_t bits = plane[mode];
            if (bits != 0 && bits != 1 && bits != 2 && bits != 4) return false;
            if (bits != 0) ++planes;
        }
        if (planes == 0) return false;
    }
    return true;
}
static_assert(modeTablesConsistent());
// The black plane is 1 bit deep wherever it prints, and alone in the black-only modes.
static_assert(BitDepth[kz::kBlackPlane][11] == 1 && BitDepth[0][11] == 0);
static_assert(LastNzl[2] - FirstNzl[2] + 1 == 120 && LastNzl[3] - FirstNzl[3] + 1 == 120);

// Scan speed by quality index (rows) and media enumeration (columns).
//                                      media enumeration 0..15
using SpeedRow = std::array<int16_t, kz::kMediaEnumCount>;
constexpr std::array<SpeedRow, kz::kQualityIndexCount> ScanSpeedTbl = {{
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2},
    {1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2},
    {1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2},
    {1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2},
}};

// Delay table numbers sent to the printer, by quality index and media index.
using DelayRow = std::array<uint16_t, kz::kMediaIndexCount>;
//                                                      M0 M1 M2 M3 M4 M5 M6 M7 M8 M9 M10 M11 M12
constexpr std::array<DelayRow, kz::kQualityIndexCount> ScanDelayTbl = {{
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1},
    {3, 3, 1, 1, 1, 1, 1, 1, 1, 1, 3, 1, 1},
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
}};
constexpr std::array<DelayRow, kz::kQualityIndexCount> PageDelayTbl = {{
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0},
    {1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0},
    {1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0},
}};

constexpr bool validMode(int32_t mode) {
    return mode >= 0 && mode < kz::kModeCount;
}

// The context's indices as table rows and columns; the indices are only ever
// out of range in a context that setPrintInfo never filled.
bool validIndices(const OutputContext* ctx) {
    return ctx->QualityIndex < kz::kQualityIndexCount && ctx->MediaIndex < kz::kMediaIndexCount;
}

bool isMiddleQuality(uint32_t qualityIndex) {
    return qualityIndex >= 1 && qualityIndex <= 3;
}

}  // namespace

int32_t GetPassNum(int32_t mode) {
    return validMode(mode) ? PassNum[mode] : 0;
}

int32_t GetNzlNum(int32_t mode) {
    return validMode(mode) ? NzlNum[mode] : 0;
}

int32_t GetColorNum(int32_t mode) {
    return validMode(mode) ? ColorNum[mode] : 0;
}

int16_t GetBitDepth(OutputContext* ctx, int16_t plane) {
    const auto mode = static_cast<int32_t>(ctx->PrintMode);
    if (!validMode(mode) || plane < 0 || plane >= kz::kPlaneCount) return 0;
    return BitDepth[plane][mode];
}

void GetNzlPosition(OutputContext* ctx) {
    const auto mode = static_cast<int32_t>(ctx->PrintMode);
    if (!validMode(mode)) return;
    ctx->FirstNzl = FirstNzl[mode];
    ctx->LastNzl = LastNzl[mode];
}

// Black-only fine printing on special media runs every scan one way.
uint32_t GetDirection(OutputContext* ctx) {
    return (ctx->PrintMode == 13 && ctx->MediaIndex != 0 && ctx->QualityIndex == 3) ? 1 : 0;
}

int16_t GetScanSpeed(OutputContext* ctx, int16_t mediaType) {
    if (ctx->QualityIndex >= kz::kQualityIndexCount) return 0;
    const int16_t media = getPrintMediaEnum(mediaType);
    const int16_t tableSpeed = ScanSpeedTbl[ctx->QualityIndex][media];
    if (media == 5 || media == 10) return ctx->ColorMode == 0 ? 1 : tableSpeed;
    if (media == 0) return ctx->MarginInfo == 1 ? 2 : tableSpeed;
    return tableSpeed;
}

uint16_t GetPowerMonitorInfo(OutputContext* ctx) {
    return (ctx->MediaIndex == 0 && ctx->QualityIndex == 2) ? 1 : 0;
}

uint16_t GetSmearInfo(OutputContext* ctx) {
    if (!kz::isPlainMedia(ctx->MediaIndex) || !isMiddleQuality(ctx->QualityIndex)) return 0;
    for (auto& band : ctx->SmearDotCount) {
        for (uint32_t& count : band) count = 0;
    }
    return 1;
}

uint16_t GetUnevenMonitorInfo(void) {
    return 0;
}

uint16_t GetScanDelayInfo(OutputContext* ctx) {
    return (kz::isPlainMedia(ctx->MediaIndex) && ctx->ColorMode == 1 &&
            isMiddleQuality(ctx->QualityIndex))
               ? 1
               : 0;
}

uint16_t GetScanDelayTblNum(OutputContext* ctx) {
    return validIndices(ctx) ? ScanDelayTbl[ctx->QualityIndex][ctx->MediaIndex] : 0;
}

uint16_t GetPageDelayTblNum(OutputContext* ctx) {
    return validIndices(ctx) ? PageDelayTbl[ctx->QualityIndex][ctx->MediaIndex] : 0;
}
