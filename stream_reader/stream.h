// Reading a whole command stream the way the printer does: frames, pages,
// scans, data segments, and the dots each nozzle column fires.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "stream_reader/command.h"
#include "stream_reader/frame.h"

namespace kzinspect {

struct ColumnDots {
    int column;  // scan column, in pixels of the raster line plus the column's offset
    uint32_t dots;
};

// One nozzle column of a scan ("p") and the data it received in the scan's blocks.
struct NozzleColumn {
    size_t offset = 0;  // of the "p" frame
    NozzleCommand command;
    uint64_t dots = 0;
    uint64_t codeBytes = 0;  // PackBits bytes, terminators excluded
    uint64_t decodedBytes = 0;
    std::vector<ColumnDots> histogram;  // columns that fired, ascending
};

// The feed before a scan: one command, or several when it is longer than
// one carries (all but the last of the longest amount).
inline constexpr uint16_t kLongestFeed = 0xFFFF;
struct Feed {
    size_t offset = 0;   // of its first command
    uint8_t letter = 0;  // 'm' for the page's first feed, 'n' after
    uint32_t amount = 0;  // half raster lines, all its commands together
    int commands = 1;
    uint16_t last = 0;  // amount of its last command
};

struct Scan {
    size_t offset = 0;  // of the "o" frame
    std::optional<Feed> feed;
    ScanInfoCommand info;
    std::optional<uint8_t> heatTrigger;
    std::vector<NozzleColumn> columns;
    int blocksRead = 0;
    // Pixel edges recovered from the start and end columns: `right` is
    // exclusive. `divisor` is 4 on 300-resolution pages and 2 otherwise; the
    // columns carry a margin of 16, 32 (forward) or 64 (backward) divided by
    // it, and a backward scan with a heat trigger starts one column later.
    int divisor = 2;
    int left = 0;
    int right = 0;
    // The edges are multiples of 8 pixels. Pages of some paper sizes move
    // every column right by 142 / divisor, which breaks that; when only the
    // shifted reading gives multiples of 8 it is taken and `paperShift` set.
    bool paperShift = false;
    bool edgesAligned = false;  // one of the two readings gave multiples of 8
};

struct Page {
    size_t offset = 0;                  // of its "H"
    bool blank = false;                 // the form of a page that received no ink
    bool ended = false;                 // closed by "N"; banner pages may run into the next "H"
    uint16_t resolution2 = 0;           // second value of "d": 300 or 600
    std::array<uint8_t, 7> settings{};  // "h" body
    uint8_t settingB = 0;
    uint8_t paperLoading = 0;
    std::optional<uint32_t> kickOff;
    std::optional<uint16_t> blankFeed;  // "m" of the blank form
    std::vector<Scan> scans;
    std::vector<uint8_t> smearLevels;  // by band
    std::optional<uint32_t> borderlessCount;
};

struct SegmentSummary {
    size_t offset = 0;
    int ink = 0;
    int parity = 0;
    size_t codeBytes = 0;
    size_t decodedBytes = 0;
    uint64_t dots = 0;
};

struct FrameRecord {
    Frame frame;
    int block = -1;                        // for "s": the block's index within its scan
    std::vector<SegmentSummary> segments;  // for "s": one per nozzle column
};

struct Stream {
    size_t bytes = 0;
    std::vector<FrameRecord> frames;  // every frame read before the first error
    std::vector<Page> pages;
    std::optional<Error> error;  // the first fault; reading stops there
    bool ok() const { return !error.has_value(); }
};

// Reads `bytes` completely or up to its first fault. The frames keep views
// into `bytes`, which must outlive the result.
Stream inspect(Bytes bytes);

// Told what a StreamReader finds as it finds it: what a preview needs to draw
// a page while its bytes are still being written.  The references are valid
// during the call only.
class StreamListener {
  public:
    virtual ~StreamListener() = default;
    // Page `index` (from 0) has its set-up; a blank form comes whole.
    virtual void pageStarted(size_t /*index*/, const Page& /*page*/) {}
    // The scan's feed, nozzle columns and pixel edges are known; its blocks follow.
    virtual void scanStarted(const Page& /*page*/, const Scan& /*scan*/) {}
    // The PackBits codes of block `block` of nozzle column `column` of the
    // scan, checked, without their terminator (forEachRun reads them; they
    // decode to the layout addDots reads).
    virtual void segmentRead(const Scan& /*scan*/, size_t /*column*/, int /*block*/,
                             Bytes /*codes*/) {}
    virtual void scanEnded(const Page& /*page*/, const Scan& /*scan*/) {}
    // The page ended: its "N", or on banner paper the next page's "H".
    virtual void pageEnded(size_t /*index*/, const Page& /*page*/) {}
};

// Reads a stream given in pieces of any size, as a printer takes it from a
// pipe.  With records (what inspect() keeps) every frame, page, scan and dot
// histogram stays in stream(); their frames view the written bytes, which
// must outlive the reader.  Without records only the page and scan being
// read are kept, whatever the stream's length.
class StreamReader {
  public:
    explicit StreamReader(StreamListener* listener = nullptr, bool keepRecords = false);
    ~StreamReader();
    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;

    // Reads the next bytes.  False once the stream has a fault (stream().error
    // says which and where); later bytes are ignored.
    bool write(Bytes bytes);
    // The stream ends here: false when it has a fault, or ends inside a
    // frame, page or scan.
    bool finish();
    const Stream& stream() const;
    // Hands over what was read; the reader keeps nothing.
    Stream release();
    size_t pagesStarted() const;

  private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kzinspect
