// Command bodies: the fixed values the printer insists on, and the fields a
// person or a script wants to see.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream_reader/frame.h"

namespace kzinspect {

// Columns of one data block; the printer takes no other block width.
inline constexpr int kBlockColumns = 128;
// Pixels of one column group, the unit in which a scan's last block is trimmed.
inline constexpr int kGroupColumns = 16;
// A scan buffer holds at most this many blocks.
inline constexpr int kMaxBlocks = 63;

struct Field {
    const char* name;
    int64_t value;
};

// The body's fields in order, for display. "s" shows only its data size.
std::vector<Field> decodeFields(const Frame& frame);

// Checks the body bytes that the printer fixes or limits. Returns false with
// `error` pointing at the offending byte.
bool checkBody(const Frame& frame, Error& error);

// Scan information "o". Columns are signed: a scan near the left paper edge
// starts left of column 0.
struct ScanInfoCommand {
    int16_t start = 0;  // column where the head starts firing
    int16_t end = 0;    // column where it stops; below start for a backward scan
    uint8_t speed = 0;
    uint8_t color = 0;  // 1 when a colour ink other than black has data
    uint8_t pass1 = 0;
    uint8_t pass2 = 0;
    uint8_t blocks = 0;  // data block commands that follow
    uint8_t flag = 0;
    bool backward() const { return end < start; }
    // Columns from start to end, both included.
    int span() const { return (backward() ? start - end : end - start) + 1; }
};
ScanInfoCommand readScanInfo(const Frame& frame);

// Nozzle information "p": one nozzle column of one ink.
struct NozzleCommand {
    int parity = 0;  // 0 or 1: which of the ink's two nozzle columns
    int ink = 0;     // 0 black, 1 to 3 the colours
    int nozzleField = 0;
    int rows = 0;  // 16-nozzle words per pixel column: 10, 4 or 2
    int groupBytes() const { return rows * 2 * kGroupColumns; }
    int blockBytes() const { return groupBytes() * (kBlockColumns / kGroupColumns); }
};
NozzleCommand readNozzleCommand(const Frame& frame);

}  // namespace kzinspect
