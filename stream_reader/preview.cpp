#include "stream_reader/preview.h"

#include "stream_reader/png_writer.h"

namespace kzinspect {

PreviewRenderer::PageReady pngPages(const std::string& path) {
    return [path](size_t index, const Image& page, std::string& error) {
        return writePng(page, pagePath(path, index), error);
    };
}

}  // namespace kzinspect
