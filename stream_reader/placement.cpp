#include "stream_reader/placement.h"

#include <algorithm>
#include <cstdint>

#include "stream_reader/head.h"
#include "stream_reader/segment.h"

namespace kzinspect {

void Placer::startPage(const Page& page) {
    borderless_ = page.settings[2] == 0x80;
    columns300_ = page.resolution2 == 300;
    quality_ = page.settings[3];
    feed_ = 0;
    shortFeeds_ = 0;
    bottomEdge_ = false;
    kickedOff_ = false;
}

bool Placer::doubledLines(const Scan& scan) const {
    return quality_ <= 1 && scan.info.pass1 == 1;
}

bool Placer::startScan(const Page& page, const Scan& scan) {
    if (scan.feed) feed_ += scan.feed->amount;
    if (view_ == View::Stream || scan.columns.empty()) return false;
    const int rows = scan.columns.front().command.rows;
    if (page.kickOff) {
        if (rows == head::kBottomEdgeRows) bottomEdge_ = true;
        const int64_t fromOrigin = feed_ - (borderless_ ? 0 : head::kMarginFeed);
        kickedOff_ = bottomEdge_ && fromOrigin >= int64_t{*page.kickOff};
    }
    const bool blackOnly = std::all_of(scan.columns.begin(), scan.columns.end(),
                                       [](const NozzleColumn& c) { return c.command.ink == 0; });
    return rows == head::kFullBlackRows && scan.info.pass1 == 1 && scan.feed && blackOnly;
}

void Placer::firstRow(int row) {
    // Asked only for one-pass scans, whose quality byte tells whether each
    // raster line fills two rows.
    if (row < (quality_ <= 1 ? 2 : 1)) ++shortFeeds_;
}

int Placer::rowParity(const Scan& scan, const NozzleCommand& column) {
    const bool upperColour = scan.info.flag != 0 && column.ink != 0;
    return upperColour ? 1 - column.parity : column.parity;
}

ColumnPlace Placer::place(const Scan& scan, const NozzleCommand& column) const {
    const int parity = rowParity(scan, column);
    const int headRow =
        head::kFieldRows * column.nozzleField - (column.ink == 0 ? head::kBlackRowsAbove : 0);
    ColumnPlace p;
    p.line = feed_ / 2 + parity + headRow - head::kHeadLineOffset;
    const bool backward = scan.info.backward();
    if (view_ == View::Stream) {
        p.x = backward ? scan.right - 1 : scan.left;
        p.step = backward ? -1 : 1;
        return p;
    }
    p.line += shortFeeds_ + (kickedOff_ ? head::kKickOffLines : 0) - (borderless_ ? head::kBleed : 0);
    const int offset = head::columnOffset(column.ink, parity, backward, borderless_, columns300_);
    p.width = columns300_ ? 2 : 1;
    const int64_t first = backward ? scan.right - 1 - offset : scan.left - offset;
    p.x = first * p.width - (borderless_ ? head::kBleed : 0);
    p.step = backward ? -p.width : p.width;
    return p;
}

void PlacingListener::pageStarted(size_t index, const Page& page) {
    placer_.startPage(page);
    pageBegins(index, page);
}

void PlacingListener::placeScan(const Scan& scan) {
    places_.clear();
    for (const NozzleColumn& c : scan.columns) places_.push_back(placer_.place(scan, c.command));
    scanPlaced(scan, places_);
}

void PlacingListener::scanStarted(const Page& page, const Scan& scan) {
    holding_ = placer_.startScan(page, scan);
    if (!holding_) return placeScan(scan);
    firstRow_ = INT32_MAX;
    held_.clear();
    heldSegments_.clear();
}

void PlacingListener::segmentRead(const Scan& scan, size_t column, int block, Bytes codes) {
    if (!holding_) return segmentPlaced(scan, column, block, codes);
    // Bytes 2n and 2n + 1 of each column group belong to nozzle n.
    const NozzleCommand& nozzles = scan.columns[column].command;
    const size_t groupBytes = static_cast<size_t>(nozzles.groupBytes());
    const int parity = Placer::rowParity(scan, nozzles);
    const auto row = [&](size_t at) { return static_cast<int>((at % groupBytes) / 2) * 2 + parity; };
    forEachRun(
        codes,
        [&](size_t at, Bytes bytes) {
            for (size_t i = 0; i < bytes.size(); ++i)
                if (bytes[i] != 0) firstRow_ = std::min(firstRow_, row(at + i));
        },
        [&](size_t at, uint8_t value, size_t count) {
            if (value == 0) return;
            for (size_t i = 0; i < std::min(count, groupBytes); ++i)
                firstRow_ = std::min(firstRow_, row(at + i));
        });
    heldSegments_.push_back({column, block, held_.size(), codes.size()});
    held_.insert(held_.end(), codes.begin(), codes.end());
}

void PlacingListener::scanEnded(const Page&, const Scan& scan) {
    if (!holding_) return;
    holding_ = false;
    placer_.firstRow(firstRow_);
    placeScan(scan);
    for (const HeldSegment& s : heldSegments_)
        segmentPlaced(scan, s.column, s.block, Bytes(held_).subspan(s.at, s.size));
}

void PlacingListener::pageEnded(size_t index, const Page& page) {
    pageEnds(index, page);
}

}  // namespace kzinspect
