#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <numeric>
#include <vector>

#include "command/command.h"
#include "planning/planning.h"
#include "support/output_fixture.h"

namespace {

using Order = std::array<uint16_t, 16>;
constexpr int kPassNum[16] = {1, 1, 2, 2, 8, 4, 6, 6, 8, 12, 16, 1, 1, 4, 1, 2};
constexpr bool kHasEdgeRows[16] = {0, 0, 0, 0, 0, 1, 1, 0, 1, 1, 1, 0, 0, 0, 0, 1};

struct PageOrders {
    Order feed{}, del{}, top{}, bottom{}, kick{}, topDel{}, bottomDel{}, kickDel{};
    explicit PageOrders(uint32_t mode) {
        makeFeedOrder(0x2470, feed.data(), mode);
        makeFeedOrderTopBottom(0x2470, top.data(), bottom.data(), kick.data(), mode);
        makeDeleteNzlOrder(del.data(), mode);
        makeDeleteNzlOrderTopBottom(topDel.data(), bottomDel.data(), kickDel.data(), mode);
    }
};

int sum(const Order& o) { return std::accumulate(o.begin(), o.end(), 0); }
bool zeroFrom(const Order& o, int n) { return std::all_of(o.begin() + n, o.end(), [](uint16_t v) { return v == 0; }); }

// Every mode: cycle sums, zeros beyond the pass count, and how the orders relate.
TEST(FeedOrders, RuleSweepOverEveryMode) {
    for (uint32_t mode = 0; mode < 16; ++mode) {
        SCOPED_TRACE(mode);
        const PageOrders o(mode);
        const int n = kPassNum[mode];
        for (const Order* order : {&o.feed, &o.del, &o.top, &o.bottom, &o.kick, &o.topDel, &o.bottomDel, &o.kickDel}) {
            EXPECT_TRUE(zeroFrom(*order, n));
        }
        const int cycle = n == 1 ? o.feed[0] : (mode == 13 ? 640 : 240);
        EXPECT_EQ(sum(o.feed), cycle);
        EXPECT_EQ(sum(o.del), cycle);
        for (int i = 0; i < n; ++i) {
            if (mode == 9 || mode == 10) {
                // The feed varies by one half line around 20; the deletion order stays at 20.
                EXPECT_EQ(o.del[i], o.feed[i] == 0 ? 0 : 20);
                EXPECT_LE(std::abs(o.feed[i] - o.del[i]), 1);
            } else {
                EXPECT_EQ(o.del[i], o.feed[i]);
            }
        }
        EXPECT_EQ(o.top, o.bottom);
        EXPECT_EQ(o.topDel, o.bottomDel);
        EXPECT_EQ(o.topDel, o.kickDel);
        if (!kHasEdgeRows[mode]) {
            EXPECT_EQ(sum(o.top) + sum(o.kick) + sum(o.topDel), 0);
            continue;
        }
        EXPECT_EQ(sum(o.top), 120);
        EXPECT_EQ(sum(o.topDel), 120);
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(o.top[i] == 0, o.topDel[i] == 0) << "feed and deletion rest together, step " << i;
            if (mode != 15) {
                EXPECT_TRUE(o.kick[i] == 0 || o.kick[i] == o.top[i]) << i;
            }
        }
        if (mode == 15) {
            EXPECT_EQ(o.kick, o.top);
        } else {
            EXPECT_LT(sum(o.kick), 120);
        }
    }
}

TEST(FeedOrders, ExactRows) {
    EXPECT_EQ(PageOrders(12).feed, (Order{640}));
    EXPECT_EQ(PageOrders(14).feed, (Order{256}));
    EXPECT_EQ(PageOrders(7).feed, (Order{42, 38, 42, 38, 42, 38}));
    EXPECT_EQ(PageOrders(10).kick, (Order{0, 0, 0, 0, 21, 0, 0, 0, 19, 0, 0, 0, 21, 0, 19, 0}));
    EXPECT_EQ(PageOrders(9).kick, (Order{21, 0, 19, 0, 21, 0, 19, 0}));
    EXPECT_EQ(PageOrders(8).top, (Order{22, 0, 40, 0, 18, 0, 40, 0}));
    EXPECT_EQ(PageOrders(99).feed, Order{}) << "no print mode, no rows";
}

// The ordered rules, written as a decision list per variant.
enum Variant { kNormal, kTop, kBottom, kKick };
struct Flags { uint8_t limit; int32_t pos; uint16_t bottomStarted; uint32_t active, done; };

Variant expectedFeed(const Flags& f, int32_t top, int32_t bottom, bool* clears) {
    const int32_t p = 2 * f.pos + 256;
    *clears = false;
    if (f.limit == 0) return kNormal;
    if ((f.limit & 1) && p < top) return kTop;
    if ((f.limit & 4) && f.done) {
        *clears = f.active != 0;
        return f.active ? kKick : kBottom;
    }
    if ((f.limit & 4) && f.active) return kKick;
    if ((f.limit & 2) && p >= bottom && f.bottomStarted) return kBottom;
    return kNormal;
}

TEST(FeedOrders, VariantChoiceForEveryFlagCombination) {
    auto ctx = std::make_unique<OutputContext>();
    ctx->TopLimitPos = 1000;
    ctx->BottomLimitPos = 5000;
    const uint16_t* feeds[] = {ctx->FeedOrder, ctx->TopFeedOrder, ctx->BottomFeedOrder, ctx->KickOffFeedOrder};
    const uint16_t* dels[] = {ctx->DeleteNzlOrder, ctx->TopDeleteNzlOrder, ctx->BottomDeleteNzlOrder,
                              ctx->KickOffDeleteNzlOrder};
    for (uint8_t limit = 0; limit < 8; ++limit) {
        for (int32_t pos : {-200, 0, 371, 372, 373, 2371, 2372, 2373, 9000}) {
            for (int bits = 0; bits < 8; ++bits) {
                const Flags f{limit, pos, uint16_t(bits & 1), uint32_t(bits >> 1 & 1), uint32_t(bits >> 2 & 1)};
                SCOPED_TRACE(::testing::Message() << "limit " << int(limit) << " pos " << pos << " bits " << bits);
                ctx->NzlLimitFlags = limit;
                ctx->BottomStarted = f.bottomStarted;
                ctx->KickOffActive = f.active;
                ctx->KickOffDone = f.done;
                bool clears = false;
                const Variant want = expectedFeed(f, 1000, 5000, &clears);
                const Variant wantDel = (want == kKick && f.done) ? kBottom : want;
                EXPECT_EQ(setNowDeleteNzlOrder(ctx.get(), pos), dels[wantDel]);
                EXPECT_EQ(ctx->KickOffActive, f.active) << "the deletion choice never clears";
                EXPECT_EQ(setNowFeedOrder(ctx.get(), pos), feeds[want]);
                EXPECT_EQ(ctx->KickOffActive, clears ? 0u : f.active);
            }
        }
    }
}

TEST(FeedOrders, KickOffDoneReturnsTheKickOffFeedOnce) {
    auto ctx = std::make_unique<OutputContext>();
    ctx->NzlLimitFlags = 7;
    ctx->KickOffDone = ctx->KickOffActive = 1;
    EXPECT_EQ(setNowFeedOrder(ctx.get(), 9000), ctx->KickOffFeedOrder);
    EXPECT_EQ(setNowFeedOrder(ctx.get(), 9000), ctx->BottomFeedOrder);
    EXPECT_EQ(setNowDeleteNzlOrder(ctx.get(), 9000), ctx->BottomDeleteNzlOrder);
}

TEST(PageRandom, SequenceFromSeedOne) {
    auto ctx = std::make_unique<OutputContext>();
    ctx->RandSeed = 1;
    EXPECT_EQ(MyRand(ctx.get()), 41);
    EXPECT_EQ(MyRand(ctx.get()), 18467);
    EXPECT_EQ(MyRand(ctx.get()), 6334);
    for (int i = 0; i < 10000; ++i) {
        const int16_t v = MyRand(ctx.get());
        ASSERT_GE(v, 0);
    }
}

class KickOff : public kz::test::OutputFixture {};

TEST_F(KickOff, CommandCarriesThePositionPlus352) {
    ctx->KickOffPos = 13534;
    ASSERT_EQ(makeKickOffInfo(ctx), 0);
    EXPECT_EQ(output(), (std::vector<uint8_t>{0x1B, 0x28, 0x7A, 0x09, 0x00, 0x24, 0x70, 0x00, 0x00, 0x78,
                                              0x3E, 0x36, 0x00, 0x00}));
    kz::platform::failAllocation(1, true);
    ctx->BufList.BufPtr = ctx->BufList.BufTop + 32760;
    EXPECT_EQ(makeKickOffInfo(ctx), -108);
}

}  // namespace
