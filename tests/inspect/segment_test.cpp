// Data segments: PackBits decoding, where a segment ends, and where its dots land.
#include "stream_reader/segment.h"

#include <gtest/gtest.h>

#include <vector>

#include "stream_builder.h"

namespace {

using kzinspect::ErrorKind;
using kztest::ByteVector;
using kztest::operator+;
using kztest::kEnd;

ByteVector repeat(size_t count, uint8_t value) {
    return ByteVector(count, value);
}

ByteVector distinct(size_t count) {
    ByteVector out(count);
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(i + 1);
    return out;
}

struct DecodeCase {
    const char* name;
    ByteVector codes;  // the segment's codes, without the terminator
    ByteVector decoded;
};

TEST(Segments, PackBitsCodesDecodeToTheirBytes) {
    const ByteVector d126 = distinct(126);
    const ByteVector d125 = distinct(125);
    const ByteVector d128 = distinct(128);
    const ByteVector d129 = distinct(129);
    const std::vector<DecodeCase> cases = {
        {"empty segment", {}, {}},
        {"one byte", {0x00, 0x41}, {0x41}},
        {"pair", {0xFF, 0x41}, {0x41, 0x41}},
        {"three", {0xFE, 0x41}, repeat(3, 0x41)},
        {"128 equal", {0x81, 0x41}, repeat(128, 0x41)},
        {"129 equal", {0x81, 0x41, 0x00, 0x41}, repeat(129, 0x41)},
        {"130 equal", {0x81, 0x41, 0xFF, 0x41}, repeat(130, 0x41)},
        {"300 zeros", {0x81, 0x00, 0x81, 0x00, 0xD5, 0x00}, repeat(300, 0)},
        {"two different", {0x01, 0x41, 0x42}, {0x41, 0x42}},
        {"pair inside a literal", {0x03, 0x41, 0x42, 0x42, 0x43}, {0x41, 0x42, 0x42, 0x43}},
        {"pair then single", {0xFF, 0x41, 0x00, 0x42}, {0x41, 0x41, 0x42}},
        {"128 different", ByteVector{0x7F} + d128, d128},
        {"129 different", ByteVector{0x7F} + d128 + ByteVector{0x00, 129}, d129},
        {"126 different then a pair", ByteVector{0x7D} + d126 + ByteVector{0x01, 0x58, 0x58},
         d126 + ByteVector{0x58, 0x58}},
        {"125 different and a pair in one literal",
         ByteVector{0x7E} + d125 + ByteVector{0x58, 0x58}, d125 + ByteVector{0x58, 0x58}},
        // The terminator's bytes inside a literal or as a repeated value are data.
        {"E2 00 80 inside a literal", {0x02, 0xE2, 0x00, 0x80}, {0xE2, 0x00, 0x80}},
        {"E2 00 is 31 zeros", {0xE2, 0x00}, repeat(31, 0)},
        {"repeat of E2", {0xFE, 0xE2}, repeat(3, 0xE2)},
        {"repeat then literal starting 80",
         {0xE2, 0x00, 0x00, 0x80},
         repeat(31, 0) + ByteVector{0x80}},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Two segments back to back: the first must stop exactly at its terminator.
        const ByteVector body = c.codes + kEnd + ByteVector{0x00, 0x7E} + kEnd;
        std::vector<uint8_t> out;
        size_t next = 0;
        kzinspect::Error error;
        ASSERT_TRUE(kzinspect::decodeSegment(body, 0, 100, 4096, out, next, error))
            << error.message;
        EXPECT_EQ(out, c.decoded);
        EXPECT_EQ(next, c.codes.size() + 3);
        ASSERT_TRUE(kzinspect::decodeSegment(body, next, 100, 4096, out, next, error));
        EXPECT_EQ(out, ByteVector{0x7E});
        EXPECT_EQ(next, body.size());
    }
}

struct BadSegment {
    const char* name;
    ByteVector body;
    size_t limit;
    ErrorKind kind;
    size_t offset;  // within the body; the body starts at stream offset 100
};

TEST(Segments, MalformedSegmentsAreRejectedAtTheirCode) {
    const std::vector<BadSegment> cases = {
        {"header 0x80", ByteVector{0x00, 0x41, 0x80, 0x41} + kEnd, 512, ErrorKind::PackBits80, 2},
        {"repeat past the block", ByteVector{0x81, 0x00, 0xFF, 0x00} + kEnd, 129,
         ErrorKind::SegmentOverrun, 2},
        {"literal past the block", ByteVector{0x03, 1, 2, 3, 4} + kEnd, 3,
         ErrorKind::SegmentOverrun, 0},
        {"no terminator", {0x00, 0x41}, 512, ErrorKind::SegmentUnterminated, 2},
        {"empty block command", {}, 512, ErrorKind::SegmentUnterminated, 0},
        {"terminator cut short", {0xE2, 0x00}, 512, ErrorKind::SegmentUnterminated, 2},
        {"literal runs past the command", {0x05, 1, 2}, 512, ErrorKind::SegmentUnterminated, 0},
        {"repeat without its value", {0x00, 0x41, 0xFE}, 512, ErrorKind::SegmentUnterminated, 2},
    };
    for (const BadSegment& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> out;
        size_t next = 0;
        kzinspect::Error error;
        ASSERT_FALSE(kzinspect::decodeSegment(c.body, 0, 100, c.limit, out, next, error));
        EXPECT_EQ(kzinspect::errorKindName(error.kind), kzinspect::errorKindName(c.kind));
        EXPECT_EQ(error.offset, 100 + c.offset) << error.message;
    }
}

struct DotCase {
    const char* name;
    bool backward;
    int block;
    size_t byte;  // within the block's data
    uint8_t value;
    std::vector<size_t> columns;  // in firing order: from the left forward, from the right backward
};

TEST(Segments, DotsLandInTheirColumns) {
    // 64 nozzles: two 16-nozzle words per column, column groups of 64 bytes.
    const int groupBytes = 64;
    const std::vector<DotCase> cases = {
        {"forward, first byte, leftmost pixel", false, 0, 0, 0x80, {0}},
        {"forward, first byte, last pixel", false, 0, 0, 0x01, {7}},
        {"forward, second byte holds pixels 8 to 15", false, 0, 1, 0x81, {8, 15}},
        {"forward, another nozzle, same columns", false, 0, 62, 0xC0, {0, 1}},
        {"forward, second group", false, 0, 64, 0x80, {16}},
        {"forward, last group of a block", false, 0, 7 * 64 + 1, 0x01, {127}},
        {"forward, second block", false, 1, 0, 0x80, {128}},
        {"backward, bit 0 is the rightmost pixel", true, 0, 0, 0x01, {0}},
        {"backward, bit 7 of the first byte", true, 0, 0, 0x80, {7}},
        {"backward, second byte", true, 0, 1, 0x81, {8, 15}},
        {"backward, second group", true, 0, 64, 0x01, {16}},
        {"backward, third block", true, 2, 3 * 64, 0x02, {2 * 128 + 3 * 16 + 1}},
    };
    for (const DotCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> data(8 * groupBytes, 0);
        data[c.byte] = c.value;
        std::vector<uint32_t> histogram(3 * 128, 0);
        const uint64_t dots = kzinspect::addDots(data, c.block, groupBytes, c.backward, histogram);
        EXPECT_EQ(dots, c.columns.size());
        std::vector<size_t> fired;
        for (size_t i = 0; i < histogram.size(); ++i) {
            for (uint32_t n = 0; n < histogram[i]; ++n) fired.push_back(i);
        }
        EXPECT_EQ(fired, c.columns);
    }
}

TEST(Segments, DotsBeyondTheHistogramAreCountedButNotPlaced) {
    std::vector<uint8_t> data(64, 0xFF);
    std::vector<uint32_t> histogram(8, 0);
    EXPECT_EQ(kzinspect::addDots(data, 0, 64, false, histogram), 64u * 8);
    for (uint32_t n : histogram) EXPECT_EQ(n, 32u);  // 32 nozzle words per column
}

}  // namespace
