// Placing pages with pixman.
#include "frontend/place.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace kzfront {
namespace {

constexpr int32_t kStrip = 32;  // lines composited at once

// Pixels as pixman holds them: grey as a8, RGB and CMYK as 32 bits (CMYK
// with black in the alpha byte; every filter here treats the four
// channels alike, and only PIXMAN_OP_SRC writes them).
pixman_format_code_t pixmanFormat(PixelFormat f) { return f == PixelFormat::Gray8 ? PIXMAN_a8 : PIXMAN_a8r8g8b8; }
size_t pixmanBytes(PixelFormat f) { return f == PixelFormat::Gray8 ? 1 : 4; }
// pixman wants rows of whole 32-bit words.
size_t strideFor(int32_t width, size_t bytes) { return (size_t(width) * bytes + 3) & ~size_t(3); }
uint8_t blankByte(PixelFormat f) { return f == PixelFormat::Cmyk8 ? 0 : 0xFF; }

void toPixman(PixelFormat f, const uint8_t* in, int32_t width, uint8_t* out) {
    auto* words = reinterpret_cast<uint32_t*>(out);
    switch (f) {
    case PixelFormat::Gray8:
        std::memcpy(out, in, size_t(width));
        break;
    case PixelFormat::Rgb8:
        for (int32_t x = 0; x < width; ++x, in += 3)
            words[x] = 0xFF000000u | uint32_t(in[0]) << 16 | uint32_t(in[1]) << 8 | in[2];
        break;
    case PixelFormat::Cmyk8:
        for (int32_t x = 0; x < width; ++x, in += 4)
            words[x] = uint32_t(in[3]) << 24 | uint32_t(in[0]) << 16 | uint32_t(in[1]) << 8 | in[2];
        break;
    }
}

void fromPixman(PixelFormat f, const uint8_t* in, int32_t width, uint8_t* out) {
    const auto* words = reinterpret_cast<const uint32_t*>(in);
    switch (f) {
    case PixelFormat::Gray8:
        std::memcpy(out, in, size_t(width));
        break;
    case PixelFormat::Rgb8:
        for (int32_t x = 0; x < width; ++x, out += 3) {
            out[0] = uint8_t(words[x] >> 16), out[1] = uint8_t(words[x] >> 8), out[2] = uint8_t(words[x]);
        }
        break;
    case PixelFormat::Cmyk8:
        for (int32_t x = 0; x < width; ++x, out += 4) {
            out[0] = uint8_t(words[x] >> 16), out[1] = uint8_t(words[x] >> 8), out[2] = uint8_t(words[x]);
            out[3] = uint8_t(words[x] >> 24);
        }
        break;
    }
}

// The area pixels whose centres fall in [from, to).
int32_t firstCentre(double from) { return int32_t(std::ceil(from - 0.5)); }

Turn turnFor(Orientation o, Turn across, int32_t w, int32_t h, int32_t areaWidth, int32_t areaHeight) {
    switch (o) {
    case Orientation::Upright: return Turn::None;
    case Orientation::Counterclockwise: return Turn::Counterclockwise;
    case Orientation::Clockwise: return Turn::Clockwise;
    case Orientation::Auto: break;
    }
    const bool lies = w != h && areaWidth != areaHeight && (w > h) != (areaWidth > areaHeight);
    return lies ? across : Turn::None;
}

}  // namespace

kzp_input inputFor(PixelFormat format) {
    return format == PixelFormat::Gray8 ? KZP_INPUT_GRAY8 : format == PixelFormat::Cmyk8 ? KZP_INPUT_CMYK8 : KZP_INPUT_RGB8;
}

bool documentsFitted(const Placing& p, bool borderless) {
    const bool fits = p.scaling == Scaling::Fit || p.scaling == Scaling::AutoFit ||
                      (p.scaling == Scaling::Auto && !borderless);
    return fits && p.orientation == Orientation::Auto && p.percent <= 100;
}

void largestDrawnSize(const Placing& p, const kzp_page_format& f, int32_t& width, int32_t& height) {
    width = height = 0;
    if (p.scaling == Scaling::Natural) return;
    const double enlarged = std::max(1.0, p.percent / 100);
    width = int32_t(std::min<double>(INT32_MAX, std::ceil(f.width_px * enlarged)));
    height = int32_t(std::min<double>(INT32_MAX, std::ceil(f.height_px * enlarged)));
}

Placement::Placement(const PageHeader& page, const kzp_page_format& f, const Placing& placing)
    : width_(f.width_px), height_(f.height_px), pageWidth_(page.width), pageHeight_(page.height),
      format_(page.format), channels_(channels(page.format)) {
    const double aw = width_, ah = height_, pw = pageWidth_, ph = pageHeight_;
    if (page.kind == PageKind::Raster) {
        // Raster pixel positions on the paper, in the mode's pixels: the
        // raster's page lies centred on the paper (CUPS renders it for the
        // paper; a client's PWG raster may be for another size), the raster
        // at its imaging box.
        const RasterGeometry& g = page.raster;
        const double mx = f.mode->xdpi, my = f.mode->ydpi;
        const double rx = g.xdpi ? g.xdpi : mx, ry = g.ydpi ? g.ydpi : my;
        const double pageW = g.pageWidthPt ? g.pageWidthPt * mx / 72 : pw * mx / rx;
        const double pageH = g.pageHeightPt ? g.pageHeightPt * my / 72 : ph * my / ry;
        const bool boxed = g.imagingBoxPt[2] > g.imagingBoxPt[0] && g.imagingBoxPt[3] > g.imagingBoxPt[1];
        const double originX = boxed ? g.imagingBoxPt[0] * rx / 72 : 0;
        const double originY = boxed ? (double(g.pageHeightPt) - g.imagingBoxPt[3]) * ry / 72 : 0;
        // A page of the paper's size (PageSize is in whole points) is not moved.
        const auto centring = [](double paper, double page, double dpi) {
            return std::abs(paper - page) <= 2 * dpi / 72 ? 0.0 : (paper - page) / 2;
        };
        double ax = rx / mx, ay = ry / my, bx, by;
        if (f.left_px < 0 || f.top_px < 0) {
            // Borderless: the page is stretched over the area and its bleed.
            ax *= pageW / aw, ay *= pageH / ah;
            bx = -originX, by = -originY;
        } else {
            // On whole raster pixels, as the raster was rendered.
            bx = std::round((f.left_px - centring(f.paper_width_px, pageW, mx)) * ax - originX);
            by = std::round((f.top_px - centring(f.paper_height_px, pageH, my)) * ay - originY);
        }
        m_[0][0] = ax, m_[0][2] = bx, m_[1][1] = ay, m_[1][2] = by;
        scaleX_ = std::max(ax, 1.0), scaleY_ = std::max(ay, 1.0);
        scale_ = 1 / ax;
        if (ax == 1 && ay == 1) {
            copyX_ = int32_t(-bx), copyY_ = int32_t(-by);
        } else {
            // Shrinking averages the raster pixels each area pixel covers (at
            // half size, as normal quality on plain paper prints a 600 dpi
            // raster, the bilinear filter samples each 2 x 2 block's centre:
            // the same mean, many times faster); enlarging repeats them, as
            // the raster was drawn on their grid.
            const bool half = ax == 2 && ay == 2 && bx == std::round(bx) && by == std::round(by);
            method_ = half ? Method::Bilinear : ax > 1 || ay > 1 ? Method::Average : Method::Nearest;
        }
        boxLeft_ = firstCentre(-bx / ax), boxRight_ = firstCentre((pw - bx) / ax);
        boxTop_ = firstCentre(-by / ay), boxBottom_ = firstCentre((ph - by) / ay);
    } else if (page.kind == PageKind::Area) {
        // Rendered at the area's size: copied, centred.
        copyX_ = int32_t(std::floor((aw - pw) / 2)), copyY_ = int32_t(std::floor((ah - ph) / 2));
    } else {
        const Turn turn = turnFor(placing.orientation, page.turn, pageWidth_, pageHeight_, width_, height_);
        turned_ = turn != Turn::None;
        // The picture as it lies on the page, and its scale.
        const double rw = turned_ ? ph : pw, rh = turned_ ? pw : ph;
        const double fit = std::min(aw / rw, ah / rh), fill = std::max(aw / rw, ah / rh);
        // Area pixels per picture pixel at its own size (the reader's reduction undone).
        const double natural = f.mode->xdpi * std::max(page.reduced, 1) / (page.ppi > 0 ? page.ppi : 72.0);
        const bool larger = rw * natural > aw || rh * natural > ah;
        double s = natural;
        switch (placing.scaling) {
        case Scaling::Fit: s = fit; break;
        case Scaling::Fill: s = fill; break;
        case Scaling::Natural: break;
        case Scaling::AutoFit: s = larger ? fit : natural; break;
        case Scaling::Auto: s = larger ? (f.mode->borderless ? fill : fit) : natural; break;
        }
        s *= placing.percent / 100;
        double ox = (aw - rw * s) / 2, oy = (ah - rh * s) / 2;
        if (std::abs(rw * s - rw) < 1 && std::abs(rh * s - rh) < 1) {
            // Within a pixel of its size (a document Ghostscript rendered to
            // fit): pixel for pixel, on whole-pixel offsets.
            s = 1;
            ox = std::floor((aw - rw) / 2), oy = std::floor((ah - rh) / 2);
            method_ = turned_ ? Method::Nearest : Method::Copy;
            copyX_ = int32_t(ox), copyY_ = int32_t(oy);
        } else {
            // Bilinear down to half size, where every picture pixel still
            // counts; below that each area pixel averages those it covers.
            method_ = s < 0.5 ? Method::Smooth : Method::Bilinear;
        }
        scale_ = s;
        scaleX_ = scaleY_ = 1 / s;
        if (turn == Turn::Clockwise) {  // the picture's left edge becomes the top
            m_[0][0] = 0, m_[0][1] = 1 / s, m_[0][2] = -oy / s;
            m_[1][0] = -1 / s, m_[1][1] = 0, m_[1][2] = ph + ox / s;
        } else if (turn == Turn::Counterclockwise) {  // its top edge becomes the left
            m_[0][0] = 0, m_[0][1] = -1 / s, m_[0][2] = pw + oy / s;
            m_[1][0] = 1 / s, m_[1][1] = 0, m_[1][2] = -ox / s;
        } else {
            m_[0][0] = 1 / s, m_[0][2] = -ox / s;
            m_[1][1] = 1 / s, m_[1][2] = -oy / s;
        }
        boxLeft_ = firstCentre(ox), boxRight_ = firstCentre(ox + rw * s);
        boxTop_ = firstCentre(oy), boxBottom_ = firstCentre(oy + rh * s);
    }
    if (method_ == Method::Copy) {
        boxLeft_ = copyX_, boxRight_ = copyX_ + pageWidth_;
        boxTop_ = copyY_, boxBottom_ = copyY_ + pageHeight_;
        stride_ = size_t(pageWidth_) * size_t(channels_);
    } else {
        stride_ = strideFor(pageWidth_, pixmanBytes(format_));
    }
    boxLeft_ = std::clamp(boxLeft_, 0, width_), boxRight_ = std::clamp(boxRight_, boxLeft_, width_);
    boxTop_ = std::clamp(boxTop_, 0, height_), boxBottom_ = std::clamp(boxBottom_, boxTop_, height_);

    int n = 0;
    pixman_fixed_t* params = nullptr;
    if (method_ == Method::Smooth) {
        // Shrinking a picture: each area pixel averages the picture pixels it covers.
        params = pixman_filter_create_separable_convolution(
            &n, pixman_double_to_fixed(scaleX_), pixman_double_to_fixed(scaleY_), PIXMAN_KERNEL_LINEAR,
            PIXMAN_KERNEL_LINEAR, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, 2, 2);
    } else if (method_ == Method::Average) {
        // Shrinking a raster: the plain mean of the block each pixel covers
        // (exactly the block at whole factors, as 600 to 300 dpi).
        params = pixman_filter_create_separable_convolution(
            &n, pixman_double_to_fixed(scaleX_), pixman_double_to_fixed(scaleY_), PIXMAN_KERNEL_IMPULSE,
            PIXMAN_KERNEL_IMPULSE, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, 2, 2);
    }
    if (params) {
        filter_.assign(params, params + n);
        std::free(params);
    }
}

Placement::~Placement() = default;

int32_t Placement::firstRow(int32_t y) const {
    if (turned_) return 0;
    if (method_ == Method::Copy) return std::clamp(y - copyY_, 0, pageHeight_);
    const double support = std::ceil(scaleY_ / 2) + 2;
    return int32_t(std::clamp(std::floor(m_[1][1] * (y + 0.5) + m_[1][2] - support), 0.0, double(pageHeight_)));
}

int32_t Placement::endRow(int32_t y, int32_t count) const {
    if (turned_) return pageHeight_;
    // Lines outside the page's box read nothing.
    const int32_t last = std::min(y + count, boxBottom_) - 1;
    if (last < std::max(y, boxTop_)) return std::clamp(firstRow(y), 0, received_);
    if (method_ == Method::Copy) return std::clamp(last + 1 - copyY_, 0, pageHeight_);
    const double support = std::ceil(scaleY_ / 2) + 2;
    return int32_t(std::clamp(std::ceil(m_[1][1] * (last + 0.5) + m_[1][2] + support), 0.0, double(pageHeight_)));
}

int32_t Placement::rowsWanted() const {
    if (next_ >= height_ || received_ >= pageHeight_) return 0;
    return std::max(endRow(next_, kStrip) - received_, 1);
}

void Placement::addRows(const uint8_t* rows, int32_t count) {
    count = std::min(count, pageHeight_ - received_);
    if (count <= 0) return;
    // Rows no line reads any more leave the window, a batch at a time.
    const int32_t drop = std::min(firstRow(next_), received_) - windowTop_;
    if (drop > 0 && (drop >= windowRows_ / 2 || drop >= 64)) {
        std::memmove(window_.data(), window_.data() + size_t(drop) * stride_, size_t(windowRows_ - drop) * stride_);
        windowTop_ += drop;
        windowRows_ -= drop;
    }
    // The buffer only grows, to what the window needs and a few rows more
    // (its size settles after a strip or two; a turned page's at once to its size).
    const size_t needed = size_t(windowRows_ + count) * stride_;
    if (window_.size() < needed) {
        const size_t size = turned_ ? size_t(pageHeight_) * stride_
                                    : std::min(needed + 8 * stride_, size_t(pageHeight_) * stride_);
        std::vector<uint8_t> bigger(size);
        if (windowRows_ > 0) std::memcpy(bigger.data(), window_.data(), size_t(windowRows_) * stride_);
        window_.swap(bigger);
    }
    const size_t inBytes = size_t(pageWidth_) * size_t(channels_);
    for (int32_t r = 0; r < count; ++r) {
        uint8_t* to = window_.data() + size_t(windowRows_ + r) * stride_;
        if (method_ == Method::Copy) {
            std::memcpy(to, rows + size_t(r) * inBytes, inBytes);
        } else {
            toPixman(format_, rows + size_t(r) * inBytes, pageWidth_, to);
        }
    }
    windowRows_ += count;
    received_ += count;
}

int32_t Placement::linesReady(bool ending) const {
    const int32_t left = height_ - next_;
    if (ending || received_ >= pageHeight_) return left;
    return linesWithRows(std::min(left, kStrip));
}

int32_t Placement::linesWithRows(int32_t most) const {
    int32_t n = 0;
    while (n < most && endRow(next_, n + 1) <= received_) ++n;
    return n;
}

void Placement::lines(int32_t count, uint8_t* out, bool ending) {
    count = std::min(count, height_ - next_);
    // Lines that need rows the page never gave are blank.
    const int32_t real = ending && received_ < pageHeight_ ? linesWithRows(count) : count;
    for (int32_t done = 0; done < real;) {
        const int32_t n = std::min(real - done, kStrip);
        if (method_ == Method::Copy) {
            copy(next_ + done, n, out + size_t(done) * lineBytes(), ending);
        } else {
            composite(next_ + done, n, out + size_t(done) * lineBytes());
        }
        done += n;
    }
    std::memset(out + size_t(real) * lineBytes(), blankByte(format_), size_t(count - real) * lineBytes());
    next_ += count;
}

void Placement::copy(int32_t y, int32_t count, uint8_t* out, bool) {
    std::memset(out, blankByte(format_), size_t(count) * lineBytes());
    const int32_t x0 = boxLeft_, x1 = boxRight_;
    for (int32_t r = 0; r < count && x0 < x1; ++r) {
        const int32_t row = y + r - copyY_ - windowTop_;
        if (y + r < boxTop_ || y + r >= boxBottom_ || row < 0 || row >= windowRows_) continue;
        std::memcpy(out + size_t(r) * lineBytes() + size_t(x0) * size_t(channels_),
                    window_.data() + size_t(row) * stride_ + size_t(x0 - copyX_) * size_t(channels_),
                    size_t(x1 - x0) * size_t(channels_));
    }
}

void Placement::composite(int32_t y, int32_t count, uint8_t* out) {
    const size_t stride = strideFor(width_, pixmanBytes(format_));
    strip_.assign(stride * size_t(count), blankByte(format_));
    const int32_t top = std::max(y, boxTop_), bottom = std::min(y + count, boxBottom_);
    if (top < bottom && boxLeft_ < boxRight_ && windowRows_ > 0) {
        const pixman_format_code_t pf = pixmanFormat(format_);
        pixman_image_t* source = pixman_image_create_bits(pf, pageWidth_, windowRows_,
                                                          reinterpret_cast<uint32_t*>(window_.data()), int(stride_));
        pixman_f_transform ft;
        pixman_f_transform_init_identity(&ft);
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 3; ++j) ft.m[i][j] = m_[i][j];
        ft.m[1][2] -= windowTop_;
        pixman_transform t;
        pixman_transform_from_pixman_f_transform(&t, &ft);
        pixman_image_set_transform(source, &t);
        pixman_image_set_repeat(source, PIXMAN_REPEAT_PAD);
        if (!filter_.empty()) {
            pixman_image_set_filter(source, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, filter_.data(), int(filter_.size()));
        } else {
            pixman_image_set_filter(source, method_ == Method::Bilinear ? PIXMAN_FILTER_BILINEAR : PIXMAN_FILTER_NEAREST,
                                    nullptr, 0);
        }
        pixman_image_t* dest =
            pixman_image_create_bits(pf, width_, count, reinterpret_cast<uint32_t*>(strip_.data()), int(stride));
        pixman_image_composite32(PIXMAN_OP_SRC, source, nullptr, dest, boxLeft_, top, 0, 0, boxLeft_, top - y,
                                 boxRight_ - boxLeft_, bottom - top);
        pixman_image_unref(dest);
        pixman_image_unref(source);
    }
    for (int32_t r = 0; r < count; ++r)
        fromPixman(format_, strip_.data() + size_t(r) * stride, width_, out + size_t(r) * lineBytes());
}

}  // namespace kzfront
