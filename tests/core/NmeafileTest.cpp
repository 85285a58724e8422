// NMEA synthesis from BINR: the sentences, byte for byte, and the output file.
#include "NmeafileFrames.h"

#include "NmeaAssembler.h"
#include "NmeaChecksum.h"
#include "Nmeafile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <regex>
#include <string>
#include <unistd.h>
#include <vector>

using namespace synth_test;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A decoder holding the given messages, fed through real frames.
struct Source {
    BinrDecoder decoder;
    Source& WithNav(const Nav& nav)
    {
        EXPECT_EQ(Feed(decoder, Frame(kMsgNavSolution, NavPayload(nav))), kMsgNavSolution);
        return *this;
    }
    Source& WithDop(int8_t gps, int8_t glonass, float hdop, float vdop)
    {
        EXPECT_EQ(Feed(decoder, Frame(kMsgDopInfo, DopPayload(gps, glonass, hdop, vdop))), kMsgDopInfo);
        return *this;
    }
    Source& WithStatus(uint32_t gpsUsed, uint32_t glonassUsed)
    {
        EXPECT_EQ(Feed(decoder, Frame(kMsgSolutionStatus, StatusPayload(gpsUsed, glonassUsed))), kMsgSolutionStatus);
        return *this;
    }
    Source& WithSats(const std::vector<Sat>& sats)
    {
        EXPECT_EQ(Feed(decoder, Frame(kMsgSatInView, SatPayload(sats))), kMsgSatInView);
        return *this;
    }
};

using Builder = int (*)(const BinrDecoder&, char*, int);

// The RMC of a source that names no reference for its dates: one rollover.
int BuildRmcOneRollover(const BinrDecoder& decoder, char* out, int outSize)
{
    return BuildRmc(decoder, DatePolicy(), out, outSize);
}

std::string Build(Builder build, const BinrDecoder& decoder)
{
    char out[kSynthSentenceMax];
    const int n = build(decoder, out, sizeof out);
    return std::string(out, size_t(n > 0 ? n : 0));
}

std::string Gsv(const BinrDecoder& decoder, int number)
{
    char out[kSynthSentenceMax];
    const int n = BuildGsv(decoder, number, out, sizeof out);
    return std::string(out, size_t(n > 0 ? n : 0));
}

// "$...*" completed with its checksum and a line feed, as the synthesis ends
// a sentence (the checksum routine is held to known sentences elsewhere).
std::string WithChecksum(const std::string& text)
{
    const uint8_t sum = NmeaChecksum(text.data() + 1, text.data() + text.size() - 1);
    return text + kNmeaHexDigits[sum >> 4] + kNmeaHexDigits[sum & 0x0F] + "\n";
}

// The sentence is "$...*hh\n" with a correct upper-case checksum.
::testing::AssertionResult WellFormed(const std::string& s)
{
    if (s.size() < 6 || s[0] != '$' || s[s.size() - 1] != '\n' || s[s.size() - 4] != '*')
        return ::testing::AssertionFailure() << "bad framing: " << s;
    if (WithChecksum(s.substr(0, s.size() - 3)) != s)
        return ::testing::AssertionFailure() << "bad checksum: " << s;
    return ::testing::AssertionSuccess();
}

std::vector<std::string> Fields(const std::string& sentence)
{
    std::vector<std::string> fields;
    std::string field;
    for (const char c : sentence.substr(1, sentence.find('*') - 1)) {
        if (c == ',') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(field);
    return fields;
}

Nav Reference()
{
    Nav nav;
    nav.latDeg = 55.5;
    nav.lonDeg = 37.25;
    nav.altM = 150.04;
    nav.rms2DM = 2.4f;
    nav.timeMs = 45296789;
    nav.flags = 0x01;
    return nav;
}

TEST(NmeaSynthesis, ReferenceSentencesByteForByte)
{
    Nav nav = Reference();
    nav.timeMs = 5 * 86400000.0 + 45296789;   // Friday of week 476: 10.10.08
    nav.week = 476;
    nav.velEastMps = -10;
    Source s;
    s.WithNav(nav).WithDop(5, 3, 1.3f, 0.9f).WithStatus(0x11, 0x1);
    EXPECT_EQ(Build(BuildGga, s.decoder), "$GPGGA,123456.789,5530.00000,N,03715.00000,E,1,8,1.3,150.0,M,,M,,*7E\n");
    EXPECT_EQ(Build(BuildRmcOneRollover, s.decoder),
              "$GPRMC,123456.789,A,5530.00000,N,03715.00000,E,019.4,270.0,101008,,,A*6D\n");
    EXPECT_EQ(Build(BuildGsa, s.decoder), "$GPGSA,A,3,1,5,65,,,,,,,,,,,,,,,,,,,,,,,1.3,0.9*10\n");
    EXPECT_EQ(Build(BuildPvktd, s.decoder), "$PVKTD,A,2.4*34\n");
}

TEST(NmeaSynthesis, NoSolutionAtAllStillWritesEverySentence)
{
    Nav nav;
    nav.latDeg = -33.5;
    nav.lonDeg = -0.5;
    nav.timeMs = 86400000;   // Monday of week 0: 23.08.99
    Source s;
    s.WithNav(nav).WithDop(0, 0, 0, 0).WithStatus(0, 0);
    EXPECT_EQ(Build(BuildRmcOneRollover, s.decoder),
              "$GPRMC,000000.000,V,3330.00000,S,00030.00000,W,000.0,000.0,230899,,,N*70\n");
    EXPECT_EQ(Build(BuildGsa, s.decoder), "$GPGSA,A,1,,,,,,,,,,,,,,,,,,,,,,,,,,0.0,0.0*1E\n");
    EXPECT_EQ(Build(BuildPvktd, s.decoder), "$PVKTD,V,0.0*25\n");
}

TEST(NmeaSynthesis, TimeOfDayOnWholeMilliseconds)
{
    const struct {
        double timeMs;
        const char* text;
    } cases[] = {
        {45296789, "123456.789"},
        {45240000, "123400.000"},
        {86399999, "235959.999"},
        {86400000, "000000.000"},
        {0, "000000.000"},
        {6 * 86400000.0 + 3723004, "010203.004"},
        {45240000.4, "123400.000"},
        {86399999.6, "000000.000"},   // rounds into the next day, never 60 seconds
        {-1, "235959.999"},           // hostile: wrapped into the day
        {kNaN, "000000.000"},
        {kInf, "000000.000"},
        {-kInf, "000000.000"},
        {1e300, nullptr},             // whatever it gives, a time of day
    };
    for (const auto& c : cases) {
        Nav nav = Reference();
        nav.timeMs = c.timeMs;
        Source s;
        s.WithNav(nav);
        const std::string gga = Build(BuildGga, s.decoder);
        const std::string rmc = Build(BuildRmcOneRollover, s.decoder);
        ASSERT_TRUE(WellFormed(gga)) << c.timeMs;
        ASSERT_TRUE(WellFormed(rmc)) << c.timeMs;
        const std::string time = Fields(gga)[1];
        EXPECT_EQ(Fields(rmc)[1], time) << c.timeMs;
        if (c.text)
            EXPECT_EQ(time, c.text) << c.timeMs;
        else
            EXPECT_TRUE(std::regex_match(time, std::regex("([01][0-9]|2[0-3])[0-5][0-9][0-5][0-9]\\.[0-9]{3}")))
                << time;
    }
}

TEST(NmeaSynthesis, LatitudeAndLongitudeWithHemispheres)
{
    const struct {
        double latDeg, lonDeg;
        const char *lat, *ns, *lon, *ew;
    } cases[] = {
        {55.5, 37.25, "5530.00000", "N", "03715.00000", "E"},
        {-33.5, -0.5, "3330.00000", "S", "00030.00000", "W"},
        {0, 0, "0000.00000", "N", "00000.00000", "E"},
        {-0.5 / 60, 179.999999, "0000.50000", "S", "17959.99994", "E"},
        {89.99999999, -180, "8960.00000", "N", "18000.00000", "W"},   // minutes never carry
        {12.3456789, -123.456789, "1220.74073", "N", "12327.40734", "W"},
    };
    for (const auto& c : cases) {
        Nav nav = Reference();
        nav.latDeg = c.latDeg;
        nav.lonDeg = c.lonDeg;
        Source s;
        s.WithNav(nav);
        const auto gga = Fields(Build(BuildGga, s.decoder));
        const auto rmc = Fields(Build(BuildRmcOneRollover, s.decoder));
        EXPECT_EQ((std::vector<std::string>{gga[2], gga[3], gga[4], gga[5]}),
                  (std::vector<std::string>{c.lat, c.ns, c.lon, c.ew}))
            << c.latDeg << " " << c.lonDeg;
        EXPECT_EQ((std::vector<std::string>{rmc[3], rmc[4], rmc[5], rmc[6]}),
                  (std::vector<std::string>{gga[2], gga[3], gga[4], gga[5]}));
    }
}

TEST(NmeaSynthesis, FlagsDecideQualityStatusAndModes)
{
    const struct {
        uint8_t flags;
        const char *quality, *status, *mode, *fixMode, *pvktd;
    } cases[] = {
        {0x00, "0", "V", "N", "1", "V"},
        {0x01, "1", "A", "A", "3", "A"},
        {0x09, "2", "A", "D", "3", "A"},
        {0x08, "0", "V", "N", "1", "V"},   // differential without a solution
        {0x03, "1", "A", "A", "2", "A"},
        {0x02, "0", "V", "N", "2", "V"},   // 2D wins even without a solution
        {0x0B, "2", "A", "D", "2", "A"},
        {0xF5, "1", "A", "A", "3", "A"},   // bits not read change nothing
    };
    for (const auto& c : cases) {
        Nav nav = Reference();
        nav.flags = c.flags;
        Source s;
        s.WithNav(nav);
        EXPECT_EQ(Fields(Build(BuildGga, s.decoder))[6], c.quality) << int(c.flags);
        const auto rmc = Fields(Build(BuildRmcOneRollover, s.decoder));
        EXPECT_EQ(rmc[2], c.status) << int(c.flags);
        EXPECT_EQ(rmc[12], c.mode) << int(c.flags);
        EXPECT_EQ(Fields(Build(BuildGsa, s.decoder))[2], c.fixMode) << int(c.flags);
        EXPECT_EQ(Fields(Build(BuildPvktd, s.decoder))[1], c.pvktd) << int(c.flags);
    }
}

TEST(NmeaSynthesis, SpeedInKnotsAndCourse)
{
    const struct {
        double north, east;
        const char *speed, *course;
    } cases[] = {
        {0, 0, "000.0", "000.0"},
        {0, -10, "019.4", "270.0"},
        {10, 0, "019.4", "000.0"},
        {-10, 0, "019.4", "180.0"},
        {1, 1, "002.7", "045.0"},
        {5, -0.0, "009.7", "000.0"},       // course -0 would print as -00.0
        {-1e-9, -1e-9, "000.0", "225.0"},
        {0, 100, "194.4", "090.0"},
        {0, 1000, "1943.8", "090.0"},      // wider than the field: printed whole
        {kNaN, 3, "005.8", "090.0"},       // NaN component counts as 0
        {kInf, 0, nullptr, "000.0"},       // clamped, still a number
        {1e300, -1e300, nullptr, "315.0"},
    };
    for (const auto& c : cases) {
        Nav nav = Reference();
        nav.velNorthMps = c.north;
        nav.velEastMps = c.east;
        Source s;
        s.WithNav(nav);
        const std::string rmc = Build(BuildRmcOneRollover, s.decoder);
        ASSERT_TRUE(WellFormed(rmc)) << c.north << " " << c.east;
        const auto f = Fields(rmc);
        if (c.speed)
            EXPECT_EQ(f[7], c.speed) << c.north << " " << c.east;
        else
            EXPECT_TRUE(std::regex_match(f[7], std::regex("[0-9]+\\.[0-9]"))) << f[7];
        EXPECT_EQ(f[8], c.course) << c.north << " " << c.east;
    }
}

TEST(NmeaSynthesis, SatelliteCountHdopAndAltitude)
{
    const struct {
        int8_t gps, glonass;
        float hdop;
        double altM;
        const char *count, *hdopText, *alt;
    } cases[] = {
        {5, 3, 1.3f, 150.04, "8", "1.3", "150.0"},
        {12, 10, 0.95f, -0.04, "22", "0.9", "-0.0"},
        {0, 0, 99.99f, 8848.86, "0", "100.0", "8848.9"},
        {-3, 4, 0.25f, 0.25, "4", "0.2", "0.2"},           // negative count is 0; ties to even
        {127, 127, 1e30f, 1e30, "254", "10000000.0", "10000000.0"},
        {1, 1, -std::numeric_limits<float>::infinity(), -kInf, "2", "-10000000.0", "-10000000.0"},
        {1, 1, std::numeric_limits<float>::quiet_NaN(), kNaN, "2", "0.0", "0.0"},
    };
    for (const auto& c : cases) {
        Nav nav = Reference();
        nav.altM = c.altM;
        Source s;
        s.WithNav(nav).WithDop(c.gps, c.glonass, c.hdop, 0.5f);
        const auto gga = Fields(Build(BuildGga, s.decoder));
        EXPECT_EQ((std::vector<std::string>{gga[7], gga[8], gga[9]}),
                  (std::vector<std::string>{c.count, c.hdopText, c.alt}))
            << c.altM;
        EXPECT_EQ(Fields(Build(BuildGsa, s.decoder)).end()[-2], c.hdopText);
    }
}

TEST(NmeaSynthesis, GsaListsUsedSatellites)
{
    const auto satelliteFields = [](const std::string& gsa) {
        auto f = Fields(gsa);
        return std::vector<std::string>(f.begin() + 3, f.end() - 3);
    };
    Source s;
    s.WithNav(Reference()).WithDop(0, 0, 1.0f, 2.0f);

    s.WithStatus(0, 0);
    EXPECT_EQ(satelliteFields(Build(BuildGsa, s.decoder)), std::vector<std::string>(24));

    s.WithStatus(0x80000001u, 0x00800001u);
    std::vector<std::string> expected = {"1", "32", "65", "88"};
    expected.resize(24);
    EXPECT_EQ(satelliteFields(Build(BuildGsa, s.decoder)), expected);

    s.WithStatus(0, 0xFF000000u);   // GLONASS bits 24 to 31 are not listed
    EXPECT_EQ(satelliteFields(Build(BuildGsa, s.decoder)), std::vector<std::string>(24));

    s.WithStatus(0xFFFFFFFFu, 0xFFFFFFFFu);   // 56 used: no padding
    const auto all = satelliteFields(Build(BuildGsa, s.decoder));
    ASSERT_EQ(all.size(), 56u);
    EXPECT_EQ(all[31], "32");
    EXPECT_EQ(all[32], "65");
    EXPECT_EQ(all[55], "88");
    EXPECT_TRUE(WellFormed(Build(BuildGsa, s.decoder)));
}

TEST(NmeaSynthesis, GsvGroupsOfFourWithNmeaIds)
{
    Source s;
    s.WithSats({{1, 1, 45, 120, 40}, {2, 7, 10, 300, 0}, {4, 124, 80, 10, 35}, {4, 138, 5, 200, 22},
                {1, 7, -5, 359, 9}});
    ASSERT_EQ(GsvSentenceCount(s.decoder), 2);
    EXPECT_EQ(Gsv(s.decoder, 1), "$GPGSV,2,1,5,01,45,120,40,71,10,300,00,37,80,010,35,51,05,200,22*44\n");
    EXPECT_EQ(Gsv(s.decoder, 2), "$GPGSV,2,2,5,07,-5,359,09*65\n");
    EXPECT_EQ(Gsv(s.decoder, 3), "");
    EXPECT_EQ(Gsv(s.decoder, 0), "");

    const struct {
        int records, sentences;
        size_t lastGroups;
    } cases[] = {{0, 0, 0}, {1, 1, 1}, {4, 1, 4}, {8, 2, 4}, {9, 3, 1}, {32, 8, 4}};
    for (const auto& c : cases) {
        Source t;
        t.WithSats(std::vector<Sat>(size_t(c.records), Sat{3, 200, 90, -1, 127}));
        ASSERT_EQ(GsvSentenceCount(t.decoder), c.sentences) << c.records;
        for (int m = 1; m <= c.sentences; ++m) {
            const std::string sentence = Gsv(t.decoder, m);
            ASSERT_TRUE(WellFormed(sentence));
            const auto f = Fields(sentence);
            EXPECT_EQ(f[1], std::to_string(c.sentences));
            EXPECT_EQ(f[2], std::to_string(m));
            EXPECT_EQ(f[3], std::to_string(c.records));
            EXPECT_EQ(f.size(), 4 + 4 * (m < c.sentences ? 4 : c.lastGroups)) << sentence;
            EXPECT_EQ(f[4], "200");   // an unknown system keeps its number
            EXPECT_EQ(f[6], "-01");
        }
    }
}

// The formatting shortcut must print exactly what printf prints.
TEST(NmeaSynthesis, NumbersMatchPrintf)
{
    std::mt19937_64 random(20240615);
    std::uniform_real_distribution<double> altitude(-500, 20000);
    std::uniform_real_distribution<double> angle(-180, 180);
    std::vector<double> altitudes = {0.05, 0.15, 0.25, 0.35, 2.5, -2.5, 1e-300, 0.04999999999999999,
                                     1234567.85, 9999999.95, -0.0};
    for (int i = 0; i < 3000; ++i)
        altitudes.push_back(i % 3 ? altitude(random) : std::round(altitude(random) * 100) / 100);
    for (const double alt : altitudes) {
        Nav nav = Reference();
        nav.altM = alt;
        nav.latDeg = std::clamp(angle(random) / 2, -90.0, 90.0);
        nav.lonDeg = angle(random);
        nav.velNorthMps = angle(random) / 3;
        nav.velEastMps = angle(random) / 7;
        Source s;
        s.WithNav(nav);
        const auto gga = Fields(Build(BuildGga, s.decoder));
        char text[64];
        std::snprintf(text, sizeof text, "%.1lf", alt);
        ASSERT_EQ(gga[9], text) << alt;

        const NavSolution read = ReadNavSolution(s.decoder.NavSolution());
        const double degrees = read.latRad * (1 / kPi) * 180;
        const double whole = std::trunc(degrees);
        std::snprintf(text, sizeof text, "%010.5lf", std::fabs(whole + (degrees - whole) * 0.6) * 100);
        ASSERT_EQ(gga[2], text) << nav.latDeg;

        const SpeedCourse sc = SpeedAndCourse(read.velNorthMps, read.velEastMps);
        std::snprintf(text, sizeof text, "%05.1f", sc.speedMps * 3.6 * 0.5399568034557235);
        const auto rmc = Fields(Build(BuildRmcOneRollover, s.decoder));
        ASSERT_EQ(rmc[7], text);
        std::snprintf(text, sizeof text, "%05.1f", sc.courseDeg);
        ASSERT_EQ(rmc[8], text);
    }
}

TEST(NmeaSynthesis, HostileValuesStayShortAndWellFormed)
{
    const double values[] = {kNaN, kInf, -kInf, 1e308, -1e308, 4e9, -4e9, 1e-320};
    for (const double v : values) {
        Nav nav;
        nav.rawRadians = true;
        nav.latDeg = nav.lonDeg = nav.altM = nav.timeMs = nav.velNorthMps = nav.velEastMps = v;
        nav.rms2DM = float(std::clamp(v, -3e38, 3e38));
        nav.week = int16_t(v > 0 ? 32767 : -32768);
        nav.flags = 0xFF;
        Source s;
        s.WithNav(nav).WithDop(-128, -128, float(std::clamp(v, -3e38, 3e38)), float(v))
            .WithStatus(0xFFFFFFFFu, 0xFFFFFFFFu)
            .WithSats(std::vector<Sat>(32, Sat{2, 255, -128, -32768, -128}));
        for (const Builder build : {BuildGga, BuildRmcOneRollover, BuildGsa, BuildPvktd}) {
            const std::string sentence = Build(build, s.decoder);
            EXPECT_TRUE(WellFormed(sentence)) << v;
            EXPECT_LT(sentence.size(), 300u) << sentence;
        }
        const auto gga = Fields(Build(BuildGga, s.decoder));
        EXPECT_TRUE(std::regex_match(gga[2], std::regex("[0-9]{4}\\.[0-9]{5}"))) << gga[2];
        EXPECT_TRUE(std::regex_match(gga[4], std::regex("[0-9]{5}\\.[0-9]{5}"))) << gga[4];
        for (int m = 1; m <= GsvSentenceCount(s.decoder); ++m)
            EXPECT_TRUE(WellFormed(Gsv(s.decoder, m)));
    }
}

TEST(NmeaSynthesis, BuildersRefuseTooSmallBuffers)
{
    Source s;
    s.WithNav(Reference());
    const std::string full = Build(BuildGga, s.decoder);
    std::vector<char> out(full.size() + 8, '#');
    EXPECT_EQ(BuildGga(s.decoder, out.data(), int(full.size())), int(full.size()));
    EXPECT_EQ(out[full.size()], '#');
    EXPECT_EQ(BuildGga(s.decoder, out.data(), int(full.size()) - 1), 0);
    EXPECT_EQ(BuildGga(s.decoder, out.data(), 3), 0);
}

// Everything the synthesis writes is read back by the program's own NMEA
// path, into the fields the views read.
TEST(NmeaSynthesis, AssemblerAcceptsEverySentence)
{
    Nav nav = Reference();
    nav.week = 476;
    nav.velNorthMps = 3;
    Source s;
    s.WithNav(nav).WithDop(9, 8, 0.8f, 1.1f).WithStatus(0x00FF00FFu, 0x000000FFu);
    s.WithSats(std::vector<Sat>(30, Sat{1, 17, 33, 271, 44}));
    std::vector<std::pair<std::string, int>> sentences = {
        {Build(BuildGga, s.decoder), kNmeaGga},
        {Build(BuildRmcOneRollover, s.decoder), kNmeaRmc},
        {Build(BuildGsa, s.decoder), kNmeaGsa},
        {Build(BuildPvktd, s.decoder), kNmeaPvktd},
    };
    for (int m = 1; m <= GsvSentenceCount(s.decoder); ++m)
        sentences.push_back({Gsv(s.decoder, m), kNmeaGsv});
    NmeaAssembler assembler;
    for (const auto& [sentence, kind] : sentences) {
        int result = 0;
        for (const char c : sentence)
            result = assembler.PushByte(c);
        EXPECT_EQ(result, kind) << sentence;
        const auto fields = Fields(sentence);
        const NmeaFields& got = assembler.Working();
        ASSERT_EQ(got.count, fields.size()) << sentence;
        for (size_t i = 0; i < fields.size(); ++i)
            EXPECT_EQ(got.slot[i], fields[i]) << sentence;
    }
}

// ---- the output file -----------------------------------------------------------

std::string TempName(const char* stem)
{
    return testing::TempDir() + stem + std::to_string(getpid());
}

std::string ReadAll(const std::string& path)
{
    const auto bytes = ReadBinaryFile(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(NmeaOutput, WritesOnlyWhileOpenInCallOrder)
{
    Nav nav = Reference();
    Source s;
    s.WithNav(nav).WithDop(5, 3, 1.3f, 0.9f).WithStatus(0x11, 0x1);
    s.WithSats({{1, 1, 45, 120, 40}, {2, 7, 10, 300, 0}, {4, 124, 80, 10, 35}, {4, 138, 5, 200, 22},
                {1, 7, -5, 359, 9}});
    const std::string path = TempName("synth_out_");

    CloseNmeaOutput();   // nothing open: harmless
    WriteGga(s.decoder); // nothing open: nothing written, nothing counted
    ASSERT_TRUE(OpenNmeaOutput(path.c_str()));
    EXPECT_TRUE(NmeaOutputOpen());
    WriteGga(s.decoder);
    WriteRmc(s.decoder, DatePolicy());
    WriteGsa(s.decoder);
    WritePvktd(s.decoder);
    WriteGsv(s.decoder);
    EXPECT_EQ(NmeaSentencesWritten(), 6);
    CloseNmeaOutput();
    EXPECT_FALSE(NmeaOutputOpen());
    WriteGga(s.decoder);
    CloseNmeaOutput();

    const std::string expected = Build(BuildGga, s.decoder) + Build(BuildRmcOneRollover, s.decoder) + Build(BuildGsa, s.decoder)
        + Build(BuildPvktd, s.decoder) + Gsv(s.decoder, 1) + Gsv(s.decoder, 2);
    EXPECT_EQ(ReadAll(path), expected);
    EXPECT_EQ(expected.find('\r'), std::string::npos);
    EXPECT_FALSE(NmeaOutputFailed());

    // Reopening truncates.
    ASSERT_TRUE(OpenNmeaOutput(path.c_str()));
    WritePvktd(s.decoder);
    CloseNmeaOutput();
    EXPECT_EQ(ReadAll(path), "$PVKTD,A,2.4*34\n");
    std::remove(path.c_str());
}

TEST(NmeaOutput, LargeOutputArrivesWhole)
{
    Source s;
    s.WithNav(Reference()).WithSats(std::vector<Sat>(32, Sat{1, 17, 33, 271, 44}));
    const std::string path = TempName("synth_large_");
    ASSERT_TRUE(OpenNmeaOutput(path.c_str(), kNmeaBatchFlushBytes));
    constexpr int kRounds = 5000;   // well past several flushes
    for (int i = 0; i < kRounds; ++i) {
        WriteGga(s.decoder);
        WriteGsv(s.decoder);
    }
    CloseNmeaOutput();
    const std::string one = Build(BuildGga, s.decoder) + [&] {
        std::string group;
        for (int m = 1; m <= 8; ++m)
            group += Gsv(s.decoder, m);
        return group;
    }();
    const std::string all = ReadAll(path);
    ASSERT_EQ(all.size(), one.size() * kRounds);
    EXPECT_EQ(all.substr(all.size() - one.size()), one);
    EXPECT_EQ(NmeaSentencesWritten(), 9 * kRounds);
    std::remove(path.c_str());
}

TEST(NmeaOutput, UncreatableFileOpensNothing)
{
    Source s;
    s.WithNav(Reference());
    EXPECT_FALSE(OpenNmeaOutput("/nonexistent-folder/x.nme"));
    EXPECT_FALSE(NmeaOutputOpen());
    WriteGga(s.decoder);   // must not crash
}

TEST(NmeaOutput, FullDiskIsReported)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "/dev/full is absent";
    Source s;
    s.WithNav(Reference());
    ASSERT_TRUE(OpenNmeaOutput("/dev/full"));
    WriteGga(s.decoder);
    CloseNmeaOutput();
    EXPECT_TRUE(NmeaOutputFailed());
}

TEST(NmeaOutput, SideFileNames)
{
    const struct {
        const char *in, *out;
    } cases[] = {
        {"rgfile.dat", "rgfile.nme"},
        {"ABC_c3.dat", "ABC_c3.nme"},
        {"track.v2.dat", "track.nme"},
        {"track", "nme"},
        {"track.", "track.nme"},
        {".dat", ".nme"},
        {"", "nme"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SideFileName(c.in), c.out) << c.in;
}

} // namespace
