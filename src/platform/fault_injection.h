// Test seam of the platform layer: make a chosen allocation fail, and count
// allocations, live blocks and their peak bytes.  Not exported from the shared library; tests
// link the static archive.  When no failure is armed an allocation pays one
// relaxed atomic load for it.
#pragma once

#include <cstdint>

namespace kz::platform {

// The n-th allocation from now (n >= 1) fails; with `persistent`, every
// allocation from the n-th on fails.  n = 0 disarms.
void failAllocation(std::uint32_t n, bool persistent = false);

// Allocations attempted since the process started (failed ones included).
std::uint64_t allocationCount();

// Blocks from KRVSNewHNDL and KRVSNewPTR not yet disposed.
std::int64_t liveBlocks();

// The most bytes held in live blocks at once since the last reset (the
// allocator's usable sizes); a reset starts from the bytes held now.
std::int64_t peakLiveBytes();
void resetPeakLiveBytes();

// Restores the defaults above: nothing armed.
inline void resetFaults() { failAllocation(0); }

}  // namespace kz::platform
