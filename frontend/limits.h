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

// The message for a page beyond kMaxSide.
inline std::string tooLargeToPrint(int64_t width, int64_t height) {
    return "a picture of " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels is too large to print (at most " + std::to_string(kMaxSide) + " x " + std::to_string(kMaxSide) +
           ")";
}

// Memory a page may take while it is read and placed, whatever its header
// claims.  An A4 page at the finest resolution in CMYK (4,961 x 7,016 x 4
// bytes, 139 MB) fits.
inline constexpr int64_t kPageBudget = int64_t(256) << 20;

// Ghostscript's time limits (seconds), unless the caller sets others: a page
// that takes longer, or a document, ends the input with a message.
inline constexpr int kGhostscriptPageSeconds = 45;
inline constexpr int kGhostscriptDocumentSeconds = 1800;

}  // namespace kzfront
