// PNM (PBM, PGM, PPM; plain and raw, any maxval), read row by row from a
// stream: files, and Ghostscript's output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "frontend/page_source.h"

namespace kzfront::input {

struct PnmHeader {
    int kind = 0;  // 1 to 6, as in "P6"
    int32_t width = 0, height = 0;
    int32_t maxval = 1;
    PixelFormat format() const { return kind == 3 || kind == 6 ? PixelFormat::Rgb8 : PixelFormat::Gray8; }
};

// The next picture's header.  False at the end of the stream (`end` set,
// `error` empty) or with `error` saying what is wrong.  Sizes beyond
// kMaxInputSide and kMaxInputPixels are refused.
bool readPnmHeader(std::FILE* file, PnmHeader& header, bool& end, std::string& error);

// The next row as Gray8 or Rgb8 (header.format()); `scratch` is reused.
bool readPnmRow(std::FILE* file, const PnmHeader& header, std::vector<uint8_t>& scratch, uint8_t* row,
                std::string& error);

}  // namespace kzfront::input
