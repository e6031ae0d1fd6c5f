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
