#include "stream_reader/canvas.h"

#include <algorithm>
#include <cstring>

namespace kzinspect {
namespace {

static_assert(kInks * sizeof(uint16_t) == sizeof(uint64_t));

int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

}  // namespace

void InkCanvas::reset(int scale, int64_t maxCells) {
    scale_ = scale;
    maxCells_ = maxCells;
    left_ = top_ = 0;
    columns_ = rows_ = 0;
    cells_.clear();
}

bool InkCanvas::cover(int64_t x0, int64_t x1, int64_t y0, int64_t y1) {
    int64_t c0 = floorDiv(x0, scale_), c1 = floorDiv(x1 - 1, scale_) + 1;
    int64_t r0 = floorDiv(y0, scale_), r1 = floorDiv(y1 - 1, scale_) + 1;
    const int64_t oldC0 = left_ / scale_, oldR0 = top_ / scale_;
    if (columns_ > 0) {
        if (c0 >= oldC0 && c1 <= oldC0 + columns_ && r0 >= oldR0 && r1 <= oldR0 + rows_) return true;
        // Pages grow downward scan by scan: room for many scans at once.
        const int64_t slack = std::max<int64_t>(64, rows_ / 2);
        if (r1 > oldR0 + rows_) r1 = std::max(r1, oldR0 + rows_ + slack);
        if (r0 < oldR0) r0 = std::min(r0, oldR0 - slack);
        c0 = std::min(c0, oldC0);
        c1 = std::max(c1, oldC0 + columns_);
        r0 = std::min(r0, oldR0);
        r1 = std::max(r1, oldR0 + rows_);
    }
    const int64_t columns = c1 - c0, rows = r1 - r0;
    if (columns > maxCells_ || rows > maxCells_ || columns * rows > maxCells_) return false;
    std::vector<uint16_t> cells(size_t(columns * rows) * kInks, 0);
    for (int64_t r = 0; r < rows_; ++r) {
        std::memcpy(&cells[size_t(((r + oldR0 - r0) * columns + oldC0 - c0) * kInks)],
                    &cells_[size_t(r * columns_ * kInks)], size_t(columns_) * kInks * sizeof(uint16_t));
    }
    cells_.swap(cells);
    left_ = c0 * scale_;
    top_ = r0 * scale_;
    columns_ = int(columns);
    rows_ = int(rows);
    return true;
}

const uint16_t* InkCanvas::cell(int64_t column, int64_t row) const {
    const int64_t c = column - left_ / scale_, r = row - top_ / scale_;
    if (c < 0 || c >= columns_ || r < 0 || r >= rows_) return nullptr;
    return &cells_[size_t((r * columns_ + c) * kInks)];
}

bool InkCanvas::inked(int64_t& x0, int64_t& x1, int64_t& y0, int64_t& y1) const {
    int64_t c0 = columns_, c1 = -1, r0 = rows_, r1 = -1;
    for (int64_t r = 0; r < rows_; ++r) {
        const uint16_t* row = &cells_[size_t(r * columns_ * kInks)];
        int64_t first = -1, last = -1;
        for (int64_t c = 0; c < columns_; ++c) {
            uint64_t any;
            std::memcpy(&any, row + c * kInks, sizeof any);
            if (any == 0) continue;
            if (first < 0) first = c;
            last = c;
        }
        if (first < 0) continue;
        c0 = std::min(c0, first);
        c1 = std::max(c1, last);
        r0 = std::min(r0, r);
        r1 = r;
    }
    if (c1 < 0) return false;
    x0 = left_ + c0 * scale_;
    x1 = left_ + (c1 + 1) * scale_;
    y0 = top_ + r0 * scale_;
    y1 = top_ + (r1 + 1) * scale_;
    return true;
}

}  // namespace kzinspect
