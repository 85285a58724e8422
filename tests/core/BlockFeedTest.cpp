// PushBlock must give exactly the results of PushByte on each byte in turn,
// whatever the stream and however it is cut into blocks.
#include "BinrDecoder.h"
#include "NmeaAssembler.h"

#include <gtest/gtest.h>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Bytes dense in the characters the decoders react to, whole messages, and
// runs long enough to overflow.
std::vector<uint8_t> HostileStream(std::mt19937& rng, const std::vector<uint8_t>& specials,
                                   const std::vector<std::vector<uint8_t>>& messages)
{
    std::vector<uint8_t> bytes;
    std::uniform_int_distribution<int> pick(0, 999);
    while (bytes.size() < 20000) {
        const int p = pick(rng);
        if (p < 150) {
            bytes.push_back(specials[size_t(p) % specials.size()]);
        } else if (p < 155) {
            bytes.insert(bytes.end(), size_t(100 + pick(rng)), uint8_t('A'));
        } else if (p < 300) {
            const auto& m = messages[size_t(p) % messages.size()];
            bytes.insert(bytes.end(), m.begin(), m.end());
        } else {
            bytes.push_back(uint8_t(rng()));
        }
    }
    return bytes;
}

std::vector<uint8_t> Text(const std::string& s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

struct Event {
    size_t at;
    int result;
    bool operator==(const Event&) const = default;
};

template <typename Decoder, typename Byte>
void ExpectSameResults(const std::vector<uint8_t>& bytes, std::mt19937& rng)
{
    Decoder single, block;
    std::vector<Event> expected, actual;
    for (size_t i = 0; i < bytes.size(); ++i)
        if (const int r = single.PushByte(Byte(bytes[i])))
            expected.push_back({i, r});
    std::uniform_int_distribution<int> blockSize(0, 300);
    size_t at = 0;
    while (at < bytes.size()) {
        const int left = std::min(blockSize(rng), int(bytes.size() - at));
        int used = -1;
        const int r = block.PushBlock(reinterpret_cast<const Byte*>(bytes.data() + at), left, used);
        ASSERT_TRUE(r != 0 ? used >= 1 && used <= left : used == left) << "result " << r << " used " << used;
        at += size_t(used);
        if (r)
            actual.push_back({at - 1, r});
    }
    EXPECT_GT(expected.size(), 100u);
    EXPECT_EQ(actual.size(), expected.size());
    EXPECT_TRUE(actual == expected);
}

TEST(BlockFeed, NmeaMatchesBytes)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round)
        ExpectSameResults<NmeaAssembler, char>(HostileStream(rng, {'$', '\n', '\r', '*', ',', 'G', '0'},
                                                                {Text("$GPGGA,1,2*7C\r\n"), Text("$GPRMC,1\n"),
                                                                 Text("$GPGSV,1*00\r\n"), Text("$PVKTD,A,2.3")}), rng);
}

TEST(BlockFeed, BinrMatchesBytes)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 20; ++round)
        ExpectSameResults<BinrDecoder, uint8_t>(HostileStream(rng, {0x10, 0x10, 0x03, 0x88, 0x52, 0x93, 0x00},
                                                                  {{0x10, 0x60, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x10, 0x10, 0x10, 0x03},
                                                                   {0x10, 0x52, 1, 2, 3, 4, 5, 6, 7, 0x10, 0x03},
                                                                   {0x10, 0x02, 0x10, 0x03}, {0x10, 0x93, 0x10, 0x10}}), rng);
}

} // namespace
