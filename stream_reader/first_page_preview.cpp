#include "stream_reader/first_page_preview.h"

#include <algorithm>
#include <new>
#include <string_view>

#include "stream_reader/head.h"

namespace kzinspect {
namespace {

// Keeps a failure's reason when there is memory for it; failed_ says it failed either way.
void note(std::string& to, std::string_view what) noexcept {
    try {
        to.assign(what);
    } catch (...) {
    }
}

}  // namespace

int previewScale(const Paper& paper, const PreviewSizes& sizes) {
    constexpr int kA4Height = 7016;
    const int64_t sheet = paper.width > 0 && paper.height > 0 ? std::max(paper.width, paper.height) : kA4Height;
    const int64_t longest = sheet + 2 * int64_t{head::kBleed};
    const int64_t side = std::max(1, sizes.viewLongSide);
    return int(std::clamp<int64_t>((longest + side - 1) / side, 1, 64));
}

Image shrinkImage(const Image& image, int longSide) {
    const int k = std::max(1, (std::max(image.width, image.height) + longSide - 1) / std::max(1, longSide));
    Image out;
    out.width = (image.width + k - 1) / k;
    out.height = (image.height + k - 1) / k;
    out.rgb.resize(size_t(out.width) * size_t(out.height) * 3);
    std::vector<uint32_t> sums(size_t(out.width) * 3);
    for (int oy = 0; oy < out.height; ++oy) {
        std::fill(sums.begin(), sums.end(), 0);
        const int y0 = oy * k, y1 = std::min(image.height, y0 + k);
        for (int y = y0; y < y1; ++y) {
            const uint8_t* p = image.pixel(0, y);
            for (int x = 0; x < image.width; ++x, p += 3)
                for (int c = 0; c < 3; ++c) sums[size_t(x / k) * 3 + size_t(c)] += p[c];
        }
        uint8_t* o = out.rgb.data() + size_t(oy) * size_t(out.width) * 3;
        for (int ox = 0; ox < out.width; ++ox) {
            const uint32_t n = uint32_t(std::min(image.width, ox * k + k) - ox * k) * uint32_t(y1 - y0);
            for (int c = 0; c < 3; ++c) o[ox * 3 + c] = uint8_t((sums[size_t(ox) * 3 + size_t(c)] + n / 2) / n);
        }
    }
    return out;
}

FirstPagePreview::FirstPagePreview(const Paper& paper, const PreviewSizes& sizes)
    : sizes_(sizes), scale_(previewScale(paper, sizes)) {
    try {
        RenderOptions options;
        options.scale = scale_;
        options.maxPixels = sizes.maxCells;
        options.paper = paper;
        options.maxPages = 1;
        renderer_ = std::make_unique<PreviewRenderer>(options, [this](size_t, const Image& page, std::string& error) {
            try {
                take(page);
                return true;
            } catch (const std::bad_alloc&) {
                error = "not enough memory for the preview";
                return false;
            }
        });
    } catch (...) {
        failed_ = true;
        note(error_, "not enough memory for the preview");
    }
}

FirstPagePreview::~FirstPagePreview() = default;

void FirstPagePreview::take(const Image& page) {
    view_ = page;
    thumbnail_ = shrinkImage(page, sizes_.thumbnailLongSide);
    drawn_ = true;
}

void FirstPagePreview::write(const uint8_t* bytes, size_t size) noexcept {
    if (!renderer_) return;
    bool ok = false;
    try {
        ok = renderer_->write(Bytes(bytes, size));
    } catch (...) {
    }
    if (!ok) fail();
    if (drawn_ || failed_) renderer_.reset();
}

bool FirstPagePreview::finish() noexcept {
    if (renderer_) {
        bool ok = false;
        try {
            ok = renderer_->finish();
        } catch (...) {
        }
        if (!ok) fail();
        renderer_.reset();
    }
    if (!drawn_ && !failed_) {
        failed_ = true;
        note(error_, "the stream ended before its first page did");
    }
    return drawn_;
}

void FirstPagePreview::fail() noexcept {
    failed_ = true;
    const std::string& why = renderer_->error();
    note(error_, why.empty() ? std::string_view("not enough memory for the preview") : std::string_view(why));
}

}  // namespace kzinspect
