// OutputContext: the working record of one print job.
//
// One zero-filled block, taken through the platform layer by OutputOpen and
// reached through the job's handle.  It holds every piece of job state; the
// library keeps nothing else between calls.  Fields are grouped and ordered
// by the subsystem that owns them, and named as the operations that fill them.
#pragma once

#include <cstdint>
#include <type_traits>

#include "kzrqo317/records.h"

namespace kz {

inline constexpr int kPlaneCount = 7;        // colour planes 0..6; plane 3 is black
inline constexpr int kBlackPlane = 3;
inline constexpr int kBandBlocksPerPlane = 78;  // 624 stored lines at most, 8 per block
inline constexpr int kLinesPerBandBlock = 8;
inline constexpr int kOrderLength = 16;      // entries of a feed or deletion order
inline constexpr int kSmearBands = 130;      // rows of SmearDotCount, 112 raster lines each
inline constexpr int kSmearSegments = 34;    // 160-pixel segments of a line
inline constexpr int kUnevenSegments = 7;    // 800-pixel segments of a line
inline constexpr std::int32_t kOutputBlockSize = 32768;

}  // namespace kz

extern "C" {

// One stored raster line of a plane: ByteCount bytes standing for bytes
// FirstByte onward of the full line (0 bytes: the line is empty).
struct LineRecord {
    uint16_t ByteCount;
    uint16_t FirstByte;
    uint16_t MaskOffset;  // the line's starting offset into the pass pattern table
    uint16_t Unused;
};

// Eight stored lines of one plane, one after another in one block of memory.
struct BandBlock {
    uint32_t LineMemory;     // handle of 8 x LinePitch bytes
    uint32_t IndexedMemory;  // handle for indexed access; never allocated, stays 0
    LineRecord Line[kz::kLinesPerBandBlock];
};

// One link of the chain of output blocks.
struct BufListNode {
    uint32_t BufHandle;   // the node's 32,768-byte data block, or 0 when it could not be had
    uint8_t* BufTop;      // first byte of the data block while the list is locked, else null
    uint8_t* BufPtr;      // where the next output byte goes
    uint32_t NextHandle;  // handle of the next node, 0 for the last
    BufListNode* NextNode;  // the next node while the list is locked
};

// The record behind OutputOpen that owns the caller-facing DataInfo.
struct DataInfoRecord {
    DataInfo* DataInfoPtr;
    uint32_t DataInfoHandle;  // the value handed to the caller
};

struct OutputContext {
    // Print settings: the job's codes, their indices, the page's mode parameters.
    uint32_t PrintMode;  // 0..15
    uint32_t ColorMode;  // 0 black-only, 1 colour
    uint32_t MediaIndex;    // 0..12
    uint32_t QualityIndex;  // 0..4
    int16_t BitDepth[kz::kPlaneCount];  // bits per pixel by plane; 0 = plane not printed
    int16_t PassNum;
    uint16_t ScanSpeed;
    uint16_t BlockWidth;  // pixels of one data block, always 128
    uint32_t Direction;   // 1: every scan in the same direction
    uint16_t NzlNum;
    int16_t FirstNzl;
    int16_t LastNzl;
    uint16_t ColorNum;
    int16_t PaperSize;   // the caller's codes, unchanged
    int16_t BinMethod;
    int16_t MediaType;
    int16_t MarginInfo;  // 1 = borderless

    // Borderless dot counting.
    double NoEdgeDotAmount;  // weighted dots printed outside NoEdgeArea
    int16_t NoEdgeArea[4];   // left, right, top, bottom; inclusive

    // Edge phases: limits in half raster lines, edge orders and progress flags.
    int32_t TopLimitPos;
    int32_t BottomLimitPos;
    int32_t KickOffPos;  // compared unsigned; -1 when there is no edge limiting
    int32_t KickOffStartPos;
    uint16_t TopFeedOrder[kz::kOrderLength];
    uint16_t BottomFeedOrder[kz::kOrderLength];
    uint16_t KickOffFeedOrder[kz::kOrderLength];
    uint16_t TopDeleteNzlOrder[kz::kOrderLength];
    uint16_t BottomDeleteNzlOrder[kz::kOrderLength];
    uint16_t KickOffDeleteNzlOrder[kz::kOrderLength];
    uint16_t BottomStarted;
    uint16_t KickOffShifted;
    uint16_t KickOffArmed;
    uint32_t KickOffActive;
    uint32_t KickOffDone;
    uint32_t EdgeScanCount;

    // Band buffers: the raster store, per plane a ring of stored lines.
    BandBlock Band[kz::kPlaneCount][kz::kBandBlocksPerPlane];
    int16_t LinePitch[kz::kPlaneCount];  // bytes of one stored line
    int16_t RingLines[kz::kPlaneCount];  // lines the ring holds
    uint32_t StoredLines;  // records of Band with a non-zero ByteCount, kept by kz::setLineBytes

    // Job interface.
    uint32_t PrevLineNo;  // scaled number of the previous line that held data
    uint32_t CurLineNo;   // scaled number of the line being given
    uint16_t OutputPending;  // 1 while handed-out output awaits OutputComplete
    int16_t HeadType;        // print-head type code, 0x2470
    uint32_t StatusHandle;   // the call-order record
    uint16_t PageStartPending;  // 1 until the page's first inked line starts it
    uint16_t NativeSetValue;    // parameter of the caller's native ESC ( q command
    uint16_t FirstScanPending;  // 1 until the page's first feed command is written
    int16_t OutputFailure;      // first output failure of the current producing call
    uint16_t CarriedOutput;     // 1 while output waits for the next hand-out (a banner page's
                                // last scans, or a hand-out that could not be made)
    uint16_t RepeatableCall;    // the event of a producing call whose hand-out could not be made:
                                // the same call again hands its output out
    uint16_t FlushStage;        // a flush waiting to be made again: 1 the page's scans are built,
                                // 2 its closing commands are appended too

    // Scan progress.
    int16_t LineCount;   // page lines held since the last scan
    int32_t RasterPos;   // page line under nozzle 0 of the next scan
    int32_t ScanPos;
    int16_t LineTarget;  // lines the next scan needs
    int64_t FeedAmount;  // feed still to be sent, half raster lines (several feed commands
                         // when one cannot carry it)
    uint16_t ScanDir;    // 0 forward, 1 backward
    uint16_t RasterReceived;
    uint16_t PassIndex;
    uint16_t FeedIndex;
    uint16_t FeedOrder[kz::kOrderLength];
    uint16_t* NowFeedOrder;
    uint16_t DeleteNzlOrder[kz::kOrderLength];
    uint16_t* NowDeleteNzlOrder;
    uint8_t NzlLimitFlags;  // bit 0 top edge, bit 1 bottom edge, bit 2 kick-off
    uint32_t RandSeed;

    // Monitor and delay settings.
    uint16_t PowerMonitorInfo;
    uint16_t SmearInfo;
    uint16_t ScanDelayInfo;
    uint16_t ScanDelayTblNum;
    uint16_t PageDelayTblNum;

    // Dot counts and tables.
    const uint8_t* DotCountTbl;  // bits set per byte value
    uint16_t PMDotCount[kz::kSmearSegments];
    uint32_t SmearDotCount[kz::kSmearBands][kz::kSmearSegments];
    uint16_t UnevenMonitorInfo;
    uint32_t UnevenDotCount[kz::kUnevenSegments];
    const uint8_t* MaskTbl;  // the pass pattern table

    // Registration by plane, row parity and direction.
    int16_t ColorOffsetReg[kz::kPlaneCount][2][2];

    // Vertical offset of each plane, raster lines.
    int16_t PlaneOffset[kz::kPlaneCount];

    // The page's scan buffers by slot and nozzle column parity (0: none),
    // taken with the raster store so that no scan of the page lacks them.
    uint32_t ScanBuffer[kz::kPlaneCount][2];

    // Output hand-back.
    uint32_t DataInfoRecHandle;
    DataInfoRecord* DataInfoRecPtr;
    // The DataList and the chained blocks are kept from one hand-out to the
    // next and given back when a flush's output is taken, or at OutputClose.
    uint32_t DataListHandle;
    DataList* DataListPtr;
    int32_t DataListCapacity;  // entries the kept DataList holds before its zero end
    BufListNode BufList;  // the first node, embedded
    BufListNode* CurBufList;  // the node being written; every node after it is empty
    uint16_t PageEndHandedOut;  // 1 while a flush's output awaits OutputComplete
};

}  // extern "C"

// The context lives in a zero-filled block: every field must be valid as zeros.
static_assert(std::is_trivial_v<OutputContext> && std::is_standard_layout_v<OutputContext>);

namespace kz {

// Every change of a stored line's byte count goes through here, so that a
// scan over an empty store can know it finds nothing without walking it.
inline void setLineBytes(OutputContext* ctx, LineRecord* record, uint16_t count) {
    if (record->ByteCount == 0 && count != 0) ctx->StoredLines += 1;
    if (record->ByteCount != 0 && count == 0) ctx->StoredLines -= 1;
    record->ByteCount = count;
}

inline bool storeHoldsLines(const OutputContext* ctx) { return ctx->StoredLines != 0; }

}  // namespace kz
