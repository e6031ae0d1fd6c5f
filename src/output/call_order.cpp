#include "output/call_order.h"

#include <span>

#include "kzrqo317/platform.h"
#include "kzrqo317/tables.h"

namespace {

constexpr uint16_t kClosing = 0xFFFF;
constexpr int16_t kRefused = -256;  // out of order
constexpr int16_t kNever = -1;      // never allowed on this paper, or no record

constexpr StatusTransition row(uint16_t prior, uint16_t next) { return {prior, next, 0, 0}; }
constexpr StatusTransition closing(int16_t result) { return {kClosing, kClosing, result, 0}; }

// Every offset points into its table, and every run it starts ends in a closing row.
template <std::size_t N, std::size_t M>
constexpr bool runsAreClosed(const int16_t (&offsets)[N], const StatusTransition (&rows)[M]) {
    for (int16_t first : offsets) {
        if (first < 0 || static_cast<std::size_t>(first) >= M) return false;
        std::size_t i = static_cast<std::size_t>(first);
        while (i < M && rows[i].Prior != kClosing) ++i;
        if (i == M) return false;
    }
    return true;
}

}  // namespace

//                                    event: 0  1  2  3  4  5  6   7   8   9   10
constexpr int16_t CutPaperOffset[11] = {0, 2, 4, 5, 7, 9, 13, 16, 21, 21, 19};

constexpr StatusTransition CutPaperTable[22] = {
    row(0, 1), closing(kRefused),                                  // event 0
    row(1, 2), closing(kRefused),                                  // 1: OutputInitTwo
    closing(kRefused),                                             // 2
    row(2, 3), closing(kRefused),                                  // 3: OutputInitPart
    row(3, 4), closing(kRefused),                                  // 4: OutputProduceTwo
    row(4, 3), row(5, 6), row(7, 2), closing(kRefused),            // 5: OutputComplete
    row(3, 7), row(6, 7), closing(kRefused),                       // 6: OutputFlush
    row(3, 5), row(6, 5), closing(kRefused),                       // 7
    row(2, 0), closing(kRefused),                                  // 10
    closing(kNever),                                               // 8 and 9
};

constexpr int16_t BannerPaperOffset[11] = {0, 2, 4, 5, 7, 9, 15, 18, 21, 24, 27};

constexpr StatusTransition BannerPaperTable[31] = {
    row(8, 9), closing(kRefused),                                          // event 0
    row(9, 10), closing(kRefused),                                         // 1: OutputInitTwo
    closing(kRefused),                                                     // 2
    row(10, 11), closing(kRefused),                                        // 3: OutputInitPart
    row(11, 12), closing(kRefused),                                        // 4: OutputProduceTwo
    row(12, 11), row(13, 14), row(15, 10), row(17, 18), row(16, 19),       // 5: OutputComplete
    closing(kRefused),
    row(10, 16), row(18, 16), closing(kRefused),                           // 6: OutputFlush
    row(10, 17), row(18, 17), closing(kRefused),                           // 7
    row(11, 15), row(14, 15), closing(kRefused),                           // 8: OutputFormFeed
    row(11, 13), row(14, 13), closing(kRefused),                           // 9
    row(9, 8), row(19, 8), closing(kRefused),                              // 10
    closing(kNever),                                                       // no event
};

static_assert(sizeof(CutPaperTable) == 176 && sizeof(BannerPaperTable) == 248);
static_assert(sizeof(CutPaperOffset) == 22 && sizeof(BannerPaperOffset) == 22);
static_assert(runsAreClosed(CutPaperOffset, CutPaperTable));
static_assert(runsAreClosed(BannerPaperOffset, BannerPaperTable));

namespace {

StatusRecord* lockStatus(const uint32_t* statusHandle) {
    if (statusHandle == nullptr) return nullptr;
    return static_cast<StatusRecord*>(KRVSLockHNDL(*statusHandle));
}

// The row where the search for `event` stops: the match, or the closing row.
const StatusTransition* findRow(const StatusRecord& record, int16_t event) {
    const bool banner = record.BannerMode != 0;
    const std::span<const StatusTransition> rows =
        banner ? std::span<const StatusTransition>(BannerPaperTable)
               : std::span<const StatusTransition>(CutPaperTable);
    const int16_t* offsets = banner ? BannerPaperOffset : CutPaperOffset;
    for (std::size_t i = static_cast<std::size_t>(offsets[event]); i < rows.size(); ++i) {
        if (rows[i].Prior == record.Status || rows[i].Prior == kClosing) return &rows[i];
    }
    return nullptr;  // unreachable: every run is closed (checked at compile time)
}

bool validEvent(int16_t event) { return event >= 0 && event <= kz::kLastEvent; }

}  // namespace

int16_t OpenStatus(uint32_t* statusHandle) {
    const uint32_t handle = KRVSNewHNDL(sizeof(StatusRecord));
    if (handle == 0) return kNever;
    auto* record = static_cast<StatusRecord*>(KRVSLockHNDL(handle));
    record->Status = 1;
    record->BannerMode = 0;
    KRVSUnlockHNDL(handle);
    *statusHandle = handle;
    return 0;
}

int16_t ConvCut2BannerStatus(uint32_t* statusHandle, const PrintInfo* info) {
    StatusRecord* record = lockStatus(statusHandle);
    if (record == nullptr || record->Status != 1) return kNever;
    if (info != nullptr && info->BannerPaper == 1) {
        record->BannerMode = 1;
        record->Status = 9;
    }
    return 0;
}

int16_t CheckPrevStatus(uint32_t* statusHandle, int16_t event) {
    const StatusRecord* record = lockStatus(statusHandle);
    if (record == nullptr || !validEvent(event)) return kNever;
    const StatusTransition* found = findRow(*record, event);
    return found->Prior == kClosing ? found->Result : 0;
}

int16_t SetCurrentStatus(uint32_t* statusHandle, int16_t event) {
    StatusRecord* record = lockStatus(statusHandle);
    if (record == nullptr || !validEvent(event)) return kNever;
    const StatusTransition* found = findRow(*record, event);
    if (found->Prior == kClosing) return kNever;
    record->Status = found->Next;
    return 0;
}

int16_t CloseStatus(uint32_t* statusHandle) {
    KRVSDisposeHNDL(statusHandle);
    return 0;
}
