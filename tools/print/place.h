// Placing a picture on the printable area: turned a quarter when that fits
// better, scaled with pixman's resampling filters, centred, over white.
#pragma once

#include <pixman.h>

#include <cstdint>
#include <vector>

#include "picture.h"

namespace kzprint {

enum class Fit { Fit, Fill };  // whole picture visible, or whole area covered

class Placement {
public:
    // `scalePercent` scales the fitted (or filled) size.
    Placement(Picture&& picture, int32_t areaWidth, int32_t areaHeight, Fit fit, double scalePercent, bool rotate);
    ~Placement();
    Placement(const Placement&) = delete;
    Placement& operator=(const Placement&) = delete;

    bool rotated() const { return rotated_; }
    // Lines [y, y + rows) of the area as 8-bit RGB, areaWidth pixels each.
    void lines(int32_t y, int32_t rows, uint8_t* rgb);

private:
    int32_t width_;
    bool rotated_ = false;
    std::vector<uint32_t> source_;
    std::vector<uint32_t> strip_;
    pixman_image_t* image_ = nullptr;
};

}  // namespace kzprint
