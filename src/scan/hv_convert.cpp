// The HV conversion driver and its line converters.  One converter kernel
// serves the three bit depths and both scan directions; the six exported
// converters are its instances.
#include "scan/hv_convert.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <iterator>

#include "kzrqo317/platform.h"
#include "param/param.h"
#include "planning/pass_select.h"
#include "platform/field_width.h"
#include "scan/dot_index.h"

namespace {

using kz::kMaskTableLength;

constexpr int kGroupPixels = 16;
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

// Which dots of one slot print in this scan's pass, by pass pattern table
// position, worked out once per scan rather than per line and pixel.
//  1 bit:     bit 7 - k of oneBit[q] is set when the pixel at position q + k
//             fires: its phase modulo the pass count is the scan's pass.
//  2, 4 bits: bit L of levels[q] is set when a pixel of level L fires at
//             position q (the pass select table; levels above 8 as 8); the
//             entries past the table's end repeat its start, so a byte's
//             pixels never wrap.
struct PassDots {
    uint8_t oneBit[kMaskTableLength];
    uint16_t levels[kMaskTableLength + 8];

    static uint8_t phaseAt(const uint8_t* table, unsigned q) {
        return table != nullptr ? table[q % kMaskTableLength] : 0;
    }

    // Each build fills the entries of `n` positions from `first`, cyclically
    // (all of them when n reaches the table's length).
    void buildOneBit(const uint8_t* table, int passCount, int passIndex, unsigned first, unsigned n) {
        uint8_t fires[256] = {};
        if (passCount < 1) passCount = 1;
        if (passIndex >= 0 && passIndex < passCount) {
            for (int p = passIndex; p < 256; p += passCount) fires[p] = 1;
        }
        n = std::min<unsigned>(n, kMaskTableLength);
        unsigned window = 0;  // the fire bits of positions q .. q + 7, q's the highest
        for (unsigned q = first; q < first + 7; ++q) window = window << 1 | fires[phaseAt(table, q)];
        for (unsigned q = first; q < first + n; ++q) {
            window = (window << 1 | fires[phaseAt(table, q + 7)]) & 0xFFu;
            oneBit[q % kMaskTableLength] = static_cast<uint8_t>(window);
        }
    }

    void buildLevels(const uint8_t* table, const ScanInfo* scan, unsigned first, unsigned n) {
        uint16_t byPhase[256] = {};
        for (int p = 0; p < kz::kPassSelectPhases; ++p) {
            unsigned mask = 0;
            for (int level = 1; level < 16; ++level) {
                if (scan->PassSelectTbl[kz::selectLevel(level)][p] != 0) mask |= 1u << level;
            }
            byPhase[p] = static_cast<uint16_t>(mask);
        }
        n = std::min<unsigned>(n, kMaskTableLength);
        for (unsigned q = first; q < first + n; ++q) {
            const unsigned at = q % kMaskTableLength;
            levels[at] = byPhase[phaseAt(table, at)];
            if (at < std::size(levels) - kMaskTableLength) levels[kMaskTableLength + at] = levels[at];
        }
    }
};

// 1-bit source byte: the dots of this pass replace the output byte.
inline int16_t placeOneBit(uint8_t* out, uint8_t source, uint8_t fires) {
    const uint8_t dots = static_cast<uint8_t>(source & fires);
    *out = dots;
    return kBitCounts[dots];
}

// 2- or 4-bit source byte: its pixels' dots, first pixel highest, ORed into
// the output byte from bit `shift` + Pixels - 1 down.
template <int Bits>
inline int16_t placeLevels(uint8_t* out, uint8_t source, const uint16_t* levels, unsigned shift) {
    constexpr int kPixels = 8 / Bits;
    constexpr unsigned kLevelMask = (1u << Bits) - 1;
    unsigned dots = 0;
    #pragma GCC unroll 8
    for (int k = 0; k < kPixels; ++k) {
        const unsigned level = (source >> (8 - Bits * (k + 1))) & kLevelMask;
        dots = dots << 1 | ((levels[k] >> level) & 1u);
    }
    *out = static_cast<uint8_t>(*out | dots << shift);
    return kBitCounts[dots];
}

bool blankWord(const uint8_t* bytes) {
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word == 0;
}

int bitCount(const OutputContext* ctx, uint8_t b) {
    return ctx->DotCountTbl != nullptr ? ctx->DotCountTbl[b] : kBitCounts[b];
}

// Source bytes a converter takes at once where they start a 16-pixel group.
constexpr int kChunkBytes = 8;

// The dots of source byte `b` at table position `at`, first pixel highest.
template <int Bits>
inline unsigned levelDots(uint8_t b, const uint16_t* levels) {
    constexpr int kPixels = 8 / Bits;
    constexpr unsigned kLevelMask = (1u << Bits) - 1;
    unsigned dots = 0;
    #pragma GCC unroll 8
    for (int k = 0; k < kPixels; ++k) dots = dots << 1 | ((levels[k] >> ((b >> (8 - Bits * (k + 1))) & kLevelMask)) & 1u);
    return dots;
}

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
    auto countEdge = [&](int m, unsigned byteDots) {
        if (!NoEdge || byteDots == 0) return;
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
    } else {
        // Output bytes of 8 pixels: Bits = 2 takes two source bytes each, Bits = 4 four.
        constexpr int kPerOut = 8 / kPixels;
        #pragma GCC unroll 8
        for (int d = 0; d < Bytes / kPerOut; ++d) {
            unsigned out = 0;
            #pragma GCC unroll 8
            for (int n = 0; n < kPerOut; ++n) {
                const int m = d * kPerOut + n;
                const unsigned bits = levelDots<Bits>(byteAt(m), pass.levels + positionOf(m));
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

// The pass of a scan, as the 1-bit dots read it: a band pass of modes 4 and 8
// is a pair of scans.
void oneBitPass(const OutputContext* ctx, const ScanInfo* scan, int* passCount, int* passIndex) {
    *passCount = ctx->PassNum;
    *passIndex = scan->ScanPassIndex;
    if (ctx->PrintMode == 4) {
        *passCount /= 2;
        *passIndex /= 2;
    }
}

// The tables a converter of `bits` bits per pixel reads, for `n` pixels
// from table position `first`.
void buildPassDots(PassDots* dots, const OutputContext* ctx, const ScanInfo* scan, int bits, bool useMask,
                   unsigned first = 0, unsigned n = kMaskTableLength) {
    if (bits == 1) {
        if (!useMask) return;
        int passCount, passIndex;
        oneBitPass(ctx, scan, &passCount, &passIndex);
        dots->buildOneBit(ctx->MaskTbl, passCount, passIndex, first, n);
    } else {
        dots->buildLevels(ctx->MaskTbl, scan, first, n);
    }
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
                dots = placeLevels<2>(dest + j / 2, b, pass.levels + at, nibble == 0 ? 4u : 0u);
            } else {
                const int pair = kBackward ? 3 - j % 4 : j % 4;
                dots = placeLevels<4>(dest + j / 4, b, pass.levels + at, 6u - 2u * pair);
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

using Converter = int16_t (*)(OutputContext*, uint8_t*, const uint8_t*, const ScanInfo*, const LineRecord*, int,
                              int, bool, uint8_t, const PassDots&);

Converter converterFor(int bitDepth, uint16_t scanDir) {
    const bool backward = scanDir != 0;
    switch (bitDepth) {
        case 1: return backward ? convertLine<1, Direction::Backward> : convertLine<1, Direction::Forward>;
        case 2: return backward ? convertLine<2, Direction::Backward> : convertLine<2, Direction::Forward>;
        case 4: return backward ? convertLine<4, Direction::Backward> : convertLine<4, Direction::Forward>;
        default: return nullptr;
    }
}

// One line on its own: the tables cover just the line's pixels.
template <int Bits, Direction Dir>
int16_t convertOneLine(OutputContext* ctx, uint8_t* buffer, const uint8_t* source, const ScanInfo* scan,
                       const LineRecord* record, int row, int slot, bool useMask, uint8_t flags) {
    if (record == nullptr || scan == nullptr) return 0;
    PassDots dots;
    buildPassDots(&dots, ctx, scan, Bits, useMask, record->MaskOffset % kMaskTableLength,
                  static_cast<unsigned>(record->ByteCount) * (8 / Bits));
    return convertLine<Bits, Dir>(ctx, buffer, source, scan, record, row, slot, useMask, flags, dots);
}

// Conversion flags of a scan; clears the monitor counts of the scan kinds they watch.
uint8_t conversionFlags(OutputContext* ctx, const ScanInfo* scan) {
    uint8_t flags = 0;
    if (ctx->SmearInfo != 0) flags |= kz::kCountSmear;
    if (ctx->PowerMonitorInfo != 0 && scan->ScanNzlNum == 320) {
        std::fill(std::begin(ctx->PMDotCount), std::end(ctx->PMDotCount), 0);
        flags |= kz::kCountPower;
    }
    if (ctx->UnevenMonitorInfo != 0 && scan->ScanNzlNum == 128) {
        std::fill(std::begin(ctx->UnevenDotCount), std::end(ctx->UnevenDotCount), 0);
        flags |= kz::kCountUneven;
    }
    if (ctx->MarginInfo == 1) flags |= kz::kCountNoEdge;
    return flags;
}

}  // namespace

#define KZ_DEFINE_CONVERTER(name, bits, dir)                                                             \
    int16_t name(OutputContext* ctx, uint8_t* buffer, const uint8_t* source, const ScanInfo* scan,      \
                 const LineRecord* record, int16_t row, int16_t slot, int16_t useMask, uint8_t flags) {  \
        return convertOneLine<bits, Direction::dir>(ctx, buffer, source, scan, record, row, slot, useMask != 0, \
                                                    flags);                                             \
    }
KZ_DEFINE_CONVERTER(hv2470_Fore_1bit, 1, Forward)
KZ_DEFINE_CONVERTER(hv2470_Back_1bit, 1, Backward)
KZ_DEFINE_CONVERTER(hv2470_Fore_2bit, 2, Forward)
KZ_DEFINE_CONVERTER(hv2470_Back_2bit, 2, Backward)
KZ_DEFINE_CONVERTER(hv2470_Fore_4bit, 4, Forward)
KZ_DEFINE_CONVERTER(hv2470_Back_4bit, 4, Backward)
#undef KZ_DEFINE_CONVERTER

void HVConvert_A2470(OutputContext* ctx, ScanInfo* scan, HVBufferTable hv) {
    const uint8_t flags = conversionFlags(ctx, scan);
    const int16_t clearPos = getClearRasterPos(ctx, scan);

    // Black lines of an even pass serve one more scan of the pair.
    int blackLimit = clearPos;
    if (scan->ScanKind == kz::kScanEvenPair) {
        const int n = std::clamp<int>(ctx->PassNum, 1, kz::kOrderLength);
        blackLimit = kz::wrap16(ctx->FirstNzl + (ctx->DeleteNzlOrder[(ctx->FeedIndex + 1) % n] +
                                                 ctx->DeleteNzlOrder[(ctx->FeedIndex + 2) % n]) /
                                                    2);
    }

    PassDots dots;
    for (int c = 0; c < kz::kPlaneCount; ++c) {
        const int slot = kz::slotOf(ctx, scan, c);
        if (slot < 0 || scan->SlotHasData[slot] == 0) continue;
        const Converter convert = converterFor(ctx->BitDepth[c], ctx->ScanDir);
        if (convert == nullptr) continue;

        makePassSelectTbl(static_cast<int16_t>(slot), scan, ctx, static_cast<int16_t>(ctx->ScanDir));
        buildPassDots(&dots, ctx, scan, ctx->BitDepth[c], scan->UseMask != 0);
        uint8_t* buffers[2] = {static_cast<uint8_t*>(KRVSLockHNDL(hv[slot][0])),
                               static_cast<uint8_t*>(KRVSLockHNDL(hv[slot][1]))};
        scan->SlotHasData[slot] = 0;

        int last = scan->WindowEnd;
        int limit = c == kz::kBlackPlane ? blackLimit : clearPos;
        if (ctx->PrintMode == 2 && scan->ScanNzlNum == 128 && c == kz::kBlackPlane) {
            // The 128-row scans of mode 2 print black a few rows further, and
            // release only the black lines of their upper half.
            limit = 64;
            last += (scan->ScanParity & 1) == 0 ? 5 : 3;
        }

        for (int r = scan->WindowStart; r <= last; ++r) {
            const int32_t line = scan->RasterBase + r;
            if (line < 0) continue;
            const int32_t ringLine = line % ctx->RingLines[c];
            BandBlock* block = GetBufInfo(ctx, ringLine, static_cast<int16_t>(c));
            LineRecord* record = &block->Line[ringLine % kz::kLinesPerBandBlock];
            if (record->ByteCount == 0) continue;

            const uint8_t* bytes = MyLockPH_Direct(ctx, block, static_cast<int16_t>(ringLine % kz::kLinesPerBandBlock),
                                                   static_cast<int16_t>(c));
            if (convert(ctx, buffers[kz::parityOf(slot, r)], bytes, scan, record, r,
                        slot, scan->UseMask != 0, flags, dots) == 1) {
                scan->SlotHasData[slot] = 1;
                if (slot != kz::kBlackPlane) scan->ColorHasData = 1;
            }
            KRVSUnlockHNDL(block->LineMemory);
            if (r < limit) {
                // No later scan prints this line.
                record->ByteCount = 0;
                record->FirstByte = 0;
            }
        }
        KRVSUnlockHNDL(hv[slot][0]);
        KRVSUnlockHNDL(hv[slot][1]);
    }
}
