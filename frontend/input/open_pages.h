// Opening an input by its content: PNG, JPEG, PNM, PWG or CUPS raster, PDF or
// PostScript (through Ghostscript), plain text (set as PDF by texttopdf).
// Every front end opens its input here.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "frontend/limits.h"
#include "frontend/page_source.h"

namespace kzfront {

struct OpenOptions {
    // Documents render at xdpi x ydpi, fitted to areaWidth x areaHeight
    // pixels (centred, turned counterclockwise when that fits better; pages
    // come as PageKind::Area), or at their own size when areaWidth is 0
    // (PageKind::Picture).
    int32_t xdpi = 600, ydpi = 600;
    int32_t areaWidth = 0, areaHeight = 0;
    // The paper at xdpi x ydpi: the size of PostScript pages that set none.
    int32_t paperWidth = 0, paperHeight = 0;
    // Documents: the pages to render (from 1; lastPage 0 is the last), and in
    // grey only when the print has no colour.
    int32_t firstPage = 1, lastPage = 0;
    bool grey = false;
    // The size in pixels a page prints at (either way round), so that readers
    // can reduce a far larger picture while reading it; 0 when not known.
    int32_t printWidth = 0, printHeight = 0;
    // Ghostscript's time limits in seconds, per page and per document.
    int pageSeconds = kGhostscriptPageSeconds, documentSeconds = kGhostscriptDocumentSeconds;
    // Asked while reading: true stops the input with a failure ("cancelled").
    std::function<bool()> cancelled;
    // The MIME type the input was sent as ("application/pdf", "image/png",
    // ...), or empty: a file that is something else is refused naming both.
    std::string declaredFormat;
};

// Opens `path`.  NULL with `error` set (naming the file and what is wrong)
// when it cannot be read or is none of the kinds above.
std::unique_ptr<PageSource> openPages(const std::string& path, const OpenOptions& options, std::string& error);

// The same for input arriving on `fd` (a pipe, standard input), named `name`
// in messages.  The source reads `fd` but does not close it.
std::unique_ptr<PageSource> openPages(int fd, const std::string& name, const OpenOptions& options,
                                      std::string& error);

}  // namespace kzfront
