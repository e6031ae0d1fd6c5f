// Placing pictures with pixman.
#include "frontend/place.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace kzprint {

Turn turnToFit(int32_t w, int32_t h, int32_t areaWidth, int32_t areaHeight, Turn direction) {
    const bool across = w != h && areaWidth != areaHeight && (w > h) != (areaWidth > areaHeight);
    return across ? direction : Turn::None;
}

Placement::Placement(Picture&& picture, int32_t areaWidth, int32_t areaHeight, Fit fit, double scalePercent,
                     Turn turn)
    : width_(areaWidth) {
    const int32_t sw = picture.width, sh = picture.height;
    rotated_ = turn != Turn::None;

    // The picture as it lies on the page (turned or not), and its scale.
    const double rw = rotated_ ? sh : sw, rh = rotated_ ? sw : sh;
    const double sx = areaWidth / rw, sy = areaHeight / rh;
    double s = (fit == Fit::Fit ? std::min(sx, sy) : std::max(sx, sy)) * scalePercent / 100.0;
    double ox = (areaWidth - rw * s) / 2, oy = (areaHeight - rh * s) / 2;
    // Within a pixel of its size (a document Ghostscript rendered to fit):
    // copied pixel for pixel, on whole-pixel offsets; without a turn, lines
    // straight from the picture.
    if (std::abs(rw * s - rw) < 1 && std::abs(rh * s - rh) < 1) {
        s = 1;
        ox = std::floor((areaWidth - rw) / 2);
        oy = std::floor((areaHeight - rh) / 2);
        resampled_ = false;
        if (!rotated_) {
            copyX_ = int32_t(ox);
            copyY_ = int32_t(oy);
            picture_ = std::move(picture);
            return;
        }
    }

    source_.resize(size_t(sw) * size_t(sh));
    for (size_t i = 0; i < source_.size(); ++i) {
        const uint8_t* p = &picture.rgb[3 * i];
        source_[i] = 0xFF000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
    picture.rgb = {};
    image_ = pixman_image_create_bits(PIXMAN_a8r8g8b8, sw, sh, source_.data(), sw * 4);

    // pixman maps area coordinates to picture coordinates.
    pixman_f_transform f;
    pixman_f_transform_init_identity(&f);
    if (turn == Turn::Clockwise) {
        // The picture's left edge becomes the top.
        f.m[0][0] = 0, f.m[0][1] = 1 / s, f.m[0][2] = -oy / s;
        f.m[1][0] = -1 / s, f.m[1][1] = 0, f.m[1][2] = sh + ox / s;
    } else if (turn == Turn::Counterclockwise) {
        // The picture's top edge becomes the left.
        f.m[0][0] = 0, f.m[0][1] = -1 / s, f.m[0][2] = sw + oy / s;
        f.m[1][0] = 1 / s, f.m[1][1] = 0, f.m[1][2] = -ox / s;
    } else {
        f.m[0][0] = 1 / s, f.m[0][1] = 0, f.m[0][2] = -ox / s;
        f.m[1][0] = 0, f.m[1][1] = 1 / s, f.m[1][2] = -oy / s;
    }
    pixman_transform t;
    pixman_transform_from_pixman_f_transform(&t, &f);
    pixman_image_set_transform(image_, &t);
    pixman_image_set_repeat(image_, PIXMAN_REPEAT_NONE);
    if (!resampled_) {
        pixman_image_set_filter(image_, PIXMAN_FILTER_NEAREST, nullptr, 0);
    } else if (s < 1) {
        // Shrinking: each area pixel averages the picture pixels it covers.
        int n = 0;
        pixman_fixed_t* params = pixman_filter_create_separable_convolution(
            &n, pixman_double_to_fixed(1 / s), pixman_double_to_fixed(1 / s), PIXMAN_KERNEL_LINEAR,
            PIXMAN_KERNEL_LINEAR, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, 2, 2);
        pixman_image_set_filter(image_, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n);
        std::free(params);
    } else {
        pixman_image_set_filter(image_, PIXMAN_FILTER_GOOD, nullptr, 0);
    }
}

Placement::~Placement() {
    if (image_) pixman_image_unref(image_);
}

void Placement::lines(int32_t y, int32_t rows, uint8_t* rgb) {
    if (!image_) {
        // Copied: the picture's part of each line, white around it.
        std::memset(rgb, 0xFF, size_t(width_) * size_t(rows) * 3);
        const int32_t x0 = std::max(copyX_, 0), x1 = std::min(copyX_ + picture_.width, width_);
        for (int32_t r = 0; r < rows && x0 < x1; ++r) {
            const int32_t py = y + r - copyY_;
            if (py < 0 || py >= picture_.height) continue;
            std::memcpy(rgb + (size_t(r) * size_t(width_) + size_t(x0)) * 3,
                        &picture_.rgb[(size_t(py) * size_t(picture_.width) + size_t(x0 - copyX_)) * 3],
                        size_t(x1 - x0) * 3);
        }
        return;
    }
    strip_.assign(size_t(width_) * size_t(rows), 0xFFFFFFFFu);
    pixman_image_t* dest = pixman_image_create_bits(PIXMAN_a8r8g8b8, width_, rows, strip_.data(), width_ * 4);
    pixman_image_composite32(PIXMAN_OP_OVER, image_, nullptr, dest, 0, y, 0, 0, 0, 0, width_, rows);
    pixman_image_unref(dest);
    for (size_t i = 0; i < strip_.size(); ++i) {
        const uint32_t v = strip_[i];
        rgb[3 * i] = uint8_t(v >> 16);
        rgb[3 * i + 1] = uint8_t(v >> 8);
        rgb[3 * i + 2] = uint8_t(v);
    }
}

}  // namespace kzprint
