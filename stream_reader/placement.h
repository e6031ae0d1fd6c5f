// Where the dots of a scan land, page by page: on the paper (the preview's
// view), or at their scan columns and feed lines (the stream's own geometry,
// for diagnosing).  head.h says what the printer knows that the stream does
// not.
#pragma once

#include <cstdint>
#include <vector>

#include "stream_reader/stream.h"

namespace kzinspect {

enum class View {
    // Pixels and lines of 600 dpi from the paper's top left corner: each
    // row's column offset removed, lines where the raster had them.
    Paper,
    // Scan columns (each ink still carrying its offset on the head, at 300
    // columns per inch on draft pages) and lines as the feeds add up.
    Stream,
};

// One nozzle column of a scan, placed.  Nozzle n prints line `line + 2n`.
// Firing position f, counted as the data blocks count it (from the scan's
// start, in firing order), covers the `width` pixels from x = `x + step f`.
struct ColumnPlace {
    int64_t line = 0;
    int64_t x = 0;
    int step = 1;
    int width = 1;
};

// Follows one page's feeds and what the printer makes of them.
class Placer {
  public:
    explicit Placer(View view) : view_(view) {}

    void startPage(const Page& page);
    // Adds the scan's feed.  True when where it prints depends on the first
    // of its rows that has a dot: pass that row to firstRow() before place().
    bool startScan(const Page& page, const Scan& scan);
    void firstRow(int row);
    ColumnPlace place(const Scan& scan, const NozzleCommand& column) const;

    // The scan row of nozzle n of `column`: 2n plus this.
    static int rowParity(const Scan& scan, const NozzleCommand& column);
    // Each raster line fills two rows: draft, and standard quality on plain
    // paper (the page's quality byte 0 or 1 with one-pass scans).
    bool doubledLines(const Scan& scan) const;
    bool columns300() const { return columns300_; }
    bool borderless() const { return borderless_; }

  private:
    View view_;
    bool borderless_ = false;
    bool columns300_ = false;
    uint8_t quality_ = 0;
    int64_t feed_ = 0;        // half raster lines, this page so far
    int64_t shortFeeds_ = 0;  // lines the printer added after short feeds
    bool bottomEdge_ = false;
    bool kickedOff_ = false;
};

// A StreamListener that places each scan's nozzle columns and hands its
// blocks' codes on with their places.  A scan whose place waits for its
// first row with a dot is held back, its codes copied, until it ends.
class PlacingListener : public StreamListener {
  public:
    explicit PlacingListener(View view) : placer_(view) {}

  protected:
    virtual void pageBegins(size_t /*index*/, const Page& /*page*/) {}
    // `places` has one entry per nozzle column of the scan; its segments follow.
    virtual void scanPlaced(const Scan& scan, const std::vector<ColumnPlace>& places) = 0;
    virtual void segmentPlaced(const Scan& scan, size_t column, int block, Bytes codes) = 0;
    virtual void pageEnds(size_t /*index*/, const Page& /*page*/) {}
    const Placer& placer() const { return placer_; }
    const std::vector<ColumnPlace>& places() const { return places_; }

  private:
    void pageStarted(size_t index, const Page& page) final;
    void scanStarted(const Page& page, const Scan& scan) final;
    void segmentRead(const Scan& scan, size_t column, int block, Bytes codes) final;
    void scanEnded(const Page& page, const Scan& scan) final;
    void pageEnded(size_t index, const Page& page) final;
    void placeScan(const Scan& scan);

    struct HeldSegment {
        size_t column;
        int block;
        size_t at, size;  // in held_
    };
    Placer placer_;
    std::vector<ColumnPlace> places_;
    bool holding_ = false;
    int firstRow_ = 0;
    std::vector<uint8_t> held_;
    std::vector<HeldSegment> heldSegments_;
};

}  // namespace kzinspect
