// Data segments of a block command: PackBits codes, each segment closed by the
// three bytes E2 00 80, and the dots they carry.
//
// Where a segment ends. A segment may be empty, and a scan's last block may be
// cut short to whole column groups, so its decoded size is not known before it
// is read. The terminator is recognised only at a code boundary: there, the
// bytes E2 00 80 always end the segment. They cannot be data: E2 00 is a valid
// code (31 zero bytes), but the header 0x80 that would have to follow it is
// never written, so "E2 00 80" at a code boundary can only be the terminator.
// Inside a code (a literal's bytes, a repeat's value byte) the same three bytes
// are ordinary data. Anywhere else a header 0x80 is an error, as is a code that
// would decode past the block or run past the end of the block command.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "stream_reader/frame.h"

namespace kzinspect {

inline constexpr uint8_t kTerminator[3] = {0xE2, 0x00, 0x80};

// Decodes the segment whose first code is body[at]; `body` is a block
// command's body, whose first byte lies at stream offset `base`. The segment
// may decode to at most `limit` bytes. On success `out` holds the decoded
// bytes and `next` the body position just after the terminator.
bool decodeSegment(Bytes body, size_t at, size_t base, size_t limit, std::vector<uint8_t>& out,
                   size_t& next, Error& error);

// The same checks without the decoded bytes: `size` is how many there are.
bool measureSegment(Bytes body, size_t at, size_t base, size_t limit, size_t& size, size_t& next,
                    Error& error);

// Walks the codes of a segment that passed those checks (its terminator
// left off): literal(at, bytes) for the bytes of each literal code,
// repeat(at, value, count) for each repeated byte, `at` being where they
// decode to.
template <typename Literal, typename Repeat>
void forEachRun(Bytes codes, Literal&& literal, Repeat&& repeat) {
    size_t at = 0;
    for (size_t pos = 0; pos < codes.size();) {
        const unsigned header = codes[pos];
        if (header < 0x80) {
            literal(at, codes.subspan(pos + 1, header + 1));
            at += header + 1;
            pos += header + 2;
        } else {
            repeat(at, codes[pos + 1], size_t{257 - header});
            at += 257 - header;
            pos += 2;
        }
    }
}

// Adds the dots of one decoded block segment to `histogram`, which counts dots
// per pixel column in firing order: from the scan's left edge for a forward
// scan, from its right edge for a backward one. The segment holds column
// groups of `groupBytes` bytes (two per nozzle: the group's first 8 pixels in
// firing order, then the next 8); within a byte the most significant bit is
// always the leftmost pixel, so a backward scan reads each byte from bit 0.
// Returns the number of dots; dots beyond the histogram's end are counted but
// not placed.
uint64_t addDots(Bytes data, int block, int groupBytes, bool backward,
                 std::span<uint32_t> histogram);

}  // namespace kzinspect
