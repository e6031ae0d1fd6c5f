#include <gtest/gtest.h>

#include <vector>

#include "support/job_fixture.h"

namespace {

using kz::test::lineOf;
using kz::test::settings;
using Bytes = std::vector<uint8_t>;

class Intake : public kz::test::JobFixture {};

// The record holds one entry per plane the mode uses, in plane order.
TEST_F(Intake, EntriesAreConsumedOnlyForUsedPlanes) {
    struct Case { const char* name; PrintInfo info; std::vector<int> planes; };
    const Case cases[] = {
        {"mode 4", settings(0, 5), {0, 1, 2, 3}},
        {"mode 5", settings(29, 15), {0, 1, 2}},
        {"mode 9", settings(36, 10), {4, 5, 6}},
        {"mode 13", settings(0, 5, 0, 1), {3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OutputClose(&job);
        start(c.info);
        // Entry k carries the byte 0x10 + k at byte 1 of the line.
        std::vector<Bytes> data(c.planes.size(), Bytes(8, 0));
        RasterInfo line{};
        line.LineNo = 100;
        for (size_t k = 0; k < c.planes.size(); ++k) {
            data[k][1] = static_cast<uint8_t>(0x10 + k);
            line.Plane[k] = {data[k].data(), 16, 0, 0, 0};  // 16 pixels fit 8 bytes at every depth
        }
        ASSERT_EQ(produce(line), KZ_OK);
        for (size_t k = 0; k < c.planes.size(); ++k) {
            const int p = c.planes[k];
            const int depth = ctx()->BitDepth[p];
            ASSERT_NE(depth, 0);
            EXPECT_EQ(record(p, 100).FirstByte, 1);
            EXPECT_EQ(stored(p, 100), Bytes{static_cast<uint8_t>(0x10 + k)}) << "plane " << p;
        }
    }
}

TEST_F(Intake, DraftQualitySplitsBlackAndDoublesColour) {
    start(settings(0, 3));  // quality code 3 is quality index 0: mode 0, two page lines per line
    ASSERT_EQ(ctx()->PrintMode, 0u);
    const Bytes data = {0xFF, 0xF0, 0x0F};
    ASSERT_EQ(produce(lineOf(5, data.data(), 24, 4)), KZ_OK);
    EXPECT_EQ(ctx()->CurLineNo, 10u);
    EXPECT_EQ(stored(3, 10), (Bytes{0xAA, 0xA0, 0x0A}));
    EXPECT_EQ(stored(3, 11), (Bytes{0x55, 0x50, 0x05}));
    EXPECT_EQ(stored(0, 10), data);
    EXPECT_EQ(stored(0, 11), data);
    EXPECT_EQ(record(3, 11).MaskOffset, record(3, 10).MaskOffset);
}

TEST_F(Intake, StandardQualityOnPlainPaperWidensEveryPixel) {
    start(settings(0, 15));  // mode 1: widened, two page lines per line
    const Bytes data = {0x00, 0x00, 0xC1, 0x80};
    ASSERT_EQ(produce(lineOf(3, data.data(), 26, 4)), KZ_OK);
    // The span is bytes 2..3 (0xC1, then 0x80 cut to pixel 25): widened to 4 bytes from byte 4.
    EXPECT_EQ(record(0, 6).FirstByte, 4);
    EXPECT_EQ(stored(0, 6), (Bytes{0xF0, 0x03, 0xC0, 0x00}));
    EXPECT_EQ(stored(0, 7), stored(0, 6));
    EXPECT_EQ(stored(3, 6), (Bytes{0xA0, 0x02, 0x80, 0x00}));
    EXPECT_EQ(stored(3, 7), (Bytes{0x50, 0x01, 0x40, 0x00}));
}

TEST_F(Intake, BlankLinesAreCountedByTheNextInkedLine) {
    start(settings(0, 10));  // mode 2, one page line per caller line
    const Bytes ink = {0x80, 0x00};  // 8 pixels at 2 bits
    ASSERT_EQ(produce(lineOf(10, ink.data(), 8, 4)), KZ_OK);
    const int16_t afterFirst = ctx()->LineCount;
    ASSERT_EQ(produce(lineOf(11, nullptr, 8, 4)), KZ_OK);
    EXPECT_EQ(ctx()->RasterReceived, 0);
    EXPECT_EQ(ctx()->LineCount, afterFirst);
    ASSERT_EQ(produce(lineOf(12, ink.data(), 8, 4)), KZ_OK);
    EXPECT_EQ(ctx()->LineCount, afterFirst + 2) << "the blank line and the inked one";
}

TEST_F(Intake, BorderlessPageStartingInsideTheTopEdge) {
    start(settings(0, 10, 1));  // borderless plain paper at quality code 10: mode 15
    ASSERT_EQ(ctx()->PrintMode, 15u);
    ASSERT_EQ(ctx()->TopLimitPos, 368);
    const Bytes ink = {0xF0, 0x00};  // 8 pixels at 2 bits
    ASSERT_EQ(produce(lineOf(10, ink.data(), 8, 3)), KZ_OK);
    EXPECT_EQ(ctx()->TopLimitPos, 388);
    EXPECT_EQ(ctx()->LineTarget, 29) << "half the first top feed";
    EXPECT_EQ(ctx()->PassIndex, 0);
    EXPECT_EQ(ctx()->FeedIndex, 0);
}

TEST_F(Intake, InkBeyondTheStoreWidthIsDropped) {
    start(settings(0, 10));  // mode 2: 1-bit black, 768 bytes a line
    Bytes wide(8192, 0);
    wide[900] = 0xFF;        // pixels 7200..7207: beyond the store
    ASSERT_EQ(produce(lineOf(4, wide.data(), 65535, 4)), KZ_OK);
    EXPECT_EQ(record(3, 4).ByteCount, 0) << "nothing inside the store";
    wide[700] = 0x01;        // pixel 5607 is inside
    wide[767] = 0xFF;        // the store's last 8 pixels
    wide[768] = 0xFF;        // the first 8 beyond it
    ASSERT_EQ(produce(lineOf(5, wide.data(), 65535, 4)), KZ_OK);
    EXPECT_EQ(record(3, 5).FirstByte, 700);
    EXPECT_LE(record(3, 5).FirstByte + record(3, 5).ByteCount, ctx()->LinePitch[3]);
    const Bytes kept = stored(3, 5);
    ASSERT_EQ(kept.size(), 68u) << "bytes 700..767: the span ends at the store's last pixel";
    EXPECT_EQ(kept[0], 0x01);
    EXPECT_EQ(kept[67], 0xFF);
}

TEST_F(Intake, WidenedLinesNeverLeaveTheirLine) {
    start(settings(0, 15));  // widened: 3,072 source pixels fill the line
    Bytes full(1024, 0xFF);
    ASSERT_EQ(produce(lineOf(0, full.data(), 8192, 4)), KZ_OK);
    EXPECT_EQ(record(0, 0).FirstByte + record(0, 0).ByteCount, ctx()->LinePitch[0]);
}

TEST_F(Intake, HostileLinesAreRefused) {
    start(settings(0, 10));
    const Bytes ink = {0xFF, 0xFF, 0x00, 0x00};  // 16 pixels at 2 bits
    EXPECT_EQ(OutputProduceTwo(&job, nullptr, nullptr), KZ_UNSUPPORTED);
    RasterInfo crossed = lineOf(1, ink.data(), 8, 4, 6, 6);  // Left + Right above Width
    uint32_t out = 0;
    EXPECT_EQ(OutputProduceTwo(&job, &crossed, &out), -1);
    ASSERT_EQ(produce(lineOf(20, ink.data(), 16, 4)), KZ_OK);
    const int16_t count = ctx()->LineCount;
    for (uint32_t number : {20u, 19u, 0xFFFFFFFFu, 0x80000000u, 20u + (1u << 21)}) {
        RasterInfo line = lineOf(number, ink.data(), 16, 4);
        EXPECT_EQ(OutputProduceTwo(&job, &line, &out), KZ_UNSUPPORTED) << number;
        EXPECT_EQ(ctx()->CurLineNo, 20u);
        EXPECT_EQ(ctx()->LineCount, count);
    }
    // Blank lines too may not lie beyond any page length from the last inked one.
    for (uint32_t number : {20u + (1u << 21), 0x3FFFFFFFu}) {
        RasterInfo blank = lineOf(number, nullptr, 16, 4);
        EXPECT_EQ(OutputProduceTwo(&job, &blank, &out), KZ_UNSUPPORTED) << number;
        EXPECT_EQ(ctx()->CurLineNo, 20u);
    }
    ASSERT_EQ(produce(lineOf(21, ink.data(), 16, 4)), KZ_OK) << "the job goes on";

    // One malformed plane refuses the whole line before anything is stored
    // or built; the line, mended, is then taken.
    RasterInfo mixed = lineOf(400, ink.data(), 16, 4);
    mixed.Plane[3] = {ink.data(), 8, 6, 6, 0};
    const uint32_t previous = ctx()->PrevLineNo;
    const int32_t position = ctx()->RasterPos;
    EXPECT_EQ(OutputProduceTwo(&job, &mixed, &out), -1);
    EXPECT_EQ(ctx()->PrevLineNo, previous);
    EXPECT_EQ(ctx()->RasterPos, position) << "no scan was built for the gap";
    EXPECT_EQ(record(0, 400).ByteCount, 0) << "plane 0 was not stored";
    mixed.Plane[3] = {ink.data(), 16, 0, 0, 0};
    ASSERT_EQ(produce(mixed), KZ_OK);
    EXPECT_NE(record(0, 400).ByteCount, 0);
}

// The page's end is drained from its last inked line on, whatever number a
// blank line given after it carries.
TEST_F(Intake, BlankLineNumberedLowerDoesNotCutThePageShort) {
    const Bytes ink(160, 0x5A);  // 320 pixels at 4 bits
    Bytes streams[2];
    for (int withBlankLine = 0; withBlankLine < 2; ++withBlankLine) {
        OutputClose(&job);
        start(settings(29, 15));  // mode 5: no smear report counting the page's lines
        for (uint32_t y = 0; y < 200; ++y) {
            ASSERT_EQ(produce(lineOf(y, ink.data(), 320, 3), &streams[withBlankLine]), KZ_OK);
        }
        if (withBlankLine) {
            ASSERT_EQ(produce(lineOf(3, nullptr, 320, 3), &streams[withBlankLine]), KZ_OK);
        }
        uint32_t out = 0;
        ASSERT_EQ(OutputFlush(&job, &out), KZ_OK);
        const auto bytes = kz::test::readOutput(out).bytes;
        streams[withBlankLine].insert(streams[withBlankLine].end(), bytes.begin(), bytes.end());
        ASSERT_EQ(OutputComplete(&job), KZ_OK);
    }
    EXPECT_TRUE(streams[0] == streams[1]);
}

// The count of held lines follows the store's records through bands, blank
// stretches given and left out, flushes and the next page, in every mode (too
// low: stored lines miss their scans; too high: blank stretches walk the
// store).  A flushed page holds none.
TEST_F(Intake, StoredLineCountFollowsTheRecords) {
    const auto held = [this] {
        uint32_t n = 0;
        for (const auto& plane : ctx()->Band)
            for (const BandBlock& block : plane)
                for (const LineRecord& line : block.Line) n += line.ByteCount != 0 ? 1 : 0;
        return n;
    };
    const Bytes ink(400, 0x5A);  // 800 pixels at 4 bits
    const PrintInfo modes[] = {  // modes 0..13 and 15, then borderless short paper with kick-off
        settings(0, 3), settings(0, 15), settings(0, 10), settings(7, 10), settings(0, 5), settings(29, 15),
        settings(15, 10), settings(1, 5), settings(0, 5, 1), settings(36, 10), settings(26, 0),
        settings(0, 3, 0, 1), settings(0, 15, 0, 1), settings(0, 5, 0, 1), settings(0, 10, 1),
        settings(29, 15, 1, 0, 50), settings(26, 0, 1, 0, 50)};
    for (const PrintInfo& mode : modes) {
        OutputClose(&job);
        start(mode);
        SCOPED_TRACE(testing::Message() << "mode " << ctx()->PrintMode << ", paper " << mode.PaperSize);
        for (int page = 0; page < 2; ++page) {
            for (uint32_t y = 0; y < 3000; ++y) {
                const bool inked = y % 1400 < 50;  // bands at lines 0, 1400 and 2800
                if (!inked && y % 3 == 0) continue;
                ASSERT_EQ(produce(lineOf(y, inked ? ink.data() : nullptr, 800)), KZ_OK);
                ASSERT_EQ(ctx()->StoredLines, held()) << "line " << y;
            }
            uint32_t out = 0;
            ASSERT_EQ(OutputFlush(&job, &out), KZ_OK);
            ASSERT_EQ(OutputComplete(&job), KZ_OK);
            EXPECT_EQ(ctx()->StoredLines, 0u);
            EXPECT_EQ(held(), 0u);
            ASSERT_EQ(OutputInitPart(&job, &info), KZ_OK);
        }
    }
}

}  // namespace
