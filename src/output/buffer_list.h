// Output buffer list: the chain of 32,768-byte blocks that collects the
// printer commands of one producing call, and its hand-out to the caller as a
// DataInfo and DataList.  Also the accessors of the raster store's blocks.
#pragma once

#include <cstdint>

#include "kzrqo317/export.h"
#include "output/context.h"

namespace kz {

// A block takes a piece of n bytes only while used + n + 1 <= 32,766, so a
// block holds at most 32,765 bytes; a piece is never split across blocks.
inline constexpr std::int32_t kBlockCapacityLimit = 32766;
inline constexpr std::int32_t kMaxPiece = kBlockCapacityLimit - 1;

// The writers' protocol in one step: find room for n bytes at the end of the
// chain (growing it when the current block cannot take them whole), advance
// the write position past them and make that node current.  The address of
// the n bytes, or null when no block could be had (nothing is changed then).
std::uint8_t* claimOutput(OutputContext* ctx, std::int32_t n);

// Makes sure the chain can take n more bytes without growing: true when its
// last block has room for them, or a new block was chained for them.  Pieces
// of n bytes in all that are appended next then cannot fail.
bool reserveOutput(OutputContext* ctx, std::int32_t n);

// Where the output stands, so that what is appended after can be taken back.
struct OutputMark {
    BufListNode* node;
    std::uint8_t* at;
};
OutputMark markOutput(const OutputContext* ctx);
// Drops everything appended since the mark.  Blocks chained meanwhile stay,
// empty; the hand-out leaves them out.
void rewindOutput(OutputContext* ctx, const OutputMark& mark);

// While the chain is locked: the last node holding output (the first node
// when none does), where output kept for the next hand-out goes on; and
// whether any node holds output.
BufListNode* lastHoldingOutput(OutputContext* ctx);
bool holdsAnyOutput(const OutputContext* ctx);

// Remembers the first output failure of the producing call that is running: a
// scan or a command that could not be written, or a hand-out that could not
// be made.  The call reports it once its output is handed out.
inline std::int16_t noteOutputFailure(OutputContext* ctx, std::int16_t result) {
    if (result != 0 && ctx->OutputFailure == 0) ctx->OutputFailure = result;
    return result;
}

}  // namespace kz

extern "C" {

KZ_EXPORT void FormatBufList(OutputContext* ctx);
KZ_EXPORT BufListNode* GetNextList(BufListNode* node, int32_t n);
KZ_EXPORT void SetDataInfo(OutputContext* ctx, uint32_t* dataInfo);
KZ_EXPORT void AllUnlockBufLst(BufListNode* first);
KZ_EXPORT void AllLockBufLst(BufListNode* first);

KZ_EXPORT BandBlock* GetBufInfo(OutputContext* ctx, int32_t ringLine, int16_t plane);
KZ_EXPORT uint8_t* MyLockPH_Direct(OutputContext* ctx, BandBlock* block, int16_t line, int16_t plane);
KZ_EXPORT uint8_t* MyLockPH_Index(OutputContext* ctx, BandBlock* block, int16_t index);

}  // extern "C"
