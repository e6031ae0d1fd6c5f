// The separation's tuning per media type, all in this file.
//
// Where the numbers come from: they are starting values, not yet measured on
// the printer.  The linearisation curves undo the dot gain usual for inkjet
// ink on each kind of paper (uncoated paper spreads a drop most, so its curve
// holds the mid-tones back most); the ink limits are what each kind usually
// takes before it cockles or bleeds; grey balance follows the common case of
// a cyan weaker than magenta and yellow.  To tune a media: print the ramps of
// each ink, measure them, and write the amounts that give even steps into its
// curve; print a grey ramp and adjust the balance until it reads neutral.
//
// Neutrals in black ink (blackAlone, neutralChroma), where a mode has black:
// - Black text and line art print with black ink alone.  Colour ink under
//   black adds ink that bleeds on uncoated paper and fringes edges in colour
//   wherever the planes' dots miss each other, and a grey of colour inks is
//   neutral only as far as the grey balance is right; black ink alone is
//   sharp, neutral and dries fastest.  Dark greys follow: they are text edges
//   and dark graphics.
// - Light greys keep the colour inks: black dots show as grain in light
//   tones, which is why black generation starts at blackStart at all.  From
//   there to blackAlone the grey hands its darkness over to black smoothly
//   at the darkness it asks for (black over the colours as if their dots fell
//   independently), so a grey ramp has no step.
// - Colours keep the usual black generation and under-colour removal: black
//   ink dulls them.  A colour near the grey axis hands only its grey part to
//   black and keeps its difference from grey (its cast) in the colour inks;
//   how far it counts as neutral fades out up to neutralChroma, so there is
//   no border between the two rules.
// - Coated and photo paper take a grey of colour inks without bleeding and
//   show black grain more, so black takes over later on them.  (Photo media
//   print only in modes without black ink today.)  Modes without black ink
//   build black from the colours whatever these say.
#include "print/colour_media.h"

#include <iterator>

namespace kzp {
namespace {

constexpr MediaColour kPlain = {"plain paper", 200, {1.00f, 0.86f, 0.90f}, 0.35f, 0.80f, 0.60f, 0.20f,
                                {0, 17, 38, 64, 100}};
constexpr MediaColour kCoated = {"coated (matte) paper", 240, {1.00f, 0.88f, 0.92f}, 0.45f, 0.65f, 0.70f, 0.15f,
                                 {0, 20, 42, 68, 100}};
constexpr MediaColour kPhoto = {"photo (glossy) paper", 280, {1.00f, 0.90f, 0.94f}, 0.55f, 0.50f, 0.80f, 0.12f,
                                {0, 22, 45, 71, 100}};

struct MediaRow {
    int16_t code;
    const MediaColour* colour;
};

// By media type code.  Which kind a code is follows the print modes the
// tables give it: codes 0, 7 and 8 print in the plain paper modes (black-only
// allowed, 1- and 2-bit planes), code 1 only in the coated paper modes, the
// others only in the many-pass 4-bit modes of photo media.
constexpr MediaRow kMedia[] = {
    {0, &kPlain},   {7, &kPlain},   {8, &kPlain},   {1, &kCoated},  {15, &kPhoto},
    {16, &kPhoto},  {18, &kPhoto},  {22, &kPhoto},  {24, &kPhoto},  {26, &kPhoto},
    {27, &kPhoto},  {28, &kPhoto},  {29, &kPhoto},  {36, &kPhoto},  {37, &kPhoto},
};

constexpr bool curvesRise(const MediaColour& m) {
    for (int i = 1; i < 5; ++i)
        if (m.curve[i] <= m.curve[i - 1]) return false;
    return m.curve[0] == 0 && m.curve[4] == 100;
}
static_assert(curvesRise(kPlain) && curvesRise(kCoated) && curvesRise(kPhoto),
              "a curve starts at 0, ends at 100 and rises (paper white stays white)");
constexpr bool blackRuleFits(const MediaColour& m) {
    return m.blackStart < m.blackAlone && m.blackAlone <= 1 && m.neutralChroma > 0;
}
static_assert(blackRuleFits(kPlain) && blackRuleFits(kCoated) && blackRuleFits(kPhoto),
              "neutrals reach black alone after black generation starts, and some colours count as neutral");
static_assert(kPlain.inkLimit >= 100 && kCoated.inkLimit >= 100 && kPhoto.inkLimit >= 100,
              "an ink limit lets at least one plane print its densest level");

}  // namespace

const MediaColour& mediaColour(int16_t mediaCode) {
    for (const MediaRow& row : kMedia)
        if (row.code == mediaCode) return *row.colour;
    return kPlain;
}

float linearise(const MediaColour& media, float amount) {
    // Piecewise linear between the curve's points, a quarter apart.
    const float at = amount <= 0 ? 0 : amount >= 1 ? 4 : amount * 4;
    const int i = at >= 4 ? 3 : static_cast<int>(at);
    const float t = at - i;
    return (media.curve[i] + (media.curve[i + 1] - media.curve[i]) * t) / 100;
}

}  // namespace kzp
