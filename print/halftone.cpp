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
constexpr int32_t kUnit = 1024;

class QualityHalftoner final : public Halftoner {
public:
    QualityHalftoner(const InkLevels& levels, int ink, int32_t width)
        : steps_(levels), dx_(kInkOffset[ink][0]), dy_(kInkOffset[ink][1]),
          width_(width), error_(2 * (static_cast<size_t>(width) + 2), 0) {
        for (int a = 0; a < 256; ++a)
            target_[a] = (a * steps_.maxDrops() * kUnit + 127) / 255;
        for (int k = 0; k < steps_.count; ++k) drops_[k] = steps_.drops[k] * kUnit;
        // Modulation strength by tone (as Zhou and Fang tune it by intensity):
        // full where plain diffusion draws lines and grids (tones near a
        // step), faint halfway between two steps, where its checkerboard is
        // already the best pattern.  256 is full strength.
        for (int a = 0; a < 256; ++a) {
            const int32_t off = std::abs(2 * static_cast<int32_t>(steps_.target[a].fraction) - 65536);
            strength_[a] = std::min<int64_t>(256, 26 + ((384 * static_cast<int64_t>(off)) >> 16));
        }
        for (int k = 0; k + 1 < steps_.count; ++k) {
            middle_[k] = (drops_[k] + drops_[k + 1]) / 2;
            half_[k] = (drops_[k + 1] - drops_[k]) / 2;
        }
    }

    void line(int32_t y, const uint8_t* amount, uint8_t* level) override {
        const size_t stride = static_cast<size_t>(width_) + 2;
        // Lines given out of turn (a new page, skipped lines) start afresh.
        if (y != lastY_ + 1) std::fill(error_.begin(), error_.end(), 0);
        lastY_ = y;
        int32_t* here = error_.data() + (y & 1) * stride + 1;   // this line's incoming error
        int32_t* below = error_.data() + (~y & 1) * stride + 1; // the next line's
        std::memset(below - 1, 0, stride * sizeof(int32_t));
        if (steps_.count < 2) {
            std::memset(level, 0, static_cast<size_t>(width_));
            return;
        }
        const uint16_t* noise = kBlueNoise + ((y + dy_) & (kN - 1)) * kN;
        // Serpentine: even lines left to right, odd lines right to left.
        if (y & 1)
            diffuse<-1>(amount, level, here, below, noise);
        else
            diffuse<1>(amount, level, here, below, noise);
    }

private:
    template <int Dir>
    void diffuse(const uint8_t* amount, uint8_t* level, const int32_t* here, int32_t* below, const uint16_t* noise) {
        // Locals: the stores to `level` may alias any member.
        const int top = steps_.count - 1;
        const uint8_t topLevel = steps_.level[top];
        const int32_t width = width_;
        const int dx = dx_;
        int32_t carry = 0;  // error passed to the next pixel along the line
        int32_t x = Dir > 0 ? 0 : width - 1;
        for (int32_t n = 0; n < width; ++n, x += Dir) {
            const uint8_t a = amount[x];
            if (a == 0 || a == 255) {
                // Paper white and full ink are exact; they neither take nor pass error,
                // so no dot strays into white.
                level[x] = a ? topLevel : 0;
                carry = 0;
                continue;
            }
            const int32_t v = target_[a] + here[x] + carry;
            // The pair of steps around v, from the input's own pair.
            int k = steps_.target[a].low;
            while (k > 0 && v < drops_[k]) --k;
            while (k + 1 < top && v >= drops_[k + 1]) ++k;
            // Threshold modulation: the midpoint moved by blue noise over up to half
            // the step, which breaks up the worms and patterns of plain diffusion.
            const int32_t threshold =
                middle_[k] + static_cast<int32_t>(((static_cast<int64_t>(noise[(x + dx) & (kN - 1)]) - 32768) * half_[k] * strength_[a]) >> 24);
            // Selects rather than look-ups indexed by the decision: each pixel's
            // error waits on the previous one's, so this path is kept short.
            const int up = v >= threshold;
            level[x] = steps_.level[k + up];
            const int32_t e = v - drops_[k + up];
            // Floyd and Steinberg's weights, mirrored on odd lines; the last share
            // takes the rounding so that no error is lost.
            const int32_t ahead = (e * 8 - e) >> 4, back = (e * 3) >> 4, down = (e * 5) >> 4;
            carry = ahead;
            below[x - Dir] += back;
            below[x] += down;
            below[x + Dir] += e - ahead - back - down;
        }
    }

    HalftoneSteps steps_;
    int dx_, dy_;
    int32_t width_;
    int32_t lastY_ = -2;
    int32_t target_[256];
    int32_t drops_[16] = {};   // each step's drops, in kUnit
    int32_t middle_[16] = {};  // between step k and k + 1
    int64_t half_[16] = {};    // half of that step
    int64_t strength_[256];    // of the threshold's modulation, by amount
    std::vector<int32_t> error_;
};

}  // namespace

std::unique_ptr<Halftoner> Halftoner::make(HalftoneMethod method, const InkLevels& levels, int ink, int32_t width) {
    ink = std::clamp(ink, 0, 6);
    width = std::max<int32_t>(width, 0);
    if (method == HalftoneMethod::Quality) return std::make_unique<QualityHalftoner>(levels, ink, width);
    return std::make_unique<FastHalftoner>(levels, ink, width);
}

}  // namespace kzp
