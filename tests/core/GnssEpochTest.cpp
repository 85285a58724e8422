// Multi-GNSS: the constellation table, the merge of an epoch's GSAs and GSVs,
// and the texts made from it.
#include "GnssEpoch.h"
#include "MultiGnssHint.h"
#include "NmeaChecksum.h"
#include "PositionText.h"
#include "SatellitesText.h"
#include "StatisticText.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <limits>
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

// Feeds sentences (no checksum needed) to an assembler and the epoch. An
// epoch is under way from the start, and each kGga fed is one of the next
// second: it ends the epoch before it, so what came before it is shown.
struct Stream {
    NmeaAssembler nmea;
    GnssEpoch epoch;
    int seconds = 0;
    int shown = 0;      // epochs completed

    explicit Stream(bool startWithGga = true)
    {
        epoch.SetEnabled(true);
        if (startWithGga)
            Feed({kGga});
    }
    void Feed(const std::vector<std::string>& sentences)
    {
        for (std::string s : sentences) {
            if (s == kGga) {
                char time[16];
                std::snprintf(time, sizeof time, "07%02d%02d.000", seconds / 60 % 60, seconds % 60);
                s.replace(7, 10, time);
                ++seconds;
            }
            for (char c : s + "\r\n")
                shown += epoch.Feed(nmea.PushByte(c), nmea);
        }
    }
    SatellitesTexts Lists() const { return SatellitesFromGnss(epoch.Picture()); }
    PositionTexts Position() const { return PositionFromNmea(nmea, epoch.Picture()); }
};

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
        {"6", "2", "DR", false},    {"7", "3", "MANUAL", false}, {"8", "3", "SIM", false}, {"1", "1", "", false},
    };
    for (const Case& c : cases) {
        Stream s;
        const std::string gga = std::string("$GNGGA,071551.000,4739.7,N,12219.5,W,") + c.quality + ",9,0.8,77.5,M,,M,,";
        s.Feed({gga, Gsa("GN", c.gsaFix, {"01", "02"}, "1.3,0.8,1.1", "1")});
        EXPECT_TRUE(s.epoch.Complete());
        const PositionTexts t = s.Position();
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

// No GSA in the stream: the status says only what the fix sentence knows.
TEST(MultiGnssTexts, WithoutAnyGsaAHeightMeans3D)
{
    const std::pair<const char*, const char*> cases[] = {
        {"1,12,0.8,77.5", "3D"}, {"1,12,0.8,", ""}, {"2,12,0.8,", "DIFF"}, {"2,12,0.8,12.0", "3D DIFF"},
        {"4,12,0.8,77.5", "RTK"},
    };
    for (const auto& [fields, status] : cases) {
        Stream s(false);
        s.Feed({std::string("$GPGGA,101500.00,4739.7,N,12219.5,W,") + fields + ",M,,M,,"});
        s.epoch.Complete();
        EXPECT_EQ(s.Position().status, status) << fields;
        EXPECT_EQ(s.Position().used, "12") << fields;
    }
}

// The GSAs of an epoch come after its GGA: they are shown with that GGA,
// once the next epoch begins or the data ends.
TEST(GnssEpoch, AnEpochIsShownCompleteWithItsOwnSentences)
{
    Stream s(false);
    s.Feed({"$GPGGA,080001.000,4739.7,N,12219.5,W,1,05,0.8,77.5,M,,M,,", Gsa("GP", "3", {"01", "02", "03"}, "1.9,0.8,1.1"),
            "$GPGGA,080002.000,4739.7,N,12219.5,W,2,04,0.8,77.5,M,,M,,"});
    EXPECT_EQ(s.shown, 1);
    EXPECT_TRUE(s.epoch.Pending());
    PositionTexts t = s.Position();
    EXPECT_EQ(t.utc, "08:00:01");
    EXPECT_EQ(t.used, "3");
    EXPECT_EQ(t.vdop, "1.1");
    EXPECT_EQ(t.status, "3D");
    s.Feed({Gsa("GP", "2", {"05", "06"}, "2.5,1.0,2.2")});
    EXPECT_EQ(s.Lists().gps, "1 2 3 ") << "not shown before the epoch is complete";
    EXPECT_TRUE(s.epoch.Complete());
    EXPECT_FALSE(s.epoch.Complete()) << "shown once";
    t = s.Position();
    EXPECT_EQ(t.utc, "08:00:02");
    EXPECT_EQ(t.used, "2");
    EXPECT_EQ(t.vdop, "2.2");
    EXPECT_EQ(t.status, "2D DIFF");
    // A late sentence of a completed epoch joins it.
    s.Feed({Gsa("GL", "2", {"65"}, "2.5,1.0,2.2")});
    EXPECT_TRUE(s.epoch.Complete());
    EXPECT_EQ(s.Lists().gln, "1 ");
    EXPECT_EQ(s.Position().used, "3");
}

// $GPGGA then $GLGGA of one time, as some receivers send: one epoch, the
// position from the first, the counts added up while there is no GSA.
TEST(GnssEpoch, GgasOfOneTimeAreOneEpoch)
{
    Stream s(false);
    for (int second = 35; second < 40; ++second) {
        const std::string time = "0209" + std::to_string(second) + ".000";
        s.Feed({"$GPGGA," + time + ",4739.7,N,12219.5,W,1,08,0.8,77.5,M,,M,,",
                "$GLGGA," + time + ",4739.9,N,12219.9,W,1,02,0.8,77.5,M,,M,,"});
    }
    EXPECT_EQ(s.shown, 4);
    s.epoch.Complete();
    NmeaAssembler first;
    for (char c : std::string("$GPGGA,020939.000,4739.7,N,12219.5,W,1,08,0.8,77.5,M,,M,,\r\n"))
        first.PushByte(c);
    EXPECT_EQ(s.Position().lat, PositionFromNmea(first).lat);
    EXPECT_EQ(s.Position().lon, PositionFromNmea(first).lon);
    EXPECT_EQ(s.Position().used, "10");
    s.Feed({"$GPGGA,020940.000,4739.7,N,12219.5,W,1,08,0.8,77.5,M,,M,,", Gsa("GP", "3", {"01", "02"}, "1.9,0.8,1.1"),
            "$GLGGA,020940.000,4739.7,N,12219.5,W,1,02,0.8,77.5,M,,M,,", Gsa("GL", "3", {"65"}, "1.9,0.8,1.1")});
    s.epoch.Complete();
    EXPECT_EQ(s.Position().used, "3") << "the GSAs' satellites, where the epoch has GSAs";
    // A GGA without a time is an epoch of its own: the second ends the first
    // (the first ends one already shown).
    const int before = s.shown;
    s.Feed({"$GPGGA,,,,,,0,00,,,M,,M,,", "$GPGGA,,,,,,0,00,,,M,,M,,"});
    EXPECT_EQ(s.shown, before + 1);
}

TEST(Constellations, ASystemIdIsAnIntegerAloneInItsField)
{
    const std::pair<const char*, int> fields[] = {
        {"1", 1}, {"4", 4}, {"15", 15}, {"F", 15}, {"A", 10}, {"3.3", 0}, {"0", 0}, {"16", 0}, {"", 0}, {"1a", 0},
        {"007", 0}, {"-1", 0},
    };
    for (const auto& [text, id] : fields)
        EXPECT_EQ(SystemIdOfField(text), id) << text;
}

// A receiver's own extra field where a system ID would stand is no system ID:
// the talker and the number ranges decide, and the DOPs stay in place.
TEST(GnssEpoch, AnExtraDecimalFieldIsNoSystemId)
{
    struct Case {
        const char* gsa;
        const char* gps;
        const char* gal;
        const char* bds;
    };
    const Case cases[] = {
        {"$BDGSA,A,3,02,03,04,,,,,,,,,,5.1,1.3,4.9,3.3", "", "", "2 3 4 "},
        {"$GNGSA,A,3,02,03,04,,,,,,,,,,5.1,1.3,4.9,3", "", "2 3 4 ", ""},
        {"$GNGSA,A,3,02,03,04,,,,,,,,,,5.1,1.3,4.9,16", "2 3 4 ", "", ""},
        {"$GNGSA,A,3,02,03,04,,,,,,,,,,5.1,1.3,4.9,", "2 3 4 ", "", ""},
    };
    for (const Case& c : cases) {
        Stream s;
        s.Feed({c.gsa, kGga});
        EXPECT_EQ(s.Lists().gps, c.gps) << c.gsa;
        EXPECT_EQ(s.Lists().gal, c.gal) << c.gsa;
        EXPECT_EQ(s.Lists().bds, c.bds) << c.gsa;
        EXPECT_DOUBLE_EQ(s.epoch.Picture().vdop, 4.9) << c.gsa;
    }
}

// Without GGA the epochs come from GNS, and without either from RMC.
TEST(GnssEpoch, EpochsFromGnsElseRmc)
{
    Stream rmc(false);
    rmc.Feed({"$GPRMC,101500.00,A,4739.7,N,12219.5,W,0.0,0.0,071226,,,A", Gsa("GP", "3", {"01", "02", "03"}, "1.9,0.8,1.1"),
              "$GPRMC,101501.00,A,4739.7,N,12219.5,W,0.0,0.0,071226,,,D", "$GPRMC,101502.00,V,,,,,,,071226,,,N"});
    EXPECT_EQ(rmc.shown, 2);
    EXPECT_EQ(rmc.Position().utc, "10:15:01");
    EXPECT_EQ(rmc.Position().date, "07.12.26");
    EXPECT_EQ(rmc.Position().status, "3D DIFF");
    rmc.epoch.Complete();
    EXPECT_EQ(rmc.Position().status, "OLD");

    Stream gns(false);
    gns.Feed({"$GNGNS,101500.00,4739.7,N,12219.5,W,NA,10,0.9,98.0,52.0,,,V", "$GNRMC,101500.00,A,4739.7,N,12219.5,W,0.5,0.0,071226,,,A",
              "$GNGNS,101501.00,4739.7,N,12219.5,W,RR,11,0.9,98.0,52.0,,,V", "$GNRMC,101501.00,A,4739.7,N,12219.5,W,0.5,0.0,071226,,,A"});
    EXPECT_EQ(gns.shown, 1) << "an RMC makes no epoch beside a GNS";
    EXPECT_EQ(gns.Position().utc, "10:15:00");
    EXPECT_EQ(gns.Position().status, "3D");
    EXPECT_EQ(gns.Position().used, "10");
    EXPECT_EQ(gns.Position().date, "07.12.26");
    gns.epoch.Complete();
    EXPECT_EQ(gns.Position().status, "RTK");

    // An RMC before the GGA of its time is of that GGA's cycle.
    Stream both(false);
    both.Feed({"$GPRMC,101500.00,A,4739.7,N,12219.5,W,0.0,0.0,071226,,,A", "$GPGGA,101500.00,4739.7,N,12219.5,W,1,07,0.8,7.5,M,,M,,",
               "$GPRMC,101501.00,A,4739.7,N,12219.5,W,0.0,0.0,071226,,,A", "$GPGGA,101501.00,4739.7,N,12219.5,W,1,07,0.8,7.5,M,,M,,"});
    EXPECT_EQ(both.shown, 1);
    EXPECT_EQ(both.Position().used, "7");

    // The simulator's order, GGA last: each GGA is shown with its own cycle's GSA.
    Stream last(false);
    last.Feed({"$GPRMC,101500.00,A,4739.7,N,12219.5,W,0.0,0.0,071226,,,A", Gsa("GP", "3", {"01", "02", "03"}, "1.9,0.8,1.1"),
               "$GPGGA,101500.00,4739.7,N,12219.5,W,1,03,0.8,7.5,M,,M,,",
               "$GPRMC,101501.00,A,4739.7,N,12219.5,W,0.0,0.0,071226,,,A", Gsa("GP", "2", {"05", "06"}, "2.5,1.0,2.2"),
               "$GPGGA,101501.00,4739.7,N,12219.5,W,1,02,0.8,7.5,M,,M,,",
               "$GPRMC,101502.00,A,4739.7,N,12219.5,W,0.0,0.0,071226,,,A"});
    EXPECT_EQ(last.shown, 2);
    EXPECT_EQ(last.Position().utc, "10:15:01");
    EXPECT_EQ(last.Position().used, "2");
    EXPECT_EQ(last.Position().status, "2D");
}

} // namespace

// Fix sentences of one time add their satellites used; counts no receiver
// sends must not wrap the sum round (found by fuzzing).
TEST(GnssEpoch, UsedCountsOfOneTimeSaturate)
{
    Stream s(false);
    s.Feed({"$GPGGA,071551.000,4739.71754,N,12219.58177,W,1,88888888,0.8,77.5,M,-21.6,M,,",
            "$GLGGA,071551.000,4739.71754,N,12219.58177,W,1,99999999999,0.8,77.5,M,-21.6,M,,",
            "$GPGGA,071552.000,4739.71754,N,12219.58177,W,1,05,0.8,77.5,M,-21.6,M,,"});
    ASSERT_EQ(s.shown, 1);
    EXPECT_EQ(s.epoch.Picture().fixUsedSum, std::numeric_limits<int>::max());
}

// What the classic reading cannot show: a combined talker, a GSA's system ID,
// an RTK quality. A GPS/GLONASS receiver of the classic kind shows none.
TEST(MultiGnssHint, SentencesTheClassicViewsCannotShow)
{
    const struct {
        const char* sentence;
        bool needs;
    } cases[] = {
        {"$GPGGA,081412.000,5541.1956,N,03737.2877,E,1,5,4.87,66.2,M,14.5,M,,", false},
        {"$GLGSA,A,3,65,66,,,,,,,,,,,2.0,1.0,1.7", false},
        {"$GPGGA,081412.000,5541.1956,N,03737.2877,E,2,5,4.87,66.2,M,14.5,M,,", false},
        {"$GPGGA,081412.000,5541.1956,N,03737.2877,E,4,5,4.87,66.2,M,14.5,M,,", true},
        {"$GPGGA,081412.000,5541.1956,N,03737.2877,E,5,5,4.87,66.2,M,14.5,M,,", true},
        {"$GNGGA,081412.000,5541.1956,N,03737.2877,E,1,5,4.87,66.2,M,14.5,M,,", true},
        {"$GNRMC,081412.000,A,5541.1956,N,03737.2877,E,0.0,0.0,071226,,,A", true},
        {"$GPGSA,A,3,05,07,,,,,,,,,,,2.0,1.0,1.7,1", true},
        {"$GPGSA,A,3,05,07,,,,,,,,,,,2.0,1.0,1.7,3.3", false},
        {"$GPGSV,1,1,01,05,40,100,44", false},
    };
    for (const auto& c : cases) {
        NmeaAssembler nmea;
        const std::string text = NmeaSentence(c.sentence + 1);
        int result = 0;
        for (const char ch : text)
            if (const int r = nmea.PushByte(ch); r != 0)
                result = r;
        ASSERT_GT(result, 0) << c.sentence;
        EXPECT_EQ(NeedsMultiGnss(result, nmea.Working()), c.needs) << c.sentence;
    }
}
