// The HV conversion driver and its line converters.  One converter kernel
// (hv_kernel.h) serves the three bit depths and both scan directions; the
// six exported converters are its instances.  Whole scans take the SSSE3
// build of the kernel where the processor has it.
#include "scan/hv_convert.h"

#include <algorithm>
#include <iterator>

#include "kzrqo317/platform.h"
#include "planning/pass_select.h"
#include "scan/hv_kernel.h"

namespace {

using kz::hv::Converter;

// The position tables of a scan, built for `n` positions from `first`,
// cyclically (all of them when n reaches the table's length).
uint8_t phaseAt(const uint8_t* table, unsigned q) {
    return table != nullptr ? table[q % kMaskTableLength] : 0;
}

void buildOneBit(PassDots* dots, const uint8_t* table, int passCount, int passIndex, unsigned first, unsigned n) {
    uint8_t fires[256] = {};
    if (passCount < 1) passCount = 1;
    if (passIndex >= 0 && passIndex < passCount) {
        for (int p = passIndex; p < 256; p += passCount) fires[p] = 1;
    }
    n = std::min<unsigned>(n, kMaskTableLength);
    if (table != nullptr && first == 0 && n == kMaskTableLength) {
        // A whole scan's table: positions wrap only in the last window.
        unsigned window = 0;
        for (unsigned q = 0; q < 7; ++q) window = window << 1 | fires[table[q]];
        for (unsigned q = 0; q < kMaskTableLength; ++q) {
            const unsigned ahead = q + 7 < kMaskTableLength ? q + 7 : q + 7 - kMaskTableLength;
            window = (window << 1 | fires[table[ahead]]) & 0xFFu;
            dots->oneBit[kz::hv::oneBitIndex(q)] = static_cast<uint8_t>(window);
        }
        return;
    }
    unsigned window = 0;  // the fire bits of positions q .. q + 7, q's the highest
    for (unsigned q = first; q < first + 7; ++q) window = window << 1 | fires[phaseAt(table, q)];
    for (unsigned q = first; q < first + n; ++q) {
        window = (window << 1 | fires[phaseAt(table, q + 7)]) & 0xFFu;
        dots->oneBit[kz::hv::oneBitIndex(q % kMaskTableLength)] = static_cast<uint8_t>(window);
    }
}

void buildLevels(PassDots* dots, const uint8_t* table, const ScanInfo* scan, unsigned first, unsigned n) {
    uint8_t byPhase[256] = {};
    for (int p = 0; p < kz::kPassSelectPhases; ++p) {
        unsigned mask = 0;
        for (int level = 1; level < kz::kPassSelectLevels; ++level) {
            if (scan->PassSelectTbl[level][p] != 0) mask |= 1u << (level - 1);
        }
        byPhase[p] = static_cast<uint8_t>(mask);
    }
    n = std::min<unsigned>(n, kMaskTableLength);
    if (table != nullptr && first == 0 && n == kMaskTableLength) {
        // A whole scan's table: no position wraps until the end.
        for (unsigned at = 0; at < kMaskTableLength; ++at) dots->fires[at] = byPhase[table[at]];
        std::copy_n(dots->fires, kz::hv::kTablePad, dots->fires + kMaskTableLength);
        return;
    }
    for (unsigned q = first; q < first + n; ++q) {
        const unsigned at = q % kMaskTableLength;
        dots->fires[at] = byPhase[phaseAt(table, at)];
        if (at < kz::hv::kTablePad) dots->fires[kMaskTableLength + at] = dots->fires[at];
    }
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

// The converter of a whole scan's lines: the widest build the processor runs.
Converter scanConverterFor(int bitDepth, bool backward) {
#if defined(__i386__) || defined(__x86_64__)
    if (__builtin_cpu_supports("avx2")) {
        if (const Converter convert = kz::hv::avx2ConverterFor(bitDepth, backward)) return convert;
    }
    if (__builtin_cpu_supports("ssse3")) {
        if (const Converter convert = kz::hv::ssse3ConverterFor(bitDepth, backward)) return convert;
    }
#endif
    return converterFor(bitDepth, backward);
}

// One line on its own: the tables cover just the line's pixels.
template <int Bits, Direction Dir>
int16_t convertOneLine(OutputContext* ctx, uint8_t* buffer, const uint8_t* source, const ScanInfo* scan,
                       const LineRecord* record, int row, int slot, bool useMask, uint8_t flags) {
    if (record == nullptr || scan == nullptr) return 0;
    PassDots dots;
    kz::hv::buildPassDots(&dots, ctx, scan, Bits, useMask, record->MaskOffset % kMaskTableLength,
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

void kz::hv::buildPassDots(PassDots* dots, const OutputContext* ctx, const ScanInfo* scan, int bits, bool useMask,
                           unsigned first, unsigned n) {
    if (bits == 1) {
        if (!useMask) return;
        int passCount, passIndex;
        oneBitPass(ctx, scan, &passCount, &passIndex);
        buildOneBit(dots, ctx->MaskTbl, passCount, passIndex, first, n);
    } else {
        buildLevels(dots, ctx->MaskTbl, scan, first, n);
    }
}

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
        const Converter convert = scanConverterFor(ctx->BitDepth[c], ctx->ScanDir != 0);
        if (convert == nullptr) continue;

        makePassSelectTbl(static_cast<int16_t>(slot), scan, ctx, static_cast<int16_t>(ctx->ScanDir));
        kz::hv::buildPassDots(&dots, ctx, scan, ctx->BitDepth[c], scan->UseMask != 0);
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

        // The rows of one nozzle column parity fill one buffer: taken
        // together they keep it in the cache.  Borderless dot amounts are
        // summed in row order, since their weights are not whole numbers.
        const bool byParity = (flags & kz::kCountNoEdge) == 0;
        const int step = byParity ? 2 : 1;
        for (int r0 = scan->WindowStart; r0 < scan->WindowStart + step; ++r0)
        for (int r = r0; r <= last; r += step) {
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
                kz::setLineBytes(ctx, record, 0);
                record->FirstByte = 0;
            }
        }
        KRVSUnlockHNDL(hv[slot][0]);
        KRVSUnlockHNDL(hv[slot][1]);
    }
}
