// Real receiver captures played through the views: a handful of fixes checked
// against values read by hand from the sentences, and every capture played
// through the three windows without a crash.
#include "Intake.h"
#include "Mainfile.h"
#include "NmeaAssembler.h"
#include "Position.h"
#include "PositionText.h"
#include "Satellites.h"
#include "SatellitesText.h"
#include "Statistic.h"
#include "TestSupport.h"
#include "ViewTestSupport.h"
#include "WindowGlobals.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstdlib>
#include <map>

namespace {

struct Snapshot {
    PositionTexts position;
    SatellitesTexts satellites;
};

struct Played {
    std::map<std::string, Snapshot> firstByUtc;   // first GGA of each time text
    std::vector<Snapshot> inOrder;
    std::string n;
    std::string nall;
};

// Feeds the whole capture to a fresh assembler for the texts and to the
// windows' intake, refreshing all three on every GGA.
Played Play(const std::string& path)
{
    static TMainForm* main = TrackWindow(MainForm, new TMainForm);
    static TPositionForm* position = TrackWindow(PositionForm, new TPositionForm);
    static TStatisticForm* statistic = TrackWindow(StatisticForm, new TStatisticForm);
    static TSatellitesForm* satellites = TrackWindow(SatellitesForm, new TSatellitesForm);
    static Intake intake;
    (void)main;
    position->intake = statistic->intake = satellites->intake = &intake;
    statistic->ResetStatistics();
    satellites->ClearIndicators();
    intake.ResetDecoders();

    NmeaAssembler nmea;
    Played played;
    for (uint8_t byte : ReadBinaryFile(path)) {
        const int result = nmea.PushByte(char(byte));
        intake.Receive(&byte, 1, Protocol::Nmea);
        if (result != kNmeaGga)
            continue;
        position->RefreshFromNmea();
        statistic->RefreshFromNmea(intake.Nmea(), intake.Gnss());
        satellites->RefreshFromNmea();
        Snapshot s{PositionFromNmea(nmea), SatellitesFromNmea(nmea)};
        played.firstByUtc.emplace(s.position.utc, s);
        played.inOrder.push_back(s);
    }
    played.n = statistic->NLabel->text().toStdString();
    played.nall = statistic->NallLabel->text().toStdString();
    return played;
}

std::string Capture(const char* name) { return SharedNmeaDir() + "/" + name; }

// The view rounds the position through single precision, so the fourth
// decimal of the minutes may differ from the sentence by one or two.
void ExpectAngle(const std::string& text, int degrees, double minutes, char hemisphere)
{
    const size_t degreeSign = text.find('\xB0');
    ASSERT_NE(degreeSign, std::string::npos) << text;
    EXPECT_EQ(std::atoi(text.substr(0, degreeSign).c_str()), degrees) << text;
    EXPECT_EQ(text.size(), degreeSign + 9) << text;
    EXPECT_NEAR(std::atof(text.substr(degreeSign + 1, 7).c_str()), minutes, 0.00025) << text;
    EXPECT_EQ(text.back(), hemisphere) << text;
}

// Counts GGA lines by a plain line scan: how many, and how many with a fix.
std::pair<int, int> CountGgaLines(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadBinaryFile(path);
    const std::string text(bytes.begin(), bytes.end());
    int all = 0, fixes = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.size() < 7 || line[0] != '$' || line.compare(3, 4, "GGA,") != 0)
            continue;
        ++all;
        size_t field = 0;
        for (int commas = 0; commas < 6 && field != std::string::npos; ++commas)
            field = line.find(',', field + 1);
        if (field != std::string::npos && std::atoi(line.c_str() + field + 1) != 0)
            ++fixes;
    }
    return {all, fixes};
}

TEST(RealCaptures, GlonassReceiverFirstFix)
{
    REQUIRE_SHARED_NMEA();
    const Played played = Play(Capture("bu353-glonass.log"));
    // $GNRMC,081411.000,A,5541.1955,N,03737.2872,E,0.60,301.29,260514,,,A
    // $GPGGA,081412.000,5541.1956,N,03737.2877,E,1,5,4.87,66.2,M,14.5,M,,
    // with the last GSA before it listing GLONASS 88 and 87, VDOP 1.00.
    ASSERT_TRUE(played.firstByUtc.count("08:14:12"));
    const Snapshot& s = played.firstByUtc.at("08:14:12");
    const PositionTexts& p = s.position;
    EXPECT_EQ(p.date, "26.05.14");
    ExpectAngle(p.lat, 55, 41.1956, 'N');
    ExpectAngle(p.lon, 37, 37.2877, 'E');
    EXPECT_EQ(p.alt, "+0066.2");
    EXPECT_EQ(p.hdop, "4.9");
    EXPECT_EQ(p.vdop, "1.0");
    EXPECT_EQ(p.speed, "001.1 km/h");   // 0.60 kn = 1.11 km/h
    EXPECT_EQ(p.course, "301.3 \xB0");
    EXPECT_EQ(p.gps, "0");
    EXPECT_EQ(p.gln, "2");
    EXPECT_EQ(p.status, "3D");
    EXPECT_EQ(s.satellites.gln, "24 23 ");
    EXPECT_EQ(s.satellites.gps, "");
}

TEST(RealCaptures, DifferentialReceiverFirstFixes)
{
    REQUIRE_SHARED_NMEA();
    const Played played = Play(Capture("skytraq-dgps.log"));
    ASSERT_GE(played.inOrder.size(), 2u);
    // The first GGA comes before any RMC or GSA:
    // $GPGGA,213121.000,4404.1295864,N,12118.8685453,W,2,07,1.2,1102.537,M,...
    const PositionTexts& first = played.inOrder[0].position;
    EXPECT_EQ(first.utc, "21:31:21");
    EXPECT_EQ(first.date, "..");
    ExpectAngle(first.lat, 44, 4.1296, 'N');
    EXPECT_EQ(first.lat.substr(first.lat.find('\xB0') + 1, 2), " 4");   // minutes below 10 keep a blank
    ExpectAngle(first.lon, 121, 18.8685, 'W');
    EXPECT_EQ(first.alt, "+1102.5");
    EXPECT_EQ(first.hdop, "1.2");
    EXPECT_FALSE(first.vdopSet);
    EXPECT_EQ(first.speed, "000.0 km/h");
    EXPECT_EQ(first.status, "2D DIFF");   // fix type 0 without a GSA
    // The second follows the first epoch's RMC (000.0 kn, 122.7 deg, 070416)
    // and its BDGSA (VDOP 2.2), which overwrote the GPS GSA: BeiDou ID 214 is
    // neither GPS nor GLONASS.
    const PositionTexts& second = played.inOrder[1].position;
    EXPECT_EQ(second.utc, "21:31:22");
    EXPECT_EQ(second.date, "07.04.16");
    EXPECT_EQ(second.course, "122.7 \xB0");
    EXPECT_EQ(second.vdop, "2.2");
    EXPECT_EQ(second.gps, "0");
    EXPECT_EQ(second.status, "3D DIFF");
}

TEST(RealCaptures, NoFixAndEmptyFields)
{
    REQUIRE_SHARED_NMEA();
    const Played hemi = Play(Capture("hemi.log"));
    ASSERT_FALSE(hemi.inOrder.empty());
    const PositionTexts& empty = hemi.inOrder[0].position;   // $GPGGA,,,,,,0,,,,M,,M,,
    EXPECT_EQ(empty.utc, "::");
    EXPECT_EQ(empty.lat, "00\xB0 0.0000N");
    EXPECT_EQ(empty.status, "OLD");

    const Played haicom = Play(Capture("haicom-305N.log"));
    // $GPGGA,095257.809,2712.6404,S,15303.1201,E,0,00,00.0,4.0,M,... after an
    // RMC dated 080407.
    ASSERT_TRUE(haicom.firstByUtc.count("09:52:57"));
    const PositionTexts& p = haicom.firstByUtc.at("09:52:57").position;
    ExpectAngle(p.lat, 27, 12.6404, 'S');
    ExpectAngle(p.lon, 153, 3.1201, 'E');
    EXPECT_EQ(p.date, "08.04.07");
    EXPECT_EQ(p.alt, "+0004.0");
    EXPECT_EQ(p.status, "OLD");
}

TEST(RealCaptures, StatisticCountsMatchTheSentences)
{
    REQUIRE_SHARED_NMEA();
    for (const char* name : {"bu353-glonass.log", "skytraq-dgps.log", "haicom-305N.log", "nmea-rtk.log"}) {
        const auto [all, fixes] = CountGgaLines(Capture(name));
        const Played played = Play(Capture(name));
        EXPECT_EQ(played.nall, std::to_string(all)) << name;
        EXPECT_EQ(played.n, std::to_string(fixes)) << name;
    }
}

TEST(RealCaptures, EveryCapturePlaysThroughTheWindows)
{
    REQUIRE_SHARED_NMEA();
    for (const std::string& path : SharedNmeaFiles()) {
        const Played played = Play(path);
        EXPECT_FALSE(played.inOrder.empty()) << path;
        EXPECT_LE(std::atoi(played.n.c_str()), std::atoi(played.nall.c_str())) << path;
        EXPECT_EQ(played.nall, std::to_string(played.inOrder.size())) << path;
    }
}

} // namespace
