// Prints the measures of the pass pattern table: how often each phase occurs,
// the share of every pass residue over the whole table and over every window
// a raster line can read, and how often neighbouring bytes share a pass.
#include <cstdio>

#include "kzrqo317/tables.h"
#include "param/pass_pattern.h"

int main() {
    const uint8_t* table = OPD17830_tbl;
    const int size = kz::kPassPatternSize;
    const int window = kz::kPassPatternWindow;
    const kz::Spread phases = kz::phaseCountSpread(table, size);
    std::printf("table %d bytes; each phase 0..239 occurs %d..%d times\n", size, phases.min,
                phases.max);
    std::printf("passes  whole table (equal)    %d-byte windows (equal)  same pass: beside  8 on\n",
                window);
    for (int passes : kz::kPassCounts) {
        const kz::Spread whole = kz::residueSpread(table, 0, size, passes);
        const kz::Spread windows = kz::windowResidueSpread(table, window, size - window, passes);
        const double beside = kz::samePassPairs(table, size, 1, passes) / double(size - 1);
        const double below = kz::samePassPairs(table, size, 8, passes) / double(size - 8);
        std::printf("%6d  %5d..%-5d (%5d)     %5d..%-5d (%5d)        %6.2f%%  %6.2f%%\n", passes,
                    whole.min, whole.max, size / passes, windows.min, windows.max, window / passes,
                    100 * beside, 100 * below);
    }
    return 0;
}
