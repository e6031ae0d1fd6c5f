// The pass pattern: its generator and the measures that judge it.
//
// Every byte of the pattern is a phase 0..239.  A pixel's pass is its phase
// modulo the pass count (1-bit data), or its phase selects a column of the
// scan's pass select rows (multi-level data).  A raster line reads the pattern
// from a pseudo-random offset, one byte per pixel, so the pattern must be
// balanced over any stretch a line can read, and neighbouring pixels should
// land in different passes.
//
// Construction.  240 = 16 x 15, so a phase is the pair (phase mod 16, phase
// mod 15).  Seen as rows of 8 bytes:
//  - phase mod 8 = (column + row) mod 8: the 8 bytes of a row hold all eight
//    residues, and the byte below (8 further on) and the byte beside always
//    differ modulo every pass count above 2.  Bit 3 alternates by row, so
//    every two rows (16 bytes) hold each residue mod 16 exactly once.
//  - phase mod 15 = (f(phase mod 8) + shift) mod 15, where each run of 15
//    two-row blocks takes the 15 shifts in a pseudo-random order.  Every run
//    of 240 bytes therefore holds each phase exactly once.
// The fixed head and tail values are then written over the ends.
#pragma once

#include <array>
#include <cstdint>

namespace kz {

inline constexpr int kPassPatternSize = 10800;
inline constexpr int kPassPhases = 240;
// Bytes one line reads at most: 600 groups of 8 pixels.
inline constexpr int kPassPatternWindow = 8 * 600;
// Every pass count of the mode table.
inline constexpr std::array<int, 7> kPassCounts = {1, 2, 4, 6, 8, 12, 16};

inline constexpr std::array<std::uint8_t, 7> kPassPatternHead = {0, 134, 46, 193, 139, 114, 83};
inline constexpr std::array<std::uint8_t, 8> kPassPatternTail = {28, 5, 55, 199, 202, 90, 129, 215};

using PassPattern = std::array<std::uint8_t, kPassPatternSize>;

namespace pass_pattern_detail {

inline constexpr int kRowBytes = 8;
inline constexpr int kBlockBytes = 16;  // two rows: each residue mod 16 once
inline constexpr int kShifts = 15;

// Phase mod 15 of each residue mod 8 before the block's shift.  Residues one
// apart (the byte beside, the byte below) differ modulo 3 and 5, and so do
// residues up to three apart modulo 5.  Residues two apart (the last byte of
// a row and the first of the next) differ modulo 3 except from residues 0 and
// 2, which no such map can avoid for all eight; those two never end the first
// row of a block, so inside a block that step changes the pass modulo 6.
inline constexpr std::array<int, 8> kLowToFifteen = {0, 1, 12, 8, 10, 6, 7, 14};

// xorshift32: a fixed seed makes the table the same on every build.
constexpr std::uint32_t nextRandom(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// The phase with residue a mod 16 and t mod 15 (225 = 1 mod 16 = 0 mod 15).
constexpr std::uint8_t phaseOf(int a, int t) {
    return static_cast<std::uint8_t>((225 * a + 16 * t) % kPassPhases);
}

}  // namespace pass_pattern_detail

constexpr PassPattern makePassPattern() {
    using namespace pass_pattern_detail;
    PassPattern table{};
    std::uint32_t state = 0x2470u;
    std::array<int, kShifts> shifts{};
    for (int i = 0; i < kPassPatternSize; ++i) {
        const int block = i / kBlockBytes;
        if (block % kShifts == 0 && i % kBlockBytes == 0) {
            // Block j of the run takes a shift of residue j mod 3, so any three
            // blocks in a row balance the residues mod 3; the order within each
            // residue is shuffled.
            for (int residue = 0; residue < 3; ++residue) {
                std::array<int, kShifts / 3> order = {0, 1, 2, 3, 4};
                for (int k = static_cast<int>(order.size()) - 1; k > 0; --k) {
                    const auto pick = nextRandom(state) % static_cast<unsigned>(k + 1);
                    const int keep = order[k];
                    order[k] = order[pick];
                    order[pick] = keep;
                }
                for (int k = 0; k < kShifts / 3; ++k)
                    shifts[3 * k + residue] = 3 * order[k] + residue;
            }
        }
        const int column = i % kRowBytes;
        const int row = i / kRowBytes;
        const int low = (column + row) % 8;
        const int a = low + 8 * (row % 2);
        const int t = (kLowToFifteen[low] + shifts[block % kShifts]) % kShifts;
        table[i] = phaseOf(a, t);
    }
    for (std::size_t k = 0; k < kPassPatternHead.size(); ++k) table[k] = kPassPatternHead[k];
    for (std::size_t k = 0; k < kPassPatternTail.size(); ++k) {
        table[kPassPatternSize - kPassPatternTail.size() + k] = kPassPatternTail[k];
    }
    return table;
}

// Smallest and largest of a set of counts.
struct Spread {
    int min;
    int max;
};

// How often the rarest and the commonest phase occur.
constexpr Spread phaseCountSpread(const std::uint8_t* table, int size) {
    std::array<int, kPassPhases> counts{};
    for (int i = 0; i < size; ++i) {
        if (table[i] >= kPassPhases) return {-1, -1};
        ++counts[table[i]];
    }
    Spread s{counts[0], counts[0]};
    for (int c : counts) {
        if (c < s.min) s.min = c;
        if (c > s.max) s.max = c;
    }
    return s;
}

// Shares of the residues modulo passCount in table[begin .. begin + length).
constexpr Spread residueSpread(const std::uint8_t* table, int begin, int length, int passCount) {
    std::array<int, 16> counts{};
    for (int i = begin; i < begin + length; ++i) ++counts[table[i] % passCount];
    Spread s{counts[0], counts[0]};
    for (int r = 1; r < passCount; ++r) {
        if (counts[r] < s.min) s.min = counts[r];
        if (counts[r] > s.max) s.max = counts[r];
    }
    return s;
}

// Residue shares over every window of `length` bytes that starts at 0..lastStart:
// the smallest minimum and the largest maximum met.
constexpr Spread windowResidueSpread(const std::uint8_t* table, int length, int lastStart,
                                     int passCount) {
    std::array<int, 16> counts{};
    for (int i = 0; i < length; ++i) ++counts[table[i] % passCount];
    Spread s{counts[0], counts[0]};
    for (int r = 1; r < passCount; ++r) {
        if (counts[r] < s.min) s.min = counts[r];
        if (counts[r] > s.max) s.max = counts[r];
    }
    // Sliding by one byte lowers one count and raises another: only those two
    // can set a new extreme.
    for (int start = 0; start < lastStart; ++start) {
        const int leaving = table[start] % passCount;
        const int entering = table[start + length] % passCount;
        if (leaving == entering) continue;
        if (--counts[leaving] < s.min) s.min = counts[leaving];
        if (++counts[entering] > s.max) s.max = counts[entering];
    }
    return s;
}

// Pairs (i, i + distance) whose phases fall in the same pass.
constexpr int samePassPairs(const std::uint8_t* table, int size, int distance, int passCount) {
    int same = 0;
    for (int i = 0; i + distance < size; ++i) {
        if (table[i] % passCount == table[i + distance] % passCount) ++same;
    }
    return same;
}

}  // namespace kz
