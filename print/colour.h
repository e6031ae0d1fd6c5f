// Colour separation: input pixels to ink amounts per plane.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kzrqo317/print.h"

namespace kzp {

// Separates lines of one input format into the inks of one print mode.
// Plane 3 is black; planes 0, 1, 2 (and 4, 5, 6 where the mode uses them)
// are cyan, magenta and yellow.  Colour modes without a black plane build
// black from the three colours; black-only modes print grey as black.  The
// result per printed plane is an ink amount 0..255 per pixel, after grey
// balance, black generation, under-colour removal, the media's total-ink
// limit and linearisation, ready for the Halftoner.
//
// Where black ink is left alone: with an ICC profile the profile's own black
// generation decides (it was measured with it; profiles made with black
// generation to the full put black text in black ink), and CMYK input is
// the printer's inks already, so its black and its composite greys are the
// caller's choice.  Both still get composite black where the mode has no
// black ink.
class Separator {
public:
    virtual ~Separator() = default;
    // in: `width` pixels of the input format; out[p]: `width` bytes for every
    // plane p the mode prints (others are not touched and may be null).
    virtual void line(const void* in, int32_t width, uint8_t* const out[7]) = 0;

    // NULL with `error` set when the ICC profile cannot be used.
    static std::unique_ptr<Separator> make(const kzp_mode_info& mode, kzp_input input, const char* iccProfile,
                                           std::string* error);
};

}  // namespace kzp
