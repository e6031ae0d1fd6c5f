/* Records that cross the library boundary.
 *
 * Two layouts, one declaration:
 *  - 32-bit x86: exactly the printer driver ABI, every offset fixed (checked
 *    below), addresses 4 bytes wide.
 *  - 64-bit: the natural C layout of the same declaration.  Only the records
 *    that carry caller addresses differ (PrintInfo.OutputSystem,
 *    OutputSystemNode, PlaneRaster.Data); DataInfo and DataList hold handles,
 *    which stay 32-bit, and keep their layout:
 *
 *      record            32-bit offsets / size     64-bit offsets / size
 *      PrintInfo         OutputSystem 172 / 176    OutputSystem 176 / 184
 *      OutputSystemNode  0 2 4 8 12 / 16           0 2 4 8 16 / 24
 *      PlaneRaster       0 4 6 8 10 / 12           0 8 10 12 14 / 16
 *      RasterInfo        LineNo 0, Plane 4         LineNo 0, Plane 8
 *      DataInfo          0 2 4 / 8                 same
 *      DataList entry    0 4 6 / 8                 same
 *
 * All multi-byte fields are in the machine's own (little-endian) order. */
#ifndef KZRQO317_RECORDS_H
#define KZRQO317_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define KZ_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define KZ_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* One block of the caller's own printer commands, chained. */
typedef struct OutputSystemNode {
    uint16_t Kind;      /* 0 native printer commands; 1 and 2 other systems (not interpreted) */
    uint16_t Reserved;  /* not read */
    int32_t Length;     /* length of the command bytes; a negative length is skipped */
    const uint8_t* Bytes;                /* the command bytes; null is skipped */
    const struct OutputSystemNode* Next; /* next node, or null for the last */
} OutputSystemNode;

/* The caller's print settings, read by OutputInitTwo and by every
 * OutputInitPart.  Only the named fields are read; the rest is the caller's. */
typedef struct PrintInfo {
    uint8_t Reserved0[2];
    int16_t MediaType;    /* media type code */
    uint8_t Reserved4[10];
    int16_t BinMethod;    /* bin method code, copied and not otherwise used */
    int16_t Monochrome;   /* 1 asks for black-only printing */
    uint8_t Reserved18[8];
    uint16_t BannerPaper; /* 1 selects banner (roll) paper; read once, at job start */
    uint8_t Reserved28[60];
    int16_t PaperSize;    /* paper size code */
    uint8_t Reserved90[4];
    int16_t PrintQuality; /* print quality code: 0, 5, 10 or 15 */
    uint8_t Reserved96[10];
    int16_t MarginInfo;   /* 1 means borderless printing */
    uint8_t Reserved108[64];
    const OutputSystemNode* OutputSystem; /* the caller's own commands, or null */
} PrintInfo;

/* One plane of one raster line.  Pixels are packed at the plane's bit depth,
 * pixel 0 in the most significant bits of byte 0.  The span read is
 * Width - Left - Right pixels from pixel Left; Width equal to Left means blank.
 * The store keeps pixels 0 to 6143 of the stored resolution (about 10.2
 * inches at 600 dpi, the printer's printable width); ink beyond is dropped.
 *
 * Dot levels.  A 1-bit pixel is a dot, printed once.  A 2- or 4-bit pixel
 * holds a level (0: no dot); the print mode spreads the level's drops over the
 * passes of its band, and a level for which the mode has no pass pattern
 * prints nothing.  Halftone to the levels the page's print mode prints:
 *
 *   mode        bits  planes   levels printed (drops per level)
 *   2, 3, 15    2     0, 1     1, 2 (1, 2); level 3 prints nothing
 *   2, 3, 15    2     2        1 (2); levels 2 and 3 print nothing
 *   7           2     0..2     1, 2, 3 (1, 2, 4)
 *   4, 8        4     0..2     1..8 (1, 2, 2, 3, 3, 4, 4, 5)
 *   5, 6        4     0..2     1..4 (1..4); levels 5 to 15 print nothing
 *   9, 10       4     4..6     1..8 (1..8)
 *
 * A 4-bit level above 8 prints as level 8. */
typedef struct PlaneRaster {
    const uint8_t* Data; /* null: no data for this plane */
    uint16_t Width;      /* pixel count of the line */
    uint16_t Left;       /* first pixel of the span */
    uint16_t Right;      /* pixels dropped at the right end */
    uint16_t Reserved;   /* not read */
} PlaneRaster;

/* One raster line: one PlaneRaster per plane the print mode uses, in plane
 * order, consecutive.  Only as many entries as the mode uses are read. */
typedef struct RasterInfo {
    uint32_t LineNo; /* the line's number on the page; lines left out are blank */
    PlaneRaster Plane[7];
} RasterInfo;

/* The output handed back: lock ListHandle to reach the DataList. */
typedef struct DataInfo {
    uint16_t EntryCount; /* DataList entries in use; 0 means no output */
    uint16_t Reserved;   /* 0 */
    uint32_t ListHandle; /* handle of the DataList */
} DataInfo;

/* One output block; a DataList ends with an all-zero entry.  Concatenate the
 * blocks in list order to get the printer command bytes. */
typedef struct DataList {
    uint32_t BlockHandle; /* lock it for the address of the first output byte */
    uint16_t ByteCount;   /* output bytes in the block, at most 32,765 */
    uint16_t Reserved;    /* 0 */
} DataList;

KZ_STATIC_ASSERT(sizeof(DataInfo) == 8, "DataInfo is 8 bytes");
KZ_STATIC_ASSERT(offsetof(DataInfo, ListHandle) == 4, "DataInfo list handle at 4");
KZ_STATIC_ASSERT(sizeof(DataList) == 8, "a DataList entry is 8 bytes");
KZ_STATIC_ASSERT(offsetof(DataList, ByteCount) == 4, "DataList byte count at 4");
KZ_STATIC_ASSERT(offsetof(PrintInfo, MediaType) == 2, "PrintInfo.MediaType at 2");
KZ_STATIC_ASSERT(offsetof(PrintInfo, BinMethod) == 14, "PrintInfo.BinMethod at 14");
KZ_STATIC_ASSERT(offsetof(PrintInfo, Monochrome) == 16, "PrintInfo.Monochrome at 16");
KZ_STATIC_ASSERT(offsetof(PrintInfo, BannerPaper) == 26, "PrintInfo.BannerPaper at 26");
KZ_STATIC_ASSERT(offsetof(PrintInfo, PaperSize) == 88, "PrintInfo.PaperSize at 88");
KZ_STATIC_ASSERT(offsetof(PrintInfo, PrintQuality) == 94, "PrintInfo.PrintQuality at 94");
KZ_STATIC_ASSERT(offsetof(PrintInfo, MarginInfo) == 106, "PrintInfo.MarginInfo at 106");

#if defined(__i386__)
KZ_STATIC_ASSERT(offsetof(PrintInfo, OutputSystem) == 172, "PrintInfo.OutputSystem at 172");
KZ_STATIC_ASSERT(sizeof(PrintInfo) == 176, "PrintInfo is 176 bytes");
KZ_STATIC_ASSERT(offsetof(OutputSystemNode, Length) == 4, "node length at 4");
KZ_STATIC_ASSERT(offsetof(OutputSystemNode, Bytes) == 8, "node bytes at 8");
KZ_STATIC_ASSERT(offsetof(OutputSystemNode, Next) == 12, "node next at 12");
KZ_STATIC_ASSERT(sizeof(OutputSystemNode) == 16, "OutputSystemNode is 16 bytes");
KZ_STATIC_ASSERT(offsetof(PlaneRaster, Width) == 4, "PlaneRaster.Width at 4");
KZ_STATIC_ASSERT(offsetof(PlaneRaster, Left) == 6, "PlaneRaster.Left at 6");
KZ_STATIC_ASSERT(offsetof(PlaneRaster, Right) == 8, "PlaneRaster.Right at 8");
KZ_STATIC_ASSERT(sizeof(PlaneRaster) == 12, "PlaneRaster is 12 bytes");
KZ_STATIC_ASSERT(offsetof(RasterInfo, Plane) == 4, "RasterInfo planes at 4");
#elif UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
KZ_STATIC_ASSERT(offsetof(PrintInfo, OutputSystem) == 176, "64-bit PrintInfo.OutputSystem at 176");
KZ_STATIC_ASSERT(sizeof(OutputSystemNode) == 24, "64-bit OutputSystemNode is 24 bytes");
KZ_STATIC_ASSERT(sizeof(PlaneRaster) == 16, "64-bit PlaneRaster is 16 bytes");
KZ_STATIC_ASSERT(offsetof(RasterInfo, Plane) == 8, "64-bit RasterInfo planes at 8");
#endif

/* The layout checks are this header's own: the name is not left to callers. */
#undef KZ_STATIC_ASSERT

#endif
