// The CONSOLE's message log: types and checksums, the type table with its
// rates and errors, the ring, and the texts of an entry.
#include "BinrEncoder.h"
#include "MessageLog.h"
#include "NmeaChecksum.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(const std::string& s)
{
    return {s.begin(), s.end()};
}

MessageIn Nmea(const std::vector<uint8_t>& bytes, int64_t ms = 0, bool error = false)
{
    return {ms, 0, MessageProtocol::Nmea, bytes.data(), int(bytes.size()), error};
}

struct ClassCase {
    MessageProtocol protocol;
    std::string bytes;
    const char* name;
    const char* talker;
    ChecksumStatus checksum;
};

TEST(MessageLog, ClassifiesTypeAndChecksum)
{
    const std::string gga = NmeaSentence("GPGGA,071551.000,4739.71754,N");
    std::string badGga = gga;
    badGga[badGga.size() - 3] = badGga[badGga.size() - 3] == '0' ? '1' : '0';
    const ClassCase cases[] = {
        {MessageProtocol::Nmea, gga, "GGA", "GP", ChecksumStatus::Ok},
        {MessageProtocol::Nmea, badGga, "GGA", "GP", ChecksumStatus::Bad},
        {MessageProtocol::Nmea, "$GNRMC,1,2\r\n", "RMC", "GN", ChecksumStatus::None},
        {MessageProtocol::Nmea, NmeaSentence("PVKTD,A,2.4"), "PVKTD", "", ChecksumStatus::Ok},
        {MessageProtocol::Nmea, "$GPGSV,1*zz\n", "GSV", "GP", ChecksumStatus::None},
        // No address, or noise in it: no sentence at all.
        {MessageProtocol::Nmea, "$,1,2\r\n", "undecoded", "", ChecksumStatus::None},
        {MessageProtocol::Nmea, "$GP\x01GA,1\r\n", "undecoded", "", ChecksumStatus::None},
        {MessageProtocol::Nmea, "$\x8f\xa3\x11\x90\xfe\xff\x01\x02\x7f\x80\x81\x82\n", "undecoded", "", ChecksumStatus::None},
        {MessageProtocol::Nmea, "$ABCDEFGHIJKLMNOPQ,1\r\n", "CDEFGHIJKLM", "AB", ChecksumStatus::None},
        {MessageProtocol::Nmea, "$GPGGA,1*4", "GGA", "GP", ChecksumStatus::None},   // cut
        {MessageProtocol::Binr, std::string("\x10\x88\x01\x10\x03", 5), "0x88", "", ChecksumStatus::None},
        {MessageProtocol::Binr, std::string("\x10\xA0\x10\x03", 4), "0xA0", "", ChecksumStatus::None},
    };
    for (const ClassCase& c : cases) {
        const std::vector<uint8_t> bytes = Bytes(c.bytes);
        const MessageClass got = ClassifyMessage(c.protocol, bytes.data(), int(bytes.size()));
        EXPECT_STREQ(got.name, c.name) << c.bytes;
        EXPECT_STREQ(got.talker, c.talker) << c.bytes;
        EXPECT_EQ(got.checksum, c.checksum) << c.bytes;
    }
}

TEST(MessageLog, TypeTableCountsRatesAndErrors)
{
    MessageLog log;
    const auto gga = Bytes(NmeaSentence("GPGGA,1"));
    const auto gngga = Bytes(NmeaSentence("GNGGA,1"));
    const auto rmc = Bytes(NmeaSentence("GPRMC,1"));
    auto badRmc = rmc;
    badRmc[badRmc.size() - 3] ^= 1;
    // GGA at 1 Hz for 20 s, RMC at 5 Hz for the last 2 s, one bad RMC, one
    // GGA the decoder refused.
    for (int s = 0; s < 20; ++s)
        log.Append(Nmea(s % 2 ? gga : gngga, s * 1000LL + 5));
    for (int k = 0; k < 10; ++k)
        log.Append(Nmea(rmc, 18000 + k * 200));
    log.Append(Nmea(badRmc, 19900));
    log.Append(Nmea(gga, 19950, true));

    struct Row {
        const char* name;
        uint64_t count;
        uint64_t errors;
        double rateAt20s;
        double rateAt35s;
    };
    // The whole seconds before the current one, over those since the type
    // was first seen (up to ten): GGA 1 Hz, RMC 5 Hz in its one whole second.
    const Row expected[] = {{"GGA", 21, 1, 1.0, 0}, {"RMC", 11, 1, 5.0, 0}};
    ASSERT_EQ(log.TypeCount(), 2);
    for (int i = 0; i < 2; ++i) {
        const MessageTypeRow& t = log.Type(i);
        EXPECT_STREQ(t.name, expected[i].name);
        EXPECT_EQ(t.count, expected[i].count) << t.name;
        EXPECT_EQ(t.errors, expected[i].errors) << t.name;
        EXPECT_DOUBLE_EQ(log.RateHz(i, 19999), expected[i].rateAt20s) << t.name;
        EXPECT_DOUBLE_EQ(log.RateHz(i, 35000), expected[i].rateAt35s) << t.name;
    }
    EXPECT_DOUBLE_EQ(log.RateHz(99, 0), 0);
}

TEST(MessageLog, RatesOfASteadyStreamAreExactAtAnyMoment)
{
    // GGA once a second, GSV four times, read live as each arrives: the
    // second under way must not pull the rate down (0.9 and 3.6 before).
    MessageLog log;
    const auto gga = Bytes(NmeaSentence("GPGGA,1"));
    const auto gsv = Bytes(NmeaSentence("GPGSV,1"));
    for (int64_t ms = 0; ms < 30000; ms += 250) {
        log.Append(Nmea(ms % 1000 == 0 ? gga : gsv, ms + 3));
        if (ms % 1000 == 0)
            log.Append(Nmea(gsv, ms + 4));
        if (ms < 2000)
            continue;
        EXPECT_DOUBLE_EQ(log.RateHz(0, ms + 3), 1.0) << ms;
        EXPECT_DOUBLE_EQ(log.RateHz(1, ms + 3), 4.0) << ms;
    }
}

TEST(MessageLog, TableFullCountsTheRestAsOther)
{
    MessageLog log;
    for (int i = 0; i < kMessageTypesMax + 10; ++i) {
        const auto bytes = Bytes(NmeaSentence("GPX" + std::to_string(i) + ",1"));
        log.Append(Nmea(bytes));
    }
    ASSERT_EQ(log.TypeCount(), kMessageTypesMax);
    EXPECT_STREQ(log.Type(kMessageTypesMax - 1).name, "other");
    EXPECT_EQ(log.Type(kMessageTypesMax - 1).count, 11u);
}

TEST(MessageLog, RingKeepsTheLastAndCutsLongMessages)
{
    MessageLog log;
    const auto gga = Bytes(NmeaSentence("GPGGA,1"));
    for (int i = 0; i < kMessageLogCapacity + 5; ++i)
        log.Append(Nmea(gga, i));
    EXPECT_EQ(log.Size(), kMessageLogCapacity);
    EXPECT_EQ(log.At(4), nullptr);
    ASSERT_NE(log.At(5), nullptr);
    EXPECT_EQ(log.At(5)->receiveMs, 5);
    EXPECT_EQ(log.At(kMessageLogCapacity + 5), nullptr);
    EXPECT_EQ(MessageText(*log.At(kMessageLogCapacity + 4)), "$GPGGA,1*" + NmeaSentence("GPGGA,1").substr(9, 2));

    const std::string longBody = "GPTXT," + std::string(400, 'x');
    const auto longer = Bytes(NmeaSentence(longBody));
    const uint64_t seq = log.Append(Nmea(longer));
    const MessageEntry& e = *log.At(seq);
    EXPECT_EQ(e.length, longer.size());
    EXPECT_EQ(e.KeptLength(), kMessageBytesKept);
    EXPECT_EQ(MessageText(e), "$" + longBody.substr(0, kMessageBytesKept - 1) + "...");

    const uint8_t binr[] = {0x10, 0x52, 0x01, 0x10, 0x10, 0x10, 0x03};
    const uint64_t b = log.Append({7, 2, MessageProtocol::Binr, binr, int(sizeof binr), false});
    EXPECT_EQ(MessageText(*log.At(b)), "0x52");
    EXPECT_EQ(MessageHex(*log.At(b)), "10 52 01 10 10 10 03");
    EXPECT_EQ(log.At(b)->source, 2);
    EXPECT_EQ(log.At(b)->checksum, ChecksumStatus::None);
}

TEST(MessageLog, BinrSummaries)
{
    NavSolution nav{};
    nav.latRad = 0.5;
    nav.lonRad = -1;
    nav.altM = 145.25;
    nav.flags = kSolutionValid | kSolutionDiff;
    const DopInfo dop{9, 5, 0.75f, 1.25f};
    const SolutionStatus status{0, 0, 0x7, 0x30};
    BinrBytes cutSats = BinrFrame(kMsgSatInView, SatInViewPayload(std::vector<SatInView>(3)));
    cutSats.erase(cutSats.end() - 2, cutSats.end());
    BinrBytes longSats = BinrFrame(kMsgSatInView, SatInViewPayload(std::vector<SatInView>(40)));
    const std::pair<BinrBytes, const char*> cases[] = {
        {BinrFrame(kMsgNavSolution, NavSolutionPayload(nav)),
         "0x88: lat 28.6478898 lon -57.2957795 alt 145.2 m, valid diff"},
        {BinrFrame(kMsgNavSolution, {1, 2, 3}), "0x88: length 3, expected 69"},
        {BinrFrame(kMsgDopInfo, DopInfoPayload(dop)), "0x60: HDOP 0.8 VDOP 1.2, GPS 9 GLONASS 5"},
        {BinrFrame(kMsgSatInView, SatInViewPayload(std::vector<SatInView>(3))), "0x52: 3 satellites in view"},
        {BinrFrame(kMsgSatInView, {1, 2}), "0x52: length 2, not whole records"},
        {BinrFrame(kMsgSolutionStatus, SolutionStatusPayload(status, {{2, 0}, {70, 0}})),
         "0x93: used GPS 3 GLONASS 2, bad 2"},
        {BinrFrame(kMsgDeviceInfo, DeviceInfoPayload("RCV\x1b 1.0")), "0x70: device RCV? 1.0"},
        {BinrFrame(0x4A, {0x10, 0x10, 7}), "0x4A: 3 payload bytes"},
        {cutSats, "0x52: not a whole frame"},
        {longSats, "0x52: too long to decode here"},
    };
    MessageLog log;
    for (const auto& [frame, summary] : cases) {
        const uint64_t seq = log.Append({0, 0, MessageProtocol::Binr, frame.data(), int(frame.size()), false});
        EXPECT_EQ(MessageSummary(*log.At(seq)), summary);
    }
}

} // namespace
