#include <gtest/gtest.h>

#include <memory>

#include "scan/scan.h"

namespace {

struct Monitors : ::testing::Test {
    std::unique_ptr<OutputContext> ctx = std::make_unique<OutputContext>();
    ScanInfo scan{};
};

TEST_F(Monitors, PowerMonitorTripsOnADenseBlackSegment) {
    ctx->PowerMonitorInfo = 1;
    scan.ScanNzlNum = 320;
    for (auto& count : ctx->PMDotCount) count = 37615;
    EXPECT_EQ(powerMonitorJudge(ctx.get(), &scan), 0);
    ctx->PMDotCount[33] = 37616;
    EXPECT_EQ(powerMonitorJudge(ctx.get(), &scan), 1);
    ctx->PMDotCount[33] = 0xFFFF;  // read as an unsigned count
    EXPECT_EQ(powerMonitorJudge(ctx.get(), &scan), 1);
    scan.ScanNzlNum = 128;
    EXPECT_EQ(powerMonitorJudge(ctx.get(), &scan), 0) << "only 320-row scans";
    scan.ScanNzlNum = 320;
    ctx->PowerMonitorInfo = 0;
    EXPECT_EQ(powerMonitorJudge(ctx.get(), &scan), 0) << "monitor off";
}

TEST_F(Monitors, UnevennessMonitorTripsOnADenseColourSegment) {
    ctx->UnevenMonitorInfo = 1;
    scan.ScanNzlNum = 128;
    ctx->UnevenDotCount[6] = 95999;
    EXPECT_EQ(unevenMonitorJudge(ctx.get(), &scan), 0);
    ctx->UnevenDotCount[6] = 96000;
    EXPECT_EQ(unevenMonitorJudge(ctx.get(), &scan), 1);
    ctx->UnevenDotCount[6] = 0x80000000u;  // compared as a signed count
    EXPECT_EQ(unevenMonitorJudge(ctx.get(), &scan), 0);
    ctx->UnevenDotCount[0] = 96000;
    scan.ScanNzlNum = 320;
    EXPECT_EQ(unevenMonitorJudge(ctx.get(), &scan), 0) << "not for 320-row scans";
    scan.ScanNzlNum = 64;
    EXPECT_EQ(unevenMonitorJudge(ctx.get(), &scan), 1);
    ctx->UnevenMonitorInfo = 0;
    EXPECT_EQ(unevenMonitorJudge(ctx.get(), &scan), 0) << "monitor off";
}

}  // namespace
