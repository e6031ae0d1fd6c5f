// Previews written as PNG files, page by page as a stream goes by.
#pragma once

#include <string>

#include "stream_reader/render.h"

namespace kzinspect {

// A PreviewRenderer's page callback that writes page k to pagePath(path, k):
// path, then path-2.png, path-3.png ...
PreviewRenderer::PageReady pngPages(const std::string& path);

}  // namespace kzinspect
