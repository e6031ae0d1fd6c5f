// Pass select tables: which pass of a band fires the dots of each level.
//
// A multi-level pixel of level r may take several drops, spread over the
// passes of its band.  For each print mode a pattern gives, per level, a short
// cycle of pass sets (bit 15 - p names pass p of the band); the pixel's phase
// (0..239, from the pass pattern table at the line's offset) picks the entry,
// cycling over the first D entries of the row, D from the period table.
#include "planning/pass_select.h"

#include <array>
#include <bit>
#include <cstring>
#include <initializer_list>

namespace {

using kz::kPassSelectLevels;
using kz::kPassSelectPhases;

constexpr int kMaxLevel = kPassSelectLevels - 1;  // 8
constexpr int kMaxEntries = 16;
constexpr int kModeCount = 16;

struct PassPattern {
    int levels;   // N: the rows fill levels 1..N-1
    int entries;  // S: pass sets per row
    int passes;   // passes a set may name: the band's passes (pass pairs in modes 4 and 8)
    std::array<int, kMaxLevel> drops;  // passes firing a dot of level 1..8: bits of every set of its row
    std::array<std::array<uint16_t, kMaxEntries>, kMaxLevel> rows;  // rows[r - 1]: level r
};

enum PatternId {
    kTwoPassDark,      // modes 2, 3, 15, planes 0 and 1
    kTwoPassLight,     // modes 2, 3, 15, plane 2
    kPairedEven,       // modes 4, 8, even scans (ScanKind 2)
    kPairedOdd,        // modes 4, 8, odd scans
    kFourPass,         // mode 5
    kSixPass,          // mode 6
    kSixPassThree,     // mode 7
    kTwelvePass,       // mode 9
    kSixteenPass,      // mode 10
    kFourPassBlack,    // mode 13
    kPatternCount,
    kNoPattern = -1,
};

// Pass patterns.  Sets in hexadecimal; a row's unused entries are zero.
//                                              N  S  passes  drops by level
inline constexpr std::array<PassPattern, kPatternCount> kPassPatterns = {{
    {3, 4, 2, {1, 2}, {{{0x8000, 0x4000}, {0xC000}}}},
    {2, 4, 2, {2}, {{{0xC000}}}},
    {9, 6, 4, {0, 0, 1, 1, 2, 2, 3, 3},
     {{{}, {},
       {0x8000, 0x4000, 0x2000, 0x1000}, {0x8000, 0x4000, 0x2000, 0x1000},
       {0xC000, 0x9000, 0x6000, 0x3000, 0xA000, 0x5000}, {0xC000, 0x9000, 0x6000, 0x3000, 0xA000, 0x5000},
       {0xE000, 0xD000, 0xB000, 0x7000}, {0xE000, 0xD000, 0xB000, 0x7000}}}},
    {9, 6, 4, {1, 2, 1, 2, 1, 2, 1, 2},
     {{{0x8000, 0x4000, 0x2000, 0x1000}, {0xC000, 0x9000, 0x6000, 0x3000, 0xA000, 0x5000},
       {0x8000, 0x4000, 0x2000, 0x1000}, {0xC000, 0x9000, 0x6000, 0x3000, 0xA000, 0x5000},
       {0x8000, 0x4000, 0x2000, 0x1000}, {0xC000, 0x9000, 0x6000, 0x3000, 0xA000, 0x5000},
       {0x8000, 0x4000, 0x2000, 0x1000}, {0xC000, 0x9000, 0x6000, 0x3000, 0xA000, 0x5000}}}},
    {5, 6, 4, {1, 2, 3, 4},
     {{{0x8000, 0x4000, 0x2000, 0x1000}, {0xC000, 0x9000, 0x6000, 0x3000, 0xA000, 0x5000},
       {0xE000, 0xD000, 0xB000, 0x7000}, {0xF000}}}},
    {5, 15, 6, {1, 2, 3, 4},
     {{{0x8000, 0x4000, 0x2000, 0x1000, 0x0800, 0x0400},
       {0x9000, 0x4800, 0x2400, 0xA000, 0x5000, 0x2800, 0x1400, 0x8800, 0x4400, 0xC000, 0x6000,
        0x3000, 0x1800, 0x0C00, 0x8400},
       {0xA400, 0xD000, 0x6800, 0x3400, 0x9800, 0x4C00, 0x9400, 0xC800, 0x6400, 0xB000, 0x5800,
        0x2C00},
       {0xD800, 0xB400, 0x6C00}}}},
    {4, 15, 6, {1, 2, 4},
     {{{0x8000, 0x4000, 0x2000, 0x1000, 0x0800, 0x0400},
       {0x9000, 0x4800, 0x2400, 0xA000, 0x5000, 0x2800, 0x1400, 0x8800, 0x4400, 0xC000, 0x6000,
        0x3000, 0x1800, 0x0C00, 0x8400},
       {0xD800, 0x6C00, 0xB400}}}},
    {9, 12, 12, {1, 2, 3, 4, 5, 6, 7, 8},
     {{{0x8000, 0x4000, 0x2000, 0x1000, 0x0800, 0x0400, 0x0200, 0x0100, 0x0080, 0x0040, 0x0020, 0x0010},
       {0x8100, 0x4080, 0x2040, 0x1020, 0x0810, 0x8400, 0x4200, 0x2100, 0x1080, 0x0840, 0x0420, 0x0210},
       {0x9100, 0x4880, 0x2440, 0x1220, 0x0910, 0x8480, 0x4240, 0x2120, 0x1090, 0x8840, 0x4420, 0x2210},
       {0x9120, 0x4890, 0xA440, 0x5220, 0x2910, 0x9480, 0x4A40, 0x2520, 0x1290, 0x8940, 0x44A0, 0x2250},
       {0x9520, 0x4A90, 0xA540, 0x52A0, 0x2950, 0x94A0, 0x4A50, 0xA520, 0x5290, 0xA940, 0x54A0, 0x2A50},
       {0xB520, 0x5A90, 0xAD40, 0x56A0, 0x2B50, 0x95A0, 0x4AD0, 0xA560, 0x52B0, 0xA950, 0xD4A0, 0x6A50},
       {0xB560, 0x5AB0, 0xAD50, 0xD6A0, 0x6B50, 0xB5A0, 0x5AD0, 0xAD60, 0x56B0, 0xAB50, 0xD5A0, 0x6AD0},
       {0xB760, 0x5BB0, 0xADD0, 0xD6E0, 0x6B70, 0xB5B0, 0xDAD0, 0xED60, 0x76B0, 0xBB50, 0xDDA0, 0x6ED0}}}},
    {9, 16, 16, {1, 2, 3, 4, 5, 6, 7, 8},
     {{{0x8000, 0x4000, 0x2000, 0x1000, 0x0800, 0x0400, 0x0200, 0x0100, 0x0080, 0x0040, 0x0020, 0x0010,
        0x0008, 0x0004, 0x0002, 0x0001},
       {0x8040, 0x4020, 0x2010, 0x1008, 0x0804, 0x0402, 0x0201, 0x8100, 0x4080, 0x2040, 0x1020, 0x0810,
        0x0408, 0x0204, 0x0102, 0x0081},
       {0x8440, 0x4220, 0x2110, 0x1088, 0x0844, 0x0422, 0x0211, 0x8108, 0x4084, 0x2042, 0x1021, 0x8810,
        0x4408, 0x2204, 0x1102, 0x0881},
       {0x8448, 0x4224, 0x2112, 0x1089, 0x8844, 0x4422, 0x2211, 0x9108, 0x4884, 0x2442, 0x1221, 0x8910,
        0x4488, 0x2244, 0x1122, 0x0891},
       {0x9448, 0x4A24, 0x2512, 0x1289, 0x8944, 0x44A2, 0x2251, 0x9128, 0x4894, 0x244A, 0x1225, 0x8912,
        0x4489, 0xA244, 0x5122, 0x2891},
       {0x94C8, 0x4A64, 0x2532, 0x1299, 0x894C, 0x44A6, 0x2253, 0x9129, 0xC894, 0x644A, 0x3225, 0x9912,
        0x4C89, 0xA644, 0x5322, 0x2991},
       {0x94CA, 0x4A65, 0xA532, 0x5299, 0xA94C, 0x54A6, 0x2A53, 0x9529, 0xCA94, 0x654A, 0x32A5, 0x9952,
        0x4CA9, 0xA654, 0x532A, 0x2995},
       {0xD4CA, 0x6A65, 0xB532, 0x5A99, 0xAD4C, 0x56A6, 0x2B53, 0x95A9, 0xCAD4, 0x656A, 0x32B5, 0x995A,
        0x4CAD, 0xA656, 0x532B, 0xA995}}}},
    {2, 4, 4, {1}, {{{0x8000, 0x4000, 0x2000, 0x1000}}}},
}};

// A row's sets: the non-zero ones come first, each naming only the band's
// passes and exactly the row's number of drops; a row of no drops is empty.
constexpr bool rowsWellFormed(const PassPattern& p) {
    if (p.levels < 1 || p.levels > kPassSelectLevels || p.entries > kMaxEntries) return false;
    const unsigned bandPasses = (0xFFFFu << (kMaxEntries - p.passes)) & 0xFFFFu;
    for (int r = 1; r <= kMaxLevel; ++r) {
        const auto& row = p.rows[r - 1];
        bool ended = false;
        for (int e = 0; e < kMaxEntries; ++e) {
            const unsigned set = row[e];
            if (set == 0) {
                ended = true;
                continue;
            }
            if (ended || r >= p.levels || e >= p.entries) return false;
            if ((set & ~bandPasses) != 0 || std::popcount(set) != p.drops[r - 1]) return false;
        }
        if (r < p.levels && p.drops[r - 1] != 0 && row[0] == 0) return false;
    }
    return true;
}

constexpr bool allRowsWellFormed() {
    for (const PassPattern& p : kPassPatterns) {
        if (!rowsWellFormed(p)) return false;
    }
    return true;
}
static_assert(allRowsWellFormed(), "every pass set names the band's passes and its level's drops");
static_assert(kPassPatterns[kFourPass].drops == std::array<int, 8>{1, 2, 3, 4},
              "four-pass levels fire in one, two, three, then all four passes");
static_assert(kPassPatterns[kTwelvePass].drops == std::array<int, 8>{1, 2, 3, 4, 5, 6, 7, 8},
              "twelve-pass levels fire in one to eight passes");

// Period table, by print mode, plane and level (level 0 never read):
// the number of leading entries of the level's row that the phase cycles
// through; 0 means entry 0 only.
struct PeriodRule {
    std::initializer_list<int> modes;
    std::initializer_list<int> planes;
    std::array<int8_t, kMaxLevel> periods;  // levels 1..8
};

using PeriodTable = std::array<std::array<std::array<int8_t, kPassSelectLevels>, kz::kPlaneCount>, kModeCount>;

constexpr PeriodTable buildPeriods(std::initializer_list<PeriodRule> rules) {
    PeriodTable table{};
    for (const PeriodRule& rule : rules) {
        for (int mode : rule.modes) {
            for (int plane : rule.planes) {
                for (int r = 1; r <= kMaxLevel; ++r) table[mode][plane][r] = rule.periods[r - 1];
            }
        }
    }
    return table;
}

//                                                       modes        planes      periods of levels 1..8
inline constexpr PeriodTable kPassPeriods = buildPeriods({
    {{2, 3, 15}, {0, 1}, {2, 1}},
    {{2, 3, 15}, {2}, {1}},
    {{2, 3, 15}, {3}, {2}},
    {{4, 8}, {0, 1, 2}, {1, 1, 4, 4, 6, 6, 4, 4}},
    {{4}, {3}, {4}},
    {{4, 8}, {4, 5, 6}, {4, 6, 4, 6, 4, 6, 4, 6}},
    {{5}, {0, 1, 2}, {4, 6, 4, 1}},
    {{6}, {0, 1, 2}, {6, 15, 12, 3}},
    {{7}, {0, 1, 2}, {6, 15, 3}},
    {{7}, {3}, {6}},
    {{9}, {4, 5, 6}, {12, 12, 12, 12, 12, 12, 12, 12}},
    {{10}, {4, 5, 6}, {16, 16, 16, 16, 16, 16, 16, 16}},
    {{13}, {0}, {4}},
});

constexpr bool periodsDivide240() {
    for (const auto& mode : kPassPeriods) {
        for (const auto& plane : mode) {
            for (int8_t d : plane) {
                if (d < 0 || d > kMaxEntries || (d != 0 && kPassSelectPhases % d != 0)) return false;
            }
        }
    }
    return true;
}
static_assert(periodsDivide240(), "every period divides 240, so a row repeats exactly across the phases");

constexpr int patternOf(uint32_t mode, int plane, uint32_t scanKind) {
    switch (mode) {
        case 2: case 3: case 15:
            if (plane == 0 || plane == 1) return kTwoPassDark;
            return plane == 2 ? kTwoPassLight : kNoPattern;
        case 4: case 8: return scanKind == kz::kScanEvenPair ? kPairedEven : kPairedOdd;
        case 5: return kFourPass;
        case 6: return kSixPass;
        case 7: return kSixPassThree;
        case 9: return kTwelvePass;
        case 10: return kSixteenPass;
        case 13: return kFourPassBlack;
        default: return kNoPattern;
    }
}

// Every plane that a mode gives a table cycles only through sets that exist:
// each phase of each level finds a set with the level's drops.
constexpr bool periodsStayInRows() {
    for (uint32_t mode = 0; mode < kModeCount; ++mode) {
        for (int plane = 0; plane < kz::kPlaneCount; ++plane) {
            if (plane == kz::kBlackPlane) continue;
            const uint32_t kind = (mode == 4 || mode == 8)
                                      ? (plane >= 4 ? kz::kScanOddPair : kz::kScanEvenPair)
                                      : kz::kScanOrdinary;
            const int id = patternOf(mode, plane, kind);
            const auto& periods = kPassPeriods[mode][plane];
            bool used = false;
            for (int8_t d : periods) used = used || d != 0;
            if (id == kNoPattern || !used) continue;
            const PassPattern& p = kPassPatterns[id];
            for (int r = 1; r < p.levels; ++r) {
                const int cycle = periods[r] == 0 ? 1 : periods[r];
                if (cycle > p.entries) return false;
                for (int e = 0; e < cycle; ++e) {
                    if (std::popcount(static_cast<unsigned>(p.rows[r - 1][e])) != p.drops[r - 1]) return false;
                }
            }
        }
    }
    return true;
}
static_assert(periodsStayInRows(), "a period never cycles past the sets of its row");

}  // namespace

void makePassSelectTbl(int16_t plane, ScanInfo* scan, OutputContext* ctx, int16_t /*scanDir*/) {
    const uint32_t mode = ctx->PrintMode;
    if (plane == kz::kBlackPlane || mode == 0 || mode == 1 || mode == 14) return;
    std::memset(scan->PassSelectTbl, 0, sizeof scan->PassSelectTbl);
    if (mode >= kModeCount || plane < 0 || plane >= kz::kPlaneCount) return;
    const int id = patternOf(mode, plane, scan->ScanKind);
    if (id == kNoPattern) return;

    const PassPattern& pattern = kPassPatterns[id];
    // Modes 4 and 8 scan every feed position twice: a band pass is a pair of scans.
    const unsigned pass = (mode == 4 || mode == 8) ? scan->ScanPassIndex / 2u : scan->ScanPassIndex;
    const unsigned passBit = pass < 16 ? 0x8000u >> pass : 0;
    for (int r = 1; r < pattern.levels; ++r) {
        const int period = kPassPeriods[mode][plane][r];
        const auto& row = pattern.rows[r - 1];
        uint8_t* out = scan->PassSelectTbl[r];
        for (int c = 0; c < kPassSelectPhases; ++c) {
            const int entry = period == 0 ? 0 : c % period;
            out[c] = (row[entry] & passBit) != 0 ? 1 : 0;
        }
    }
}
