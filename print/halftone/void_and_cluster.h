// Void-and-cluster threshold arrays (Ulichney, 1993): ranks 0..n*n-1 on an
// n x n torus, each rank placed where the pattern of the lower ranks has its
// largest void, so every threshold level is a blue-noise dot pattern.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace kzp::halftone {

// Ranks in row-major order.  `seed` only picks the initial random pattern;
// the same arguments always give the same array.
inline std::vector<uint16_t> voidAndCluster(int n, double sigma = 1.5, uint32_t seed = 0x4b7a9e31u) {
    const int size = n * n;
    // Gaussian energy kernel on the torus, cut off where it no longer matters.
    const int radius = std::min(n / 2 - 1, static_cast<int>(std::ceil(sigma * 4)));
    const int span = 2 * radius + 1;
    std::vector<double> kernel(static_cast<size_t>(span) * span);
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            kernel[(dy + radius) * span + dx + radius] = std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));

    std::vector<uint8_t> bits(size, 0);
    std::vector<double> energy(size, 0.0);
    auto splat = [&](int at, double sign) {
        const int x0 = at % n, y0 = at / n;
        for (int dy = -radius; dy <= radius; ++dy) {
            const int row = ((y0 + dy + n) % n) * n;
            const double* k = &kernel[(dy + radius) * span];
            for (int dx = -radius; dx <= radius; ++dx)
                energy[row + (x0 + dx + n) % n] += sign * k[dx + radius];
        }
    };
    // Tightest cluster: the set pixel of highest energy; largest void: the
    // clear pixel of lowest.  Ties go to the first in row order.
    auto tightest = [&] {
        int best = -1;
        for (int i = 0; i < size; ++i)
            if (bits[i] && (best < 0 || energy[i] > energy[best])) best = i;
        return best;
    };
    auto largestVoid = [&] {
        int best = -1;
        for (int i = 0; i < size; ++i)
            if (!bits[i] && (best < 0 || energy[i] < energy[best])) best = i;
        return best;
    };

    // Initial pattern: a tenth of the pixels at random, then moved from
    // clusters to voids until stable.
    uint32_t state = seed ? seed : 1;
    auto next = [&] { state ^= state << 13; state ^= state >> 17; state ^= state << 5; return state; };
    int ones = 0;
    while (ones < size / 10) {
        const int at = static_cast<int>(next() % static_cast<uint32_t>(size));
        if (!bits[at]) { bits[at] = 1; splat(at, 1); ++ones; }
    }
    for (int guard = 0; guard < 4 * size; ++guard) {
        const int cluster = tightest();
        bits[cluster] = 0; splat(cluster, -1);
        const int hole = largestVoid();
        bits[hole] = 1; splat(hole, 1);
        if (hole == cluster) break;
    }
    const std::vector<uint8_t> initial = bits;
    const std::vector<double> initialEnergy = energy;

    std::vector<uint16_t> rank(size, 0);
    // Ranks below the initial pattern: take its tightest clusters away.
    for (int r = ones - 1; r >= 0; --r) {
        const int cluster = tightest();
        bits[cluster] = 0; splat(cluster, -1);
        rank[cluster] = static_cast<uint16_t>(r);
    }
    // Ranks above: fill the largest voids.  Past half full, the largest void
    // of the set pixels is the tightest cluster of the clear ones, since on
    // the torus the two energies add up to the kernel's sum.
    bits = initial; energy = initialEnergy;
    for (int r = ones; r < size; ++r) {
        const int hole = largestVoid();
        bits[hole] = 1; splat(hole, 1);
        rank[hole] = static_cast<uint16_t>(r);
    }
    return rank;
}

}  // namespace kzp::halftone
