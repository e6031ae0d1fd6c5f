// Drives the job calls with hostile settings, raster lines and call orders,
// and with allocations failing where the input says.  Whatever the input,
// the library must not crash or touch memory it does not own (the sanitizers
// watch), every hand-out must be whole, well-formed frames, and a closed job
// must leave no block behind.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "stream_reader/command.h"
#include "stream_reader/frame.h"
#include "kzrqo317/kzrqo317.h"
#include "platform/fault_injection.h"

namespace {

// Reads the input front to back; past its end every read gives 0.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ >= size_; }
    uint8_t u8() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t u16() { return static_cast<uint16_t>(u8() | u8() << 8); }
    uint32_t u32() { return u16() | static_cast<uint32_t>(u16()) << 16; }
    // Up to n bytes of the input, for pixels and command bytes.
    std::vector<uint8_t> bytes(size_t n) {
        const size_t take = std::min(n, size_ - std::min(at_, size_));
        std::vector<uint8_t> out(data_ + at_, data_ + at_ + take);
        at_ += take;
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Codes the settings tables know, so that most inputs find a print mode.
constexpr int16_t kMedia[] = {0, 1, 7, 8, 15, 16, 18, 22, 24, 26, 27, 28, 29, 36, 37, 99};
constexpr int16_t kQuality[] = {0, 5, 10, 15};
constexpr int16_t kPaper[] = {1, 3, 4, 13, 14, 20, 46, 50, 51, 52, 55, 56, 58, 99};

void trap() { __builtin_trap(); }

// A hand-out must be whole frames that the printer takes.
void checkHandOut(uint32_t dataInfo) {
    const auto* info = static_cast<const DataInfo*>(KRVSLockHNDL(dataInfo));
    if (info == nullptr) return;
    const auto* list = static_cast<const DataList*>(KRVSLockHNDL(info->ListHandle));
    if (list == nullptr) {
        if (info->EntryCount != 0) trap();
        return;
    }
    std::vector<uint8_t> bytes;
    for (unsigned i = 0; i < info->EntryCount; ++i) {
        if (list[i].ByteCount > 32765) trap();
        const auto* block = static_cast<const uint8_t*>(KRVSLockHNDL(list[i].BlockHandle));
        if (block == nullptr && list[i].ByteCount != 0) trap();
        if (block != nullptr) bytes.insert(bytes.end(), block, block + list[i].ByteCount);
    }
    if (list[info->EntryCount == 0 ? 1 : info->EntryCount].BlockHandle != 0) trap();  // the closing entry
    for (size_t at = 0; at < bytes.size();) {
        kzinspect::Frame frame;
        kzinspect::Error error;
        if (!kzinspect::readFrame(bytes, at, frame, error) || !kzinspect::checkBody(frame, error)) trap();
        at += frame.size();
    }
}

struct Job {
    uint32_t handle = 0;
    PrintInfo info{};
    std::vector<OutputSystemNode> nodes;
    std::vector<std::vector<uint8_t>> commands;
    uint32_t lineNo = 0;
};

// The caller's settings, from a few input bytes; sometimes any value at all.
void readSettings(Input& in, Job& job) {
    const uint8_t choice = in.u8();
    job.info.MediaType = choice & 0x80 ? static_cast<int16_t>(in.u16()) : kMedia[in.u8() % std::size(kMedia)];
    job.info.PrintQuality = choice & 0x40 ? static_cast<int16_t>(in.u16()) : kQuality[in.u8() % std::size(kQuality)];
    job.info.PaperSize = choice & 0x20 ? static_cast<int16_t>(in.u16()) : kPaper[in.u8() % std::size(kPaper)];
    job.info.MarginInfo = static_cast<int16_t>(choice & 0x10 ? in.u16() : (choice >> 2) & 1);
    job.info.Monochrome = static_cast<int16_t>((choice >> 3) & 1);
    job.info.BannerPaper = choice & 1;
    job.info.BinMethod = static_cast<int16_t>(in.u8());
    // The caller's own command chain: up to three nodes, possibly looping.
    const uint8_t nodes = in.u8() % 4;
    job.nodes.assign(nodes, OutputSystemNode{});
    job.commands.assign(nodes, {});
    for (uint8_t i = 0; i < nodes; ++i) {
        job.commands[i] = in.bytes(in.u8() % 24);
        OutputSystemNode& n = job.nodes[i];
        n.Kind = in.u8() % 4;
        const uint8_t lengthKind = in.u8();
        n.Length = lengthKind & 0x80 ? -static_cast<int32_t>(lengthKind & 0x7F)
                                     : static_cast<int32_t>(job.commands[i].size());
        n.Bytes = lengthKind & 0x40 ? nullptr : job.commands[i].data();
        const uint8_t next = in.u8() % 4;
        n.Next = next < nodes ? &job.nodes[next] : nullptr;
    }
    job.info.OutputSystem = nodes != 0 ? job.nodes.data() : nullptr;
}

// One raster line: seven plane entries (the mode reads the first ones), each
// with pixels from the input repeated over the whole width, or none.
struct Line {
    RasterInfo raster{};
    std::vector<uint8_t> pixels[7];
};

void readLine(Input& in, Job& job, Line& line) {
    const uint8_t step = in.u8();
    if (step < 200) {
        job.lineNo += step % 40;  // mostly rising, sometimes repeated
    } else if (step < 240) {
        job.lineNo -= std::min<uint32_t>(job.lineNo, step - 199);  // going back
    } else if (step < 248) {
        // Just below the largest accepted line number, at either line scale,
        // so that positions derived from the top of the range are reached.
        job.lineNo = (KZ_MAX_PAGE_LINE >> (step & 1)) - in.u8() % 64;
    } else {
        // Far beyond any page.  (A legal jump of up to a million lines only
        // makes the page's end build that many empty scans: slow, not wrong.)
        job.lineNo = in.u32() | 0x40000000u;
    }
    line.raster.LineNo = job.lineNo;
    for (int p = 0; p < 7; ++p) {
        PlaneRaster& plane = line.raster.Plane[p];
        const uint8_t kind = in.u8();
        if (kind < 32) continue;  // no data for this plane
        // Widths mostly within a line, sometimes as wide as the field allows.
        plane.Width = kind >= 240 ? in.u16() : static_cast<uint16_t>(in.u16() % 7000);
        plane.Left = kind & 1 ? static_cast<uint16_t>(in.u16() % (plane.Width + 2u)) : 0;
        plane.Right = kind & 2 ? static_cast<uint16_t>(in.u16() % (plane.Width + 2u)) : 0;
        // The caller's buffer always holds the whole width at 4 bits per pixel.
        const std::vector<uint8_t> pattern = in.bytes(1 + in.u8() % 32);
        line.pixels[p].assign(plane.Width / 2u + 1, 0);
        if (!pattern.empty()) {
            for (size_t i = 0; i < line.pixels[p].size(); ++i) line.pixels[p][i] = pattern[i % pattern.size()];
        }
        plane.Data = kind & 4 ? line.pixels[p].data() : nullptr;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int64_t baseline = kz::platform::liveBlocks();
    Input in(data, size);
    Job job;
    readSettings(in, job);
    Line line;
    int calls = 0;
    while (!in.done() && ++calls < 400) {
        uint32_t out = 0;
        switch (in.u8() % 14) {
            case 0:
                if (job.handle == 0) OutputOpen(&job.handle);  // a caller keeps its open job's handle
                break;
            case 1: OutputInitTwo(&job.handle, &job.info, in.u8() < 240 ? KZ_PRINTER_MODEL : in.u16()); break;
            case 2: OutputInitPart(&job.handle, &job.info); break;
            case 3:
            case 4:
            case 5:
            case 6:
                readLine(in, job, line);
                if (OutputProduceTwo(&job.handle, &line.raster, &out) >= KZ_NO_MEMORY && out != 0) checkHandOut(out);
                break;
            case 7:
                if (OutputFlush(&job.handle, &out) >= KZ_NO_MEMORY && out != 0) checkHandOut(out);
                break;
            case 8: OutputFormFeed(&job.handle); break;
            case 9:
            case 10: OutputComplete(&job.handle); break;
            case 11: OutputClose(&job.handle); break;
            case 12: {
                // A page's settings change between pages.
                Job other;
                readSettings(in, other);
                job.info.Monochrome = other.info.Monochrome;
                job.info.MediaType = other.info.MediaType;
                break;
            }
            case 13:
                // The n-th allocation from now fails (or all from it on).
                kz::platform::failAllocation(in.u8(), (in.u8() & 1) != 0);
                break;
        }
    }
    kz::platform::resetFaults();
    OutputClose(&job.handle);
    if (kz::platform::liveBlocks() != baseline) trap();
    return 0;
}
