#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <numeric>
#include <thread>
#include <vector>

#include "kzrqo317/platform.h"
#include "platform/fault_injection.h"

namespace {

TEST(Handles, NonPositiveSizesAllocateNothing) {
    const auto before = kz::platform::liveBlocks();
    EXPECT_EQ(KRVSNewHNDL(0), 0u);
    EXPECT_EQ(KRVSNewHNDL(-5), 0u);
    EXPECT_EQ(KRVSNewPTR(0), nullptr);
    EXPECT_EQ(kz::platform::liveBlocks(), before);
}

TEST(Handles, NewBlockIsZeroAndDisposeClearsTheVariable) {
    uint32_t h = KRVSNewHNDL(1000);
    ASSERT_NE(h, 0u);
    const auto* bytes = static_cast<const uint8_t*>(KRVSLockHNDL(h));
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(std::all_of(bytes, bytes + 1000, [](uint8_t b) { return b == 0; }));
    KRVSUnlockHNDL(h);
    EXPECT_EQ(KRVSLockHNDL(h), bytes) << "unlocking leaves the block where it was";
    KRVSDisposeHNDL(&h);
    EXPECT_EQ(h, 0u);
    KRVSDisposeHNDL(&h);  // a second dispose through the same variable does nothing
    KRVSDisposeHNDL(nullptr);
    EXPECT_EQ(KRVSLockHNDL(0), nullptr);
}

TEST(Handles, StaleAndNeverIssuedHandlesLockToNull) {
    if (sizeof(void*) == 4) GTEST_SKIP() << "on 32-bit x86 a handle is the block's address";
    uint32_t h = KRVSNewHNDL(16);
    const uint32_t stale = h;
    KRVSDisposeHNDL(&h);
    EXPECT_EQ(KRVSLockHNDL(stale), nullptr);
    uint32_t again = stale;
    KRVSDisposeHNDL(&again);  // disposing a stale handle frees nothing
    EXPECT_EQ(again, 0u);
    EXPECT_EQ(KRVSLockHNDL(0xFFFFFFFFu), nullptr);
    EXPECT_EQ(KRVSLockHNDL(0x00012345u), nullptr);
}

TEST(Handles, ReusedSlotsDoNotRevivePreviousHandles) {
    if (sizeof(void*) == 4) GTEST_SKIP() << "on 32-bit x86 a handle is the block's address";
    std::vector<uint32_t> stale;
    for (int i = 0; i < 10000; ++i) {
        uint32_t h = KRVSNewHNDL(8);
        ASSERT_NE(h, 0u);
        stale.push_back(h);
        KRVSDisposeHNDL(&h);
    }
    std::vector<uint32_t> live;
    for (int i = 0; i < 10000; ++i) live.push_back(KRVSNewHNDL(8));
    for (uint32_t s : stale) ASSERT_EQ(KRVSLockHNDL(s), nullptr) << std::hex << s;
    for (uint32_t& h : live) KRVSDisposeHNDL(&h);
}

TEST(Handles, ThreadsAllocateAndReleaseConcurrently) {
    const auto before = kz::platform::liveBlocks();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t] {
            std::vector<uint32_t> mine;
            for (int i = 0; i < 2000; ++i) {
                uint32_t h = KRVSNewHNDL(32);
                ASSERT_NE(h, 0u);
                static_cast<uint8_t*>(KRVSLockHNDL(h))[0] = static_cast<uint8_t>(t);
                mine.push_back(h);
                if (i % 3 == 0) {
                    KRVSDisposeHNDL(&mine.front());
                    mine.erase(mine.begin());
                }
            }
            for (uint32_t& h : mine) {
                ASSERT_EQ(static_cast<uint8_t*>(KRVSLockHNDL(h))[0], t);
                KRVSDisposeHNDL(&h);
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(kz::platform::liveBlocks(), before);
}

TEST(FaultInjection, TheNthAllocationFailsOnce) {
    kz::platform::failAllocation(2);
    uint32_t a = KRVSNewHNDL(4), b = KRVSNewHNDL(4), c = KRVSNewHNDL(4);
    kz::platform::resetFaults();
    EXPECT_NE(a, 0u);
    EXPECT_EQ(b, 0u);
    EXPECT_NE(c, 0u);
    KRVSDisposeHNDL(&a);
    KRVSDisposeHNDL(&c);
}

TEST(FaultInjection, PersistentFailureLastsUntilReset) {
    kz::platform::failAllocation(1, true);
    EXPECT_EQ(KRVSNewHNDL(4), 0u);
    EXPECT_EQ(KRVSNewPTR(4), nullptr);
    kz::platform::resetFaults();
    void* p = KRVSNewPTR(4);
    EXPECT_NE(p, nullptr);
    KRVSDisposePTR(p);
}

TEST(Bytes, CopyHandlesOverlapBothWays) {
    for (int shift : {3, -3, 4, -4, 1}) {
        std::array<uint8_t, 32> buf{};
        std::iota(buf.begin(), buf.end(), 1);
        const auto original = buf;
        const int from = shift > 0 ? 4 : 4 - shift, to = from + shift;
        KRVSCopyData(buf.data() + from, buf.data() + to, 10);
        for (int i = 0; i < 10; ++i) EXPECT_EQ(buf[to + i], original[from + i]) << "shift " << shift;
    }
}

TEST(Bytes, CopyIgnoresNullSameAndEmpty) {
    std::array<uint8_t, 4> a{1, 2, 3, 4}, b{};
    KRVSCopyData(nullptr, b.data(), 4);
    KRVSCopyData(a.data(), nullptr, 4);
    KRVSCopyData(a.data(), b.data(), 0);
    KRVSCopyData(a.data(), b.data(), -1);
    EXPECT_EQ(b, (std::array<uint8_t, 4>{}));
}

TEST(Bytes, FillSetsExactlyTheRange) {
    alignas(4) std::array<uint8_t, 16> buf{};
    KRVSSetData(buf.data() + 1, 0xAB, 7);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(buf[i], (i >= 1 && i < 8) ? 0xAB : 0) << i;
    KRVSSetData(buf.data(), 0x80, 16);
    for (uint8_t b : buf) EXPECT_EQ(b, 0x80);
    KRVSSetData(nullptr, 1, 4);
}

TEST(Bytes, Compare) {
    const uint8_t a[] = {1, 2, 3}, b[] = {1, 2, 4};
    EXPECT_EQ(KRVSCompData(a, b, 0), 1);
    EXPECT_EQ(KRVSCompData(a, b, 2), 1);
    EXPECT_EQ(KRVSCompData(a, b, 3), 0);
    EXPECT_EQ(KRVSCompData(nullptr, b, 0), -128);
    EXPECT_EQ(KRVSCompData(a, nullptr, 3), -128);
}

TEST(Bytes, SwapUnitsOfTwoAndFour) {
    uint8_t d[] = {1, 2, 3, 4, 5, 6, 7, 8};
    KRVSSwapData(d, 4, 2);
    EXPECT_EQ(std::vector<uint8_t>(d, d + 8), (std::vector<uint8_t>{4, 3, 2, 1, 8, 7, 6, 5}));
    KRVSSwapData(d, 2, 1);
    EXPECT_EQ(d[0], 3);
    EXPECT_EQ(d[1], 4);
    KRVSSwapData(d, 3, 2);
    KRVSSwapData(d, 2, 0);
    KRVSSwapData(nullptr, 2, 1);
    EXPECT_EQ(d[2], 2);
}

TEST(Bytes, EndianAndSystemInfo) {
    struct Case { int32_t a, b, want; };
    for (const Case c : {Case{0, 2, 0}, Case{0, 1, 1}, Case{1, 1, 0}, Case{2, 1, 1}, Case{1, 3, -128},
                         Case{-1, 1, -128}, Case{0, 0, 0}}) {
        EXPECT_EQ(KRVSCheckEndian(c.a, c.b), c.want) << c.a << "," << c.b;
    }
    uint32_t v = 99;
    EXPECT_EQ(KRVSGetSystemInfo(2, &v), -128);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(KRVSGetSystemInfo(1, &v), 0);
    EXPECT_EQ(v, 3u);
    EXPECT_EQ(KRVSGetSystemInfo(1, nullptr), -128);
}

}  // namespace
