#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "command/compression.h"
#include "compression/reference.h"

namespace {

using ref::Bytes;

Bytes repeat(size_t n, uint8_t c) {
    return Bytes(n, c);
}

// n bytes in which no two neighbours are equal and none is 0x58.
Bytes distinct(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(0x80 + i % 100);
    return b;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Compresses through the library into a buffer of exactly 2 × size plus
// canaries, which must stay untouched.
Bytes compress(const Bytes& in) {
    Bytes out(2 * in.size() + 16, 0xEE);
    const int16_t n = packbits(out.data(), in.data(), static_cast<int32_t>(in.size()));
    EXPECT_GE(n, 0);
    for (size_t i = 2 * in.size(); i < out.size(); ++i)
        EXPECT_EQ(out[i], 0xEE) << "wrote past 2 × length";
    out.resize(std::max<int16_t>(n, 0));
    return out;
}

struct Case {
    std::string name;
    Bytes in;
    Bytes want;
};

TEST(Packbits, EncodesRunsLiteralsAndTheirLimits) {
    const Bytes d126 = distinct(126), d125 = distinct(125), d128 = distinct(128),
                d129 = distinct(129);
    const std::vector<Case> cases = {
        {"empty", {}, {}},
        {"one byte", {0x41}, {0x00, 0x41}},
        {"pair", {0x41, 0x41}, {0xFF, 0x41}},
        {"triple", {0x41, 0x41, 0x41}, {0xFE, 0x41}},
        {"run of 128", repeat(128, 0x41), {0x81, 0x41}},
        {"run of 129", repeat(129, 0x41), {0x81, 0x41, 0x00, 0x41}},
        {"run of 130", repeat(130, 0x41), {0x81, 0x41, 0xFF, 0x41}},
        {"300 zeros", repeat(300, 0), {0x81, 0, 0x81, 0, 0xD5, 0}},
        {"two singles", {0x41, 0x42}, {0x01, 0x41, 0x42}},
        {"pair joins literal", {0x41, 0x42, 0x42, 0x43}, {0x03, 0x41, 0x42, 0x42, 0x43}},
        {"pair then single", {0x41, 0x41, 0x42}, {0xFF, 0x41, 0x00, 0x42}},
        {"triple closes literal",
         {0x41, 0x42, 0x42, 0x42, 0x43},
         {0x00, 0x41, 0xFE, 0x42, 0x00, 0x43}},
        {"128 singles", d128, cat({{0x7F}, d128})},
        {"129 singles", d129, cat({{0x7F}, d128, {0x00, d129.back()}})},
        {"pair after 126", cat({d126, {0x58, 0x58}}), cat({{0x7D}, d126, {0x01, 0x58, 0x58}})},
        {"pair after 125", cat({d125, {0x58, 0x58}}), cat({{0x7E}, d125, {0x58, 0x58}})},
        {"pair after 127", cat({distinct(127), {0x58, 0x58}}),
         cat({{0x7E}, distinct(127), {0x01, 0x58, 0x58}})},
        {"pair after a full literal", cat({d128, {0x58, 0x58}}), cat({{0x7F}, d128, {0xFF, 0x58}})},
        {"literal after run of 129 grows", cat({repeat(129, 7), {1, 2}}), {0x81, 7, 0x02, 7, 1, 2}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(compress(c.in), c.want) << c.name;
        EXPECT_EQ(ref::packbits(c.in), c.want) << c.name << " (test reference)";
    }
}

TEST(Packbits, RefusesBadArgumentsWithoutWriting) {
    const Bytes in(70000, 1);
    struct Bad {
        const char* name;
        bool nullOut, nullIn;
        int32_t length;
    };
    for (const Bad& b : {Bad{"null out", true, false, 5}, Bad{"null in", false, true, 5},
                         Bad{"negative length", false, false, -1},
                         Bad{"length above 16 bits", false, false, 65536}}) {
        Bytes out(16, 0xEE);
        EXPECT_EQ(
            packbits(b.nullOut ? nullptr : out.data(), b.nullIn ? nullptr : in.data(), b.length),
            -1)
            << b.name;
        EXPECT_EQ(out, Bytes(16, 0xEE)) << b.name;
    }
    EXPECT_EQ(packbits(nullptr, nullptr, 0), 0) << "nothing to compress";
}

TEST(Packbits, LongInputsReportTheirSizeOrFail) {
    // 65535 zeros: 511 repeat codes of 128 and one of 127.
    Bytes out(2 * 65535);
    const Bytes zeros(65535, 0);
    ASSERT_EQ(packbits(out.data(), zeros.data(), 65535), 1024);
    EXPECT_EQ(out[1022], 0x82);
    // Incompressible input just under the limit still reports its size.
    const Bytes mid = distinct(32000);
    EXPECT_EQ(packbits(out.data(), mid.data(), 32000), 32000 + 250);
    // Above 32767 output bytes the 16-bit count cannot hold the size.
    const Bytes big = distinct(65535);
    EXPECT_EQ(packbits(out.data(), big.data(), 65535), -1);
}

// Random inputs built from runs whose lengths straddle every boundary of the
// rules: singles, pairs, literals of about 126 bytes, runs of about 128.
Bytes shapedInput(std::mt19937& rng, size_t n) {
    Bytes b;
    uint8_t value = 0;
    const int alphabet = 1 + static_cast<int>(rng() % 4) * 85;  // 1, 86, 171 or 256 values
    auto next = [&] {  // a value unlike the previous one, when the alphabet allows
        uint8_t v = static_cast<uint8_t>(rng() % alphabet);
        while (v == value && alphabet > 1) v = static_cast<uint8_t>(rng() % alphabet);
        return value = v;
    };
    while (b.size() < n) {
        const unsigned pick = rng() % 100;
        size_t run = 1;
        if (pick < 40) {
            run = 1;
        } else if (pick < 60) {
            run = 2;
        } else if (pick < 70) {
            run = 3 + rng() % 6;
        } else if (pick < 80) {
            run = 124 + rng() % 9;
        } else if (pick < 85) {
            run = 250 + rng() % 10;
        } else if (pick < 92) {
            run = 1 + rng() % 400;
        } else {  // a stretch of singles ending in a pair
            const size_t singles = 120 + rng() % 10;
            for (size_t i = 0; i < singles && b.size() < n; ++i) b.push_back(next());
            run = 2;
        }
        const uint8_t c = next();
        for (size_t i = 0; i < run && b.size() < n; ++i) b.push_back(c);
    }
    return b;
}

TEST(Packbits, MatchesTheRulesAndRoundTripsAtEveryLength) {
    std::mt19937 rng(20240613);
    ref::GuardedArena arena(4096);
    ASSERT_TRUE(arena.ok());
    Bytes out(2 * 4096);
    for (size_t n = 0; n <= 4096; ++n) {
        const Bytes in = shapedInput(rng, n);
        // The input ends at an inaccessible page: no read past its end.
        const uint8_t* guarded = arena.place(in.data(), 0, n);
        const int16_t got = packbits(out.data(), guarded, static_cast<int32_t>(n));
        ASSERT_GE(got, 0) << "length " << n;
        ASSERT_LE(static_cast<size_t>(got), 2 * n) << "length " << n;
        const Bytes packed(out.begin(), out.begin() + got);
        ASSERT_EQ(packed, ref::packbits(in)) << "length " << n;
        bool ok = false;
        ASSERT_EQ(ref::unpack(packed.data(), packed.size(), &ok), in) << "length " << n;
        ASSERT_TRUE(ok) << "length " << n;
    }
}

TEST(LeftPack, WritesRunsOfZeros) {
    struct Row {
        int16_t zeros;
        Bytes want;
    };
    for (const Row& r :
         {Row{1, {0x00, 0x00}}, Row{2, {0xFF, 0x00}}, Row{3, {0xFE, 0x00}}, Row{128, {0x81, 0x00}},
          Row{129, {0x81, 0x00, 0x00, 0x00}}, Row{300, {0x81, 0, 0x81, 0, 0xD5, 0}}, Row{0, {}}}) {
        Bytes out(8, 0xEE);
        const int16_t n = LeftPack(out.data(), r.zeros);
        ASSERT_EQ(n, static_cast<int16_t>(r.want.size())) << r.zeros << " zeros";
        EXPECT_EQ(Bytes(out.begin(), out.begin() + n), r.want) << r.zeros << " zeros";
        EXPECT_EQ(out[n], 0xEE) << r.zeros << " zeros";
    }
}

TEST(LeftPack, EncodesAsPackbitsDoes) {
    Bytes out(2 * 32767), viaPackbits(2 * 32767);
    for (int zeros = 1; zeros <= 32767; zeros += (zeros < 1100 ? 1 : 997)) {
        const Bytes in(zeros, 0);
        const int16_t n = LeftPack(out.data(), static_cast<int16_t>(zeros));
        ASSERT_EQ(n, packbits(viaPackbits.data(), in.data(), zeros)) << zeros;
        ASSERT_TRUE(std::equal(out.begin(), out.begin() + n, viaPackbits.begin())) << zeros;
    }
}

TEST(LeftPack, RefusesBadArgumentsWithoutWriting) {
    Bytes out(4, 0xEE);
    EXPECT_EQ(LeftPack(out.data(), -1), -1);
    EXPECT_EQ(LeftPack(out.data(), INT16_MIN), -1);
    EXPECT_EQ(LeftPack(nullptr, 5), -1);
    EXPECT_EQ(LeftPack(nullptr, 0), 0);
    EXPECT_EQ(out, Bytes(4, 0xEE));
}

}  // namespace
