// Handles: opaque 32-bit names of zero-filled blocks that never move.
//
// On 32-bit x86 a handle is the block's address.  On 64-bit targets addresses
// do not fit, so handles index a table kept here:
//
//   handle = generation (12 bits) << 20 | slot (20 bits, slot 0 unused)
//
// Locking reads the slot without a lock (O(1)); a slot whose stored handle is
// not the one asked for (never issued, disposed, or reissued under a newer
// generation) locks to null.  Allocation and release take a mutex.  Freed
// slots wait in a FIFO until 4096 others are free, and each reuse bumps the
// generation, so a stale handle names no block for a long time.  The table's
// pages are allocated on demand and kept for the life of the process; this
// table is the library's only writable state outside a job's context.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "kzrqo317/platform.h"
#include "platform/allocation.h"

namespace kz::platform {
namespace {

// Module record of the platform layer, carried in the binary and read by nothing.
[[gnu::used]] constexpr char kModuleRecord[] = "LANTERNS_KRVS_1_42_01_001";

constexpr bool kHandleIsAddress = sizeof(void*) == sizeof(std::uint32_t);

constexpr unsigned kSlotBits = 20;
constexpr std::uint32_t kSlotMask = (1u << kSlotBits) - 1;
constexpr std::uint32_t kGenerationMask = (1u << (32 - kSlotBits)) - 1;
constexpr unsigned kPageBits = 10;
constexpr std::uint32_t kPageSlots = 1u << kPageBits;
constexpr std::uint32_t kPageCount = (kSlotMask >> kPageBits) + 1;
constexpr std::uint32_t kReuseDepth = 4096;

struct Slot {
    std::atomic<void*> block;
    std::atomic<std::uint32_t> handle;  // the live handle naming this slot, or 0
    std::uint32_t generation;           // guarded by the table mutex
    std::uint32_t nextFree;             // guarded by the table mutex; 0 ends the list
};

class HandleTable {
public:
    void* lock(std::uint32_t handle) const {
        const std::uint32_t slot = handle & kSlotMask;
        if (slot == 0) return nullptr;
        const Slot* page = pages_[slot >> kPageBits].load(std::memory_order_acquire);
        if (page == nullptr) return nullptr;
        const Slot& s = page[slot & (kPageSlots - 1)];
        if (s.handle.load(std::memory_order_acquire) != handle) return nullptr;
        return s.block.load(std::memory_order_relaxed);
    }

    std::uint32_t issue(void* block) {
        std::lock_guard guard(mutex_);
        const std::uint32_t slot = takeSlot();
        if (slot == 0) return 0;
        Slot& s = at(slot);
        const std::uint32_t handle = (s.generation << kSlotBits) | slot;
        s.block.store(block, std::memory_order_relaxed);
        s.handle.store(handle, std::memory_order_release);
        return handle;
    }

    // The block named by `handle`, now unnamed; null if the handle names none.
    void* withdraw(std::uint32_t handle) {
        std::lock_guard guard(mutex_);
        if (lock(handle) == nullptr) return nullptr;
        const std::uint32_t slot = handle & kSlotMask;
        Slot& s = at(slot);
        s.handle.store(0, std::memory_order_release);
        void* block = s.block.exchange(nullptr, std::memory_order_relaxed);
        s.generation = (s.generation + 1) & kGenerationMask;
        s.nextFree = 0;
        if (freeTail_ != 0) at(freeTail_).nextFree = slot; else freeHead_ = slot;
        freeTail_ = slot;
        ++freeCount_;
        return block;
    }

private:
    Slot& at(std::uint32_t slot) {
        return pages_[slot >> kPageBits].load(std::memory_order_relaxed)[slot & (kPageSlots - 1)];
    }

    std::uint32_t takeSlot() {
        if (freeCount_ >= kReuseDepth || (nextFresh_ > kSlotMask && freeCount_ > 0)) {
            const std::uint32_t slot = freeHead_;
            freeHead_ = at(slot).nextFree;
            if (freeHead_ == 0) freeTail_ = 0;
            --freeCount_;
            return slot;
        }
        if (nextFresh_ > kSlotMask) return 0;
        const std::uint32_t page = nextFresh_ >> kPageBits;
        if (pages_[page].load(std::memory_order_relaxed) == nullptr) {
            auto* fresh = static_cast<Slot*>(std::calloc(kPageSlots, sizeof(Slot)));
            if (fresh == nullptr) return 0;
            pages_[page].store(fresh, std::memory_order_release);
        }
        return nextFresh_++;
    }

    std::mutex mutex_;
    std::atomic<Slot*> pages_[kPageCount] = {};
    std::uint32_t nextFresh_ = 1;
    std::uint32_t freeHead_ = 0;
    std::uint32_t freeTail_ = 0;
    std::uint32_t freeCount_ = 0;
};

HandleTable gTable;

}  // namespace
}  // namespace kz::platform

using namespace kz::platform;

uint32_t KRVSNewHNDL(int32_t size) {
    if (size <= 0) return 0;
    void* block = allocateZeroed(static_cast<std::size_t>(size));
    if (block == nullptr) return 0;
    if constexpr (kHandleIsAddress) {
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(block));
    } else {
        const std::uint32_t handle = gTable.issue(block);
        if (handle == 0) release(block);
        return handle;
    }
}

void KRVSDisposeHNDL(uint32_t* handle) {
    if (handle == nullptr || *handle == 0) return;
    if constexpr (kHandleIsAddress) {
        release(reinterpret_cast<void*>(static_cast<std::uintptr_t>(*handle)));
    } else {
        release(gTable.withdraw(*handle));
    }
    *handle = 0;
}

void* KRVSLockHNDL(uint32_t handle) {
    if constexpr (kHandleIsAddress) {
        return reinterpret_cast<void*>(static_cast<std::uintptr_t>(handle));
    } else {
        return gTable.lock(handle);
    }
}

void KRVSUnlockHNDL(uint32_t) {}

void* KRVSNewPTR(int32_t size) {
    if (size <= 0) return nullptr;
    return allocateZeroed(static_cast<std::size_t>(size));
}

void KRVSDisposePTR(void* block) { release(block); }
