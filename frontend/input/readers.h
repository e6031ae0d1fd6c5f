// The readers behind openPages, one file each.  Each takes the input as a
// stream positioned at its first byte and owns it from then on.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "frontend/input/open_pages.h"

namespace kzfront::input {

std::unique_ptr<PageSource> openPng(std::FILE* file, const std::string& name, const OpenOptions& options);
std::unique_ptr<PageSource> openJpeg(std::FILE* file, const std::string& name, const OpenOptions& options);
std::unique_ptr<PageSource> openPnm(std::FILE* file, const std::string& name, const OpenOptions& options);
std::unique_ptr<PageSource> openRaster(std::FILE* file, const std::string& name, const OpenOptions& options);
// PDF or PostScript at `path`, or in the file open as `fd` (when `path` is
// empty; the source closes it); `name` is what messages call it.
std::unique_ptr<PageSource> openDocument(const std::string& path, int fd, const std::string& name, bool postscript,
                                         const OpenOptions& options, std::string& error);

// Plain text: true when the start of the file at `fd` is UTF-8 (ASCII
// included) without control characters other than tab, line and form feeds.
bool looksLikeText(int fd);
bool looksLikeText(const unsigned char* start, size_t size);
// Sets the text in the file at `fd` as PDF pages of `width` x `height`
// points (texttopdf, with a time limit); the PDF's unnamed file, or -1 with
// `error`.
int textToPdf(int fd, double width, double height, const std::function<bool()>& cancelled, std::string& error);

// A stream over `fd` that gives `head` (bytes already read from it) first.
// It closes `fd` when `owned`.  NULL when out of memory.
std::FILE* streamOver(int fd, bool owned, const unsigned char* head, size_t headSize);

}  // namespace kzfront::input
