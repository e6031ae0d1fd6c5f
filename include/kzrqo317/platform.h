/* Platform layer: the library's only way to take and release memory, and a few
 * byte utilities.  The caller needs KRVSLockHNDL to read the output blocks
 * that the job calls hand back.
 *
 * A handle is an opaque unsigned 32-bit value naming one zero-filled block;
 * 0 names none.  On 32-bit x86 the handle is the block's address.  On 64-bit
 * targets it is an index into a table kept by the platform layer; a handle
 * that was never issued or has been disposed locks to a null address. */
#ifndef KZRQO317_PLATFORM_H
#define KZRQO317_PLATFORM_H

#include <stdint.h>

#include "export.h"

/* Byte-order codes of KRVSCheckEndian. */
#define KRVS_BYTE_ORDER_NATIVE 0
#define KRVS_BYTE_ORDER_BIG 1
#define KRVS_BYTE_ORDER_LITTLE 2

KZ_BEGIN_DECLS

/* A zero-filled block of `size` bytes, or 0 when size <= 0 or memory is exhausted. */
KZ_VISIBLE uint32_t KRVSNewHNDL(int32_t size);
/* Frees the block named by *handle and sets *handle to 0; no-op for null or 0. */
KZ_VISIBLE void KRVSDisposeHNDL(uint32_t* handle);
/* The block's address; null for 0 or for a handle that names no live block. */
KZ_VISIBLE void* KRVSLockHNDL(uint32_t handle);
/* Does nothing: blocks never move. */
KZ_VISIBLE void KRVSUnlockHNDL(uint32_t handle);
/* A zero-filled block given as an address, or null. */
KZ_VISIBLE void* KRVSNewPTR(int32_t size);
/* Frees a block from KRVSNewPTR; null is a no-op. */
KZ_VISIBLE void KRVSDisposePTR(void* block);
/* Copies `length` bytes, overlapping ranges included. */
KZ_VISIBLE void KRVSCopyData(const void* source, void* destination, int32_t length);
/* Sets `length` bytes to `value`. */
KZ_VISIBLE void KRVSSetData(void* destination, uint8_t value, int32_t length);
/* 1 when equal (or length <= 0), 0 at the first difference, -128 for a null address. */
KZ_VISIBLE int32_t KRVSCompData(const void* first, const void* second, int32_t length);
/* Reverses the bytes of each of `count` units of 2 or 4 bytes in place. */
KZ_VISIBLE void KRVSSwapData(void* data, int32_t unitSize, int32_t count);
/* 1 when the two byte orders differ, 0 when equal, -128 for an unknown code. */
KZ_VISIBLE int32_t KRVSCheckEndian(int32_t first, int32_t second);
/* Selector 1 stores 3 and returns 0; other selectors store 0 and return -128. */
KZ_VISIBLE int32_t KRVSGetSystemInfo(int32_t selector, uint32_t* result);

KZ_END_DECLS

#endif
