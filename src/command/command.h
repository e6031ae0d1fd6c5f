// Printer command generation: command frames and the page-end reports.
#pragma once

#include <cstdint>

#include "kzrqo317/export.h"
#include "output/context.h"

extern "C" {

// One command being assembled: the ten header bytes of its frame
// (ESC "(" "z", length, head type, 0, class, letter), then its body's address.
struct HapsFrame {
    uint8_t Header[10];
    const uint8_t* Body;
};

// Fills the length, letter and body of "H", "N", "a", "b", "d", "f", "h", "r", "m", "n".
KZ_EXPORT int16_t makeHAPS(uint8_t letter, OutputContext* ctx, HapsFrame* frame);
// Appends one frame to the output; 0, or -108 with nothing appended.
KZ_EXPORT int16_t sendHAPS(OutputContext* ctx, HapsFrame* frame);

// Page-end reports.
KZ_EXPORT void setCommand_Smear(OutputContext* ctx);
KZ_EXPORT int16_t setCommand_noEdgeCnt(OutputContext* ctx);

}  // extern "C"
