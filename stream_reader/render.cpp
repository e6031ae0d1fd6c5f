#include "stream_reader/render.h"

#include <algorithm>
#include <cmath>

#include "stream_reader/command.h"
#include "stream_reader/format.h"
#include "stream_reader/segment.h"

namespace kzinspect {
namespace {

// Index in stream.frames of each page's "H".
std::vector<size_t> pageStarts(const Stream& stream) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < stream.frames.size(); ++i) {
        if (stream.frames[i].frame.letter == 'H') starts.push_back(i);
    }
    return starts;
}

// Places the dots of one decoded segment: block `block` of nozzle column
// `column` of `scan`, printed with the page's feeds adding up to `feed`. The
// layout is the one addDots reads: groups of 16 columns, two bytes per
// nozzle, firing order from the scan's left edge forward and from its right
// edge backward.
void segmentDots(const Scan& scan, const NozzleColumn& column, int block, int64_t feed, Bytes data,
                 const std::function<void(const Dot&)>& visit) {
    const size_t groupBytes = static_cast<size_t>(column.command.groupBytes());
    const bool backward = scan.info.backward();
    // Nozzle n prints two rows below nozzle n - 1 in every column.
    const int64_t line0 = dotLine(scan, column.command, feed, 0);
    Dot dot;
    dot.ink = column.command.ink;
    for (size_t i = 0; i < data.size(); ++i) {
        const unsigned byte = data[i];
        if (byte == 0) continue;
        const size_t inGroup = i % groupBytes;
        const int nozzle = static_cast<int>(inGroup / 2);
        const int first = block * kBlockColumns + static_cast<int>(i / groupBytes) * kGroupColumns +
                          static_cast<int>(inGroup % 2) * 8;
        dot.line = line0 + 2 * nozzle;
        for (int bit = 0; bit < 8; ++bit) {
            if ((byte & (1u << bit)) == 0) continue;
            const int fired = first + (backward ? bit : 7 - bit);
            dot.column = backward ? scan.right - 1 - fired : scan.left + fired;
            visit(dot);
        }
    }
}

// Walks the frames of one page from its "H" at `start`, following its scans
// and their feeds, and decodes every segment again to place its dots.
void pageDots(const Stream& stream, size_t start, const Page& page,
              const std::function<void(const Dot&)>& visit) {
    int64_t feed = 0;  // half raster lines
    const Scan* scan = nullptr;
    size_t nextScan = 0;
    std::vector<uint8_t> decoded;
    for (size_t i = start; i < stream.frames.size(); ++i) {
        const FrameRecord& record = stream.frames[i];
        const Frame& frame = record.frame;
        if (frame.letter == 'H' && i != start) break;
        if (frame.letter == 'o') {
            if (nextScan == page.scans.size()) break;
            scan = &page.scans[nextScan++];
            if (scan->feed) feed += scan->feed->amount;
            continue;
        }
        if (frame.letter != 's' || scan == nullptr || record.block < 0) continue;
        const size_t count = std::min(record.segments.size(), scan->columns.size());
        for (size_t j = 0; j < count; ++j) {
            const NozzleColumn& column = scan->columns[j];
            const size_t at = record.segments[j].offset - frame.bodyOffset();
            size_t next = 0;
            Error error;
            if (!decodeSegment(frame.body, at, frame.bodyOffset(),
                               static_cast<size_t>(column.command.blockBytes()), decoded, next,
                               error)) {
                continue;  // cannot happen for a segment the reader accepted
            }
            segmentDots(*scan, column, record.block, feed, decoded, visit);
        }
    }
}

struct Extent {
    bool any = false;
    int64_t top = 0, bottom = 0;  // lines, bottom exclusive
    int64_t left = 0, right = 0;  // columns, right exclusive
    void add(const Dot& d) {
        if (!any) {
            any = true;
            top = bottom = d.line;
            left = right = d.column;
        }
        top = std::min(top, d.line);
        bottom = std::max(bottom, d.line + 1);
        left = std::min<int64_t>(left, d.column);
        right = std::max<int64_t>(right, int64_t{d.column} + 1);
    }
};

// Turns per-ink dot counts of one preview pixel into its colour: each ink
// covers the share count / full of the pixel, and the inks multiply.
void shade(const uint16_t* const counts[4], const double full[4], size_t at, uint8_t* rgb) {
    double light[3] = {1.0, 1.0, 1.0};
    for (int ink = 0; ink < 4; ++ink) {
        if (counts[ink] == nullptr || counts[ink][at] == 0) continue;
        const double cover = std::min(1.0, counts[ink][at] / full[ink]);
        const Rgb c = kInkColours[ink];
        light[0] *= 1.0 - cover * (1.0 - c.r / 255.0);
        light[1] *= 1.0 - cover * (1.0 - c.g / 255.0);
        light[2] *= 1.0 - cover * (1.0 - c.b / 255.0);
    }
    for (int k = 0; k < 3; ++k) rgb[k] = static_cast<uint8_t>(std::lround(light[k] * 255.0));
}

}  // namespace

int64_t dotLine(const Scan& scan, const NozzleCommand& column, int64_t feed, int nozzle) {
    const bool upperColour = scan.info.flag != 0 && column.ink != 0;
    const int row = 2 * nozzle + (upperColour ? 1 - column.parity : column.parity);
    const int headRow = kFieldRows * column.nozzleField - (column.ink == 0 ? kBlackRowsAbove : 0);
    return feed / 2 + row + headRow - kHeadLineOffset;
}

void forEachDot(const Stream& stream, size_t page, const std::function<void(const Dot&)>& visit) {
    const std::vector<size_t> starts = pageStarts(stream);
    if (page >= starts.size() || page >= stream.pages.size()) return;
    pageDots(stream, starts[page], stream.pages[page], visit);
}

bool renderPages(const Stream& stream, const RenderOptions& options, std::vector<Image>& pages,
                 std::string& error) {
    pages.clear();
    if (!stream.ok()) {
        error = formatText("the stream has a fault at offset %zu: %s", stream.error->offset,
                           stream.error->message.c_str());
        return false;
    }
    if (options.scale < 1) {
        error = "the scale must be at least 1";
        return false;
    }
    const std::vector<size_t> starts = pageStarts(stream);
    const size_t pageCount = std::min(starts.size(), stream.pages.size());

    // First pass: where the dots lie.
    std::vector<Extent> extents(pageCount);
    int64_t left = 0, right = 1;
    for (size_t p = 0; p < pageCount; ++p) {
        Extent& e = extents[p];
        pageDots(stream, starts[p], stream.pages[p], [&e](const Dot& d) { e.add(d); });
        if (!e.any) continue;
        left = std::min(left, e.left);
        right = std::max(right, e.right);
    }
    const int64_t scale = options.scale;
    const int64_t width = (right - left + scale - 1) / scale;

    // Second pass: count each ink's dots per preview pixel, then shade.
    for (size_t p = 0; p < pageCount; ++p) {
        const Extent& e = extents[p];
        const int64_t top = e.any ? std::min<int64_t>(0, e.top) : 0;
        const int64_t bottom = e.any ? std::max<int64_t>(1, e.bottom) : 1;
        const int64_t height = (bottom - top + scale - 1) / scale;
        if (width * height > options.maxPixels) {
            error = formatText(
                "page %zu would be %lld x %lld pixels at scale %d; choose a larger scale", p + 1,
                static_cast<long long>(width), static_cast<long long>(height), options.scale);
            pages.clear();
            return false;
        }
        const size_t cells = static_cast<size_t>(width * height);
        std::vector<uint16_t> counts[4];
        pageDots(stream, starts[p], stream.pages[p], [&](const Dot& d) {
            if (d.ink < 0 || d.ink > 3) return;
            std::vector<uint16_t>& plane = counts[d.ink];
            if (plane.empty()) plane.assign(cells, 0);
            const size_t x = static_cast<size_t>((d.column - left) / scale);
            const size_t y = static_cast<size_t>((d.line - top) / scale);
            uint16_t& cell = plane[y * size_t(width) + x];
            if (cell != UINT16_MAX) ++cell;
        });
        Image image;
        image.width = static_cast<int>(width);
        image.height = static_cast<int>(height);
        image.rgb.assign(cells * 3, 255);
        const uint16_t* planes[4];
        double full[4];
        for (int ink = 0; ink < 4; ++ink) {
            const std::vector<uint16_t>& plane = counts[ink];
            planes[ink] = plane.empty() ? nullptr : plane.data();
            const uint16_t densest =
                plane.empty() ? 0 : *std::max_element(plane.begin(), plane.end());
            full[ink] = double(std::max<int64_t>(scale * scale, densest));
        }
        for (size_t at = 0; at < cells; ++at) shade(planes, full, at, &image.rgb[at * 3]);
        pages.push_back(std::move(image));
    }
    return true;
}

std::string pagePath(const std::string& path, size_t index) {
    if (index == 0) return path;
    // Appended, not "-" + ...: GCC 12 at -O3 warns falsely (-Wrestrict) about
    // operator+ of a literal and a temporary string.
    std::string suffix(1, '-');
    suffix += std::to_string(index + 1);
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1);
    if (!hasExtension) return path + suffix;
    return path.substr(0, dot) + suffix + path.substr(dot);
}

}  // namespace kzinspect
