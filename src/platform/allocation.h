// The single place where the library reaches the C runtime's allocator.
#pragma once

#include <cstddef>

namespace kz::platform {

// calloc(size, 1), unless an injected fault says this allocation fails.
void* allocateZeroed(std::size_t size);
// free(), keeping the live-block count.
void release(void* block);

}  // namespace kz::platform
