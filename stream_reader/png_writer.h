// Writing a preview as a PNG file with libpng: 8-bit RGB, no interlace.
#pragma once

#include <string>

#include "stream_reader/render.h"

namespace kzinspect {

// Writes `image` to `path`. Returns false with `error` set when the file
// cannot be created or written.
bool writePng(const Image& image, const std::string& path, std::string& error);

}  // namespace kzinspect
