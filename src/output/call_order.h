// Call-order state machine: where a job stands, and whether a call may come now.
//
// Every guarded job call asks CheckPrevStatus with its event first, does its
// work, and records the event with SetCurrentStatus only once the work has
// succeeded, so a call that fails halfway leaves the state as it was.
#pragma once

#include <cstdint>

#include "kzrqo317/export.h"
#include "kzrqo317/records.h"

namespace kz {

// Events: one per kind of guarded call.
enum CallEvent : std::int16_t {
    kEventInitJob = 1,   // OutputInitTwo
    kEventInitPage = 3,  // OutputInitPart
    kEventProduce = 4,   // OutputProduceTwo
    kEventComplete = 5,  // OutputComplete
    kEventFlush = 6,     // OutputFlush
    kEventFormFeed = 8,  // OutputFormFeed
};
inline constexpr std::int16_t kLastEvent = 10;

}  // namespace kz

extern "C" {

struct StatusRecord {
    uint16_t Status;      // 0..7 on cut-sheet paper, 8..19 on banner paper
    uint16_t BannerMode;  // 1 once the job has switched to the banner rules
};

// All take the address of the context's StatusHandle.
KZ_EXPORT int16_t OpenStatus(uint32_t* statusHandle);
KZ_EXPORT int16_t ConvCut2BannerStatus(uint32_t* statusHandle, const PrintInfo* info);
KZ_EXPORT int16_t CheckPrevStatus(uint32_t* statusHandle, int16_t event);
KZ_EXPORT int16_t SetCurrentStatus(uint32_t* statusHandle, int16_t event);
KZ_EXPORT int16_t CloseStatus(uint32_t* statusHandle);

}  // extern "C"
