// The line converters' kernel.  It is compiled twice: by hv_convert.cpp for
// any processor, and by hv_convert_ssse3.cpp with SSSE3 byte shuffles, which
// place the dots of 16 pixels at once.  The kernel has internal linkage so
// that the two builds never stand in for each other at link time; only the
// data they share (PassDots) and the converter type are common names.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "output/context.h"
#include "param/param.h"
#include "platform/field_width.h"
#include "scan/dot_index.h"
#include "scan/scan_info.h"

#if defined(__SSSE3__)
#include <tmmintrin.h>
#endif

namespace kz::hv {

inline constexpr int kGroupPixels = 16;
// Entries past the table's end that repeat its start, so that the pixels of
// a byte, and the 32 pixels a shuffle reads, never wrap.
inline constexpr int kTablePad = 32;

// Which dots of one slot print in this scan's pass, by pass pattern table
// position, worked out once per scan rather than per line and pixel.
//  1 bit:     bit 7 - k of oneBit[q] is set when the pixel at position q + k
//             fires: its phase modulo the pass count is the scan's pass.
//  2, 4 bits: bit L - 1 of fires[q] is set when a pixel of level L (1 to 8;
//             the levels above 8 print as 8) fires at position q: the pass
//             select table.
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

// The SSSE3 build's converters; null where that build has none.
Converter ssse3ConverterFor(int bitDepth, bool backward);

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

inline bool blankWord(const uint8_t* bytes) {
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word == 0;
}

inline int bitCount(const OutputContext* ctx, uint8_t b) {
    return ctx->DotCountTbl != nullptr ? ctx->DotCountTbl[b] : kBitCounts[b];
}

// Source bytes a converter takes at once where they start a 16-pixel group.
constexpr int kChunkBytes = 8;

#if defined(__SSSE3__)
// The dots of the 8 source bytes at `block` (2 or 4 bits a pixel), their
// pixels at ascending table positions from `fires`: output byte j of `word`
// (bits 8j to 8j + 7) holds pixels 8j to 8j + 7, the first highest; `count`
// is how many are set.  Each pixel's level picks its bit of the position's
// fires byte through one byte shuffle, 16 pixels at a time.
struct BlockDots {
    uint32_t word;
    int count;
};

template <int Bits>
inline BlockDots blockDots(const uint8_t* block, const uint8_t* fires) {
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
#endif

// Eight source bytes from the first of a 16-pixel group (at `group` in the HV
// buffer), as the byte-by-byte conversion places them; their table positions
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
    if constexpr (Bits == 1) {
        #pragma GCC unroll 8
        for (int m = 0; m < Bytes; ++m) {
            const uint8_t b = byteAt(m);
            if (b == 0) continue;
            uint8_t* out = group + (m / kPerGroup) * groupBytes + m % kPerGroup;
            int byteDots;
            if (useMask) {
                byteDots = placeOneBit(out, b, pass.oneBit[positionOf(m)]);
            } else {
                *out = b;
                byteDots = bitCount(ctx, b);
            }
            dots += byteDots;
            countEdge(m, static_cast<unsigned>(byteDots));
        }
#if defined(__SSSE3__)
    } else if constexpr (Bytes == kChunkBytes) {
        // The bytes in memory order, from the lowest table position: backward
        // that is the chunk's last byte, and output byte j goes where the
        // forward order puts byte nOut - 1 - j.
        constexpr int kOut = Bytes * kPixels / 8;
        const uint8_t* block = Backward ? bytes - (Bytes - 1) : bytes;
        const unsigned blockAt = Backward ? positionOf(Bytes - 1) : at;
        const auto [word, count] = blockDots<Bits>(block, pass.fires + blockAt);
        #pragma GCC unroll 4
        for (int j = 0; j < kOut; ++j) {
            const int s = Backward ? kOut - 1 - j : j;
            uint8_t* target = group + (s / 2) * groupBytes + s % 2;
            *target = static_cast<uint8_t>(*target | word >> (8 * j));
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
    // Whether `bytes` bytes from table position `at` on stay clear of the table's end.
    auto withinTable = [](unsigned at, int bytes) {
        return kBackward ? at >= static_cast<unsigned>((bytes - 1) * kPixels)
                         : at + static_cast<unsigned>(bytes * kPixels) <= static_cast<unsigned>(kMaskTableLength);
    };
    const bool noEdge = (flags & kz::kCountNoEdge) != 0;
    int16_t result = 0;
    // Runs of bytes within one 160-pixel counter segment: their dots are
    // counted together at the run's end.
    for (int k = kBegin; k < kEnd;) {
        const int runFirst = kBackward ? lastByte - k : firstByte + k;
        const int segment = runFirst / kSegmentBytes;
        const int runEnd = std::min(kEnd, kBackward ? k + runFirst - segment * kSegmentBytes + 1
                                                    : k + (segment + 1) * kSegmentBytes - runFirst);
        int runDots = 0;
        while (k < runEnd) {
            const int i = kBackward ? lastByte - k : firstByte + k;  // byte index within the raster line
            const bool aligned = (start + k) % kPerGroup == 0;
            if (aligned && k + kChunkBytes <= runEnd && withinTable(phases.at(), kChunkBytes)) {
                // Eight bytes from the start of a 16-pixel group at once.
                const uint8_t* bytes = source + (i - firstByte);
                if (!blankWord(kBackward ? bytes - (kChunkBytes - 1) : bytes)) {
                    result = 1;
                    uint8_t* group = nozzleBytes + ((start + k) / kPerGroup) * groupBytes;
                    runDots += noEdge ? convertChunk<Bits, kBackward, true>(group, groupBytes, bytes, phases.at(), pass,
                                                                            useMask, ctx, {i, pageLine, slot})
                                      : convertChunk<Bits, kBackward, false>(group, groupBytes, bytes, phases.at(),
                                                                             pass, useMask, ctx, {i, pageLine, slot});
                }
                k += kChunkBytes;
                phases.skip(kChunkBytes);
                continue;
            }
            if (kPerGroup < kChunkBytes && aligned && k + kPerGroup <= runEnd && withinTable(phases.at(), kPerGroup)) {
                // One group, where fewer than eight bytes of the run are left.
                const uint8_t* bytes = source + (i - firstByte);
                unsigned any = 0;
                for (int m = 0; m < kPerGroup; ++m) any |= kBackward ? bytes[-m] : bytes[m];
                if (any != 0) {
                    result = 1;
                    uint8_t* group = nozzleBytes + ((start + k) / kPerGroup) * groupBytes;
                    runDots += noEdge ? convertChunk<Bits, kBackward, true, kPerGroup>(
                                            group, groupBytes, bytes, phases.at(), pass, useMask, ctx, {i, pageLine, slot})
                                      : convertChunk<Bits, kBackward, false, kPerGroup>(
                                            group, groupBytes, bytes, phases.at(), pass, useMask, ctx, {i, pageLine, slot});
                }
                k += kPerGroup;
                phases.skip(kPerGroup);
                continue;
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
                    dots = placeOneBit(dest + j, b, pass.oneBit[at]);
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
        if (flags != 0 && runDots != 0) {
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
