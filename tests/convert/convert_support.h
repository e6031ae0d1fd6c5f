// Shared pieces of the conversion tests: the phase and bit-count tables a job
// hands to its context, and a plain pixel-by-pixel conversion to compare the
// converters with.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "param/param.h"
#include "scan/dot_index.h"
#include "scan/hv_convert.h"

namespace kz::test {

inline constexpr int kGroups = 63 * 8;  // 16-pixel groups of a buffer

// A pass pattern table of 10,800 phases 0..239, in a block of exactly that size.
inline std::vector<uint8_t> phaseTable(uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> t(kMaskTableLength);
    for (auto& v : t) v = static_cast<uint8_t>(rng() % 240);
    return t;
}

inline std::vector<uint8_t> bitCountTable() {
    std::vector<uint8_t> t(256);
    for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(std::popcount(static_cast<unsigned>(i)));
    return t;
}

// The counters a conversion adds to.
struct Counts {
    uint16_t power[kSmearSegments] = {};
    uint32_t smear[kSmearBands][kSmearSegments] = {};
    uint32_t uneven[kUnevenSegments] = {};
    double noEdge = 0;

    static Counts of(const OutputContext& ctx) {
        Counts c;
        std::memcpy(c.power, ctx.PMDotCount, sizeof c.power);
        std::memcpy(c.smear, ctx.SmearDotCount, sizeof c.smear);
        std::memcpy(c.uneven, ctx.UnevenDotCount, sizeof c.uneven);
        c.noEdge = ctx.NoEdgeDotAmount;
        return c;
    }
};

// Converts one stored line pixel by pixel, straight from the layout: scan
// position s = pixel + offset; forward d = s - ScanLeft puts the dot at group
// d / 16, byte 2n + (d / 8) % 2, bit 7 - d % 8; backward e = ScanRight - 1 - s
// at group e / 16, byte 2n + (e / 8) % 2, bit e % 8.  Dots outside the 63
// blocks of the buffer are not placed and not counted.  Returns 1 when a
// non-zero byte was placed.
inline int referenceConvert(const OutputContext& ctx, const ScanInfo& scan, const LineRecord& record,
                            const uint8_t* source, int row, int slot, bool useMask, uint8_t flags, int bits,
                            bool backward, std::vector<uint8_t>& buffer, Counts& counts) {
    const int pixels = 8 / bits;
    const int groupBytes = scan.ScanNzlNum & ~1;
    if (row < 0 || row >= groupBytes) return 0;
    int passCount = ctx.PassNum, passIndex = scan.ScanPassIndex;
    if (ctx.PrintMode == 4) passCount /= 2, passIndex /= 2;
    const int offset = getOffsetColorCR(&ctx, static_cast<int16_t>(slot), static_cast<int16_t>(row % 2),
                                        static_cast<int16_t>(ctx.ScanDir));
    const int32_t bandLine = ctx.RasterPos + row;
    const int band = bandLine >= 0 && bandLine / 112 < kSmearBands ? bandLine / 112 : -1;
    int result = 0;
    for (int b = 0; b < record.ByteCount; ++b) {
        const int i = record.FirstByte + b;
        const uint8_t v = source[b];
        const int s0 = i * pixels + offset;
        const int firstGroup = backward ? (scan.ScanRight - 1 - s0) / 16 : (s0 - scan.ScanLeft) / 16;
        const bool inside = backward ? scan.ScanRight - 1 - s0 >= 0 && firstGroup < kGroups
                                     : s0 - scan.ScanLeft >= 0 && firstGroup < kGroups;
        if (v == 0 || !inside) continue;
        result = 1;
        int dots = 0;
        for (int k = 0; k < pixels; ++k) {
            const int level = (v >> (8 - bits * (k + 1))) & ((1 << bits) - 1);
            if (level == 0) continue;
            const uint8_t phase = ctx.MaskTbl[(record.MaskOffset + b * pixels + k) % kMaskTableLength];
            const bool fires = bits == 1 ? (!useMask || phase % passCount == passIndex)
                                         : scan.PassSelectTbl[std::min(level, 8)][phase] != 0;
            if (!fires) continue;
            ++dots;
            const int s = s0 + k;
            if (backward) {
                const int e = scan.ScanRight - 1 - s;
                buffer[(e / 16) * groupBytes + 2 * (row / 2) + (e / 8) % 2] |= static_cast<uint8_t>(1u << (e % 8));
            } else {
                const int d = s - scan.ScanLeft;
                buffer[(d / 16) * groupBytes + 2 * (row / 2) + (d / 8) % 2] |= static_cast<uint8_t>(0x80u >> (d % 8));
            }
        }
        const int segment = std::min(i * pixels / 160, kSmearSegments - 1);
        const int uneven = std::min(i * pixels / 800, kUnevenSegments - 1);
        if (slot == kBlackPlane) {
            if (flags & kCountPower) counts.power[segment] = static_cast<uint16_t>(counts.power[segment] + dots);
            if ((flags & kCountSmear) && band >= 0) counts.smear[band][segment] += dots;
        } else if (flags & kCountUneven) {
            counts.uneven[uneven] += dots;
        }
        if ((flags & kCountNoEdge) && slot != kBlackPlane && dots != 0) {
            const int x = backward ? i * pixels + pixels - 1 : i * pixels;
            const int32_t y = scan.RasterBase + row;
            const int16_t* a = ctx.NoEdgeArea;
            if (!(a[2] <= y && y <= a[3] && a[0] <= x && x <= a[1])) {
                counts.noEdge += slot < kBlackPlane ? dots * 2.176 : dots;
            }
        }
    }
    return result;
}

}  // namespace kz::test
