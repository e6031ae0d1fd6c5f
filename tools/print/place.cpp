// Placing pictures with pixman.
#include "place.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kzprint {

Placement::Placement(Picture&& picture, int32_t areaWidth, int32_t areaHeight, Fit fit, double scalePercent,
                     bool rotate)
    : width_(areaWidth) {
    const int32_t sw = picture.width, sh = picture.height;
    rotated_ = rotate && (sw > sh) != (areaWidth > areaHeight) && sw != sh;
    source_.resize(size_t(sw) * size_t(sh));
    for (size_t i = 0; i < source_.size(); ++i) {
        const uint8_t* p = &picture.rgb[3 * i];
        source_[i] = 0xFF000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
    picture.rgb = {};
    image_ = pixman_image_create_bits(PIXMAN_a8r8g8b8, sw, sh, source_.data(), sw * 4);

    // The picture as it lies on the page (turned or not), and its scale.
    const double rw = rotated_ ? sh : sw, rh = rotated_ ? sw : sh;
    const double sx = areaWidth / rw, sy = areaHeight / rh;
    const double s = (fit == Fit::Fit ? std::min(sx, sy) : std::max(sx, sy)) * scalePercent / 100.0;
    const double ox = (areaWidth - rw * s) / 2, oy = (areaHeight - rh * s) / 2;

    // pixman maps area coordinates to picture coordinates.
    pixman_f_transform f;
    pixman_f_transform_init_identity(&f);
    if (rotated_) {
        // Turned a quarter clockwise: the picture's left edge becomes the top.
        f.m[0][0] = 0, f.m[0][1] = 1 / s, f.m[0][2] = -oy / s;
        f.m[1][0] = -1 / s, f.m[1][1] = 0, f.m[1][2] = sh + ox / s;
    } else {
        f.m[0][0] = 1 / s, f.m[0][1] = 0, f.m[0][2] = -ox / s;
        f.m[1][0] = 0, f.m[1][1] = 1 / s, f.m[1][2] = -oy / s;
    }
    pixman_transform t;
    pixman_transform_from_pixman_f_transform(&t, &f);
    pixman_image_set_transform(image_, &t);
    pixman_image_set_repeat(image_, PIXMAN_REPEAT_NONE);
    if (s < 1) {
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
