// The caller's media, quality and paper size codes as the indices and
// enumerations the parameter tables are indexed by, and the load-paper mode.
// Unknown codes are never errors: each falls to its table's default.
#include <array>

#include "param/param.h"

namespace {

struct MediaCode {
    int16_t code;
    uint32_t index;       // column of the mode and delay tables, 0..12
    int16_t enumeration;  // column of the scan-speed and load-paper tables, 0..15
};

// Codes 15, 22 and 24 share media index 4; enumeration 7 is never produced.
constexpr std::array<MediaCode, 15> kMediaCodes = {{
    {0, 0, 0},
    {1, 2, 1},
    {7, 1, 2},
    {8, 10, 3},
    {15, 4, 4},
    {16, 5, 5},
    {18, 3, 6},
    {22, 4, 8},
    {24, 4, 8},
    {26, 6, 9},
    {27, 7, 10},
    {28, 8, 11},
    {29, 9, 12},
    {36, 11, 13},
    {37, 12, 14},
}};
constexpr MediaCode kUnknownMedia = {-1, 0, 15};

// Paper size codes in enumeration order; any other code is enumeration 26.
constexpr std::array<int16_t, 26> kPaperCodes = {1,  2,  3,  8,  9,  13, 15, 20, 21,
                                                 26, 27, 42, 43, 45, 46, 47, 48, 49,
                                                 50, 51, 52, 55, 56, 57, 58, 59};
constexpr int16_t kUnknownPaper = 26;

constexpr MediaCode findMedia(int16_t code) {
    for (const MediaCode& m : kMediaCodes) {
        if (m.code == code) return m;
    }
    return kUnknownMedia;
}

constexpr int16_t findPaper(int16_t code) {
    for (std::size_t i = 0; i < kPaperCodes.size(); ++i) {
        if (kPaperCodes[i] == code) return static_cast<int16_t>(i);
    }
    return kUnknownPaper;
}

// Load-paper mode by paper enumeration (rows) and media enumeration (columns).
//                                            media enumeration 0..15
using LoadPaperRow = std::array<uint8_t, kz::kMediaEnumCount>;
constexpr LoadPaperRow kPlainLoad = {0, 2, 2, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
constexpr LoadPaperRow kOtherLoad = {2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
constexpr LoadPaperRow kSheetLoad = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

constexpr std::array<LoadPaperRow, kz::kPaperEnumCount> LoadPaperModeTbl = {
    kPlainLoad,  // 0: code 1
    kPlainLoad,  // 1: code 2
    kPlainLoad,  // 2: code 3
    kPlainLoad,  // 3: code 8
    kPlainLoad,  // 4: code 9
    kPlainLoad,  // 5: code 13
    kPlainLoad,  // 6: code 15
    kOtherLoad,  // 7: code 20
    kOtherLoad,  // 8: code 21
    kPlainLoad,  // 9: code 26
    kPlainLoad,  // 10: code 27
    kPlainLoad,  // 11: code 42
    kPlainLoad,  // 12: code 43
    kOtherLoad,  // 13: code 45
    kSheetLoad,  // 14: code 46
    kSheetLoad,  // 15: code 47
    kSheetLoad,  // 16: code 48
    kSheetLoad,  // 17: code 49
    kOtherLoad,  // 18: code 50
    kOtherLoad,  // 19: code 51
    kOtherLoad,  // 20: code 52
    kOtherLoad,  // 21: code 55
    kOtherLoad,  // 22: code 56
    kOtherLoad,  // 23: code 57
    kSheetLoad,  // 24: code 58
    kSheetLoad,  // 25: code 59
    kOtherLoad,  // 26: any other code
};

// The rule the table spells out: these papers always load one way, media 3
// likewise, plain media (0) on the common cut sizes another, the rest a third.
constexpr uint8_t loadPaperRule(int paper, int media) {
    if ((paper >= 14 && paper <= 17) || paper == 24 || paper == 25) return 1;
    if (media == 3) return 1;
    if (media == 0 && (paper <= 6 || (paper >= 9 && paper <= 12))) return 0;
    return 2;
}

constexpr bool loadPaperTableFollowsRule() {
    for (int paper = 0; paper < kz::kPaperEnumCount; ++paper) {
        for (int media = 0; media < kz::kMediaEnumCount; ++media) {
            if (LoadPaperModeTbl[paper][media] != loadPaperRule(paper, media)) return false;
        }
    }
    return true;
}
static_assert(loadPaperTableFollowsRule());
static_assert(kPaperCodes[14] == 46 && kPaperCodes[25] == 59);

}  // namespace

uint32_t GetIndexMediaType(int16_t mediaType) {
    return findMedia(mediaType).index;
}

int16_t getPrintMediaEnum(int16_t mediaType) {
    return findMedia(mediaType).enumeration;
}

uint32_t GetIndexPrintQuality(int16_t printQuality) {
    switch (printQuality) {
        case 15:
            return 1;
        case 10:
            return 2;
        case 5:
            return 3;
        case 0:
            return 4;
        default:
            return 0;
    }
}

int16_t getPaperSizeEnum(int16_t paperSize) {
    return findPaper(paperSize);
}

uint8_t getLoadPaperMode(int16_t paperSize, int16_t mediaType) {
    return LoadPaperModeTbl[findPaper(paperSize)][findMedia(mediaType).enumeration];
}

int32_t GetBinMethod(const PrintInfo* info) {
    return info->BinMethod;
}

int32_t GetPaperSize(const PrintInfo* info) {
    return info->PaperSize;
}

int32_t GetMarginInfo(const PrintInfo* info) {
    return info->MarginInfo;
}
