// Test references for compression and edge search: a plain, byte-at-a-time
// transcription of the PackBits rules, a decoder, a pixel-by-pixel ink
// search, and guarded memory that faults on any read outside a byte range.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace ref {

using Bytes = std::vector<uint8_t>;

// The encoder's rules, one run at a time, with no shortcuts.
inline Bytes packbits(const Bytes& in) {
    Bytes out;
    ptrdiff_t open = -1;  // index of the open literal's header
    size_t pos = 0;
    while (pos < in.size()) {
        const uint8_t c = in[pos];
        int run = 0;
        while (pos < in.size() && in[pos] == c) ++pos, ++run;
        if (open >= 0 && run == 1) {
            out[open] += 1;
            out.push_back(c);
            if (out[open] == 127) open = -1;
            continue;
        }
        if (open >= 0 && run == 2) {
            if (out[open] >= 125) {
                open = static_cast<ptrdiff_t>(out.size());
                out.push_back(1);
            } else {
                out[open] += 2;
            }
            out.push_back(c);
            out.push_back(c);
            continue;
        }
        open = -1;
        while (run > 128) {
            out.push_back(0x81);
            out.push_back(c);
            run -= 128;
        }
        if (run >= 2) {
            out.push_back(static_cast<uint8_t>(1 - run));
            out.push_back(c);
        } else {
            open = static_cast<ptrdiff_t>(out.size());
            out.push_back(0);
            out.push_back(c);
        }
    }
    return out;
}

// Decodes PackBits; sets *ok to false on a truncated stream or a 0x80 header.
inline Bytes unpack(const uint8_t* data, size_t size, bool* ok) {
    Bytes out;
    *ok = true;
    size_t i = 0;
    while (i < size) {
        const int h = static_cast<int8_t>(data[i++]);
        if (h == -128 || i >= size) {
            *ok = false;
            break;
        }
        if (h >= 0) {
            if (i + h + 1 > size) {
                *ok = false;
                break;
            }
            out.insert(out.end(), data + i, data + i + h + 1);
            i += h + 1;
        } else {
            out.insert(out.end(), static_cast<size_t>(1 - h), data[i++]);
        }
    }
    return out;
}

// Pixel x of a line at b bits per pixel, most significant bits first.
inline unsigned pixel(const uint8_t* line, int bits, int x) {
    const int perByte = 8 / bits;
    const int shift = 8 - bits * (x % perByte + 1);
    return (line[x / perByte] >> shift) & ((1u << bits) - 1);
}

struct Ink {
    int first;  // first inked pixel, or -1 when none
    int last;   // last inked pixel
};

inline Ink findInk(const uint8_t* line, int bits, int s, int e) {
    Ink ink{-1, -1};
    for (int x = s; x < e; ++x) {
        if (pixel(line, bits, x) == 0) continue;
        if (ink.first < 0) ink.first = x;
        ink.last = x;
    }
    return ink;
}

// A fixed arena with inaccessible pages on both sides.  place() copies bytes
// so that they end exactly at the back guard; placeAtFront() copies them so
// that they begin exactly after the front guard.  Reading one byte outside
// the copied range then faults (before the range only with placeAtFront).
class GuardedArena {
  public:
    explicit GuardedArena(size_t usableBytes) {
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        usable_ = (usableBytes + page_ - 1) / page_ * page_;
        guard_ = usable_;  // a front guard as large as the usable part
        total_ = guard_ + usable_ + page_;
        void* m = mmap(nullptr, total_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = m == MAP_FAILED ? nullptr : static_cast<uint8_t*>(m);
        if (base_ == nullptr) return;
        mprotect(base_, guard_, PROT_NONE);
        mprotect(base_ + guard_ + usable_, page_, PROT_NONE);
    }
    ~GuardedArena() {
        if (base_ != nullptr) munmap(base_, total_);
    }
    GuardedArena(const GuardedArena&) = delete;
    GuardedArena& operator=(const GuardedArena&) = delete;

    bool ok() const { return base_ != nullptr; }
    size_t capacity() const { return usable_; }

    // Copies src[from, to) so that `to` meets the back guard; returns the
    // address that src[0] would have.
    const uint8_t* place(const uint8_t* src, size_t from, size_t to) {
        uint8_t* at = base_ + guard_ + usable_ - (to - from);
        if (to > from) std::memcpy(at, src + from, to - from);
        return at - from;
    }
    // Copies src[from, to) so that `from` meets the front guard.
    const uint8_t* placeAtFront(const uint8_t* src, size_t from, size_t to) {
        uint8_t* at = base_ + guard_;
        if (to > from) std::memcpy(at, src + from, to - from);
        return at - from;
    }

  private:
    uint8_t* base_ = nullptr;
    size_t page_ = 0, usable_ = 0, guard_ = 0, total_ = 0;
};

}  // namespace ref
