#include <gtest/gtest.h>

#include <vector>

#include "command/command.h"
#include "support/output_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Framing : public kz::test::OutputFixture {
protected:
    // Frames and appends one command the way the page-level writers do.
    int16_t send(uint8_t letter) {
        uint8_t body[8] = {};
        HapsFrame frame{};
        frame.Body = body;
        EXPECT_EQ(makeHAPS(letter, ctx, &frame), 0);
        return sendHAPS(ctx, &frame);
    }
    Bytes frameOf(uint8_t letter) {
        FormatBufList(ctx);
        EXPECT_EQ(send(letter), 0);
        return output();
    }
};

TEST_F(Framing, PageControlAndSettingFrames) {
    EXPECT_EQ(frameOf('H'), (Bytes{0x1B, 0x28, 0x7A, 0x05, 0x00, 0x24, 0x70, 0x00, 0x00, 0x48}));
    EXPECT_EQ(frameOf('N'), (Bytes{0x1B, 0x28, 0x7A, 0x05, 0x00, 0x24, 0x70, 0x00, 0x00, 0x4E}));
    EXPECT_EQ(frameOf('r'), (Bytes{0x1B, 0x28, 0x7A, 0x07, 0x00, 0x24, 0x70, 0x00, 0x01, 0x72, 0x80, 0x00}));
    EXPECT_EQ(frameOf('a'), (Bytes{0x1B, 0x28, 0x7A, 0x06, 0x00, 0x24, 0x70, 0x00, 0x01, 0x61, 0x01}));
    ctx->NativeSetValue = 0x0105;
    EXPECT_EQ(frameOf('b').back(), 0x05);
}

TEST_F(Framing, ResolutionsByQuality) {
    for (uint32_t quality : {0u, 1u, 4u}) {
        ctx->QualityIndex = quality;
        const Bytes d = frameOf('d');
        ASSERT_EQ(d.size(), 14u);
        EXPECT_EQ(d[3], 9);
        EXPECT_EQ(Bytes(d.begin() + 10, d.end()),
                  quality == 0 ? (Bytes{0xB0, 0x04, 0x2C, 0x01}) : (Bytes{0xB0, 0x04, 0x58, 0x02}));
    }
}

TEST_F(Framing, MediaSettingsFrame) {
    // Colour, margins, media code 7 at quality code 10: mode 3, delay tables 3 and 1.
    ctx->ColorMode = 1;
    ctx->PrintMode = 3;
    ctx->MediaType = 7;
    ctx->QualityIndex = 2;
    ctx->ScanDelayTblNum = 3;
    ctx->PageDelayTblNum = 1;
    EXPECT_EQ(frameOf('h'), (Bytes{0x1B, 0x28, 0x7A, 0x0C, 0x00, 0x24, 0x70, 0x00, 0x01, 0x68, 0x00, 0x07,
                                   0x00, 0x02, 0x03, 0x01, 0x00}));
}

TEST_F(Framing, MediaSettingsModeAndBorderlessBytes) {
    for (uint32_t mode = 0; mode < 16; ++mode) {
        for (int16_t margin : {0, 1}) {
            for (uint32_t color : {0u, 1u}) {
                ctx->PrintMode = mode;
                ctx->MarginInfo = margin;
                ctx->ColorMode = color;
                const Bytes h = frameOf('h');
                const bool edgeMode = mode == 5 || mode == 6 || mode == 9 || mode == 10 || mode == 15;
                EXPECT_EQ(h[10], (margin == 1 || edgeMode) ? 2 : (color ^ 1)) << mode;
                EXPECT_EQ(h[12], margin == 1 ? 0x80 : 0x00);
                EXPECT_EQ(h[16], (mode == 9 || mode == 10) ? 1 : 0);
            }
        }
    }
}

TEST_F(Framing, LoadPaperModeFromTheJobsCodes) {
    struct Case { int16_t paper, media; uint8_t mode; };
    for (const Case c : {Case{46, 0, 1}, Case{1, 0, 0}, Case{20, 0, 2}, Case{1, 8, 1}, Case{1, 1, 2}, Case{59, 8, 1}}) {
        ctx->PaperSize = c.paper;
        ctx->MediaType = c.media;
        const Bytes f = frameOf('f');
        ASSERT_EQ(f.size(), 11u);
        EXPECT_EQ(f[10], c.mode) << c.paper << "/" << c.media;
    }
}

TEST_F(Framing, FeedCommands) {
    ctx->FeedAmount = 300;
    EXPECT_EQ(frameOf('m'), (Bytes{0x1B, 0x28, 0x7A, 0x08, 0x00, 0x24, 0x70, 0x00, 0x02, 0x6D, 0x2C, 0x01, 0x00}));
    ctx->FeedAmount = 96;
    EXPECT_EQ(frameOf('n'), (Bytes{0x1B, 0x28, 0x7A, 0x08, 0x00, 0x24, 0x70, 0x00, 0x02, 0x6E, 0x60, 0x00, 0x00}));
}

TEST(CommandClass, ByLetter) {
    for (uint8_t letter = 'A'; letter <= 'z'; ++letter) {
        const bool zero = letter == 'H' || letter == 'N' || letter == 'x';
        const bool two = letter == 'm' || letter == 'n' || letter == 's' || letter == 't' || letter == 'u';
        EXPECT_EQ(kz::commandClass(letter), zero ? 0 : two ? 2 : 1) << letter;
    }
}

TEST_F(Framing, FrameThatDoesNotFitStartsANewBlock) {
    ctx->BufList.BufPtr += 32760;  // 5 bytes of room left: 32760 + 10 + 1 > 32766
    ASSERT_EQ(send('H'), 0);
    ASSERT_NE(ctx->CurBufList, &ctx->BufList);
    EXPECT_EQ(ctx->BufList.BufPtr - ctx->BufList.BufTop, 32760);
    EXPECT_EQ(ctx->CurBufList->BufPtr - ctx->CurBufList->BufTop, 10);
    EXPECT_EQ(ctx->CurBufList->BufTop[9], 'H');
}

TEST_F(Framing, OutOfMemoryAppendsNothingAndKeepsWhatWasWritten) {
    ASSERT_EQ(send('H'), 0);
    ctx->BufList.BufPtr += 32750;
    kz::platform::failAllocation(1, true);
    EXPECT_EQ(send('r'), -108);
    EXPECT_EQ(send('N'), -108);
    kz::platform::resetFaults();
    EXPECT_EQ(ctx->BufList.BufPtr - ctx->BufList.BufTop, 32760);
    EXPECT_EQ(ctx->BufList.BufTop[9], 'H');
    EXPECT_EQ(ctx->BufList.NextHandle, 0u);
}

}  // namespace
