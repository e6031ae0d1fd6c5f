// The reports at a page's end: the smear level of each band of the page, and
// the amount of ink printed beyond the paper's edges in borderless printing.
#include <algorithm>
#include <array>
#include <cmath>

#include "command/scan_commands.h"
#include "platform/field_width.h"

namespace {

constexpr int kBandRows = 10;            // counter rows per reported band
constexpr int kLinesPerBand = 1120;      // page lines per reported band
constexpr int kBands = kz::kSmearBands / kBandRows;
static_assert(kz::kSmearBands % kBandRows == 0);

// Smear level sent for a band, [quality index][level][media index].  Only
// plain paper and the two media that share its table (indices 0, 1, 10) report.
constexpr uint16_t smearLevel(int quality, int level, int media) {
    if (level == 0 || (media != 0 && media != 1 && media != 10)) return 0;
    constexpr uint16_t kByQuality[5][2] = {{1, 2}, {1, 2}, {3, 5}, {4, 6}, {4, 6}};
    return kByQuality[quality][level - 1];
}
constexpr auto SmearLevelTbl = [] {
    std::array<std::array<std::array<uint16_t, 13>, 3>, 5> table{};
    for (int q = 0; q < 5; ++q)
        for (int l = 0; l < 3; ++l)
            for (int m = 0; m < 13; ++m) table[q][l][m] = smearLevel(q, l, m);
    return table;
}();
static_assert(SmearLevelTbl[2][2][10] == 5 && SmearLevelTbl[3][1][0] == 4 && SmearLevelTbl[0][2][4] == 0);

constexpr uint32_t kLevelTwoAbove = 8959;
constexpr uint32_t kLevelOneFrom = 5800;

// The weight of a colour dot in the borderless count.
constexpr double kColorDotWeight = 2.176;

}  // namespace

int16_t GetDotCountLevel(const OutputContext* ctx, int16_t band) {
    uint32_t most = 0;
    for (int row = band * kBandRows; row < (band + 1) * kBandRows; ++row) {
        if (row < 0 || row >= kz::kSmearBands) continue;
        for (uint32_t count : ctx->SmearDotCount[row]) most = std::max(most, count);
    }
    if (most > kLevelTwoAbove) return 2;
    return most >= kLevelOneFrom ? 1 : 0;
}

// One "l" command per band of the page, at most the bands the counters hold.
void setCommand_Smear(OutputContext* ctx) {
    const int32_t lines = static_cast<int32_t>(ctx->CurLineNo);
    const int bands = std::clamp((lines + kLinesPerBand - 1) / kLinesPerBand, 0, kBands);
    for (int i = 0; i < bands; ++i) {
        const int level = GetDotCountLevel(ctx, static_cast<int16_t>(i));
        const uint8_t body[2] = {kz::lowByte(i),
                                 kz::lowByte(SmearLevelTbl[ctx->QualityIndex % 5][level][ctx->MediaIndex % 13])};
        HapsFrame frame{};
        frame.Header[3] = 7;
        frame.Header[9] = 'l';
        frame.Body = body;
        sendHAPS(ctx, &frame);
    }
}

int16_t setCommand_noEdgeCnt(OutputContext* ctx) {
    const auto count = static_cast<uint64_t>(static_cast<int64_t>(std::trunc(ctx->NoEdgeDotAmount / kColorDotWeight)));
    const uint8_t body[8] = {0, 0, 0, 0, kz::lowByte(count), kz::lowByte(count >> 8), kz::lowByte(count >> 16),
                             kz::lowByte(count >> 24)};
    HapsFrame frame{};
    frame.Header[3] = 13;
    frame.Header[9] = 'v';
    frame.Body = body;
    return sendHAPS(ctx, &frame);
}
