// Previews through the inspector's reader and renderer.
#include "preview.h"

#include "png_writer.h"
#include "render.h"
#include "report.h"
#include "stream.h"

namespace kzprint {

bool writePreview(const std::vector<uint8_t>& bytes, const std::string& path, std::string& error) {
    const kzinspect::Stream stream = kzinspect::inspect(bytes);
    if (!stream.ok()) {
        error = "the printed stream does not read back: " +
                kzinspect::report(stream, kzinspect::Command::Check, false);
        return false;
    }
    std::vector<kzinspect::Image> pages;
    if (!kzinspect::renderPages(stream, kzinspect::RenderOptions{}, pages, error)) return false;
    for (size_t i = 0; i < pages.size(); ++i)
        if (!kzinspect::writePng(pages[i], kzinspect::pagePath(path, i), error)) return false;
    return true;
}

}  // namespace kzprint
