// Helpers for driving whole jobs through the public calls.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "kzrqo317/kzrqo317.h"

namespace kz::test {

// Plain paper, standard quality, A4, with margins: print mode 1.
inline PrintInfo plainPaper(uint16_t banner = 0) {
    PrintInfo info{};
    info.MediaType = 0;
    info.PrintQuality = 15;
    info.PaperSize = 3;
    info.BannerPaper = banner;
    return info;
}

struct Output {
    uint16_t entryCount = 0;
    std::vector<uint16_t> blockSizes;  // every listed entry before the zero entry
    std::vector<uint8_t> bytes;        // the blocks concatenated
};

// Reads what a producing call handed out through its DataInfo handle.
inline Output readOutput(uint32_t dataInfoHandle) {
    Output out;
    const auto* info = static_cast<const DataInfo*>(KRVSLockHNDL(dataInfoHandle));
    if (info == nullptr) return out;
    const auto* list = static_cast<const DataList*>(KRVSLockHNDL(info->ListHandle));
    if (list == nullptr) return out;
    out.entryCount = info->EntryCount;
    for (unsigned i = 0; i < info->EntryCount; ++i) {
        out.blockSizes.push_back(list[i].ByteCount);
        const auto* bytes = static_cast<const uint8_t*>(KRVSLockHNDL(list[i].BlockHandle));
        if (bytes != nullptr) out.bytes.insert(out.bytes.end(), bytes, bytes + list[i].ByteCount);
    }
    const DataList& last = list[info->EntryCount == 0 ? 1 : info->EntryCount];
    EXPECT_EQ(last.BlockHandle, 0u) << "a DataList ends with an all-zero entry";
    EXPECT_EQ(last.ByteCount, 0);
    return out;
}

// The command letters of a stream of frames, in order.
inline std::string letters(const std::vector<uint8_t>& bytes) {
    std::string s;
    for (size_t at = 0; at + 10 <= bytes.size();) {
        s += static_cast<char>(bytes[at + 9]);
        at += 5 + (bytes[at + 3] | bytes[at + 4] << 8);
    }
    return s;
}

}  // namespace kz::test
