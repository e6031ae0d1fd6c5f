// Raster compression and edge search: byte-level services on caller-owned
// memory.  None of them allocates or keeps state; all are safe to call from
// several jobs' threads at once.
#pragma once

#include <cstdint>

#include "kzrqo317/export.h"

extern "C" {

// Compresses `length` bytes of `in` as PackBits into `out`, which needs room
// for twice the length.  Returns the number of bytes written (0 for length 0,
// whatever the pointers), or -1 without writing when a pointer is null or the
// length lies outside 0..65535, and -1 when the compressed size would not fit
// the 16-bit result.
KZ_EXPORT int16_t packbits(uint8_t* out, const uint8_t* in, int32_t length);

// Writes the PackBits encoding of `zeros` zero bytes; returns the bytes
// written (0 for no zeros), or -1 without writing for a negative count or,
// when there is something to write, a null `out`.
KZ_EXPORT int16_t LeftPack(uint8_t* out, int16_t zeros);

// Narrows the pixel span [*start, *start + *count) of a line with 1, 2, 4 or
// 8 bits per pixel to its inked part.  A span without ink keeps its start and
// gets count 0.  Returns 0, or -1 without writing for a null pointer, another
// bit depth, or a start, count or end that is negative as a 16-bit value.
KZ_EXPORT int16_t search_edge(const uint8_t* line, int16_t bitsPerPixel, uint16_t* start,
                              uint16_t* count);

// Trims the span as search_edge does and expresses it in bytes: *start the
// first byte, *count the whole bytes after it, edges[0] the first byte and
// edges[1] the last partial byte, both masked to the span (edges[1] is 0 when
// the span ends on a byte boundary).  A span without ink gives start 0,
// count 0 and two zero edge bytes.  Returns 0, or -1 without writing.
KZ_EXPORT int16_t PixelRaster2ByteRaster(const uint8_t* line, int16_t bitsPerPixel, uint16_t* start,
                                         uint16_t* count, uint8_t* edges);

}  // extern "C"
