// A job opened through the public calls, with a page set up, whose context
// the tests may look into.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "output/context.h"
#include "platform/fault_injection.h"
#include "support/job.h"

namespace kz::test {

class JobFixture : public ::testing::Test {
protected:
    void TearDown() override {
        platform::resetFaults();
        OutputClose(&job);
    }

    // Opens the job and sets up its first page with these settings.
    void start(const PrintInfo& settings) {
        info = settings;
        ASSERT_EQ(OutputOpen(&job), KZ_OPEN_OK);
        ASSERT_EQ(OutputInitTwo(&job, &info, KZ_PRINTER_MODEL), KZ_OK);
        ASSERT_EQ(OutputInitPart(&job, &info), KZ_OK);
    }

    OutputContext* ctx() const { return static_cast<OutputContext*>(KRVSLockHNDL(job)); }

    // Gives one line and completes its output; returns the call's result.
    int32_t produce(const RasterInfo& line, std::vector<uint8_t>* bytes = nullptr) {
        uint32_t out = 0;
        const int32_t result = OutputProduceTwo(&job, &line, &out);
        if (result == KZ_OK || result == KZ_NO_MEMORY) {
            if (bytes != nullptr && out != 0) {
                const auto output = readOutput(out).bytes;
                bytes->insert(bytes->end(), output.begin(), output.end());
            }
            EXPECT_EQ(OutputComplete(&job), KZ_OK);
        }
        return result;
    }

    // The stored record and bytes of colour plane p at page line `line`.
    const LineRecord& record(int p, int32_t line) const {
        const int32_t slot = (ctx()->PlaneOffset[p] + line) % ctx()->RingLines[p];
        return ctx()->Band[p][slot / 8].Line[slot % 8];
    }
    std::vector<uint8_t> stored(int p, int32_t line) const {
        const int32_t slot = (ctx()->PlaneOffset[p] + line) % ctx()->RingLines[p];
        const auto* memory = static_cast<const uint8_t*>(KRVSLockHNDL(ctx()->Band[p][slot / 8].LineMemory));
        const uint8_t* at = memory + (slot % 8) * ctx()->LinePitch[p];
        return std::vector<uint8_t>(at, at + record(p, line).ByteCount);
    }

    uint32_t job = 0;
    PrintInfo info{};
};

// A raster line whose entries all point at the same pixels (null: blank).
inline RasterInfo lineOf(uint32_t number, const uint8_t* data, uint16_t width, int entries = 7,
                         uint16_t left = 0, uint16_t right = 0) {
    RasterInfo line{};
    line.LineNo = number;
    for (int i = 0; i < entries; ++i) line.Plane[i] = {data, width, left, right, 0};
    return line;
}

inline PrintInfo settings(int16_t media, int16_t quality, int16_t margin = 0, int16_t mono = 0,
                          int16_t paper = 3, uint16_t banner = 0) {
    PrintInfo info{};
    info.MediaType = media;
    info.PrintQuality = quality;
    info.MarginInfo = margin;
    info.Monochrome = mono;
    info.PaperSize = paper;
    info.BannerPaper = banner;
    return info;
}

}  // namespace kz::test
