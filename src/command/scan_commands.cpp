// The commands of one scan.
#include "command/scan_commands.h"

#include <array>
#include <cstring>

#include "command/compression.h"
#include "kzrqo317/platform.h"
#include "kzrqo317/result.h"
#include "output/buffer_list.h"
#include "platform/field_width.h"

namespace {

using SlotOrder = std::array<int8_t, 7>;
using PairTable = std::array<int8_t, 28>;  // 14 (slot, parity) pairs

// The order in which plane slots are sent.
constexpr SlotOrder kBlackOrder = {3, -1, -1, -1, -1, -1, -1};
constexpr SlotOrder kColorOrder = {1, 2, 0, -1, -1, -1, -1};
constexpr SlotOrder kUpperColorOrder = {5, 6, 4, -1, -1, -1, -1};
constexpr SlotOrder kFullOrder = {1, 2, 0, 3, -1, -1, -1};
constexpr std::array<SlotOrder, 4> SlotOrderTbl = {kBlackOrder, kColorOrder, kUpperColorOrder, kFullOrder};

// Each slot of an order with parity 0, then parity 1; unused pairs have slot -1.
constexpr PairTable pairsOf(const SlotOrder& order) {
    PairTable pairs{};
    for (auto& v : pairs) v = -1;
    int at = 0;
    for (int8_t slot : order) {
        if (slot < 0) continue;
        for (int8_t parity = 0; parity < 2; ++parity) {
            pairs[at++] = slot;
            pairs[at++] = parity;
        }
    }
    for (int i = at + 1; i < 28; i += 2) pairs[i] = 0;  // parity of an unused pair
    return pairs;
}
constexpr std::array<PairTable, 4> BlockPairTbl = {pairsOf(kBlackOrder), pairsOf(kColorOrder),
                                                   pairsOf(kUpperColorOrder), pairsOf(kFullOrder)};
static_assert(BlockPairTbl[3][0] == 1 && BlockPairTbl[3][1] == 0 && BlockPairTbl[3][2] == 1 &&
              BlockPairTbl[3][3] == 1 && BlockPairTbl[3][12] == 3 && BlockPairTbl[3][15] == 1 &&
              BlockPairTbl[3][16] == -1, "full order: (1,0) (1,1) (2,0) (2,1) (0,0) (0,1) (3,0) (3,1)");

// Ink id of each plane slot in the nozzle information command.
constexpr uint8_t NzlColorIdTbl[7] = {1, 2, 3, 0, 1, 2, 3};
// Heat trigger by pass index of the band (forward; backward uses 7 - t).
constexpr uint16_t HeatTriggerTbl[16] = {1, 0, 2, 3, 3, 2, 2, 3, 3, 2, 1, 0, 0, 1, 0, 1};
static_assert(std::size(HeatTriggerTbl) == 16, "one trigger per pass of the 16-pass mode");

constexpr uint8_t kSegmentEnd[3] = {0xE2, 0x00, 0x80};
constexpr int kBlackSlot = 3;

enum OrderIndex { kBlack, kColor, kUpperColor, kFull };

OrderIndex orderFor(uint32_t mode, uint32_t scanKind) {
    switch (mode) {
        case 11: case 12: case 13: return kBlack;
        case 5: case 6: case 15: return kColor;
        case 8: return scanKind == kz::kScanEvenPair ? kColor : kUpperColor;
        case 9: case 10: return kUpperColor;
        case 4: return scanKind == kz::kScanEvenPair ? kFull : kUpperColor;
        default: return kFull;
    }
}

void putLE16(uint8_t* at, int32_t v) {
    at[0] = kz::lowByte(v);
    at[1] = kz::lowByte(v >> 8);
}

int16_t sendFrame(OutputContext* ctx, HapsFrame* frame, uint8_t letter, uint16_t length, const uint8_t* body) {
    putLE16(frame->Header + 3, length);
    frame->Header[9] = letter;
    frame->Body = body;
    return sendHAPS(ctx, frame);
}

// Where the output stood before a scan, so an unfinished scan can be taken back whole.
struct ScanMark {
    kz::OutputMark output;
    int64_t feed;
    uint16_t firstScanPending;
};

ScanMark markOutput(const OutputContext* ctx) {
    return {kz::markOutput(ctx), ctx->FeedAmount, ctx->FirstScanPending};
}

// Drops everything written since the mark: the printer never sees a scan
// that announces more than follows.
void rewindOutput(OutputContext* ctx, const ScanMark& mark) {
    kz::rewindOutput(ctx, mark.output);
    ctx->FeedAmount = mark.feed;
    ctx->FirstScanPending = mark.firstScanPending;
}

// One feed command of FeedAmount: "m" for the page's first, "n" after.
int16_t sendFeed(OutputContext* ctx) {
    const uint8_t letter = ctx->FirstScanPending != 0 ? 'm' : 'n';
    ctx->FirstScanPending = 0;
    return kz::sendCommand(ctx, letter);
}

// The nozzle information commands of a scan; 0, or the first append failure.
int16_t sendNozzleInfo(OutputContext* ctx, const ScanInfo* scan, HapsFrame* frame, const int8_t* slotOrder) {
    int16_t result = 0;
    for (int i = 0; i < 7; ++i) {
        const int slot = slotOrder[i];
        if (slot < 0 || scan->SlotHasData[slot] == 0) continue;
        uint8_t field = 0;
        if (slot == kBlackSlot) {
            switch (ctx->PrintMode) {
                case 0: case 1: field = scan->ScanNzlNum == 128 ? 9 : 0; break;
                case 2: field = scan->ScanNzlNum == 128 ? 12 : 0; break;
                case 11: case 12: case 13: field = 0; break;
                case 14: field = 9; break;
                default: field = 11; break;
            }
        } else {
            field = scan->ScanNzlNum > 64 ? 0 : 4;
        }
        for (uint8_t parity = 0; parity < 2; ++parity) {
            const uint8_t body[3] = {static_cast<uint8_t>((parity == 0 ? 0x10 : 0x20) | NzlColorIdTbl[slot]), field,
                                     kz::lowByte(scan->ScanNzlNum / 32)};
            if (const int16_t r = sendFrame(ctx, frame, 'p', 8, body); result == 0) result = r;
        }
    }
    return result;
}

}  // namespace

int16_t setCommand_A2470(OutputContext* ctx, ScanInfo* scan, HVBufferTable hv) {
    const ScanMark mark = markOutput(ctx);
    const int16_t blocks = getBlkNum(scan, ctx, ctx->ScanDir);
    // A scan goes out whole or not at all: a feed, scan or nozzle command
    // that cannot be appended drops the scan as a data block does.
    int16_t result = 0;
    const auto keep = [&result](int16_t r) {
        if (result == 0) result = r;
    };
    if (ctx->FeedAmount != 0) {
        // A feed longer than one command carries goes out as several, each
        // as long as a command carries but the last, which stands right
        // before the scan.  (A feed that came out negative goes out as its
        // low 16 bits, as it always has.)
        int64_t left = ctx->FeedAmount;
        while (left > kz::kLongestFeedCommand) {
            ctx->FeedAmount = kz::kLongestFeedCommand;
            keep(sendFeed(ctx));
            left -= kz::kLongestFeedCommand;
        }
        ctx->FeedAmount = left;
        keep(sendFeed(ctx));
        ctx->FeedAmount = 0;
    }
    const OrderIndex order = orderFor(ctx->PrintMode, scan->ScanKind);
    HapsFrame frame{};
    keep(setCommand_ScanInfo_A2470(ctx, scan, &frame, static_cast<uint16_t>(blocks)));
    keep(sendNozzleInfo(ctx, scan, &frame, SlotOrderTbl[order].data()));
    if (ctx->PrintMode == 10) keep(setCommand_HeatTrigger_A2470(ctx, scan, &frame));
    if (result == 0) result = setCommand_Block_A2470(ctx, scan, hv, &frame, blocks, BlockPairTbl[order].data());
    if (result != 0) {
        rewindOutput(ctx, mark);
        kz::noteOutputFailure(ctx, result);
    }
    return result;
}

int16_t setCommand_PM(OutputContext* ctx, ScanInfo* scan, HVBufferTable hv) {
    scan->BlockMode = 0;
    int16_t result = setCommand_A2470(ctx, scan, hv);
    scan->BlockMode = 1;
    if (const int16_t second = setCommand_A2470(ctx, scan, hv); result == 0) result = second;
    scan->BlockMode = 2;
    return result;
}

int16_t setCommand_ScanInfo_A2470(OutputContext* ctx, const ScanInfo* scan, HapsFrame* frame, uint16_t blockCount) {
    const int passes = ctx->PassNum;
    int p1 = passes, p2 = passes, flag = 0;
    switch (ctx->PrintMode) {
        case 2:
            p1 = scan->ScanNzlNum == 128 ? 2 : 1;
            p2 = scan->ScanNzlNum == 128 ? 2 : 0;
            break;
        case 4: case 8:
            p1 = p2 = passes / 2;
            flag = scan->ScanKind == kz::kScanEvenPair ? 0 : 1;
            break;
        case 5: case 6: case 15: p1 = 0; break;
        case 9: case 10: p1 = 0; flag = 1; break;
        case 11: case 12: case 13: case 14: p2 = 0; break;
        default: break;  // 0, 1, 3, 7
    }
    const int d = kz::columnDivisor(ctx->PrintMode);
    int32_t start, end;
    if (ctx->ScanDir == 0) {
        start = scan->ScanLeft - 16 / d;
        end = scan->ScanRight + 32 / d - 1;
    } else {
        // The head starts at the right; the 16-pass mode sits one column further.
        const int extra = ctx->PrintMode == 10 ? 1 : 0;
        start = scan->ScanRight + 64 / d - 1 + extra;
        end = scan->ScanLeft - 16 / d + extra;
    }
    if (ctx->MarginInfo != 1 && ctx->PaperSize >= 13 && ctx->PaperSize <= 16) {
        start += 142 / d;
        end += 142 / d;
    }
    uint8_t body[10];
    putLE16(body, start);
    putLE16(body + 2, end);
    body[4] = kz::lowByte(ctx->ScanSpeed);
    body[5] = kz::lowByte(scan->ColorHasData);
    body[6] = kz::lowByte(p1);
    body[7] = kz::lowByte(p2);
    body[8] = kz::lowByte(blockCount);
    body[9] = kz::lowByte(flag);
    return sendFrame(ctx, frame, 'o', 15, body);
}

void setCommand_NzlInfo_A2470(OutputContext* ctx, const ScanInfo* scan, HapsFrame* frame, const int8_t* slotOrder) {
    sendNozzleInfo(ctx, scan, frame, slotOrder);
}



int16_t setCommand_HeatTrigger_A2470(OutputContext* ctx, const ScanInfo* scan, HapsFrame* frame) {
    const uint16_t t = HeatTriggerTbl[scan->ScanPassIndex & 15];
    const uint8_t body[3] = {0xC0, 0x12, kz::lowByte(ctx->ScanDir == 0 ? t : 7 - t)};
    return sendFrame(ctx, frame, 'i', 8, body);
}

int16_t setCommand_Block_A2470(OutputContext* ctx, const ScanInfo* scan, HVBufferTable hv, HapsFrame* frame,
                               int16_t blockCount, const int8_t* pairs) {
    const int32_t blockSize = (scan->ScanNzlNum / 16) * ctx->BlockWidth;
    const int16_t nozzles = static_cast<int16_t>(scan->ScanNzlNum / 2);
    for (int k = 0; k < blockCount; ++k) {
        if (sendFrame(ctx, frame, 's', 5, nullptr) != 0) return KZ_NO_MEMORY;
        uint8_t* lengthField = ctx->CurBufList->BufPtr - kz::kFrameHeaderSize + 3;
        int32_t length = 5;
        for (int i = 0; i < 14; ++i) {
            const int slot = pairs[2 * i], parity = pairs[2 * i + 1];
            if (slot < 0 || scan->SlotHasData[slot] == 0) continue;
            BufListNode* node = GetNextList(ctx->CurBufList, 2 * blockSize);
            if (node == nullptr) return KZ_NO_MEMORY;
            ctx->CurBufList = node;
            const uint8_t* source = nullptr;
            if (hv[slot][parity] != 0 && (scan->BlockMode == 2 || scan->BlockMode == static_cast<uint32_t>(parity))) {
                source = static_cast<const uint8_t*>(KRVSLockHNDL(hv[slot][parity])) + k * blockSize;
            }
            length += comp_hvbuf(node, source, blockSize, nozzles, k == blockCount - 1 ? 1 : 0);
            uint8_t* end = kz::claimOutput(ctx, sizeof kSegmentEnd);
            if (end == nullptr) return KZ_NO_MEMORY;
            KRVSCopyData(kSegmentEnd, end, sizeof kSegmentEnd);
            length += sizeof kSegmentEnd;
        }
        putLE16(lengthField, length);
    }
    return 0;
}

namespace {

// Whether `count` bytes are all zero, compared a word at a time.
bool blankBytes(const uint8_t* bytes, int count) {
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        if (word != 0) return false;
    }
    for (; i < count; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

}  // namespace

int16_t comp_hvbuf(BufListNode* node, const uint8_t* source, int32_t, int16_t nozzles, uint16_t lastBlock) {
    if (source == nullptr) return 0;
    const int groupBytes = 2 * nozzles;  // 16 columns of nozzles / 8 bytes each
    int columns = 128;
    if (lastBlock != 0) {
        // Blank 16-column groups at the end of the scan's last block are not sent.
        while (columns > 0) {
            if (!blankBytes(source + (columns - 16) * nozzles / 8, groupBytes)) break;
            columns -= 16;
        }
        if (columns == 0) return 0;
    }
    const int16_t written = packbits(node->BufPtr, source, columns * nozzles / 8);
    if (written <= 0) return 0;
    node->BufPtr += written;
    return written;
}
