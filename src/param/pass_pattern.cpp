// The two exported tables that scan building reads through the context: the
// pass pattern and the bit counts of byte values.
#include "param/pass_pattern.h"

#include <algorithm>
#include <bit>

#include "kzrqo317/tables.h"
#include "param/param.h"

namespace {

constexpr kz::PassPattern kPattern = kz::makePassPattern();

// Share of each residue, whole table and every window a line reads: within 1%
// of an equal share (the longest line starts at offset 4681 at most; every
// window up to the table's end is checked).
constexpr bool residuesBalanced(const uint8_t* table) {
    for (int passes : kz::kPassCounts) {
        const int whole = kz::kPassPatternSize / passes;
        const kz::Spread all = kz::residueSpread(table, 0, kz::kPassPatternSize, passes);
        if (all.min * 100 < whole * 99 || all.max * 100 > whole * 101) return false;
    }
    return true;
}

constexpr bool windowsBalanced(const uint8_t* table, int passes) {
    const int share = kz::kPassPatternWindow / passes;
    const kz::Spread s = kz::windowResidueSpread(
        table, kz::kPassPatternWindow, kz::kPassPatternSize - kz::kPassPatternWindow, passes);
    return s.min * 100 >= share * 99 && s.max * 100 <= share * 101;
}

}  // namespace

// The generated pattern spelled out element by element (an exported C array
// cannot be initialised from a constexpr std::array any other way).
#define KZ_P1(n) kPattern[n]
#define KZ_P10(n)                                                                                  \
    KZ_P1((n)*10 + 0), KZ_P1((n)*10 + 1), KZ_P1((n)*10 + 2), KZ_P1((n)*10 + 3), KZ_P1((n)*10 + 4), \
        KZ_P1((n)*10 + 5), KZ_P1((n)*10 + 6), KZ_P1((n)*10 + 7), KZ_P1((n)*10 + 8),                \
        KZ_P1((n)*10 + 9)
#define KZ_P100(n)                                                                      \
    KZ_P10((n)*10 + 0), KZ_P10((n)*10 + 1), KZ_P10((n)*10 + 2), KZ_P10((n)*10 + 3),     \
        KZ_P10((n)*10 + 4), KZ_P10((n)*10 + 5), KZ_P10((n)*10 + 6), KZ_P10((n)*10 + 7), \
        KZ_P10((n)*10 + 8), KZ_P10((n)*10 + 9)
#define KZ_P1000(n)                                                                         \
    KZ_P100((n)*10 + 0), KZ_P100((n)*10 + 1), KZ_P100((n)*10 + 2), KZ_P100((n)*10 + 3),     \
        KZ_P100((n)*10 + 4), KZ_P100((n)*10 + 5), KZ_P100((n)*10 + 6), KZ_P100((n)*10 + 7), \
        KZ_P100((n)*10 + 8), KZ_P100((n)*10 + 9)

constexpr uint8_t OPD17830_tbl[10800] = {
    KZ_P1000(0),  KZ_P1000(1),  KZ_P1000(2),  KZ_P1000(3),  KZ_P1000(4),  KZ_P1000(5),
    KZ_P1000(6),  KZ_P1000(7),  KZ_P1000(8),  KZ_P1000(9),  KZ_P100(100), KZ_P100(101),
    KZ_P100(102), KZ_P100(103), KZ_P100(104), KZ_P100(105), KZ_P100(106), KZ_P100(107),
};

#undef KZ_P1000
#undef KZ_P100
#undef KZ_P10
#undef KZ_P1

static_assert(sizeof(OPD17830_tbl) == kz::kPassPatternSize);
static_assert(std::equal(kPattern.begin(), kPattern.end(), OPD17830_tbl), "spelled out in full");
// Every phase 0..239 occurs, none fewer than 8 or more than 65 times (45 on average).
static_assert(kz::phaseCountSpread(OPD17830_tbl, 10800).min >= 8);
static_assert(kz::phaseCountSpread(OPD17830_tbl, 10800).max <= 65);
static_assert(OPD17830_tbl[0] == 0 && OPD17830_tbl[1] == 134 && OPD17830_tbl[6] == 83);
static_assert(OPD17830_tbl[10792] == 28 && OPD17830_tbl[10799] == 215);
static_assert(residuesBalanced(OPD17830_tbl));
static_assert(windowsBalanced(OPD17830_tbl, 2) && windowsBalanced(OPD17830_tbl, 4));
static_assert(windowsBalanced(OPD17830_tbl, 6) && windowsBalanced(OPD17830_tbl, 8));
static_assert(windowsBalanced(OPD17830_tbl, 12));
static_assert(windowsBalanced(OPD17830_tbl, 16));

// Bits set per byte value, 16 values a row.
constexpr uint8_t OPD17831_tbl[256] = {
    0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4,  // 0x00
    1, 2, 2, 3, 2, 3, 3, 4, 2, 3, 3, 4, 3, 4, 4, 5,  // 0x10
    1, 2, 2, 3, 2, 3, 3, 4, 2, 3, 3, 4, 3, 4, 4, 5,  // 0x20
    2, 3, 3, 4, 3, 4, 4, 5, 3, 4, 4, 5, 4, 5, 5, 6,  // 0x30
    1, 2, 2, 3, 2, 3, 3, 4, 2, 3, 3, 4, 3, 4, 4, 5,  // 0x40
    2, 3, 3, 4, 3, 4, 4, 5, 3, 4, 4, 5, 4, 5, 5, 6,  // 0x50
    2, 3, 3, 4, 3, 4, 4, 5, 3, 4, 4, 5, 4, 5, 5, 6,  // 0x60
    3, 4, 4, 5, 4, 5, 5, 6, 4, 5, 5, 6, 5, 6, 6, 7,  // 0x70
    1, 2, 2, 3, 2, 3, 3, 4, 2, 3, 3, 4, 3, 4, 4, 5,  // 0x80
    2, 3, 3, 4, 3, 4, 4, 5, 3, 4, 4, 5, 4, 5, 5, 6,  // 0x90
    2, 3, 3, 4, 3, 4, 4, 5, 3, 4, 4, 5, 4, 5, 5, 6,  // 0xA0
    3, 4, 4, 5, 4, 5, 5, 6, 4, 5, 5, 6, 5, 6, 6, 7,  // 0xB0
    2, 3, 3, 4, 3, 4, 4, 5, 3, 4, 4, 5, 4, 5, 5, 6,  // 0xC0
    3, 4, 4, 5, 4, 5, 5, 6, 4, 5, 5, 6, 5, 6, 6, 7,  // 0xD0
    3, 4, 4, 5, 4, 5, 5, 6, 4, 5, 5, 6, 5, 6, 6, 7,  // 0xE0
    4, 5, 5, 6, 5, 6, 6, 7, 5, 6, 6, 7, 6, 7, 7, 8,  // 0xF0
};

static_assert([] {
    for (unsigned v = 0; v < 256; ++v) {
        if (OPD17831_tbl[v] != std::popcount(v)) return false;
    }
    return true;
}());

int16_t SetTable(OutputContext* ctx) {
    ctx->MaskTbl = OPD17830_tbl;
    ctx->DotCountTbl = OPD17831_tbl;
    return 0;
}
