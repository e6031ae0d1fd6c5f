// Pages made in memory for the front-end layer's tests.
#pragma once

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "frontend/page_source.h"
#include "frontend/place.h"
#include "kzrqo317/print.h"

namespace kzfront::test {

struct MemoryPage {
    PageHeader header;
    std::vector<uint8_t> rows;  // width * channels bytes per row
    int32_t stopAfter = INT32_MAX;  // rows given before the data "ends"
};

// Pages from memory, as a reader gives them.
class MemorySource : public PageSource {
public:
    explicit MemorySource(std::vector<MemoryPage> pages) : pages_(std::move(pages)) {}
    bool nextPage(PageHeader& page, std::string&) override {
        if (next_ >= pages_.size()) return false;
        page = pages_[next_++].header;
        row_ = 0;
        return true;
    }
    bool readRows(uint8_t* rows, int32_t count, std::string& error) override {
        const MemoryPage& p = pages_[next_ - 1];
        if (row_ + count > p.stopAfter) {
            error = "memory: the page ends at row " + std::to_string(p.stopAfter);
            return false;
        }
        const size_t bytes = size_t(p.header.width) * size_t(channels(p.header.format));
        std::memcpy(rows, p.rows.data() + size_t(row_) * bytes, size_t(count) * bytes);
        row_ += count;
        return true;
    }

private:
    std::vector<MemoryPage> pages_;
    size_t next_ = 0;
    int32_t row_ = 0;
};

// A picture of one colour (`value` in every channel).
inline MemoryPage flat(int32_t w, int32_t h, uint8_t value, PixelFormat format = PixelFormat::Rgb8) {
    MemoryPage p;
    p.header.width = w, p.header.height = h, p.header.format = format;
    p.rows.assign(size_t(w) * size_t(h) * size_t(channels(format)), value);
    return p;
}

// White but for a dark `corner` x `corner` block at its top left.
inline MemoryPage cornered(int32_t w, int32_t h, int32_t corner) {
    MemoryPage p = flat(w, h, 0xFF);
    for (int32_t y = 0; y < std::min(corner, h); ++y)
        for (int32_t x = 0; x < std::min(corner, w); ++x) p.rows[(size_t(y) * size_t(w) + size_t(x)) * 3] = 0;
    return p;
}

// A page format of w x h pixels at 600 dpi on a paper of its size plus margins.
inline kzp_page_format area(int32_t w, int32_t h, int32_t margin = 0, bool borderless = false) {
    static kzp_mode_info mode{};
    mode.xdpi = mode.ydpi = 600;
    mode.borderless = borderless;
    kzp_page_format f = kzp_page_format_empty();
    f.mode = &mode;
    f.width_px = w, f.height_px = h;
    f.left_px = f.top_px = margin;
    f.paper_width_px = w + 2 * margin, f.paper_height_px = h + 2 * margin;
    return f;
}

// The whole area's lines, the page's rows added `step` at a time.
inline std::vector<uint8_t> placeAll(const MemoryPage& page, const kzp_page_format& f, const Placing& placing = {},
                                     int32_t step = INT32_MAX, int32_t* held = nullptr) {
    Placement placement(page.header, f, placing);
    const size_t rowBytes = size_t(page.header.width) * size_t(channels(page.header.format));
    std::vector<uint8_t> out(placement.lineBytes() * size_t(f.height_px));
    int32_t row = 0;
    while (placement.linesDone() < f.height_px) {
        const int32_t wanted = std::min(placement.rowsWanted(), step);
        if (wanted > 0) {
            placement.addRows(page.rows.data() + size_t(row) * rowBytes, wanted);
            row += wanted;
        }
        if (held) *held = std::max(*held, placement.rowsHeld());
        const int32_t n = placement.linesReady();
        placement.lines(n, out.data() + size_t(placement.linesDone()) * placement.lineBytes());
    }
    return out;
}

// The whole area's lines for the page `source` has just given.
inline std::vector<uint8_t> placeFrom(PageSource& source, const PageHeader& page, const kzp_page_format& f,
                                      std::string& error) {
    Placement placement(page, f, {});
    std::vector<uint8_t> out(placement.lineBytes() * size_t(f.height_px)), rows;
    while (placement.linesDone() < f.height_px) {
        if (const int32_t wanted = placement.rowsWanted(); wanted > 0) {
            rows.resize(size_t(wanted) * size_t(page.width) * size_t(channels(page.format)));
            if (!source.readRows(rows.data(), wanted, error)) return {};
            placement.addRows(rows.data(), wanted);
        }
        const int32_t n = placement.linesReady();
        placement.lines(n, out.data() + size_t(placement.linesDone()) * placement.lineBytes());
    }
    return out;
}

struct Extent {
    int32_t left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    bool empty() const { return right < 0; }
};

// Where the area is not blank (blank: 255, or 0 for CMYK).
inline Extent inked(const std::vector<uint8_t>& lines, int32_t w, int32_t h, int channels = 3, uint8_t blank = 0xFF) {
    Extent e;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c) {
                if (lines[(size_t(y) * size_t(w) + size_t(x)) * size_t(channels) + size_t(c)] == blank) continue;
                e.left = std::min(e.left, x), e.right = std::max(e.right, x);
                e.top = std::min(e.top, y), e.bottom = std::max(e.bottom, y);
            }
    return e;
}

}  // namespace kzfront::test
