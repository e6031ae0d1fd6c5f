// Print parameters: settings, print mode selection, mode tables, page geometry.
#pragma once

#include <cstdint>

#include "kzrqo317/export.h"
#include "kzrqo317/records.h"
#include "output/context.h"

namespace kz {

inline constexpr int kModeCount = 16;
inline constexpr uint32_t kNoPrintMode = 17;
inline constexpr int kMediaIndexCount = 13;
inline constexpr int kQualityIndexCount = 5;
inline constexpr int kMediaEnumCount = 16;
inline constexpr int kPaperEnumCount = 27;

// Media indices 0, 1 and 10: the ones with the borderless replacement modes,
// the print-quality monitors and the scan delay.
constexpr bool isPlainMedia(uint32_t mediaIndex) {
    return mediaIndex == 0 || mediaIndex == 1 || mediaIndex == 10;
}

}  // namespace kz

extern "C" {

// Settings and mode selection.
// Job level: copies the caller's codes and their indices.  Never fails.
KZ_EXPORT int16_t setPrintInfo(OutputContext* ctx, const PrintInfo* info);
// Page level: selects the print mode and fills its parameters; -128 without a mode.
KZ_EXPORT int16_t setPrintInfoPart(OutputContext* ctx, const PrintInfo* info);
KZ_EXPORT uint32_t GetColorMode(const PrintInfo* info, const OutputContext* ctx);
KZ_EXPORT uint32_t GetPrintMode(const OutputContext* ctx);

// The caller's codes as indices and enumerations.
KZ_EXPORT uint32_t GetIndexMediaType(int16_t mediaType);
KZ_EXPORT int16_t getPrintMediaEnum(int16_t mediaType);
KZ_EXPORT uint32_t GetIndexPrintQuality(int16_t printQuality);
KZ_EXPORT int16_t getPaperSizeEnum(int16_t paperSize);
KZ_EXPORT uint8_t getLoadPaperMode(int16_t paperSize, int16_t mediaType);
KZ_EXPORT int32_t GetBinMethod(const PrintInfo* info);
KZ_EXPORT int32_t GetPaperSize(const PrintInfo* info);
KZ_EXPORT int32_t GetMarginInfo(const PrintInfo* info);

// Column offset of one plane's nozzle row for a scan direction (0 forward).
KZ_EXPORT int16_t getOffsetColorCR(const OutputContext* ctx, int16_t plane, int16_t rowParity,
                                   int16_t direction);

// Mode parameters.
KZ_EXPORT int32_t GetPassNum(int32_t mode);
KZ_EXPORT int32_t GetNzlNum(int32_t mode);
KZ_EXPORT int32_t GetColorNum(int32_t mode);
KZ_EXPORT int16_t GetBitDepth(OutputContext* ctx, int16_t plane);
KZ_EXPORT void GetNzlPosition(OutputContext* ctx);
KZ_EXPORT uint32_t GetDirection(OutputContext* ctx);
KZ_EXPORT int16_t GetScanSpeed(OutputContext* ctx, int16_t mediaType);
KZ_EXPORT uint16_t GetPowerMonitorInfo(OutputContext* ctx);
// Clears the smear dot counts when it returns 1.
KZ_EXPORT uint16_t GetSmearInfo(OutputContext* ctx);
KZ_EXPORT uint16_t GetUnevenMonitorInfo(void);
KZ_EXPORT uint16_t GetScanDelayInfo(OutputContext* ctx);
KZ_EXPORT uint16_t GetScanDelayTblNum(OutputContext* ctx);
KZ_EXPORT uint16_t GetPageDelayTblNum(OutputContext* ctx);
// Hands the pass pattern and bit-count tables to the context.
KZ_EXPORT int16_t SetTable(OutputContext* ctx);

// Page geometry.
KZ_EXPORT uint8_t GetNzlLimitInfo(const OutputContext* ctx);
KZ_EXPORT void SetTopBottomNzlFunc(OutputContext* ctx);
KZ_EXPORT void SetNoEdgeDotCntInfo(OutputContext* ctx);
KZ_EXPORT void SetOffsetSize(OutputContext* ctx);
// Allocates the page's raster store; 0 or -108 (everything it took released).
KZ_EXPORT int16_t FormatBlock(OutputContext* ctx);

}  // extern "C"
