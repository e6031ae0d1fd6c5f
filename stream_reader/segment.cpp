#include "stream_reader/segment.h"

#include <bit>

#include "stream_reader/command.h"
#include "stream_reader/format.h"

namespace kzinspect {
namespace {

bool atTerminator(Bytes body, size_t at) {
    return body.size() - at >= 3 && body[at] == kTerminator[0] && body[at + 1] == kTerminator[1] &&
           body[at + 2] == kTerminator[2];
}

bool fail(Error& error, size_t offset, ErrorKind kind, std::string message) {
    error = {offset, kind, std::move(message)};
    return false;
}

// Checks a segment's codes; `out`, when given, receives the bytes.
bool readSegment(Bytes body, size_t at, size_t base, size_t limit, std::vector<uint8_t>* out,
                 size_t& size, size_t& next, Error& error) {
    if (out != nullptr) out->clear();
    size = 0;
    size_t pos = at;
    while (!atTerminator(body, pos)) {
        if (pos == body.size()) {
            return fail(error, base + pos, ErrorKind::SegmentUnterminated,
                        "block command ends before the segment's E2 00 80");
        }
        const uint8_t header = body[pos];
        if (header == 0x80) {
            return fail(error, base + pos, ErrorKind::PackBits80, "PackBits header 0x80");
        }
        // 0x00..0x7F: header + 1 literal bytes; 0x81..0xFF: the next byte 257 - header times.
        const bool literal = header < 0x80;
        const size_t count = literal ? size_t{header} + 1 : 257 - size_t{header};
        const size_t codeSize = literal ? count + 1 : 2;
        if (body.size() - pos < codeSize) {
            return fail(error, base + pos, ErrorKind::SegmentUnterminated,
                        "PackBits code runs past the end of the block command");
        }
        if (size + count > limit) {
            return fail(error, base + pos, ErrorKind::SegmentOverrun,
                        formatText("segment decodes past its block of %zu bytes", limit));
        }
        if (out != nullptr && literal) {
            out->insert(out->end(), body.begin() + pos + 1, body.begin() + pos + codeSize);
        } else if (out != nullptr) {
            out->insert(out->end(), count, body[pos + 1]);
        }
        size += count;
        pos += codeSize;
    }
    next = pos + 3;
    return true;
}

}  // namespace

bool decodeSegment(Bytes body, size_t at, size_t base, size_t limit, std::vector<uint8_t>& out,
                   size_t& next, Error& error) {
    size_t size = 0;
    return readSegment(body, at, base, limit, &out, size, next, error);
}

bool measureSegment(Bytes body, size_t at, size_t base, size_t limit, size_t& size, size_t& next,
                    Error& error) {
    return readSegment(body, at, base, limit, nullptr, size, next, error);
}

uint64_t addDots(Bytes data, int block, int groupBytes, bool backward,
                 std::span<uint32_t> histogram) {
    uint64_t dots = 0;
    const size_t firstColumn = size_t(block) * kBlockColumns;
    for (size_t i = 0; i < data.size(); ++i) {
        const unsigned byte = data[i];
        if (byte == 0) continue;
        dots += std::popcount(byte);
        const size_t group = i / size_t(groupBytes);
        const size_t half = (i % size_t(groupBytes)) % 2;
        const size_t base = firstColumn + group * kGroupColumns + half * 8;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if ((byte & (1u << bit)) == 0) continue;
            const size_t column = base + (backward ? bit : 7 - bit);
            if (column < histogram.size()) ++histogram[column];
        }
    }
    return dots;
}

}  // namespace kzinspect
