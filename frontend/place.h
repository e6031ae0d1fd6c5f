// Placing a picture on the printable area: turned a quarter when that fits
// better, scaled with pixman's resampling filters, centred, over white.  A
// picture that already has the size it prints at is copied, not resampled.
#pragma once

#include <pixman.h>

#include <cstdint>
#include <vector>

#include "frontend/picture.h"

namespace kzprint {

enum class Fit { Fit, Fill };  // whole picture visible, or whole area covered

// The turn that lays a picture of w x h the way the area lies (a landscape
// picture on a portrait area), in `direction`; None when it lies so already.
Turn turnToFit(int32_t w, int32_t h, int32_t areaWidth, int32_t areaHeight, Turn direction);

class Placement {
public:
    // `scalePercent` scales the fitted (or filled) size.
    Placement(Picture&& picture, int32_t areaWidth, int32_t areaHeight, Fit fit, double scalePercent, Turn turn);
    ~Placement();
    Placement(const Placement&) = delete;
    Placement& operator=(const Placement&) = delete;

    bool rotated() const { return rotated_; }
    bool resampled() const { return resampled_; }
    // Lines [y, y + rows) of the area as 8-bit RGB, areaWidth pixels each.
    void lines(int32_t y, int32_t rows, uint8_t* rgb);

private:
    int32_t width_;
    bool rotated_ = false;
    bool resampled_ = true;
    Picture picture_;  // copied as it is, at (copyX_, copyY_) of the area
    int32_t copyX_ = 0, copyY_ = 0;
    std::vector<uint32_t> source_;
    std::vector<uint32_t> strip_;
    pixman_image_t* image_ = nullptr;
};

}  // namespace kzprint
