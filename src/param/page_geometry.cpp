// The page's geometry: where the nozzles near the head's edges must be held
// back (borderless edges, kick-off at the page end), the area outside which
// borderless ink is counted, and the vertical offsets of the colour planes.
#include <array>
#include <cstring>

#include "param/param.h"
#include "platform/field_width.h"

namespace {

constexpr uint8_t kLimitTop = 1;
constexpr uint8_t kLimitBottom = 2;
constexpr uint8_t kKickOff = 4;
constexpr int32_t kNoLimit = 32767;
// Edge positions with margins lie this many half lines before the borderless ones.
constexpr int32_t kMarginShift = 212;
// The kick-off phase starts this many half lines after the kick-off shift.
constexpr int32_t kKickOffLead = 120;

// End of the top-edge phase by mode group, half raster lines.
constexpr std::array<int16_t, 5> TopLimitTbl = {368, 328, 308, 308, 308};
// Start of the bottom-edge phase and kick-off position by paper group, half raster lines.
constexpr std::array<int16_t, 9> BottomLimitTbl = {12654, 10764, 11822, 5614, 4622,
                                                   7032,  5822,  7032,  10622};
constexpr std::array<int16_t, 9> KickOffTbl = {13534, 11644, 12702, 6494, 5502,
                                               7912,  6702,  7912,  11502};

constexpr bool kickOffFollowsBottom() {
    for (std::size_t g = 0; g < KickOffTbl.size(); ++g) {
        if (KickOffTbl[g] != BottomLimitTbl[g] + 880) return false;
    }
    return true;
}
static_assert(kickOffFollowsBottom(), "the kick-off lies 880 half lines past the bottom edge");

constexpr int kNoGroup = -1;

// Modes that limit edge nozzles, by group of TopLimitTbl.
constexpr int modeGroup(uint32_t mode) {
    switch (mode) {
        case 15:
            return 0;
        case 5:
        case 8:
            return 1;
        case 6:
            return 2;
        case 9:
            return 3;
        case 10:
            return 4;
        default:
            return kNoGroup;
    }
}

// Paper size codes with edge limits, by group of BottomLimitTbl and KickOffTbl.
constexpr std::array<int16_t, 9> kPaperGroupCodes = {3, 8, 13, 20, 50, 51, 52, 55, 56};

constexpr int paperGroup(int16_t paperSize) {
    for (std::size_t g = 0; g < kPaperGroupCodes.size(); ++g) {
        if (kPaperGroupCodes[g] == paperSize) return static_cast<int>(g);
    }
    return kNoGroup;
}

// Area not counted as borderless overspray: left, right, top, bottom (inclusive).
struct NoEdgeAreaRow {
    int16_t paperSize;
    std::array<int16_t, 4> area;
};
constexpr std::array<NoEdgeAreaRow, 11> NoEdgeArea = {{
    {3, {47, 5008, 47, 7063}},
    {4, {47, 7063, 47, 5008}},
    {13, {47, 5147, 47, 6647}},
    {14, {47, 6647, 47, 5147}},
    {20, {47, 2410, 47, 3544}},
    {21, {47, 3544, 47, 2410}},
    {50, {47, 2150, 47, 3047}},
    {51, {47, 3047, 47, 4252}},
    {52, {47, 2447, 47, 3647}},
    {55, {47, 3047, 47, 4247}},
    {56, {47, 2150, 47, 6047}},
}};
constexpr std::array<int16_t, 4> kDefaultNoEdgeArea = {0, 5400, 0, 5400};

// Vertical offset of each plane by mode, raster lines: planes 0..2, 3, 4..6.
using PlaneOffsets = std::array<int16_t, kz::kPlaneCount>;
constexpr PlaneOffsets offsets(int16_t colour, int16_t extra) {
    return {colour, colour, colour, 0, extra, extra, extra};
}
constexpr std::array<PlaneOffsets, kz::kModeCount> OffsetSizeTbl = {
    offsets(128, 0),    // 0
    offsets(128, 0),    // 1
    offsets(176, 0),    // 2
    offsets(160, 0),    // 3
    offsets(160, 160),  // 4
    offsets(0, 0),      // 5
    offsets(0, 0),      // 6
    offsets(160, 160),  // 7
    offsets(0, 0),      // 8
    offsets(0, 0),      // 9
    offsets(0, 0),      // 10
    offsets(0, 0),      // 11
    offsets(0, 0),      // 12
    offsets(0, 0),      // 13
    offsets(128, 0),    // 14
    offsets(0, 0),      // 15
};
static_assert(sizeof(OffsetSizeTbl[0]) == sizeof(OutputContext::PlaneOffset));

constexpr int16_t kModeTwoLineTarget = 320;

}  // namespace

uint8_t GetNzlLimitInfo(const OutputContext* ctx) {
    const bool borderless = ctx->MarginInfo == 1;
    switch (ctx->MediaIndex) {
        case 0:
        case 1:
        case 10:
            return borderless ? kLimitTop | kLimitBottom : 0;
        case 2:
        case 3:
            return 0;
        default:
            return borderless ? kLimitTop | kLimitBottom | kKickOff : kLimitBottom | kKickOff;
    }
}

void SetTopBottomNzlFunc(OutputContext* ctx) {
    const int mode = modeGroup(ctx->PrintMode);
    const int paper = paperGroup(ctx->PaperSize);
    if (mode == kNoGroup || paper == kNoGroup) ctx->NzlLimitFlags = 0;
    const int32_t shift = ctx->MarginInfo == 1 ? 0 : kMarginShift;
    const uint8_t flags = ctx->NzlLimitFlags;

    if (flags == 0) {
        ctx->TopLimitPos = 0;
        ctx->BottomLimitPos = 0;
        ctx->KickOffPos = -1;
        ctx->KickOffStartPos = 0;
    } else {
        ctx->TopLimitPos = (flags & kLimitTop) != 0 ? TopLimitTbl[mode] : 0;
        if ((flags & kLimitBottom) != 0) {
            // Without a kick-off the bottom phase starts where the kick-off phase would.
            const int32_t bottom =
                (flags & kKickOff) != 0 ? BottomLimitTbl[paper] : KickOffTbl[paper] + kKickOffLead;
            ctx->BottomLimitPos = bottom - shift;
        } else {
            ctx->BottomLimitPos = kNoLimit;
        }
        if ((flags & kKickOff) != 0) {
            ctx->KickOffPos = KickOffTbl[paper] - shift;
            ctx->KickOffStartPos = KickOffTbl[paper] + kKickOffLead - shift;
        } else {
            ctx->KickOffPos = kNoLimit;
            ctx->KickOffStartPos = kNoLimit;
        }
    }
    ctx->BottomStarted = 0;
    ctx->KickOffShifted = 0;
    ctx->KickOffActive = 0;
    ctx->KickOffDone = 0;
    ctx->KickOffArmed = 0;
}

void SetNoEdgeDotCntInfo(OutputContext* ctx) {
    std::array<int16_t, 4> area = kDefaultNoEdgeArea;
    for (const NoEdgeAreaRow& row : NoEdgeArea) {
        if (row.paperSize == ctx->PaperSize) area = row.area;
    }
    for (std::size_t k = 0; k < area.size(); ++k) ctx->NoEdgeArea[k] = area[k];
    ctx->NoEdgeDotAmount = 0.0;
}

void SetOffsetSize(OutputContext* ctx) {
    if (ctx->PrintMode < kz::kModeCount) {
        std::memcpy(ctx->PlaneOffset, OffsetSizeTbl[ctx->PrintMode].data(),
                    sizeof(ctx->PlaneOffset));
    }
    // The first scan waits for the first feed (half lines) worth of lines.
    ctx->LineTarget =
        ctx->PrintMode == 2 ? kModeTwoLineTarget : kz::wrap16(kz::wrap16(ctx->FeedOrder[0]) / 2);
}
