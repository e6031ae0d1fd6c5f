// Job interface internals: registration defaults, the caller's own command
// stream, and the release of the page's raster store.
#pragma once

#include <cstdint>

#include "kzrqo317/export.h"
#include "kzrqo317/records.h"
#include "output/context.h"

namespace kz {

// Nodes of the caller's OutputSystem chain that are walked at most; a longer
// (or cyclic) chain is cut there.
inline constexpr int kMaxOutputSystemNodes = 4096;

}  // namespace kz

extern "C" {

KZ_EXPORT void setDefaultReg(OutputContext* ctx);
KZ_EXPORT void AnalyzeOutputSystem(OutputContext* ctx, const PrintInfo* info);
KZ_EXPORT void AnalyzeNative(OutputContext* ctx, const OutputSystemNode* node);
KZ_EXPORT void AnalyzeKRL(OutputContext* ctx, const OutputSystemNode* node);
KZ_EXPORT void AnalyzeDRMX(OutputContext* ctx, const OutputSystemNode* node);
KZ_EXPORT void freeOffsetBuffer(OutputContext* ctx);

}  // extern "C"
