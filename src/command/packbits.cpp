// PackBits compression of scan blocks, and the encoding of a run of zeros.
//
// The encoder walks the input as maximal runs of equal bytes.  Runs of three
// or more become repeat codes; single bytes go into a literal; a pair joins an
// open literal unless that literal already holds 126 bytes, in which case it
// starts a new literal.  The printer's data stream depends on these exact
// choices, so they are kept even where another choice would be shorter.
#include <cstddef>
#include <cstdint>

#include "command/compression.h"
#include "platform/field_width.h"

namespace {

constexpr int32_t kMaxInput = 0xFFFF;        // the length is a 16-bit field
constexpr int32_t kMaxRepeat = 128;          // longest run one repeat code carries
constexpr uint8_t kLiteralFull = 127;        // header of a literal of 128 bytes
constexpr uint8_t kPairStartsLiteral = 125;  // a pair no longer joins from here on

constexpr uint8_t repeatHeader(int32_t run) {
    return kz::lowByte(1 - run);
}
static_assert(repeatHeader(2) == 0xFF && repeatHeader(kMaxRepeat) == 0x81,
              "repeat headers run from 0xFF (2 copies) to 0x81 (128 copies); 0x80 is never used");

// Length of the run of in[pos] starting at pos, within [pos, n).
size_t runLength(const uint8_t* in, size_t pos, size_t n) {
    const uint8_t c = in[pos];
    size_t end = pos + 1;
    while (end < n && in[end] == c) ++end;
    return end - pos;
}

}  // namespace

int16_t packbits(uint8_t* out, const uint8_t* in, int32_t length) {
    if (length < 0 || length > kMaxInput) return -1;
    if (length == 0) return 0;  // nothing to read or write, whatever the pointers
    if (out == nullptr || in == nullptr) return -1;
    const size_t n = static_cast<size_t>(length);
    uint8_t* o = out;
    uint8_t* literal = nullptr;  // header of the open literal, if any
    size_t pos = 0;
    while (pos < n) {
        const uint8_t c = in[pos];
        size_t run = runLength(in, pos, n);
        pos += run;
        if (literal != nullptr) {
            if (run == 1) {
                *o++ = c;
                if (++*literal == kLiteralFull) literal = nullptr;
                continue;
            }
            if (run == 2) {
                if (*literal >= kPairStartsLiteral) {
                    literal = o;
                    *o++ = 1;
                } else {
                    *literal += 2;
                }
                *o++ = c;
                *o++ = c;
                continue;
            }
            literal = nullptr;
        }
        for (; run > kMaxRepeat; run -= kMaxRepeat) {
            *o++ = repeatHeader(kMaxRepeat);
            *o++ = c;
        }
        if (run >= 2) {
            *o++ = repeatHeader(static_cast<int32_t>(run));
        } else {
            literal = o;
            *o++ = 0;
        }
        *o++ = c;
    }
    const ptrdiff_t written = o - out;
    // Incompressible input above about 32,000 bytes outgrows the 16-bit count.
    return written > INT16_MAX ? int16_t{-1} : static_cast<int16_t>(written);
}

int16_t LeftPack(uint8_t* out, int16_t zeros) {
    if (zeros < 0) return -1;
    if (zeros == 0) return 0;
    if (out == nullptr) return -1;
    uint8_t* o = out;
    int32_t left = zeros;
    for (; left > kMaxRepeat; left -= kMaxRepeat) {
        *o++ = repeatHeader(kMaxRepeat);
        *o++ = 0;
    }
    // One zero is a one-byte literal: its header 0x00 is 1 - 1 as well.
    if (left > 0) {
        *o++ = repeatHeader(left);
        *o++ = 0;
    }
    return static_cast<int16_t>(o - out);
}
