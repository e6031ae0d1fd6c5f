// The HV conversion driver and its line converters.  One converter kernel
// serves the three bit depths and both scan directions; the six exported
// converters are its instances.
#include "scan/hv_convert.h"

#include <algorithm>
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

// Phases of pixels beyond a missing pass pattern table.
constexpr uint8_t kNoPhases[8] = {};

// The pass pattern phases of a line's pixels, byte by byte in the order the
// converter visits them: pixel p of the stored span has phase
// MaskTbl[(MaskOffset + p) mod 10800].  The table is read cyclically, so a
// span running past its end wraps to its start.
template <int Pixels, bool Descending>
class PhaseWalk {
public:
    // Starts at the span's byte `k`.
    PhaseWalk(const uint8_t* table, unsigned offset, int k)
        : table_(table), at_((offset + static_cast<unsigned>(k) * Pixels) % kMaskTableLength) {}

    // The phases of the current byte's pixels.
    const uint8_t* row() {
        if (table_ == nullptr) return kNoPhases;
        if (at_ + Pixels <= static_cast<unsigned>(kMaskTableLength)) return table_ + at_;
        for (unsigned p = 0; p < Pixels; ++p) spill_[p] = table_[(at_ + p) % kMaskTableLength];
        return spill_;
    }

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

    void next() {
        if constexpr (Descending) {
            at_ = at_ >= Pixels ? at_ - Pixels : at_ + kMaskTableLength - Pixels;
        } else {
            at_ += Pixels;
            if (at_ >= static_cast<unsigned>(kMaskTableLength)) at_ -= kMaskTableLength;
        }
    }

private:
    const uint8_t* table_;
    unsigned at_;
    uint8_t spill_[Pixels] = {};
};

// The phases (0..255) whose pass, phase modulo the pass count, is this
// scan's: the 1-bit rule as a table, so the per-pixel test needs no division.
struct PassPhases {
    uint8_t fires[256];
    void build(int passCount, int passIndex) {
        std::memset(fires, 0, sizeof fires);
        if (passCount < 1) passCount = 1;
        if (passIndex < 0 || passIndex >= passCount) return;
        for (int p = passIndex; p < 256; p += passCount) fires[p] = 1;
    }
};

// 1-bit source byte through the pass phase table; replaces the output byte.
inline int16_t indexOneBitByTable(uint8_t* out, uint8_t source, const PassPhases& pass, const uint8_t* phases) {
    unsigned result = 0;
    for (int k = 0; k < 8; ++k) result |= static_cast<unsigned>(pass.fires[phases[k]]) << (7 - k);
    result &= source;
    *out = static_cast<uint8_t>(result);
    return static_cast<int16_t>(std::popcount(result));
}

bool blankWord(const uint8_t* bytes) {
    uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word == 0;
}

int bitCount(const OutputContext* ctx, uint8_t b) {
    return ctx->DotCountTbl != nullptr ? ctx->DotCountTbl[b] : std::popcount(b);
}

template <int Bits, Direction Dir>
int16_t convertLine(OutputContext* ctx, uint8_t* buffer, const uint8_t* source, const ScanInfo* scan,
                    const LineRecord* record, int row, int slot, bool useMask, uint8_t flags) {
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

    int passCount = ctx->PassNum;
    int passIndex = scan->ScanPassIndex;
    if (ctx->PrintMode == 4) {
        passCount /= 2;
        passIndex /= 2;
    }
    PassPhases pass;
    if (Bits == 1 && useMask) pass.build(passCount, passIndex);

    // The smear band comes from the page position, not the scan's base line:
    // the two differ in scans shifted at the bottom edge.
    const int32_t bandLine = ctx->RasterPos + row;
    uint32_t* smearRow = bandLine >= 0 && bandLine / kSmearBandLines < kz::kSmearBands
                             ? ctx->SmearDotCount[bandLine / kSmearBandLines]
                             : nullptr;
    const int32_t pageLine = scan->RasterBase + row;

    uint8_t* const nozzleBytes = buffer + 2 * (row / 2);
    PhaseWalk<kPixels, kBackward> phases(ctx->MaskTbl, record->MaskOffset,
                                         kBackward ? count - 1 - kBegin : kBegin);
    constexpr int kSegmentBytes = kPowerSegmentPixels / kPixels;
    int16_t result = 0;
    // Runs of bytes within one 160-pixel counter segment: their dots are
    // counted together at the run's end.
    for (int k = kBegin; k < kEnd;) {
        const int runFirst = kBackward ? lastByte - k : firstByte + k;
        const int segment = runFirst / kSegmentBytes;
        const int runEnd = std::min(kEnd, kBackward ? k + runFirst - segment * kSegmentBytes + 1
                                                    : k + (segment + 1) * kSegmentBytes - runFirst);
        int runDots = 0;
        for (; k < runEnd; ++k, phases.next()) {
            const int i = kBackward ? lastByte - k : firstByte + k;  // byte index within the raster line
            const uint8_t b = source[i - firstByte];
            if (b == 0) {
                // Blank stretches of the line pass eight bytes at a time.
                if (runEnd - k >= 8 && blankWord(source + (kBackward ? i - firstByte - 7 : i - firstByte))) {
                    k += 7;
                    phases.skip(7);
                }
                continue;
            }
            result = 1;

            const int position = start + k;
            uint8_t* dest = nozzleBytes + (position / kPerGroup) * groupBytes;
            const int j = position % kPerGroup;
            int16_t dots;
            if constexpr (Bits == 1) {
                if (!useMask) {
                    dest[j] = b;
                    dots = static_cast<int16_t>(bitCount(ctx, b));
                } else {
                    dots = indexOneBitByTable(dest + j, b, pass, phases.row());
                }
            } else if constexpr (Bits == 2) {
                const int nibble = kBackward ? 1 - j % 2 : j % 2;
                dots = kz::indexLevels<2>(dest + j / 2, b, phases.row(), nibble == 0 ? 0x80u : 0x08u, scan);
            } else {
                const int pair = kBackward ? 3 - j % 4 : j % 4;
                dots = kz::indexLevels<4>(dest + j / 4, b, phases.row(), 0x80u >> (2 * pair), scan);
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

using Converter = int16_t (*)(OutputContext*, uint8_t*, const uint8_t*, const ScanInfo*, const LineRecord*,
                              int16_t, int16_t, int16_t, uint8_t);

Converter converterFor(int bitDepth, uint16_t scanDir) {
    const bool backward = scanDir != 0;
    switch (bitDepth) {
        case 1: return backward ? hv2470_Back_1bit : hv2470_Fore_1bit;
        case 2: return backward ? hv2470_Back_2bit : hv2470_Fore_2bit;
        case 4: return backward ? hv2470_Back_4bit : hv2470_Fore_4bit;
        default: return nullptr;
    }
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
        return convertLine<bits, Direction::dir>(ctx, buffer, source, scan, record, row, slot, useMask != 0, \
                                                 flags);                                                \
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

    for (int c = 0; c < kz::kPlaneCount; ++c) {
        const int slot = kz::slotOf(ctx, scan, c);
        if (slot < 0 || scan->SlotHasData[slot] == 0) continue;
        const Converter convert = converterFor(ctx->BitDepth[c], ctx->ScanDir);
        if (convert == nullptr) continue;

        makePassSelectTbl(static_cast<int16_t>(slot), scan, ctx, static_cast<int16_t>(ctx->ScanDir));
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
            if (convert(ctx, buffers[kz::parityOf(slot, r)], bytes, scan, record, static_cast<int16_t>(r),
                        static_cast<int16_t>(slot), static_cast<int16_t>(scan->UseMask), flags) == 1) {
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
