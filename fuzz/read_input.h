// What the reader harnesses share: the input arrives on a file descriptor,
// as the CUPS filter's does, declared as the harness's format (so that each
// harness stays in its reader), and every page and row of it is read.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/input/open_pages.h"

inline void readInput(const uint8_t* data, size_t size, const char* format) {
    const int fd = ::memfd_create("input", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, data, size) != ssize_t(size) || ::lseek(fd, 0, SEEK_SET) != 0) std::abort();
    kzfront::OpenOptions options;
    options.declaredFormat = format;
    options.printWidth = options.printHeight = 64;  // so that pictures are reduced too
    std::string error;
    auto source = kzfront::openPages(fd, "input", options, error);
    kzfront::PageHeader page;
    std::vector<uint8_t> rows;
    for (int pages = 0; source && pages < 8 && source->nextPage(page, error); ++pages) {
        const int32_t strip = 16;
        rows.resize(size_t(page.width) * size_t(kzfront::channels(page.format)) * strip);
        for (int32_t y = 0; y < page.height; y += strip)
            if (!source->readRows(rows.data(), std::min(strip, page.height - y), error)) break;
    }
    source.reset();
    ::close(fd);
}
