#include "stream_reader/render.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "stream_reader/canvas.h"
#include "stream_reader/format.h"
#include "stream_reader/head.h"
#include "stream_reader/segment.h"

namespace kzinspect {
namespace {

// The most a segment decodes to: a block of a 320-nozzle column.
constexpr size_t kMaxBlockBytes = 10 * 2 * kGroupColumns * (kBlockColumns / kGroupColumns);

int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

std::string faultText(const Error& e) {
    return formatText("the stream has a fault at offset %zu: %s: %s", e.offset,
                      errorKindName(e.kind), e.message.c_str());
}

// The cells the 8 dots of a byte cover.  Dot j (bit 7 - j) is the j-th from
// the left, `width` pixels wide.  With the byte's first pixel `phase` pixels
// into a cell, the table packs the pixels each cell from there on gets, 8
// bits a cell.  The two bytes of a nozzle's column group (16 dots) add up
// into one packed word when its cells fit in 8; adding a zero to the cells
// it misses costs less than testing.  Other scales count dot by dot.
class ByteCells {
  public:
    void build(int scale, int width) {
        if (scale == scale_ && width == width_) return;
        scale_ = scale;
        width_ = width;
        span_ = (scale - 1 + 16 * width - 1) / scale + 1;
        if (scale > 64 || span_ > 8) span_ = 0;
        // A cell takes at most min(scale, 16 width) pixels of a word.
        hold_ = 255 / std::min(scale, 16 * width);
        table_.assign(span_ ? size_t(scale) * 256 : 0, 0);
        for (int phase = 0; span_ && phase < scale; ++phase)
            for (unsigned byte = 0; byte < 256; ++byte)
                for (int j = 0; j < 8; ++j)
                    for (int i = 0; (byte & (0x80u >> j)) && i < width; ++i)
                        table_[size_t(phase) * 256 + byte] += uint64_t{1} << (8 * ((phase + j * width + i) / scale));
    }
    // Cells right of a word's first that may be written: the canvas keeps
    // them beyond every scan's last pixel.
    static constexpr int kReach = 8;

    bool packs() const { return span_ != 0; }
    // Words whose packed counts may be summed before they overflow.
    int hold() const { return hold_; }
    // The packed counts of every byte value with its first pixel `phase` into a cell.
    const uint64_t* packed(int phase) const { return table_.data() + size_t(phase) * 256; }
    // Adds packed counts, times 2^shift, to one ink's counts from `counts`
    // (the cell of the words' first pixel) on.  At these scales a page's
    // counts stay below 2^16 (64 x 64 pixels of 8 drops); a stream that
    // prints one place over and over can only make its own preview wrong.
    void addPacked(uint16_t* counts, uint64_t c, unsigned shift) const {
        switch (span_) {
            case 2: return addCells<2>(counts, c, shift);
            case 3: return addCells<3>(counts, c, shift);
            case 4: return addCells<4>(counts, c, shift);
            case 5: return addCells<5>(counts, c, shift);
            default: return addCells<8>(counts, c, shift);
        }
    }
    // Where nothing packs: dot by dot.
    void add(uint16_t* counts, int phase, unsigned byte, unsigned shift) const {
        for (int j = 0; j < 8; ++j) {
            if ((byte & (0x80u >> j)) == 0) continue;
            for (int i = 0; i < width_; ++i) {
                uint16_t& count = counts[size_t((phase + j * width_ + i) / scale_) * kInks];
                const unsigned sum = count + (1u << shift);
                count = uint16_t(sum > 0xFFFF ? 0xFFFF : sum);
            }
        }
    }

  private:
    template <int Span>
    static void addCells(uint16_t* counts, uint64_t c, unsigned shift) {
        for (int k = 0; k < Span; ++k) counts[k * kInks] = uint16_t(counts[k * kInks] + (((c >> (8 * k)) & 0xFF) << shift));
    }
    int scale_ = 0, width_ = 0, span_ = 0, hold_ = 0;
    std::vector<uint64_t> table_;
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
        // Pages past the last drawn go by unread when they come in the same write.
        failed_ = !error_.empty() || done();
        canvas_.reset(options_.scale, options_.maxPixels);
        cells_.build(options_.scale, paperView() && page.resolution2 == 300 ? 2 : 1);
        // The sheet with its bleed, when it is known: the grid then seldom grows.
        const Paper& paper = options_.paper;
        if (paperView() && paper.width > 0 && paper.height > 0 &&
            !canvas_.cover(-head::kBleed, paper.width + head::kBleed, -head::kBleed, paper.height + head::kBleed)) {
            canvas_.reset(options_.scale, options_.maxPixels);
        }
    }

    // Makes the grid cover pixels [x0, x1) of lines [y0, y1), and the cells
    // that the last byte of a line may write beyond them.
    bool cover(int64_t x0, int64_t x1, int64_t y0, int64_t y1) {
        if (failed_) return false;
        if (canvas_.cover(x0, x1 + int64_t{ByteCells::kReach} * options_.scale, y0, y1)) return true;
        if (canvas_.outOfMemory()) {
            fail(formatText("page %zu: not enough memory to draw it at scale %d", page_ + 1, options_.scale));
            return false;
        }
        if (canvas_.columns() > 0) {
            x0 = std::min(x0, canvas_.left());
            x1 = std::max(x1, canvas_.left() + int64_t{canvas_.columns()} * options_.scale);
            y0 = std::min(y0, canvas_.top());
            y1 = std::max(y1, canvas_.top() + canvas_.rows() * options_.scale);
        }
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

    // The grid covers the scan's lines now, and the columns of each block
    // that has dots as it comes: a nozzle row may fire from well left of its
    // first dot (the rows of one scan have different offsets).
    void scanPlaced(const Scan& scan, const std::vector<ColumnPlace>& places) override {
        if (failed_ || places.empty()) return;
        int64_t y0 = INT64_MAX, y1 = INT64_MIN;
        for (size_t j = 0; j < places.size(); ++j) {
            y0 = std::min(y0, places[j].line);
            y1 = std::max(y1, places[j].line + 2 * int64_t{scan.columns[j].command.rows} * 16 - 1);
        }
        const int64_t x = canvas_.columns() > 0 ? canvas_.left() : places[0].x;
        if (!cover(x, x + 1, y0, y1)) return;
        shifts_.resize(places.size());
        for (size_t j = 0; j < places.size(); ++j) {
            const NozzleCommand& c = scan.columns[j].command;
            shifts_[j] = paperView() && c.ink == 0 && placer().doubledLines(scan) ? 1 : 0;
        }
        findRows(scan);
    }

    // The cell rows of each nozzle of the scan, for one ink each, and the
    // runs of nozzles on one row (as many as a packed word holds).
    void findRows(const Scan& scan) {
        rows_.resize(scan.columns.size());
        runs_.resize(scan.columns.size());
        for (size_t j = 0; j < rows_.size(); ++j) {
            const NozzleCommand& c = scan.columns[j].command;
            rows_[j].resize(size_t(c.rows) * 16);
            runs_[j].clear();
            for (size_t n = 0; n < rows_[j].size(); ++n) {
                rows_[j][n] = canvas_.row(places()[j].line + 2 * int64_t(n)) + (c.ink & 3);
                if (n == 0 || rows_[j][n] != rows_[j][n - 1] || int(n - runs_[j].back().first) == cells_.hold())
                    runs_[j].push_back({n, n + 1, rows_[j][n]});
                else
                    runs_[j].back().end = n + 1;
            }
        }
    }

    void segmentPlaced(const Scan& scan, size_t column, int block, Bytes codes) override {
        if (failed_) return;
        size_t size = 0;
        forEachRun(
            codes,
            [&](size_t at, Bytes bytes) {
                std::memcpy(decoded_ + at, bytes.data(), bytes.size());
                size = at + bytes.size();
            },
            [&](size_t at, uint8_t value, size_t count) {
                std::memset(decoded_ + at, value, count);
                size = at + count;
            });
        const ColumnPlace& p = places()[column];
        const size_t groupBytes = size_t(scan.columns[column].command.groupBytes());
        const bool backward = p.step < 0;
        const int64_t scale = options_.scale;
        // The column groups with dots, and the pixels they reach.
        size_t first = 0, last = size;
        while (first < size && decoded_[first] == 0) ++first;
        while (last > first && decoded_[last - 1] == 0) --last;
        if (first == last) return;
        const int64_t from = int64_t(block) * kBlockColumns + int64_t(first / groupBytes) * kGroupColumns;
        const int64_t to = int64_t(block) * kBlockColumns + int64_t((last - 1) / groupBytes + 1) * kGroupColumns;
        const int64_t a = p.x + from * p.step, b = p.x + (to - 1) * p.step;
        const int64_t oldLeft = canvas_.left(), oldColumns = canvas_.columns();
        if (!cover(std::min(a, b), std::max(a, b) + p.width, canvas_.top(), canvas_.top() + 1)) return;
        if (canvas_.left() != oldLeft || canvas_.columns() != oldColumns) findRows(scan);
        const unsigned shift = shifts_[column];
        uint16_t* const* rows = rows_[column].data();
        for (size_t g = first / groupBytes; g <= (last - 1) / groupBytes; ++g) {
            // Byte 2n + h of a column group holds firing positions 8h to
            // 8h + 7 of nozzle n, its first bit the leftmost: per half, the
            // cell of its first pixel and how far into it that pixel lies.
            size_t cell[2];
            int phase[2];
            for (int h = 0; h < 2; ++h) {
                const int64_t fired = int64_t(block) * kBlockColumns + int64_t(g) * kGroupColumns + 8 * h;
                const int64_t x = p.x + (backward ? fired + 7 : fired) * p.step - canvas_.left();
                cell[h] = size_t(x / scale) * kInks;
                phase[h] = int(x % scale);
            }
            const uint8_t* bytes = decoded_ + g * groupBytes;
            if (!cells_.packs()) {
                for (size_t i = 0; i < groupBytes; ++i)
                    if (bytes[i] != 0) cells_.add(rows[i / 2] + cell[i % 2], phase[i % 2], bytes[i], shift);
                continue;
            }
            // The two bytes of a nozzle in one word of counts, from the cell
            // of the left one's first pixel (the second byte's, backward);
            // the nozzles on one preview row summed before their cells take
            // them (a nozzle column's rows are 2 lines apart).
            const size_t lo = backward ? 1 : 0, hi = 1 - lo;
            const uint64_t* leftCounts = cells_.packed(phase[lo]);
            const uint64_t* rightCounts = cells_.packed(phase[hi]);
            const unsigned apart = unsigned(8 * (cell[hi] - cell[lo]) / kInks);
            for (const RowRun& run : runs_[column]) {
                uint64_t sum = 0;
                for (size_t n = run.first; n < run.end; ++n)
                    sum += leftCounts[bytes[2 * n + lo]] + (rightCounts[bytes[2 * n + hi]] << apart);
                if (sum != 0) cells_.addPacked(run.row + cell[lo], sum, shift);
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
    bool failed_ = false;  // this page is not drawn (a fault, or past the pages asked for)
    size_t page_ = 0;
    size_t drawn_ = 0;
    InkCanvas canvas_;
    ByteCells cells_;
    uint8_t decoded_[kMaxBlockBytes];  // one segment
    std::vector<std::vector<uint16_t*>> rows_;  // per nozzle column of the scan, per nozzle
    struct RowRun {
        size_t first, end;  // nozzles
        uint16_t* row;
    };
    std::vector<std::vector<RowRun>> runs_;  // per nozzle column of the scan
    std::vector<unsigned> shifts_;  // black counts twice where raster lines fill two rows
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
    image.rgb.resize(size_t(image.width) * size_t(image.height) * 3);

    // Full ink, per ink: what one in a thousand of its inked cells reach, at
    // least one dot on every pixel.
    double full[kInks];
    {
        const unsigned floor = unsigned(std::min<int64_t>(s * s, 0xFFFF));
        uint64_t inked[kInks] = {};
        std::vector<uint16_t> above[kInks];
        for (int64_t r = 0; r < canvas_.rows(); ++r) {
            const uint16_t* row = canvas_.row(canvas_.top() + r * s);
            for (int64_t c = 0; c < canvas_.columns() * kInks; ++c) {
                if (row[c] == 0) continue;
                ++inked[c % kInks];
                if (row[c] > floor) above[c % kInks].push_back(row[c]);
            }
        }
        for (int ink = 0; ink < kInks; ++ink) {
            const size_t wanted = size_t(std::max<uint64_t>(1, inked[ink] / 1000));
            std::vector<uint16_t>& v = above[ink];
            full[ink] = floor;
            if (v.size() < wanted) continue;
            std::nth_element(v.begin(), v.begin() + long(wanted - 1), v.end(), std::greater<>());
            full[ink] = v[wanted - 1];
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

    // What each ink takes of each channel's light at full cover.
    float absorb[kInks][3], perCount[kInks];
    for (int ink = 0; ink < kInks; ++ink) {
        const Rgb k = kInkColours[ink];
        absorb[ink][0] = 1.0f - k.r / 255.0f;
        absorb[ink][1] = 1.0f - k.g / 255.0f;
        absorb[ink][2] = 1.0f - k.b / 255.0f;
        perCount[ink] = float(1.0 / full[ink]);
    }
    const int64_t gridLeft = canvas_.left() / s, gridTop = canvas_.top() / s;
    for (int64_t r = r0; r < r1; ++r) {
        uint8_t* out = image.rgb.data() + size_t(r - r0) * size_t(image.width) * 3;
        const bool inGrid = r >= gridTop && r < gridTop + canvas_.rows();
        const uint16_t* row = inGrid ? canvas_.row(r * s) : nullptr;
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
            const uint16_t* counts =
                row != nullptr && c >= gridLeft && c < gridLeft + canvas_.columns() ? row + (c - gridLeft) * kInks : nullptr;
            if (counts == nullptr || (counts[0] | counts[1] | counts[2] | counts[3]) == 0) {
                out[0] = ground.r;
                out[1] = ground.g;
                out[2] = ground.b;
                continue;
            }
            float light[3] = {ground.r / 255.0f, ground.g / 255.0f, ground.b / 255.0f};
            for (int ink = 0; ink < kInks; ++ink) {
                if (counts[ink] == 0) continue;
                const float cover = std::min(1.0f, counts[ink] * perCount[ink]);
                for (int k = 0; k < 3; ++k) light[k] *= 1.0f - cover * absorb[ink][k];
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
    void segmentPlaced(const Scan& scan, size_t column, int block, Bytes codes) override {
        if (!wanted_) return;
        std::vector<uint8_t>& data = decoded_;
        data.clear();
        forEachRun(
            codes, [&data](size_t, Bytes bytes) { data.insert(data.end(), bytes.begin(), bytes.end()); },
            [&data](size_t, uint8_t value, size_t count) { data.insert(data.end(), count, value); });
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
    std::vector<uint8_t> decoded_;
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
