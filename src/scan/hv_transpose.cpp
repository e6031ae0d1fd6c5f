// The 16 x 16 transposition of HV buffers: from one 16-pixel word per nozzle
// to, per pixel column, words of 16 nozzles.  Offered to callers; the scan
// pipeline sends the buffers untransposed.
#include <algorithm>

#include "command/scan_commands.h"
#include "kzrqo317/platform.h"
#include "kzrqo317/tables.h"
#include "scan/hv_convert.h"

// setBit[k]: bit 15 - k of a 16-bit word.
constexpr uint16_t setBit[16] = {0x8000, 0x4000, 0x2000, 0x1000, 0x0800, 0x0400, 0x0200, 0x0100,
                                 0x0080, 0x0040, 0x0020, 0x0010, 0x0008, 0x0004, 0x0002, 0x0001};

namespace {

constexpr bool setBitIsOneBitEach() {
    for (int k = 0; k < 16; ++k) {
        if (setBit[k] != (0x8000u >> k)) return false;
    }
    return true;
}
static_assert(setBitIsOneBitEach());

constexpr int kGroupPixels = 16;

// Nozzle i's bit of pixel column k goes to word k x (N / 16) + i / 16 of the
// work area, at bit i % 16; the work words then replace the group, low byte
// first.  `backward` reads the nozzle's two bytes right pixel first.
void transposeGroup(uint8_t* group, uint16_t* work, int nozzles, bool backward) {
    if (nozzles <= 0) return;
    const int wordsPerColumn = nozzles / 16;
    for (int i = 0; i < nozzles; ++i) {
        const uint8_t b0 = group[2 * i], b1 = group[2 * i + 1];
        const unsigned w = backward ? b1 * 256u + b0 : b0 * 256u + b1;
        for (int k = 0; k < kGroupPixels; ++k) {
            const uint16_t columnBit = backward ? setBit[15 - k] : setBit[k];
            if ((w & columnBit) != 0) work[k * wordsPerColumn + i / 16] |= setBit[15 - i % 16];
        }
    }
    for (int i = 0; i < nozzles; ++i) {
        group[2 * i] = static_cast<uint8_t>(work[i] & 0xFF);
        group[2 * i + 1] = static_cast<uint8_t>(work[i] >> 8);
    }
}

}  // namespace

void hvConv16x16_Fore(uint8_t* group, uint16_t* work, int16_t nozzles) {
    transposeGroup(group, work, nozzles, false);
}

void hvConv16x16_Back(uint8_t* group, uint16_t* work, int16_t nozzles) {
    transposeGroup(group, work, nozzles, true);
}

void hvConvHard(OutputContext* ctx, ScanInfo* scan, uint8_t* buffer) {
    // A buffer holds at most 63 blocks: a wider extent is not transposed past them.
    const int blocks = std::min<int>(getBlkNum(scan, ctx, ctx->ScanDir), kz::kBlocksPerBuffer);
    const int groups = ctx->BlockWidth / kGroupPixels;
    const int nozzles = scan->ScanNzlNum / 2;
    const auto kernel = ctx->ScanDir != 0 ? hvConv16x16_Back : hvConv16x16_Fore;

    uint32_t workHandle = KRVSNewHNDL(2 * nozzles);
    auto* work = static_cast<uint16_t*>(KRVSLockHNDL(workHandle));
    if (work == nullptr || buffer == nullptr) {
        KRVSDisposeHNDL(&workHandle);
        return;
    }
    for (int b = 0; b < blocks; ++b) {
        for (int g = 0; g < groups; ++g) {
            KRVSSetData(work, 0, 2 * nozzles);
            kernel(buffer, work, static_cast<int16_t>(nozzles));
            buffer += 2 * nozzles;
        }
    }
    KRVSUnlockHNDL(workHandle);
    KRVSDisposeHNDL(&workHandle);
}
