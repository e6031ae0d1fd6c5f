// Byte utilities of the platform layer.
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "kzrqo317/platform.h"
#include "kzrqo317/result.h"

namespace {

// Byte-order code of this machine: 1 big-endian, 2 little-endian.
constexpr std::uint8_t NativeByteOrder = std::endian::native == std::endian::big ? 1 : 2;
static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big);

}  // namespace

// Both directions are safe for overlapping ranges: a destination above its
// source is copied from the last byte down, as the printer path expects.
void KRVSCopyData(const void* source, void* destination, int32_t length) {
    if (source == nullptr || destination == nullptr || source == destination || length <= 0) return;
    std::memmove(destination, source, static_cast<std::size_t>(length));
}

void KRVSSetData(void* destination, uint8_t value, int32_t length) {
    if (destination == nullptr || length <= 0) return;
    std::memset(destination, value, static_cast<std::size_t>(length));
}

int32_t KRVSCompData(const void* first, const void* second, int32_t length) {
    if (first == nullptr || second == nullptr) return KZ_UNSUPPORTED;
    if (length <= 0) return 1;
    return std::memcmp(first, second, static_cast<std::size_t>(length)) == 0 ? 1 : 0;
}

void KRVSSwapData(void* data, int32_t unitSize, int32_t count) {
    if (data == nullptr || count <= 0 || (unitSize != 2 && unitSize != 4)) return;
    auto* bytes = static_cast<std::uint8_t*>(data);
    for (int32_t unit = 0; unit < count; ++unit, bytes += unitSize) {
        for (int32_t i = 0; i < unitSize / 2; ++i) std::swap(bytes[i], bytes[unitSize - 1 - i]);
    }
}

int32_t KRVSCheckEndian(int32_t first, int32_t second) {
    const auto resolve = [](int32_t code) { return code == KRVS_BYTE_ORDER_NATIVE ? NativeByteOrder : code; };
    const int32_t a = resolve(first);
    const int32_t b = resolve(second);
    const auto known = [](int32_t code) {
        return code == KRVS_BYTE_ORDER_BIG || code == KRVS_BYTE_ORDER_LITTLE;
    };
    if (!known(a) || !known(b)) return KZ_UNSUPPORTED;
    return a != b ? 1 : 0;
}

int32_t KRVSGetSystemInfo(int32_t selector, uint32_t* result) {
    if (result == nullptr) return KZ_UNSUPPORTED;
    *result = 0;
    if (selector != 1) return KZ_UNSUPPORTED;
    *result = 3;
    return KZ_OK;
}
