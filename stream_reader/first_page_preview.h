// A job's first page as the small pictures a print server keeps of it: drawn
// by the PreviewRenderer from the bytes as they go to the printer, at a
// scale that makes the sheet a few hundred pixels long, and a thumbnail of
// that.  The printer application keeps both with each job; the CUPS filter
// writes the view on request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "stream_reader/render.h"

namespace kzinspect {

struct PreviewSizes {
    int viewLongSide = 900;       // the sheet with its bleed, at most, in pixels
    int thumbnailLongSide = 450;  // the thumbnail's longer side, at most: A4 about 300 wide
    // Cells of the drawing, at most: the memory a stray stream can take
    // (8 bytes a cell), about three times a sheet at the view's scale.
    int64_t maxCells = 2500000;
};

// The view's scale for `paper`: each preview pixel stands for scale x scale
// pixels of 600 dpi.  An unknown paper is drawn at the scale an A4 sheet gets.
int previewScale(const Paper& paper, const PreviewSizes& sizes = {});

// `image` made at most `longSide` pixels long by averaging square blocks.
Image shrinkImage(const Image& image, int longSide);

class FirstPagePreview {
  public:
    explicit FirstPagePreview(const Paper& paper, const PreviewSizes& sizes = {});
    ~FirstPagePreview();
    FirstPagePreview(const FirstPagePreview&) = delete;
    FirstPagePreview& operator=(const FirstPagePreview&) = delete;

    // The stream's next bytes.  Nothing here throws: a fault in the stream,
    // a page too large or memory running out ends the preview, and error()
    // says why.  Once the first page is drawn the rest goes by unread and
    // the drawing's memory is given back.
    void write(const uint8_t* bytes, size_t size) noexcept;
    // The stream ended; true when the first page was drawn.
    bool finish() noexcept;

    bool drawn() const { return drawn_; }
    bool failed() const { return failed_; }
    const Image& view() const { return view_; }
    const Image& thumbnail() const { return thumbnail_; }
    const std::string& error() const { return error_; }
    int scale() const { return scale_; }

  private:
    void take(const Image& page);
    void fail() noexcept;

    PreviewSizes sizes_;
    int scale_;
    std::unique_ptr<PreviewRenderer> renderer_;
    Image view_, thumbnail_;
    bool drawn_ = false;
    bool failed_ = false;
    std::string error_;
};

}  // namespace kzinspect
