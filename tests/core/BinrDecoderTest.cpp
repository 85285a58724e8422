#include "BinrDecoder.h"
#include "BinrLayouts.h"

#include <gtest/gtest.h>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Payload(size_t size, uint8_t first = 1)
{
    Bytes p(size);
    for (size_t i = 0; i < size; ++i)
        p[i] = uint8_t(first + i);
    return p;
}

Bytes Frame(uint8_t id, const Bytes& payload)
{
    Bytes out{kDle, id};
    for (uint8_t b : payload) {
        out.push_back(b);
        if (b == kDle)
            out.push_back(kDle);
    }
    out.push_back(kDle);
    out.push_back(kEtx);
    return out;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Results of every byte that gave something other than 0.
std::vector<int> Feed(BinrDecoder& binr, const Bytes& bytes)
{
    std::vector<int> results;
    for (uint8_t b : bytes)
        if (const int r = binr.PushByte(b))
            results.push_back(r);
    return results;
}

TEST(BinrDecoder, KeepsNavSolutionWithStuffedDle)
{
    BinrDecoder binr;
    const Bytes nav = Payload(kNavSolutionSize, 0x05); // holds 0x10 at offset 11
    const Bytes wire = Frame(kMsgNavSolution, nav);
    ASSERT_GT(wire.size(), nav.size() + 4);
    for (size_t i = 0; i + 1 < wire.size(); ++i)
        ASSERT_EQ(binr.PushByte(wire[i]), 0) << "byte " << i;
    EXPECT_EQ(binr.PushByte(wire.back()), kMsgNavSolution);
    EXPECT_EQ(Bytes(binr.NavSolution(), binr.NavSolution() + kNavSolutionSize), nav);
}

struct LengthCase {
    uint8_t id;
    size_t size;
    int result;
};

TEST(BinrDecoder, LengthChecks)
{
    const LengthCase cases[] = {
        {kMsgNavSolution, 69, kMsgNavSolution}, {kMsgNavSolution, 68, -1}, {kMsgNavSolution, 70, -1},
        {kMsgDopInfo, 10, kMsgDopInfo},         {kMsgDopInfo, 9, -1},      {kMsgDeviceInfo, 76, kMsgDeviceInfo},
        {kMsgDeviceInfo, 77, -1},               {kMsgSatInView, 21, kMsgSatInView},
        {kMsgSatInView, 20, -1},                {kMsgSatInView, 0, kMsgSatInView},
        {kMsgSolutionStatus, 16, kMsgSolutionStatus}, {kMsgSolutionStatus, 26, kMsgSolutionStatus},
        {kMsgSolutionStatus, 18, -1},           {kMsgSolutionStatus, 15, -1},
        {kMsgHeartbeat, 3, kMsgHeartbeat},      {0x02, 0, 0x02}, {0xFF, 1022, 0xFF},
    };
    for (const LengthCase& c : cases) {
        BinrDecoder binr;
        EXPECT_EQ(Feed(binr, Frame(c.id, Payload(c.size))), std::vector<int>{c.result})
            << "id " << int(c.id) << " size " << c.size;
    }
}

TEST(BinrDecoder, FailedCheckKeepsPreviousPayload)
{
    BinrDecoder binr;
    const Bytes first = Payload(kNavSolutionSize, 0x20);
    Feed(binr, Frame(kMsgNavSolution, first));
    EXPECT_EQ(Feed(binr, Frame(kMsgNavSolution, Payload(kNavSolutionSize + 1, 0x40))), std::vector<int>{-1});
    EXPECT_EQ(Bytes(binr.NavSolution(), binr.NavSolution() + kNavSolutionSize), first);
}

TEST(BinrDecoder, SatellitesInViewAndSolutionStatus)
{
    BinrDecoder binr;
    EXPECT_EQ(Feed(binr, Frame(kMsgSatInView, Payload(21))), std::vector<int>{kMsgSatInView});
    EXPECT_EQ(binr.SatInViewCount(), 3);
    EXPECT_EQ(binr.SatInViewRecord(2)[0], 15);
    Feed(binr, Frame(kMsgSatInView, {}));
    EXPECT_EQ(binr.SatInViewCount(), 0);

    EXPECT_EQ(Feed(binr, Frame(kMsgSolutionStatus, Payload(26))), std::vector<int>{kMsgSolutionStatus});
    EXPECT_EQ(binr.BadSatCount(), 2);
    EXPECT_EQ(binr.StatusHeader()[15], 16);
    EXPECT_EQ(binr.BadSatNumber(0), 17);
    EXPECT_EQ(binr.BadSatNumber(1), 22);
    EXPECT_EQ(Bytes(binr.BadSatValue(1), binr.BadSatValue(1) + 4), (Bytes{23, 24, 25, 26}));
    Feed(binr, Frame(kMsgSolutionStatus, Payload(16)));
    EXPECT_EQ(binr.BadSatCount(), 0);
}

// More records than the kept storage holds: accepted, cut to what fits.
TEST(BinrDecoder, CutsOversizedLists)
{
    BinrDecoder binr;
    EXPECT_EQ(Feed(binr, Frame(kMsgSatInView, Payload(kSatRecordSize * 40))), std::vector<int>{kMsgSatInView});
    EXPECT_EQ(binr.SatInViewCount(), kSatInViewMax);
    EXPECT_EQ(binr.SatInViewRecord(kSatInViewMax - 1)[0], uint8_t(1 + kSatRecordSize * (kSatInViewMax - 1)));

    const size_t statusSize = kStatusHeaderSize + kStatusEntrySize * 100;
    EXPECT_EQ(Feed(binr, Frame(kMsgSolutionStatus, Payload(statusSize))), std::vector<int>{kMsgSolutionStatus});
    EXPECT_EQ(binr.BadSatCount(), kBadSatMax);
    EXPECT_EQ(binr.BadSatNumber(kBadSatMax - 1), uint8_t(1 + kStatusHeaderSize + kStatusEntrySize * (kBadSatMax - 1)));
}

TEST(BinrDecoder, IgnoresNoiseBetweenFrames)
{
    BinrDecoder binr;
    const Bytes noise{0x00, 0x03, 0xFF, kDle, kDle, kDle, kEtx, 0x55};
    const Bytes stream = noise + Frame(kMsgDopInfo, Payload(kDopInfoSize)) + noise + Frame(0x02, {0x01});
    EXPECT_EQ(Feed(binr, stream), (std::vector<int>{kMsgDopInfo, 0x02}));
}

TEST(BinrDecoder, LostFrameEndJoinsFrames)
{
    BinrDecoder binr;
    Bytes first = Frame(kMsgNavSolution, Payload(kNavSolutionSize));
    first.resize(first.size() - 2);
    // 69 + ID + 69 payload bytes of the second frame: 139 payload bytes.
    EXPECT_EQ(Feed(binr, first + Frame(kMsgNavSolution, Payload(kNavSolutionSize))), std::vector<int>{-1});
    EXPECT_EQ(Feed(binr, Frame(kMsgNavSolution, Payload(kNavSolutionSize))), std::vector<int>{kMsgNavSolution});
}

TEST(BinrDecoder, OverflowThenResynchronises)
{
    BinrDecoder binr;
    Bytes longFrame{kDle, 0x42};
    longFrame.resize(2 + kBinrFrameMax - 1, 0x00); // ID and 1023 payload bytes
    const std::vector<int> codes = Feed(binr, longFrame);
    EXPECT_EQ(codes, std::vector<int>{-1});
    EXPECT_EQ(binr.PushByte(0x00), 0) << "bytes after an overflow are ignored";
    EXPECT_EQ(Feed(binr, Bytes{0x01, kDle, kEtx} + Frame(0x02, {})), std::vector<int>{0x02});
}

TEST(BinrDecoder, ResetAbandonsFrame)
{
    BinrDecoder binr;
    Bytes half = Frame(kMsgDopInfo, Payload(kDopInfoSize));
    half.resize(6);
    Feed(binr, half);
    binr.Reset();
    EXPECT_EQ(Feed(binr, Payload(10) + Bytes{kDle, kEtx}), std::vector<int>{});
}

} // namespace
