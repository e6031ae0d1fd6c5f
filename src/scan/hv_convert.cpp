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
constexpr int kSmearBandLines = 112;

enum class Direction { Forward, Backward };

// Phases of pixels beyond a missing pass pattern table.
constexpr uint8_t kNoPhases[8] = {};

// The pass pattern phases of a line's pixels: pixel k of the stored span has
// phase MaskTbl[(MaskOffset + k) mod 10800].  The table is read cyclically so
// that a span running past its end wraps to its start.
template <int Pixels>
class PhaseReader {
public:
    PhaseReader(const uint8_t* table, unsigned offset) : table_(table), offset_(offset % kMaskTableLength) {}

    // The phases of the Pixels pixels of the span's byte `k`.
    const uint8_t* row(int k) {
        if (table_ == nullptr) return kNoPhases;
        const unsigned at = (offset_ + static_cast<unsigned>(k) * Pixels) % kMaskTableLength;
        if (at + Pixels <= kMaskTableLength) return table_ + at;
        for (unsigned p = 0; p < Pixels; ++p) spill_[p] = table_[(at + p) % kMaskTableLength];
        return spill_;
    }

private:
    const uint8_t* table_;
    unsigned offset_;
    uint8_t spill_[Pixels] = {};
};

int bitCount(const OutputContext* ctx, uint8_t b) {
    return ctx->DotCountTbl != nullptr ? ctx->DotCountTbl[b] : std::popcount(b);
}

template <int Bits, Direction Dir>
int16_t convertLine(OutputContext* ctx, uint8_t* buffer, const uint8_t* source, const ScanInfo* scan,
                    const LineRecord* record, int row, int slot, bool useMask, uint8_t flags) {
    constexpr int kPixels = 8 / Bits;                // pixels of a source byte
    constexpr int kPerGroup = kGroupPixels / kPixels;  // source bytes of a 16-pixel group
    constexpr bool kBackward = Dir == Direction::Backward;

    const int groupBytes = scan->ScanNzlNum & ~1;
    const int count = record->ByteCount;
    if (buffer == nullptr || source == nullptr || count == 0 || row < 0 || row >= groupBytes) return 0;

    const int nozzleByte = 2 * (row / 2);
    int passCount = ctx->PassNum;
    int passIndex = scan->ScanPassIndex;
    if (ctx->PrintMode == 4) {
        passCount /= 2;
        passIndex /= 2;
    }

    const int offset = getOffsetColorCR(ctx, static_cast<int16_t>(slot), static_cast<int16_t>(row & 1),
                                        static_cast<int16_t>(ctx->ScanDir));
    const int firstByte = record->FirstByte;
    const int lastByte = firstByte + count - 1;
    // Position of the first byte visited, in source bytes from the scan's starting edge.
    const int start = kBackward ? (scan->ScanRight - (offset + lastByte * kPixels) - kPixels) / kPixels
                                : (offset + firstByte * kPixels - scan->ScanLeft) / kPixels;
    const int positions = ctx->BlockWidth * kz::kBlocksPerBuffer / kGroupPixels * kPerGroup;

    // The smear band comes from the page position, not the scan's base line:
    // the two differ in scans shifted at the bottom edge.
    const int32_t bandLine = ctx->RasterPos + row;
    uint32_t* smearRow = bandLine >= 0 && bandLine / kSmearBandLines < kz::kSmearBands
                             ? ctx->SmearDotCount[bandLine / kSmearBandLines]
                             : nullptr;
    const int32_t pageLine = scan->RasterBase + row;

    PhaseReader<kPixels> phases(ctx->MaskTbl, record->MaskOffset);
    int16_t result = 0;
    for (int k = 0; k < count; ++k) {
        const int i = kBackward ? lastByte - k : firstByte + k;  // byte index within the raster line
        const uint8_t b = source[i - firstByte];
        const int position = start + k;
        if (b == 0 || position < 0 || position >= positions) continue;
        result = 1;

        uint8_t* dest = buffer + (position / kPerGroup) * groupBytes + nozzleByte;
        const int j = position % kPerGroup;
        int16_t dots;
        if constexpr (Bits == 1) {
            if (!useMask) {
                dest[j] = b;
                dots = static_cast<int16_t>(bitCount(ctx, b));
            } else {
                dots = kz::indexOneBit(dest + j, b, passCount, passIndex, phases.row(i - firstByte));
            }
        } else if constexpr (Bits == 2) {
            const int nibble = kBackward ? 1 - j % 2 : j % 2;
            dots = kz::indexLevels<2>(dest + j / 2, b, phases.row(i - firstByte), nibble == 0 ? 0x80u : 0x08u,
                                      scan);
        } else {
            const int pair = kBackward ? 3 - j % 4 : j % 4;
            dots = kz::indexLevels<4>(dest + j / 4, b, phases.row(i - firstByte), 0x80u >> (2 * pair), scan);
        }

        if (flags != 0) {
            // Pixels beyond the last counter segment count into the last one.
            const int pixel = i * kPixels;
            const int segment = std::min(pixel / kPowerSegmentPixels, kz::kSmearSegments - 1);
            const int unevenSegment = std::min(pixel / kUnevenSegmentPixels, kz::kUnevenSegments - 1);
            kz::countDots(dots, &ctx->PMDotCount[segment], smearRow != nullptr ? &smearRow[segment] : nullptr,
                          &ctx->UnevenDotCount[unevenSegment], slot, flags);
        }
        if ((flags & kz::kCountNoEdge) && dots != 0) {
            // The first pixel of the byte in a forward scan, its last in a backward one.
            const int x = kBackward ? i * kPixels + kPixels - 1 : i * kPixels;
            kz::countNoEdgeDots(dots, kz::wrap16(x), pageLine, ctx->NoEdgeArea, &ctx->NoEdgeDotAmount, slot);
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
