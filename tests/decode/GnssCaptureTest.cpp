// Multi-GNSS on real receiver captures: the satellites per system and the
// status word at chosen GGAs, read by hand from the sentences before them.
#include "GnssEpoch.h"
#include "PositionText.h"
#include "SatellitesText.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

struct Shown {
    PositionTexts position;
    SatellitesTexts satellites;
    GnssPicture picture;
};

// The texts at the first GGA of each UTC text, as the views make them there.
std::map<std::string, Shown> Play(const std::string& name)
{
    NmeaAssembler nmea;
    GnssEpoch epoch;
    epoch.SetEnabled(true);
    std::map<std::string, Shown> shown;
    for (uint8_t byte : ReadBinaryFile(SharedNmeaDir() + "/" + name)) {
        const int result = nmea.PushByte(char(byte));
        epoch.Feed(result, nmea);
        if (result == kNmeaGga) {
            const PositionTexts p = PositionFromNmea(nmea, epoch.Picture());
            shown.emplace(p.utc, Shown{p, SatellitesFromGnss(epoch.Picture()), epoch.Picture()});
        }
    }
    return shown;
}

struct Expected {
    const char* file;
    const char* utc;
    const char* status;
    const char* gps;
    const char* gln;
    const char* gal;
    const char* bds;
    const char* qzs;
    const char* used;
    int inView;     // satellites on the sky plot
};

int InView(const GnssPicture& p, Gnss system)
{
    int n = 0;
    for (int i = 0; i < p.skyCount; ++i)
        n += p.sky[i].id.system == system;
    return n;
}

TEST(GnssCapture, SatellitesPerSystemAndStatusWords)
{
    REQUIRE_SHARED_NMEA();
    const Expected cases[] = {
        // bu353-glonass, GGA 08:14:16 after the epoch of 08:14:15:
        //   $GNGSA,A,3,03,19,27,13,...  GN, no system ID: 1-32 are GPS
        //   $GNGSA,A,3,88,87,...        65-96 are GLONASS slots 24, 23
        //   $GPGSV 12 satellites, $GLGSV 10: 22 on the sky plot.
        {"bu353-glonass.log", "08:14:16", "3D", "3 19 27 13 ", "24 23 ", "", "", "", "6", 22},
        // 08:14:21: both GN GSAs of 08:14:20 are empty (A,1), quality 0.
        {"bu353-glonass.log", "08:14:21", "OLD", "", "", "", "", "", "0", 22},
        // quectel-l76k-dual, GGA 07:15:52 after the epoch of 07:15:51:
        //   $GNGSA,...,01,06,14,15,17,19,20,22,24,30,...,1  system ID 1: GPS
        //   $GNGSA,...,13,27,28,38,...,4                     system ID 4: BeiDou
        //   $GNGSA,...,75,84,85,...,2                        system ID 2: GLONASS 11, 20, 21
        //   17 used = GGA's 17; GPGSV 11, BDGSV 4, GLGSV 9 satellites: 24 in view.
        {"quectel-l76k-dual.log", "07:15:52", "3D", "1 6 14 15 17 19 20 22 24 30 ", "11 20 21 ", "",
         "13 27 28 38 ", "", "17", 24},
        // skytraq-dgps, GGA 21:31:24 (quality 2) after the epoch of 21:31:23:
        //   $GPGSA,A,3,09,23,08,11,27,30,28  GPS
        //   $BDGSA,A,3,214                   BD talker: BeiDou PRN 14
        //   $GPGSV 13: 11 GPS, 51 = SBAS 138, 193 = QZSS 1; $BDGSV 214, 206, 212.
        {"skytraq-dgps.log", "21:31:24", "3D DIFF", "9 23 8 11 27 30 28 ", "", "", "14 ", "", "8", 16},
        // nmea-rtk: no GSA at all; 13:38:59 quality 4 with 19 satellites.
        {"nmea-rtk.log", "13:38:59", "RTK", "", "", "", "", "", "19", 0},
        {"nmea-rtk.log", "13:28:19", "2D DIFF", "", "", "", "", "", "10", 0},
    };
    std::map<std::string, std::map<std::string, Shown>> played;
    for (const Expected& e : cases) {
        auto& file = played[e.file];
        if (file.empty())
            file = Play(e.file);
        ASSERT_TRUE(file.count(e.utc)) << e.file << " " << e.utc;
        const Shown& s = file.at(e.utc);
        const std::string where = std::string(e.file) + " " + e.utc;
        EXPECT_EQ(s.position.status, e.status) << where;
        EXPECT_EQ(s.satellites.gps, e.gps) << where;
        EXPECT_EQ(s.satellites.gln, e.gln) << where;
        EXPECT_EQ(s.satellites.gal, e.gal) << where;
        EXPECT_EQ(s.satellites.bds, e.bds) << where;
        EXPECT_EQ(s.satellites.qzs, e.qzs) << where;
        EXPECT_EQ(s.position.used, e.used) << where;
        EXPECT_EQ(s.picture.skyCount, e.inView) << where;
    }
    // The SkyTraq sky by system: 11 GPS, SBAS 138, QZSS 1, BeiDou 14, 6, 12.
    const GnssPicture& sky = played["skytraq-dgps.log"].at("21:31:24").picture;
    EXPECT_EQ(InView(sky, Gnss::Gps), 11);
    EXPECT_EQ(InView(sky, Gnss::Sbas), 1);
    EXPECT_EQ(InView(sky, Gnss::Qzss), 1);
    EXPECT_EQ(InView(sky, Gnss::BeiDou), 3);
    const GnssPicture& dual = played["quectel-l76k-dual.log"].at("07:15:52").picture;
    EXPECT_EQ(InView(dual, Gnss::Gps), 11);
    EXPECT_EQ(InView(dual, Gnss::Glonass), 9);
    EXPECT_EQ(InView(dual, Gnss::BeiDou), 4);
    EXPECT_DOUBLE_EQ(dual.vdop, 1.1);
}

} // namespace
