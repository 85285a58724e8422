// The console's capture of messages as received: the decoders' framing on
// any cut of the stream into blocks, refused messages marked, and the true
// length of a message longer than the bytes kept.
#include "BinrDecoder.h"
#include "BinrEncoder.h"
#include "MessageCapture.h"
#include "NmeaAssembler.h"
#include "NmeaChecksum.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

struct Seen {
    std::string bytes;   // the kept bytes
    uint32_t length;
    bool error;
    bool undecoded = false;   // bytes between messages
};

// The stream through a real decoder in blocks of the given sizes (cycled),
// each PushBlock's consumed bytes and result handed to the capture: the
// messages, and the raw chunks' bytes joined in rawBytes.
std::vector<Seen> Capture(MessageProtocol protocol, const std::string& stream, const std::vector<int>& blocks,
                          std::string* rawBytes = nullptr)
{
    NmeaAssembler nmea;
    BinrDecoder binr;
    MessageCapture capture(protocol);
    MessageLog log;
    const auto* bytes = reinterpret_cast<const uint8_t*>(stream.data());
    size_t at = 0;
    for (size_t k = 0; at < stream.size(); ++k) {
        const int block = int(std::min<size_t>(size_t(blocks[k % blocks.size()]), stream.size() - at));
        for (int done = 0; done < block;) {
            int used = 0;
            const int result = protocol == MessageProtocol::Nmea
                                   ? nmea.PushBlock(stream.data() + at + done, block - done, used)
                                   : binr.PushBlock(bytes + at + done, block - done, used);
            capture.Feed(bytes + at + done, used, result, 0, 0, log);
            done += std::max(used, 1);
        }
        at += size_t(block);
    }
    std::vector<Seen> seen;
    for (uint64_t s = 0; s < log.Appended(); ++s) {
        const MessageEntry* e = log.At(s);
        if (e->undecoded && rawBytes) {
            EXPECT_TRUE(e->error && e->length <= uint32_t(kMessageBytesKept));
            EXPECT_STREQ(log.Type(e->type).name, "undecoded");
            rawBytes->append(reinterpret_cast<const char*>(e->bytes), e->length);
            continue;
        }
        seen.push_back({std::string(reinterpret_cast<const char*>(e->bytes), size_t(e->KeptLength())), e->length,
                        e->error, e->undecoded});
    }
    return seen;
}

std::string Frame(uint8_t id, const std::vector<uint8_t>& payload)
{
    BinrBytes out;
    AppendBinrFrame(out, id, BinrBytes(payload.begin(), payload.end()));
    return {out.begin(), out.end()};
}

struct CaptureCase {
    const char* name;
    MessageProtocol protocol;
    std::string stream;
    std::vector<Seen> expected;
};

TEST(MessageCapture, FramesAsTheDecoderDoesOnEveryCut)
{
    const std::string gga = NmeaSentence("GPGGA,071551.000,4739.71754,N");
    std::string badGga = gga;
    badGga[badGga.size() - 3] = badGga[badGga.size() - 3] == '0' ? '1' : '0';
    const std::string overflow = "$GPXXX," + std::string(140, 'A') + "\r\n";
    const std::string nav = Frame(0x88, std::vector<uint8_t>(69, 0x10));   // every payload byte stuffed
    const std::string shortNav = Frame(0x88, {1, 2, 3});
    const std::string unknown = Frame(0xA5, {0x10, 0x03, 0x10});
    const std::string huge = Frame(0xA6, std::vector<uint8_t>(1100, 0x55));
    const CaptureCase cases[] = {
        // Noise shows as undecoded chunks, each closed by the next "$";
        // line ends alone are none.
        {"sentences with noise between", MessageProtocol::Nmea, "xx" + gga + "\r\n\n" + "junk\n" + gga,
         {{"xx", 2, true, true},
          {gga, uint32_t(gga.size()), false},
          {"junk\n", 5, true, true},
          {gga, uint32_t(gga.size()), false}}},
        {"noise longer than kept comes in chunks", MessageProtocol::Nmea, std::string(300, '\x8f') + gga,
         {{std::string(kMessageBytesKept, '\x8f'), uint32_t(kMessageBytesKept), true, true},
          {std::string(300 - kMessageBytesKept, '\x8f'), uint32_t(300 - kMessageBytesKept), true, true},
          {gga, uint32_t(gga.size()), false}}},
        {"bad checksum refused", MessageProtocol::Nmea, badGga + gga,
         {{badGga, uint32_t(badGga.size()), true}, {gga, uint32_t(gga.size()), false}}},
        {"a $ drops the sentence under way", MessageProtocol::Nmea, "$GPGGA,1,2" + gga,
         {{gga, uint32_t(gga.size()), false}}},
        {"overflow refused where the decoder stops", MessageProtocol::Nmea, overflow + gga,
         {{overflow.substr(0, kNmeaSentenceMax), uint32_t(kNmeaSentenceMax), true}, {gga, uint32_t(gga.size()), false}}},
        {"stuffed frame whole", MessageProtocol::Binr, "\x03\x41" + nav,
         {{"\x03\x41", 2, true, true}, {nav.substr(0, kMessageBytesKept), uint32_t(nav.size()), false}}},
        {"wrong length refused, unknown ID kept", MessageProtocol::Binr, shortNav + unknown,
         {{shortNav, uint32_t(shortNav.size()), true}, {unknown, uint32_t(unknown.size()), false}}},
        {"DLE DLE and DLE ETX between frames start nothing", MessageProtocol::Binr,
         std::string("\x10\x10\x41\x10\x03", 5) + unknown,
         {{std::string("\x10\x10\x41\x10\x03", 5), 5, true, true}, {unknown, uint32_t(unknown.size()), false}}},
        {"overflow refused, the rest of the frame ignored", MessageProtocol::Binr, huge + unknown,
         {{huge.substr(0, kMessageBytesKept), uint32_t(kBinrFrameMax + 1), true},
          {unknown, uint32_t(unknown.size()), false}}},
    };
    const std::vector<std::vector<int>> cuts = {{1}, {2}, {3}, {7}, {64}, {1 << 20}, {5, 1, 130, 2}};
    for (const CaptureCase& c : cases)
        for (const std::vector<int>& cut : cuts) {
            const std::vector<Seen> got = Capture(c.protocol, c.stream, cut);
            ASSERT_EQ(got.size(), c.expected.size()) << c.name << ", blocks of " << cut[0];
            for (size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].bytes, c.expected[i].bytes) << c.name << " #" << i << ", blocks of " << cut[0];
                EXPECT_EQ(got[i].length, c.expected[i].length) << c.name << " #" << i << ", blocks of " << cut[0];
                EXPECT_EQ(got[i].error, c.expected[i].error) << c.name << " #" << i << ", blocks of " << cut[0];
                EXPECT_EQ(got[i].undecoded, c.expected[i].undecoded) << c.name << " #" << i;
            }
        }
}

// What no message takes is shown as it came, in raw chunks, whatever the
// cut: a wrong line rate's stream, noise between messages; bare line ends
// between sentences are no chunk.
TEST(MessageCapture, BytesOutsideMessagesComeAsRawChunks)
{
    const std::string gga = NmeaSentence("GPGGA,071551.000,4739.71754,N");
    const std::string unknown = Frame(0xA5, {0x10, 0x03, 0x10});
    std::string garbage;
    for (int i = 0; i < 700; ++i)
        garbage += char((i * 37 + 11) % 256 == '$' ? 0x80 : (i * 37 + 11) % 256 == 0x10 ? 0x81 : (i * 37 + 11) % 256);
    const struct {
        const char* name;
        MessageProtocol protocol;
        std::string stream, raw;
        size_t messages;
    } cases[] = {
        {"a wrong line rate", MessageProtocol::Nmea, garbage + gga, garbage, 1},
        {"noise between sentences", MessageProtocol::Nmea, "xx" + gga + "junk\n" + gga + "\r\n", "xxjunk\n", 2},
        {"noise between frames", MessageProtocol::Binr, std::string("\x03\x41\x10\x10\x41", 5) + unknown + "zz" + unknown,
         std::string("\x03\x41\x10\x10\x41", 5) + "zz", 2},
    };
    for (const auto& c : cases)
        for (const std::vector<int>& cut : std::vector<std::vector<int>>{{1}, {7}, {64}, {1 << 20}}) {
            std::string raw;
            EXPECT_EQ(Capture(c.protocol, c.stream, cut, &raw).size(), c.messages) << c.name << ", blocks of " << cut[0];
            EXPECT_EQ(raw, c.raw) << c.name << ", blocks of " << cut[0];
        }
}

// Seeded hostile streams: every message the decoder completes or refuses is
// captured once, in step with the decoder's results.
TEST(MessageCapture, OneMessagePerDecoderResultOnHostileStreams)
{
    std::mt19937 random(21);
    const std::string pieces[] = {NmeaSentence("GPGSV,1,1,01,05,40,100,44"), "$GP", "\n", "\r\n", "*5", "$",
                                  Frame(0x88, std::vector<uint8_t>(69, 7)), Frame(0x52, {1, 2}),
                                  std::string("\x10", 1), std::string("\x10\x03", 2), "abc"};
    for (const MessageProtocol protocol : {MessageProtocol::Nmea, MessageProtocol::Binr}) {
        for (int round = 0; round < 50; ++round) {
            std::string stream;
            for (int i = 0; i < 200; ++i)
                stream += pieces[random() % std::size(pieces)];
            NmeaAssembler nmea;
            BinrDecoder binr;
            int results = 0;
            for (size_t at = 0; at < stream.size();) {
                int used = 0;
                const int r = protocol == MessageProtocol::Nmea
                                  ? nmea.PushBlock(stream.data() + at, int(stream.size() - at), used)
                                  : binr.PushBlock(reinterpret_cast<const uint8_t*>(stream.data()) + at,
                                                   int(stream.size() - at), used);
                results += r != 0 ? 1 : 0;
                at += size_t(std::max(used, 1));
            }
            const std::vector<Seen> seen = Capture(protocol, stream, {int(1 + random() % 40)});
            // Chunks of bytes between messages are no decoder result; a
            // "sentence" of noise read as undecoded is one.
            const auto messages = std::count_if(seen.begin(), seen.end(),
                                                [&](const Seen& s) {
                                                    return !s.undecoded ||
                                                           (protocol == MessageProtocol::Nmea && s.bytes[0] == '$');
                                                });
            EXPECT_EQ(size_t(messages), size_t(results)) << round;
        }
    }
}

} // namespace
