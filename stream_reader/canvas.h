// A page's dots counted per preview pixel and ink, on a grid that grows as
// the page's scans reach further: in bands of rows, so that growing down or
// up adds bands and copies none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace kzinspect {

inline constexpr int kInks = 4;  // a cell's counts are read as one 64-bit word

class InkCanvas {
  public:
    // Empties the grid.  Each cell stands for scale x scale pixels, cells
    // start at multiples of `scale` from pixel 0, line 0; the grid never
    // holds more than `maxCells`.
    void reset(int scale, int64_t maxCells);
    // Makes the grid cover pixels [x0, x1) of lines [y0, y1).  False, with
    // the grid unchanged, when it would hold more than its cells allow; or,
    // with the grid emptied and outOfMemory() set, when memory ran out.
    bool cover(int64_t x0, int64_t x1, int64_t y0, int64_t y1);
    bool outOfMemory() const { return outOfMemory_; }

    // The counts of the cell row holding `line`, from the grid's first cell:
    // kInks per cell.  The line must be covered.
    uint16_t* row(int64_t line) {
        const size_t r = size_t((line - top_) / scale_);
        return bands_[r / kBandRows].get() + (r % kBandRows) * size_t(columns_) * kInks;
    }
    int64_t left() const { return left_; }  // pixel of the first cell
    int64_t top() const { return top_; }
    int columns() const { return columns_; }
    int64_t rows() const { return int64_t(bands_.size()) * kBandRows; }
    // Counts of the cell at (column, row) of the preview, or nullptr outside the grid.
    const uint16_t* cell(int64_t column, int64_t row) const;
    // The cells with a dot, as a pixel rectangle; false when there are none.
    bool inked(int64_t& x0, int64_t& x1, int64_t& y0, int64_t& y1) const;

  private:
    static constexpr int64_t kBandRows = 64;
    struct Free {
        void operator()(uint16_t* p) const { std::free(p); }
    };
    using Band = std::unique_ptr<uint16_t[], Free>;
    Band band() const;
    bool lost();

    int scale_ = 1;
    int64_t maxCells_ = 0;
    int64_t left_ = 0, top_ = 0;  // pixels, multiples of scale_ (top_ of kBandRows cells)
    int columns_ = 0;
    std::vector<Band> bands_;
    bool outOfMemory_ = false;
};

}  // namespace kzinspect
