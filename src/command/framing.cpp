// Command frames and the page-level setting and feed commands.
#include <cstring>

#include "command/command.h"
#include "kzrqo317/platform.h"
#include "kzrqo317/result.h"
#include "output/buffer_list.h"
#include "param/param.h"
#include "platform/field_width.h"

namespace {

// Resolutions of the "d" command: 1200 across; 600 down, 300 at quality index 0.
constexpr uint16_t kHorizontalDpi = 1200;
constexpr uint16_t kVerticalDpi = 600;
constexpr uint16_t kDraftVerticalDpi = 300;

// "h" byte 0: these modes (and borderless pages) announce 2.
constexpr bool announcesEdgeMode(uint32_t mode) {
    return mode == 5 || mode == 6 || mode == 9 || mode == 10 || mode == 15;
}

uint8_t* body(HapsFrame* frame) { return const_cast<uint8_t*>(frame->Body); }

void putLE16(uint8_t* at, uint16_t v) {
    at[0] = kz::lowByte(v);
    at[1] = kz::lowByte(v >> 8);
}

}  // namespace

int16_t make_setcmd(uint8_t letter, const OutputContext* ctx, HapsFrame* frame) {
    uint8_t* b = body(frame);
    switch (letter) {
        case 'a':
            b[0] = 0x01;
            return 6;
        case 'b':
            b[0] = kz::lowByte(ctx->NativeSetValue);
            return 6;
        case 'd':
            putLE16(b, kHorizontalDpi);
            putLE16(b + 2, ctx->QualityIndex == 0 ? kDraftVerticalDpi : kVerticalDpi);
            return 9;
        case 'f':
            b[0] = getLoadPaperMode(ctx->PaperSize, ctx->MediaType);
            return 6;
        case 'h': {
            const bool borderless = ctx->MarginInfo == 1;
            b[0] = (borderless || announcesEdgeMode(ctx->PrintMode)) ? 2 : kz::lowByte(ctx->ColorMode ^ 1);
            b[1] = kz::lowByte(ctx->MediaType);
            b[2] = borderless ? 0x80 : 0x00;
            b[3] = kz::lowByte(ctx->QualityIndex);
            b[4] = kz::lowByte(ctx->ScanDelayTblNum);
            b[5] = kz::lowByte(ctx->PageDelayTblNum);
            b[6] = (ctx->PrintMode == 9 || ctx->PrintMode == 10) ? 1 : 0;
            return 12;
        }
        case 'r':
            putLE16(b, ctx->BlockWidth);
            return 7;
        default:
            return kz::kFrameLengthBase;  // not a setting: no body
    }
}

int16_t make_ctrlcmd(uint8_t, const OutputContext* ctx, HapsFrame* frame) {
    uint8_t* b = body(frame);
    putLE16(b, kz::wrapU16(ctx->FeedAmount));
    b[2] = 0x00;
    return 8;
}

int16_t makeHAPS(uint8_t letter, OutputContext* ctx, HapsFrame* frame) {
    int16_t length = kz::kFrameLengthBase;
    if (letter == 'm' || letter == 'n') {
        length = make_ctrlcmd(letter, ctx, frame);
    } else if (letter != 'H' && letter != 'N') {
        length = make_setcmd(letter, ctx, frame);
    }
    putLE16(frame->Header + 3, static_cast<uint16_t>(length));
    frame->Header[9] = letter;
    return 0;
}

int16_t sendHAPS(OutputContext* ctx, HapsFrame* frame) {
    const uint16_t length = static_cast<uint16_t>(frame->Header[3] | (frame->Header[4] << 8));
    const int32_t total = length + kz::kFrameLengthBase;
    uint8_t* out = kz::claimOutput(ctx, total);
    // A frame that cannot be appended is missing from the output: the
    // producing call reports it, whoever asked for the frame.
    if (out == nullptr) return kz::noteOutputFailure(ctx, KZ_NO_MEMORY);

    uint8_t* h = frame->Header;
    h[0] = 0x1B;
    h[1] = '(';
    h[2] = 'z';
    h[5] = kz::lowByte(static_cast<uint16_t>(ctx->HeadType) >> 8);
    h[6] = kz::lowByte(ctx->HeadType);
    h[7] = 0x00;
    h[8] = kz::commandClass(h[9]);
    KRVSCopyData(h, out, kz::kFrameHeaderSize);
    KRVSCopyData(frame->Body, out + kz::kFrameHeaderSize, total - kz::kFrameHeaderSize);
    return 0;
}

int16_t kz::sendCommand(OutputContext* ctx, uint8_t letter) {
    uint8_t body[kLargestSettingBody] = {};
    HapsFrame frame{};
    frame.Body = body;
    makeHAPS(letter, ctx, &frame);
    return sendHAPS(ctx, &frame);
}

int32_t kz::commandSize(OutputContext* ctx, uint8_t letter) {
    uint8_t body[kLargestSettingBody] = {};
    HapsFrame frame{};
    frame.Body = body;
    makeHAPS(letter, ctx, &frame);
    return kFrameLengthBase + (frame.Header[3] | (frame.Header[4] << 8));
}
