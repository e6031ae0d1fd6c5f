#include "stream_reader/frame.h"

#include <array>

#include "stream_reader/format.h"

namespace kzinspect {
namespace {

// Every command the printer takes. Class 0 starts or ends a page, class 2
// moves paper or carries data, class 1 is everything else.
constexpr std::array<LetterInfo, 17> kLetters{{
    {'H', 0, 5, "page start"},
    {'N', 0, 5, "page end"},
    {'x', 0, 9, "kick-off"},
    {'a', 1, 6, "setting a"},
    {'b', 1, 6, "setting b"},
    {'d', 1, 9, "resolution"},
    {'f', 1, 6, "paper loading"},
    {'h', 1, 12, "print settings"},
    {'r', 1, 7, "block width"},
    {'o', 1, 15, "scan information"},
    {'p', 1, 8, "nozzle information"},
    {'i', 1, 8, "heat trigger"},
    {'l', 1, 7, "smear level"},
    {'v', 1, 13, "borderless count"},
    {'m', 2, 8, "first feed"},
    {'n', 2, 8, "feed"},
    {'s', 2, -1, "data block"},
}};

bool fail(Error& error, size_t offset, ErrorKind kind, std::string message) {
    error = {offset, kind, std::move(message)};
    return false;
}

}  // namespace

const char* errorKindName(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Truncated:
            return "truncated";
        case ErrorKind::BytesBetweenFrames:
            return "bytes-between-frames";
        case ErrorKind::BadLength:
            return "bad-length";
        case ErrorKind::BadHeadType:
            return "bad-head-type";
        case ErrorKind::UnknownLetter:
            return "unknown-letter";
        case ErrorKind::ClassMismatch:
            return "class-mismatch";
        case ErrorKind::WrongLength:
            return "wrong-length";
        case ErrorKind::BadValue:
            return "bad-value";
        case ErrorKind::PackBits80:
            return "packbits-0x80";
        case ErrorKind::SegmentOverrun:
            return "segment-overrun";
        case ErrorKind::SegmentSize:
            return "segment-size";
        case ErrorKind::SegmentUnterminated:
            return "segment-unterminated";
        case ErrorKind::TrailingData:
            return "trailing-data";
        case ErrorKind::OutOfOrder:
            return "out-of-order";
        case ErrorKind::Incomplete:
            return "incomplete";
    }
    return "unknown";
}

const LetterInfo* findLetter(uint8_t letter) {
    for (const auto& info : kLetters) {
        if (info.letter == letter) return &info;
    }
    return nullptr;
}

uint16_t readLe16(Bytes bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

uint32_t readLe32(Bytes bytes, size_t at) {
    return static_cast<uint32_t>(readLe16(bytes, at)) |
           (static_cast<uint32_t>(readLe16(bytes, at + 2)) << 16);
}

bool readFrame(Bytes stream, size_t offset, Frame& frame, Error& error) {
    const size_t left = stream.size() - offset;
    static constexpr uint8_t kStart[3] = {0x1B, '(', 'z'};
    for (size_t i = 0; i < 3; ++i) {
        if (i == left) {
            return fail(error, offset, ErrorKind::Truncated,
                        formatText("stream ends inside a frame header (%zu bytes left)", left));
        }
        if (stream[offset + i] != kStart[i]) {
            return fail(error, offset, ErrorKind::BytesBetweenFrames,
                        formatText("byte 0x%02X at frame byte %zu where ESC ( z must start a frame",
                                   stream[offset + i], i));
        }
    }
    if (left < kHeaderSize) {
        return fail(error, offset, ErrorKind::Truncated,
                    formatText("stream ends inside a frame header (%zu bytes left)", left));
    }
    const uint16_t length = readLe16(stream, offset + 3);
    if (length < 5) {
        return fail(error, offset + 3, ErrorKind::BadLength,
                    formatText("length field %u is shorter than the 5 header bytes it covers",
                               unsigned{length}));
    }
    if (stream[offset + 5] != 0x24 || stream[offset + 6] != 0x70) {
        return fail(error, offset + 5, ErrorKind::BadHeadType,
                    formatText("head type %02X %02X, expected 24 70", stream[offset + 5],
                               stream[offset + 6]));
    }
    if (stream[offset + 7] != 0) {
        return fail(error, offset + 7, ErrorKind::BadHeadType,
                    formatText("header byte 7 is 0x%02X, expected 00", stream[offset + 7]));
    }
    const uint8_t cls = stream[offset + 8];
    const uint8_t letter = stream[offset + 9];
    const LetterInfo* info = findLetter(letter);
    if (info == nullptr) {
        return fail(error, offset + 9, ErrorKind::UnknownLetter,
                    formatText("unknown command letter 0x%02X", letter));
    }
    if (cls != info->cls) {
        return fail(error, offset + 8, ErrorKind::ClassMismatch,
                    formatText("class %u for letter '%c', which has class %u", unsigned{cls},
                               letter, unsigned{info->cls}));
    }
    if (info->length >= 0 && length != info->length) {
        return fail(error, offset + 3, ErrorKind::WrongLength,
                    formatText("letter '%c' has length %d, not %u", letter, info->length,
                               unsigned{length}));
    }
    if (size_t{length} + 5 > left) {
        return fail(error, offset, ErrorKind::Truncated,
                    formatText("frame of %zu bytes but only %zu left in the stream",
                               size_t{length} + 5, left));
    }
    frame.offset = offset;
    frame.cls = cls;
    frame.letter = letter;
    frame.length = length;
    frame.body = stream.subspan(offset + kHeaderSize, size_t{length} - 5);
    return true;
}

}  // namespace kzinspect
