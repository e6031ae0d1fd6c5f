// The kick-off command: tells the printer the page position (half raster
// lines, plus 352) at which the kick-off shift of the page's end happens.
#include "command/command.h"
#include "planning/planning.h"
#include "platform/field_width.h"

namespace {

constexpr int32_t kKickOffCommandShift = 352;

}  // namespace

int16_t makeKickOffInfo(OutputContext* ctx) {
    const uint32_t position = static_cast<uint32_t>(ctx->KickOffPos) + kKickOffCommandShift;
    const uint8_t body[4] = {kz::lowByte(position), kz::lowByte(position >> 8), kz::lowByte(position >> 16),
                             kz::lowByte(position >> 24)};
    HapsFrame frame{};
    frame.Header[3] = 9;  // length: five header bytes and the 4-byte position
    frame.Header[4] = 0;
    frame.Header[9] = 'x';
    frame.Body = body;
    return sendHAPS(ctx, &frame);
}
