// A job context with a raster store laid out as a page's would be, for the
// tests of intake and scan building.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "kzrqo317/platform.h"
#include "output/output.h"
#include "support/output_fixture.h"

namespace kz::test {

class StoreFixture : public OutputFixture {
protected:
    void TearDown() override {
        freeOffsetBuffer(ctx);
        OutputFixture::TearDown();
    }

    // Planes with a non-zero depth get `ringLines` lines of depth x 768 bytes.
    void layStore(std::initializer_list<int16_t> depths, int16_t ringLines = 128) {
        int p = 0;
        for (int16_t depth : depths) {
            ctx->BitDepth[p] = depth;
            if (depth != 0) {
                ctx->LinePitch[p] = static_cast<int16_t>(depth * 768);
                ctx->RingLines[p] = ringLines;
                for (int k = 0; k < (ringLines + 7) / 8; ++k) {
                    ctx->Band[p][k].LineMemory = KRVSNewHNDL(8 * ctx->LinePitch[p]);
                }
            }
            ++p;
        }
    }

    // Stores `count` bytes at byte `first` as page line `line` of plane p.
    void storeLine(int p, int32_t line, uint16_t first, uint16_t count, uint8_t value = 0xFF) {
        const int32_t slot = line % ctx->RingLines[p];
        BandBlock* block = GetBufInfo(ctx, slot, static_cast<int16_t>(p));
        block->Line[slot % 8].FirstByte = first;
        kz::setLineBytes(ctx, &block->Line[slot % 8], count);
        uint8_t* memory = MyLockPH_Direct(ctx, block, static_cast<int16_t>(slot % 8), static_cast<int16_t>(p));
        std::memset(memory, value, count);
    }
};

}  // namespace kz::test
