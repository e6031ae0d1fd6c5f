#include "frontend/input/pnm.h"

#include <algorithm>
#include <cctype>

#include "frontend/limits.h"

namespace kzfront::input {
namespace {

// The next character after white space and comments.
int skipSpace(std::FILE* f) {
    int c = std::fgetc(f);
    while (c != EOF && (std::isspace(c) || c == '#')) {
        if (c == '#')
            while (c != EOF && c != '\n') c = std::fgetc(f);
        c = std::fgetc(f);
    }
    return c;
}

// The next decimal number; -1 when there is none, -2 when it is too long.
int64_t number(std::FILE* f) {
    int c = skipSpace(f);
    if (c == EOF || !std::isdigit(c)) return -1;
    int64_t v = 0;
    while (c != EOF && std::isdigit(c)) {
        v = v * 10 + (c - '0');
        if (v > 1'000'000'000) return -2;
        c = std::fgetc(f);
    }
    return v;  // the white-space character after the number is consumed
}

}  // namespace

bool readPnmHeader(std::FILE* f, PnmHeader& header, bool& end, std::string& error) {
    end = false;
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
    const bool bitmap = kind == 1 || kind == 4;
    const int64_t w = number(f), h = number(f), maxval = bitmap ? 1 : number(f);
    if (w == -1 || h == -1 || maxval == -1) {
        error = std::feof(f) ? "the PNM header ends early" : "damaged PNM header";
        return false;
    }
    if (w < 1 || h < 1 || maxval < 1 || maxval > 65535) {
        error = "damaged PNM header (" + std::to_string(w) + " x " + std::to_string(h) + ", maxval " +
                std::to_string(maxval) + ")";
        return false;
    }
    if (w > kMaxInputSide || h > kMaxInputSide || w * h > kMaxInputPixels) {
        error = tooLargeToPrint(w, h);
        return false;
    }
    header.kind = kind;
    header.width = int32_t(w);
    header.height = int32_t(h);
    header.maxval = int32_t(maxval);
    return true;
}

bool readPnmRow(std::FILE* f, const PnmHeader& h, std::vector<uint8_t>& scratch, uint8_t* out, std::string& error) {
    const bool bitmap = h.kind == 1 || h.kind == 4, plain = h.kind <= 3;
    const int channels = h.kind == 3 || h.kind == 6 ? 3 : 1;
    const int64_t samples = int64_t(h.width) * channels;
    if (plain) {
        for (int64_t i = 0; i < samples; ++i) {
            int64_t v;
            if (bitmap) {
                const int b = skipSpace(f);
                v = b == '0' ? 1 : b == '1' ? 0 : -1;  // 1 is black
            } else {
                v = number(f);
                if (v > h.maxval) v = -1;
            }
            if (v < 0) {
                error = std::feof(f) ? "the PNM data ends early" : "damaged PNM data";
                return false;
            }
            out[i] = uint8_t(v * 255 / h.maxval);
        }
        return true;
    }
    const int bytes = h.maxval > 255 ? 2 : 1;
    scratch.resize(bitmap ? size_t(h.width + 7) / 8 : size_t(samples) * size_t(bytes));
    if (std::fread(scratch.data(), 1, scratch.size(), f) != scratch.size()) {
        error = "the PNM data ends early";
        return false;
    }
    if (bitmap) {
        for (int32_t x = 0; x < h.width; ++x) out[x] = (scratch[size_t(x / 8)] >> (7 - x % 8) & 1) ? 0 : 255;
        return true;
    }
    for (int64_t i = 0; i < samples; ++i) {
        const int64_t v = bytes == 2 ? (scratch[size_t(2 * i)] << 8 | scratch[size_t(2 * i + 1)]) : scratch[size_t(i)];
        out[i] = uint8_t(std::min<int64_t>(v, h.maxval) * 255 / h.maxval);
    }
    return true;
}

}  // namespace kzfront::input
