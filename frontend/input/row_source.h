// A page's rows as a reader decodes them, given as they are or reduced by a
// whole factor (each given pixel the average of a factor x factor box), so
// that no page exceeds the limits of frontend/limits.h and pictures far
// larger than they print are not carried at full size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/input/open_pages.h"

namespace kzfront::input {

// The factor a page of `width` x `height` pixels is reduced by: to at most
// kMaxSide a side and kPageBudget at four bytes a pixel, and for pictures
// (`picture`) to no less than twice the size it prints at when the options
// say.  `divides` (raster) asks for a factor that divides it.  0 with `why`
// when the page is beyond kMaxInputSide or kMaxInputPixels, or no factor fits.
int32_t reductionFor(int64_t width, int64_t height, const OpenOptions& options, bool picture, uint32_t divides,
                     std::string& why);

class RowSource : public PageSource {
public:
    bool readRows(uint8_t* rows, int32_t count, std::string& error) final;

protected:
    RowSource(std::string name, const OpenOptions& options) : name_(std::move(name)), options_(options) {}
    // The reader's next row as decoded: width * channels(format) bytes, for
    // the width beginPage was given.  False with `error` (a phrase; the
    // caller adds the input's name) when the data is damaged or ends.
    virtual bool sourceRow(uint8_t* row, std::string& error) = 0;
    // A page of `width` x `height` decoded pixels in `page.format` begins,
    // reduced by `box`: sets the page's size and `reduced` (times
    // `alreadyReduced`, what the decoder reduced itself), and divides its
    // raster resolution by `box` (its ppi stays the file's).
    void beginPage(PageHeader& page, int32_t width, int32_t height, int32_t box, int32_t alreadyReduced = 1);
    // Reads what is left of the current page, so that the next one can begin.
    bool skipRest(std::string& error);
    // Why reading failed: "NAME: what", or "NAME, page N: what" for streams of pages.
    std::string failure(const std::string& what) const;

    const std::string name_;
    const OpenOptions options_;
    int pages_ = 0;  // pages begun

private:
    bool reducedRow(uint8_t* row, std::string& error);

    int32_t width_ = 0, height_ = 0, box_ = 1, channels_ = 1;
    int32_t sourceRows_ = 0;  // decoded rows taken
    int32_t rowsGiven_ = 0, outWidth_ = 0, outHeight_ = 0;
    std::vector<uint8_t> line_;
    std::vector<uint32_t> sums_;
};

}  // namespace kzfront::input
