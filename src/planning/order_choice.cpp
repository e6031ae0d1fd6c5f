// Which variant of the feed and deletion orders applies at a page position.
#include "planning/planning.h"

namespace {

enum class Variant { Normal, Top, Bottom, KickOff };

constexpr uint8_t kTopEdge = 1, kBottomEdge = 2, kKickOff = 4;

// The ordered rules shared by both choices.  `clearKickOff` is the feed
// choice's one difference: when the kick-off is done it returns the kick-off
// order once more, clearing KickOffActive; the deletion choice goes straight
// to the bottom order.
Variant choose(OutputContext* ctx, int32_t rasterPos, bool clearKickOff) {
    const uint8_t flags = ctx->NzlLimitFlags;
    const int32_t edge = 2 * rasterPos + 256;  // half raster lines
    if (flags == 0) return Variant::Normal;
    if ((flags & kTopEdge) && edge < ctx->TopLimitPos) return Variant::Top;
    if ((flags & kKickOff) && ctx->KickOffDone != 0) {
        if (clearKickOff && ctx->KickOffActive != 0) {
            ctx->KickOffActive = 0;
            return Variant::KickOff;
        }
        return Variant::Bottom;
    }
    if ((flags & kKickOff) && ctx->KickOffActive != 0) return Variant::KickOff;
    if ((flags & kBottomEdge) && ctx->BottomLimitPos <= edge && ctx->BottomStarted != 0) return Variant::Bottom;
    return Variant::Normal;
}

}  // namespace

uint16_t* setNowFeedOrder(OutputContext* ctx, int32_t rasterPos) {
    switch (choose(ctx, rasterPos, true)) {
        case Variant::Top: return ctx->TopFeedOrder;
        case Variant::Bottom: return ctx->BottomFeedOrder;
        case Variant::KickOff: return ctx->KickOffFeedOrder;
        case Variant::Normal: break;
    }
    return ctx->FeedOrder;
}

uint16_t* setNowDeleteNzlOrder(OutputContext* ctx, int32_t rasterPos) {
    switch (choose(ctx, rasterPos, false)) {
        case Variant::Top: return ctx->TopDeleteNzlOrder;
        case Variant::Bottom: return ctx->BottomDeleteNzlOrder;
        case Variant::KickOff: return ctx->KickOffDeleteNzlOrder;
        case Variant::Normal: break;
    }
    return ctx->DeleteNzlOrder;
}
