/* Read-only tables the library exports. */
#ifndef KZRQO317_TABLES_H
#define KZRQO317_TABLES_H

#include <stdint.h>

#include "export.h"

/* One row of a call-order table: in state Prior, the event moves the job to
 * Next.  A closing row has Prior 0xFFFF and carries the refusal in Result:
 * -256 out of order, -1 never allowed on this paper. */
typedef struct StatusTransition {
    uint16_t Prior;
    uint16_t Next;
    int16_t Result;
    uint16_t Zero;
} StatusTransition;

KZ_BEGIN_DECLS

/* Call-order rules: per event 0..10 the first row of its run, and the rows. */
KZ_VISIBLE extern const int16_t CutPaperOffset[11];
KZ_VISIBLE extern const StatusTransition CutPaperTable[22];
KZ_VISIBLE extern const int16_t BannerPaperOffset[11];
KZ_VISIBLE extern const StatusTransition BannerPaperTable[31];

/* Pass pattern: one phase 0..239 per byte.  A raster line reads it from its own
 * offset, one byte per pixel; the phase modulo the pass count is the pixel's pass. */
KZ_VISIBLE extern const uint8_t OPD17830_tbl[10800];
/* Number of bits set in each byte value. */
KZ_VISIBLE extern const uint8_t OPD17831_tbl[256];
/* setBit[k] = 0x8000 >> k: one bit of a 16-bit word, from the most significant. */
KZ_VISIBLE extern const uint16_t setBit[16];

KZ_END_DECLS

#endif
