// A page held whole as 8-bit RGB: what the placement takes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/page_source.h"

namespace kzprint {

using kzfront::Turn;

// An 8-bit RGB picture, rows from the top.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;  // width * height * 3
    // The way it turns to lie as the paper does: documents turn as
    // Ghostscript turns the pages it fits, pictures the other way.
    Turn turn = Turn::Clockwise;
    bool grey = false;  // the file has no colour
    double ppi = 0;     // pixels per inch the file gives; 0 when it does not say
};

// Reads the rows of the page `source` has just given (`page`) into `picture`,
// as RGB (CMYK plainly: each ink takes away its share of white).
bool readPicture(kzfront::PageSource& source, const kzfront::PageHeader& page, Picture& picture,
                 std::string& error);

}  // namespace kzprint
