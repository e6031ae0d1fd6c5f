// Frames and command bodies, decoded field by field from hand-written bytes.
#include "stream_reader/command.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "stream_reader/frame.h"
#include "stream_builder.h"

namespace {

using kzinspect::ErrorKind;
using kztest::ByteVector;
using kztest::operator+;
using kztest::cut;
using kztest::frame;

struct FieldCase {
    const char* name;
    ByteVector bytes;  // one whole frame
    char letter;
    int cls;
    std::vector<std::pair<std::string, int64_t>> fields;
};

const std::vector<FieldCase>& fieldCases() {
    static const std::vector<FieldCase> cases = {
        {"page start", {0x1B, 0x28, 0x7A, 0x05, 0x00, 0x24, 0x70, 0x00, 0x00, 0x48}, 'H', 0, {}},
        {"page end", {0x1B, 0x28, 0x7A, 0x05, 0x00, 0x24, 0x70, 0x00, 0x00, 0x4E}, 'N', 0, {}},
        {"settings of a colour page, media 7, quality 2",
         {0x1B, 0x28, 0x7A, 0x0C, 0x00, 0x24, 0x70, 0x00, 0x01, 0x68, 0x00, 0x07, 0x00, 0x02, 0x03,
          0x01, 0x00},
         'h',
         1,
         {{"ink_mode", 0},
          {"media", 7},
          {"borderless", 0},
          {"quality", 2},
          {"scan_delay", 3},
          {"page_delay", 1},
          {"mode_flag", 0}}},
        {"borderless settings",
         frame(1, 'h', {0x02, 0x07, 0x80, 0x03, 0x00, 0x00, 0x01}),
         'h',
         1,
         {{"ink_mode", 2},
          {"media", 7},
          {"borderless", 1},
          {"quality", 3},
          {"scan_delay", 0},
          {"page_delay", 0},
          {"mode_flag", 1}}},
        {"resolution, quality index 0",
         frame(1, 'd', {0xB0, 0x04, 0x2C, 0x01}),
         'd',
         1,
         {{"resolution", 1200}, {"resolution2", 300}}},
        {"resolution, other qualities",
         frame(1, 'd', {0xB0, 0x04, 0x58, 0x02}),
         'd',
         1,
         {{"resolution", 1200}, {"resolution2", 600}}},
        {"block width",
         {0x1B, 0x28, 0x7A, 0x07, 0x00, 0x24, 0x70, 0x00, 0x01, 0x72, 0x80, 0x00},
         'r',
         1,
         {{"block_width", 128}}},
        {"first feed of 300 half lines",
         {0x1B, 0x28, 0x7A, 0x08, 0x00, 0x24, 0x70, 0x00, 0x02, 0x6D, 0x2C, 0x01, 0x00},
         'm',
         2,
         {{"feed", 300}}},
        {"later feed of 96", frame(2, 'n', {0x60, 0x00, 0x00}), 'n', 2, {{"feed", 96}}},
        {"kick-off at 13534 + 352",
         frame(0, 'x', {0x3E, 0x36, 0x00, 0x00}),
         'x',
         0,
         {{"kick_off", 13886}}},
        {"setting a", frame(1, 'a', {0x01}), 'a', 1, {{"value", 1}}},
        {"paper loading", frame(1, 'f', {0x02}), 'f', 1, {{"paper_loading", 2}}},
        {"forward scan, left 100, right 1000, d 4",
         frame(1, 'o', {0x60, 0x00, 0xEF, 0x03, 0x05, 0x01, 0x02, 0x02, 0x08, 0x00}),
         'o',
         1,
         {{"start", 96},
          {"end", 1007},
          {"speed", 5},
          {"color", 1},
          {"pass1", 2},
          {"pass2", 2},
          {"blocks", 8},
          {"flag", 0}}},
        {"backward scan of the same extent",
         frame(1, 'o', {0xF7, 0x03, 0x60, 0x00, 0x05, 0x00, 0x00, 0x04, 0x08, 0x01}),
         'o',
         1,
         {{"start", 1015},
          {"end", 96},
          {"speed", 5},
          {"color", 0},
          {"pass1", 0},
          {"pass2", 4},
          {"blocks", 8},
          {"flag", 1}}},
        {"scan left of column 0",
         frame(1, 'o', {0xFC, 0xFF, 0x0B, 0x00, 0, 0, 0, 0, 0x01, 0}),
         'o',
         1,
         {{"start", -4},
          {"end", 11},
          {"speed", 0},
          {"color", 0},
          {"pass1", 0},
          {"pass2", 0},
          {"blocks", 1},
          {"flag", 0}}},
        {"black parity 0, 320 nozzles",
         frame(1, 'p', {0x10, 0x09, 0x0A}),
         'p',
         1,
         {{"parity", 0}, {"ink", 0}, {"nozzle_field", 9}, {"rows", 10}}},
        {"colour 3 parity 1, 64 nozzles",
         frame(1, 'p', {0x23, 0x04, 0x02}),
         'p',
         1,
         {{"parity", 1}, {"ink", 3}, {"nozzle_field", 4}, {"rows", 2}}},
        {"heat trigger, backward pass 0",
         frame(1, 'i', {0xC0, 0x12, 0x06}),
         'i',
         1,
         {{"trigger", 6}}},
        {"smear level of band 2", frame(1, 'l', {0x02, 0x05}), 'l', 1, {{"band", 2}, {"level", 5}}},
        {"borderless count 10",
         frame(1, 'v', {0, 0, 0, 0, 0x0A, 0, 0, 0}),
         'v',
         1,
         {{"count", 10}}},
        {"data block", frame(2, 's', {0x00, 0x41, 0xE2, 0x00, 0x80}), 's', 2, {{"data_bytes", 5}}},
    };
    return cases;
}

TEST(Commands, FramesDecodeFieldByField) {
    for (const FieldCase& c : fieldCases()) {
        SCOPED_TRACE(c.name);
        kzinspect::Frame f;
        kzinspect::Error error;
        ASSERT_TRUE(kzinspect::readFrame(c.bytes, 0, f, error)) << error.message;
        EXPECT_EQ(f.letter, c.letter);
        EXPECT_EQ(f.cls, c.cls);
        EXPECT_EQ(f.size(), c.bytes.size());
        EXPECT_TRUE(kzinspect::checkBody(f, error)) << error.message;
        const auto fields = kzinspect::decodeFields(f);
        ASSERT_EQ(fields.size(), c.fields.size());
        for (size_t i = 0; i < fields.size(); ++i) {
            EXPECT_EQ(fields[i].name, c.fields[i].first);
            EXPECT_EQ(fields[i].value, c.fields[i].second) << fields[i].name;
        }
    }
}

struct BadFrame {
    const char* name;
    ByteVector stream;
    ErrorKind kind;
    size_t offset;
};

ByteVector withByte(ByteVector bytes, size_t at, uint8_t value) {
    bytes[at] = value;
    return bytes;
}

TEST(Commands, MalformedFramesAreRejectedWhereTheFaultLies) {
    const ByteVector h = frame(0, 'H');
    const ByteVector settings = frame(1, 'h', {0, 7, 0, 2, 3, 1, 0});
    const std::vector<BadFrame> cases = {
        {"stray byte before a frame", ByteVector{0x00} + h, ErrorKind::BytesBetweenFrames, 0},
        {"wrong third start byte after a frame", h + ByteVector{0x1B, '(', 'y', 5, 0},
         ErrorKind::BytesBetweenFrames, 10},
        {"stream ends inside the start bytes", h + ByteVector{0x1B, '('}, ErrorKind::Truncated, 10},
        {"stream ends inside the header", cut(h, 7), ErrorKind::Truncated, 0},
        {"stream ends inside the body", cut(settings, 16), ErrorKind::Truncated, 0},
        {"length below the header", withByte(h, 3, 4), ErrorKind::BadLength, 3},
        {"other head type", withByte(h, 6, 0x71), ErrorKind::BadHeadType, 5},
        {"non-zero byte 7", withByte(h, 7, 1), ErrorKind::BadHeadType, 7},
        {"unknown letter", withByte(h, 9, 'q'), ErrorKind::UnknownLetter, 9},
        {"class-2 letter without a command", frame(2, 't', {0}), ErrorKind::UnknownLetter, 9},
        {"class 1 for H", withByte(h, 8, 1), ErrorKind::ClassMismatch, 8},
        {"class 1 for s", frame(1, 's', {0xE2, 0, 0x80}), ErrorKind::ClassMismatch, 8},
        {"class 2 for o", withByte(kztest::scanInfo(8, 47, 1), 8, 2), ErrorKind::ClassMismatch, 8},
        {"H with a body", frame(0, 'H', {0}), ErrorKind::WrongLength, 3},
        {"short settings", frame(1, 'h', {0, 7, 0}), ErrorKind::WrongLength, 3},
        {"a is not 1", frame(1, 'a', {2}), ErrorKind::BadValue, 10},
        {"resolution 400", frame(1, 'd', {0xB0, 0x04, 0x90, 0x01}), ErrorKind::BadValue, 12},
        {"resolution base 600", frame(1, 'd', {0x58, 0x02, 0x58, 0x02}), ErrorKind::BadValue, 10},
        {"block width 256", frame(1, 'r', {0x00, 0x01}), ErrorKind::BadValue, 10},
        {"quality 5", frame(1, 'h', {0, 7, 0, 5, 3, 1, 0}), ErrorKind::BadValue, 13},
        {"feed third byte", frame(2, 'm', {0x60, 0, 1}), ErrorKind::BadValue, 12},
        {"7 blocks for 912 columns",
         frame(1, 'o', {0x60, 0x00, 0xEF, 0x03, 0x05, 0x01, 0x02, 0x02, 0x07, 0x00}),
         ErrorKind::BadValue, 18},
        {"no blocks", frame(1, 'o', {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), ErrorKind::BadValue, 18},
        {"nozzle column 3", frame(1, 'p', {0x30, 0, 10}), ErrorKind::BadValue, 10},
        {"ink 4", frame(1, 'p', {0x14, 0, 10}), ErrorKind::BadValue, 10},
        {"6 rows", frame(1, 'p', {0x10, 0, 6}), ErrorKind::BadValue, 12},
        {"heat trigger start", frame(1, 'i', {0xC0, 0x13, 0}), ErrorKind::BadValue, 10},
        {"heat trigger 8", frame(1, 'i', {0xC0, 0x12, 8}), ErrorKind::BadValue, 12},
        {"borderless prefix", frame(1, 'v', {0, 0, 1, 0, 10, 0, 0, 0}), ErrorKind::BadValue, 10},
    };
    for (const BadFrame& c : cases) {
        SCOPED_TRACE(c.name);
        kzinspect::Frame f;
        kzinspect::Error error;
        size_t offset = 0;
        bool ok = true;
        while (ok && offset < c.stream.size()) {
            ok = kzinspect::readFrame(c.stream, offset, f, error) && kzinspect::checkBody(f, error);
            if (ok) offset += f.size();
        }
        ASSERT_FALSE(ok);
        EXPECT_EQ(kzinspect::errorKindName(error.kind), kzinspect::errorKindName(c.kind))
            << error.message;
        EXPECT_EQ(error.offset, c.offset) << error.message;
    }
}

}  // namespace
