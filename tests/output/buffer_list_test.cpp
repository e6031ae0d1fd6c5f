#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "kzrqo317/platform.h"
#include "output/buffer_list.h"
#include "platform/fault_injection.h"
#include "support/output_fixture.h"

namespace {

class BufferList : public kz::test::OutputFixture {
protected:
    // Appends a piece of n bytes of value v the way the command writers do.
    bool append(int32_t n, uint8_t v = 0x5A) {
        uint8_t* at = kz::claimOutput(ctx, n);
        if (at == nullptr) return false;
        std::memset(at, v, static_cast<size_t>(n));
        return true;
    }

    struct Entry { uint32_t handle; uint16_t bytes; };
    // Hands the chain out and reads back the DataInfo count and every list entry, zero entry included.
    std::pair<uint16_t, std::vector<Entry>> handOut() {
        uint32_t out = 0xDEAD;
        SetDataInfo(ctx, &out);
        EXPECT_EQ(out, record()->DataInfoHandle);
        const auto* info = static_cast<const DataInfo*>(KRVSLockHNDL(out));
        const auto* list = static_cast<const DataList*>(KRVSLockHNDL(info->ListHandle));
        std::vector<Entry> entries;
        const int listed = info->EntryCount == 0 ? 1 : info->EntryCount;
        for (int i = 0; i <= listed; ++i) entries.push_back({list[i].BlockHandle, list[i].ByteCount});
        EXPECT_EQ(entries.back().handle, 0u) << "the list ends with an all-zero entry";
        EXPECT_EQ(entries.back().bytes, 0);
        return {info->EntryCount, entries};
    }

};

TEST_F(BufferList, EmptyHandOutHasCountZeroAndTwoEntries) {
    auto [count, entries] = handOut();
    EXPECT_EQ(count, 0);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].handle, ctx->BufList.BufHandle);
    EXPECT_EQ(entries[0].bytes, 0);
    EXPECT_EQ(ctx->OutputPending, 1);
}

TEST_F(BufferList, BlockGrowsAtExactly32765Bytes) {
    ASSERT_TRUE(append(30000));
    ASSERT_TRUE(append(2765));
    EXPECT_EQ(ctx->CurBufList, &ctx->BufList);
    ASSERT_TRUE(append(1, 0x77));
    ASSERT_NE(ctx->CurBufList, &ctx->BufList);
    auto [count, entries] = handOut();
    EXPECT_EQ(count, 2);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].bytes, 32765);
    EXPECT_EQ(entries[1].bytes, 1);
    EXPECT_EQ(static_cast<uint8_t*>(KRVSLockHNDL(entries[1].handle))[0], 0x77);
}

TEST_F(BufferList, PiecesAreNeverSplit) {
    ASSERT_TRUE(append(30000));
    ASSERT_TRUE(append(5000));
    auto [count, entries] = handOut();
    EXPECT_EQ(count, 2);
    EXPECT_EQ(entries[0].bytes, 30000);
    EXPECT_EQ(entries[1].bytes, 5000);
}

TEST_F(BufferList, ZeroRequestOnEmptyNodeReturnsIt) {
    EXPECT_EQ(GetNextList(&ctx->BufList, 0), &ctx->BufList);
    EXPECT_EQ(GetNextList(&ctx->BufList, kz::kMaxPiece + 1), nullptr) << "no piece may exceed a block";
}

TEST_F(BufferList, UnlockAndLockWalksRestoreAddresses) {
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(append(32000));
    std::vector<uint8_t*> ptrs;
    for (BufListNode* n = &ctx->BufList; n != nullptr; n = n->NextNode) ptrs.push_back(n->BufPtr);
    BufListNode* second = ctx->BufList.NextNode;
    BufListNode* third = second->NextNode;
    AllUnlockBufLst(&ctx->BufList);
    EXPECT_EQ(ctx->BufList.BufTop, nullptr);
    EXPECT_EQ(second->BufTop, nullptr);
    EXPECT_EQ(second->NextNode, nullptr);
    EXPECT_EQ(third->BufTop, nullptr);
    AllLockBufLst(&ctx->BufList);
    EXPECT_EQ(ctx->BufList.NextNode, second);
    EXPECT_EQ(second->NextNode, third);
    EXPECT_EQ(third->BufTop, KRVSLockHNDL(third->BufHandle));
    std::vector<uint8_t*> after;
    for (BufListNode* n = &ctx->BufList; n != nullptr; n = n->NextNode) after.push_back(n->BufPtr);
    EXPECT_EQ(after, ptrs);
}

TEST_F(BufferList, FailedGrowthWritesNothingAndKeepsTheChain) {
    ASSERT_TRUE(append(32000, 1));
    kz::platform::failAllocation(1);  // the new node itself
    EXPECT_FALSE(append(1000));
    kz::platform::failAllocation(2);  // the new node's data block
    EXPECT_FALSE(append(1000));
    kz::platform::resetFaults();
    // The node left without a block takes nothing; the next piece goes after
    // it, and the hand-out lists only blocks with bytes up to its zero end.
    ASSERT_TRUE(append(1000, 2));
    auto [count, entries] = handOut();
    ASSERT_EQ(count, 2);
    EXPECT_EQ(entries[0].bytes, 32000);
    EXPECT_EQ(entries[1].bytes, 1000);
    EXPECT_NE(entries[1].handle, 0u);
}

// A taken-back piece can leave the first block (or any other) empty while
// later blocks hold output: those are handed out all the same.
TEST_F(BufferList, EmptiedBlocksAreLeftOutOfTheHandOut) {
    const kz::OutputMark mark = kz::markOutput(ctx);
    ASSERT_TRUE(append(30000));
    ASSERT_TRUE(append(5000));
    ASSERT_TRUE(append(5000));
    kz::rewindOutput(ctx, mark);
    ASSERT_TRUE(append(7, 3));
    auto [count, entries] = handOut();
    ASSERT_EQ(count, 1);
    EXPECT_EQ(entries[0].bytes, 7);
    EXPECT_EQ(static_cast<const uint8_t*>(KRVSLockHNDL(entries[0].handle))[6], 3);
}

// The blocks and the DataList of one hand-out serve the next: nothing is
// allocated again, and a shorter list ends where its own entries do.
TEST_F(BufferList, KeptBlocksServeTheNextHandOut) {
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(append(30000));
    ASSERT_EQ(handOut().first, 3);
    ctx->OutputPending = 0;
    AllUnlockBufLst(&ctx->BufList);
    const auto allocations = kz::platform::allocationCount();
    FormatBufList(ctx);
    ASSERT_TRUE(append(32000, 1));
    ASSERT_TRUE(append(1000, 2));
    auto [count, entries] = handOut();
    EXPECT_EQ(kz::platform::allocationCount(), allocations);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(entries[0].bytes, 32000);
    EXPECT_EQ(entries[1].bytes, 1000);
    EXPECT_EQ(static_cast<const uint8_t*>(KRVSLockHNDL(entries[1].handle))[999], 2);
}

TEST_F(BufferList, DataListFailureHandsNothingOut) {
    ASSERT_TRUE(append(10));
    kz::platform::failAllocation(1);
    uint32_t out = 0xBEEF;
    SetDataInfo(ctx, &out);
    EXPECT_EQ(out, 0xBEEFu);
    EXPECT_EQ(ctx->OutputPending, 0) << "nothing awaits OutputComplete";
    EXPECT_EQ(ctx->DataListHandle, 0u);
}

TEST_F(BufferList, RasterStoreAccessors) {
    ctx->LinePitch[2] = 1536;
    ctx->Band[2][1].LineMemory = KRVSNewHNDL(8 * 1536);
    BandBlock* block = GetBufInfo(ctx, 13, 2);
    EXPECT_EQ(block, &ctx->Band[2][1]);
    EXPECT_EQ(MyLockPH_Direct(ctx, block, 5, 2),
              static_cast<uint8_t*>(KRVSLockHNDL(block->LineMemory)) + 5 * 1536);
    EXPECT_EQ(MyLockPH_Direct(ctx, &ctx->Band[2][0], 0, 2), nullptr) << "no line memory, no address";
    EXPECT_EQ(MyLockPH_Index(ctx, block, 3), nullptr);
    KRVSDisposeHNDL(&ctx->Band[2][1].LineMemory);
}

}  // namespace
