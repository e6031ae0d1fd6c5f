#include "stream_reader/render.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "stream_reader/canvas.h"
#include "stream_reader/format.h"
#include "stream_reader/head.h"

namespace kzinspect {
namespace {

int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

std::string faultText(const Error& e) {
    return formatText("the stream has a fault at offset %zu: %s: %s", e.offset,
                      errorKindName(e.kind), e.message.c_str());
}

// The cells a word of 16 dots covers.  Dot j of the word (bit 15 - j) is
// the j-th from the left, each `width` pixels wide: the word is spread to
// 16 x width pixels, pixel i at bit 31 - i.  With the first pixel `phase`
// pixels into a cell, `masks[phase]` holds the pixels of each cell from
// there on.
class WordCells {
  public:
    void build(int scale, int width) {
        if (scale == scale_ && width == width_) return;
        scale_ = scale;
        width_ = width;
        first_.assign(size_t(scale) + 1, 0);
        masks_.clear();
        for (int phase = 0; phase < scale; ++phase) {
            first_[size_t(phase)] = masks_.size();
            for (int i = 0; i < 16 * width; ++i) {
                const size_t cell = size_t((phase + i) / scale);
                while (masks_.size() - first_[size_t(phase)] <= cell) masks_.push_back(0);
                masks_[first_[size_t(phase)] + cell] |= 0x80000000u >> i;
            }
        }
        first_[size_t(scale)] = masks_.size();
        for (unsigned b = 0; b < 256; ++b) {
            unsigned wide = 0;
            for (int k = 0; k < 8; ++k)
                if (b & (1u << k)) wide |= 3u << (2 * k);
            wide_[b] = uint16_t(wide);
        }
    }
    // The word's pixels, from bit 31.
    uint32_t pixels(unsigned word) const {
        if (width_ == 1) return uint32_t(word) << 16;
        return uint32_t(wide_[word >> 8]) << 16 | wide_[word & 0xFF];
    }
    const uint32_t* begin(int phase) const { return masks_.data() + first_[size_t(phase)]; }
    const uint32_t* end(int phase) const { return masks_.data() + first_[size_t(phase) + 1]; }

  private:
    int scale_ = 0, width_ = 0;
    std::vector<size_t> first_;
    std::vector<uint32_t> masks_;
    uint16_t wide_[256] = {};
};

}  // namespace

Paper paperOfArea(int dpi, int paperWidth, int paperHeight, int left, int top, int width, int height) {
    Paper paper;
    if (dpi <= 0 || 600 % dpi != 0) return paper;
    const int m = 600 / dpi;
    paper.width = paperWidth * m;
    paper.height = paperHeight * m;
    const int edges[4] = {left, paperWidth - left - width, top, paperHeight - top - height};
    for (int i = 0; i < 4; ++i) paper.margins[i] = std::max(0, edges[i] * m);
    return paper;
}

bool paperFromName(const std::string& name, Paper& paper) {
    // The size is the last "_"-separated part: WIDTHxHEIGHT and a unit.
    const size_t underscore = name.find_last_of('_');
    const std::string size = underscore == std::string::npos ? name : name.substr(underscore + 1);
    const bool mm = size.size() > 2 && size.compare(size.size() - 2, 2, "mm") == 0;
    const bool in = size.size() > 2 && size.compare(size.size() - 2, 2, "in") == 0;
    if (!mm && !in) return false;
    const char* text = size.c_str();
    char* end = nullptr;
    const double width = std::strtod(text, &end);
    if (end == text || *end != 'x') return false;
    const char* second = end + 1;
    const double height = std::strtod(second, &end);
    if (end == second || end != text + size.size() - 2) return false;
    const double perUnit = mm ? 600.0 / 25.4 : 600.0;
    if (!(width > 0 && height > 0 && width * perUnit < 1e6 && height * perUnit < 1e6)) return false;
    paper = Paper{};
    paper.width = int(std::lround(width * perUnit));
    paper.height = int(std::lround(height * perUnit));
    return true;
}

class PreviewRenderer::Impl : public PlacingListener {
  public:
    Impl(const RenderOptions& options, PageReady ready)
        : PlacingListener(options.view), options_(options), ready_(std::move(ready)), reader_(this) {
        if (options_.scale < 1) error_ = "the scale must be at least 1";
    }

    bool write(Bytes bytes) {
        if (!error_.empty()) return false;
        if (done()) return true;
        if (!reader_.write(bytes) && error_.empty()) error_ = faultText(*reader_.stream().error);
        return error_.empty();
    }

    bool finish() {
        if (!error_.empty()) return false;
        if (done()) return true;
        if (!reader_.finish() && error_.empty()) error_ = faultText(*reader_.stream().error);
        return error_.empty();
    }

    const std::string& error() const { return error_; }
    size_t pagesDrawn() const { return drawn_; }

  private:
    bool done() const { return options_.maxPages != 0 && drawn_ >= options_.maxPages; }
    bool paperView() const { return options_.view == View::Paper; }

    void pageBegins(size_t index, const Page& page) override {
        page_ = index;
        failed_ = !error_.empty();
        canvas_.reset(options_.scale, options_.maxPixels);
        cells_.build(options_.scale, paperView() && page.resolution2 == 300 ? 2 : 1);
        const Paper& paper = options_.paper;
        if (paperView() && paper.width > 0) cover(-head::kBleed, paper.width + head::kBleed,
                                                  -head::kBleed, paper.height + head::kBleed);
    }

    bool cover(int64_t x0, int64_t x1, int64_t y0, int64_t y1) {
        if (failed_) return false;
        if (canvas_.cover(x0, x1, y0, y1)) return true;
        tooLarge(x1 - x0, y1 - y0);
        return false;
    }

    void tooLarge(int64_t width, int64_t height) {
        const int64_t s = options_.scale;
        fail(formatText("page %zu would be at least %lld x %lld pixels at scale %d; choose a larger "
                        "scale",
                        page_ + 1, static_cast<long long>((width + s - 1) / s),
                        static_cast<long long>((height + s - 1) / s), options_.scale));
    }

    void fail(std::string message) {
        failed_ = true;
        if (error_.empty()) error_ = std::move(message);
    }

    void scanPlaced(const Scan& scan, const std::vector<ColumnPlace>& places) override {
        if (failed_ || places.empty()) return;
        const int64_t firing = int64_t{scan.info.blocks} * kBlockColumns;
        int64_t x0 = INT64_MAX, x1 = INT64_MIN, y0 = INT64_MAX, y1 = INT64_MIN;
        for (size_t j = 0; j < places.size(); ++j) {
            const ColumnPlace& p = places[j];
            const int64_t last = p.x + (firing - 1) * p.step;
            x0 = std::min({x0, p.x, last});
            x1 = std::max({x1, p.x + p.width, last + p.width});
            y0 = std::min(y0, p.line);
            y1 = std::max(y1, p.line + 2 * int64_t{scan.columns[j].command.rows} * 16 - 1);
        }
        if (!cover(x0, x1, y0, y1)) return;
        rows_.resize(places.size());
        weights_.resize(places.size());
        for (size_t j = 0; j < places.size(); ++j) {
            const NozzleCommand& c = scan.columns[j].command;
            rows_[j].resize(size_t(c.rows) * 16);
            for (size_t n = 0; n < rows_[j].size(); ++n)
                rows_[j][n] = canvas_.row(places[j].line + 2 * int64_t(n)) + (c.ink & 3);
            const bool splitBlack = c.ink == 0 && placer().doubledLines(scan);
            weights_[j] = paperView() && splitBlack ? 2 : 1;
        }
    }

    void segmentPlaced(const Scan& scan, size_t column, int block, Bytes data) override {
        if (failed_) return;
        const ColumnPlace& p = places()[column];
        const size_t groupBytes = size_t(scan.columns[column].command.groupBytes());
        const bool backward = p.step < 0;
        const int scale = options_.scale;
        const unsigned weight = weights_[column];
        uint16_t* const* rows = rows_[column].data();
        for (size_t g = 0; g * groupBytes < data.size(); ++g) {
            // Firing positions fired .. fired + 15; the word's first dot is the
            // leftmost: the first forward, the last backward.
            const int64_t fired = int64_t(block) * kBlockColumns + int64_t(g) * kGroupColumns;
            const int64_t left = p.x + (backward ? fired + 15 : fired) * p.step - canvas_.left();
            const int phase = int(left % scale);
            const size_t cell = size_t(left / scale) * kInks;
            const uint32_t* masksBegin = cells_.begin(phase);
            const uint32_t* masksEnd = cells_.end(phase);
            const uint8_t* bytes = data.data() + g * groupBytes;
            for (size_t n = 0; 2 * n < groupBytes; ++n) {
                const unsigned b0 = bytes[2 * n], b1 = bytes[2 * n + 1];
                if ((b0 | b1) == 0) continue;
                const uint32_t pixels = cells_.pixels(backward ? (b1 << 8 | b0) : (b0 << 8 | b1));
                uint16_t* counts = rows[n] + cell;
                for (const uint32_t* m = masksBegin; m != masksEnd; ++m, counts += kInks) {
                    const unsigned dots = unsigned(std::popcount(pixels & *m));
                    if (dots == 0) continue;
                    const unsigned sum = *counts + dots * weight;
                    *counts = uint16_t(sum > 0xFFFF ? 0xFFFF : sum);
                }
            }
        }
    }

    void pageEnds(size_t index, const Page&) override {
        if (failed_) return;
        Image image;
        if (!draw(image)) return;
        std::string error;
        if (!ready_(index, image, error)) {
            fail(error.empty() ? "the preview could not be kept" : error);
            return;
        }
        ++drawn_;
    }

    bool draw(Image& image);

    RenderOptions options_;
    PageReady ready_;
    StreamReader reader_;
    std::string error_;
    bool failed_ = false;  // this page is not drawn
    size_t page_ = 0;
    size_t drawn_ = 0;
    InkCanvas canvas_;
    WordCells cells_;
    std::vector<std::vector<uint16_t*>> rows_;  // per nozzle column of the scan, per nozzle
    std::vector<unsigned> weights_;
};

bool PreviewRenderer::Impl::draw(Image& image) {
    const int64_t s = options_.scale;
    const Paper& paper = options_.paper;
    const bool paperKnown = paperView() && paper.width > 0 && paper.height > 0;
    // The picture: the paper's top left corner, the whole paper when it is
    // known, with a frame as wide as the bleed in the paper view; and every dot.
    int64_t x0 = 0, x1 = 1, y0 = 0, y1 = 1;
    if (paperView()) {
        x0 = y0 = -head::kBleed;
        x1 = (paperKnown ? paper.width : 0) + head::kBleed;
        y1 = (paperKnown ? paper.height : 0) + head::kBleed;
    }
    int64_t ix0, ix1, iy0, iy1;
    if (canvas_.inked(ix0, ix1, iy0, iy1)) {
        x0 = std::min(x0, ix0);
        x1 = std::max(x1, ix1);
        y0 = std::min(y0, iy0);
        y1 = std::max(y1, iy1);
    }
    const int64_t c0 = floorDiv(x0, s), c1 = floorDiv(x1 - 1, s) + 1;
    const int64_t r0 = floorDiv(y0, s), r1 = floorDiv(y1 - 1, s) + 1;
    if ((c1 - c0) * (r1 - r0) > options_.maxPixels) {
        tooLarge(x1 - x0, y1 - y0);
        return false;
    }
    image.width = int(c1 - c0);
    image.height = int(r1 - r0);
    image.rgb.assign(size_t(image.width) * size_t(image.height) * 3, 255);

    // Full ink, per ink.
    double full[kInks];
    {
        std::vector<uint32_t> histogram(size_t(kInks) * 65536, 0);
        uint64_t inked[kInks] = {};
        for (int64_t r = 0; r < canvas_.rows(); ++r) {
            const uint16_t* row = canvas_.row(canvas_.top() + r * s);
            for (int64_t c = 0; c < canvas_.columns() * kInks; ++c) {
                if (row[c] == 0) continue;
                ++histogram[size_t(c % kInks) * 65536 + row[c]];
                ++inked[c % kInks];
            }
        }
        for (int ink = 0; ink < kInks; ++ink) {
            uint64_t above = 0;
            int value = 65535;
            const uint64_t wanted = std::max<uint64_t>(1, inked[ink] / 1000);
            while (value > 0 && (above += histogram[size_t(ink) * 65536 + size_t(value)]) < wanted)
                --value;
            full[ink] = std::max<double>(double(s * s), value);
        }
    }

    // Where the paper and its printable area lie, in preview pixels.
    const auto cellOf = [s](int64_t pixel) { return floorDiv(pixel + s / 2, s); };
    const int64_t paperRight = paperKnown ? cellOf(paper.width) : INT64_MAX / 2;
    const int64_t paperBottom = paperKnown ? cellOf(paper.height) : INT64_MAX / 2;
    const bool margins = paperKnown && !placer().borderless() &&
                         (paper.margins[0] | paper.margins[1] | paper.margins[2] | paper.margins[3]) != 0;
    const int64_t printLeft = cellOf(paper.margins[0]), printRight = cellOf(paper.width - paper.margins[1]);
    const int64_t printTop = cellOf(paper.margins[2]), printBottom = cellOf(paper.height - paper.margins[3]);

    for (int64_t r = r0; r < r1; ++r) {
        uint8_t* out = image.rgb.data() + size_t(r - r0) * size_t(image.width) * 3;
        for (int64_t c = c0; c < c1; ++c, out += 3) {
            Rgb ground = {255, 255, 255};
            if (paperView()) {
                const bool onPaper = c >= 0 && r >= 0 && c < paperRight && r < paperBottom;
                const bool nearPaper = c >= -1 && r >= -1 && c <= paperRight && r <= paperBottom;
                if (!onPaper) ground = nearPaper ? kPaperEdge : kOutside;
                const bool inPrint = c >= printLeft && c < printRight && r >= printTop && r < printBottom;
                const bool nearPrint = c >= printLeft - 1 && c <= printRight && r >= printTop - 1 &&
                                       r <= printBottom;
                if (margins && onPaper && !inPrint && nearPrint && (c + r) % 2 == 0) ground = kMarginLine;
            }
            float light[3] = {ground.r / 255.0f, ground.g / 255.0f, ground.b / 255.0f};
            if (const uint16_t* counts = canvas_.cell(c, r)) {
                for (int ink = 0; ink < kInks; ++ink) {
                    if (counts[ink] == 0) continue;
                    const float cover = float(std::min(1.0, counts[ink] / full[ink]));
                    const Rgb k = kInkColours[ink];
                    light[0] *= 1.0f - cover * (1.0f - k.r / 255.0f);
                    light[1] *= 1.0f - cover * (1.0f - k.g / 255.0f);
                    light[2] *= 1.0f - cover * (1.0f - k.b / 255.0f);
                }
            }
            for (int k = 0; k < 3; ++k) out[k] = uint8_t(light[k] * 255.0f + 0.5f);
        }
    }
    return true;
}

PreviewRenderer::PreviewRenderer(const RenderOptions& options, PageReady ready)
    : impl_(std::make_unique<Impl>(options, std::move(ready))) {}
PreviewRenderer::~PreviewRenderer() = default;
bool PreviewRenderer::write(Bytes bytes) { return impl_->write(bytes); }
bool PreviewRenderer::finish() { return impl_->finish(); }
const std::string& PreviewRenderer::error() const { return impl_->error(); }
size_t PreviewRenderer::pagesDrawn() const { return impl_->pagesDrawn(); }

int PreviewRenderer::sinkWrite(void* renderer, const uint8_t* bytes, size_t size) {
    static_cast<PreviewRenderer*>(renderer)->write(Bytes(bytes, size));
    return 0;
}

bool renderPages(Bytes stream, const RenderOptions& options, std::vector<Image>& pages,
                 std::string& error) {
    pages.clear();
    PreviewRenderer renderer(options, [&pages](size_t, const Image& page, std::string&) {
        pages.push_back(page);
        return true;
    });
    if (renderer.write(stream) && renderer.finish()) return true;
    error = renderer.error();
    pages.clear();
    return false;
}

namespace {

// Hands each dot of one page to a visitor.
class DotVisitor : public PlacingListener {
  public:
    DotVisitor(View view, size_t page, const std::function<void(const Dot&)>& visit)
        : PlacingListener(view), page_(page), visit_(visit) {}

  private:
    void pageBegins(size_t index, const Page&) override { wanted_ = index == page_; }
    void scanPlaced(const Scan&, const std::vector<ColumnPlace>&) override {}
    void segmentPlaced(const Scan& scan, size_t column, int block, Bytes data) override {
        if (!wanted_) return;
        const ColumnPlace& p = places()[column];
        const NozzleCommand& c = scan.columns[column].command;
        const size_t groupBytes = size_t(c.groupBytes());
        const bool backward = p.step < 0;
        Dot dot;
        dot.ink = c.ink;
        for (size_t i = 0; i < data.size(); ++i) {
            const unsigned byte = data[i];
            if (byte == 0) continue;
            const size_t inGroup = i % groupBytes;
            const int64_t first = int64_t(block) * kBlockColumns +
                                  int64_t(i / groupBytes) * kGroupColumns + int64_t(inGroup % 2) * 8;
            dot.line = p.line + 2 * int64_t(inGroup / 2);
            for (int bit = 0; bit < 8; ++bit) {
                if ((byte & (1u << bit)) == 0) continue;
                dot.column = int(p.x + (first + (backward ? bit : 7 - bit)) * p.step);
                visit_(dot);
            }
        }
    }

    size_t page_;
    const std::function<void(const Dot&)>& visit_;
    bool wanted_ = false;
};

}  // namespace

void forEachDot(const Stream& stream, size_t page, const std::function<void(const Dot&)>& visit,
                View view) {
    DotVisitor visitor(view, page, visit);
    StreamReader reader(&visitor);
    // Each frame is read again from the bytes its body views.
    for (const FrameRecord& record : stream.frames) {
        const Frame& f = record.frame;
        if (!reader.write(Bytes(f.body.data() - kHeaderSize, f.size()))) return;
    }
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
