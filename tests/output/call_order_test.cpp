#include <gtest/gtest.h>

#include <vector>

#include "kzrqo317/platform.h"
#include "kzrqo317/tables.h"
#include "output/call_order.h"

namespace {

class CallOrder : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(OpenStatus(&handle), 0); }
    void TearDown() override {
        CloseStatus(&handle);
        EXPECT_EQ(handle, 0u);
    }
    StatusRecord& record() { return *static_cast<StatusRecord*>(KRVSLockHNDL(handle)); }
    void switchTo(uint16_t banner) {
        PrintInfo info{};
        info.BannerPaper = banner;
        ASSERT_EQ(ConvCut2BannerStatus(&handle, &info), 0);
    }
    // Walks events, each allowed and each leading to the next listed state.
    void walk(const std::vector<std::pair<int16_t, uint16_t>>& steps) {
        for (auto [event, next] : steps) {
            ASSERT_EQ(CheckPrevStatus(&handle, event), 0) << "event " << event << " in " << record().Status;
            ASSERT_EQ(SetCurrentStatus(&handle, event), 0);
            ASSERT_EQ(record().Status, next) << "after event " << event;
        }
    }
    uint32_t handle = 0;
};

TEST_F(CallOrder, FreshJobIsAtStateOne) {
    EXPECT_EQ(record().Status, 1);
    EXPECT_EQ(record().BannerMode, 0);
    EXPECT_EQ(CheckPrevStatus(&handle, 3), -256);
    EXPECT_EQ(CheckPrevStatus(&handle, 1), 0);
}

TEST_F(CallOrder, CutSheetSequence) {
    walk({{1, 2}, {3, 3}, {4, 4}, {5, 3}, {6, 7}, {5, 2}, {3, 3}});
}

TEST_F(CallOrder, BannerSequence) {
    switchTo(1);
    EXPECT_EQ(record().Status, 9);
    EXPECT_EQ(record().BannerMode, 1);
    walk({{1, 10}, {3, 11}, {4, 12}, {5, 11}, {8, 15}, {5, 10}, {6, 16}, {5, 19}});
    for (int16_t event = 0; event < 10; ++event) EXPECT_EQ(CheckPrevStatus(&handle, event), -256) << event;
    walk({{10, 8}});
}

TEST_F(CallOrder, BannerSwitchHappensOnceAndOnlyForCodeOne) {
    switchTo(2);
    EXPECT_EQ(record().Status, 1);
    switchTo(0);
    EXPECT_EQ(record().BannerMode, 0);
    switchTo(1);
    PrintInfo info{};
    info.BannerPaper = 1;
    EXPECT_EQ(ConvCut2BannerStatus(&handle, &info), -1);
    EXPECT_EQ(record().Status, 9);
}

TEST_F(CallOrder, FormFeedEventsAreNeverAllowedOnCutSheet) {
    for (uint16_t state = 0; state <= 7; ++state) {
        record().Status = state;
        for (int16_t event : {8, 9}) {
            EXPECT_EQ(CheckPrevStatus(&handle, event), -1);
            EXPECT_EQ(SetCurrentStatus(&handle, event), -1);
            EXPECT_EQ(record().Status, state);
        }
    }
}

TEST_F(CallOrder, EventTwoIsRefusedEverywhere) {
    for (uint16_t banner : {0, 1}) {
        record().BannerMode = banner;
        for (uint16_t state = 0; state <= 19; ++state) {
            record().Status = state;
            EXPECT_EQ(CheckPrevStatus(&handle, 2), -256) << state;
        }
    }
}

TEST_F(CallOrder, InvalidEventsAndMissingRecord) {
    for (int16_t event : {11, -1, 100}) {
        EXPECT_EQ(CheckPrevStatus(&handle, event), -1);
        EXPECT_EQ(SetCurrentStatus(&handle, event), -1);
    }
    EXPECT_EQ(record().Status, 1);
    uint32_t none = 0;
    EXPECT_EQ(CheckPrevStatus(&none, 1), -1);
    EXPECT_EQ(SetCurrentStatus(&none, 1), -1);
    EXPECT_EQ(ConvCut2BannerStatus(&none, nullptr), -1);
}

// Every (state, event) pair: the check allows exactly the transitions a row
// names, and a refused event leaves the state alone.
TEST_F(CallOrder, CheckAndSetAgreeForEveryStateAndEvent) {
    for (uint16_t banner : {0, 1}) {
        const StatusTransition* rows = banner ? BannerPaperTable : CutPaperTable;
        const int16_t* offsets = banner ? BannerPaperOffset : CutPaperOffset;
        for (uint16_t state = 0; state <= 19; ++state) {
            for (int16_t event = 0; event <= 10; ++event) {
                record() = {state, banner};
                int expectedNext = -1;
                for (int i = offsets[event]; rows[i].Prior != 0xFFFF; ++i) {
                    if (rows[i].Prior == state) { expectedNext = rows[i].Next; break; }
                }
                const int16_t check = CheckPrevStatus(&handle, event);
                const int16_t set = SetCurrentStatus(&handle, event);
                if (expectedNext < 0) {
                    EXPECT_LT(check, 0);
                    EXPECT_EQ(set, -1);
                    EXPECT_EQ(record().Status, state);
                } else {
                    EXPECT_EQ(check, 0);
                    EXPECT_EQ(set, 0);
                    EXPECT_EQ(record().Status, expectedNext);
                }
            }
        }
    }
}

TEST(CallOrderTables, ExportedContents) {
    const int16_t cut[11] = {0, 2, 4, 5, 7, 9, 13, 16, 21, 21, 19};
    const int16_t banner[11] = {0, 2, 4, 5, 7, 9, 15, 18, 21, 24, 27};
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(CutPaperOffset[i], cut[i]);
        EXPECT_EQ(BannerPaperOffset[i], banner[i]);
    }
    EXPECT_EQ(CutPaperTable[11].Prior, 7);
    EXPECT_EQ(CutPaperTable[11].Next, 2);
    EXPECT_EQ(CutPaperTable[21].Result, -1);
    EXPECT_EQ(BannerPaperTable[13].Prior, 16);
    EXPECT_EQ(BannerPaperTable[13].Next, 19);
    EXPECT_EQ(BannerPaperTable[29].Result, -256);
    EXPECT_EQ(BannerPaperTable[30].Result, -1);
    const auto* raw = reinterpret_cast<const uint8_t*>(CutPaperTable);
    // Row 1, the closing row of event 0: FF FF FF FF, then -256 as 00 FF, then 00 00.
    const uint8_t closingRow[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0x00, 0x00};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(raw[8 + i], closingRow[i]) << i;
}

}  // namespace
