#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "output/output.h"

namespace {

struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    uint16_t pending;   // PageStartPending
    uint16_t expected;  // NativeSetValue afterwards, starting from 0xEE
};

class NativeScan : public ::testing::TestWithParam<Case> {};

TEST_P(NativeScan, FindsThePageSetting) {
    const Case& c = GetParam();
    auto ctx = std::make_unique<OutputContext>();
    ctx->PageStartPending = c.pending;
    ctx->NativeSetValue = 0xEE;
    // An exact-size heap copy, so that a read past the end trips the sanitizer.
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[c.bytes.size() + 1]);
    std::copy(c.bytes.begin(), c.bytes.end(), bytes.get());
    OutputSystemNode node{0, 0, static_cast<int32_t>(c.bytes.size()), bytes.get(), nullptr};
    AnalyzeNative(ctx.get(), &node);
    EXPECT_EQ(ctx->NativeSetValue, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, NativeScan,
    ::testing::Values(
        Case{"taken_per_page", {0x1B, 0x28, 0x71, 0x01, 0x00, 0x05}, 1, 5},
        Case{"ignored_at_job_start", {0x1B, 0x28, 0x71, 0x01, 0x00, 0x05}, 0, 0xEE},
        Case{"square_bracket", {0x1B, 0x5B, 0x71, 0x02, 0x00, 0x07, 0x09}, 1, 7},
        Case{"zero_length_not_taken", {0x1B, 0x28, 0x71, 0x00, 0x00, 0x05}, 1, 0xEE},
        Case{"cut_after_length", {0x1B, 0x28, 0x71, 0x01}, 1, 0xEE},
        Case{"cut_before_parameter", {0x1B, 0x28, 0x71, 0x01, 0x00}, 1, 0xEE},
        Case{"esc_at_end", {0x00, 0x1B}, 1, 0xEE},
        Case{"skips_other_framed_commands",
             {0x1B, 0x28, 0x71 + 1, 0x02, 0x00, 0x1B, 0x28, 0x1B, 0x28, 0x71, 0x01, 0x00, 0x03}, 1, 3},
        Case{"two_byte_escape_then_q", {0x1B, 0x40, 0x1B, 0x28, 0x71, 0x01, 0x00, 0x09}, 1, 9},
        Case{"last_setting_wins",
             {0x1B, 0x28, 0x71, 0x01, 0x00, 0x01, 0x1B, 0x28, 0x71, 0x01, 0x00, 0x02}, 1, 2},
        Case{"length_past_end", {0x1B, 0x28, 0x41, 0xFF, 0xFF, 0x1B, 0x28, 0x71, 0x01, 0x00, 0x04}, 1, 0xEE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OutputSystem, HostileChainsAreBoundedAndSkipped) {
    auto ctx = std::make_unique<OutputContext>();
    ctx->PageStartPending = 1;
    const uint8_t q[] = {0x1B, 0x28, 0x71, 0x01, 0x00, 0x06};
    OutputSystemNode negative{0, 0, -5, q, nullptr};
    OutputSystemNode null{0, 0, 6, nullptr, &negative};
    OutputSystemNode other{7, 0, 6, q, &null};  // unknown kind: skipped
    OutputSystemNode cyclic{1, 0, 6, q, nullptr};
    cyclic.Next = &cyclic;
    PrintInfo info{};
    info.OutputSystem = &other;
    AnalyzeOutputSystem(ctx.get(), &info);
    EXPECT_EQ(ctx->NativeSetValue, 0);
    info.OutputSystem = &cyclic;
    AnalyzeOutputSystem(ctx.get(), &info);  // must return
    OutputSystemNode native{0, 0, 6, q, &cyclic};
    info.OutputSystem = &native;
    AnalyzeOutputSystem(ctx.get(), &info);
    EXPECT_EQ(ctx->NativeSetValue, 6);
}

TEST(Registration, DefaultsByMarginSetting) {
    auto ctx = std::make_unique<OutputContext>();
    for (int16_t margin : {0, 1, 2}) {
        ctx->MarginInfo = margin;
        setDefaultReg(ctx.get());
        const int16_t shift = margin == 1 ? 0 : 256;
        EXPECT_EQ(ctx->ColorOffsetReg[3][1][0], 689 + shift);
        EXPECT_EQ(ctx->ColorOffsetReg[3][1][1], 689 + shift);
        EXPECT_EQ(ctx->ColorOffsetReg[0][0][1], 258 + shift);
        EXPECT_EQ(ctx->ColorOffsetReg[6][1][0], 205 + shift);
        EXPECT_EQ(ctx->ColorOffsetReg[5][0][0], 128 + shift);
    }
}

}  // namespace
