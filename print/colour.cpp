// Colour separation: built-in (grey balance, black generation, under-colour
// removal) or through an ICC output profile, then the media's linearisation
// and ink limit, all folded into look-up tables made once per job.
#include "print/colour.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "print/colour_media.h"

namespace kzp {
namespace {

enum Ink { kCyan, kMagenta, kYellow, kBlack };
// The ink of each plane: 3 is black, 0..2 and 4..6 are cyan, magenta, yellow.
constexpr Ink kPlaneInk[7] = {kCyan, kMagenta, kYellow, kBlack, kCyan, kMagenta, kYellow};

enum class Inks { BlackOnly, ColourAndBlack, ColourOnly };

// Ink amounts 0..1, cyan, magenta, yellow, black.
using Amounts = std::array<float, 4>;

// Final amounts, one byte per ink, each in the low byte of a 16-bit lane so
// that table entries can be blended lane-wise in one 64-bit word.
using Packed = uint64_t;

class Finisher {
public:
    Finisher(const kzp_mode_info& mode, Inks inks) : media_(mediaColour(mode.media_code)), inks_(inks) {}

    // Device inks (as the separation or the profile gives them) to what this
    // mode prints: composite black where there is no black ink, then the
    // media's linearisation and ink limit.
    Packed finish(Amounts a) const {
        if (inks_ == Inks::ColourOnly) {
            for (int i = 0; i < 3; ++i) a[i] = 1 - (1 - a[i]) * (1 - a[kBlack]);
            a[kBlack] = 0;
        } else if (inks_ == Inks::BlackOnly) {
            a = {0, 0, 0, a[kBlack]};
        }
        for (float& v : a) v = linearise(media_, std::clamp(v, 0.0f, 1.0f));
        const float limit = inks_ == Inks::BlackOnly ? 1.0f : media_.inkLimit / 100.0f;
        const float colour = a[kCyan] + a[kMagenta] + a[kYellow];
        if (colour + a[kBlack] > limit) {
            a[kBlack] = std::min(a[kBlack], limit);
            const float scale = colour > 0 ? (limit - a[kBlack]) / colour : 0;
            for (int i = 0; i < 3; ++i) a[i] *= scale;
        }
        int bytes[4];
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<int>(std::lround(a[i] * 255));
        // Rounding must not take a pixel over the limit.
        const int limit255 = static_cast<int>(limit * 255);
        while (bytes[0] + bytes[1] + bytes[2] + bytes[3] > limit255) {
            int* most = std::max_element(bytes, bytes + 3);
            if (*most == 0) most = &bytes[kBlack];
            --*most;
        }
        Packed p = 0;
        for (int i = 0; i < 4; ++i) p |= static_cast<Packed>(bytes[i]) << (16 * i);
        return p;
    }

    // The built-in separation of an sRGB colour (components 0..1).
    Amounts separate(float r, float g, float b) const {
        if (inks_ == Inks::BlackOnly) return {0, 0, 0, 1 - (0.2126f * r + 0.7152f * g + 0.0722f * b)};
        Amounts a = {1 - r, 1 - g, 1 - b, 0};
        if (inks_ == Inks::ColourAndBlack) a = withBlack(a);
        // Grey balance: equal cyan, magenta and yellow do not print neutral.
        for (int i = 0; i < 3; ++i) a[i] *= media_.greyBalance[i];
        return a;
    }

private:
    // Black generation from the grey component (the least of the three
    // colours); the media table says why neutrals and colours differ.
    Amounts withBlack(const Amounts& a) const {
        const float grey = std::min({a[kCyan], a[kMagenta], a[kYellow]});
        const float chroma = std::max({a[kCyan], a[kMagenta], a[kYellow]}) - grey;
        const float start = media_.blackStart;
        // Colours: black past the start point; under-colour removal takes its
        // share out of the colours.
        const float k = grey > start ? (grey - start) / (1 - start) : 0;
        const float removed = k * media_.underColourRemoval;
        const Amounts colour = {a[kCyan] - removed, a[kMagenta] - removed, a[kYellow] - removed, k};
        // Neutrals: the grey goes over to black, all of it from blackAlone on;
        // the colours keep what black over them needs to print as dark as the
        // grey, and the colour's difference from grey.
        const float black = grey * smoothstep((grey - start) / (media_.blackAlone - start));
        const float kept = black < 1 ? 1 - (1 - grey) / (1 - black) : 0;
        const Amounts neutral = {a[kCyan] - grey + kept, a[kMagenta] - grey + kept, a[kYellow] - grey + kept, black};
        const float w = 1 - smoothstep(chroma / media_.neutralChroma);
        Amounts out;
        for (int i = 0; i < 4; ++i) out[i] = colour[i] + (neutral[i] - colour[i]) * w;
        return out;
    }

    // 0 below 0, 1 above 1, and an S between with a level start and end.
    static float smoothstep(float t) {
        t = std::clamp(t, 0.0f, 1.0f);
        return t * t * (3 - 2 * t);
    }

    const MediaColour& media_;
    Inks inks_;
};

// Turns sRGB colours (8-bit) into device inks: built in, or through a profile.
using DeviceInks = std::vector<Amounts>;

bool profileInks(const char* path, const std::vector<std::array<uint16_t, 3>>& rgb, DeviceInks* out,
                 std::string* error) {
    struct Log {
        std::string text;
    } log;
    cmsContext context = cmsCreateContext(nullptr, &log);
    if (!context) {
        *error = "Little CMS could not start (out of memory?)";
        return false;
    }
    cmsSetLogErrorHandlerTHR(context, [](cmsContext c, cmsUInt32Number, const char* text) {
        static_cast<Log*>(cmsGetContextUserData(c))->text = text;
    });
    const std::string name = std::string("ICC profile '") + path + "'";
    cmsHPROFILE source = cmsCreate_sRGBProfileTHR(context);
    cmsHPROFILE target = cmsOpenProfileFromFileTHR(context, path, "r");
    cmsHTRANSFORM transform = nullptr;
    bool ok = false;
    if (!target) {
        *error = name + " cannot be read" + (log.text.empty() ? "" : ": " + log.text);
    } else if (cmsGetColorSpace(target) != cmsSigCmykData) {
        *error = name + " is not a CMYK profile; the printer needs a CMYK output profile for its paper";
    } else if (cmsGetDeviceClass(target) != cmsSigOutputClass) {
        *error = name + " is not an output (printer) profile; the printer needs a CMYK output profile";
    } else if (!(transform = cmsCreateTransformTHR(context, source, TYPE_RGB_16, target, TYPE_CMYK_16,
                                                   INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE))) {
        *error = name + " cannot be used for sRGB input" + (log.text.empty() ? "" : ": " + log.text);
    } else {
        std::vector<std::array<uint16_t, 4>> cmyk(rgb.size());
        cmsDoTransform(transform, rgb.data(), cmyk.data(), static_cast<cmsUInt32Number>(rgb.size()));
        out->resize(rgb.size());
        for (size_t i = 0; i < rgb.size(); ++i)
            for (int j = 0; j < 4; ++j) (*out)[i][j] = cmyk[i][j] / 65535.0f;
        ok = true;
    }
    if (transform) cmsDeleteTransform(transform);
    if (target) cmsCloseProfile(target);
    if (source) cmsCloseProfile(source);
    cmsDeleteContext(context);
    return ok;
}

// The printed planes and where each finds its ink in a Packed value.
struct Outputs {
    int count = 0;
    int plane[7];
    int shift[7];
    explicit Outputs(const kzp_mode_info& mode) {
        for (int p = 0; p < 7; ++p)
            if (mode.planes >> p & 1) {
                plane[count] = p;
                shift[count] = 16 * kPlaneInk[p];
                ++count;
            }
    }

    // Calls f with a Spread for `out`: the modes' planes take their inks in
    // order (cyan, magenta, yellow, black) or black alone, so that their
    // shifts are known to the compiler.  By value: in memory, the planes'
    // addresses would be read again after every byte stored.
    template <class F>
    void spread(uint8_t* const out[7], F f) const {
        if (count == 3 && inksFrom(0)) f(Spread<3, 0>(*this, out));
        else if (count == 4 && inksFrom(0)) f(Spread<4, 0>(*this, out));
        else if (count == 1 && inksFrom(48)) f(Spread<1, 48>(*this, out));
        else f(Spread<0, 0>(*this, out));
    }

    // Writes a pixel's Packed inks to Count planes whose inks sit at First +
    // 16 i, or with Count 0, to any planes.
    template <int Count, int First>
    struct Spread {
        Spread(const Outputs& o, uint8_t* const out[7]) : count(Count ? Count : o.count) {
            for (int i = 0; i < count; ++i) {
                plane[i] = out[o.plane[i]];
                shift[i] = o.shift[i];
            }
        }
        void put(Packed v, int32_t x) const {
            if constexpr (Count > 0) {
#pragma GCC unroll 4
                for (int i = 0; i < Count; ++i) plane[i][x] = static_cast<uint8_t>(v >> (First + 16 * i));
            } else {
                for (int i = 0; i < count; ++i) plane[i][x] = static_cast<uint8_t>(v >> shift[i]);
            }
        }
        int count;
        uint8_t* plane[7];
        int shift[7];
    };

private:
    bool inksFrom(int first) const {
        for (int i = 0; i < count; ++i)
            if (shift[i] != first + 16 * i) return false;
        return true;
    }
};

constexpr int kGrid = 33;  // table points per RGB axis

class TableSeparator final : public Separator {
public:
    TableSeparator(const kzp_mode_info& mode, kzp_input input) : outputs_(mode), input_(input) {}

    // Fills the tables from device inks for the grid points and the greys.
    void build(const Finisher& finish, const DeviceInks& grid, const DeviceInks& grey) {
        cube_.resize(grid.size());
        for (size_t i = 0; i < grid.size(); ++i) cube_[i] = finish.finish(grid[i]);
        for (int v = 0; v < 256; ++v) grey_[v] = finish.finish(grey[v]);
        for (int v = 0; v < 256; ++v) {
            // Grid point n sits at n * 255 / 32.
            const int scaled = v * (kGrid - 1);
            const int base = std::min(scaled / 255, kGrid - 2);
            const int frac = ((scaled - base * 255) * 256 + 127) / 255;
            axis_[0][v] = {base * kSr, frac};
            axis_[1][v] = {base * kSg, frac};
            axis_[2][v] = {base * kSb, frac};
        }
    }

    void line(const void* in, int32_t width, uint8_t* const out[7]) override {
        const auto* bytes = static_cast<const uint8_t*>(in);
        outputs_.spread(out, [&](const auto spread) {
            switch (input_) {
            case KZP_INPUT_GRAY8:
                for (int32_t x = 0; x < width; ++x) spread.put(grey_[bytes[x]], x);
                break;
            case KZP_INPUT_BLACK1:
                for (int32_t x = 0; x < width; ++x) spread.put(grey_[bytes[x >> 3] >> (7 - (x & 7)) & 1 ? 0 : 255], x);
                break;
            default: rgbLine(bytes, width, spread); break;
            }
        });
    }

private:
    // Tetrahedral interpolation: the cube's cell is cut into six tetrahedra
    // along its grey diagonal; the order of the three fractions picks one.
    // Indexed by (fr >= fg) * 4 + (fg >= fb) * 2 + (fr >= fb): the offsets of
    // the second corner (along the largest fraction) and the third (along the
    // two largest); the first is the cell's origin, the fourth its far corner.
    static constexpr int kSr = kGrid * kGrid, kSg = kGrid, kSb = 1;
    static constexpr int kCorner[8][2] = {
        {kSb, kSb + kSg},  // b > g > r
        {0, 0},            // cannot happen
        {kSg, kSg + kSb},  // g >= b > r
        {kSg, kSg + kSr},  // g > r >= b
        {kSb, kSb + kSr},  // b > r >= g
        {kSr, kSr + kSb},  // r >= b > g
        {0, 0},            // cannot happen
        {kSr, kSr + kSg},  // r >= g >= b
    };

    template <class Spread>
    void rgbLine(const uint8_t* rgb, int32_t width, const Spread spread) {
        const Packed* cube = cube_.data();
        uint32_t last = 0xffffffff;
        Packed value = 0;
        for (int32_t x = 0; x < width; ++x, rgb += 3) {
            const uint32_t key = rgb[0] | rgb[1] << 8 | rgb[2] << 16;
            if (key != last) {
                last = key;
                const Axis ar = axis_[0][rgb[0]], ag = axis_[1][rgb[1]], ab = axis_[2][rgb[2]];
                const Packed* p = cube + ar.base + ag.base + ab.base;
                const int fr = ar.frac, fg = ag.frac, fb = ab.frac;
                const int order = (fr >= fg) * 4 + (fg >= fb) * 2 + (fr >= fb);
                const int high = std::max({fr, fg, fb}), low = std::min({fr, fg, fb});
                const int middle = fr + fg + fb - high - low;
                // Weights add up to 256 and lanes hold at most 255: no lane overflows.
                value = (p[0] * static_cast<Packed>(256 - high) + p[kCorner[order][0]] * static_cast<Packed>(high - middle) +
                         p[kCorner[order][1]] * static_cast<Packed>(middle - low) +
                         p[kSr + kSg + kSb] * static_cast<Packed>(low)) >> 8;
            }
            spread.put(value, x);
        }
    }

    struct Axis {
        int base;  // the grid point below, times the axis's stride in the cube
        int frac;  // 0..256
    };
    Outputs outputs_;
    kzp_input input_;
    std::vector<Packed> cube_;
    Packed grey_[256];
    Axis axis_[3][256];  // red, green, blue
};

// CMYK input is taken as the printer's own inks: only composite black, the
// linearisation and the ink limit apply (through the profile or not), in
// integers, the same steps as Finisher::finish.
class CmykSeparator final : public Separator {
public:
    CmykSeparator(const kzp_mode_info& mode, Inks inks) : outputs_(mode), inks_(inks) {
        const MediaColour& media = mediaColour(mode.media_code);
        for (int v = 0; v < 256; ++v) curve_[v] = static_cast<uint8_t>(std::lround(linearise(media, v / 255.0f) * 255));
        limit_ = inks == Inks::BlackOnly ? 255 : media.inkLimit * 255 / 100;
    }

    void line(const void* in, int32_t width, uint8_t* const out[7]) override {
        outputs_.spread(out, [&](const auto spread) {
            const auto* cmyk = static_cast<const uint8_t*>(in);
            uint32_t last = 0xffffffff;
            Packed value = 0;
            for (int32_t x = 0; x < width; ++x, cmyk += 4) {
                const uint32_t key = cmyk[0] | cmyk[1] << 8 | cmyk[2] << 16 | static_cast<uint32_t>(cmyk[3]) << 24;
                if (key != last) {
                    last = key;
                    value = separate(cmyk[0], cmyk[1], cmyk[2], cmyk[3]);
                }
                spread.put(value, x);
            }
        });
    }

private:
    Packed separate(int c, int m, int y, int k) const {
        if (inks_ == Inks::ColourOnly) {
            c = 255 - ((255 - c) * (255 - k) + 127) / 255;
            m = 255 - ((255 - m) * (255 - k) + 127) / 255;
            y = 255 - ((255 - y) * (255 - k) + 127) / 255;
            k = 0;
        } else if (inks_ == Inks::BlackOnly) {
            const int light = 255 - ((77 * c + 151 * m + 28 * y) >> 8);
            k = 255 - ((255 - k) * light + 127) / 255;
            c = m = y = 0;
        }
        c = curve_[c], m = curve_[m], y = curve_[y], k = curve_[k];
        const int colour = c + m + y;
        if (colour + k > limit_) {
            k = std::min(k, limit_);
            // Rounded down: the scaled colours never take the pixel over.
            const int room = limit_ - k;
            if (colour > 0) {
                c = c * room / colour;
                m = m * room / colour;
                y = y * room / colour;
            }
        }
        return static_cast<Packed>(c) | static_cast<Packed>(m) << 16 | static_cast<Packed>(y) << 32 |
               static_cast<Packed>(k) << 48;
    }

    Outputs outputs_;
    Inks inks_;
    uint8_t curve_[256];
    int limit_;
};

}  // namespace

std::unique_ptr<Separator> Separator::make(const kzp_mode_info& mode, kzp_input input, const char* iccProfile,
                                           std::string* error) {
    const bool black = mode.planes & 0x08, colour = mode.planes & 0x77;
    const Inks inks = !colour ? Inks::BlackOnly : black ? Inks::ColourAndBlack : Inks::ColourOnly;
    const Finisher finish(mode, inks);
    if (input == KZP_INPUT_CMYK8) return std::make_unique<CmykSeparator>(mode, inks);

    // The colours to separate: the grid's points, then the 256 greys.
    std::vector<std::array<uint16_t, 3>> rgb;
    rgb.reserve(kGrid * kGrid * kGrid + 256);
    for (int r = 0; r < kGrid; ++r)
        for (int g = 0; g < kGrid; ++g)
            for (int b = 0; b < kGrid; ++b)
                rgb.push_back({static_cast<uint16_t>(r * 65535 / (kGrid - 1)), static_cast<uint16_t>(g * 65535 / (kGrid - 1)),
                               static_cast<uint16_t>(b * 65535 / (kGrid - 1))});
    for (int v = 0; v < 256; ++v) {
        const auto v16 = static_cast<uint16_t>(v * 257);
        rgb.push_back({v16, v16, v16});
    }
    DeviceInks device;
    // Black-only modes print grey by the built-in curve: a colour profile has
    // nothing to say about one ink.
    if (iccProfile && *iccProfile && inks != Inks::BlackOnly) {
        std::string why;
        if (!profileInks(iccProfile, rgb, &device, &why)) {
            if (error) *error = why;
            return nullptr;
        }
    } else {
        device.resize(rgb.size());
        for (size_t i = 0; i < rgb.size(); ++i)
            device[i] = finish.separate(rgb[i][0] / 65535.0f, rgb[i][1] / 65535.0f, rgb[i][2] / 65535.0f);
    }
    auto separator = std::make_unique<TableSeparator>(mode, input);
    const DeviceInks grid(device.begin(), device.end() - 256), grey(device.end() - 256, device.end());
    separator->build(finish, grid, grey);
    return separator;
}

}  // namespace kzp
