// The sizes and times every front end accepts, in one place (the README's
// "Limits" section says the same).  The command line, the CUPS filter and the
// printer application read through the same readers, so they share them.
#pragma once

#include <cstdint>
#include <string>

namespace kzfront {

// Widest and tallest page a reader gives: pixman's 16.16 fixed-point
// coordinates end at 32,767.  Larger pictures are reduced while reading.
inline constexpr int32_t kMaxSide = 32767;

// Largest input read at all (and reduced): sides and pixels of a picture,
// raster page or document page as its file states them.
inline constexpr int64_t kMaxInputSide = 65535;
inline constexpr int64_t kMaxInputPixels = int64_t(1) << 30;

// The message for a page beyond kMaxInputSide or kMaxInputPixels.
inline std::string tooLargeToPrint(int64_t width, int64_t height) {
    return "a picture of " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels is too large to print (at most " + std::to_string(kMaxInputSide) + " pixels a side and " +
           std::to_string(kMaxInputPixels / 1'000'000) + " million pixels)";
}

// Memory a page may take while it is read and placed, whatever its header
// claims: readers give no page of more than kPageBudget / 4 pixels (four
// bytes a pixel, as pixman holds them), reducing larger ones while reading.
// An A4 page at the finest resolution (4,961 x 7,016 pixels, 139 MB at four
// bytes) fits.
inline constexpr int64_t kPageBudget = int64_t(256) << 20;

// Ghostscript's time limits (seconds), unless the caller sets others: a page
// that takes longer, or a document, ends the input with a message.
inline constexpr int kGhostscriptPageSeconds = 45;
inline constexpr int kGhostscriptDocumentSeconds = 1800;

}  // namespace kzfront
