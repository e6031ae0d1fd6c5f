// Trimming a raster line to the span that holds ink, in pixels and in bytes.
//
// Pixels are packed most significant bit first: with b bits per pixel a byte
// holds p = 8 / b pixels, pixel 0 in its top b bits.  Only the two end bytes
// of a span are tested pixel by pixel; the blank bytes between are skipped
// whole.  No byte outside [start / p, ceil(end / p)) is ever read, so a line
// may end exactly at the span's last byte.
#include <cstdint>
#include <cstring>

#include "command/compression.h"
#include "platform/field_width.h"

namespace {

// Per bit depth 1, 2, 4, 8 (indexed by log2 of the depth): the top b bits of a
// byte (its first pixel) and the low b bits (its last pixel).
constexpr uint8_t kFirstPixelMask[4] = {0x80, 0xC0, 0xF0, 0xFF};
constexpr uint8_t kLastPixelMask[4] = {0x01, 0x03, 0x0F, 0xFF};

constexpr bool masksAgree() {
    for (int d = 0; d < 4; ++d) {
        const int bits = 1 << d;
        if (kLastPixelMask[d] != (1 << bits) - 1) return false;
        if (kFirstPixelMask[d] != kz::lowByte(kLastPixelMask[d] << (8 - bits))) return false;
    }
    return true;
}
static_assert(masksAgree(), "each depth's masks cover its b top and b low bits");

struct Depth {
    int32_t bits;
    int32_t perByte;  // pixels per byte
    uint8_t firstMask;
    uint8_t lastMask;

    // Pixel at position q of a byte, counted from its first pixel.
    bool inked(uint8_t byte, int32_t q) const { return (byte & (firstMask >> (q * bits))) != 0; }
    // Pixel at position r of a byte, counted back from its last pixel.
    bool inkedFromEnd(uint8_t byte, int32_t r) const {
        return (byte & (lastMask << (r * bits))) != 0;
    }
};

// The depth record of a bit depth, or false for depths other than 1, 2, 4, 8.
bool depthOf(int16_t bits, Depth* depth) {
    for (int d = 0; d < 4; ++d) {
        if (bits == (1 << d)) {
            *depth = {bits, 8 / bits, kFirstPixelMask[d], kLastPixelMask[d]};
            return true;
        }
    }
    return false;
}

// The argument checks shared by both searches; start, count and their sum
// must stay non-negative as 16-bit values.
bool validSpan(const uint8_t* line, int16_t bits, const uint16_t* start, const uint16_t* count,
               Depth* depth) {
    if (line == nullptr || start == nullptr || count == nullptr) return false;
    if (!depthOf(bits, depth)) return false;
    return kz::wrap16(*start) >= 0 && kz::wrap16(*count) >= 0 && kz::wrap16(*start + *count) >= 0;
}

// The eight bytes at p as one word, whatever p's alignment.
inline uint64_t word(const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// Blank stretches are passed 32 bytes, then 8 bytes at a time.
constexpr int32_t kChunk = 32;
inline bool blankChunk(const uint8_t* p) {
    return (word(p) | word(p + 8) | word(p + 16) | word(p + 24)) == 0;
}

// First index in [k, stop) whose byte is non-zero, or stop.  Only bytes below
// stop are read.
int32_t skipBlankForward(const uint8_t* line, int32_t k, int32_t stop) {
    while (k + kChunk <= stop && blankChunk(line + k)) k += kChunk;
    while (k + 8 <= stop && word(line + k) == 0) k += 8;
    while (k < stop && line[k] == 0) ++k;
    return k;
}

// Last index in [floor, k) whose byte is non-zero; line[floor] must be
// non-zero.  Only bytes in [floor, k) are read.
int32_t skipBlankBackward(const uint8_t* line, int32_t k, int32_t floor) {
    while (k - kChunk >= floor && blankChunk(line + k - kChunk)) k -= kChunk;
    while (k - 8 >= floor && word(line + k - 8) == 0) k -= 8;
    --k;
    while (k > floor && line[k] == 0) --k;
    return k;
}

// The first inked pixel in [s, e), or e when there is none.
int32_t firstInked(const uint8_t* line, const Depth& d, int32_t s, int32_t e) {
    const int32_t p = d.perByte;
    int32_t i = s;
    if (s % p != 0) {
        const uint8_t byte = line[s / p];
        for (int32_t q = s % p; q < p && i < e; ++q, ++i) {
            if (d.inked(byte, q)) return i;
        }
    }
    if (i >= e) return e;
    const int32_t k = skipBlankForward(line, i / p, e / p);
    i = k * p;
    if (i >= e) return e;
    const uint8_t byte = line[k];
    for (int32_t q = 0; i < e; ++q, ++i) {
        if (d.inked(byte, q)) return i;
    }
    return e;
}

// One past the last inked pixel in [first, e); pixel `first` is inked.
int32_t endOfInk(const uint8_t* line, const Depth& d, int32_t first, int32_t e) {
    const int32_t p = d.perByte;
    if (e % p != 0) {
        const uint8_t byte = line[e / p];
        for (int32_t q = e % p - 1; q >= 0; --q) {
            if (d.inked(byte, q)) return (e / p) * p + q + 1;
        }
    }
    const int32_t k = skipBlankBackward(line, e / p, first / p);
    const uint8_t byte = line[k];
    int32_t r = 0;  // blank pixels at the byte's end
    while (!d.inkedFromEnd(byte, r)) ++r;
    return (k + 1) * p - r;
}

// search_edge once its arguments are known to be sound.
void trimSpan(const uint8_t* line, const Depth& d, uint16_t* start, uint16_t* count) {
    const int32_t s = *start;
    const int32_t e = s + *count;
    const int32_t i = (s == e) ? e : firstInked(line, d, s, e);
    if (i >= e) {
        *count = 0;
        return;
    }
    const int32_t j = endOfInk(line, d, i, e);
    *start = kz::wrapU16(i);
    *count = kz::wrapU16(j - i);
}

}  // namespace

int16_t search_edge(const uint8_t* line, int16_t bitsPerPixel, uint16_t* start, uint16_t* count) {
    Depth d;
    if (!validSpan(line, bitsPerPixel, start, count, &d)) return -1;
    trimSpan(line, d, start, count);
    return 0;
}

int16_t PixelRaster2ByteRaster(const uint8_t* line, int16_t bitsPerPixel, uint16_t* start,
                               uint16_t* count, uint8_t* edges) {
    // Callers may rely on the edge bytes being cleared whenever they are
    // given, a refused depth or span included.
    if (line == nullptr || start == nullptr || count == nullptr || edges == nullptr) return -1;
    edges[0] = 0;
    edges[1] = 0;
    Depth d;
    if (!validSpan(line, bitsPerPixel, start, count, &d)) return -1;
    trimSpan(line, d, start, count);
    if (*count == 0) {
        *start = 0;
        return 0;
    }
    const int32_t p = d.perByte;
    const int32_t s = *start;
    const int32_t e = s + *count;
    const int32_t first = s / p;
    const int32_t last = e / p;
    int32_t whole = last - first - 1;
    edges[0] = line[first] & (0xFF >> ((s % p) * d.bits));
    if (e % p != 0) edges[1] = line[last] & kz::lowByte(0xFF << (8 - (e % p) * d.bits));
    if (whole < 0) {  // the span lies within one byte
        whole = 0;
        edges[0] &= edges[1];
        edges[1] = 0;
    }
    *start = kz::wrapU16(first);
    *count = kz::wrapU16(whole);
    return 0;
}
