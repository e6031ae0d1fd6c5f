// What the printer must fire for the lines a caller gives: per page pixel and
// colour plane, the number of dots.
//
// A 1-bit pixel is one dot.  The draft qualities give each caller line two
// page lines (black split by even and odd pixels, colour on both), and plain
// paper at standard quality also widens each pixel to two page pixels (black
// split between the two lines).  A multi-level pixel of level l (levels above
// 8 act as 8) at phase ph takes one dot from every pass of its band whose pass
// select row l fires at column ph; the phase of pixel x is
// OPD17830_tbl[(MaskOffset + x - first stored pixel) mod 10800], where the
// line's MaskOffset is the next page random value / 7 (0 in one-pass modes),
// drawn once per stored line per plane in intake order.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "kzrqo317/kzrqo317.h"
#include "kzrqo317/tables.h"
#include "output/context.h"
#include "planning/pass_select.h"
#include "print/mode_tables.h"
#include "scan/scan_info.h"
#include "support/page_job.h"

namespace kz::test {

inline constexpr int kPhases = 240;
inline constexpr int kLevels = 9;

// The print mode's parameters that the model needs, as a job set up with the
// settings has them.
struct ModeFacts {
    int mode = -1;
    int passNum = 0;
    std::array<int8_t, 7> depth{};
    int multiplier = 1;     // page lines per caller line
    bool widened = false;   // page pixels per caller pixel: 2
    int storePixels = 6144; // caller pixels the store keeps
    int qualityIndex = 0;
    bool borderless = false;
};

inline ModeFacts modeFacts(const JobSettings& settings) {
    ModeFacts f;
    const PrintInfo info = settings.printInfo();
    uint32_t job = 0;
    if (OutputOpen(&job) != KZ_OPEN_OK) return f;
    if (OutputInitTwo(&job, &info, KZ_PRINTER_MODEL) == KZ_OK && OutputInitPart(&job, &info) == KZ_OK) {
        const auto* ctx = static_cast<const OutputContext*>(KRVSLockHNDL(job));
        f.mode = static_cast<int>(ctx->PrintMode);
        f.passNum = ctx->PassNum;
        for (int p = 0; p < 7; ++p) f.depth[p] = static_cast<int8_t>(ctx->BitDepth[p]);
        f.qualityIndex = static_cast<int>(ctx->QualityIndex);
        f.multiplier = kzp::lineMultiplier(info.MediaType, info.PrintQuality);
        f.widened = kzp::widensPixels(info.MediaType, info.PrintQuality);
        f.storePixels = f.widened ? 3072 : 6144;
        f.borderless = ctx->MarginInfo == 1;
    }
    OutputClose(&job);
    return f;
}

// Dots a multi-level pixel takes over its band: [level][phase], summed over
// the band's passes of the pass select tables.  Modes 4 and 8 scan each feed
// position twice: even passes print colours 0..2 in their own slots, odd
// passes in slots 4..6, each with its own patterns.
using DropTable = std::array<std::array<uint8_t, kPhases>, kLevels>;

// With `onlyPass` >= 0, the dots of that one pass of the band.
inline DropTable bandDrops(const ModeFacts& f, int plane, int onlyPass = -1) {
    DropTable drops{};
    auto ctx = std::make_unique<OutputContext>();
    ctx->PrintMode = static_cast<uint32_t>(f.mode);
    ctx->PassNum = static_cast<int16_t>(f.passNum);
    const bool paired = f.mode == 4 || f.mode == 8;
    for (int pass = 0; pass < f.passNum; ++pass) {
        if (onlyPass >= 0 && pass != onlyPass) continue;
        ScanInfo scan{};
        scan.ScanPassIndex = static_cast<uint16_t>(pass);
        scan.ScanKind = paired ? (pass % 2 == 0 ? kScanEvenPair : kScanOddPair) : kScanOrdinary;
        const int slot = scan.ScanKind == kScanOddPair ? plane + 4 : plane;
        makePassSelectTbl(static_cast<int16_t>(slot), &scan, ctx.get(), 0);
        for (int l = 1; l < kLevels; ++l)
            for (int ph = 0; ph < kPhases; ++ph) drops[l][ph] = static_cast<uint8_t>(drops[l][ph] + scan.PassSelectTbl[l][ph]);
    }
    return drops;
}

// The highest level the mode prints, by plane (1 for 1-bit planes, 0 for
// planes it does not take).
inline std::array<uint8_t, 7> printableLevels(const ModeFacts& f) {
    std::array<uint8_t, 7> top{};
    for (int p = 0; p < 7; ++p) {
        if (f.depth[p] == 0) continue;
        if (f.depth[p] == 1) {
            top[p] = 1;
            continue;
        }
        const DropTable drops = bandDrops(f, p);
        for (int l = 1; l < kLevels; ++l)
            for (uint8_t d : drops[l])
                if (d != 0) top[p] = static_cast<uint8_t>(l);
    }
    return top;
}

// Dots per page pixel of one plane: page lines x page pixels.
struct PlaneImage {
    int lines = 0;
    int width = 0;
    std::vector<uint8_t> dots;
    void resize(int l, int w) {
        lines = l;
        width = w;
        dots.assign(static_cast<size_t>(l) * static_cast<size_t>(w), 0);
    }
    bool inside(int y, int x) const { return y >= 0 && y < lines && x >= 0 && x < width; }
    uint8_t& at(int y, int x) { return dots[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
    uint8_t at(int y, int x) const { return dots[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

// The expected dots of one page, built line by line in the order the library
// takes the lines.
class PageExpectation {
public:
    PageExpectation(const ModeFacts& facts, int callerLines, int callerWidth) : f_(facts) {
        const int pageLines = callerLines * f_.multiplier;
        const int pageWidth = std::min(callerWidth, f_.storePixels) * (f_.widened ? 2 : 1);
        for (int p = 0; p < 7; ++p) {
            if (f_.depth[p] == 0) continue;
            image[p].resize(pageLines, pageWidth);
            inkedLines[p].assign(static_cast<size_t>(pageLines), 0);
            if (f_.depth[p] > 1) {
                drops_[p] = bandDrops(f_, p);
                firstPassDrops_[p] = bandDrops(f_, p, 0);
                firstPass[p].resize(pageLines, pageWidth);
            }
        }
    }

    // Takes one caller line as the library takes it.
    void take(const RasterInfo& line) {
        const int y = static_cast<int>(line.LineNo);
        int entry = 0;
        for (int p = 0; p < 7; ++p) {
            const int depth = f_.depth[p];
            if (depth == 0) continue;
            const PlaneRaster& plane = line.Plane[entry++];
            if (plane.Data == nullptr || plane.Width == plane.Left) continue;
            const int begin = plane.Left;
            const int end = std::min<int>(plane.Width - plane.Right, f_.storePixels);
            int first = -1, last = -1;
            for (int x = begin; x < end; ++x) {
                if (level(plane.Data, depth, x) == 0) continue;
                if (first < 0) first = x;
                last = x;
            }
            if (first < 0) continue;
            const unsigned offset = f_.passNum == 1 ? 0u : nextRandom() / 7u;
            for (int k = 0; k < f_.multiplier; ++k) inkedLines[p][static_cast<size_t>(y * f_.multiplier + k)] = 1;
            const int pixelsPerByte = 8 / depth;
            const int spanStart = first / pixelsPerByte * pixelsPerByte;
            for (int x = first; x <= last; ++x) {
                const int v = level(plane.Data, depth, x);
                if (v == 0) continue;
                if (depth == 1) {
                    ++given[p];
                    placeOneBit(p, y, x);
                } else {
                    const int l = std::min(v, 8);
                    const int phase = OPD17830_tbl[(offset + static_cast<unsigned>(x - spanStart)) % 10800u];
                    ++givenByLevel[p][static_cast<size_t>(v)];
                    image[p].at(y, x) = drops_[p][l][phase];
                    firstPass[p].at(y, x) = firstPassDrops_[p][l][phase];
                }
            }
        }
    }

    static int level(const uint8_t* data, int depth, int x) {
        const int bit = x * depth;
        return (data[bit / 8] >> (8 - depth - bit % 8)) & ((1 << depth) - 1);
    }

    std::array<PlaneImage, 7> image;
    std::array<PlaneImage, 7> firstPass;              // multi-level planes: the dots of the band's pass 0
    std::array<std::vector<uint8_t>, 7> inkedLines;   // page lines that stored ink, by plane
    std::array<uint64_t, 7> given{};                        // 1-bit pixels given, by plane
    std::array<std::array<uint64_t, 16>, 7> givenByLevel{};  // multi-level pixels given, by plane and value

private:
    // The page's random sequence, restarted at 1 for every page.
    unsigned nextRandom() {
        seed_ = seed_ * 0x343FDu + 0x269EC3u;
        return (seed_ >> 16) & 0x7FFFu;
    }

    void placeOneBit(int p, int y, int x) {
        PlaneImage& im = image[p];
        const bool black = p == 3;
        if (f_.multiplier == 1) {
            im.at(y, x) = 1;
        } else if (!f_.widened) {
            // Draft: black's even pixels on the first page line, odd on the second.
            if (black) {
                im.at(2 * y + (x & 1), x) = 1;
            } else {
                im.at(2 * y, x) = 1;
                im.at(2 * y + 1, x) = 1;
            }
        } else if (black) {
            im.at(2 * y, 2 * x) = 1;
            im.at(2 * y + 1, 2 * x + 1) = 1;
        } else {
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) im.at(2 * y + dy, 2 * x + dx) = 1;
        }
    }

    ModeFacts f_;
    std::array<DropTable, 7> drops_{};
    std::array<DropTable, 7> firstPassDrops_{};
    uint32_t seed_ = 1;
};

// The column offset of a plane's nozzle row with the default registration:
// the register (plus 256 with margins) / 4, one more backward, rounded toward
// zero to a multiple of 8, doubled above quality index 0.
inline int columnOffset(const ModeFacts& f, int slot, int parity, bool backward) {
    static constexpr int16_t kRegister[7][2] = {{258, 270}, {128, 140}, {193, 205}, {673, 689},
                                                {258, 270}, {128, 140}, {193, 205}};
    int v = (kRegister[slot][parity] + (f.borderless ? 0 : 256)) / 4 + (backward ? 1 : 0);
    v = (v < 0 ? v + 7 : v) & ~7;
    return f.qualityIndex != 0 ? 2 * v : v;
}

}  // namespace kz::test
