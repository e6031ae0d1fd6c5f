// The constant rows of the feed and nozzle-deletion orders, by print mode.
//
// Amounts are half raster lines: a feed of 62 moves the paper 31 lines.  Only
// the first `passes` steps of a row are used; the rest are zero.  A zero step
// is a real step: the paper stays, and the next scan prints at the same place.
#pragma once

#include <array>
#include <cstdint>

#include "output/context.h"

namespace kz {

struct OrderRow {
    int passes;
    std::array<std::uint16_t, kOrderLength> steps;
};

constexpr int cycleSum(const OrderRow& row) {
    int sum = 0;
    for (int i = 0; i < row.passes; ++i) sum += row.steps[i];
    return sum;
}

constexpr bool zeroBeyondPasses(const OrderRow& row) {
    for (int i = row.passes; i < kOrderLength; ++i) {
        if (row.steps[i] != 0) return false;
    }
    return row.passes >= 1 && row.passes <= kOrderLength;
}

// The rows of one print mode.  Modes without edge phases have no edge rows.
struct ModeOrders {
    const OrderRow* feed;
    const OrderRow* deletion;
    const OrderRow* edgeFeed;      // top and bottom edge
    const OrderRow* kickOffFeed;
    const OrderRow* edgeDeletion;  // top, bottom and kick-off
};

// Rows of print mode 0..15.
const ModeOrders& ordersOfMode(std::uint32_t printMode);

}  // namespace kz
