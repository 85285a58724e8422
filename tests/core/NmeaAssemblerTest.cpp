#include "NmeaAssembler.h"
#include "NmeaChecksum.h"

#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<int> Feed(NmeaAssembler& nmea, const std::string& bytes)
{
    std::vector<int> results;
    for (char c : bytes)
        results.push_back(nmea.PushByte(c));
    return results;
}

// The codes of the last byte, with every earlier byte required to give 0.
int FeedSentence(NmeaAssembler& nmea, const std::string& bytes)
{
    const std::vector<int> results = Feed(nmea, bytes);
    for (size_t i = 0; i + 1 < results.size(); ++i)
        EXPECT_EQ(results[i], 0) << "byte " << i << " of " << bytes;
    return results.back();
}

std::string WithChecksum(const std::string& body, const char* ending = "\r\n", bool lower = false)
{
    char hex[3];
    std::snprintf(hex, sizeof hex, lower ? "%02x" : "%02X", unsigned(NmeaChecksum(body)));
    return "$" + body + "*" + hex + ending;
}

std::vector<std::string> Slots(const NmeaFields& f)
{
    return std::vector<std::string>(f.slot, f.slot + f.count);
}

const std::string kGgaBody = "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,";

TEST(NmeaAssembler, AcceptsGgaAndStoresItsFields)
{
    NmeaAssembler nmea;
    EXPECT_EQ(FeedSentence(nmea, WithChecksum(kGgaBody)), kNmeaGga);
    const NmeaFields& gga = nmea.Stored(NmeaKind::Gga);
    EXPECT_EQ(gga.count, 15);
    EXPECT_EQ(Slots(gga), (std::vector<std::string>{"GPGGA", "123519", "4807.038", "N", "01131.000", "E", "1", "08",
                                                   "0.9", "545.4", "M", "46.9", "M", "", ""}));
    EXPECT_EQ(Slots(nmea.Working()), Slots(gga));
}

struct ChecksumCase {
    const char* name;
    std::string sentence;
    int expected;
};

class NmeaChecksumCheck : public testing::TestWithParam<ChecksumCase> {};

TEST_P(NmeaChecksumCheck, DecidesAcceptance)
{
    NmeaAssembler nmea;
    EXPECT_EQ(FeedSentence(nmea, GetParam().sentence), GetParam().expected);
}

std::string Corrupt(std::string s, size_t at)
{
    s[at] ^= 0x01;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NmeaChecksumCheck,
    testing::Values(ChecksumCase{"UpperCase", WithChecksum(kGgaBody), kNmeaGga},
                    ChecksumCase{"LowerCase", WithChecksum(kGgaBody, "\r\n", true), kNmeaGga},
                    ChecksumCase{"WrongDigit", Corrupt(WithChecksum(kGgaBody), kGgaBody.size() + 2), kNmeaError},
                    ChecksumCase{"CorruptedField", Corrupt(WithChecksum(kGgaBody), 10), kNmeaError},
                    ChecksumCase{"NoChecksum", "$" + kGgaBody + "\r\n", kNmeaGga},
                    ChecksumCase{"BareLineFeed", WithChecksum(kGgaBody, "\n"), kNmeaGga},
                    ChecksumCase{"BareLineFeedWrong", Corrupt(WithChecksum(kGgaBody, "\n"), 10), kNmeaError},
                    ChecksumCase{"OddEndingUnchecked", "$GPGGA,1*00x\r\n", kNmeaGga},
                    ChecksumCase{"Shortest", "$\n", kNmeaOther},
                    ChecksumCase{"EmptyWithChecksum", "$*00\r\n", kNmeaOther},
                    ChecksumCase{"EmptyWrongChecksum", "$*01\r\n", kNmeaError}),
    [](const auto& info) { return std::string(info.param.name); });

// The one checksum routine every builder and checker shares, held to values
// worked out by hand: published sentences, and lengths on both sides of the
// eight-character lanes it folds.
TEST(NmeaChecksumValue, MatchesKnownSentences)
{
    const std::string rmcBody = "GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";
    const std::pair<std::string, std::string> known[] = {
        {kGgaBody, "$" + kGgaBody + "*47\r\n"},
        {rmcBody, "$" + rmcBody + "*6A\r\n"},
        {"", "$*00\r\n"},
        {"PVKTA,0", "$PVKTA,0*44\r\n"},
        {"PVKTA,0,", "$PVKTA,0,*68\r\n"},
        {"PVKTA,0,1", "$PVKTA,0,1*59\r\n"},
        {"PVKTA,0,115200,3", "$PVKTA,0,115200,3*70\r\n"},
        {"PVKTA,0,115200,3,", "$PVKTA,0,115200,3,*5C\r\n"},
    };
    for (const auto& [body, sentence] : known)
        EXPECT_EQ(NmeaSentence(body), sentence);
}

TEST(NmeaAssembler, RejectedSentenceLeavesStoreAndWorkingFields)
{
    NmeaAssembler nmea;
    FeedSentence(nmea, WithChecksum(kGgaBody));
    const std::string other = WithChecksum("GPGGA,999999,0000.000,S,00000.000,W,0,00,9.9,0.0,M,0.0,M,,");
    EXPECT_EQ(FeedSentence(nmea, Corrupt(other, 9)), kNmeaError);
    EXPECT_STREQ(nmea.Stored(NmeaKind::Gga).slot[1], "123519");
    EXPECT_STREQ(nmea.Working().slot[1], "123519");
}

struct KindCase {
    std::string body;
    int code;
    int stored; // NmeaKind, or -1
};

TEST(NmeaAssembler, ClassifiesByKindNotTalker)
{
    const KindCase cases[] = {
        {"GNGGA,1", kNmeaGga, int(NmeaKind::Gga)},   {"GLGGA,1", kNmeaGga, int(NmeaKind::Gga)},
        {"GPRMC,1", kNmeaRmc, int(NmeaKind::Rmc)},   {"GNGSA,1", kNmeaGsa, int(NmeaKind::Gsa)},
        {"PVKTD,A,2.3", kNmeaPvktd, int(NmeaKind::Pvktd)},
        {"PVKTA,1", kNmeaPvkta, -1},                 {"GLGSV,3,1,11", kNmeaGsv, int(NmeaKind::Gsv)},
        {"GPZDA,1", kNmeaOther, -1},                 {"GGA,1", kNmeaOther, -1},
        {"GPGG", kNmeaOther, -1},                    {"gpgga,1", kNmeaOther, -1},
    };
    for (const KindCase& c : cases) {
        NmeaAssembler nmea;
        EXPECT_EQ(FeedSentence(nmea, WithChecksum(c.body)), c.code) << c.body;
        for (int kind = 0; kind < 5; ++kind) {
            const bool expectStored = kind == c.stored;
            EXPECT_EQ(nmea.Stored(NmeaKind(kind)).count != 0, expectStored) << c.body << " kind " << kind;
        }
    }
}

// A line too short to hold a kind is of no kind, whatever the sentence
// before it left in the buffer.
TEST(NmeaAssembler, ShortLineAfterAKindIsOther)
{
    for (const char* line : {"$\n", "$\r\n", "$G\n", "$,\n"}) {
        NmeaAssembler nmea;
        EXPECT_EQ(FeedSentence(nmea, WithChecksum(kGgaBody)), kNmeaGga);
        EXPECT_EQ(FeedSentence(nmea, line), kNmeaOther) << line;
        EXPECT_STREQ(nmea.Stored(NmeaKind::Gga).slot[1], "123519") << line;
    }
}

TEST(NmeaAssembler, PvktdFields)
{
    NmeaAssembler nmea;
    EXPECT_EQ(FeedSentence(nmea, WithChecksum("PVKTD,A,2.3")), kNmeaPvktd);
    EXPECT_EQ(Slots(nmea.Stored(NmeaKind::Pvktd)), (std::vector<std::string>{"PVKTD", "A", "2.3"}));
}

TEST(NmeaAssembler, Framing)
{
    NmeaAssembler nmea;
    // Noise before the first "$" and a sentence cut off by a new "$".
    EXPECT_EQ(Feed(nmea, "xx\r\n,*"), std::vector<int>(6, 0));
    EXPECT_EQ(Feed(nmea, "$GPRMC,12"), std::vector<int>(9, 0));
    EXPECT_EQ(FeedSentence(nmea, WithChecksum(kGgaBody)), kNmeaGga);
    // Reset in the middle: the rest of that sentence is ignored.
    Feed(nmea, "$GPRMC,1");
    nmea.Reset();
    EXPECT_EQ(Feed(nmea, "23,A*00\r\n"), std::vector<int>(9, 0));
    EXPECT_EQ(nmea.Stored(NmeaKind::Rmc).count, 0);
}

TEST(NmeaAssembler, OverflowAtTheBufferEnd)
{
    NmeaAssembler nmea;
    const std::string longest = "$" + std::string(kNmeaSentenceMax - 4, 'A') + "\r\n"; // 129 characters
    EXPECT_EQ(FeedSentence(nmea, longest), kNmeaOther);

    std::vector<int> results = Feed(nmea, "$" + std::string(kNmeaSentenceMax - 2, 'A') + "\n");
    EXPECT_EQ(results.back(), kNmeaError); // the line feed is the 130th character
    results = Feed(nmea, "$" + std::string(kNmeaSentenceMax - 1, 'A'));
    EXPECT_EQ(results.back(), kNmeaError);
    EXPECT_EQ(Feed(nmea, "BC\r\n"), std::vector<int>(4, 0));
    EXPECT_EQ(FeedSentence(nmea, WithChecksum(kGgaBody)), kNmeaGga);
}

TEST(NmeaAssembler, LastFieldWithoutChecksumLosesLineEnd)
{
    NmeaAssembler nmea;
    EXPECT_EQ(FeedSentence(nmea, "$GPGSA,A,3,1.5\r\n"), kNmeaGsa);
    EXPECT_STREQ(nmea.Stored(NmeaKind::Gsa).slot[3], "1.5");
    EXPECT_EQ(FeedSentence(nmea, "$GPGSA,A,3,2.5\n"), kNmeaGsa);
    EXPECT_STREQ(nmea.Stored(NmeaKind::Gsa).slot[3], "2.5");
}

// Sentences that do not fit the field table are cut, never rejected, and
// never write past a slot.
TEST(NmeaAssembler, CutsLongFieldsAndManyFields)
{
    NmeaAssembler nmea;
    const std::string longField(60, '7');
    EXPECT_EQ(FeedSentence(nmea, WithChecksum("GPGGA," + longField + ",N")), kNmeaGga);
    const NmeaFields& gga = nmea.Stored(NmeaKind::Gga);
    EXPECT_EQ(gga.count, 3);
    EXPECT_EQ(std::string(gga.slot[1]), longField.substr(0, kNmeaSlotChars - 1));
    EXPECT_STREQ(gga.slot[2], "N");

    std::string many = "GPGSV";
    for (int i = 1; i <= 45; ++i)
        many += "," + std::to_string(i % 10);
    EXPECT_EQ(FeedSentence(nmea, WithChecksum(many)), kNmeaGsv);
    const NmeaFields& gsv = nmea.Stored(NmeaKind::Gsv);
    EXPECT_EQ(gsv.count, kNmeaSlots);
    EXPECT_STREQ(gsv.slot[kNmeaSlots - 1], "9");

    std::string commas = "GPGGA" + std::string(120, ',');
    EXPECT_EQ(FeedSentence(nmea, "$" + commas + "\r\n"), kNmeaGga);
    EXPECT_EQ(nmea.Stored(NmeaKind::Gga).count, kNmeaSlots);
}

} // namespace
