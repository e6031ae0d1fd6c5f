#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "command/compression.h"
#include "compression/reference.h"

namespace {

using ref::Bytes;

struct Span {
    uint16_t start, count;
    bool operator==(const Span&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Span& s) {
    return os << "{" << s.start << ", " << s.count << "}";
}

TEST(SearchEdge, TrimsToTheInkedPixels) {
    struct Row {
        Bytes line;
        int16_t bits;
        Span in, want;
    };
    const std::vector<Row> rows = {
        {{0x00, 0x3C, 0x00}, 1, {0, 24}, {10, 4}},
        {{0x00, 0x3C, 0x00}, 1, {12, 12}, {12, 2}},
        {{0x00, 0x00, 0x00}, 1, {0, 24}, {0, 0}},
        {{0x00, 0x00, 0x00}, 1, {5, 11}, {5, 0}},   // no ink: start stays
        {{0x00, 0x3C, 0x00}, 1, {10, 0}, {10, 0}},  // empty span
        {{0x00, 0x3C, 0x00}, 1, {11, 1}, {11, 1}},  // one pixel inside a byte
        {{0x00, 0x3C, 0x00}, 1, {14, 2}, {14, 0}},  // blank end of an inked byte
        {{0x00, 0x3C, 0x00}, 2, {4, 4}, {5, 2}},    // 0x3C at 2 bits: pixels 5, 6
        {{0x0F, 0x00, 0xF0}, 4, {1, 4}, {1, 4}},
        {{0x0F, 0x00, 0xF0}, 4, {0, 6}, {1, 4}},
        {{0x00, 0x01, 0x00, 0x02}, 8, {0, 4}, {1, 3}},
    };
    for (const Row& r : rows) {
        Span got = r.in;
        ASSERT_EQ(search_edge(r.line.data(), r.bits, &got.start, &got.count), 0);
        EXPECT_EQ(got, r.want) << "span " << r.in << " at " << r.bits << " bits";
    }
}

struct ByteSpan {
    uint16_t start, count;
    uint8_t first, last;
    bool operator==(const ByteSpan&) const = default;
};

std::ostream& operator<<(std::ostream& os, const ByteSpan& s) {
    return os << "{" << s.start << ", " << s.count << ", " << int(s.first) << ", " << int(s.last)
              << "}";
}

TEST(PixelRaster2ByteRaster, GivesBytesAndMaskedEdges) {
    struct Row {
        Bytes line;
        int16_t bits;
        Span in;
        ByteSpan want;
    };
    const std::vector<Row> rows = {
        {{0x00, 0x3C, 0x00}, 1, {0, 24}, {1, 0, 0x3C, 0x00}},
        {{0xFF, 0xFF, 0xFF}, 1, {4, 16}, {0, 1, 0x0F, 0xF0}},
        {{0x00, 0x00, 0x00}, 1, {3, 20}, {0, 0, 0x00, 0x00}},  // no ink
        {{0xFF, 0xFF, 0xFF}, 1, {8, 8}, {1, 0, 0xFF, 0x00}},   // exactly one byte
        {{0xFF, 0xFF, 0xFF}, 1, {8, 16}, {1, 1, 0xFF, 0x00}},  // ends on a boundary
        {{0xFF, 0xFF, 0xFF}, 2, {1, 2}, {0, 0, 0x3C, 0x00}},   // within one byte
        {{0xFF, 0xFF, 0xFF}, 4, {1, 4}, {0, 1, 0x0F, 0xF0}},
        {{0x00, 0x12, 0x34, 0x56}, 8, {0, 4}, {1, 2, 0x12, 0x00}},
    };
    for (const Row& r : rows) {
        ByteSpan got{r.in.start, r.in.count, 0xEE, 0xEE};
        uint8_t edges[2] = {0xEE, 0xEE};
        ASSERT_EQ(PixelRaster2ByteRaster(r.line.data(), r.bits, &got.start, &got.count, edges), 0);
        got.first = edges[0];
        got.last = edges[1];
        EXPECT_EQ(got, r.want) << "span " << r.in << " at " << r.bits << " bits";
    }
}

TEST(EdgeSearch, RefusesBadArgumentsWithoutWriting) {
    const Bytes line(64, 0xFF);
    struct Bad {
        const char* name;
        bool nullLine, nullStart, nullCount, nullEdges;
        int16_t bits;
        uint16_t start, count;
    };
    const std::vector<Bad> bad = {
        {"null line", true, false, false, false, 1, 0, 8},
        {"null start", false, true, false, false, 1, 0, 8},
        {"null count", false, false, true, false, 1, 0, 8},
        {"3 bits", false, false, false, false, 3, 0, 8},
        {"0 bits", false, false, false, false, 0, 0, 8},
        {"16 bits", false, false, false, false, 16, 0, 8},
        {"-1 bits", false, false, false, false, -1, 0, 8},
        {"negative start", false, false, false, false, 1, 0x8000, 8},
        {"negative count", false, false, false, false, 1, 0, 0xFFFF},
        {"negative end", false, false, false, false, 1, 0x4000, 0x4000},
    };
    for (const Bad& b : bad) {
        uint16_t start = b.start, count = b.count;
        const uint8_t* l = b.nullLine ? nullptr : line.data();
        uint16_t* ps = b.nullStart ? nullptr : &start;
        uint16_t* pc = b.nullCount ? nullptr : &count;
        EXPECT_EQ(search_edge(l, b.bits, ps, pc), -1) << b.name;
        EXPECT_EQ(start, b.start) << b.name;
        EXPECT_EQ(count, b.count) << b.name;
        uint8_t edges[2] = {0xEE, 0xEE};
        EXPECT_EQ(PixelRaster2ByteRaster(l, b.bits, ps, pc, edges), -1) << b.name;
        EXPECT_EQ(start, b.start) << b.name;
        EXPECT_EQ(count, b.count) << b.name;
        // Given pointers, the edge bytes are cleared before anything is checked.
        const uint8_t cleared = b.nullLine || b.nullStart || b.nullCount ? 0xEE : 0;
        EXPECT_EQ(edges[0], cleared) << b.name;
        EXPECT_EQ(edges[1], cleared) << b.name;
    }
    uint16_t start = 0, count = 8;
    EXPECT_EQ(PixelRaster2ByteRaster(line.data(), 1, &start, &count, nullptr), -1);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(count, 8);
}

// A line of random shape: blank, sparse dots in long blank stretches, or dense.
Bytes randomLine(std::mt19937& rng, size_t n) {
    Bytes line(n, 0);
    switch (rng() % 4) {
        case 0:
            break;
        case 1:
        case 2:
            for (int dots = static_cast<int>(rng() % 4); dots > 0; --dots) {
                line[rng() % n] = static_cast<uint8_t>(1u << (rng() % 8));
            }
            break;
        default:
            for (uint8_t& b : line) b = static_cast<uint8_t>(rng() % 3 == 0 ? rng() : 0);
    }
    return line;
}

// The span's pixels kept, every other pixel cleared, as bytes [from, to).
Bytes maskedBytes(const Bytes& line, int bits, int s, int e, int from, int to) {
    const int perByte = 8 / bits;
    Bytes out(to - from, 0);
    for (int x = s; x < e; ++x) {
        const int shift = 8 - bits * (x % perByte + 1);
        out[x / perByte - from] |= static_cast<uint8_t>(ref::pixel(line.data(), bits, x) << shift);
    }
    return out;
}

// Both searches against a pixel-by-pixel reference, with the line's bytes
// outside the span made unreadable on either side in turn.
TEST(EdgeSearch, MatchesPixelReferenceWithoutReadingOutsideTheSpan) {
    std::mt19937 rng(7);
    ref::GuardedArena arena(32768);
    ASSERT_TRUE(arena.ok());
    for (int bits : {1, 2, 4, 8}) {
        const int perByte = 8 / bits;
        for (int round = 0; round < 4000; ++round) {
            const size_t n = 1 + (round % 10 == 0 ? rng() % 4096 : rng() % 300);
            const Bytes line = randomLine(rng, n);
            const int pixels = static_cast<int>(std::min<size_t>(n * perByte, 32767));
            const int s = static_cast<int>(rng() % (pixels + 1));
            const int e = s + static_cast<int>(rng() % (pixels - s + 1));
            const size_t lo = s / perByte, hi = (e + perByte - 1) / perByte;
            const ref::Ink ink = ref::findInk(line.data(), bits, s, e);
            const Span want = ink.first < 0
                                  ? Span{uint16_t(s), 0}
                                  : Span{uint16_t(ink.first), uint16_t(ink.last + 1 - ink.first)};
            for (bool front : {false, true}) {
                const uint8_t* guarded = front ? arena.placeAtFront(line.data(), lo, hi)
                                               : arena.place(line.data(), lo, hi);
                const auto where = testing::Message() << bits << " bits, span [" << s << ", " << e
                                                      << ") of " << n << " bytes";
                Span got{uint16_t(s), uint16_t(e - s)};
                ASSERT_EQ(search_edge(guarded, bits, &got.start, &got.count), 0) << where;
                ASSERT_EQ(got, want) << where;

                ByteSpan bytes{uint16_t(s), uint16_t(e - s), 0xEE, 0xEE};
                uint8_t edges[2];
                ASSERT_EQ(PixelRaster2ByteRaster(guarded, bits, &bytes.start, &bytes.count, edges),
                          0)
                    << where;
                if (ink.first < 0) {
                    ASSERT_EQ((ByteSpan{bytes.start, bytes.count, edges[0], edges[1]}),
                              (ByteSpan{0, 0, 0, 0}))
                        << where;
                    continue;
                }
                // Rebuild the stored bytes as raster intake does and compare
                // them with the inked span, masked.
                const int is = ink.first, ie = ink.last + 1;
                const int from = is / perByte, to = (ie + perByte - 1) / perByte;
                ASSERT_EQ(bytes.start, from) << where;
                Bytes stored = {edges[0]};
                stored.insert(stored.end(), line.begin() + from + 1,
                              line.begin() + from + 1 + bytes.count);
                if (edges[1] != 0) stored.push_back(edges[1]);
                ASSERT_EQ(stored, maskedBytes(line, bits, is, ie, from, to)) << where;
            }
        }
    }
}

}  // namespace
