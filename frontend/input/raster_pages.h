// PWG and CUPS raster streams, with each page's header for the front ends
// that take their settings from it (the CUPS filter).
#pragma once

#include <memory>
#include <string>

#include "frontend/input/open_pages.h"
#include "frontend/raster_header.h"

namespace kzfront {

class RasterPages : public PageSource {
public:
    // The header of the page nextPage gave last.
    virtual const RasterHeader& header() const = 0;
};

// Reads raster from `fd` (not closed), named `name` in messages.  NULL with
// `error` when it does not start as a raster stream.
std::unique_ptr<RasterPages> openRasterPages(int fd, const std::string& name, const OpenOptions& options,
                                             std::string& error);

}  // namespace kzfront
