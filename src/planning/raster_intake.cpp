// Raster intake: one caller line into the planes' rings of stored lines.
//
// Each plane's line is trimmed to its inked span and stored from its first
// inked byte.  The low-resolution qualities give each caller line two page
// lines: quality index 0 splits the black plane's even and odd pixels between
// them, quality index 1 on plain paper widens every pixel to two.
#include <algorithm>
#include <cstring>

#include "command/compression.h"
#include "kzrqo317/platform.h"
#include "kzrqo317/result.h"
#include "planning/planning.h"
#include "platform/field_width.h"
#include "scan/scan.h"

namespace {

// A stored line holds LinePitch = bit depth x 768 bytes: 6144 pixels of the
// stored resolution (about 10.2 inches at 600 dpi).  Ink beyond is dropped.
constexpr int32_t kStorePixels = 6144;
constexpr int32_t kMaxLinePitch = 4 * 768;

// The largest run of page lines from one inked line to the next that is
// accounted for (about 44 metres at 600 lines per inch); a larger jump is
// refused rather than spent building millions of empty scans.
constexpr int64_t kMaxLineGap = int64_t{1} << 20;
constexpr int64_t kMaxGapScans = 16 * kMaxLineGap + 1024;

constexpr uint8_t kEvenPixels = 0xAA;
constexpr uint8_t kOddPixels = 0x55;

// Every bit of a nibble doubled into a byte.
constexpr uint8_t kBoldNibble[16] = {0, 3, 12, 15, 48, 51, 60, 63, 192, 195, 204, 207, 240, 243, 252, 255};
static_assert(kBoldNibble[0xF] == 0xFF && kBoldNibble[0x5] == 0x33 && kBoldNibble[0xA] == 0xCC);

uint8_t* putBold(uint8_t b, uint8_t* dst) {
    dst[0] = kBoldNibble[b >> 4];
    dst[1] = kBoldNibble[b & 0x0F];
    return dst + 2;
}

// The inked part of one plane's line, clipped to the store's width.  Returns
// 0 (with *inked telling whether there is ink) or the conversion's failure.
int16_t findSpan(const PlaneRaster& plane, int16_t depth, int32_t storePixels, ByteSpan* span, bool* inked) {
    *inked = false;
    // The span's fields are 16-bit, but a line may be wider than a 16-bit
    // signed count: the span is taken in full width and clipped to the store.
    const int32_t width = int32_t{plane.Width} - plane.Left - plane.Right;
    if (width < 0) return -1;  // the ends cross: a malformed span
    if (plane.Left >= storePixels) return 0;
    uint16_t start = plane.Left;
    uint16_t count = static_cast<uint16_t>(std::min(width, storePixels - start));
    uint8_t edges[2] = {};
    if (const int16_t result = PixelRaster2ByteRaster(plane.Data, depth, &start, &count, edges); result != 0) {
        return result;
    }
    if (edges[0] == 0) return 0;
    *inked = true;
    *span = {static_cast<uint16_t>(8 / depth), static_cast<uint16_t>(depth), start, count, edges[0], edges[1]};
    return 0;
}

// The span's bytes (first edge, whole bytes, last edge when non-zero), masked.
void putSpan(uint8_t* dst, const ByteSpan& span, const uint8_t* data, uint8_t mask) {
    *dst++ = span.FirstEdge & mask;
    const uint8_t* whole = data + span.StartByte + 1;
    if (mask == 0xFF) {
        std::memcpy(dst, whole, static_cast<size_t>(std::max<int>(span.WholeBytes, 0)));
        dst += std::max<int>(span.WholeBytes, 0);
    } else {
        for (int i = 0; i < span.WholeBytes; ++i) *dst++ = whole[i] & mask;
    }
    if (span.LastEdge != 0) *dst = span.LastEdge & mask;
}

// Counts the blank lines since the previous inked line into LineCount,
// building the scans they complete.
void accountGap(OutputContext* ctx, int16_t multiplier) {
    const int64_t gap = static_cast<int64_t>(ctx->CurLineNo) - ctx->PrevLineNo;
    ctx->PrevLineNo = ctx->CurLineNo;
    if (gap <= multiplier) return;
    int64_t lines = ctx->LineCount + (gap - multiplier);
    for (int64_t scans = 0; lines >= ctx->LineTarget && scans < kMaxGapScans; ++scans) {
        // Once the lines before the gap are printed, the rest of it goes by
        // in whole cycles at once.
        if (!kz::storeHoldsLines(ctx)) scans += kz::skipEmptyCycles(ctx, &lines);
        const int16_t target = ctx->LineTarget;
        makeOutData(ctx);
        lines -= target;
    }
    ctx->LineCount = kz::wrap16(static_cast<int32_t>(lines));
}

void storeLine(OutputContext* ctx, const uint8_t* data, int p, const ByteSpan& span, int16_t multiplier) {
    const int32_t slot = static_cast<int32_t>((ctx->PlaneOffset[p] + static_cast<int64_t>(ctx->CurLineNo)) %
                                              ctx->RingLines[p]);
    BandBlock* block = GetBufInfo(ctx, slot, static_cast<int16_t>(p));
    const int j = slot % kz::kLinesPerBandBlock;
    uint8_t* memory = MyLockPH_Direct(ctx, block, static_cast<int16_t>(j), static_cast<int16_t>(p));
    if (memory == nullptr) return;  // the page's store holds no memory for this line

    LineRecord* record = &block->Line[j];
    record->FirstByte = span.StartByte;
    kz::setLineBytes(ctx, record, static_cast<uint16_t>(span.WholeBytes + (span.LastEdge != 0 ? 2 : 1)));
    const bool black = p == kz::kBlackPlane;
    const bool draft = ctx->QualityIndex == 0;
    const bool widened = ctx->QualityIndex == 1 && ctx->MediaIndex == 0;
    if (draft && black) {
        putSpan(memory, span, data, kEvenPixels);
    } else if (widened) {
        // Widened into a scratch line: the always-written last pair may reach
        // two bytes past the stored bytes, which must not leave the line.
        uint8_t wide[kMaxLinePitch + 2];
        BoldRasterData(data, &span, wide);
        record->FirstByte = static_cast<uint16_t>(record->FirstByte * 2);
        kz::setLineBytes(ctx, record, static_cast<uint16_t>(record->ByteCount * 2));
        std::memcpy(memory, wide, record->ByteCount);
    } else {
        putSpan(memory, span, data, 0xFF);
    }
    getPassTblStart(ctx, record);

    // The second page line of a caller line stands in the same block: slots of
    // doubled lines are always even.
    if (multiplier == 2 && j + 1 < kz::kLinesPerBandBlock) {
        kz::setLineBytes(ctx, &block->Line[j + 1], record->ByteCount);
        block->Line[j + 1] = *record;
        uint8_t* second = memory + ctx->LinePitch[p];
        if (draft && black) {
            putSpan(second, span, data, kOddPixels);
        } else if (widened && black) {
            for (int i = 0; i < record->ByteCount; ++i) {
                second[i] = memory[i] & kOddPixels;
                memory[i] &= kEvenPixels;
            }
        } else {
            std::memcpy(second, memory, record->ByteCount);
        }
    }
    KRVSUnlockHNDL(block->LineMemory);
}

}  // namespace

int16_t SetRasterData(OutputContext* ctx, const RasterInfo* line, int16_t lineMultiplier) {
    if (line == nullptr) return KZ_UNSUPPORTED;
    // A line, blank or not, beyond any page length from the page's last
    // inked line is not part of the page: the page would otherwise be
    // drained through millions of empty scans at its end.
    if (ctx->PageStartPending == 0 &&
        static_cast<int64_t>(ctx->CurLineNo) - static_cast<int64_t>(ctx->PrevLineNo) > kMaxLineGap) {
        return KZ_UNSUPPORTED;
    }
    // A plane whose span's ends cross makes the whole line malformed: it is
    // refused before any plane is stored or any scan is built, so that the
    // caller may give it again, mended, and nothing of it is left behind.
    int entry = 0;
    for (int p = 0; p < kz::kPlaneCount; ++p) {
        if (ctx->BitDepth[p] == 0) continue;
        const PlaneRaster& plane = line->Plane[entry++];
        if (plane.Data != nullptr && plane.Width != plane.Left &&
            int32_t{plane.Width} - plane.Left - plane.Right < 0) {
            return -1;
        }
    }
    ctx->RasterReceived = 0;
    const bool widened = ctx->QualityIndex == 1 && ctx->MediaIndex == 0;
    const int32_t storePixels = widened ? kStorePixels / 2 : kStorePixels;
    bool counted = false;
    entry = 0;
    for (int p = 0; p < kz::kPlaneCount; ++p) {
        const int16_t depth = ctx->BitDepth[p];
        if (depth == 0) continue;  // the mode does not use the plane: no entry for it
        const PlaneRaster& plane = line->Plane[entry++];
        if (plane.Data == nullptr || plane.Width == plane.Left) continue;
        ByteSpan span{};
        bool inked = false;
        if (const int16_t result = findSpan(plane, depth, storePixels, &span, &inked); result != 0) return result;
        if (!inked) continue;

        if (!counted) {
            if (ctx->PageStartPending == 0) {
                // Stored lines wait in the rings until their scans; a line that
                // does not rise would overwrite them, and a jump beyond any page
                // length is not a page.
                const int64_t gap = static_cast<int64_t>(ctx->CurLineNo) - ctx->PrevLineNo;
                if (gap <= 0 || gap > kMaxLineGap) return KZ_UNSUPPORTED;
            } else if (const int16_t result = InitPage(ctx, line); result != 0) {
                return result;  // nothing of the line is stored yet
            }
            ctx->RasterReceived = 1;
            accountGap(ctx, lineMultiplier);
            counted = true;
        }
        storeLine(ctx, plane.Data, p, span, lineMultiplier);
    }
    return 0;
}

void BoldRasterData(const uint8_t* data, const ByteSpan* span, uint8_t* dst) {
    dst = putBold(span->FirstEdge, dst);
    const uint8_t* whole = data + span->StartByte + 1;
    for (int i = 0; i < span->WholeBytes; ++i) dst = putBold(whole[i], dst);
    putBold(span->LastEdge, dst);
}
