// Splitting a printer command stream into frames.
//
// A frame is ESC "(" "z", a 16-bit little-endian length N (the bytes after the
// length field), the head type 0x24 0x70, 0x00, a class byte, a command letter
// and N - 5 body bytes. Nothing may stand between two frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kzinspect {

using Bytes = std::span<const uint8_t>;

// Why a stream was rejected. The names are stable: scripts and tests match them.
enum class ErrorKind {
    Truncated,            // the stream ends inside a frame
    BytesBetweenFrames,   // something other than ESC ( z where a frame must start
    BadLength,            // a length field below the five header bytes
    BadHeadType,          // head type other than 24 70, or a non-zero byte 7
    UnknownLetter,        // a command letter this printer does not know
    ClassMismatch,        // class byte other than the letter's class
    WrongLength,          // a fixed-size command with another length
    BadValue,             // a body field outside the values the printer takes
    PackBits80,           // a PackBits header 0x80 inside a data segment
    SegmentOverrun,       // a data segment decoding past its block
    SegmentSize,          // a data segment that is not whole column groups
    SegmentUnterminated,  // a data segment running past its block command
    TrailingData,         // bytes after the last data segment of a block command
    OutOfOrder,           // a command where the page or scan structure has no place for it
    Incomplete,           // the stream ends inside a page or scan
};

const char* errorKindName(ErrorKind kind);

struct Error {
    size_t offset = 0;  // byte offset in the stream where the fault lies
    ErrorKind kind = ErrorKind::Truncated;
    std::string message;
};

struct Frame {
    size_t offset = 0;  // of the ESC byte
    uint8_t cls = 0;
    uint8_t letter = 0;
    uint16_t length = 0;  // the length field: body size + 5
    Bytes body;
    size_t size() const { return size_t{length} + 5; }
    size_t bodyOffset() const { return offset + 10; }
};

inline constexpr size_t kHeaderSize = 10;

// What the printer knows about a command letter.
struct LetterInfo {
    uint8_t letter;
    uint8_t cls;
    int length;  // fixed length field, or -1 for the variable-size data block "s"
    const char* name;
};

// The letter's entry, or nullptr for a letter the printer does not know.
const LetterInfo* findLetter(uint8_t letter);

// Reads the frame that must start at `offset`. Returns false with `error` set
// when the bytes there are not one whole, well-formed frame.
bool readFrame(Bytes stream, size_t offset, Frame& frame, Error& error);

uint16_t readLe16(Bytes bytes, size_t at);
uint32_t readLe32(Bytes bytes, size_t at);

}  // namespace kzinspect
