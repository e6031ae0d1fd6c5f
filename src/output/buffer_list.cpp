#include "output/buffer_list.h"

#include "kzrqo317/platform.h"

namespace {

std::int32_t used(const BufListNode& node) { return static_cast<std::int32_t>(node.BufPtr - node.BufTop); }

bool holdsOutput(const BufListNode& node) { return node.BufHandle != 0 && node.BufTop != nullptr && used(node) > 0; }

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

// Lists the blocks that hold output, in chain order.  Blocks emptied by a
// taken-back scan and nodes whose block could not be had are left out, so
// every entry up to the all-zero end is a block with bytes in it, and the
// first block being empty does not hide what later blocks hold.  Nothing
// but the DataList is allocated; when it cannot be had, nothing is handed
// out, the caller's variable is not written and OutputPending stays 0.
void SetDataInfo(OutputContext* ctx, uint32_t* dataInfo) {
    int32_t filled = 0;
    for (const BufListNode* n = &ctx->BufList; n != nullptr; n = n->NextNode) filled += holdsOutput(*n) ? 1 : 0;

    DataInfoRecord* record = static_cast<DataInfoRecord*>(KRVSLockHNDL(ctx->DataInfoRecHandle));
    DataInfo* info = static_cast<DataInfo*>(KRVSLockHNDL(record->DataInfoHandle));
    record->DataInfoPtr = info;

    // An empty output still lists the first block, with no bytes.
    const int32_t listed = filled == 0 ? 1 : filled;
    ctx->DataListHandle = KRVSNewHNDL(8 + 8 * listed);
    if (ctx->DataListHandle == 0) {
        // A caller that reads the DataInfo of an earlier hand-out through it
        // finds no output rather than a released list.
        if (info != nullptr) {
            info->EntryCount = 0;
            info->ListHandle = 0;
        }
        return;
    }
    ctx->OutputPending = 1;
    ctx->DataListPtr = static_cast<DataList*>(KRVSLockHNDL(ctx->DataListHandle));

    DataList* entry = ctx->DataListPtr;
    if (filled == 0) {
        entry->BlockHandle = ctx->BufList.BufHandle;
        entry->ByteCount = 0;
    }
    for (const BufListNode* n = &ctx->BufList; n != nullptr; n = n->NextNode) {
        if (!holdsOutput(*n)) continue;
        entry->BlockHandle = n->BufHandle;
        entry->ByteCount = static_cast<uint16_t>(used(*n));
        ++entry;
    }
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

bool kz::reserveOutput(OutputContext* ctx, std::int32_t n) { return GetNextList(ctx->CurBufList, n) != nullptr; }
