// The line converters' kernel.  It is compiled three times: by
// hv_convert.cpp for any processor, by hv_convert_ssse3.cpp with SSSE3 byte
// shuffles, which place the dots of 16 pixels at once, and by
// hv_convert_avx2.cpp, 32 at once.  The kernel has internal linkage so that
// the builds never stand in for each other at link time; only the data they
// share (PassDots) and the converter type are common names.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <type_traits>

#include "output/context.h"
#include "param/param.h"
#include "platform/field_width.h"
#include "scan/dot_index.h"
#include "scan/scan_info.h"

#if defined(__AVX2__)
#include <immintrin.h>
#elif defined(__SSSE3__)
#include <tmmintrin.h>
#endif

namespace kz::hv {

inline constexpr int kGroupPixels = 16;
// Entries past the table's end that repeat its start, so that the pixels of
// a byte, and the 32 pixels a shuffle reads, never wrap.
inline constexpr int kTablePad = 32;

// Which dots of one slot print in this scan's pass, by pass pattern table
// position, worked out once per scan rather than per line and pixel.
//  1 bit:     bit 7 - k of oneBit[oneBitIndex(q)] is set when the pixel at
//             position q + k fires: its phase modulo the pass count is the
//             scan's pass.  The bytes of a line sit 8 positions apart, so the
//             table is kept by position modulo 8: a line's bytes read it in
//             a row.
//  2, 4 bits: bit L - 1 of fires[q] is set when a pixel of level L (1 to 8;
//             the levels above 8 print as 8) fires at position q: the pass
//             select table.
inline constexpr unsigned kOneBitRow = kMaskTableLength / 8;
static_assert(kMaskTableLength % 8 == 0, "each position modulo 8 has a row of its own");
constexpr unsigned oneBitIndex(unsigned q) { return q % 8 * kOneBitRow + q / 8; }

struct PassDots {
    uint8_t oneBit[kMaskTableLength];
    uint8_t fires[kMaskTableLength + kTablePad];
};

// The fires bit of each pixel level: none for 0, bit L - 1 for 1 to 8, and
// bit 7 for the levels above 8, which print as 8.
inline constexpr std::array<uint8_t, 16> kFireBitOfLevel = {0, 1, 2, 4, 8, 16, 32, 64, 128, 128, 128, 128, 128, 128, 128, 128};
static_assert(kFireBitOfLevel[1] == 1 && kFireBitOfLevel[8] == 128 && kFireBitOfLevel[15] == kFireBitOfLevel[8]);

using Converter = int16_t (*)(OutputContext*, uint8_t*, const uint8_t*, const ScanInfo*, const LineRecord*, int, int,
                              bool, uint8_t, const PassDots&);

// The SSSE3 and AVX2 builds' converters; null where that build has none.
Converter ssse3ConverterFor(int bitDepth, bool backward);
Converter avx2ConverterFor(int bitDepth, bool backward);

// The tables a converter of `bits` bits per pixel reads, for `n` positions
// from table position `first` (the whole table by default).
void buildPassDots(PassDots* dots, const OutputContext* ctx, const ScanInfo* scan, int bits, bool useMask,
                   unsigned first = 0, unsigned n = kMaskTableLength);

}  // namespace kz::hv

namespace {

using kz::kMaskTableLength;
using kz::hv::kGroupPixels;
using kz::hv::PassDots;

constexpr int kPowerSegmentPixels = 160;   // PMDotCount and SmearDotCount columns
constexpr int kUnevenSegmentPixels = 800;  // UnevenDotCount
static_assert(kUnevenSegmentPixels % kPowerSegmentPixels == 0, "a power segment lies in one unevenness segment");
constexpr int kSmearBandLines = 112;

enum class Direction { Forward, Backward };

// Position in the pass pattern table of a line's pixels, byte by byte in the
// order the converter visits them: pixel p of the stored span has phase
// MaskTbl[(MaskOffset + p) mod 10800].  The table is read cyclically, so a
// span running past its end wraps to its start.
template <int Pixels, bool Descending>
class PhaseWalk {
public:
    // Starts at the span's byte `k`.
    PhaseWalk(unsigned offset, int k) : at_((offset + static_cast<unsigned>(k) * Pixels) % kMaskTableLength) {}

    // Table position of the current byte's first pixel.
    unsigned at() const { return at_; }

    // Moves on by `bytes` bytes (fewer than the table holds).
    void skip(int bytes) {
        const unsigned step = static_cast<unsigned>(bytes) * Pixels;
        if constexpr (Descending) {
            at_ = at_ >= step ? at_ - step : at_ + kMaskTableLength - step;
        } else {
            at_ += step;
            if (at_ >= static_cast<unsigned>(kMaskTableLength)) at_ -= kMaskTableLength;
        }
    }

    void next() { skip(1); }

private:
    unsigned at_;
};

// Set bits of each byte value.
constexpr std::array<uint8_t, 256> kBitCounts = [] {
    std::array<uint8_t, 256> t{};
    for (unsigned v = 0; v < 256; ++v) t[v] = static_cast<uint8_t>(std::popcount(v));
    return t;
}();
static_assert(kBitCounts[0] == 0 && kBitCounts[0xA5] == 4 && kBitCounts[0xFF] == 8);

// 1-bit source byte: the dots of this pass replace the output byte.
inline int16_t placeOneBit(uint8_t* out, uint8_t source, uint8_t fires) {
    const uint8_t dots = static_cast<uint8_t>(source & fires);
    *out = dots;
    return kBitCounts[dots];
}

// The dots of source byte `b` whose first pixel has the fires byte
// fires[0], first pixel highest.
template <int Bits>
inline unsigned levelDots(uint8_t b, const uint8_t* fires) {
    constexpr int kPixels = 8 / Bits;
    constexpr unsigned kLevelMask = (1u << Bits) - 1;
    unsigned dots = 0;
    #pragma GCC unroll 8
    for (int k = 0; k < kPixels; ++k) {
        const unsigned level = (b >> (8 - Bits * (k + 1))) & kLevelMask;
        dots = dots << 1 | ((fires[k] & kz::hv::kFireBitOfLevel[level]) != 0);
    }
    return dots;
}

// 2- or 4-bit source byte: its pixels' dots, first pixel highest, ORed into
// the output byte from bit `shift` + Pixels - 1 down.
template <int Bits>
inline int16_t placeLevels(uint8_t* out, uint8_t source, const uint8_t* fires, unsigned shift) {
    const unsigned dots = levelDots<Bits>(source, fires);
    *out = static_cast<uint8_t>(*out | dots << shift);
    return kBitCounts[dots];
}

// Whether the `Bytes` bytes from `bytes` on are all zero.
template <int Bytes>
inline bool blankBytes(const uint8_t* bytes) {
    if constexpr (Bytes % 8 == 0) {
        uint64_t any = 0;
        for (int k = 0; k < Bytes; k += 8) {
            uint64_t word;
            std::memcpy(&word, bytes + k, sizeof word);
            any |= word;
        }
        return any == 0;
    } else {
        unsigned any = 0;
        for (int k = 0; k < Bytes; ++k) any |= bytes[k];
        return any == 0;
    }
}

inline int bitCount(const OutputContext* ctx, uint8_t b) {
    return ctx->DotCountTbl != nullptr ? ctx->DotCountTbl[b] : kBitCounts[b];
}

// Source bytes a converter takes at once where they start a 16-pixel group:
// 16 in the AVX2 build, 8 in the others.
#if defined(__AVX2__)
constexpr int kChunkBytes = 16;
#else
constexpr int kChunkBytes = 8;
#endif

#if defined(__SSSE3__)
// The dots of the 8 (or, with AVX2, 16) source bytes at `block` (2 or 4
// bits a pixel), their pixels at ascending table positions from `fires`:
// output byte j of `word` (bits 8j to 8j + 7) holds pixels 8j to 8j + 7, the
// first highest; `count` is how many are set.  Each pixel's level picks its
// bit of the position's fires byte through one byte shuffle, 16 (or 32)
// pixels at a time.
struct BlockDots {
    uint64_t word;
    int count;
};

template <int Bits>
inline BlockDots blockDots8(const uint8_t* block, const uint8_t* fires) {
    const __m128i bitOfLevel = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kz::hv::kFireBitOfLevel.data()));
    // Within each half, the last pixel first: movemask then puts the first highest.
    const __m128i lastFirst = _mm_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
    const __m128i lowNibbles = _mm_set1_epi8(0x0F);
    const __m128i zero = _mm_setzero_si128();
    __m128i misses = zero;  // per lane, the pixels that print nothing
    auto dots16 = [&](__m128i select, const uint8_t* at) {
        const __m128i hit = _mm_and_si128(select, _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
        const __m128i none = _mm_cmpeq_epi8(hit, zero);
        misses = _mm_sub_epi8(misses, none);
        return ~static_cast<uint32_t>(_mm_movemask_epi8(_mm_shuffle_epi8(none, lastFirst))) & 0xFFFFu;
    };
    const __m128i raw = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(block));
    // The block's nibbles in memory order, high nibble of each byte first.
    const __m128i nibbles =
        _mm_unpacklo_epi8(_mm_and_si128(_mm_srli_epi16(raw, 4), lowNibbles), _mm_and_si128(raw, lowNibbles));
    uint32_t word;
    if constexpr (Bits == 4) {
        word = dots16(_mm_shuffle_epi8(bitOfLevel, nibbles), fires);
    } else {
        // A nibble holds two pixels: the first in its high bit pair.
        const __m128i bitOfFirst = _mm_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 4, 4, 4, 4);
        const __m128i bitOfSecond = _mm_setr_epi8(0, 1, 2, 4, 0, 1, 2, 4, 0, 1, 2, 4, 0, 1, 2, 4);
        const __m128i first = _mm_shuffle_epi8(bitOfFirst, nibbles);
        const __m128i second = _mm_shuffle_epi8(bitOfSecond, nibbles);
        word = dots16(_mm_unpacklo_epi8(first, second), fires) |
               dots16(_mm_unpackhi_epi8(first, second), fires + 16) << 16;
    }
    // Without POPCNT: the misses summed by one SAD, eight lanes per half.
    const __m128i sums = _mm_sad_epu8(misses, zero);
    const int missed = _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
    return {word, 64 / Bits - missed};  // 8 bytes of 8 / Bits pixels
}

#if defined(__AVX2__)
template <int Bits>
inline BlockDots blockDots16(const uint8_t* block, const uint8_t* fires) {
    const __m256i bitOfLevel =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kz::hv::kFireBitOfLevel.data())));
    const __m256i lastFirst =
        _mm256_broadcastsi128_si256(_mm_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8));
    const __m128i lowNibbles = _mm_set1_epi8(0x0F);
    const __m256i zero = _mm256_setzero_si256();
    __m256i misses = zero;
    auto dots32 = [&](__m256i select, const uint8_t* at) {
        const __m256i hit = _mm256_and_si256(select, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)));
        const __m256i none = _mm256_cmpeq_epi8(hit, zero);
        misses = _mm256_sub_epi8(misses, none);
        return static_cast<uint64_t>(~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_shuffle_epi8(none, lastFirst))));
    };
    const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
    const __m128i high = _mm_and_si128(_mm_srli_epi16(raw, 4), lowNibbles), low = _mm_and_si128(raw, lowNibbles);
    // The block's 32 nibbles in memory order (shuffles work within each 16-byte half).
    const __m256i nibbles = _mm256_set_m128i(_mm_unpackhi_epi8(high, low), _mm_unpacklo_epi8(high, low));
    uint64_t word;
    if constexpr (Bits == 4) {
        word = dots32(_mm256_shuffle_epi8(bitOfLevel, nibbles), fires);
    } else {
        const __m256i bitOfFirst =
            _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 4, 4, 4, 4));
        const __m256i bitOfSecond =
            _mm256_broadcastsi128_si256(_mm_setr_epi8(0, 1, 2, 4, 0, 1, 2, 4, 0, 1, 2, 4, 0, 1, 2, 4));
        const __m256i first = _mm256_shuffle_epi8(bitOfFirst, nibbles);
        const __m256i second = _mm256_shuffle_epi8(bitOfSecond, nibbles);
        // Interleaved within each half: pixels 0-15 and 32-47, then 16-31 and 48-63.
        const __m256i lows = _mm256_unpacklo_epi8(first, second), highs = _mm256_unpackhi_epi8(first, second);
        word = dots32(_mm256_permute2x128_si256(lows, highs, 0x20), fires) |
               dots32(_mm256_permute2x128_si256(lows, highs, 0x31), fires + 32) << 32;
    }
    const __m256i sums = _mm256_sad_epu8(misses, zero);
    const __m128i pair = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
    const int missed = _mm_cvtsi128_si32(pair) + _mm_extract_epi16(pair, 4);
    return {word, 128 / Bits - missed};  // 16 bytes of 8 / Bits pixels
}
#endif
#endif

// `Bytes` source bytes from the first of a 16-pixel group (at `group` in the
// HV buffer), as the byte-by-byte conversion places them; their table positions
// do not wrap.  Byte m is bytes[m] forward, bytes[-m] backward.  The dots
// placed.  With NoEdge, each byte's dots go to the borderless count in turn,
// at the byte's first pixel forward (its last backward); byte m is byte
// first + m of the raster line forward, first - m backward.
struct NoEdgeAt {
    int first;
    int32_t pageLine;
    int slot;
};

template <int Bits, bool Backward, bool NoEdge, int Bytes = kChunkBytes>
inline int convertChunk(uint8_t* group, int groupBytes, const uint8_t* bytes, unsigned at, const PassDots& pass,
                        bool useMask, OutputContext* ctx, const NoEdgeAt& edge) {
    constexpr int kPixels = 8 / Bits;
    constexpr int kPerGroup = kGroupPixels / kPixels;
    // The borderless count takes no black and nothing inside its area: most
    // chunks of a page add nothing to it, and skip it.
    bool edgeCounts = NoEdge;
    if constexpr (NoEdge) {
        const int lowest = Backward ? (edge.first - (Bytes - 1)) * kPixels + kPixels - 1 : edge.first * kPixels;
        const int highest = Backward ? edge.first * kPixels + kPixels - 1 : (edge.first + Bytes - 1) * kPixels;
        const int16_t* area = ctx->NoEdgeArea;
        edgeCounts = edge.slot != kz::kBlackPlane && !(area[2] <= edge.pageLine && edge.pageLine <= area[3] &&
                                                       area[0] <= lowest && highest <= area[1]);
    }
    auto countEdge = [&](int m, unsigned byteDots) {
        if (!edgeCounts || byteDots == 0) return;
        const int i = Backward ? edge.first - m : edge.first + m;
        const int x = Backward ? i * kPixels + kPixels - 1 : i * kPixels;
        kz::countNoEdgeDots(static_cast<int16_t>(byteDots), kz::wrap16(x), edge.pageLine, ctx->NoEdgeArea,
                            &ctx->NoEdgeDotAmount, edge.slot);
    };
    auto byteAt = [&](int m) { return Backward ? bytes[-m] : bytes[m]; };
    auto positionOf = [&](int m) { return Backward ? at - static_cast<unsigned>(m * kPixels) : at + m * kPixels; };
    int dots = 0;
#if defined(__SSSE3__)
    if constexpr (Bits == 1 && (Bytes == 8 || Bytes == 16)) {
        {
            // The bytes in memory order, from the lowest table position; their
            // fire bytes stand in a row (every dot fires without the mask).
            // Output pairs as below.  The dot count tables hold the bytes'
            // set bits, which the vector count gives too.
            const uint8_t* block = Backward ? bytes - (Bytes - 1) : bytes;
            const unsigned blockAt = Backward ? positionOf(Bytes - 1) : at;
            const uint8_t* fires = pass.oneBit + kz::hv::oneBitIndex(blockAt);
            __m128i placed;
            if constexpr (Bytes == 8) {
                placed = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(block));
                if (useMask) placed = _mm_and_si128(placed, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(fires)));
            } else {
                placed = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
                if (useMask) placed = _mm_and_si128(placed, _mm_loadu_si128(reinterpret_cast<const __m128i*>(fires)));
            }
            alignas(16) uint8_t out[16];
            _mm_store_si128(reinterpret_cast<__m128i*>(out), placed);
            #pragma GCC unroll 8
            for (int p = 0; p < Bytes / 2; ++p) {
                uint8_t* target = group + (Backward ? Bytes / 2 - 1 - p : p) * groupBytes;
                uint16_t pair;
                std::memcpy(&pair, out + 2 * p, sizeof pair);
                if constexpr (Backward) pair = static_cast<uint16_t>(pair << 8 | pair >> 8);
                uint16_t held;
                std::memcpy(&held, target, sizeof held);
                held = static_cast<uint16_t>(held | pair);
                std::memcpy(target, &held, sizeof held);
            }
            if (edgeCounts) {
                for (int m = 0; m < Bytes; ++m) countEdge(m, kBitCounts[out[Backward ? Bytes - 1 - m : m]]);
            }
            // Set bits by nibble, summed by one SAD (no POPCNT needed).
            const __m128i bitsOfNibble = _mm_setr_epi8(0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4);
            const __m128i lowNibbles = _mm_set1_epi8(0x0F);
            const __m128i counts =
                _mm_add_epi8(_mm_shuffle_epi8(bitsOfNibble, _mm_and_si128(placed, lowNibbles)),
                             _mm_shuffle_epi8(bitsOfNibble, _mm_and_si128(_mm_srli_epi16(placed, 4), lowNibbles)));
            const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
            return _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
        }
    }
#endif
    if constexpr (Bits == 1) {
        #pragma GCC unroll 8
        for (int m = 0; m < Bytes; ++m) {
            const uint8_t b = byteAt(m);
            if (b == 0) continue;
            uint8_t* out = group + (m / kPerGroup) * groupBytes + m % kPerGroup;
            int byteDots;
            if (useMask) {
                byteDots = placeOneBit(out, b, pass.oneBit[kz::hv::oneBitIndex(positionOf(m))]);
            } else {
                *out = b;
                byteDots = bitCount(ctx, b);
            }
            dots += byteDots;
            countEdge(m, static_cast<unsigned>(byteDots));
        }
#if defined(__SSSE3__)
    } else if constexpr (Bytes == 8 || (Bytes == 16 && kChunkBytes == 16)) {
        // The bytes in memory order, from the lowest table position: backward
        // that is the chunk's last byte, and output byte j goes where the
        // forward order puts byte nOut - 1 - j.
        constexpr int kOut = Bytes * kPixels / 8;
        const uint8_t* block = Backward ? bytes - (Bytes - 1) : bytes;
        const unsigned blockAt = Backward ? positionOf(Bytes - 1) : at;
        BlockDots placed{};
        if constexpr (Bytes == 8) {
            placed = blockDots8<Bits>(block, pass.fires + blockAt);
        } else {
#if defined(__AVX2__)
            placed = blockDots16<Bits>(block, pass.fires + blockAt);
#endif
        }
        const auto [word, count] = placed;
        // Two output bytes per group, a 16-bit word (x86 is little-endian):
        // backward, the groups come in the other order and each word's bytes
        // swap.
        #pragma GCC unroll 4
        for (int p = 0; p < kOut / 2; ++p) {
            uint8_t* target = group + (Backward ? kOut / 2 - 1 - p : p) * groupBytes;
            auto pair = static_cast<uint16_t>(word >> (16 * p));
            if constexpr (Backward) pair = static_cast<uint16_t>(pair << 8 | pair >> 8);
            uint16_t held;
            std::memcpy(&held, target, sizeof held);
            held = static_cast<uint16_t>(held | pair);
            std::memcpy(target, &held, sizeof held);
        }
        dots = count;
        if (edgeCounts) {
            for (int m = 0; m < Bytes; ++m) {
                const int b = Backward ? Bytes - 1 - m : m;  // byte of the block
                const int p = b * kPixels;                    // its first pixel
                countEdge(m, kBitCounts[(word >> (8 * (p / 8) + 8 - kPixels - p % 8)) & ((1u << kPixels) - 1)]);
            }
        }
#endif
    } else {
        // Output bytes of 8 pixels: Bits = 2 takes two source bytes each, Bits = 4 four.
        constexpr int kPerOut = 8 / kPixels;
        #pragma GCC unroll 8
        for (int d = 0; d < Bytes / kPerOut; ++d) {
            unsigned out = 0;
            #pragma GCC unroll 8
            for (int n = 0; n < kPerOut; ++n) {
                const int m = d * kPerOut + n;
                const unsigned bits = levelDots<Bits>(byteAt(m), pass.fires + positionOf(m));
                countEdge(m, kBitCounts[bits]);
                // Forward the first byte takes the highest bits, backward the lowest.
                out |= bits << (kPixels * (Backward ? n : kPerOut - 1 - n));
            }
            uint8_t* target = group + (d * kPerOut / kPerGroup) * groupBytes + (d * kPerOut % kPerGroup) / kPerOut;
            *target = static_cast<uint8_t>(*target | out);
            dots += kBitCounts[out];
        }
    }
    return dots;
}

template <int Bits, Direction Dir>
int16_t convertLine(OutputContext* ctx, uint8_t* buffer, const uint8_t* source, const ScanInfo* scan,
                    const LineRecord* record, int row, int slot, bool useMask, uint8_t flags, const PassDots& pass) {
    constexpr int kPixels = 8 / Bits;                  // pixels of a source byte
    constexpr int kPerGroup = kGroupPixels / kPixels;  // source bytes of a 16-pixel group
    constexpr bool kBackward = Dir == Direction::Backward;

    const int groupBytes = scan->ScanNzlNum & ~1;
    const int count = record->ByteCount;
    if (buffer == nullptr || source == nullptr || count == 0 || row < 0 || row >= groupBytes) return 0;

    const int offset = getOffsetColorCR(ctx, static_cast<int16_t>(slot), static_cast<int16_t>(row & 1),
                                        static_cast<int16_t>(ctx->ScanDir));
    const int firstByte = record->FirstByte;
    const int lastByte = firstByte + count - 1;
    // Position of the first byte visited, in source bytes from the scan's starting edge.
    const int start = kBackward ? (scan->ScanRight - (offset + lastByte * kPixels) - kPixels) / kPixels
                                : (offset + firstByte * kPixels - scan->ScanLeft) / kPixels;
    // Only the bytes whose position falls in the buffer's 63 blocks are visited.
    const int positions = ctx->BlockWidth * kz::kBlocksPerBuffer / kGroupPixels * kPerGroup;
    const int kBegin = std::max(0, -start);
    const int kEnd = std::min(count, positions - start);
    if (kBegin >= kEnd) return 0;

    // The smear band comes from the page position, not the scan's base line:
    // the two differ in scans shifted at the bottom edge.
    const int32_t bandLine = ctx->RasterPos + row;
    uint32_t* smearRow = bandLine >= 0 && bandLine / kSmearBandLines < kz::kSmearBands
                             ? ctx->SmearDotCount[bandLine / kSmearBandLines]
                             : nullptr;
    const int32_t pageLine = scan->RasterBase + row;

    uint8_t* const nozzleBytes = buffer + 2 * (row / 2);
    PhaseWalk<kPixels, kBackward> phases(record->MaskOffset, kBackward ? count - 1 - kBegin : kBegin);
    constexpr int kSegmentBytes = kPowerSegmentPixels / kPixels;
    const bool noEdge = (flags & kz::kCountNoEdge) != 0;
    int16_t result = 0;

    // Up to `most` chunks of `size` bytes from byte k on, which starts a
    // group, as many as fit before the run's end and the table's: their dots;
    // k and the walk move past them.
    auto chunksFrom = [&](auto noEdgeTag, auto size, int& k, int runEnd, int most) __attribute__((always_inline)) {
        constexpr bool kNoEdge = decltype(noEdgeTag)::value;
        constexpr int kBytes = decltype(size)::value;
        constexpr unsigned kStep = kBytes * kPixels;
        const unsigned first = phases.at();
        int n = std::min((runEnd - k) / kBytes, most);
        if constexpr (kBackward) {
            constexpr unsigned kSpan = (kBytes - 1) * kPixels;
            n = first < kSpan ? 0 : std::min<int>(n, static_cast<int>((first - kSpan) / kStep + 1));
        } else {
            n = std::min<int>(n, static_cast<int>((kMaskTableLength - first) / kStep));
        }
        int dots = 0;
        if (n <= 0) return dots;
        constexpr int kAdvance = kBackward ? -kBytes : kBytes;
        int i = kBackward ? lastByte - k : firstByte + k;  // byte index within the raster line
        const uint8_t* bytes = source + (i - firstByte);
        uint8_t* group = nozzleBytes + ((start + k) / kPerGroup) * groupBytes;
        unsigned at = first;
        for (int c = 0; c < n; ++c) {
            if (!blankBytes<kBytes>(kBackward ? bytes - (kBytes - 1) : bytes)) {
                result = 1;
                dots += convertChunk<Bits, kBackward, kNoEdge, kBytes>(group, groupBytes, bytes, at, pass, useMask,
                                                                       ctx, {i, pageLine, slot});
            }
            i += kAdvance;
            bytes += kAdvance;
            group += kBytes / kPerGroup * groupBytes;
            at = kBackward ? at - kStep : at + kStep;
        }
        k += n * kBytes;
        phases.skip(n * kBytes);
        return dots;
    };
    auto chunks = [&](auto size, int& k, int runEnd, int most) __attribute__((always_inline)) {
        return noEdge ? chunksFrom(std::true_type{}, size, k, runEnd, most)
                      : chunksFrom(std::false_type{}, size, k, runEnd, most);
    };
    // Runs of bytes within one 160-pixel counter segment: their dots are
    // counted together at the run's end.  Where no monitor counts this
    // plane's dots, the line is one run.
    const bool bySegment = slot == kz::kBlackPlane ? (flags & (kz::kCountPower | kz::kCountSmear)) != 0
                                                   : (flags & kz::kCountUneven) != 0;
    for (int k = kBegin; k < kEnd;) {
        const int runFirst = kBackward ? lastByte - k : firstByte + k;
        const int segment = runFirst / kSegmentBytes;
        const int runEnd = !bySegment ? kEnd
                                      : std::min(kEnd, kBackward ? k + runFirst - segment * kSegmentBytes + 1
                                                                 : k + (segment + 1) * kSegmentBytes - runFirst);
        int runDots = 0;
        while (k < runEnd) {
            const int i = kBackward ? lastByte - k : firstByte + k;  // byte index within the raster line
            const bool aligned = (start + k) % kPerGroup == 0;
            if (aligned) {
                // Whole 16-pixel groups at once: chunks of as many bytes as
                // this build takes, to the run's end; else one of eight
                // bytes, else the groups short of a chunk (fewer where the
                // table ends).
                const int first = k;
                runDots += chunks(std::integral_constant<int, kChunkBytes>{}, k, runEnd, kEnd);
                if constexpr (kChunkBytes > 8 && kPerGroup <= 8) {
                    if (k == first) runDots += chunks(std::integral_constant<int, 8>{}, k, runEnd, 1);
                }
                if constexpr (kPerGroup < 8) {
                    if (k == first) {
                        runDots += chunks(std::integral_constant<int, kPerGroup>{}, k, runEnd, 8 / kPerGroup - 1);
                    }
                }
                if (k != first) continue;
            }
            const uint8_t b = source[i - firstByte];
            ++k;
            const unsigned at = phases.at();
            phases.next();
            if (b == 0) continue;
            result = 1;

            const int position = start + k - 1;
            uint8_t* dest = nozzleBytes + (position / kPerGroup) * groupBytes;
            const int j = position % kPerGroup;
            int16_t dots;
            if constexpr (Bits == 1) {
                if (!useMask) {
                    dest[j] = b;
                    dots = static_cast<int16_t>(bitCount(ctx, b));
                } else {
                    dots = placeOneBit(dest + j, b, pass.oneBit[kz::hv::oneBitIndex(at)]);
                }
            } else if constexpr (Bits == 2) {
                const int nibble = kBackward ? 1 - j % 2 : j % 2;
                dots = placeLevels<2>(dest + j / 2, b, pass.fires + at, nibble == 0 ? 4u : 0u);
            } else {
                const int pair = kBackward ? 3 - j % 4 : j % 4;
                dots = placeLevels<4>(dest + j / 4, b, pass.fires + at, 6u - 2u * pair);
            }
            runDots += dots;
            if ((flags & kz::kCountNoEdge) && dots != 0) {
                // The first pixel of the byte in a forward scan, its last in a backward one.
                const int x = kBackward ? i * kPixels + kPixels - 1 : i * kPixels;
                kz::countNoEdgeDots(dots, kz::wrap16(x), pageLine, ctx->NoEdgeArea, &ctx->NoEdgeDotAmount, slot);
            }
        }
        if (bySegment && runDots != 0) {
            // Pixels beyond the last counter segment count into the last one.
            const int powerCell = std::min(segment, kz::kSmearSegments - 1);
            const int unevenCell = std::min(segment * kPowerSegmentPixels / kUnevenSegmentPixels,
                                            kz::kUnevenSegments - 1);
            kz::countDots(static_cast<int16_t>(runDots), &ctx->PMDotCount[powerCell],
                          smearRow != nullptr ? &smearRow[powerCell] : nullptr, &ctx->UnevenDotCount[unevenCell],
                          slot, flags);
        }
    }
    return result;
}

// This build's converter of `bitDepth` bits a pixel.
inline kz::hv::Converter converterFor(int bitDepth, bool backward) {
    switch (bitDepth) {
        case 1: return backward ? convertLine<1, Direction::Backward> : convertLine<1, Direction::Forward>;
        case 2: return backward ? convertLine<2, Direction::Backward> : convertLine<2, Direction::Forward>;
        case 4: return backward ? convertLine<4, Direction::Backward> : convertLine<4, Direction::Forward>;
        default: return nullptr;
    }
}

}  // namespace
