#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "command/scan_commands.h"
#include "support/job.h"
#include "support/output_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Frame {
    char letter;
    Bytes body;
};

// Splits a stream into frames (an "s" frame's body is everything it announces).
std::vector<Frame> frames(const Bytes& s) {
    std::vector<Frame> out;
    for (size_t at = 0; at + 10 <= s.size();) {
        const size_t size = 5 + (s[at + 3] | s[at + 4] << 8);
        out.push_back({static_cast<char>(s[at + 9]), Bytes(s.begin() + at + 10, s.begin() + at + size)});
        at += size;
    }
    return out;
}

int16_t le16(const Bytes& b, size_t at) { return static_cast<int16_t>(b[at] | b[at + 1] << 8); }

class ScanCommands : public kz::test::OutputFixture {
protected:
    void SetUp() override {
        OutputFixture::SetUp();
        ctx->PassNum = 1;
        scan.ScanNzlNum = 320;
        scan.BlockMode = 2;
        scan.ScanKind = kz::kScanOrdinary;
    }
    void TearDown() override {
        for (auto& slot : hv) {
            KRVSDisposeHNDL(&slot[0]);
            KRVSDisposeHNDL(&slot[1]);
        }
        OutputFixture::TearDown();
    }
    // Gives slot s HV buffers whose column groups hold `value` in every byte.
    void fill(int s, uint8_t value) {
        scan.SlotHasData[s] = 1;
        const int32_t size = 128 * 63 * (scan.ScanNzlNum / 16);
        for (auto& h : hv[s]) {
            h = KRVSNewHNDL(size);
            std::memset(KRVSLockHNDL(h), value, size);
        }
    }
    ScanInfo scan{};
    HVBufferTable hv{};
};

TEST_F(ScanCommands, ScanInformationColumnsAndBlocks) {
    struct Case { uint32_t mode; uint16_t dir; int16_t margin, paper; int16_t start, end; int blocks; };
    const Case cases[] = {
        {0, 0, 0, 3, 96, 1007, 8},    {0, 1, 0, 3, 1015, 96, 8},   {1, 0, 0, 3, 92, 1015, 8},
        {10, 1, 0, 3, 1032, 93, 8},   {3, 1, 0, 3, 1031, 92, 8},   {3, 0, 0, 13, 92 + 71, 1015 + 71, 8},
        {0, 0, 0, 16, 96 + 35, 1007 + 35, 8}, {0, 0, 1, 13, 96, 1007, 8}, {0, 0, 0, 17, 96, 1007, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " dir " << c.dir << " paper " << c.paper);
        FormatBufList(ctx);
        ctx->PrintMode = c.mode;
        ctx->ScanDir = c.dir;
        ctx->MarginInfo = c.margin;
        ctx->PaperSize = c.paper;
        scan.ScanLeft = 100;
        scan.ScanRight = 1000;
        HapsFrame frame{};
        const int16_t blocks = getBlkNum(&scan, ctx, c.dir);
        EXPECT_EQ(blocks, c.blocks);
        ASSERT_EQ(setCommand_ScanInfo_A2470(ctx, &scan, &frame, static_cast<uint16_t>(blocks)), 0);
        const auto f = frames(output());
        ASSERT_EQ(f.size(), 1u);
        EXPECT_EQ(f[0].letter, 'o');
        EXPECT_EQ(le16(f[0].body, 0), c.start);
        EXPECT_EQ(le16(f[0].body, 2), c.end);
        EXPECT_EQ(f[0].body[8], c.blocks);
    }
}

TEST_F(ScanCommands, PassValuesAndFlagByMode) {
    struct Case { uint32_t mode; int16_t passes; uint16_t rows; uint32_t kind; uint8_t p1, p2, flag; };
    const Case cases[] = {
        {1, 1, 320, 4, 1, 1, 0},  {2, 2, 128, 4, 2, 2, 0},  {2, 2, 320, 4, 1, 0, 0}, {4, 8, 128, 2, 4, 4, 0},
        {8, 8, 128, 3, 4, 4, 1},  {6, 6, 128, 4, 0, 6, 0},  {10, 16, 128, 4, 0, 16, 1}, {13, 4, 320, 4, 4, 0, 0},
    };
    for (const Case& c : cases) {
        FormatBufList(ctx);
        ctx->PrintMode = c.mode;
        ctx->PassNum = c.passes;
        scan.ScanNzlNum = c.rows;
        scan.ScanKind = c.kind;
        HapsFrame frame{};
        setCommand_ScanInfo_A2470(ctx, &scan, &frame, 1);
        const Bytes body = frames(output()).at(0).body;
        EXPECT_EQ(body[6], c.p1) << c.mode;
        EXPECT_EQ(body[7], c.p2) << c.mode;
        EXPECT_EQ(body[9], c.flag) << c.mode;
    }
}

TEST_F(ScanCommands, FullScanWithFeedNozzleInformationAndSegments) {
    ctx->PrintMode = 3;
    ctx->PassNum = 2;
    ctx->FeedAmount = 96;
    ctx->FirstScanPending = 1;
    scan.ScanNzlNum = 128;
    scan.ScanLeft = 0;
    scan.ScanRight = 104;  // one block: 104 + 24 columns
    fill(1, 0x00);
    fill(3, 0xFF);
    scan.BlockMode = 0;  // only parity 0 carries data
    ASSERT_EQ(setCommand_A2470(ctx, &scan, hv), 0);
    const auto f = frames(output());
    std::string letters;
    for (const auto& x : f) letters += x.letter;
    EXPECT_EQ(letters, "mopppps");
    EXPECT_EQ(f[0].body, (Bytes{0x60, 0x00, 0x00}));
    EXPECT_EQ(f[2].body, (Bytes{0x12, 0x00, 0x04}));  // slot 1, parity 0, ink 2, 128 rows
    EXPECT_EQ(f[5].body, (Bytes{0x20, 11, 0x04}));    // black, parity 1
    // Segments: slot 1 blank in its only block (trimmed to nothing), then its
    // excluded parity, then black parity 0 (full), then black parity 1 (excluded).
    const Bytes& s = f[6].body;
    ASSERT_GE(s.size(), 12u);
    EXPECT_EQ(Bytes(s.begin(), s.begin() + 6), (Bytes{0xE2, 0x00, 0x80, 0xE2, 0x00, 0x80}));
    EXPECT_EQ(Bytes(s.end() - 3, s.end()), (Bytes{0xE2, 0x00, 0x80}));
    EXPECT_EQ(ctx->FeedAmount, 0);
    EXPECT_EQ(ctx->FirstScanPending, 0);

    FormatBufList(ctx);
    ctx->FeedAmount = 40;
    ASSERT_EQ(setCommand_A2470(ctx, &scan, hv), 0);
    EXPECT_EQ(frames(output()).at(0).letter, 'n') << "later feeds";
}

TEST_F(ScanCommands, LastBlockIsTrimmedByBlankColumnGroups) {
    const int nozzles = 160, block = 20 * 128;
    std::vector<uint8_t> source(block, 0);
    source[2 * nozzles * 3] = 0x01;  // something in the fourth 16-column group
    std::vector<uint8_t> out(2 * block);
    BufListNode node{};
    node.BufTop = node.BufPtr = out.data();
    const int16_t last = comp_hvbuf(&node, source.data(), block, nozzles, 1);
    const int16_t full = comp_hvbuf(&node, source.data(), block, nozzles, 0);
    EXPECT_LT(last, full);
    std::vector<uint8_t> blank(block, 0);
    EXPECT_EQ(comp_hvbuf(&node, blank.data(), block, nozzles, 1), 0);
    EXPECT_EQ(comp_hvbuf(&node, nullptr, block, nozzles, 0), 0);
    EXPECT_EQ(node.BufPtr - out.data(), last + full);
}

TEST_F(ScanCommands, PowerMonitorPathSendsTwoHalves) {
    ctx->PrintMode = 1;
    ctx->FeedAmount = 10;
    ctx->FirstScanPending = 1;
    scan.ScanLeft = 0;
    scan.ScanRight = 128;
    scan.ScanRight = 104;
    fill(3, 0xFF);
    ASSERT_EQ(setCommand_PM(ctx, &scan, hv), 0);
    EXPECT_EQ(scan.BlockMode, 2u);
    const auto f = frames(output());
    std::string letters;
    for (const auto& x : f) letters += x.letter;
    EXPECT_EQ(letters, "mopps" "opps");
    EXPECT_EQ(f[1].body, f[5].body);
    EXPECT_EQ(f[2].body, f[6].body);
    const Bytes& first = f[4].body;
    const Bytes& second = f[8].body;
    EXPECT_EQ(Bytes(first.end() - 3, first.end()), (Bytes{0xE2, 0x00, 0x80})) << "parity 1 excluded";
    EXPECT_EQ(Bytes(second.begin(), second.begin() + 3), (Bytes{0xE2, 0x00, 0x80})) << "parity 0 excluded";
    EXPECT_GT(first.size(), 6u);
    EXPECT_GT(second.size(), 6u);
}

// A scan goes out whole or not at all: when a new output block cannot be had
// for its feed, its scan or nozzle information or its data, the output ends
// before the scan, and the failure is remembered for the producing call.
TEST_F(ScanCommands, OutOfMemoryTakesTheScanBack) {
    // A block takes at most 32,765 bytes; the feed frame is 13 bytes, "o" 20, each "p" 13.
    const struct {
        const char* needsNewBlock;
        int32_t written;  // output before the scan
    } cases[] = {{"feed", 32753}, {"scan information", 32740}, {"nozzle information", 32725}, {"data", 30000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.needsNewBlock);
        FormatBufList(ctx);
        ctx->OutputFailure = 0;
        ctx->PrintMode = 1;
        ctx->FeedAmount = 10;
        ctx->FirstScanPending = 1;
        scan.ScanLeft = 0;
        scan.ScanRight = 128 * 20;
        if (hv[3][0] == 0) fill(3, 0x5A);
        ctx->BufList.BufPtr += c.written;
        kz::platform::failAllocation(1, true);
        EXPECT_EQ(setCommand_A2470(ctx, &scan, hv), -108);
        kz::platform::resetFaults();
        EXPECT_EQ(ctx->BufList.BufPtr - ctx->BufList.BufTop, c.written) << "the output ends before the scan";
        EXPECT_EQ(ctx->FeedAmount, 10) << "its feed goes with the next scan";
        EXPECT_EQ(ctx->FirstScanPending, 1);
        EXPECT_EQ(ctx->OutputFailure, -108);
    }
}

TEST_F(ScanCommands, SmearLevelsAndBands) {
    struct Case { uint32_t most; int16_t level; };
    for (const Case c : {Case{5799, 0}, Case{5800, 1}, Case{8959, 1}, Case{8960, 2}}) {
        std::memset(ctx->SmearDotCount, 0, sizeof ctx->SmearDotCount);
        ctx->SmearDotCount[19][33] = c.most;
        EXPECT_EQ(GetDotCountLevel(ctx, 1), c.level) << c.most;
        EXPECT_EQ(GetDotCountLevel(ctx, 0), 0);
    }
    ctx->QualityIndex = 2;
    ctx->MediaIndex = 10;
    ctx->CurLineNo = 1121;  // two bands
    setCommand_Smear(ctx);
    auto f = frames(output());
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[1].body, (Bytes{0x01, 0x05}));
    FormatBufList(ctx);
    ctx->CurLineNo = 100000;  // more bands than the counters hold
    setCommand_Smear(ctx);
    EXPECT_EQ(frames(output()).size(), 13u);
}

TEST_F(ScanCommands, BorderlessCount) {
    for (auto [amount, count] : {std::pair{21.76, 10u}, std::pair{0.0, 0u}, std::pair{2.176 * 1000 + 1, 1000u}}) {
        FormatBufList(ctx);
        ctx->NoEdgeDotAmount = amount;
        ASSERT_EQ(setCommand_noEdgeCnt(ctx), 0);
        const Bytes body = frames(output()).at(0).body;
        ASSERT_EQ(body.size(), 8u);
        EXPECT_EQ(Bytes(body.begin(), body.begin() + 4), (Bytes{0, 0, 0, 0}));
        EXPECT_EQ(body[4] | body[5] << 8 | body[6] << 16 | body[7] << 24, static_cast<int>(count));
    }
}

TEST_F(ScanCommands, HeatTriggerByPassAndDirection) {
    scan.ScanPassIndex = 2;
    HapsFrame frame{};
    setCommand_HeatTrigger_A2470(ctx, &scan, &frame);
    ctx->ScanDir = 1;
    setCommand_HeatTrigger_A2470(ctx, &scan, &frame);
    const auto f = frames(output());
    EXPECT_EQ(f[0].body, (Bytes{0xC0, 0x12, 2}));
    EXPECT_EQ(f[1].body, (Bytes{0xC0, 0x12, 5}));
}

}  // namespace
