// Multi-GNSS: the constellation table, the merge of an epoch's GSAs and GSVs,
// and the texts made from it.
#include "GnssEpoch.h"
#include "PositionText.h"
#include "SatellitesText.h"
#include "StatisticText.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct AssignCase {
    Gnss reportedAs;
    int id;
    Gnss system;
    int number;
};

TEST(Constellations, AssignsByReportedSystemElseByRange)
{
    const AssignCase cases[] = {
        // Judged by the ID alone (GN talker, no system ID).
        {Gnss::Unknown, 1, Gnss::Gps, 1},         {Gnss::Unknown, 32, Gnss::Gps, 32},
        {Gnss::Unknown, 33, Gnss::Sbas, 120},     {Gnss::Unknown, 64, Gnss::Sbas, 151},
        {Gnss::Unknown, 65, Gnss::Glonass, 1},    {Gnss::Unknown, 96, Gnss::Glonass, 32},
        {Gnss::Unknown, 97, Gnss::Unknown, 0},    {Gnss::Unknown, 138, Gnss::Sbas, 138},
        {Gnss::Unknown, 193, Gnss::Qzss, 1},      {Gnss::Unknown, 200, Gnss::Qzss, 8},
        {Gnss::Unknown, 201, Gnss::BeiDou, 1},    {Gnss::Unknown, 214, Gnss::BeiDou, 14},
        {Gnss::Unknown, 301, Gnss::Galileo, 1},   {Gnss::Unknown, 436, Gnss::BeiDou, 36},
        {Gnss::Unknown, 0, Gnss::Unknown, 0},     {Gnss::Unknown, -5, Gnss::Unknown, 0},
        {Gnss::Unknown, 1000, Gnss::Unknown, 0},
        // Reported as GPS: SBAS, QZSS and (before NMEA 4.10) GLONASS keep
        // their own identity.
        {Gnss::Gps, 7, Gnss::Gps, 7},             {Gnss::Gps, 51, Gnss::Sbas, 138},
        {Gnss::Gps, 193, Gnss::Qzss, 1},          {Gnss::Gps, 202, Gnss::Qzss, 10},
        {Gnss::Gps, 67, Gnss::Glonass, 3},        {Gnss::Gps, 214, Gnss::BeiDou, 14},
        {Gnss::Gps, 99, Gnss::Gps, 99},
        // Under their own system, the overlapping low IDs are that system's.
        {Gnss::Galileo, 5, Gnss::Galileo, 5},     {Gnss::BeiDou, 38, Gnss::BeiDou, 38},
        {Gnss::BeiDou, 214, Gnss::BeiDou, 14},    {Gnss::Glonass, 75, Gnss::Glonass, 11},
        {Gnss::Glonass, 7, Gnss::Glonass, 7},     {Gnss::Qzss, 3, Gnss::Qzss, 3},
        {Gnss::Navic, 9, Gnss::Navic, 9},         {Gnss::Galileo, 0, Gnss::Unknown, 0},
    };
    for (const AssignCase& c : cases) {
        const SatelliteId id = AssignSatellite(c.reportedAs, c.id);
        EXPECT_EQ(id, (SatelliteId{c.system, uint16_t(c.number)}))
            << GnssCaption(c.reportedAs) << " " << c.id << " gave " << GnssCaption(id.system) << " " << id.number;
    }
}

TEST(Constellations, SystemIdsAndTalkers)
{
    const Gnss byId[] = {Gnss::Unknown, Gnss::Gps,  Gnss::Glonass, Gnss::Galileo,
                         Gnss::BeiDou,  Gnss::Qzss, Gnss::Navic,   Gnss::Unknown};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(SystemFromSystemId(i), byId[i]) << i;
    const std::pair<const char*, Gnss> talkers[] = {
        {"GPGSA", Gnss::Gps},  {"GLGSV", Gnss::Glonass}, {"GAGSA", Gnss::Galileo}, {"GBGSV", Gnss::BeiDou},
        {"BDGSA", Gnss::BeiDou}, {"GQGSV", Gnss::Qzss},  {"GIGSA", Gnss::Navic},   {"GNGSA", Gnss::Unknown},
        {"G", Gnss::Unknown},  {"", Gnss::Unknown},
    };
    for (const auto& [address, system] : talkers)
        EXPECT_EQ(SystemFromTalker(address), system) << address;
}

// Feeds sentences (no checksum needed) to an assembler and the epoch.
struct Stream {
    NmeaAssembler nmea;
    GnssEpoch epoch;

    Stream() { epoch.SetEnabled(true); }
    void Feed(const std::vector<std::string>& sentences)
    {
        for (const std::string& s : sentences)
            for (char c : s + "\r\n")
                epoch.Feed(nmea.PushByte(c), nmea);
    }
    SatellitesTexts Lists() const { return SatellitesFromGnss(epoch.Picture()); }
};

// A GSA with twelve satellite fields; a system ID makes it NMEA 4.10.
std::string Gsa(const char* talker, const char* fix, const std::vector<std::string>& ids, const char* dops,
                const char* systemId = nullptr)
{
    std::string s = std::string("$") + talker + "GSA,A," + fix;
    for (size_t i = 0; i < 12; ++i)
        s += "," + (i < ids.size() ? ids[i] : std::string());
    s += std::string(",") + dops;
    if (systemId)
        s += std::string(",") + systemId;
    return s;
}

const char* const kGga = "$GNGGA,071551.000,4739.71754,N,12219.58177,W,1,17,0.8,77.5,M,-21.6,M,,";

TEST(GnssEpoch, MergesGsasOfOneEpochAndKeepsSilentSources)
{
    Stream s;
    s.Feed({Gsa("GN", "3", {"01", "06", "14"}, "1.3,0.8,1.1", "1"), Gsa("GN", "3", {"13", "27"}, "1.3,0.8,1.1", "4"),
            Gsa("GN", "3", {"75", "84"}, "1.4,0.9,1.2", "2"), kGga});
    SatellitesTexts t = s.Lists();
    EXPECT_EQ(t.gps, "1 6 14 ");
    EXPECT_EQ(t.bds, "13 27 ");
    EXPECT_EQ(t.gln, "11 20 ");
    EXPECT_DOUBLE_EQ(s.epoch.Picture().pdop, 1.4);
    EXPECT_DOUBLE_EQ(s.epoch.Picture().hdop, 0.9);
    EXPECT_DOUBLE_EQ(s.epoch.Picture().vdop, 1.2);

    // Next epoch: only a GPS GSA. BeiDou and GLONASS keep their lists.
    s.Feed({Gsa("GP", "3", {"02"}, "2.0,1.0,1.5"), kGga});
    t = s.Lists();
    EXPECT_EQ(t.gps, "2 ");
    EXPECT_EQ(t.bds, "13 27 ");
    EXPECT_EQ(t.gln, "11 20 ");
    EXPECT_DOUBLE_EQ(s.epoch.Picture().vdop, 1.5);
    EXPECT_EQ(s.epoch.Picture().usedCount, 5);

    // A GSA arriving before the GGA is not shown until that GGA.
    s.Feed({Gsa("GL", "3", {}, "2.0,1.0,1.5")});
    EXPECT_EQ(s.Lists().gln, "11 20 ");
    s.Feed({kGga});
    EXPECT_EQ(s.Lists().gln, "");
    // An epoch without any GSA changes nothing; a reset forgets everything.
    s.Feed({kGga});
    EXPECT_EQ(s.epoch.Picture().usedCount, 3);
    s.epoch.Reset();
    EXPECT_EQ(s.epoch.Picture().usedCount, 0);
    EXPECT_FALSE(s.epoch.Picture().gsaSeen);
    EXPECT_TRUE(s.epoch.Enabled());
}

TEST(GnssEpoch, GsasOfMoreThanTwelveSatellitesWithAndWithoutSystemId)
{
    Stream s;
    // Fourteen GLONASS satellites and a system ID; fourteen GPS ones without.
    s.Feed({"$GNGSA,A,3,65,66,67,68,69,70,71,72,73,74,75,76,77,78,1.5,0.9,1.2,2",
            "$GPGSA,A,3,1,2,3,4,5,6,7,8,9,10,11,12,13,14,1.6,1.0,1.3", kGga});
    EXPECT_EQ(s.Lists().gln, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 ");
    EXPECT_EQ(s.Lists().gps, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 ");
    EXPECT_EQ(s.epoch.Picture().usedCount, 28) << "no DOP taken for a satellite";
    EXPECT_DOUBLE_EQ(s.epoch.Picture().vdop, 1.3);
}

TEST(GnssEpoch, GnGsasWithoutSystemIdAreOneSource)
{
    Stream s;
    s.Feed({Gsa("GN", "3", {"03", "19"}, "2.75,2.56,1.00"), Gsa("GN", "3", {"88", "87"}, "2.75,2.56,1.00"), kGga});
    EXPECT_EQ(s.Lists().gps, "3 19 ");
    EXPECT_EQ(s.Lists().gln, "24 23 ");
    // Both lists emptied by the next pair of GN GSAs.
    s.Feed({Gsa("GN", "1", {}, ",,"), Gsa("GN", "1", {}, ",,"), kGga});
    EXPECT_EQ(s.epoch.Picture().usedCount, 0);
    EXPECT_EQ(s.epoch.Picture().fixType, 1);
}

TEST(GnssEpoch, SkyFromEveryCycleOfTheEpoch)
{
    Stream s;
    s.Feed({Gsa("GN", "3", {"01"}, "1.3,0.8,1.1", "1"),
            "$GPGSV,2,1,5,01,19,045,31,06,16,156,,51,30,200,40,193,70,010,33,0",
            "$GPGSV,2,2,5,12,05,272,,0",
            // A second signal of the same satellites adds nothing.
            "$GPGSV,1,1,2,01,19,045,40,06,16,156,22,8",
            "$BDGSV,1,1,1,214,34,246,25", kGga});
    const GnssPicture& p = s.epoch.Picture();
    ASSERT_EQ(p.skyCount, 6);
    const SkySatellite expected[] = {
        {{Gnss::Gps, 1}, Gnss::Gps, 19, 45, true, true},     {{Gnss::Gps, 6}, Gnss::Gps, 16, 156, true, false},
        {{Gnss::Sbas, 138}, Gnss::Gps, 30, 200, true, false}, {{Gnss::Qzss, 1}, Gnss::Gps, 70, 10, true, false},
        {{Gnss::Gps, 12}, Gnss::Gps, 5, 272, false, false},   {{Gnss::BeiDou, 14}, Gnss::BeiDou, 34, 246, true, false},
    };
    for (int i = 0; i < 6; ++i) {
        const SkySatellite& a = p.sky[i];
        const SkySatellite& e = expected[i];
        EXPECT_TRUE(a.id == e.id && a.elevationDeg == e.elevationDeg && a.azimuthDeg == e.azimuthDeg &&
                    a.heard == e.heard && a.used == e.used)
            << i << ": " << GnssCaption(a.id.system) << " " << a.id.number;
    }
    // The next epoch's GPS cycle replaces the GPS talker's satellites only.
    s.Feed({"$GPGSV,1,1,1,02,50,100,30", kGga});
    ASSERT_EQ(s.epoch.Picture().skyCount, 2);
    EXPECT_EQ(s.epoch.Picture().sky[0].id, (SatelliteId{Gnss::BeiDou, 14}));
    EXPECT_EQ(s.epoch.Picture().sky[1].id, (SatelliteId{Gnss::Gps, 2}));

    // A cycle cut by a GGA is shown whole at the next; one that never ends
    // (its last sentence lost) is not shown, and a new start forgets it.
    s.Feed({"$GLGSV,2,1,5,65,10,010,20,66,20,020,21,67,30,030,22,68,40,040,23", kGga});
    EXPECT_EQ(s.epoch.Picture().skyCount, 2);
    s.Feed({"$GLGSV,2,2,5,69,50,050,24", kGga});
    EXPECT_EQ(s.epoch.Picture().skyCount, 7);
    s.Feed({"$GLGSV,2,1,5,70,10,010,20", "$GLGSV,2,1,5,71,10,010,20", "$GLGSV,2,2,5,72,50,050,24", kGga});
    ASSERT_EQ(s.epoch.Picture().skyCount, 4);
    EXPECT_EQ(s.epoch.Picture().sky[2].id, (SatelliteId{Gnss::Glonass, 7}));
    EXPECT_EQ(s.epoch.Picture().sky[3].id, (SatelliteId{Gnss::Glonass, 8}));
}

TEST(GnssEpoch, HostileSentencesStayWithinCapacity)
{
    Stream s;
    // Galileo IDs 1-150 in GSAs of 22 satellites, and as many in GSVs.
    std::vector<std::string> sentences;
    for (int j = 0; j < 7; ++j) {
        std::string gsa = "$GAGSA,A,3";
        for (int i = 1; i <= 25; ++i)
            gsa += "," + std::to_string(j * 22 + i);
        sentences.push_back(gsa);
    }
    for (int i = 0; i <= 150; ++i)
        sentences.push_back("$GAGSV,1,1,99," + std::to_string(i) + ",99999,-99999,1,,,,");
    sentences.push_back("$GNGSA");
    sentences.push_back("$GPGSV,");
    sentences.push_back(kGga);
    s.Feed(sentences);
    EXPECT_EQ(s.epoch.Picture().usedCount, kEpochUsedMax);
    EXPECT_EQ(s.epoch.Picture().skyCount, kEpochSkyMax);
    for (int i = 0; i < s.epoch.Picture().skyCount; ++i) {
        EXPECT_LE(s.epoch.Picture().sky[i].elevationDeg, 90);
        EXPECT_GE(s.epoch.Picture().sky[i].azimuthDeg, -360);
    }
}

TEST(GnssEpoch, DisabledFeedsNothing)
{
    Stream s;
    s.epoch.SetEnabled(false);
    s.Feed({Gsa("GP", "3", {"01"}, "1.3,0.8,1.1"), kGga});
    EXPECT_EQ(s.epoch.Picture().usedCount, 0);
}

TEST(MultiGnssTexts, StatusWordsAndDifferentialQualities)
{
    struct Case {
        const char* quality;
        const char* gsaFix;
        const char* status;
        bool differential;
    };
    const Case cases[] = {
        {"0", "1", "OLD", false},   {"1", "3", "3D", false},   {"1", "2", "2D", false}, {"2", "3", "3D DIFF", true},
        {"2", "2", "2D DIFF", true}, {"3", "3", "3D", false},  {"4", "3", "RTK", true},  {"5", "3", "FLOAT", true},
        {"6", "2", "DR", false},    {"8", "3", "3D", false},
    };
    for (const Case& c : cases) {
        Stream s;
        const std::string gga = std::string("$GNGGA,071551.000,4739.7,N,12219.5,W,") + c.quality + ",9,0.8,77.5,M,,M,,";
        s.Feed({Gsa("GN", c.gsaFix, {"01", "02"}, "1.3,0.8,1.1", "1"), gga});
        const PositionTexts t = PositionFromNmea(s.nmea, s.epoch.Picture());
        EXPECT_EQ(t.status, c.status) << c.quality;
        EXPECT_EQ(t.noSolution, std::string(c.quality) == "0") << c.quality;
        EXPECT_EQ(t.vdop, "1.1");
        EXPECT_EQ(t.used, "2");
        const StatisticFix fix = StatisticFixFromNmea(s.nmea, s.epoch.Picture());
        EXPECT_EQ(fix.differential, c.differential) << c.quality;
        EXPECT_FLOAT_EQ(fix.vdop, 1.1f);
        // Without the option, the classic reading: only 2 is differential.
        EXPECT_EQ(StatisticFixFromNmea(s.nmea).differential, std::string(c.quality) == "2") << c.quality;
    }
}

} // namespace
