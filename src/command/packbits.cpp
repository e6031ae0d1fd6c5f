// PackBits compression of scan blocks, and the encoding of a run of zeros.
//
// The encoder walks the input as maximal runs of equal bytes.  Runs of three
// or more become repeat codes; single bytes go into a literal; a pair joins an
// open literal unless that literal already holds 126 bytes, in which case it
// starts a new literal.  The printer's data stream depends on these exact
// choices, so they are kept even where another choice would be shorter.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "command/compression.h"
#include "platform/field_width.h"

namespace {

constexpr int32_t kMaxInput = 0xFFFF;         // the length is a 16-bit field
constexpr int32_t kMaxRepeat = 128;           // longest run one repeat code carries
constexpr uint32_t kLiteralFull = 127;        // header of a literal of 128 bytes
constexpr uint32_t kPairStartsLiteral = 125;  // a pair no longer joins from here on

constexpr uint8_t repeatHeader(int32_t run) {
    return kz::lowByte(1 - run);
}
static_assert(repeatHeader(2) == 0xFF && repeatHeader(kMaxRepeat) == 0x81,
              "repeat headers run from 0xFF (2 copies) to 0x81 (128 copies); 0x80 is never used");

// Index, in memory order, of the first non-zero byte of a non-zero word.
inline size_t firstSetByte(uint64_t w) {
    if constexpr (std::endian::native == std::endian::little) {
        return static_cast<size_t>(std::countr_zero(w)) / 8;
    } else {
        return static_cast<size_t>(std::countl_zero(w)) / 8;
    }
}

// Length of the run of in[pos] starting at pos, within [pos, n).  Long runs
// (blank stretches above all) are compared eight bytes at a time; no byte at
// or beyond n is read.
inline size_t runLength(const uint8_t* in, size_t pos, size_t n) {
    const uint8_t c = in[pos];
    size_t end = pos + 1;
    if (end == n || in[end] != c) return 1;  // most bytes of dense data
    const uint64_t pattern = c * 0x0101010101010101u;
    for (; end + 8 <= n; end += 8) {
        uint64_t w;
        std::memcpy(&w, in + end, 8);
        if (w != pattern) return end + firstSetByte(w ^ pattern) - pos;
    }
    while (end < n && in[end] == c) ++end;
    return end - pos;
}

// Marks the zero bytes of w: the lowest marked byte is w's first zero byte
// in little-endian order (bytes above it may be marked falsely).
constexpr uint64_t zeroBytes(uint64_t w) {
    return (w - 0x0101010101010101u) & ~w & 0x8080808080808080u;
}
static_assert(zeroBytes(0x1122330044556677u) == 0x0000008000000000u && zeroBytes(0x0101010101010101u) == 0 &&
              zeroBytes(0x8080808080808080u) == 0 && (zeroBytes(0x0100000000000000u) & 0xFF) == 0x80);

// Copies into the open literal the bytes from pos on that differ from their
// successors (runs of one), up to eight at a time, while the literal has room
// below its last byte.  pos must start a run; it still does on return.  Each
// step stores eight bytes and keeps those it copies: `out` has room for twice
// the input, and the output never outgrows twice the input read, so the
// spare bytes stay inside it and are overwritten by what follows.
inline size_t copySingles(const uint8_t* in, size_t pos, size_t n, uint8_t*& o, uint32_t& header) {
    while (header + 1 < kLiteralFull && pos + 9 <= n) {
        uint64_t here, next;
        std::memcpy(&here, in + pos, 8);
        std::memcpy(&next, in + pos + 1, 8);
        // The first byte equal to its successor starts a longer run.
        size_t singles = 8;
        if constexpr (std::endian::native == std::endian::little) {
            const uint64_t equal = zeroBytes(here ^ next);
            if (equal != 0) singles = static_cast<size_t>(std::countr_zero(equal)) / 8;
        } else {
            singles = 0;
            while (singles < 8 && in[pos + singles] != in[pos + singles + 1]) ++singles;
        }
        const size_t count = std::min<size_t>(singles, kLiteralFull - 1 - header);
        if (count == 0) break;
        std::memcpy(o, in + pos, 8);
        o += count;
        pos += count;
        header += static_cast<uint32_t>(count);
        if (count < 8) break;
    }
    return pos;
}

// Bit i set when in[i] == in[i + 1], for i < 64 (reads in[0] to in[64]).
inline uint64_t equalNeighbours(const uint8_t* in) {
    uint64_t mask = 0;
#if defined(__SSE2__)
    for (int k = 0; k < 4; ++k) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * k));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * k + 1));
        mask |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(here, next)))) << (16 * k);
    }
#else
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
        for (int k = 0; k < 8; ++k) {
            uint64_t here, next;
            std::memcpy(&here, in + 8 * k, 8);
            std::memcpy(&next, in + 8 * k + 1, 8);
            const uint64_t x = here ^ next;
            const uint64_t zero = ~(((x & kLow7) + kLow7) | x | kLow7);  // 0x80 in exactly the zero bytes
            mask |= (((zero >> 7) * 0x0102040810204080u) >> 56) << (8 * k);
        }
    } else {
        for (int i = 0; i < 64; ++i) mask |= static_cast<uint64_t>(in[i] == in[i + 1]) << i;
    }
#endif
    return mask;
}

// While the open literal holds fewer than this many bytes less one, singles
// and pairs only add to it: a single closes it at 128 bytes, a pair starts a
// new one from 126.
constexpr uint32_t kLiteralSettled = 124;

// Copies into the open literal what it takes from pos on up to the next run
// of three or more (singles and pairs), up to 63 bytes a step, while the
// literal stays below kLiteralSettled.  pos must start a run; it still does
// on return, and `atLongRun` tells whether that run is of three or more.
// Each step stores 64 bytes and keeps those it takes: as in copySingles, the
// spare bytes stay inside the output's room (72 bytes of input are left at
// least).
inline size_t copyLiteralRuns(const uint8_t* in, size_t pos, size_t n, uint8_t*& o, uint32_t& header,
                              bool& atLongRun) {
    atLongRun = false;
    while (header < kLiteralSettled && pos + 72 <= n) {
        if (in[pos] == in[pos + 1] && in[pos] == in[pos + 2]) {  // a run of three is next: nothing to take
            atLongRun = true;
            break;
        }
        const uint64_t equal = equalNeighbours(in + pos);
        const uint64_t triple = equal & (equal >> 1);  // bit 63 unknown, and clear
        const size_t longRun = triple != 0 ? static_cast<size_t>(std::countr_zero(triple)) : 63;
        size_t take = std::min<size_t>(longRun, kLiteralSettled - header);
        // A pair is never split: a cut before a run of three falls after a pair's first byte only
        // when that byte starts the pair.
        if (take > 0 && take < longRun && ((equal >> (take - 1)) & 1) != 0) --take;
        std::memcpy(o, in + pos, 64);
        o += take;
        pos += take;
        header += static_cast<uint32_t>(take);
        if (take < 63) {
            atLongRun = take == longRun;
            break;
        }
    }
    return pos;
}

// The output position and the open literal, whose header is kept in a
// register and stored when the literal closes.
struct Writer {
    uint8_t* o;
    uint8_t* literal = nullptr;
    uint32_t header = 0;

    void openLiteral(uint32_t h) {
        literal = o++;
        header = h;
    }
    void closeLiteral() {
        if (literal != nullptr) *literal = static_cast<uint8_t>(header);
        literal = nullptr;
    }
};

}  // namespace

int16_t packbits(uint8_t* out, const uint8_t* in, int32_t length) {
    if (length < 0 || length > kMaxInput) return -1;
    if (length == 0) return 0;  // nothing to read or write, whatever the pointers
    if (out == nullptr || in == nullptr) return -1;
    const size_t n = static_cast<size_t>(length);
    Writer w{out};
    size_t pos = 0;
    while (pos < n) {
        if (w.literal != nullptr) {
            bool atLongRun;
            pos = copyLiteralRuns(in, pos, n, w.o, w.header, atLongRun);
            if (!atLongRun) pos = copySingles(in, pos, n, w.o, w.header);
        }
        const uint8_t c = in[pos];
        size_t run = runLength(in, pos, n);
        pos += run;
        if (w.literal != nullptr) {
            if (run == 1) {
                *w.o++ = c;
                if (++w.header == kLiteralFull) w.closeLiteral();
                continue;
            }
            if (run == 2) {
                if (w.header >= kPairStartsLiteral) {
                    w.closeLiteral();
                    w.openLiteral(1);
                } else {
                    w.header += 2;
                }
                *w.o++ = c;
                *w.o++ = c;
                continue;
            }
            w.closeLiteral();
        }
        for (; run > kMaxRepeat; run -= kMaxRepeat) {
            *w.o++ = repeatHeader(kMaxRepeat);
            *w.o++ = c;
        }
        if (run >= 2) {
            *w.o++ = repeatHeader(static_cast<int32_t>(run));
        } else {
            w.openLiteral(0);
        }
        *w.o++ = c;
    }
    w.closeLiteral();
    const ptrdiff_t written = w.o - out;
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
    *o++ = repeatHeader(left);
    *o++ = 0;
    return static_cast<int16_t>(o - out);
}
