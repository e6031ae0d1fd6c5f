// Previews of a printed stream: read back, rendered, written as PNG.
#include "stream_reader/preview.h"

#include "stream_reader/png_writer.h"
#include "stream_reader/render.h"
#include "stream_reader/report.h"
#include "stream_reader/stream.h"

namespace kzinspect {

bool writePreview(const std::vector<uint8_t>& bytes, const std::string& path, std::string& error) {
    const Stream stream = inspect(bytes);
    if (!stream.ok()) {
        error = "the printed stream does not read back: " +
                report(stream, Command::Check, false);
        return false;
    }
    std::vector<Image> pages;
    if (!renderPages(stream, RenderOptions{}, pages, error)) return false;
    for (size_t i = 0; i < pages.size(); ++i)
        if (!writePng(pages[i], pagePath(path, i), error)) return false;
    return true;
}

}  // namespace kzinspect
