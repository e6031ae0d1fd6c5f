// The exported job calls: the front door of the library.
//
// Each guarded call checks the call order first, does its work in the fixed
// order below, and records its event only after the work succeeded.
#include "kzrqo317/job.h"

#include <initializer_list>

#include "command/command.h"
#include "kzrqo317/platform.h"
#include "output/buffer_list.h"
#include "output/call_order.h"
#include "output/context.h"
#include "output/output.h"
#include "param/param.h"
#include "platform/field_width.h"
#include "planning/planning.h"
#include "scan/scan.h"

namespace {

// Module record of the output engine, carried in the binary and read by nothing.
[[gnu::used]] constexpr char kModuleRecord[] = "LANTERNS_KROUTPUT_1_00_01_011";

constexpr int16_t kHeadType2470 = 0x2470;
constexpr uint16_t kBlockWidth = 128;

// Scaled line numbers leave room for every position derived from them: in
// half raster lines, plus the head's rows and the edge phases' shifts, all in
// signed 32 bits.
constexpr int64_t kMaxPageLine = KZ_MAX_PAGE_LINE;
static_assert(2 * (kMaxPageLine + 4096) + 4096 < INT32_MAX);

// One raster line completes a handful of scans at most (a pass cycle of
// zero-length steps and the scan that ends it); the bound only guarantees
// that the scan loop ends whatever the state.
constexpr int kMaxScansPerLine = 1024;

OutputContext* lockContext(const uint32_t* handle) {
    if (handle == nullptr) return nullptr;
    return static_cast<OutputContext*>(KRVSLockHNDL(*handle));
}

// A flush that could not hand its page out must be made again before
// anything else: the page's store is gone.  Any call but a line forgets
// which line could be given again.
bool allowed(OutputContext* ctx, kz::CallEvent event) {
    if (ctx->FlushStage != 0 && event != kz::kEventFlush) return false;
    if (CheckPrevStatus(&ctx->StatusHandle, event) < 0) return false;
    if (event != kz::kEventProduce) ctx->RepeatableCall = 0;
    return true;
}

int32_t record(OutputContext* ctx, kz::CallEvent event) {
    return SetCurrentStatus(&ctx->StatusHandle, event) < 0 ? KZ_OUT_OF_ORDER : KZ_OK;
}

// Releases the output nodes chained after the first and their blocks, and
// the DataList.
void releaseChainedNodes(OutputContext* ctx) {
    KRVSDisposeHNDL(&ctx->DataListHandle);
    ctx->DataListPtr = nullptr;
    ctx->DataListCapacity = 0;
    AllLockBufLst(&ctx->BufList);
    uint32_t handle = ctx->BufList.NextHandle;
    while (handle != 0) {
        auto* node = static_cast<BufListNode*>(KRVSLockHNDL(handle));
        const uint32_t next = node != nullptr ? node->NextHandle : 0;
        if (node != nullptr) KRVSDisposeHNDL(&node->BufHandle);
        KRVSDisposeHNDL(&handle);
        handle = next;
    }
    ctx->BufList.NextHandle = 0;
    ctx->BufList.NextNode = nullptr;
    ctx->CurBufList = &ctx->BufList;
}

// Starts the output of a producing call: an empty chain, or output still
// waiting to be handed out (the scans that ended the previous banner page, or
// a hand-out that could not be made).
void startOutput(OutputContext* ctx) {
    ctx->OutputFailure = 0;
    if (ctx->CarriedOutput == 0) {
        FormatBufList(ctx);
        return;
    }
    ctx->CarriedOutput = 0;
    AllLockBufLst(&ctx->BufList);
    ctx->CurBufList = kz::lastHoldingOutput(ctx);
}

// Hands the chain out.  When its DataList cannot be had, nothing is handed
// out and the caller's variable is left alone; the chain is then kept and
// handed out ahead of the next producing call's output.  The call returns
// KZ_NO_MEMORY without recording its event, so that it can be made again.
bool handOut(OutputContext* ctx, uint32_t* dataInfo) {
    SetDataInfo(ctx, dataInfo);
    if (ctx->OutputPending != 0) return true;
    ctx->CarriedOutput = 1;
    return false;
}

// Appends the commands that end a page (or make a page that received no
// ink) as one piece: all of them or none, so that the page is never handed
// out without its "N".  False when memory ran out.
bool appendPageEnd(OutputContext* ctx, bool blankPage) {
    const kz::OutputMark mark = kz::markOutput(ctx);
    const int16_t earlier = ctx->OutputFailure;
    ctx->OutputFailure = 0;
    if (blankPage) {
        for (uint8_t letter : {'H', 'h', 'b', 'r', 'f', 'm', 'N'}) kz::sendCommand(ctx, letter);
    } else {
        if (ctx->SmearInfo != 0) setCommand_Smear(ctx);
        if (ctx->MarginInfo == 1) setCommand_noEdgeCnt(ctx);
        kz::sendCommand(ctx, 'N');
    }
    const bool whole = ctx->OutputFailure == 0;
    if (!whole) kz::rewindOutput(ctx, mark);
    ctx->OutputFailure = earlier;
    return whole;
}

// A page is set up once OutputInitPart has selected its mode.
bool pageSetUp(const OutputContext* ctx) { return ctx->PrintMode <= 15 && ctx->PassNum > 0; }

// Line scale: the low-resolution qualities give each caller line two page lines.
int16_t lineMultiplier(const OutputContext* ctx) {
    return (ctx->QualityIndex == 0 || (ctx->QualityIndex == 1 && ctx->MediaIndex == 0)) ? 2 : 1;
}

}  // namespace

int32_t OutputOpen(uint32_t* handle) {
    if (handle == nullptr) return KZ_OPEN_FAILED;
    *handle = 0;
    uint32_t contextHandle = KRVSNewHNDL(sizeof(OutputContext));
    if (contextHandle == 0) return KZ_OPEN_FAILED;
    auto* ctx = static_cast<OutputContext*>(KRVSLockHNDL(contextHandle));

    ctx->DataInfoRecHandle = KRVSNewHNDL(sizeof(DataInfoRecord));
    if (ctx->DataInfoRecHandle != 0) {
        ctx->DataInfoRecPtr = static_cast<DataInfoRecord*>(KRVSLockHNDL(ctx->DataInfoRecHandle));
        ctx->DataInfoRecPtr->DataInfoHandle = KRVSNewHNDL(sizeof(DataInfo));
        if (ctx->DataInfoRecPtr->DataInfoHandle != 0) {
            if (OpenStatus(&ctx->StatusHandle) == 0) {
                *handle = contextHandle;
                return KZ_OPEN_OK;
            }
            KRVSDisposeHNDL(&ctx->DataInfoRecPtr->DataInfoHandle);
        }
        KRVSDisposeHNDL(&ctx->DataInfoRecHandle);
    }
    KRVSDisposeHNDL(&contextHandle);
    return KZ_OPEN_FAILED;
}

int32_t OutputInit(uint32_t*, ...) { return KZ_UNSUPPORTED; }

int32_t OutputProduce(uint32_t*, ...) { return KZ_UNSUPPORTED; }

int32_t OutputInitTwo(uint32_t* handle, const PrintInfo* info, int16_t model) {
    OutputContext* ctx = lockContext(handle);
    if (ctx == nullptr) return KZ_NO_MEMORY;
    if (info == nullptr) return KZ_UNSUPPORTED;
    if (ConvCut2BannerStatus(&ctx->StatusHandle, info) < 0) return KZ_OUT_OF_ORDER;
    if (!allowed(ctx, kz::kEventInitJob)) return KZ_OUT_OF_ORDER;
    if (model != KZ_PRINTER_MODEL) return KZ_UNSUPPORTED;

    ctx->HeadType = kHeadType2470;
    // The printer's block width, the same for every page: a banner job
    // flushed before any page was set up still announces it in its "r".
    ctx->BlockWidth = kBlockWidth;
    ctx->OutputPending = 0;
    ctx->PageStartPending = 0;
    setPrintInfo(ctx, info);
    setDefaultReg(ctx);  // reads the MarginInfo that setPrintInfo copied
    AnalyzeOutputSystem(ctx, info);
    if (const int16_t result = SetTable(ctx); result != 0) return result;

    // A retried initialisation keeps the block an earlier attempt obtained.
    if (ctx->BufList.BufHandle == 0) ctx->BufList.BufHandle = KRVSNewHNDL(kz::kOutputBlockSize);
    if (ctx->BufList.BufHandle == 0) return KZ_NO_MEMORY;
    return record(ctx, kz::kEventInitJob);
}

int32_t OutputInitPart(uint32_t* handle, const PrintInfo* info) {
    OutputContext* ctx = lockContext(handle);
    if (ctx == nullptr) return KZ_NO_MEMORY;
    if (!allowed(ctx, kz::kEventInitPage)) return KZ_OUT_OF_ORDER;
    if (info == nullptr) return KZ_UNSUPPORTED;
    if (const int16_t result = setPrintInfoPart(ctx, info); result != 0) return result;
    if (ctx->MarginInfo == 1) SetNoEdgeDotCntInfo(ctx);

    ctx->FeedAmount = 0;
    ctx->FirstScanPending = 1;
    ctx->PrevLineNo = 0;
    ctx->CurLineNo = 0;
    makeFeedOrder(ctx->HeadType, ctx->FeedOrder, ctx->PrintMode);
    makeFeedOrderTopBottom(ctx->HeadType, ctx->TopFeedOrder, ctx->BottomFeedOrder,
                           ctx->KickOffFeedOrder, ctx->PrintMode);
    makeDeleteNzlOrder(ctx->DeleteNzlOrder, ctx->PrintMode);
    makeDeleteNzlOrderTopBottom(ctx->TopDeleteNzlOrder, ctx->BottomDeleteNzlOrder,
                                ctx->KickOffDeleteNzlOrder, ctx->PrintMode);
    SetOffsetSize(ctx);

    ctx->PageStartPending = 1;
    ctx->LineCount = 0;
    ctx->RasterPos = 0;
    ctx->RandSeed = 1;
    AnalyzeOutputSystem(ctx, info);  // now takes the page's ESC ( q setting
    ctx->PassIndex = 0;
    ctx->FeedIndex = 0;
    ctx->ScanDir = 0;

    // A banner page (or a page whose earlier attempt failed) may still hold a
    // raster store; release it before the page's own is allocated.
    freeOffsetBuffer(ctx);
    if (const int16_t result = FormatBlock(ctx); result != 0) return result;
    if (const int16_t result = kz::allocateScanBuffers(ctx); result != 0) {
        freeOffsetBuffer(ctx);
        return result;
    }
    return record(ctx, kz::kEventInitPage);
}

int32_t OutputProduceTwo(uint32_t* handle, const RasterInfo* line, uint32_t* dataInfo) {
    OutputContext* ctx = lockContext(handle);
    if (ctx == nullptr) return KZ_NO_MEMORY;
    if (!allowed(ctx, kz::kEventProduce)) return KZ_OUT_OF_ORDER;
    if (ctx->OutputPending == 1) return KZ_OUT_OF_ORDER;
    if (line == nullptr || dataInfo == nullptr) return KZ_UNSUPPORTED;

    const int16_t m = lineMultiplier(ctx);
    const int64_t scaledLine = static_cast<int64_t>(line->LineNo) * m;
    if (scaledLine > kMaxPageLine) return KZ_UNSUPPORTED;

    // The line whose hand-out could not be made, given again: its output
    // goes out now, and the line is not taken twice.
    const bool repeated = ctx->RepeatableCall == kz::kEventProduce && scaledLine == ctx->CurLineNo;
    ctx->RepeatableCall = 0;
    startOutput(ctx);
    if (!repeated) {
        const uint32_t previousLineNo = ctx->CurLineNo;
        ctx->CurLineNo = static_cast<uint32_t>(scaledLine);
        if (const int16_t result = SetRasterData(ctx, line, m); result != 0) {
            // A refused line leaves no trace (a page that could not start for
            // lack of memory among them: the line may be given again).
            ctx->CurLineNo = previousLineNo;
            // Output still waiting to be handed out (a banner page's last scans)
            // keeps waiting for the next producing call.
            if (kz::holdsAnyOutput(ctx)) ctx->CarriedOutput = 1;
            return result;
        }
        if (ctx->RasterReceived != 0) ctx->LineCount = kz::wrap16(ctx->LineCount + m);
        for (int scans = 0; ctx->LineCount == ctx->LineTarget && scans < kMaxScansPerLine; ++scans) {
            makeOutData(ctx);
        }
    }
    const bool handed = handOut(ctx, dataInfo);
    AllUnlockBufLst(&ctx->BufList);
    if (!handed) {
        ctx->RepeatableCall = kz::kEventProduce;
        return KZ_NO_MEMORY;
    }
    // A scan that could not be written for lack of memory is missing from the
    // page: the caller hears of it, and completes the call as usual.
    if (const int32_t recorded = record(ctx, kz::kEventProduce); recorded != KZ_OK) return recorded;
    return ctx->OutputFailure;
}

int32_t OutputFlush(uint32_t* handle, uint32_t* dataInfo) {
    OutputContext* ctx = lockContext(handle);
    if (ctx == nullptr) return KZ_NO_MEMORY;
    if (!allowed(ctx, kz::kEventFlush)) return KZ_OUT_OF_ORDER;
    if (dataInfo == nullptr) return KZ_UNSUPPORTED;

    startOutput(ctx);
    // No page set up (a banner job flushed right after OutputInitTwo, or after
    // a refused page): there are no mode parameters to build scans with, so
    // the job ends as a page that never received ink does.
    const bool blankPage = ctx->PageStartPending == 1 || !pageSetUp(ctx);
    // A flush made again after its hand-out could not be made builds nothing
    // twice: it goes on from the stage it reached.
    if (ctx->FlushStage == 0) {
        // A scan of the drain that cannot be made or written is dropped and
        // the page still ends: the caller gets the page's output and -108.
        if (!blankPage) kz::drainPage(ctx);
        freeOffsetBuffer(ctx);
        ctx->FlushStage = 1;
    }
    bool handed = false;
    if (ctx->FlushStage == 2 || appendPageEnd(ctx, blankPage)) {
        ctx->FlushStage = 2;
        handed = handOut(ctx, dataInfo);
        ctx->PageEndHandedOut = handed ? 1 : 0;
    } else {
        ctx->CarriedOutput = 1;
    }
    if (!blankPage) AllUnlockBufLst(&ctx->BufList);
    if (!handed) return KZ_NO_MEMORY;
    ctx->FlushStage = 0;
    if (const int32_t recorded = record(ctx, kz::kEventFlush); recorded != KZ_OK) return recorded;
    return ctx->OutputFailure;
}

// On banner paper a page ends here.  Its last scans are built now, as a
// flush would, and kept for the next producing call to hand out ahead of its
// own output, so that no line of the page is lost when the next page starts
// a fresh store.  A scan that cannot be made or written is dropped, the
// drain goes on, and the call reports -108.
int32_t OutputFormFeed(uint32_t* handle) {
    OutputContext* ctx = lockContext(handle);
    if (ctx == nullptr || !allowed(ctx, kz::kEventFormFeed)) return KZ_OK;
    int16_t result = 0;
    if (ctx->PageStartPending == 0 && pageSetUp(ctx)) {
        startOutput(ctx);
        kz::drainPage(ctx);
        result = ctx->OutputFailure;
        ctx->CarriedOutput = 1;
    }
    SetCurrentStatus(&ctx->StatusHandle, kz::kEventFormFeed);
    return result;
}

int32_t OutputComplete(uint32_t* handle) {
    OutputContext* ctx = lockContext(handle);
    if (ctx == nullptr) return KZ_NO_MEMORY;
    if (!allowed(ctx, kz::kEventComplete)) return KZ_OUT_OF_ORDER;
    ctx->OutputPending = 0;
    // Within a page the chained blocks and the DataList wait for the next
    // hand-out; the page's last output gives them back.
    if (ctx->PageEndHandedOut != 0) {
        releaseChainedNodes(ctx);
        ctx->BufList.BufTop = nullptr;
    }
    ctx->PageEndHandedOut = 0;
    return record(ctx, kz::kEventComplete);
}

// Closing is allowed at any moment, in the middle of a page too: everything
// the job still holds is released, so closing never leaks.
void OutputClose(uint32_t* handle) {
    OutputContext* ctx = lockContext(handle);
    if (ctx == nullptr) return;
    CloseStatus(&ctx->StatusHandle);
    freeOffsetBuffer(ctx);
    releaseChainedNodes(ctx);
    KRVSDisposeHNDL(&ctx->BufList.BufHandle);
    ctx->BufList.BufTop = nullptr;
    if (auto* record = static_cast<DataInfoRecord*>(KRVSLockHNDL(ctx->DataInfoRecHandle))) {
        KRVSDisposeHNDL(&record->DataInfoHandle);
    }
    KRVSDisposeHNDL(&ctx->DataInfoRecHandle);
    KRVSDisposeHNDL(handle);
}
