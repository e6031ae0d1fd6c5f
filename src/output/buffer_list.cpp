#include "output/buffer_list.h"

#include "kzrqo317/platform.h"

namespace {

std::int32_t used(const BufListNode& node) { return static_cast<std::int32_t>(node.BufPtr - node.BufTop); }

uint8_t* lockBlock(uint32_t handle) { return static_cast<uint8_t*>(KRVSLockHNDL(handle)); }

}  // namespace

void FormatBufList(OutputContext* ctx) {
    BufListNode& first = ctx->BufList;
    first.BufTop = first.BufPtr = lockBlock(first.BufHandle);
    first.NextHandle = 0;
    first.NextNode = nullptr;
    ctx->CurBufList = &first;
}

// A node without a data block (its allocation failed) takes nothing: the
// request goes to a fresh node chained after it instead of to a null address.
// New nodes always go at the real end of the chain, so a node left without a
// block by an earlier failure stays linked (and is released) instead of being
// overwritten by the next one.
BufListNode* GetNextList(BufListNode* node, int32_t n) {
    if (node == nullptr || n < 0 || n > kz::kMaxPiece) return nullptr;
    while (node->NextNode != nullptr) node = node->NextNode;
    if (node->BufTop != nullptr && used(*node) + n + 1 <= kz::kBlockCapacityLimit) return node;

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

void SetDataInfo(OutputContext* ctx, uint32_t* dataInfo) {
    ctx->OutputPending = 1;
    int32_t nodes = 1;
    for (const BufListNode* n = ctx->BufList.NextNode; n != nullptr; n = n->NextNode) ++nodes;

    DataInfoRecord* record = static_cast<DataInfoRecord*>(KRVSLockHNDL(ctx->DataInfoRecHandle));
    DataInfo* info = static_cast<DataInfo*>(KRVSLockHNDL(record->DataInfoHandle));
    record->DataInfoPtr = info;

    ctx->DataListHandle = KRVSNewHNDL(8 + 8 * nodes);
    if (ctx->DataListHandle == 0) {
        // Nothing is handed out and the caller's variable is not written; a
        // caller that reads the DataInfo of an earlier hand-out through it
        // finds no output rather than a released list.
        if (info != nullptr) {
            info->EntryCount = 0;
            info->ListHandle = 0;
        }
        return;
    }
    ctx->DataListPtr = static_cast<DataList*>(KRVSLockHNDL(ctx->DataListHandle));

    DataList* entry = ctx->DataListPtr;
    const BufListNode* node = &ctx->BufList;
    entry->BlockHandle = node->BufHandle;
    entry->ByteCount = static_cast<uint16_t>(used(*node));
    if (entry->ByteCount == 0) {
        info->EntryCount = 0;
    } else {
        for (node = node->NextNode; node != nullptr; node = node->NextNode) {
            ++entry;
            entry->BlockHandle = node->BufHandle;
            entry->ByteCount = static_cast<uint16_t>(used(*node));
        }
        info->EntryCount = static_cast<uint16_t>(nodes);
    }
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
