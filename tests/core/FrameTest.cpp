#include "BinrDecoder.h"
#include "BinrLayouts.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

std::vector<uint8_t> Frame(uint8_t id, std::vector<uint8_t> payload, int outSize = kBinrCommandFrameMax)
{
    std::vector<uint8_t> out(size_t(outSize > 0 ? outSize : 1));
    const int n = BuildBinrFrame(id, payload.data(), int(payload.size()), out.data(), outSize);
    out.resize(size_t(n));
    return out;
}

TEST(BinrFrameWriter, FramesAndStuffsPayloadOnly)
{
    EXPECT_EQ(Frame(0x0C, {0x00}), (std::vector<uint8_t>{0x10, 0x0C, 0x00, 0x10, 0x03}));
    EXPECT_EQ(Frame(0x26, {}), (std::vector<uint8_t>{0x10, 0x26, 0x10, 0x03}));
    EXPECT_EQ(Frame(0x0B, {0x00, 0x10, 0x0E, 0x00, 0x00, 0x04}),
              (std::vector<uint8_t>{0x10, 0x0B, 0x00, 0x10, 0x10, 0x0E, 0x00, 0x00, 0x04, 0x10, 0x03}));
}

TEST(BinrFrameWriter, RefusesFrameLargerThanBuffer)
{
    EXPECT_TRUE(Frame(0x0C, std::vector<uint8_t>(4, 0x10), 10).empty());
    EXPECT_EQ(Frame(0x0C, std::vector<uint8_t>(3, 0x10), 10).size(), 10u);
}

} // namespace
