#include "planning/feed_orders.h"

#include <algorithm>

#include "planning/planning.h"

namespace kz {
namespace {

// Normal rows.                                        passes  steps
constexpr OrderRow kOnePass = /* modes 0 1 11 12 */   {1,      {640}};
constexpr OrderRow kTwoPass = /* modes 2 3 15 */      {2,      {118, 122}};
constexpr OrderRow kEightPairs = /* modes 4 8 */      {8,      {62, 0, 60, 0, 58, 0, 60, 0}};
constexpr OrderRow kFourPass = /* mode 5 */           {4,      {62, 60, 58, 60}};
constexpr OrderRow kSixPass = /* mode 6 */            {6,      {42, 40, 38, 42, 40, 38}};
constexpr OrderRow kSixPassAlternating = /* 7 */      {6,      {42, 38, 42, 38, 42, 38}};
constexpr OrderRow kTwelvePassFeed = /* mode 9 */     {12,     {21, 20, 19, 20, 21, 20, 19, 20, 21, 20, 19, 20}};
constexpr OrderRow kTwelvePassDeletion = /* 9 */      {12,     {20, 20, 20, 20, 20, 20, 20, 20, 20, 20, 20, 20}};
constexpr OrderRow kSixteenPassFeed = /* mode 10 */   {16,     {21, 0, 19, 20, 21, 0, 19, 20, 21, 0, 19, 20, 21, 0, 19, 20}};
constexpr OrderRow kSixteenPassDeletion = /* 10 */    {16,     {20, 0, 20, 20, 20, 0, 20, 20, 20, 0, 20, 20, 20, 0, 20, 20}};
constexpr OrderRow kBlackFourPass = /* mode 13 */     {4,      {162, 160, 158, 160}};
constexpr OrderRow kNarrowOnePass = /* mode 14 */     {1,      {256}};

// Edge rows: top and bottom feed (also the edge deletion row unless listed),
// and kick-off feed.
constexpr OrderRow kEdgeFour = /* mode 5 */           {4,      {22, 40, 18, 40}};
constexpr OrderRow kKickOffFour = /* mode 5 */        {4,      {22, 0, 18, 0}};
constexpr OrderRow kEdgeSix = /* mode 6 */            {6,      {22, 20, 18, 22, 20, 18}};
constexpr OrderRow kKickOffSix = /* mode 6 */         {6,      {22, 0, 18, 22, 0, 18}};
constexpr OrderRow kEdgeEightPairs = /* mode 8 */     {8,      {22, 0, 40, 0, 18, 0, 40, 0}};
constexpr OrderRow kKickOffEightPairs = /* 8 */       {8,      {22, 0, 0, 0, 18, 0, 0, 0}};
constexpr OrderRow kEdgeTwelveFeed = /* mode 9 */     {12,     {21, 0, 19, 0, 21, 0, 19, 0, 21, 0, 19, 0}};
constexpr OrderRow kKickOffTwelve = /* mode 9 */      {12,     {21, 0, 19, 0, 21, 0, 19, 0}};
constexpr OrderRow kEdgeTwelveDeletion = /* 9 */      {12,     {20, 0, 20, 0, 20, 0, 20, 0, 20, 0, 20, 0}};
constexpr OrderRow kEdgeSixteenFeed = /* mode 10 */   {16,     {21, 0, 19, 0, 21, 0, 0, 0, 19, 0, 0, 0, 21, 0, 19, 0}};
constexpr OrderRow kKickOffSixteen = /* mode 10 */    {16,     {0, 0, 0, 0, 21, 0, 0, 0, 19, 0, 0, 0, 21, 0, 19, 0}};
constexpr OrderRow kEdgeSixteenDeletion = /* 10 */    {16,     {20, 0, 20, 0, 20, 0, 0, 0, 20, 0, 0, 0, 20, 0, 20, 0}};
constexpr OrderRow kEdgeTwo = /* mode 15 */           {2,      {58, 62}};

constexpr const OrderRow* kNormalRows[] = {&kOnePass, &kTwoPass, &kEightPairs, &kFourPass, &kSixPass,
                                           &kSixPassAlternating, &kTwelvePassFeed, &kTwelvePassDeletion,
                                           &kSixteenPassFeed, &kSixteenPassDeletion, &kNarrowOnePass};
constexpr const OrderRow* kEdgeRows[] = {&kEdgeFour, &kEdgeSix, &kEdgeEightPairs, &kEdgeTwelveFeed,
                                         &kEdgeTwelveDeletion, &kEdgeSixteenFeed, &kEdgeSixteenDeletion,
                                         &kEdgeTwo};
constexpr const OrderRow* kKickOffRows[] = {&kKickOffFour, &kKickOffSix, &kKickOffEightPairs,
                                            &kKickOffTwelve, &kKickOffSixteen};

static_assert(std::all_of(std::begin(kNormalRows), std::end(kNormalRows), [](auto* r) {
    return zeroBeyondPasses(*r) && cycleSum(*r) == (r->passes == 1 ? r->steps[0] : 240);
}), "a multi-pass cycle advances 120 raster lines");
static_assert(cycleSum(kOnePass) == 640 && cycleSum(kBlackFourPass) == 640 && zeroBeyondPasses(kBlackFourPass),
              "one-pass and black four-pass cycles advance 320 raster lines");
static_assert(std::all_of(std::begin(kEdgeRows), std::end(kEdgeRows),
                          [](auto* r) { return zeroBeyondPasses(*r) && cycleSum(*r) == 120; }),
              "an edge cycle advances half a normal cycle");
static_assert(std::all_of(std::begin(kKickOffRows), std::end(kKickOffRows),
                          [](auto* r) { return zeroBeyondPasses(*r) && cycleSum(*r) < 120; }),
              "kick-off cycles put zeros in place of some edge feeds");

//                       feed                  deletion               edge feed          kick-off feed        edge deletion
constexpr ModeOrders kModeOrders[16] = {
    /*  0 */ {&kOnePass,            &kOnePass,             nullptr,           nullptr,             nullptr},
    /*  1 */ {&kOnePass,            &kOnePass,             nullptr,           nullptr,             nullptr},
    /*  2 */ {&kTwoPass,            &kTwoPass,             nullptr,           nullptr,             nullptr},
    /*  3 */ {&kTwoPass,            &kTwoPass,             nullptr,           nullptr,             nullptr},
    /*  4 */ {&kEightPairs,         &kEightPairs,          nullptr,           nullptr,             nullptr},
    /*  5 */ {&kFourPass,           &kFourPass,            &kEdgeFour,        &kKickOffFour,       &kEdgeFour},
    /*  6 */ {&kSixPass,            &kSixPass,             &kEdgeSix,         &kKickOffSix,        &kEdgeSix},
    /*  7 */ {&kSixPassAlternating, &kSixPassAlternating,  nullptr,           nullptr,             nullptr},
    /*  8 */ {&kEightPairs,         &kEightPairs,          &kEdgeEightPairs,  &kKickOffEightPairs, &kEdgeEightPairs},
    /*  9 */ {&kTwelvePassFeed,     &kTwelvePassDeletion,  &kEdgeTwelveFeed,  &kKickOffTwelve,     &kEdgeTwelveDeletion},
    /* 10 */ {&kSixteenPassFeed,    &kSixteenPassDeletion, &kEdgeSixteenFeed, &kKickOffSixteen,    &kEdgeSixteenDeletion},
    /* 11 */ {&kOnePass,            &kOnePass,             nullptr,           nullptr,             nullptr},
    /* 12 */ {&kOnePass,            &kOnePass,             nullptr,           nullptr,             nullptr},
    /* 13 */ {&kBlackFourPass,      &kBlackFourPass,       nullptr,           nullptr,             nullptr},
    /* 14 */ {&kNarrowOnePass,      &kNarrowOnePass,       nullptr,           nullptr,             nullptr},
    /* 15 */ {&kTwoPass,            &kTwoPass,             &kEdgeTwo,         &kEdgeTwo,           &kEdgeTwo},
};

constexpr bool edgeRowsMatchTheirMode() {
    for (const ModeOrders& m : kModeOrders) {
        if (m.feed->passes != m.deletion->passes) return false;
        if (m.edgeFeed == nullptr) continue;
        for (const OrderRow* r : {m.edgeFeed, m.kickOffFeed, m.edgeDeletion}) {
            if (r->passes != m.feed->passes) return false;
        }
    }
    return true;
}
static_assert(edgeRowsMatchTheirMode(), "every row of a mode has the mode's pass count");

void copyRow(const OrderRow* row, std::uint16_t* out) {
    if (row == nullptr) {
        std::fill_n(out, kOrderLength, 0);
    } else {
        std::copy(row->steps.begin(), row->steps.end(), out);
    }
}

}  // namespace

const ModeOrders& ordersOfMode(std::uint32_t printMode) {
    static constexpr ModeOrders kNoRows{};  // no print mode: every order is all zero
    return printMode < std::size(kModeOrders) ? kModeOrders[printMode] : kNoRows;
}

}  // namespace kz

// The head type is accepted for every head; only the print mode chooses the rows.
void makeFeedOrder(int16_t, uint16_t* out, uint32_t printMode) {
    kz::copyRow(kz::ordersOfMode(printMode).feed, out);
}

void makeFeedOrderTopBottom(int16_t, uint16_t* top, uint16_t* bottom, uint16_t* kickOff, uint32_t printMode) {
    const kz::ModeOrders& m = kz::ordersOfMode(printMode);
    kz::copyRow(m.edgeFeed, top);
    kz::copyRow(m.edgeFeed, bottom);
    kz::copyRow(m.kickOffFeed, kickOff);
}

void makeDeleteNzlOrder(uint16_t* out, uint32_t printMode) {
    kz::copyRow(kz::ordersOfMode(printMode).deletion, out);
}

void makeDeleteNzlOrderTopBottom(uint16_t* top, uint16_t* bottom, uint16_t* kickOff, uint32_t printMode) {
    const kz::ModeOrders& m = kz::ordersOfMode(printMode);
    kz::copyRow(m.edgeDeletion, top);
    kz::copyRow(m.edgeDeletion, bottom);
    kz::copyRow(m.edgeDeletion, kickOff);
}
