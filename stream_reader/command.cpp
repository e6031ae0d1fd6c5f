#include "stream_reader/command.h"

#include "stream_reader/format.h"

namespace kzinspect {
namespace {

bool bad(Error& error, const Frame& frame, size_t at, std::string message) {
    error = {frame.bodyOffset() + at, ErrorKind::BadValue,
             formatText("'%c': ", frame.letter) + message};
    return false;
}

bool checkScanInfo(const Frame& frame, Error& error) {
    const ScanInfoCommand o = readScanInfo(frame);
    if (o.blocks < 1 || o.blocks > kMaxBlocks) {
        return bad(
            error, frame, 8,
            formatText("%u blocks, the printer takes 1 to %d", unsigned{o.blocks}, kMaxBlocks));
    }
    // The block count covers the columns from start to end, both included.
    const int needed = (o.span() + kBlockColumns - 1) / kBlockColumns;
    if (o.blocks != needed) {
        return bad(error, frame, 8,
                   formatText("%u blocks announced, but columns %d to %d need %d",
                              unsigned{o.blocks}, o.start, o.end, needed));
    }
    return true;
}

bool checkNozzle(const Frame& frame, Error& error) {
    const uint8_t id = frame.body[0];
    if ((id >> 4) != 1 && (id >> 4) != 2) {
        return bad(error, frame, 0, formatText("column byte 0x%02X: high half must be 1 or 2", id));
    }
    if ((id & 0x0F) > 3) {
        return bad(error, frame, 0, formatText("ink id %d, the head has inks 0 to 3", id & 0x0F));
    }
    const int rows = frame.body[2];
    if (rows != 2 && rows != 4 && rows != 10) {
        return bad(error, frame, 2,
                   formatText("%d rows: 64, 128 or 320 nozzles give 2, 4 or 10", rows));
    }
    return true;
}

}  // namespace

ScanInfoCommand readScanInfo(const Frame& frame) {
    const Bytes b = frame.body;
    ScanInfoCommand o;
    o.start = static_cast<int16_t>(readLe16(b, 0));
    o.end = static_cast<int16_t>(readLe16(b, 2));
    o.speed = b[4];
    o.color = b[5];
    o.pass1 = b[6];
    o.pass2 = b[7];
    o.blocks = b[8];
    o.flag = b[9];
    return o;
}

NozzleCommand readNozzleCommand(const Frame& frame) {
    const Bytes b = frame.body;
    return {(b[0] >> 4) == 2 ? 1 : 0, b[0] & 0x0F, b[1], b[2]};
}

bool checkBody(const Frame& frame, Error& error) {
    const Bytes b = frame.body;
    switch (frame.letter) {
        case 'a':
            if (b[0] != 1) return bad(error, frame, 0, formatText("value %u, expected 1", b[0]));
            return true;
        case 'd':
            if (readLe16(b, 0) != 1200) {
                return bad(
                    error, frame, 0,
                    formatText("first resolution %u, expected 1200", unsigned{readLe16(b, 0)}));
            }
            if (readLe16(b, 2) != 300 && readLe16(b, 2) != 600) {
                return bad(error, frame, 2,
                           formatText("second resolution %u, expected 300 or 600",
                                      unsigned{readLe16(b, 2)}));
            }
            return true;
        case 'f':
            if (b[0] > 2) return bad(error, frame, 0, formatText("paper loading %u > 2", b[0]));
            return true;
        case 'h':
            if (b[0] > 2) return bad(error, frame, 0, formatText("ink mode %u > 2", b[0]));
            if (b[2] != 0 && b[2] != 0x80) {
                return bad(error, frame, 2, formatText("borderless byte 0x%02X", b[2]));
            }
            if (b[3] > 4) return bad(error, frame, 3, formatText("quality %u > 4", b[3]));
            if (b[6] > 1) return bad(error, frame, 6, formatText("mode flag %u > 1", b[6]));
            return true;
        case 'r':
            if (readLe16(b, 0) != kBlockColumns) {
                return bad(error, frame, 0,
                           formatText("block width %u, expected %d", unsigned{readLe16(b, 0)},
                                      kBlockColumns));
            }
            return true;
        case 'm':
        case 'n':
            if (b[2] != 0) return bad(error, frame, 2, formatText("third byte 0x%02X", b[2]));
            return true;
        case 'o':
            return checkScanInfo(frame, error);
        case 'p':
            return checkNozzle(frame, error);
        case 'i':
            if (b[0] != 0xC0 || b[1] != 0x12) {
                return bad(error, frame, 0,
                           formatText("starts %02X %02X, expected C0 12", b[0], b[1]));
            }
            if (b[2] > 7) return bad(error, frame, 2, formatText("trigger %u > 7", b[2]));
            return true;
        case 'v':
            if (readLe32(b, 0) != 0) return bad(error, frame, 0, "first four bytes must be 0");
            return true;
        default:
            return true;
    }
}

std::vector<Field> decodeFields(const Frame& frame) {
    const Bytes b = frame.body;
    switch (frame.letter) {
        case 'a':
        case 'b':
            return {{"value", b[0]}};
        case 'd':
            return {{"resolution", readLe16(b, 0)}, {"resolution2", readLe16(b, 2)}};
        case 'f':
            return {{"paper_loading", b[0]}};
        case 'h':
            return {{"ink_mode", b[0]}, {"media", b[1]},      {"borderless", b[2] == 0x80},
                    {"quality", b[3]},  {"scan_delay", b[4]}, {"page_delay", b[5]},
                    {"mode_flag", b[6]}};
        case 'r':
            return {{"block_width", readLe16(b, 0)}};
        case 'm':
        case 'n':
            return {{"feed", readLe16(b, 0)}};
        case 'x':
            return {{"kick_off", readLe32(b, 0)}};
        case 'o': {
            const ScanInfoCommand o = readScanInfo(frame);
            return {{"start", o.start},   {"end", o.end},     {"speed", o.speed},
                    {"color", o.color},   {"pass1", o.pass1}, {"pass2", o.pass2},
                    {"blocks", o.blocks}, {"flag", o.flag}};
        }
        case 'p': {
            const NozzleCommand p = readNozzleCommand(frame);
            return {{"parity", p.parity},
                    {"ink", p.ink},
                    {"nozzle_field", p.nozzleField},
                    {"rows", p.rows}};
        }
        case 'i':
            return {{"trigger", b[2]}};
        case 'l':
            return {{"band", b[0]}, {"level", b[1]}};
        case 'v':
            return {{"count", readLe32(b, 4)}};
        case 's':
            return {{"data_bytes", static_cast<int64_t>(b.size())}};
        default:
            return {};
    }
}

}  // namespace kzinspect
