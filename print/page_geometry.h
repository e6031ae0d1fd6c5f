// Where the printed area sits on the paper: the choices the printer's
// tables leave open, in one place (print.h explains them to callers).
#pragma once

#include <cstdint>

namespace kzp {

// Everything here is in pixels and lines of 600 dpi.
inline constexpr int kBaseDpi = 600;
// Widest line the printer prints (its raster store's width): 260 mm.
inline constexpr int kPrintableWidth = 6144;
// Ink beyond each paper edge on a borderless page.  The printer's borderless
// areas start 47 pixels and lines into the raster (the left and top bleed);
// we give the right and bottom edges the same.
inline constexpr int kBleed = 47;
// Blank paper at each edge of a page with margins.  The top one is the
// printer's own: the starting feed of a page with margins is 118 lines longer.
// Left, right and bottom are our choice, the same 5 mm.
inline constexpr int kMargin = 118;
// Sizes without a code of their own print with margins under this sheet
// code: plain paper loads flat on it and it has no edge phases (limited
// nozzles near the bottom, kick-off) tied to a paper length.
inline constexpr int16_t kFittingCode = 1;

// The printer's borderless area of a paper code: the paper itself, from the
// raster's origin (inclusive coordinates).  Codes without one print with
// margins only.
struct NoEdgeArea {
    int16_t code, left, right, top, bottom;
    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
};
inline constexpr NoEdgeArea kNoEdgeAreas[] = {
    {3, 47, 5008, 47, 7063},  {4, 47, 7063, 47, 5008},  {13, 47, 5147, 47, 6647}, {14, 47, 6647, 47, 5147},
    {20, 47, 2410, 47, 3544}, {21, 47, 3544, 47, 2410}, {50, 47, 2150, 47, 3047}, {51, 47, 3047, 47, 4252},
    {52, 47, 2447, 47, 3647}, {55, 47, 3047, 47, 4247}, {56, 47, 2150, 47, 6047},
};
static_assert(kNoEdgeAreas[0].width() == 4961 && kNoEdgeAreas[0].height() == 7016, "A4 at 600 dpi");
static_assert(kNoEdgeAreas[0].left == kBleed && kNoEdgeAreas[0].top == kBleed);

constexpr const NoEdgeArea* noEdgeArea(int16_t code) {
    for (const auto& a : kNoEdgeAreas)
        if (a.code == code) return &a;
    return nullptr;
}

constexpr int32_t umFromPixels(int px) { return int32_t((int64_t(px) * 25400 + kBaseDpi / 2) / kBaseDpi); }
constexpr int pixelsFromUm(int32_t um) { return int((int64_t(um) * kBaseDpi + 12700) / 25400); }

// A page's printed area at 600 dpi, in paper coordinates (negative: bleed).
struct Area {
    int paperWidth = 0, paperHeight = 0;
    int left = 0, top = 0, width = 0, height = 0;
    // The raster's origin (pixel 0 of line 0) in paper coordinates.
    int originX = 0, originY = 0;
    bool borderless = false;
};

}  // namespace kzp
