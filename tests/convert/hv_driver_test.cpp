#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <vector>

#include "convert/convert_support.h"
#include "planning/planning.h"
#include "scan/scan.h"
#include "support/store_fixture.h"

namespace {

constexpr int16_t kPassNum[16] = {1, 1, 2, 2, 8, 4, 6, 6, 8, 12, 16, 1, 1, 4, 1, 2};

// A page of a given mode with its raster store, phase 0 for every pixel, and
// the scan steps before and around the conversion.
class Conversion : public kz::test::StoreFixture {
protected:
    void TearDown() override {
        freeScanBuffer(ctx, &scan, hv);
        kz::test::StoreFixture::TearDown();
    }

    void page(uint32_t mode, std::initializer_list<int16_t> depths, int16_t ringLines = 256) {
        for (auto& plane : ctx->Band) {
            for (BandBlock& block : plane) std::fill(std::begin(block.Line), std::end(block.Line), LineRecord{});
        }
        layStore(depths, ringLines);
        ctx->PrintMode = mode;
        ctx->PassNum = kPassNum[mode];
        ctx->NzlNum = (mode <= 1 || (mode >= 11 && mode <= 13)) ? 320 : 128;
        ctx->FirstNzl = (mode <= 2 || mode >= 11) && mode != 15 ? 0 : 4;
        ctx->LastNzl = mode == 2 ? 119 : static_cast<int16_t>(ctx->NzlNum - 1 - ctx->FirstNzl);
        ctx->MaskTbl = phases.data();
        ctx->DotCountTbl = bitCounts.data();
        ctx->RasterPos = 1000;
        makeFeedOrder(0x2470, ctx->FeedOrder, mode);
        makeDeleteNzlOrder(ctx->DeleteNzlOrder, mode);
    }

    void line(int plane, int row, uint16_t first, uint16_t count, uint8_t value) {
        storeLine(plane, ctx->RasterPos + row, first, count, value);
    }
    const LineRecord& record(int plane, int row) {
        return *kz::lineRecord(ctx, plane, ctx->RasterPos + row);
    }

    // The scan steps up to the buffers; `adjust` may change the record first.
    template <typename Adjust>
    void prepare(Adjust adjust) {
        formatScanInfo(ctx, &scan, hv);
        ASSERT_NE(datExistChk(ctx, &scan), 0);
        adjust();
        getScanWidth(ctx, &scan);
        ASSERT_EQ(allocateHVBuffer(ctx, &scan, hv), 0);
    }
    void prepare() { prepare([] {}); }

    // The two bytes of scan row `row` in 16-pixel group `group` of a slot.
    std::pair<uint8_t, uint8_t> nozzle(int slot, int row, int group = 0) {
        const auto* bytes = static_cast<const uint8_t*>(KRVSLockHNDL(hv[slot][kz::parityOf(slot, row)]));
        const size_t at = group * (scan.ScanNzlNum & ~1) + 2 * (row / 2);
        return {bytes[at], bytes[at + 1]};
    }

    std::vector<uint8_t> phases = std::vector<uint8_t>(kz::kMaskTableLength, 0);
    std::vector<uint8_t> bitCounts = kz::test::bitCountTable();
    ScanInfo scan{};
    HVBufferTable hv{};
};

using Bytes = std::pair<uint8_t, uint8_t>;

TEST_F(Conversion, RowsGoToTheirNozzleColumnAndReleaseAboveTheClearPosition) {
    page(3, {2, 2, 2, 1});
    line(3, 4, 0, 2, 0x81);   // black, nozzle 2 of column 0
    line(3, 5, 0, 2, 0x42);   // nozzle 2 of column 1
    line(0, 7, 1, 1, 0x40);   // colour 0, nozzle 3 of column 1: pixels 4..7, level 1 at pixel 4
    line(3, 64, 0, 1, 0x18);  // clear position 4 + 122 / 2 = 65: still released
    line(3, 65, 0, 1, 0x18);  // kept for the next scan
    prepare();
    HVConvert_A2470(ctx, &scan, hv);

    EXPECT_EQ(nozzle(3, 4), Bytes(0x81, 0x81));
    EXPECT_EQ(nozzle(3, 5), Bytes(0x42, 0x42));
    EXPECT_EQ(nozzle(3, 6), Bytes(0, 0));
    EXPECT_EQ(nozzle(0, 7), Bytes(0x08, 0));
    EXPECT_EQ(nozzle(3, 65), Bytes(0x18, 0));
    EXPECT_EQ(scan.SlotHasData[3], 1);
    EXPECT_EQ(scan.SlotHasData[0], 1);
    EXPECT_EQ(scan.ColorHasData, 1);
    for (int row : {4, 5, 64}) EXPECT_EQ(record(3, row).ByteCount, 0) << row;
    EXPECT_EQ(record(0, 7).ByteCount, 0);
    EXPECT_EQ(record(0, 7).FirstByte, 0);
    EXPECT_EQ(record(3, 65).ByteCount, 1);
}

TEST_F(Conversion, UpperSlotsTakeTheOtherNozzleColumn) {
    page(4, {4, 4, 4, 1});
    ctx->PassIndex = 1;  // odd scan: colours 0..2 in slots 4..6
    line(0, 4, 0, 1, 0x20);  // level 2 at pixel 0: pass pair 0 fires it at phase 0
    line(2, 9, 0, 1, 0x02);
    prepare();
    HVConvert_A2470(ctx, &scan, hv);
    EXPECT_EQ(nozzle(4, 4), Bytes(0x80, 0));
    EXPECT_EQ(static_cast<const uint8_t*>(KRVSLockHNDL(hv[4][1]))[4], 0x80) << "row 4 of slot 4: column 1";
    EXPECT_EQ(nozzle(6, 9), Bytes(0x40, 0));
    EXPECT_EQ(static_cast<const uint8_t*>(KRVSLockHNDL(hv[6][0]))[8], 0x40) << "row 9 of slot 6: column 0";
}

TEST_F(Conversion, EvenPairedScanKeepsBlackForTheNextScan) {
    // Mode 4, pass 0: colour lines clear below 4 + 0 / 2, black ones below
    // 4 + (0 + 60) / 2 = 34.
    page(4, {4, 4, 4, 1});
    for (int row : {4, 20, 33, 34}) line(3, row, 0, 1, 0xFF);
    for (int row : {4, 20}) line(1, row, 0, 1, 0x11);
    prepare();
    HVConvert_A2470(ctx, &scan, hv);
    for (int row : {4, 20, 33}) EXPECT_EQ(record(3, row).ByteCount, 0) << row;
    EXPECT_EQ(record(3, 34).ByteCount, 1);
    for (int row : {4, 20}) EXPECT_EQ(record(1, row).ByteCount, 1) << row;
}

TEST_F(Conversion, ModeTwoNarrowScansExtendBlackRows) {
    for (uint16_t parity : {0, 1}) {
        SCOPED_TRACE(parity);
        page(2, {2, 2, 2, 1});
        const int rows[] = {10, 63, 64, 119, 120, 122, 123, 124, 125, 126};
        for (int row : rows) line(3, row, 0, 2, 0xFF);
        prepare([&] {
            scan.ScanNzlNum = 128;
            scan.ScanParity = parity;
        });
        EXPECT_EQ(scan.WindowEnd, 119);
        HVConvert_A2470(ctx, &scan, hv);
        const int last = 119 + (parity == 0 ? 5 : 3);
        for (int row : rows) {
            EXPECT_EQ(nozzle(3, row), row <= last ? Bytes(0xFF, 0xFF) : Bytes(0, 0)) << row;
            EXPECT_EQ(record(3, row).ByteCount, row < 64 ? 0 : 2) << row;
        }
        freeScanBuffer(ctx, &scan, hv);
        freeOffsetBuffer(ctx);
    }
}

// Rows at or past ScanNzlNum, at the far right of a scan as wide as a buffer
// holds, are not converted: nothing is written into the next group or past
// the buffer.
TEST_F(Conversion, RowsPastTheScanAreNeverWritten) {
    for (int group : {502, 503}) {
        SCOPED_TRACE(group);
        page(2, {2, 2, 2, 1});
        line(3, 0, 0, 1, 0x01);
        for (int row = 126; row <= 132; ++row) line(3, row, 766, 2, 0xFF);
        prepare([&] {
            scan.ScanNzlNum = 128;
            scan.WindowEnd = 127;  // extended to 132 for black
        });
        scan.ScanLeft = static_cast<int16_t>(6128 + getOffsetColorCR(ctx, 3, 0, 0) - group * 16);
        HVConvert_A2470(ctx, &scan, hv);
        EXPECT_EQ(nozzle(3, 126, group), Bytes(0xFF, 0xFF));
        EXPECT_EQ(nozzle(3, 127, group), Bytes(0xFF, 0xFF));
        for (int parity : {0, 1}) {
            const auto* bytes = static_cast<const uint8_t*>(KRVSLockHNDL(hv[3][parity]));
            int set = 0;
            for (int i = 0; i < 504 * 128; ++i) set += bytes[i] != 0;
            EXPECT_EQ(set, parity == 0 ? 3 : 2) << "row 0's byte, and nozzle 63 of column " << parity;
        }
        for (int row = 128; row <= 132; ++row) EXPECT_EQ(record(3, row).ByteCount, 2) << row;
        freeScanBuffer(ctx, &scan, hv);
        freeOffsetBuffer(ctx);
    }
}

TEST_F(Conversion, BlankLinesLeaveTheSlotEmpty) {
    page(3, {2, 2, 2, 1});
    line(1, 10, 4, 6, 0x00);
    line(3, 11, 0, 1, 0x80);
    prepare();
    EXPECT_EQ(scan.SlotHasData[1], 1);
    HVConvert_A2470(ctx, &scan, hv);
    EXPECT_EQ(scan.SlotHasData[1], 0);
    EXPECT_EQ(scan.SlotHasData[3], 1);
    EXPECT_EQ(scan.ColorHasData, 0);
    EXPECT_EQ(datExistChk2(ctx, &scan), 1);
}

TEST_F(Conversion, MonitorCountsDescribeTheLatestScanOfTheirKind) {
    struct Case { uint32_t mode; uint16_t power, uneven; int16_t margin; uint16_t wantPower0, wantPower5;
                  uint32_t wantUneven0, wantUneven6; bool noEdge; };
    const Case cases[] = {
        {0, 1, 1, 0, 16, 0, 7, 7, false},   // 320 rows: power cleared and counted; unevenness kept
        {3, 1, 1, 0, 9, 9, 2, 0, false},    // 128 rows: unevenness cleared and counted; power kept
        {3, 0, 0, 1, 9, 9, 7, 7, true},     // borderless: ink outside the area
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        page(c.mode, c.mode == 0 ? std::initializer_list<int16_t>{1, 1, 1, 1}
                                 : std::initializer_list<int16_t>{2, 2, 2, 1});
        ctx->PowerMonitorInfo = c.power;
        ctx->UnevenMonitorInfo = c.uneven;
        ctx->MarginInfo = c.margin;
        ctx->NoEdgeArea[0] = ctx->NoEdgeArea[2] = 30000;
        ctx->NoEdgeDotAmount = 0;
        ctx->PMDotCount[0] = ctx->PMDotCount[5] = 9;
        ctx->UnevenDotCount[0] = ctx->UnevenDotCount[6] = 7;
        line(3, 8, 0, 2, 0xFF);
        if (c.mode != 0) line(0, 9, 0, 1, 0x50);
        prepare();
        HVConvert_A2470(ctx, &scan, hv);
        EXPECT_EQ(ctx->PMDotCount[0], c.wantPower0);
        EXPECT_EQ(ctx->PMDotCount[5], c.wantPower5);
        EXPECT_EQ(ctx->UnevenDotCount[0], c.wantUneven0);
        EXPECT_EQ(ctx->UnevenDotCount[6], c.wantUneven6);
        EXPECT_DOUBLE_EQ(ctx->NoEdgeDotAmount, c.noEdge ? 2 * 2.176 : 0.0);
        freeScanBuffer(ctx, &scan, hv);
        freeOffsetBuffer(ctx);
    }
}

}  // namespace
