#include "frontend/input/row_source.h"

#include <algorithm>

namespace kzfront::input {
namespace {

int64_t divideUp(int64_t a, int64_t b) { return (a + b - 1) / b; }

}  // namespace

int32_t reductionFor(int64_t w, int64_t h, const OpenOptions& o, bool picture, uint32_t divides, std::string& why) {
    if (w > kMaxInputSide || h > kMaxInputSide || w * h > kMaxInputPixels) {
        why = tooLargeToPrint(w, h);
        return 0;
    }
    int64_t f = std::max(divideUp(w, kMaxSide), divideUp(h, kMaxSide));
    while (divideUp(w, f) * divideUp(h, f) * 4 > kPageBudget) ++f;
    if (picture && o.printWidth > 0 && o.printHeight > 0)
        f = std::max<int64_t>(f, std::min(w, h) / (2 * std::max(o.printWidth, o.printHeight)));
    if (divides > 0) {
        while (f <= divides && divides % f != 0) ++f;
        if (f > divides) {
            why = "a page of " + std::to_string(w) + " x " + std::to_string(h) + " pixels at " +
                  std::to_string(divides) + " dpi cannot be reduced to within " + std::to_string(kPageBudget >> 20) +
                  " MB at a whole resolution";
            return 0;
        }
    }
    return int32_t(f);
}

void RowSource::beginPage(PageHeader& page, int32_t width, int32_t height, int32_t box, int32_t alreadyReduced) {
    width_ = width, height_ = height, box_ = std::max(1, box);
    channels_ = channels(page.format);
    sourceRows_ = 0, rowsGiven_ = 0;
    outWidth_ = int32_t(divideUp(width, box_));
    outHeight_ = int32_t(divideUp(height, box_));
    line_.resize(size_t(width) * size_t(channels_));
    sums_.assign(box_ > 1 ? size_t(outWidth_) * size_t(channels_) : 0, 0);
    page.width = outWidth_;
    page.height = outHeight_;
    page.reduced = alreadyReduced * box_;
    page.raster.xdpi /= uint32_t(box_);
    page.raster.ydpi /= uint32_t(box_);
}

std::string RowSource::failure(const std::string& what) const {
    return pages_ > 1 ? name_ + ", page " + std::to_string(pages_) + ": " + what : name_ + ": " + what;
}

bool RowSource::readRows(uint8_t* rows, int32_t count, std::string& error) {
    if (count < 1 || count > outHeight_ - rowsGiven_) {
        error = failure("rows asked past the end of the page");
        return false;
    }
    if (options_.cancelled && options_.cancelled()) {
        error = failure("cancelled");
        return false;
    }
    const size_t stride = size_t(outWidth_) * size_t(channels_);
    for (int32_t r = 0; r < count; ++r, ++rowsGiven_) {
        std::string why;
        const bool ok = box_ == 1 ? sourceRow(rows + size_t(r) * stride, why) : reducedRow(rows + size_t(r) * stride, why);
        if (box_ == 1 && ok) ++sourceRows_;
        if (!ok) {
            error = failure(why);
            outHeight_ = rowsGiven_;  // nothing more of this page
            return false;
        }
    }
    return true;
}

bool RowSource::reducedRow(uint8_t* out, std::string& error) {
    const int32_t rows = std::min(box_, height_ - sourceRows_);
    std::fill(sums_.begin(), sums_.end(), 0u);
    for (int32_t r = 0; r < rows; ++r) {
        if (!sourceRow(line_.data(), error)) return false;
        ++sourceRows_;
        const uint8_t* in = line_.data();
        for (int32_t x = 0; x < width_; ++x) {
            uint32_t* sum = &sums_[size_t(x / box_) * size_t(channels_)];
            for (int c = 0; c < channels_; ++c) sum[c] += *in++;
        }
    }
    for (int32_t ox = 0; ox < outWidth_; ++ox) {
        const uint32_t n = uint32_t(std::min(box_, width_ - ox * box_) * rows);
        for (int c = 0; c < channels_; ++c) {
            const size_t i = size_t(ox) * size_t(channels_) + size_t(c);
            out[i] = uint8_t((sums_[i] + n / 2) / n);
        }
    }
    return true;
}

bool RowSource::skipRest(std::string& error) {
    std::vector<uint8_t> row(size_t(outWidth_) * size_t(channels_));
    while (rowsGiven_ < outHeight_)
        if (!readRows(row.data(), 1, error)) return false;
    return true;
}

}  // namespace kzfront::input
