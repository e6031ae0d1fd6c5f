// The caller's own command stream (PrintInfo.OutputSystem) and the
// registration defaults.
#include "output/output.h"

namespace {

// Registration by plane and nozzle row parity, with margins less 256.
constexpr int16_t kDefaultReg[kz::kPlaneCount][2] = {
    {258, 270}, {128, 140}, {193, 205}, {673, 689}, {258, 270}, {128, 140}, {193, 205},
};
constexpr int16_t kMarginRegShift = 256;

constexpr uint8_t kEsc = 0x1B;

}  // namespace

void setDefaultReg(OutputContext* ctx) {
    const int16_t shift = ctx->MarginInfo == 1 ? 0 : kMarginRegShift;
    for (int p = 0; p < kz::kPlaneCount; ++p) {
        for (int parity = 0; parity < 2; ++parity) {
            for (int16_t& slot : ctx->ColorOffsetReg[p][parity]) slot = kDefaultReg[p][parity] + shift;
        }
    }
}

// The chain belongs to the caller: a cycle or an absurd length must not hang
// the job, so the walk stops after kMaxOutputSystemNodes nodes.
void AnalyzeOutputSystem(OutputContext* ctx, const PrintInfo* info) {
    if (info == nullptr) return;
    int walked = 0;
    for (const OutputSystemNode* node = info->OutputSystem;
         node != nullptr && walked < kz::kMaxOutputSystemNodes; node = node->Next, ++walked) {
        switch (node->Kind) {
            case 0: AnalyzeNative(ctx, node); break;
            case 1: AnalyzeKRL(ctx, node); break;
            case 2: AnalyzeDRMX(ctx, node); break;
            default: break;
        }
    }
}

// Looks for the page's ESC ( q setting in the caller's native commands.
// Framed commands are ESC, "(" or "[", a letter, a 16-bit little-endian
// length n and n parameter bytes.  Nothing at or past the node's length is
// read; a null address or a negative length is nothing to read.
void AnalyzeNative(OutputContext* ctx, const OutputSystemNode* node) {
    if (node->Bytes == nullptr || node->Length <= 0) return;
    const uint8_t* bytes = node->Bytes;
    const int64_t length = node->Length;
    int64_t at = 0;
    while (at < length) {
        if (bytes[at] != kEsc) {
            at += 1;
            continue;
        }
        if (at + 1 >= length) return;
        const uint8_t kind = bytes[at + 1];
        if (kind != '(' && kind != '[') {
            at += 2;
            continue;
        }
        if (at + 4 >= length) return;  // letter or length cut short
        const uint8_t letter = bytes[at + 2];
        const int64_t n = bytes[at + 3] | (bytes[at + 4] << 8);
        if (letter == 'q' && n >= 1 && ctx->PageStartPending != 0) {
            if (at + 5 >= length) return;  // first parameter byte cut short
            ctx->NativeSetValue = bytes[at + 5];
        }
        at += 5 + n;
    }
}

void AnalyzeKRL(OutputContext*, const OutputSystemNode*) {}

void AnalyzeDRMX(OutputContext*, const OutputSystemNode*) {}
