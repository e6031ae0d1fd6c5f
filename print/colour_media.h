// How each media type takes ink: the data the separation is tuned by.
#pragma once

#include <cstdint>

namespace kzp {

struct MediaColour {
    const char* name;         // the kind of paper these numbers are for
    int inkLimit;             // most ink on one pixel, in % of one plane at its densest (100..400)
    float greyBalance[3];     // cyan, magenta, yellow on the neutral axis, relative to cyan
    float blackStart;         // darkness (0..1) of grey where black generation starts
    float underColourRemoval; // share (0..1) of the black taken out of cyan, magenta, yellow
    // Neutrals in black ink, where the print mode has black ink: from
    // blackStart on, a neutral grey hands its darkness over to black ink, and
    // from blackAlone on prints with black ink alone.  A colour counts as
    // neutral by how little its cyan, magenta and yellow differ: fully at no
    // difference, not at all from neutralChroma (0..1) on, where the black
    // generation and under-colour removal above apply unchanged.
    float blackAlone;
    float neutralChroma;
    uint8_t curve[5];         // linearisation: amount out, in %, for 0, 25, 50, 75 and 100 % in
};

// The tuning for a media type code; codes without their own use plain paper's.
const MediaColour& mediaColour(int16_t mediaCode);

// The linearisation curve: amount in -> amount out, both 0..1.
float linearise(const MediaColour& media, float amount);

}  // namespace kzp
