// Printer command generation: command frames, the page-level setting and feed
// commands, and the page-end reports.
//
// Every command is one frame: ESC "(" "z", a 16-bit little-endian length N
// (bytes after the length field: 5 + body), the head type high byte first,
// 0x00, a class byte, the command letter, the body.
#pragma once

#include <cstdint>

#include "kzrqo317/export.h"
#include "output/context.h"

namespace kz {

inline constexpr int kFrameHeaderSize = 10;
inline constexpr int kFrameLengthBase = 5;  // header bytes after the length field
inline constexpr int kLargestSettingBody = 7;  // "h"
inline constexpr std::int64_t kLongestFeedCommand = 0xFFFF;  // half lines a feed command's body carries

// Class byte of a command letter: 0 for page control and kick-off, 2 for
// feeds and data, 1 for settings and scan information.
constexpr uint8_t commandClass(uint8_t letter) {
    switch (letter) {
        case 'H': case 'N': case 'x': return 0;
        case 'm': case 'n': case 's': case 't': case 'u': return 2;
        default: return 1;
    }
}

}  // namespace kz

extern "C" {
struct HapsFrame;
}

namespace kz {

// Frames and appends one of the commands makeHAPS builds; 0 or -108.
std::int16_t sendCommand(OutputContext* ctx, std::uint8_t letter);
// Bytes of the frame sendCommand appends for the letter.
std::int32_t commandSize(OutputContext* ctx, std::uint8_t letter);

}  // namespace kz

extern "C" {

// One command being assembled: the ten header bytes of its frame, then the
// address of its body (owned by the caller, as is the record).
struct HapsFrame {
    uint8_t Header[kz::kFrameHeaderSize];
    const uint8_t* Body;
};

// Fills the length, letter and body of "H", "N", "a", "b", "d", "f", "h", "r",
// "m", "n".  The body address must point at storage of at least 7 bytes.
KZ_EXPORT int16_t makeHAPS(uint8_t letter, OutputContext* ctx, HapsFrame* frame);
// Writes the body of "a", "b", "d", "f", "h", "r"; returns the frame's length field N.
KZ_EXPORT int16_t make_setcmd(uint8_t letter, const OutputContext* ctx, HapsFrame* frame);
// Writes the body of the feed commands "m" and "n"; returns 8.
KZ_EXPORT int16_t make_ctrlcmd(uint8_t letter, const OutputContext* ctx, HapsFrame* frame);
// Appends one frame to the output, never split across blocks; 0, or -108
// with nothing appended.
KZ_EXPORT int16_t sendHAPS(OutputContext* ctx, HapsFrame* frame);

// Page-end reports.
KZ_EXPORT void setCommand_Smear(OutputContext* ctx);
KZ_EXPORT int16_t setCommand_noEdgeCnt(OutputContext* ctx);

}  // extern "C"
