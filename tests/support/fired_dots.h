// The dots a command stream fires, nozzle by nozzle, read with the stream
// inspector's reader: for every scan and ink, each dot's nozzle row and
// scan column.
//
// Layout of a block segment (one nozzle column of one ink): column groups of
// 16 pixels, each group two bytes per nozzle; the first byte holds the group's
// first 8 pixels in firing order.  Forward, the most significant bit is the
// leftmost pixel and firing starts at the scan's left edge; backward, firing
// starts at the right edge and bit 0 of each byte is the first fired (the
// leftmost bit still stands for the leftmost pixel).  Nozzle n of the column
// of parity c prints scan row 2n + c, or 2n + 1 - c for the colours printed
// through the upper slots (scan information flag 1).
#pragma once

#include <cstdint>
#include <vector>

#include "stream_reader/segment.h"
#include "stream_reader/stream.h"

namespace kz::test {

struct FiredDot {
    int16_t row;     // nozzle row of the scan
    int32_t column;  // scan column (pixel of the line plus the column's offset)
    int8_t parity;
};

// The dots of one ink in one scan.
struct InkScan {
    size_t page = 0;
    size_t scan = 0;  // within its page
    int ink = 0;
    bool upper = false;
    bool backward = false;
    int rows = 0;  // nozzle rows of the scan
    std::vector<FiredDot> dots;
};

inline std::vector<InkScan> firedDots(const kzinspect::Stream& stream) {
    std::vector<InkScan> result;
    // The scans in stream order, with their pages.
    struct Where {
        size_t page, scan;
    };
    std::vector<Where> scans;
    for (size_t p = 0; p < stream.pages.size(); ++p)
        for (size_t s = 0; s < stream.pages[p].scans.size(); ++s) scans.push_back({p, s});

    size_t next = 0;         // the next scan's index in `scans`
    size_t firstOfScan = 0;  // this scan's first entry in `result`
    const kzinspect::Scan* scan = nullptr;
    std::vector<uint8_t> decoded;
    for (const kzinspect::FrameRecord& record : stream.frames) {
        const kzinspect::Frame& frame = record.frame;
        if (frame.letter == 'o') {
            if (next >= scans.size()) break;
            const Where w = scans[next++];
            scan = &stream.pages[w.page].scans[w.scan];
            firstOfScan = result.size();
            for (size_t j = 0; j < scan->columns.size(); j += 2) {
                InkScan ink;
                ink.page = w.page;
                ink.scan = w.scan;
                ink.ink = scan->columns[j].command.ink;
                ink.upper = scan->info.flag == 1;
                ink.backward = scan->info.backward();
                ink.rows = scan->columns[j].command.rows * 32;
                result.push_back(std::move(ink));
            }
            continue;
        }
        if (frame.letter != 's' || scan == nullptr) continue;
        for (size_t j = 0; j < record.segments.size() && j < scan->columns.size(); ++j) {
            const kzinspect::NozzleCommand& column = scan->columns[j].command;
            const size_t at = record.segments[j].offset - frame.bodyOffset();
            size_t after = 0;
            kzinspect::Error error;
            if (!kzinspect::decodeSegment(frame.body, at, frame.bodyOffset(),
                                          static_cast<size_t>(column.blockBytes()), decoded, after, error)) {
                continue;  // the reader accepted it already; nothing else can be wrong here
            }
            InkScan& ink = result[firstOfScan + j / 2];
            const size_t groupBytes = static_cast<size_t>(column.groupBytes());
            for (size_t i = 0; i < decoded.size(); ++i) {
                const unsigned byte = decoded[i];
                if (byte == 0) continue;
                const size_t group = i / groupBytes;
                const size_t within = i % groupBytes;
                const int nozzle = static_cast<int>(within / 2);
                const int row = ink.upper ? 2 * nozzle + 1 - column.parity : 2 * nozzle + column.parity;
                const int base = record.block * kzinspect::kBlockColumns +
                                 static_cast<int>(group) * kzinspect::kGroupColumns + static_cast<int>(within % 2) * 8;
                for (int bit = 0; bit < 8; ++bit) {
                    if ((byte & (1u << bit)) == 0) continue;
                    const int fired = base + (ink.backward ? bit : 7 - bit);
                    const int columnAt = ink.backward ? scan->right - 1 - fired : scan->left + fired;
                    ink.dots.push_back({static_cast<int16_t>(row), columnAt, static_cast<int8_t>(column.parity)});
                }
            }
        }
    }
    return result;
}

}  // namespace kz::test
