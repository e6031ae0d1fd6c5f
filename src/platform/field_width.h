// Field widths made visible: the job's counts, feeds and many positions are
// 16-bit fields, and arithmetic on them wraps as 16-bit on purpose.  Use these
// instead of casts scattered through the arithmetic.
#pragma once

#include <cstdint>

namespace kz {

// The low 16 bits of v as a signed 16-bit value (two's complement wrap).
constexpr std::int16_t wrap16(std::int32_t v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(v)));
}

// The low 16 bits of v as an unsigned 16-bit value.
constexpr std::uint16_t wrapU16(std::int64_t v) {
    return static_cast<std::uint16_t>(static_cast<std::uint64_t>(v));
}

// The low 8 bits of v.
constexpr std::uint8_t lowByte(std::int64_t v) {
    return static_cast<std::uint8_t>(static_cast<std::uint64_t>(v));
}

static_assert(wrap16(0x8000) == -32768);
static_assert(wrap16(-1) == -1);
static_assert(wrap16(0x12345) == 0x2345);
static_assert(wrapU16(-1) == 0xFFFF);
static_assert(lowByte(0x1FF) == 0xFF);

}  // namespace kz
