#include "platform/allocation.h"

#include <atomic>
#include <cstdlib>

#include <malloc.h>

#include "platform/fault_injection.h"

namespace kz::platform {
namespace {

// 0: nothing armed.  Otherwise the number of allocations until the one that fails.
std::atomic<std::uint32_t> gFailCountdown{0};
std::atomic<bool> gFailPersistent{false};
std::atomic<std::uint64_t> gAllocations{0};
std::atomic<std::int64_t> gLiveBlocks{0};
std::atomic<std::int64_t> gLiveBytes{0};
std::atomic<std::int64_t> gPeakBytes{0};

bool injectedFailure() {
    std::uint32_t left = gFailCountdown.load(std::memory_order_relaxed);
    while (left != 0) {
        std::uint32_t next = left - 1;
        if (left == 1 && gFailPersistent.load(std::memory_order_relaxed)) next = 1;
        if (gFailCountdown.compare_exchange_weak(left, next, std::memory_order_relaxed))
            return left == 1;
    }
    return false;
}

}  // namespace

void failAllocation(std::uint32_t n, bool persistent) {
    gFailPersistent.store(persistent, std::memory_order_relaxed);
    gFailCountdown.store(n, std::memory_order_relaxed);
}

std::uint64_t allocationCount() { return gAllocations.load(std::memory_order_relaxed); }

std::int64_t liveBlocks() { return gLiveBlocks.load(std::memory_order_relaxed); }

std::int64_t peakLiveBytes() { return gPeakBytes.load(std::memory_order_relaxed); }

void resetPeakLiveBytes() { gPeakBytes.store(gLiveBytes.load(std::memory_order_relaxed), std::memory_order_relaxed); }

void* allocateZeroed(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (injectedFailure()) return nullptr;
    void* block = std::calloc(size, 1);
    if (block != nullptr) {
        gLiveBlocks.fetch_add(1, std::memory_order_relaxed);
        const auto bytes = static_cast<std::int64_t>(malloc_usable_size(block));
        const std::int64_t live = gLiveBytes.fetch_add(bytes, std::memory_order_relaxed) + bytes;
        std::int64_t peak = gPeakBytes.load(std::memory_order_relaxed);
        while (live > peak && !gPeakBytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
        }
    }
    return block;
}

void release(void* block) {
    if (block == nullptr) return;
    gLiveBlocks.fetch_sub(1, std::memory_order_relaxed);
    gLiveBytes.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(block)), std::memory_order_relaxed);
    std::free(block);
}

}  // namespace kz::platform
