// Hand-built command streams for the inspector's tests. Everything here is
// written out byte by byte; nothing comes from the library's encoder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace kztest {

using ByteVector = std::vector<uint8_t>;

inline ByteVector operator+(ByteVector a, const ByteVector& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline ByteVector cut(ByteVector bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

inline ByteVector le16(int value) {
    return {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>((value >> 8) & 0xFF)};
}

inline ByteVector frame(uint8_t cls, char letter, const ByteVector& body = {}) {
    ByteVector out = {0x1B, '(', 'z'};
    out = out + le16(static_cast<int>(body.size()) + 5);
    out = out + ByteVector{0x24, 0x70, 0x00, cls, static_cast<uint8_t>(letter)};
    return out + body;
}

// The page set-up of a colour page with margins: quality index 2 unless
// `lowResolution`, which announces 300 and quality 0.
inline ByteVector pageSetup(bool lowResolution = false) {
    return frame(0, 'H') + frame(1, 'a', {0x01}) +
           frame(1, 'd',
                 lowResolution ? ByteVector{0xB0, 0x04, 0x2C, 0x01}
                               : ByteVector{0xB0, 0x04, 0x58, 0x02}) +
           frame(1, 'h', {0x00, 0x07, 0x00, uint8_t(lowResolution ? 0 : 2), 0x03, 0x01, 0x00}) +
           frame(1, 'b', {0x00}) + frame(1, 'r', {0x80, 0x00}) + frame(1, 'f', {0x00});
}

inline ByteVector scanInfo(int start, int end, int blocks, uint8_t color = 0, uint8_t flag = 0) {
    return frame(1, 'o',
                 le16(start) + le16(end) +
                     ByteVector{0x01, color, 2, 2, static_cast<uint8_t>(blocks), flag});
}

// A page's feed: "m" for its first, "n" after; `amount` in half raster lines.
inline ByteVector feed(char letter, int amount) {
    return frame(2, letter, le16(amount) + ByteVector{0x00});
}

// The two nozzle columns of one ink, parity 0 then 1.
inline ByteVector nozzlePair(int ink, int rows, int nozzleField = 0) {
    return frame(1, 'p', {uint8_t(0x10 | ink), uint8_t(nozzleField), uint8_t(rows)}) +
           frame(1, 'p', {uint8_t(0x20 | ink), uint8_t(nozzleField), uint8_t(rows)});
}

inline const ByteVector kEnd = {0xE2, 0x00, 0x80};

// PackBits of `data` as plain literal runs of up to 128 bytes.
inline ByteVector literals(const ByteVector& data) {
    ByteVector out;
    for (size_t at = 0; at < data.size(); at += 128) {
        const size_t n = std::min<size_t>(128, data.size() - at);
        out.push_back(static_cast<uint8_t>(n - 1));
        out.insert(out.end(), data.begin() + at, data.begin() + at + n);
    }
    return out;
}

// A data block command from already-encoded segments, each closed with E2 00 80.
inline ByteVector dataBlock(std::initializer_list<ByteVector> segments) {
    ByteVector body;
    for (const ByteVector& s : segments) body = body + s + kEnd;
    return frame(2, 's', body);
}

}  // namespace kztest
