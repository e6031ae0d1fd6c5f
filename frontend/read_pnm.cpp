// PNM (PBM, PGM, PPM; plain and raw, any maxval), one picture after another.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "frontend/picture.h"

namespace kzprint {
namespace {

// Next header number, skipping white space and comments; -1 on a fault.
int64_t headerNumber(std::FILE* f) {
    int c = std::fgetc(f);
    while (c != EOF && (std::isspace(c) || c == '#')) {
        if (c == '#')
            while (c != EOF && c != '\n') c = std::fgetc(f);
        c = std::fgetc(f);
    }
    if (c == EOF || !std::isdigit(c)) return -1;
    int64_t v = 0;
    while (c != EOF && std::isdigit(c)) {
        v = v * 10 + (c - '0');
        if (v > 1'000'000'000) return -1;
        c = std::fgetc(f);
    }
    return v;  // the single white-space character after the number is consumed
}

class PnmPages : public PageSource {
public:
    PnmPages(std::string path, std::FILE* file) : path_(std::move(path)), file_(file) {}
    ~PnmPages() override { std::fclose(file_); }
    bool next(Picture& page, std::string& error) override {
        bool end = false;
        if (readPnm(file_, page, error, end)) return true;
        if (!end) error = path_ + ": " + error;
        return false;
    }

private:
    std::string path_;
    std::FILE* file_;
};

}  // namespace

bool readPnm(std::FILE* f, Picture& page, std::string& error, bool& end) {
    int c = std::fgetc(f);
    while (c != EOF && std::isspace(c)) c = std::fgetc(f);
    if (c == EOF) {
        end = true;
        return false;
    }
    const int kind = std::fgetc(f) - '0';
    if (c != 'P' || kind < 1 || kind > 6) {
        error = "not a PNM picture (P1 to P6)";
        return false;
    }
    const bool bitmap = kind == 1 || kind == 4, colour = kind == 3 || kind == 6, plain = kind <= 3;
    const int64_t w = headerNumber(f), h = headerNumber(f), maxval = bitmap ? 1 : headerNumber(f);
    if (w < 1 || h < 1 || maxval < 1 || maxval > 65535) {
        error = "damaged PNM header";
        return false;
    }
    if (w > kMaxSide || h > kMaxSide || w * h > kMaxPixels) {
        error = "a picture of " + std::to_string(w) + " x " + std::to_string(h) + " pixels is too large to print";
        return false;
    }
    page.width = int32_t(w);
    page.height = int32_t(h);
    page.rgb.assign(size_t(w) * size_t(h) * 3, 0);
    const int channels = colour ? 3 : 1;
    const int bytes = maxval > 255 ? 2 : 1;
    std::vector<uint8_t> row(bitmap && !plain ? size_t(w + 7) / 8 : size_t(w) * channels * bytes);
    for (int64_t y = 0; y < h; ++y) {
        uint8_t* out = page.rgb.data() + size_t(y) * size_t(w) * 3;
        if (plain) {
            for (int64_t i = 0; i < w * channels; ++i) {
                int64_t v;
                if (bitmap) {
                    int b = std::fgetc(f);
                    while (b != EOF && (std::isspace(b) || b == '#')) {
                        if (b == '#')
                            while (b != EOF && b != '\n') b = std::fgetc(f);
                        b = std::fgetc(f);
                    }
                    v = b == '0' ? 1 : b == '1' ? 0 : -1;  // 1 is black
                } else {
                    v = headerNumber(f);
                    if (v > maxval) v = -1;
                }
                if (v < 0) {
                    error = "damaged or truncated PNM data";
                    return false;
                }
                const uint8_t level = uint8_t(v * 255 / maxval);
                if (channels == 3) {
                    out[i] = level;
                } else {
                    out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = level;
                }
            }
            continue;
        }
        if (std::fread(row.data(), 1, row.size(), f) != row.size()) {
            error = "truncated PNM data";
            return false;
        }
        for (int64_t x = 0; x < w; ++x) {
            for (int ch = 0; ch < channels; ++ch) {
                uint8_t level;
                if (bitmap) {
                    level = (row[size_t(x / 8)] >> (7 - x % 8) & 1) ? 0 : 255;
                } else {
                    const size_t at = size_t(x * channels + ch) * size_t(bytes);
                    const int64_t v = bytes == 2 ? (row[at] << 8 | row[at + 1]) : row[at];
                    level = uint8_t(std::min<int64_t>(v, maxval) * 255 / maxval);
                }
                if (channels == 3) {
                    out[3 * x + ch] = level;
                } else {
                    out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = level;
                }
            }
        }
    }
    return true;
}

std::unique_ptr<PageSource> openPnm(const std::string& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = path + ": cannot be opened";
        return nullptr;
    }
    return std::make_unique<PnmPages>(path, f);
}

}  // namespace kzprint
