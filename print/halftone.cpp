// The two halftoning methods: a blue-noise threshold array (fast) and
// serpentine error diffusion with threshold modulation (quality).
#include "print/halftone.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "print/halftone/blue_noise_128.h"
#include "print/halftone_levels.h"

namespace kzp {
namespace {

using halftone::kBlueNoise;
constexpr int kN = halftone::kBlueNoiseSize;
static_assert((kN & (kN - 1)) == 0, "the array wraps with a mask");

// Where each ink reads the array, far apart so that the inks' dots do not
// land on each other more than chance says.
constexpr int kInkOffset[7][2] = {{0, 0}, {61, 29}, {29, 83}, {97, 109}, {13, 53}, {83, 11}, {47, 97}};

class FastHalftoner final : public Halftoner {
public:
    FastHalftoner(const InkLevels& levels, int ink, int32_t width)
        : width_(width), dx_(kInkOffset[ink][0]), dy_(kInkOffset[ink][1]) {
        const HalftoneSteps steps(levels);
        for (int a = 0; a < 256; ++a) {
            const auto t = steps.target[a];
            // A threshold (at most 65534) below the fraction prints the upper step.
            const uint32_t fraction = std::min<uint32_t>(t.fraction, 65535);
            const uint32_t low = steps.level[t.low];
            const uint32_t high = steps.count > 1 ? steps.level[t.low + 1] : 0;
            entry_[a] = fraction | low << 16 | high << 24;
        }
    }

    void line(int32_t y, const uint8_t* amount, uint8_t* level) override {
        const uint16_t* row = kBlueNoise + ((y + dy_) & (kN - 1)) * kN;
        int32_t x = 0;
        while (x < width_) {
            // One run over the array's row from column (x + dx) to its end.
            const int column = (x + dx_) & (kN - 1);
            const int32_t run = std::min<int32_t>(width_ - x, kN - column);
            const uint16_t* threshold = row + column;
            for (int32_t i = 0; i < run; ++i) {
                const uint32_t e = entry_[amount[x + i]];
                level[x + i] = static_cast<uint8_t>(threshold[i] < (e & 0xffff) ? e >> 24 : e >> 16);
            }
            x += run;
        }
    }

private:
    int32_t width_;
    int dx_, dy_;
    uint32_t entry_[256];
};

// Error diffusion in fixed point: one drop is kUnit.
constexpr int kUnitShift = 10;
constexpr int32_t kUnit = 1 << kUnitShift;

// One plane's share of the diffusion: its tables and its lines of error.
struct DiffusionPlane {
    // By amount: the target in drops, the strength of the threshold's
    // modulation, and for paper white and full ink, which are exact and neither
    // take nor pass error (so no dot strays into white), keep 0 and the level.
    struct ByAmount {
        int32_t target, strength, keep, fixed;
        // For steps of one drop: the target and half a step, or for paper
        // white and full ink, far enough out that no error moves their step.
        int32_t lifted;
        int32_t low;        // the lower of the steps around the target
        int32_t unused[2];  // a power of two in size, for the index
    };
    // By step k < top: the pair of steps k and k + 1.
    struct Pair {
        int32_t middle, half, low, step;  // drops in kUnit: the lower step's, and up to the higher
        int32_t lowLevel, levelStep;
        int32_t unused[2];                // a power of two in size, for the index
    };

    DiffusionPlane(const InkLevels& levels, int ink, int32_t width)
        : dx(kInkOffset[ink][0]), dy(kInkOffset[ink][1]), error(2 * (static_cast<size_t>(width) + 2), 0) {
        const HalftoneSteps steps(levels);
        prints = steps.count >= 2;
        if (!prints) return;
        top = steps.count - 1;
        const int32_t maxDrops = steps.maxDrops();
        for (int a = 0; a < 256; ++a) {
            ByAmount& b = byAmount[a];
            b.target = (a * maxDrops * kUnit + 127) / 255;
            // Modulation strength by tone (as Zhou and Fang tune it by intensity):
            // full where plain diffusion draws lines and grids (tones near a
            // step), faint halfway between two steps, where its checkerboard is
            // already the best pattern.  256 is full strength.
            const int32_t off = std::abs(2 * static_cast<int32_t>(steps.target[a].fraction) - 65536);
            b.strength = static_cast<int32_t>(std::min<int64_t>(256, 26 + ((384 * static_cast<int64_t>(off)) >> 16)));
            const bool exact = a == 0 || a == 255;
            b.keep = exact ? 0 : -1;
            b.fixed = a == 255 ? steps.level[top] : 0;
            b.lifted = !exact ? b.target + kUnit / 2 : a ? 1 << 24 : -(1 << 24);
            b.low = steps.target[a].low;
        }
        for (int k = 0; k <= top; ++k) drops[k] = steps.drops[k] * kUnit;
        for (int k = 0; k < top; ++k)
            pairs[k] = {(drops[k] + drops[k + 1]) / 2, (drops[k + 1] - drops[k]) / 2, drops[k], drops[k + 1] - drops[k],
                        steps.level[k], steps.level[k + 1] - steps.level[k], {}};
        unitSteps = hasUnitSteps(steps);
        for (int k = 0; k <= top; ++k) levelOf[k] = steps.level[k];
    }

    // Steps of one drop each (most planes of the modes) need no pair: the
    // step to print is the value's own, shifted.
    static bool hasUnitSteps(const HalftoneSteps& steps) {
        for (int k = 0; k < steps.count; ++k)
            if (steps.drops[k] != k) return false;
        return steps.count >= 2;
    }

    int dx, dy;
    bool prints = false;
    int top = 0;
    bool unitSteps = false;
    ByAmount byAmount[256];
    int32_t drops[16] = {};  // each step's, in kUnit
    Pair pairs[15] = {};
    uint8_t levelOf[16] = {};
    std::vector<int32_t> error;  // two lines of width + 2, the line's ends padded
};

// Four planes' values side by side, one plane per lane (GCC and Clang
// vectors: SSE2 registers where there are any, plain integers elsewhere).
using Lanes = int32_t __attribute__((vector_size(16)));

// Serpentine error diffusion with threshold modulation of up to four planes.
class Diffusion {
public:
    Diffusion(const InkLevels levels[], const int ink[], int count, int32_t width) : width_(width) {
        planes_.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            planes_.emplace_back(levels[i], ink[i], width);
            if (!planes_.back().prints) continue;
            printing_[printingCount_++] = i;
            unit_ = unit_ && planes_.back().unitSteps;
        }
        if (unit_) {
            // The planes' errors side by side, and the ring of work.
            lanesError_.assign(2 * (static_cast<size_t>(width) + 2), Lanes{});
            for (int i = 0; i < printingCount_; ++i) top_[i] = planes_[static_cast<size_t>(printing_[i])].top;
            for (std::vector<Lanes>* v : {&value_, &offset_, &keep_, &step_}) v->assign(kRing, Lanes{});
        }
    }

    void line(int32_t y, const uint8_t* const amount[], uint8_t* const level[]) {
        // Lines given out of turn (a new page, skipped lines) start afresh.
        if (y != lastY_ + 1) {
            for (DiffusionPlane& p : planes_) std::fill(p.error.begin(), p.error.end(), 0);
            std::fill(lanesError_.begin(), lanesError_.end(), Lanes{});
        }
        lastY_ = y;
        for (size_t i = 0; i < planes_.size(); ++i)
            if (!planes_[i].prints) std::memset(level[i], 0, static_cast<size_t>(width_));
        if (printingCount_ == 0) return;
        // Serpentine: even lines left to right, odd lines right to left.
        if (unit_) {
            switch (printingCount_) {
            case 1: (y & 1) ? diffuseUnits<1, -1>(y, amount, level) : diffuseUnits<1, 1>(y, amount, level); break;
            case 2: (y & 1) ? diffuseUnits<2, -1>(y, amount, level) : diffuseUnits<2, 1>(y, amount, level); break;
            case 3: (y & 1) ? diffuseUnits<3, -1>(y, amount, level) : diffuseUnits<3, 1>(y, amount, level); break;
            default: (y & 1) ? diffuseUnits<4, -1>(y, amount, level) : diffuseUnits<4, 1>(y, amount, level); break;
            }
            return;
        }
        const size_t stride = static_cast<size_t>(width_) + 2;
        Lane lanes[4];
        for (int n = 0; n < printingCount_; ++n) {
            const int i = printing_[n];
            DiffusionPlane& p = planes_[static_cast<size_t>(i)];
            Lane& l = lanes[n];
            l.amount = amount[i];
            l.level = level[i];
            l.here = p.error.data() + (y & 1) * stride + 1;
            l.below = p.error.data() + (~y & 1) * stride + 1;
            l.noise = kBlueNoise + ((y + p.dy) & (kN - 1)) * kN;
            l.dx = p.dx;
            l.top = p.top;
            l.drops = p.drops;
            l.byAmount = p.byAmount;
            l.pairs = p.pairs;
        }
        switch (printingCount_) {
        case 1: (y & 1) ? diffuse<1, -1>(lanes) : diffuse<1, 1>(lanes); break;
        case 2: (y & 1) ? diffuse<2, -1>(lanes) : diffuse<2, 1>(lanes); break;
        case 3: (y & 1) ? diffuse<3, -1>(lanes) : diffuse<3, 1>(lanes); break;
        default: (y & 1) ? diffuse<4, -1>(lanes) : diffuse<4, 1>(lanes); break;
        }
    }

private:
    // Ring of the lanes' work: how far ahead of the chain of errors the
    // pixels are prepared and behind it their levels written (far enough for
    // the processor to overlap them with the chain), and the ring's size.
    static constexpr int32_t kAhead = 16, kRing = 32;
    static_assert((kRing & (kRing - 1)) == 0 && kAhead * 2 <= kRing);

    // Steps of one drop each, the planes in the lanes of one vector.  The value
    // v goes up from step j when v - j kUnit >= half a step + the noise's
    // shift; so w = v - that + kUnit, shifted, is the step to print.  Only the
    // chain of errors waits on the previous pixel: it runs on all planes at
    // once, while each plane's pixels are prepared ahead and finished behind.
    template <int N, int Dir>
    void diffuseUnits(int32_t y, const uint8_t* const amount[], uint8_t* const level[]) {
        const int32_t width = width_;
        const size_t stride = static_cast<size_t>(width) + 2;
        const Lanes* here = lanesError_.data() + (y & 1) * stride + 1;
        Lanes* below = lanesError_.data() + (~y & 1) * stride + 1;
        const Lanes top = {top_[0], top_[1], top_[2], top_[3]};
        const DiffusionPlane* plane[N];
        const uint8_t* in[N];
        uint8_t* out[N];
        const uint16_t* noise[N];
        for (int i = 0; i < N; ++i) {
            plane[i] = &planes_[static_cast<size_t>(printing_[i])];
            in[i] = amount[printing_[i]];
            out[i] = level[printing_[i]];
            noise[i] = kBlueNoise + ((y + plane[i]->dy) & (kN - 1)) * kN;
        }
        Lanes* const value = value_.data();
        Lanes* const offset = offset_.data();
        Lanes* const keep = keep_.data();
        Lanes* const step = step_.data();
        const auto at = [&](int32_t n) { return Dir > 0 ? n : width - 1 - n; };
        const auto prepare = [&](int32_t n) {
            const int32_t x = at(n), r = n & (kRing - 1);
#pragma GCC unroll 4
            for (int i = 0; i < N; ++i) {
                const DiffusionPlane::ByAmount& b = plane[i]->byAmount[in[i][x]];
                // Threshold modulation: the midpoint between two steps moved by
                // blue noise over up to half the step, which breaks up the
                // worms and patterns of plain diffusion.
                const int32_t moved =
                    ((static_cast<int32_t>(noise[i][(x + plane[i]->dx) & (kN - 1)]) - 32768) * b.strength) >>
                    (24 - (kUnitShift - 1));
                value[r][i] = b.lifted - moved;
                offset[r][i] = moved - kUnit / 2;
                keep[r][i] = b.keep;
            }
        };
        const auto finish = [&](int32_t n) {
            const int32_t x = at(n), r = n & (kRing - 1);
#pragma GCC unroll 4
            for (int i = 0; i < N; ++i) out[i][x] = plane[i]->levelOf[step[r][i]];
        };
        // The error passed along the line, and the next line's still being
        // gathered at the pixel behind and here.
        Lanes carry{}, behind{}, under{};
        for (int32_t n = 0; n < std::min(kAhead, width); ++n) prepare(n);
        for (int32_t n = 0; n < width; ++n) {
            if (n + kAhead < width) prepare(n + kAhead);
            const int32_t x = at(n), r = n & (kRing - 1);
            const Lanes w = value[r] + here[x] + carry;
            Lanes j = w >> kUnitShift;
            j &= ~(j >> 31);
            const Lanes over = j > top;
            j = (j & ~over) | (top & over);
            step[r] = j;
            const Lanes e = (w + offset[r] - (j << kUnitShift)) & keep[r];
            // Floyd and Steinberg's weights, mirrored on odd lines; the last share
            // takes the rounding so that no error is lost.
            const Lanes ahead = ((e << 3) - e) >> 4, back = ((e << 1) + e) >> 4, down = ((e << 2) + e) >> 4;
            carry = ahead;
            below[x - Dir] = behind + back;
            behind = under + down;
            under = e - ahead - back - down;
            if (n >= kAhead) finish(n - kAhead);
        }
        for (int32_t n = std::max(width - kAhead, 0); n < width; ++n) finish(n);
        if (width > 0) {
            const int32_t last = at(width - 1);
            below[last] = behind;
            below[last + Dir] = under;
        }
    }

    // What the general loop needs of one plane, in locals: the stores of
    // levels may alias any member.
    struct Lane {
        const uint8_t* amount;
        uint8_t* level;
        const int32_t* here;  // this line's incoming error
        int32_t* below;       // the next line's, written once per pixel
        const uint16_t* noise;
        int dx;
        int top;
        const int32_t* drops;
        const DiffusionPlane::ByAmount* byAmount;
        const DiffusionPlane::Pair* pairs;
    };

    // Any steps: the level to print at one pixel and the error it leaves, from
    // the value to print less the error carried along the line.
    static inline int32_t decide(const Lane& l, int32_t x, int32_t carry) {
        const DiffusionPlane::ByAmount b = l.byAmount[l.amount[x]];
        const int32_t noise = (static_cast<int32_t>(l.noise[(x + l.dx) & (kN - 1)]) - 32768) * b.strength;
        const int32_t v = b.target + l.here[x] + carry;
        // The pair of steps around v, from the input's own pair: branches the
        // processor predicts well on pictures, which keeps the pair's look-up
        // out of the wait on the previous pixel.
        int k = b.low;
        while (k > 0 && v < l.drops[k]) --k;
        while (k + 1 < l.top && v >= l.drops[k + 1]) ++k;
        const DiffusionPlane::Pair& s = l.pairs[k];
        const int32_t threshold = s.middle + static_cast<int32_t>((static_cast<int64_t>(noise) * s.half) >> 24);
        // Masks rather than branches or look-ups indexed by the decision: each
        // pixel's error waits on the previous one's, so this path is kept
        // short, and the decision is as good as random.
        const int32_t up = -static_cast<int32_t>(v >= threshold);
        l.level[x] = static_cast<uint8_t>(((s.lowLevel + (s.levelStep & up)) & b.keep) | b.fixed);
        return (v - s.low - (s.step & up)) & b.keep;
    }

    // The planes in lockstep, so that the processor works on several while
    // each pixel's error waits on the previous one's.
    template <int N, int Dir>
    void diffuse(const Lane* lanes) {
        Lane l[N];
        for (int i = 0; i < N; ++i) l[i] = lanes[i];
        const int32_t width = width_;
        int32_t carry[N] = {}, behind[N] = {}, under[N] = {};
        int32_t x = Dir > 0 ? 0 : width - 1;
        for (int32_t n = 0; n < width; ++n, x += Dir) {
#pragma GCC unroll 4
            for (int i = 0; i < N; ++i) {
                const int32_t e = decide(l[i], x, carry[i]);
                const int32_t ahead = (e * 8 - e) >> 4, back = (e * 3) >> 4, down = (e * 5) >> 4;
                carry[i] = ahead;
                l[i].below[x - Dir] = behind[i] + back;
                behind[i] = under[i] + down;
                under[i] = e - ahead - back - down;
            }
        }
        if (width > 0)
            for (int i = 0; i < N; ++i) {
                l[i].below[x - Dir] = behind[i];
                l[i].below[x] = under[i];
            }
    }

    int32_t width_;
    int32_t lastY_ = -2;
    std::vector<DiffusionPlane> planes_;
    int printing_[4] = {};  // the planes that print anything
    int printingCount_ = 0;
    bool unit_ = true;      // all of them with steps of one drop
    int32_t top_[4] = {};
    std::vector<Lanes> lanesError_;  // two lines of width + 2, the line's ends padded
    std::vector<Lanes> value_, offset_, keep_, step_;
};

class QualityHalftoner final : public Halftoner {
public:
    QualityHalftoner(const InkLevels& levels, int ink, int32_t width) : diffusion_(&levels, &ink, 1, width) {}
    void line(int32_t y, const uint8_t* amount, uint8_t* level) override { diffusion_.line(y, &amount, &level); }

private:
    Diffusion diffusion_;
};

// The quality method's planes in groups of up to four, diffused in lockstep:
// those with steps of one drop together, the others apart, so that one plane
// of other steps does not keep the rest from the vector lanes.  The fast
// method's planes one by one (each pixel stands alone there).
class GroupedHalftoners final : public PlaneHalftoners {
public:
    GroupedHalftoners(HalftoneMethod method, const InkLevels levels[], const int ink[], int count, int32_t width) {
        if (method != HalftoneMethod::Quality) {
            for (int i = 0; i < count; ++i) single_.push_back(Halftoner::make(method, levels[i], ink[i], width));
            return;
        }
        for (bool unit : {true, false}) {
            std::vector<int> kind;
            for (int i = 0; i < count; ++i)
                if (DiffusionPlane::hasUnitSteps(HalftoneSteps(levels[i])) == unit) kind.push_back(i);
            for (size_t first = 0; first < kind.size(); first += 4) {
                Group g;
                InkLevels l[4];
                int in[4];
                for (size_t i = first; i < std::min(first + 4, kind.size()); ++i) {
                    g.plane[g.count] = kind[i];
                    l[g.count] = levels[kind[i]];
                    in[g.count++] = std::clamp(ink[kind[i]], 0, 6);
                }
                g.diffusion = std::make_unique<Diffusion>(l, in, g.count, width);
                groups_.push_back(std::move(g));
            }
        }
    }

    void line(int32_t y, const uint8_t* const amount[], uint8_t* const level[]) override {
        for (const Group& g : groups_) {
            const uint8_t* a[4];
            uint8_t* l[4];
            for (int i = 0; i < g.count; ++i) {
                a[i] = amount[g.plane[i]];
                l[i] = level[g.plane[i]];
            }
            g.diffusion->line(y, a, l);
        }
        for (int i = 0; i < static_cast<int>(single_.size()); ++i) single_[i]->line(y, amount[i], level[i]);
    }

private:
    struct Group {
        int count = 0;
        int plane[4];  // of the caller's planes
        std::unique_ptr<Diffusion> diffusion;
    };
    std::vector<Group> groups_;
    std::vector<std::unique_ptr<Halftoner>> single_;
};

}  // namespace

std::unique_ptr<Halftoner> Halftoner::make(HalftoneMethod method, const InkLevels& levels, int ink, int32_t width) {
    ink = std::clamp(ink, 0, 6);
    width = std::max<int32_t>(width, 0);
    if (method == HalftoneMethod::Quality) return std::make_unique<QualityHalftoner>(levels, ink, width);
    return std::make_unique<FastHalftoner>(levels, ink, width);
}

std::unique_ptr<PlaneHalftoners> PlaneHalftoners::make(HalftoneMethod method, const InkLevels levels[], const int ink[],
                                                       int count, int32_t width) {
    return std::make_unique<GroupedHalftoners>(method, levels, ink, std::clamp(count, 0, 7), std::max<int32_t>(width, 0));
}

}  // namespace kzp
