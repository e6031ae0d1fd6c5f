#include "stream_reader/canvas.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

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
    columns_ = 0;
    bands_.clear();
    outOfMemory_ = false;
}

InkCanvas::Band InkCanvas::band() const {
    // calloc: large blocks come from the system already zero, untouched
    // until a dot lands in them.
    return Band(static_cast<uint16_t*>(std::calloc(size_t(kBandRows) * size_t(columns_) * kInks, sizeof(uint16_t))));
}

bool InkCanvas::cover(int64_t x0, int64_t x1, int64_t y0, int64_t y1) {
    int64_t c0 = floorDiv(x0, scale_), c1 = floorDiv(x1 - 1, scale_) + 1;
    int64_t b0 = floorDiv(floorDiv(y0, scale_), kBandRows), b1 = floorDiv(floorDiv(y1 - 1, scale_), kBandRows) + 1;
    const int64_t oldC0 = left_ / scale_, oldB0 = top_ / scale_ / kBandRows;
    const int64_t bands = int64_t(bands_.size());
    if (columns_ > 0) {
        c0 = std::min(c0, oldC0);
        c1 = std::max(c1, oldC0 + columns_);
        b0 = std::min(b0, oldB0);
        b1 = std::max(b1, oldB0 + bands);
    }
    const auto fits = [this](int64_t columns, int64_t rows) {
        return columns <= maxCells_ && rows <= maxCells_ && columns * rows <= maxCells_;
    };
    if (!fits(c1 - c0, (b1 - b0) * kBandRows)) return false;
    if (columns_ > 0 && (c0 < oldC0 || c1 > oldC0 + columns_)) {
        // Columns grow seldom: room for more at once, where the grid may have it.
        const int64_t slack = std::max<int64_t>(64, columns_ / 2);
        const int64_t wider0 = c0 < oldC0 ? c0 - slack : c0, wider1 = c1 > oldC0 + columns_ ? c1 + slack : c1;
        if (fits(wider1 - wider0, (b1 - b0) * kBandRows)) {
            c0 = wider0;
            c1 = wider1;
        }
    }
    const int64_t columns = c1 - c0;
    if (columns != columns_) {
        // Every band again, its rows moved to the new columns, one band at a
        // time so that the grid never takes twice its memory.
        const int old = columns_;
        columns_ = int(columns);
        for (auto& kept : bands_) {
            Band wider = band();
            if (!wider) return lost();
            for (int64_t r = 0; r < kBandRows; ++r) {
                std::memcpy(&wider[size_t((r * columns + oldC0 - c0) * kInks)], &kept[size_t(r * old * kInks)],
                            size_t(old) * kInks * sizeof(uint16_t));
            }
            kept = std::move(wider);
        }
    }
    std::vector<Band> grown;
    for (int64_t b = b0; b < b1; ++b) {
        const int64_t kept = b - oldB0;
        grown.push_back(kept >= 0 && kept < bands ? std::move(bands_[size_t(kept)]) : band());
        if (!grown.back()) return lost();
    }
    bands_.swap(grown);
    left_ = c0 * scale_;
    top_ = b0 * kBandRows * scale_;
    return true;
}

bool InkCanvas::lost() {
    bands_.clear();
    columns_ = 0;
    outOfMemory_ = true;
    return false;
}

const uint16_t* InkCanvas::cell(int64_t column, int64_t row) const {
    const int64_t c = column - left_ / scale_, r = row - top_ / scale_;
    if (c < 0 || c >= columns_ || r < 0 || r >= rows()) return nullptr;
    return &bands_[size_t(r / kBandRows)][size_t(((r % kBandRows) * columns_ + c) * kInks)];
}

bool InkCanvas::inked(int64_t& x0, int64_t& x1, int64_t& y0, int64_t& y1) const {
    int64_t c0 = columns_, c1 = -1, r0 = rows(), r1 = -1;
    for (int64_t r = 0; r < rows(); ++r) {
        const uint16_t* row = &bands_[size_t(r / kBandRows)][size_t((r % kBandRows) * columns_ * kInks)];
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
