#include "stream_reader/stream.h"

#include <algorithm>
#include <string>

#include "stream_reader/format.h"
#include "stream_reader/segment.h"

namespace kzinspect {
namespace {

// Where the reader stands between two frames.
enum class State {
    BetweenPages,    // expecting "H" or the end of the stream
    PageSetup,       // inside "H a d h b r f" or the blank form "H h b r f m N"
    PageBody,        // between scans: feed, "o", reports, "N", or "H" on banner paper
    AfterFeed,       // a feed must be followed by its scan's "o"
    ScanNozzles,     // "p" pairs, then "i" or the first "s"
    ScanBlocks,      // the rest of the scan's "s" commands
    Reports,         // after an "l": more "l", "v" or "N"
    AfterBorderless  // after "v": "N"
};

constexpr const char* kNormalSetup = "adhbrf";
constexpr const char* kBlankSetup = "hbrfmN";

int floorMod8(int value) {
    return ((value % 8) + 8) % 8;
}

class Reader {
  public:
    Reader(Stream& out, StreamListener* listener, bool keepRecords)
        : out_(out), listener_(listener), keep_(keepRecords) {}

    size_t pagesStarted() const { return pagesStarted_; }

    bool take(const Frame& frame) {
        if (keep_) {
            out_.frames.push_back({frame, -1, {}});
        } else {
            record_ = {frame, -1, {}};
        }
        const bool kickOffPlace = justSetUp_;
        justSetUp_ = false;
        switch (state_) {
            case State::BetweenPages:
                if (frame.letter == 'H') return startPage(frame);
                return outOfOrder(frame, "a page must start with 'H'");
            case State::PageSetup:
                return setup(frame);
            case State::PageBody:
                return pageBody(frame, kickOffPlace);
            case State::AfterFeed:
                if (frame.letter == 'o') return startScan(frame);
                if (frame.letter == 'n') return moreFeed(frame);
                return outOfOrder(frame, "a feed must be followed by more feed or its scan's 'o'");
            case State::ScanNozzles:
                return nozzles(frame);
            case State::ScanBlocks:
                if (frame.letter == 's') return block(frame);
                return outOfOrder(frame, formatText("the scan announced %u blocks, %d came",
                                                    unsigned{scan().info.blocks}, scan().blocksRead)
                                             .c_str());
            case State::Reports:
                if (frame.letter == 'l') return smear(frame);
                if (frame.letter == 'v') return borderless(frame);
                if (frame.letter == 'N') return endPage();
                return outOfOrder(frame, "after the smear levels only 'l', 'v' or 'N'");
            case State::AfterBorderless:
                if (frame.letter == 'N') return endPage();
                return outOfOrder(frame, "the borderless count must be followed by 'N'");
        }
        return true;
    }

    void finish(size_t end) {
        if (out_.error) return;
        switch (state_) {
            case State::BetweenPages:
                return;
            case State::PageSetup:
                return incomplete(end, "the stream ends inside a page's set-up commands");
            case State::PageBody:
            case State::Reports:
            case State::AfterBorderless:
                return incomplete(end, "the stream ends inside a page: its 'N' is missing");
            case State::AfterFeed:
            case State::ScanNozzles:
            case State::ScanBlocks:
                return incomplete(end, "the stream ends inside a scan");
        }
    }

  private:
    Page& page() { return out_.pages.back(); }
    Scan& scan() { return page().scans.back(); }
    FrameRecord& record() { return keep_ ? out_.frames.back() : record_; }

    bool fail(size_t offset, ErrorKind kind, std::string message) {
        out_.error = Error{offset, kind, std::move(message)};
        return false;
    }

    bool outOfOrder(const Frame& frame, const char* why) {
        return fail(frame.offset, ErrorKind::OutOfOrder,
                    formatText("'%c' out of place: %s", frame.letter, why));
    }

    void incomplete(size_t end, const char* why) { fail(end, ErrorKind::Incomplete, why); }

    bool startPage(const Frame& frame) {
        // Banner paper: the page before may run into this one.
        if (state_ == State::PageBody && listener_) listener_->pageEnded(pagesStarted_ - 1, page());
        if (!keep_) out_.pages.clear();
        ++pagesStarted_;
        out_.pages.push_back({});
        page().offset = frame.offset;
        setup_ = nullptr;
        feedSeen_ = false;
        state_ = State::PageSetup;
        return true;
    }

    // The set-up commands come in one fixed order; the letter after "H"
    // tells the normal form from the blank one.
    bool setup(const Frame& frame) {
        if (setup_ == nullptr) {
            if (frame.letter == 'a') setup_ = kNormalSetup;
            if (frame.letter == 'h') setup_ = kBlankSetup;
            if (setup_ == nullptr) {
                return outOfOrder(frame, "'H' must be followed by 'a' or, on a blank page, 'h'");
            }
            page().blank = setup_ == kBlankSetup;
        }
        if (frame.letter != *setup_) {
            return outOfOrder(frame,
                              formatText("the page set-up expects '%c' here", *setup_).c_str());
        }
        const Bytes b = frame.body;
        switch (frame.letter) {
            case 'd':
                page().resolution2 = readLe16(b, 2);
                break;
            case 'h':
                std::copy(b.begin(), b.end(), page().settings.begin());
                break;
            case 'b':
                page().settingB = b[0];
                break;
            case 'f':
                page().paperLoading = b[0];
                break;
            case 'm':
                page().blankFeed = readLe16(b, 0);
                break;
            default:
                break;
        }
        ++setup_;
        if (*setup_ != '\0') return true;
        if (listener_) listener_->pageStarted(pagesStarted_ - 1, page());
        if (page().blank) {
            page().ended = true;
            state_ = State::BetweenPages;
            if (listener_) listener_->pageEnded(pagesStarted_ - 1, page());
        } else {
            state_ = State::PageBody;
            justSetUp_ = true;
        }
        return true;
    }

    bool pageBody(const Frame& frame, bool kickOffPlace) {
        switch (frame.letter) {
            case 'x':
                if (!kickOffPlace) return outOfOrder(frame, "the kick-off must follow 'f'");
                page().kickOff = readLe32(frame.body, 0);
                return true;
            case 'm':
            case 'n': {
                const bool first = !feedSeen_;
                if ((frame.letter == 'm') != first) {
                    return outOfOrder(frame, first ? "a page's first feed is 'm'"
                                                   : "only a page's first feed is 'm'");
                }
                feedSeen_ = true;
                const uint16_t amount = readLe16(frame.body, 0);
                pendingFeed_ = Feed{frame.offset, frame.letter, amount, 1, amount};
                state_ = State::AfterFeed;
                return true;
            }
            case 'o':
                return startScan(frame);
            case 'l':
                return smear(frame);
            case 'v':
                return borderless(frame);
            case 'N':
                return endPage();
            case 'H':
                // Banner paper: a page may end without "N" when the next begins.
                return startPage(frame);
            default:
                return outOfOrder(frame, "between scans only a feed, 'o', 'l', 'v', 'N' or 'H'");
        }
    }

    // A feed longer than one command carries comes as several, only the last
    // of which may be shorter than the longest one.
    bool moreFeed(const Frame& frame) {
        if (pendingFeed_->last != kLongestFeed) {
            return outOfOrder(frame, "only a feed of the longest amount may be followed by more feed");
        }
        pendingFeed_->last = readLe16(frame.body, 0);
        pendingFeed_->amount += pendingFeed_->last;
        ++pendingFeed_->commands;
        return true;
    }

    bool startScan(const Frame& frame) {
        if (!keep_) page().scans.clear();
        page().scans.push_back({});
        Scan& s = scan();
        s.offset = frame.offset;
        s.feed = pendingFeed_;
        pendingFeed_.reset();
        s.info = readScanInfo(frame);
        // Only the lowest quality announces 300, and its modes count the
        // head's margins with divisor 4.
        s.divisor = page().resolution2 == 300 ? 4 : 2;
        state_ = State::ScanNozzles;
        return true;
    }

    bool nozzles(const Frame& frame) {
        Scan& s = scan();
        const bool pairOpen = s.columns.size() % 2 == 1;
        if (frame.letter == 'p') return nozzle(frame, s, pairOpen);
        if (frame.letter != 'i' && frame.letter != 's') {
            return outOfOrder(frame, "a scan's 'o' is followed by 'p' pairs, 'i' and 's'");
        }
        if (s.columns.empty() || pairOpen) {
            return outOfOrder(frame, "a scan needs whole pairs of 'p' before its data");
        }
        if (frame.letter == 'i') {
            if (s.heatTrigger) return outOfOrder(frame, "one heat trigger per scan");
            s.heatTrigger = frame.body[2];
            return true;
        }
        recoverEdges(s);
        if (keep_) {
            firing_.assign(s.columns.size(),
                           std::vector<uint32_t>(size_t{s.info.blocks} * kBlockColumns));
        }
        state_ = State::ScanBlocks;
        if (listener_) listener_->scanStarted(page(), s);
        return block(frame);
    }

    // Each ink sends its parity-0 column, then its parity-1 column, with the
    // same fields; all columns of a scan have the same number of nozzles.
    bool nozzle(const Frame& frame, Scan& s, bool pairOpen) {
        const NozzleCommand p = readNozzleCommand(frame);
        if (s.heatTrigger) return outOfOrder(frame, "'p' after the heat trigger");
        if (p.parity != (pairOpen ? 1 : 0)) {
            return outOfOrder(frame, pairOpen ? "expected the parity-1 column of the same ink"
                                              : "an ink's columns start with parity 0");
        }
        if (pairOpen) {
            const NozzleCommand& first = s.columns.back().command;
            if (p.ink != first.ink || p.nozzleField != first.nozzleField) {
                return fail(frame.offset, ErrorKind::BadValue,
                            "'p': parity-1 column differs from its parity-0 column");
            }
        } else {
            for (const NozzleColumn& c : s.columns) {
                if (c.command.ink == p.ink) {
                    return outOfOrder(frame, "an ink has only one pair of columns per scan");
                }
            }
        }
        if (!s.columns.empty() && s.columns.front().command.rows != p.rows) {
            return fail(frame.bodyOffset() + 2, ErrorKind::BadValue,
                        "'p': all columns of a scan have the same rows");
        }
        s.columns.push_back({frame.offset, p, 0, 0, 0, {}});
        return true;
    }

    // The head starts firing 16 / d columns left of the scan's left edge
    // and stops 32 / d - 1 right of its right edge; backward it starts
    // 64 / d - 1 right of the right edge and stops 16 / d left of the left
    // edge, one column later still in the heat-triggered mode.
    void recoverEdges(Scan& s) {
        const int d = s.divisor;
        const ScanInfoCommand& o = s.info;
        const int late = s.heatTrigger ? 1 : 0;
        const int left = o.backward() ? o.end + 16 / d - late : o.start + 16 / d;
        const int right = o.backward() ? o.start - 64 / d + 1 - late : o.end - 32 / d + 1;
        const int shift = 142 / d;
        const bool plain = floorMod8(left) == 0 && floorMod8(right) == 0;
        const bool shifted = floorMod8(left - shift) == 0 && floorMod8(right - shift) == 0;
        s.paperShift = shifted && !plain;
        s.edgesAligned = plain || shifted;
        s.left = s.paperShift ? left - shift : left;
        s.right = s.paperShift ? right - shift : right;
    }

    // One block command: one segment per nozzle column, in "p" order.
    bool block(const Frame& frame) {
        Scan& s = scan();
        FrameRecord& record = this->record();
        record.block = s.blocksRead;
        const bool last = s.blocksRead + 1 == s.info.blocks;
        size_t pos = 0;
        for (size_t j = 0; j < s.columns.size(); ++j) {
            NozzleColumn& column = s.columns[j];
            const size_t limit = static_cast<size_t>(column.command.blockBytes());
            const size_t group = static_cast<size_t>(column.command.groupBytes());
            size_t next = 0, size = 0;
            Error error;
            // Only the records' dot histograms need the bytes themselves.
            const bool read = keep_ ? decodeSegment(frame.body, pos, frame.bodyOffset(), limit,
                                                    decoded_, next, error)
                                    : measureSegment(frame.body, pos, frame.bodyOffset(), limit,
                                                     size, next, error);
            if (!read) return fail(error.offset, error.kind, error.message);
            if (keep_) size = decoded_.size();
            // Every block but the last is sent whole or not at all; the last
            // may stop after any whole column group.
            if (last ? (size % group != 0) : (size != 0 && size != limit)) {
                return fail(frame.bodyOffset() + pos, ErrorKind::SegmentSize,
                            formatText("segment of block %d decodes to %zu bytes; expected %s",
                                       s.blocksRead, size,
                                       last ? formatText("whole groups of %zu", group).c_str()
                                            : formatText("0 or %zu", limit).c_str()));
            }
            SegmentSummary summary{frame.bodyOffset() + pos,
                                   column.command.ink,
                                   column.command.parity,
                                   next - 3 - pos,
                                   size,
                                   0};
            if (keep_) {
                summary.dots = addDots(decoded_, s.blocksRead, static_cast<int>(group),
                                       s.info.backward(), firing_[j]);
                record.segments.push_back(summary);
            }
            column.dots += summary.dots;
            column.codeBytes += summary.codeBytes;
            column.decodedBytes += size;
            if (listener_) {
                listener_->segmentRead(s, j, s.blocksRead, frame.body.subspan(pos, next - 3 - pos));
            }
            pos = next;
        }
        if (pos != frame.body.size()) {
            return fail(
                frame.bodyOffset() + pos, ErrorKind::TrailingData,
                formatText("%zu bytes after the block's last segment", frame.body.size() - pos));
        }
        if (++s.blocksRead == s.info.blocks) endScan(s);
        return true;
    }

    // Turns the per-column counts, kept in firing order, into scan columns.
    void endScan(Scan& s) {
        for (size_t j = 0; j < firing_.size() && j < s.columns.size(); ++j) {
            const std::vector<uint32_t>& counts = firing_[j];
            auto& histogram = s.columns[j].histogram;
            for (size_t k = 0; k < counts.size(); ++k) {
                const size_t i = s.info.backward() ? counts.size() - 1 - k : k;
                if (counts[i] == 0) continue;
                const int offset = static_cast<int>(i);
                histogram.push_back(
                    {s.info.backward() ? s.right - 1 - offset : s.left + offset, counts[i]});
            }
        }
        firing_.clear();
        state_ = State::PageBody;
        if (listener_) listener_->scanEnded(page(), s);
    }

    bool smear(const Frame& frame) {
        if (frame.body[0] != page().smearLevels.size()) {
            return fail(frame.bodyOffset(), ErrorKind::BadValue,
                        formatText("'l' for band %u, expected band %zu", frame.body[0],
                                   page().smearLevels.size()));
        }
        page().smearLevels.push_back(frame.body[1]);
        state_ = State::Reports;
        return true;
    }

    bool borderless(const Frame& frame) {
        page().borderlessCount = readLe32(frame.body, 4);
        state_ = State::AfterBorderless;
        return true;
    }

    bool endPage() {
        page().ended = true;
        state_ = State::BetweenPages;
        if (listener_) listener_->pageEnded(pagesStarted_ - 1, page());
        return true;
    }

    Stream& out_;
    StreamListener* listener_;
    bool keep_;
    FrameRecord record_;    // the frame being read, when records are not kept
    size_t pagesStarted_ = 0;
    State state_ = State::BetweenPages;
    const char* setup_ = nullptr;  // next expected set-up letter
    bool justSetUp_ = false;       // the previous frame completed the set-up
    bool feedSeen_ = false;        // the page has had its first feed
    std::optional<Feed> pendingFeed_;
    std::vector<std::vector<uint32_t>> firing_;  // per nozzle column of the scan being read
    std::vector<uint8_t> decoded_;
};

}  // namespace

// Frames may arrive split over several writes: the part of one that has come
// waits in `pending_` for the rest.
class StreamReader::Impl {
  public:
    Impl(StreamListener* listener, bool keepRecords)
        : keep_(keepRecords), reader_(out_, listener, keepRecords) {}

    bool write(Bytes bytes) {
        if (out_.error || finished_) return false;
        // First the rest of a frame begun by an earlier write: its header,
        // then as many bytes as its length asks for.
        while (!pending_.empty() && !bytes.empty()) {
            const size_t wanted = pending_.size() < kHeaderSize
                                      ? kHeaderSize - pending_.size()
                                      : frameSize(pending_) - pending_.size();
            const size_t take = std::min(wanted, bytes.size());
            pending_.insert(pending_.end(), bytes.begin(), bytes.begin() + take);
            bytes = bytes.subspan(take);
            if (!readPending()) return false;
        }
        size_t at = 0;
        while (at < bytes.size()) {
            Frame frame;
            Error error;
            if (!readFrame(bytes, at, frame, error)) {
                if (error.kind != ErrorKind::Truncated) return fail(error, offset_);
                pending_.assign(bytes.begin() + at, bytes.end());
                offset_ += at;
                return readPending();
            }
            if (!take(frame, offset_)) return false;
            at += frame.size();
        }
        offset_ += at;
        return true;
    }

    bool finish() {
        if (out_.error) return false;
        if (!finished_) {
            finished_ = true;
            if (!pending_.empty()) {
                Frame frame;
                Error error;
                readFrame(pending_, 0, frame, error);
                return fail(error, offset_);
            }
            out_.bytes = offset_;
            reader_.finish(offset_);
        }
        return !out_.error;
    }

    const Stream& stream() const { return out_; }
    Stream release() { return std::move(out_); }
    size_t pagesStarted() const { return reader_.pagesStarted(); }

  private:
    static size_t frameSize(const std::vector<uint8_t>& bytes) {
        return size_t{readLe16(bytes, 3)} + 5;
    }
    // Checks the waiting frame as far as it has come (a bad header is
    // reported at once) and reads it once it is whole.
    bool readPending() {
        Frame frame;
        Error error;
        if (!readFrame(pending_, 0, frame, error)) {
            return error.kind == ErrorKind::Truncated || fail(error, offset_);
        }
        if (keep_) {
            // Records view their frames' bytes: this copy lives as long as the reader.
            owned_.push_back(std::move(pending_));
            readFrame(owned_.back(), 0, frame, error);
        }
        const size_t size = frame.size();
        const bool ok = take(frame, offset_);
        pending_.clear();
        offset_ += size;
        return ok;
    }

    // Frame offsets are relative to the bytes they were read from; reports
    // give them from the stream's start.
    bool take(Frame frame, size_t base) {
        frame.offset += base;
        Error error;
        if (!checkBody(frame, error)) return fail(error, 0);
        return reader_.take(frame);
    }

    bool fail(Error error, size_t base) {
        error.offset += base;
        if (!out_.error) out_.error = std::move(error);
        out_.bytes = offset_;
        return false;
    }

    bool keep_;
    Stream out_;
    Reader reader_;
    std::vector<uint8_t> pending_;
    std::vector<std::vector<uint8_t>> owned_;
    size_t offset_ = 0;  // of the first byte not yet read into a frame
    bool finished_ = false;
};

StreamReader::StreamReader(StreamListener* listener, bool keepRecords)
    : impl_(std::make_unique<Impl>(listener, keepRecords)) {}
StreamReader::~StreamReader() = default;
bool StreamReader::write(Bytes bytes) { return impl_->write(bytes); }
bool StreamReader::finish() { return impl_->finish(); }
const Stream& StreamReader::stream() const { return impl_->stream(); }
Stream StreamReader::release() { return impl_->release(); }
size_t StreamReader::pagesStarted() const { return impl_->pagesStarted(); }

Stream inspect(Bytes bytes) {
    StreamReader reader(nullptr, true);
    reader.write(bytes);
    reader.finish();
    Stream out = reader.release();
    out.bytes = bytes.size();
    return out;
}

}  // namespace kzinspect
