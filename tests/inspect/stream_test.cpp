// Whole streams: page and scan structure, block data, recovered scan edges,
// and the faults a stream can have beyond its single frames.
#include "stream_reader/stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "stream_reader/report.h"
#include "stream_builder.h"

namespace {

using kzinspect::ErrorKind;
using kztest::ByteVector;
using kztest::operator+;
using kztest::cut;
using kztest::dataBlock;
using kztest::frame;
using kztest::literals;
using kztest::nozzlePair;
using kztest::pageSetup;
using kztest::scanInfo;

const ByteVector kPageEnd = frame(0, 'N');

// One group of a 64-nozzle column (64 bytes) with `value` at `byte`.
ByteVector group(size_t byte, uint8_t value) {
    ByteVector g(64, 0);
    g[byte] = value;
    return g;
}

// A one-block scan of 64-nozzle black columns with one data group per parity.
ByteVector blackScan(int start, int end, const ByteVector& parity0, const ByteVector& parity1) {
    return scanInfo(start, end, 1) + nozzlePair(0, 2) +
           dataBlock({literals(parity0), literals(parity1)});
}

TEST(Streams, ForwardAndBackwardDotsLandInScanColumns) {
    // A line stored from scan position 16 with the bytes 0x80 0x01 fires
    // pixels 16 and 31. Forward (left 16, right 32, divisor 2) it sits at the
    // start of the group; backward the group starts at the right edge and the
    // two bytes trade places.
    struct Case {
        const char* name;
        ByteVector stream;
        int left, right;
    };
    ByteVector fwd = group(0, 0x80);
    fwd[1] = 0x01;
    ByteVector bwd = group(0, 0x01);
    bwd[1] = 0x80;
    const std::vector<Case> cases = {
        {"forward", pageSetup() + blackScan(8, 47, fwd, {}) + kPageEnd, 16, 32},
        {"backward", pageSetup() + blackScan(63, 8, bwd, {}) + kPageEnd, 16, 32},
        {"forward, divisor 4", pageSetup(true) + blackScan(12, 39, fwd, {}) + kPageEnd, 16, 32},
        {"backward, divisor 4", pageSetup(true) + blackScan(47, 12, bwd, {}) + kPageEnd, 16, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const kzinspect::Stream s = kzinspect::inspect(c.stream);
        ASSERT_TRUE(s.ok()) << s.error->message;
        const kzinspect::Scan& scan = s.pages.at(0).scans.at(0);
        EXPECT_EQ(scan.left, c.left);
        EXPECT_EQ(scan.right, c.right);
        EXPECT_TRUE(scan.edgesAligned);
        EXPECT_FALSE(scan.paperShift);
        const auto& histogram = scan.columns.at(0).histogram;
        ASSERT_EQ(histogram.size(), 2u);
        EXPECT_EQ(histogram[0].column, 16);
        EXPECT_EQ(histogram[1].column, 31);
        EXPECT_EQ(scan.columns.at(0).dots, 2u);
        EXPECT_EQ(scan.columns.at(1).dots, 0u);
    }
}

TEST(Streams, ScanEdgesAreRecoveredFromTheColumns) {
    struct Case {
        const char* name;
        bool lowResolution;
        int start, end;
        bool heatTrigger;
        int left, right;
        bool shift, aligned;
    };
    const std::vector<Case> cases = {
        // Left 96, right 1000 on a 300 page: columns 92 to 1007, backward 1015 to 92.
        {"forward, divisor 4", true, 92, 1007, false, 96, 1000, false, true},
        {"backward, divisor 4", true, 1015, 92, false, 96, 1000, false, true},
        {"forward, divisor 2", false, 88, 1015, false, 96, 1000, false, true},
        {"backward, divisor 2", false, 1031, 88, false, 96, 1000, false, true},
        // A backward scan with a heat trigger starts and ends one column later.
        {"backward with heat trigger", false, 1032, 89, true, 96, 1000, false, true},
        {"forward with heat trigger", false, 88, 1015, true, 96, 1000, false, true},
        // Some paper sizes move every column right by 142 / divisor.
        {"paper shift, divisor 2", false, 88 + 71, 1015 + 71, false, 96, 1000, true, true},
        {"paper shift, divisor 4", true, 1015 + 35, 92 + 35, false, 96, 1000, true, true},
        // Left 100 is not a multiple of 8: read without a shift and said so.
        {"unaligned edges", true, 96, 1007, false, 100, 1000, false, false},
        {"left of column 0", false, -8, 1015, false, 0, 1000, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int span = (c.start < c.end ? c.end - c.start : c.start - c.end) + 1;
        const int blocks = (span + 127) / 128;
        ByteVector stream =
            pageSetup(c.lowResolution) + scanInfo(c.start, c.end, blocks) + nozzlePair(0, 4);
        if (c.heatTrigger) stream = stream + frame(1, 'i', {0xC0, 0x12, 0x05});
        for (int k = 0; k < blocks; ++k) stream = stream + dataBlock({{}, {}});
        stream = stream + kPageEnd;
        const kzinspect::Stream s = kzinspect::inspect(stream);
        ASSERT_TRUE(s.ok()) << s.error->message;
        const kzinspect::Scan& scan = s.pages.at(0).scans.at(0);
        EXPECT_EQ(scan.divisor, c.lowResolution ? 4 : 2);
        EXPECT_EQ(scan.left, c.left);
        EXPECT_EQ(scan.right, c.right);
        EXPECT_EQ(scan.paperShift, c.shift);
        EXPECT_EQ(scan.edgesAligned, c.aligned);
    }
}

TEST(Streams, PagesWithEveryKindOfCommandAreRead) {
    // A page with kick-off, a first and a later feed, two inks, a heat
    // trigger, smear levels and the borderless count; then a blank page.
    const ByteVector colour = group(5, 0xF0);
    const ByteVector black = group(0, 0x80) + ByteVector(64, 0);
    const ByteVector stream =
        pageSetup() + frame(0, 'x', {0x3E, 0x36, 0x00, 0x00}) + frame(2, 'm', {0x60, 0x00, 0x00}) +
        scanInfo(8, 47, 1, 1) + nozzlePair(1, 2) + nozzlePair(0, 2, 11) +
        frame(1, 'i', {0xC0, 0x12, 0x02}) + dataBlock({literals(colour), {}, literals(black), {}}) +
        frame(2, 'n', {0x2C, 0x01, 0x00}) + blackScan(63, 8, {}, group(1, 0x01)) +
        frame(1, 'l', {0, 1}) + frame(1, 'l', {1, 2}) + frame(1, 'v', {0, 0, 0, 0, 0x0A, 0, 0, 0}) +
        kPageEnd + frame(0, 'H') + frame(1, 'h', {0, 7, 0, 2, 3, 1, 0}) + frame(1, 'b', {0}) +
        frame(1, 'r', {0x80, 0}) + frame(1, 'f', {0}) + frame(2, 'm', {0, 0, 0}) + kPageEnd;
    const kzinspect::Stream s = kzinspect::inspect(stream);
    ASSERT_TRUE(s.ok()) << s.error->message;
    ASSERT_EQ(s.pages.size(), 2u);
    const kzinspect::Page& page = s.pages[0];
    EXPECT_FALSE(page.blank);
    EXPECT_TRUE(page.ended);
    EXPECT_EQ(page.resolution2, 600);
    EXPECT_EQ(page.kickOff, 13886u);
    EXPECT_EQ(page.smearLevels, (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(page.borderlessCount, 10u);
    ASSERT_EQ(page.scans.size(), 2u);
    const kzinspect::Scan& first = page.scans[0];
    ASSERT_TRUE(first.feed.has_value());
    EXPECT_EQ(first.feed->letter, 'm');
    EXPECT_EQ(first.feed->amount, 96);
    EXPECT_EQ(first.heatTrigger, 2);
    ASSERT_EQ(first.columns.size(), 4u);
    EXPECT_EQ(first.columns[0].command.ink, 1);
    EXPECT_EQ(first.columns[0].dots, 4u);
    EXPECT_EQ(first.columns[2].command.nozzleField, 11);
    EXPECT_EQ(first.columns[2].dots, 1u);
    EXPECT_EQ(first.columns[2].decodedBytes, 128u);
    const kzinspect::Scan& second = page.scans[1];
    EXPECT_EQ(second.feed->letter, 'n');
    EXPECT_TRUE(second.info.backward());
    EXPECT_EQ(second.columns[1].dots, 1u);
    EXPECT_EQ(second.columns[1].histogram.at(0).column, 32 - 1 - 8);
    const kzinspect::Page& blank = s.pages[1];
    EXPECT_TRUE(blank.blank);
    EXPECT_TRUE(blank.ended);
    EXPECT_EQ(blank.blankFeed, 0);
    EXPECT_TRUE(blank.scans.empty());

    const std::string stats = kzinspect::report(s, kzinspect::Command::Stats, true);
    EXPECT_NE(stats.find("\"ok\":true"), std::string::npos);
    EXPECT_NE(stats.find("\"dots\":{\"0\":2,\"1\":4}"), std::string::npos) << stats;
    EXPECT_NE(stats.find("\"page_count\":2"), std::string::npos);
}

TEST(Streams, BannerPagesMayRunIntoTheNextPage) {
    const ByteVector scan = blackScan(8, 47, group(0, 0x80), {});
    const kzinspect::Stream s = kzinspect::inspect(pageSetup() + scan + pageSetup() +
                                                   frame(2, 'm', {8, 0, 0}) + scan + kPageEnd);
    ASSERT_TRUE(s.ok()) << s.error->message;
    ASSERT_EQ(s.pages.size(), 2u);
    EXPECT_FALSE(s.pages[0].ended);
    EXPECT_TRUE(s.pages[1].ended);
    // Each page has its own first feed.
    EXPECT_EQ(s.pages[1].scans.at(0).feed->letter, 'm');
}

TEST(Streams, EmptyStreamHoldsNoPage) {
    const kzinspect::Stream s = kzinspect::inspect(ByteVector{});
    EXPECT_TRUE(s.ok());
    EXPECT_TRUE(s.pages.empty());
}

TEST(Streams, TheLastBlockMayStopAfterAnyWholeGroup) {
    // Two blocks of 64-nozzle columns: the first whole (8 groups, 512 bytes),
    // the last cut to three groups, to none, or sent whole.
    const ByteVector full(512, 0);
    for (size_t groups : {0u, 1u, 3u, 8u}) {
        SCOPED_TRACE(groups);
        ByteVector last(groups * 64, 0);
        if (!last.empty()) last.back() = 0x01;
        const ByteVector stream = pageSetup() + scanInfo(8, 8 + 130, 2) + nozzlePair(0, 2) +
                                  dataBlock({literals(full), {}}) +
                                  dataBlock({literals(last), literals(last)}) + kPageEnd;
        const kzinspect::Stream s = kzinspect::inspect(stream);
        ASSERT_TRUE(s.ok()) << s.error->message;
        EXPECT_EQ(s.pages[0].scans[0].columns[0].decodedBytes, 512 + last.size());
        EXPECT_EQ(s.pages[0].scans[0].columns[1].dots, groups == 0 ? 0u : 1u);
    }
}

struct BadStream {
    const char* name;
    ByteVector stream;
    ErrorKind kind;
    size_t offset;
};

TEST(Streams, MisplacedCommandsAndBadBlocksAreRejected) {
    const ByteVector setup = pageSetup();
    const size_t s0 = setup.size();  // first frame after the set-up
    const ByteVector o = scanInfo(8, 47, 1);
    const ByteVector pair = nozzlePair(0, 2);
    const size_t firstData = s0 + o.size() + pair.size() + 10;  // body of the first block
    const ByteVector oneGroup = literals(ByteVector(64, 0));
    const ByteVector block = dataBlock({oneGroup, {}});
    const ByteVector scan = o + pair + block;
    const std::vector<BadStream> cases = {
        {"a page must start with H", frame(1, 'a', {1}), ErrorKind::OutOfOrder, 0},
        {"set-up out of order", frame(0, 'H') + frame(1, 'd', {0xB0, 4, 0x58, 2}),
         ErrorKind::OutOfOrder, 10},
        {"set-up letter missing",
         frame(0, 'H') + frame(1, 'a', {1}) + frame(1, 'h', {0, 7, 0, 2, 3, 1, 0}),
         ErrorKind::OutOfOrder, 21},
        {"kick-off after a scan", setup + scan + frame(0, 'x', {0, 0, 0, 0}), ErrorKind::OutOfOrder,
         s0 + scan.size()},
        {"first feed is n", setup + frame(2, 'n', {8, 0, 0}) + scan, ErrorKind::OutOfOrder, s0},
        {"second m", setup + frame(2, 'm', {8, 0, 0}) + scan + frame(2, 'm', {8, 0, 0}) + scan,
         ErrorKind::OutOfOrder, s0 + 13 + scan.size()},
        {"feed without a scan", setup + frame(2, 'm', {8, 0, 0}) + kPageEnd, ErrorKind::OutOfOrder,
         s0 + 13},
        {"block before nozzle information", setup + o + block, ErrorKind::OutOfOrder,
         s0 + o.size()},
        {"parity 1 first", setup + o + frame(1, 'p', {0x20, 0, 2}), ErrorKind::OutOfOrder,
         s0 + o.size()},
        {"half a pair", setup + o + frame(1, 'p', {0x10, 0, 2}) + block, ErrorKind::OutOfOrder,
         s0 + o.size() + 13},
        {"pair of two inks", setup + o + frame(1, 'p', {0x10, 0, 2}) + frame(1, 'p', {0x21, 0, 2}),
         ErrorKind::BadValue, s0 + o.size() + 13},
        {"ink sent twice", setup + o + pair + pair, ErrorKind::OutOfOrder,
         s0 + o.size() + pair.size()},
        {"columns with different rows", setup + o + pair + nozzlePair(1, 4), ErrorKind::BadValue,
         s0 + o.size() + pair.size() + 12},
        {"nozzle information after the heat trigger",
         setup + o + pair + frame(1, 'i', {0xC0, 0x12, 0}) + nozzlePair(1, 2),
         ErrorKind::OutOfOrder, s0 + o.size() + pair.size() + 13},
        {"fewer blocks than announced",
         setup + scanInfo(8, 8 + 130, 2) + pair + dataBlock({{}, {}}) + kPageEnd,
         ErrorKind::OutOfOrder, s0 + o.size() + pair.size() + 16},
        {"smear level for band 1 first", setup + scan + frame(1, 'l', {1, 0}), ErrorKind::BadValue,
         s0 + scan.size() + 10},
        {"smear level after the borderless count",
         setup + frame(1, 'v', {0, 0, 0, 0, 1, 0, 0, 0}) + frame(1, 'l', {0, 0}),
         ErrorKind::OutOfOrder, s0 + 18},
        {"scan after the reports", setup + frame(1, 'l', {0, 0}) + scan, ErrorKind::OutOfOrder,
         s0 + 12},
        {"stream ends after the set-up", setup, ErrorKind::Incomplete, s0},
        {"stream ends inside the set-up", cut(setup, 21), ErrorKind::Incomplete, 21},
        {"stream ends inside a scan", setup + o + pair, ErrorKind::Incomplete,
         s0 + o.size() + pair.size()},
        {"stream ends after a banner page", setup + scan, ErrorKind::Incomplete, s0 + scan.size()},
        {"one segment for two columns", setup + o + pair + dataBlock({oneGroup}),
         ErrorKind::SegmentUnterminated, firstData + oneGroup.size() + 3},
        {"three segments for two columns", setup + o + pair + dataBlock({{}, {}, {}}),
         ErrorKind::TrailingData, firstData + 6},
        {"block command that lost its data", setup + o + pair + frame(2, 's'),
         ErrorKind::SegmentUnterminated, firstData},
        {"last block not whole groups",
         setup + o + pair + dataBlock({literals(ByteVector(65, 0)), {}}), ErrorKind::SegmentSize,
         firstData},
        {"earlier block cut short",
         setup + scanInfo(8, 8 + 130, 2) + pair + dataBlock({{}, oneGroup}), ErrorKind::SegmentSize,
         firstData + 3},
        {"block larger than 128 columns",
         setup + o + pair + dataBlock({literals(ByteVector(576, 0)), {}}),
         ErrorKind::SegmentOverrun, firstData + 4 * 129},
        {"header 0x80 in the data", setup + o + pair + dataBlock({{0x80, 0x00}, {}}),
         ErrorKind::PackBits80, firstData},
    };
    for (const BadStream& c : cases) {
        SCOPED_TRACE(c.name);
        const kzinspect::Stream s = kzinspect::inspect(c.stream);
        ASSERT_FALSE(s.ok());
        EXPECT_EQ(kzinspect::errorKindName(s.error->kind), kzinspect::errorKindName(c.kind))
            << s.error->message;
        EXPECT_EQ(s.error->offset, c.offset) << s.error->message;
    }
}

TEST(Streams, ReportsNameTheFirstFault) {
    const ByteVector stream = pageSetup() + ByteVector{0x00};
    const kzinspect::Stream s = kzinspect::inspect(stream);
    const std::string json = kzinspect::report(s, kzinspect::Command::Check, true);
    EXPECT_NE(json.find("\"ok\":false"), std::string::npos) << json;
    EXPECT_NE(json.find("\"kind\":\"bytes-between-frames\""), std::string::npos) << json;
    EXPECT_NE(json.find(std::string("\"offset\":") + std::to_string(stream.size() - 1)),
              std::string::npos)
        << json;
    const std::string text = kzinspect::report(s, kzinspect::Command::Dump, false);
    EXPECT_NE(text.find("bytes-between-frames"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8) << "seven frames and the error";
}

}  // namespace

// Writes down what a listener is told, in order.
class Log : public kzinspect::StreamListener {
  public:
    std::string text;

  private:
    void pageStarted(size_t index, const kzinspect::Page& page) override {
        text += "page " + std::to_string(index) + (page.blank ? " blank;" : ";");
    }
    void scanStarted(const kzinspect::Page&, const kzinspect::Scan& scan) override {
        text += "scan " + std::to_string(scan.left) + ".." + std::to_string(scan.right) + ";";
    }
    void segmentRead(const kzinspect::Scan&, size_t column, int block, kzinspect::Bytes codes) override {
        text += "segment " + std::to_string(column) + "/" + std::to_string(block) + ":" +
                std::string(codes.begin(), codes.end()) + ";";
    }
    void scanEnded(const kzinspect::Page&, const kzinspect::Scan&) override { text += "scan end;"; }
    void pageEnded(size_t index, const kzinspect::Page&) override { text += "end " + std::to_string(index) + ";"; }
};

TEST(Streams, AStreamReadInPiecesReadsAsAWhole) {
    // Frames split at every byte tell the same, and a fault is found at the
    // same offset, whatever the pieces.
    const ByteVector scan = blackScan(8, 47, group(0, 0x80), group(3, 0x11));
    const ByteVector good = pageSetup() + frame(2, 'm', {8, 0, 0}) + scan + kPageEnd +
                            frame(0, 'H') + frame(1, 'h', {0, 7, 0, 2, 3, 1, 0}) + frame(1, 'b', {0}) +
                            frame(1, 'r', {0x80, 0}) + frame(1, 'f', {0}) + frame(2, 'm', {0, 0, 0}) +
                            kPageEnd + pageSetup() + scan + pageSetup() + scan + kPageEnd;
    ByteVector badHeader = good;
    badHeader[good.size() - 4] = 0x99;  // the last frame's head type
    ByteVector between = cut(good, 200) + ByteVector{'?'} + ByteVector(good.begin() + 200, good.end());
    const std::vector<std::pair<ByteVector, bool>> streams = {
        {good, true}, {cut(good, good.size() - 3), false}, {badHeader, false}, {between, false}};
    for (const auto& [stream, ok] : streams) {
        Log whole;
        kzinspect::StreamReader one(&whole);
        one.write(stream);
        ASSERT_EQ(one.finish(), ok);
        for (size_t piece : {1u, 2u, 3u, 7u, 10u, 64u}) {
            SCOPED_TRACE(testing::Message() << stream.size() << " bytes in pieces of " << piece);
            Log pieces;
            kzinspect::StreamReader reader(&pieces);
            for (size_t at = 0; at < stream.size(); at += piece)
                reader.write(kzinspect::Bytes(stream).subspan(at, std::min(piece, stream.size() - at)));
            EXPECT_EQ(reader.finish(), ok);
            EXPECT_EQ(pieces.text, whole.text);
            EXPECT_EQ(reader.pagesStarted(), one.pagesStarted());
            ASSERT_EQ(reader.stream().error.has_value(), !ok);
            if (!ok) {
                EXPECT_EQ(reader.stream().error->offset, one.stream().error->offset);
                EXPECT_EQ(reader.stream().error->kind, one.stream().error->kind);
            }
        }
    }
    // Without records only the page being read is kept.
    kzinspect::StreamReader lean;
    lean.write(good);
    EXPECT_TRUE(lean.finish());
    EXPECT_EQ(lean.pagesStarted(), 4u);
    EXPECT_EQ(lean.stream().pages.size(), 1u);
    EXPECT_TRUE(lean.stream().frames.empty());
}
