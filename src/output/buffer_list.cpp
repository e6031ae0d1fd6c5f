#include "output/buffer_list.h"

#include <algorithm>

#include "kzrqo317/platform.h"

namespace {

std::int32_t used(const BufListNode& node) { return static_cast<std::int32_t>(node.BufPtr - node.BufTop); }

bool holdsOutput(const BufListNode& node) { return node.BufHandle != 0 && node.BufTop != nullptr && used(node) > 0; }

// Entries of a first DataList: half a megabyte of output before it grows.
constexpr int32_t kListedAtFirst = 16;

uint8_t* lockBlock(uint32_t handle) { return static_cast<uint8_t*>(KRVSLockHNDL(handle)); }

}  // namespace

// Empties the chain for a new producing call.  The blocks chained for an
// earlier call are kept, emptied, for this one to fill in turn.
void FormatBufList(OutputContext* ctx) {
    AllLockBufLst(&ctx->BufList);
    for (BufListNode* n = &ctx->BufList; n != nullptr; n = n->NextNode) n->BufPtr = n->BufTop;
    ctx->CurBufList = &ctx->BufList;
}

// The node from `node` on that takes n bytes whole: `node` itself, or the
// first empty block after it (kept from an earlier call, or emptied by a
// taken-back scan), or else a new node chained at the end.  A node without a
// data block (its allocation failed) takes nothing and stays linked, so it is
// released with the others.
BufListNode* GetNextList(BufListNode* node, int32_t n) {
    if (node == nullptr || n < 0 || n > kz::kMaxPiece) return nullptr;
    for (;; node = node->NextNode) {
        if (node->BufTop != nullptr && used(*node) + n + 1 <= kz::kBlockCapacityLimit) return node;
        if (node->NextNode == nullptr) break;
    }

    node->NextHandle = KRVSNewHNDL(sizeof(BufListNode));
    if (node->NextHandle == 0) return nullptr;
    auto* next = static_cast<BufListNode*>(KRVSLockHNDL(node->NextHandle));
    node->NextNode = next;
    next->BufHandle = KRVSNewHNDL(kz::kOutputBlockSize);
    if (next->BufHandle == 0) return nullptr;
    next->BufTop = next->BufPtr = lockBlock(next->BufHandle);
    next->NextNode = nullptr;
    return next;
}

// Lists the blocks that hold output, in chain order.  Blocks emptied by a
// taken-back scan and nodes whose block could not be had are left out, so
// every entry up to the all-zero end is a block with bytes in it, and the
// first block being empty does not hide what later blocks hold.  The DataList
// is kept from one hand-out to the next and only grows; when it cannot grow,
// nothing is handed out, the caller's variable is not written and
// OutputPending stays 0.
void SetDataInfo(OutputContext* ctx, uint32_t* dataInfo) {
    int32_t filled = 0;
    for (const BufListNode* n = &ctx->BufList; n != nullptr; n = n->NextNode) filled += holdsOutput(*n) ? 1 : 0;

    DataInfoRecord* record = static_cast<DataInfoRecord*>(KRVSLockHNDL(ctx->DataInfoRecHandle));
    DataInfo* info = static_cast<DataInfo*>(KRVSLockHNDL(record->DataInfoHandle));
    record->DataInfoPtr = info;

    // An empty output still lists the first block, with no bytes.
    const int32_t listed = filled == 0 ? 1 : filled;
    if (ctx->DataListHandle == 0 || ctx->DataListCapacity < listed) {
        const int32_t capacity = std::max({kListedAtFirst, listed, 2 * ctx->DataListCapacity});
        const uint32_t grown = KRVSNewHNDL(8 + 8 * capacity);
        if (grown == 0) {
            // A caller that reads the DataInfo of an earlier hand-out through
            // it finds no output rather than a list of other blocks.
            if (info != nullptr) {
                info->EntryCount = 0;
                info->ListHandle = 0;
            }
            return;
        }
        KRVSDisposeHNDL(&ctx->DataListHandle);
        ctx->DataListHandle = grown;
        ctx->DataListCapacity = capacity;
    }
    ctx->OutputPending = 1;
    ctx->DataListPtr = static_cast<DataList*>(KRVSLockHNDL(ctx->DataListHandle));

    DataList* entry = ctx->DataListPtr;
    if (filled == 0) {
        entry->BlockHandle = ctx->BufList.BufHandle;
        entry->ByteCount = 0;
        ++entry;
    }
    for (const BufListNode* n = &ctx->BufList; n != nullptr; n = n->NextNode) {
        if (!holdsOutput(*n)) continue;
        entry->BlockHandle = n->BufHandle;
        entry->ByteCount = static_cast<uint16_t>(used(*n));
        ++entry;
    }
    *entry = {};  // the end, after a longer list an earlier hand-out left
    info->EntryCount = static_cast<uint16_t>(filled);
    info->ListHandle = ctx->DataListHandle;
    *dataInfo = record->DataInfoHandle;
}

void AllUnlockBufLst(BufListNode* first) {
    KRVSUnlockHNDL(first->BufHandle);
    first->BufTop = nullptr;
    uint32_t handle = first->NextHandle;
    BufListNode* node = first->NextNode;
    while (handle != 0 && node != nullptr) {
        KRVSUnlockHNDL(node->BufHandle);
        node->BufTop = nullptr;
        const uint32_t nextHandle = node->NextHandle;
        BufListNode* next = node->NextNode;
        node->NextNode = nullptr;
        KRVSUnlockHNDL(handle);
        handle = nextHandle;
        node = next;
    }
}

void AllLockBufLst(BufListNode* first) {
    first->BufTop = lockBlock(first->BufHandle);
    for (BufListNode* node = first; node->NextHandle != 0; node = node->NextNode) {
        node->NextNode = static_cast<BufListNode*>(KRVSLockHNDL(node->NextHandle));
        if (node->NextNode == nullptr) break;
        node->NextNode->BufTop = lockBlock(node->NextNode->BufHandle);
    }
}

uint8_t* kz::claimOutput(OutputContext* ctx, std::int32_t n) {
    BufListNode* node = GetNextList(ctx->CurBufList, n);
    if (node == nullptr) return nullptr;
    uint8_t* at = node->BufPtr;
    node->BufPtr += n;
    ctx->CurBufList = node;
    return at;
}

kz::OutputMark kz::markOutput(const OutputContext* ctx) { return {ctx->CurBufList, ctx->CurBufList->BufPtr}; }

void kz::rewindOutput(OutputContext* ctx, const OutputMark& mark) {
    mark.node->BufPtr = mark.at;
    for (BufListNode* n = mark.node->NextNode; n != nullptr; n = n->NextNode) n->BufPtr = n->BufTop;
    ctx->CurBufList = mark.node;
}

BufListNode* kz::lastHoldingOutput(OutputContext* ctx) {
    BufListNode* last = &ctx->BufList;
    for (BufListNode* n = ctx->BufList.NextNode; n != nullptr; n = n->NextNode) {
        if (holdsOutput(*n)) last = n;
    }
    return last;
}

bool kz::holdsAnyOutput(const OutputContext* ctx) {
    for (const BufListNode* n = &ctx->BufList; n != nullptr; n = n->NextNode) {
        if (holdsOutput(*n)) return true;
    }
    return false;
}

bool kz::reserveOutput(OutputContext* ctx, std::int32_t n) { return GetNextList(ctx->CurBufList, n) != nullptr; }
