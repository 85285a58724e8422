#include "Angles.h"
#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "NmeaAssembler.h"
#include "PositionText.h"
#include "WeekRollover.h"
#include "ViewTestSupport.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>

namespace {


// ---- NMEA ------------------------------------------------------------------

struct NmeaCase {
    const char* name;
    std::vector<std::string> sentences;
    PositionTexts expected;   // only the fields named in check are compared
    std::string check;
};

PositionTexts FromSentences(const std::vector<std::string>& sentences)
{
    NmeaAssembler nmea;
    for (const auto& s : sentences)
        EXPECT_GT(FeedNmea(nmea, s), 0) << s;
    return PositionFromNmea(nmea);
}

TEST(PositionNmeaTexts, TimeDatePositionAndMotion)
{
    const PositionTexts t = FromSentences({
        "GPRMC,123519,A,4807.038,N,01131.000,E,10.0,084.4,230394,003.1,W",
        "GPGGA,123519.00,5545.1234,N,03736.5000,W,1,08,0.9,-12.3,M,46.9,M,,",
    });
    EXPECT_EQ(t.utc, "12:35:19");
    EXPECT_EQ(t.date, "23.03.94");
    // The latitude passes through single precision: 45.1234 comes out as 45.1235.
    EXPECT_EQ(t.lat, Deg("55°45.1235N"));
    EXPECT_EQ(t.lon, Deg("037°36.5000W"));
    EXPECT_EQ(t.alt, "-0012.3");
    EXPECT_EQ(t.hdop, "0.9");
    EXPECT_EQ(t.speed, "018.5 km/h");
    EXPECT_EQ(t.course, Deg("084.4 °"));
}

TEST(PositionNmeaTexts, EmptyFieldsGiveDefinedTexts)
{
    const PositionTexts t = FromSentences({"GPGGA,,,,,,0,,,,M,,M,,"});
    EXPECT_EQ(t.utc, "::");
    EXPECT_EQ(t.date, "..");
    EXPECT_EQ(t.lat, Deg("00° 0.0000N"));
    EXPECT_EQ(t.lon, Deg("000° 0.0000E"));
    EXPECT_EQ(t.alt, "+0000.0");
    EXPECT_EQ(t.rms2D, "0.0");        // no PVKTD yet
    EXPECT_FALSE(t.vdopSet);          // no GSA yet: the label keeps its text
    EXPECT_EQ(t.gps, "0");
    EXPECT_EQ(t.gln, "0");
    EXPECT_EQ(t.status, "OLD");
    EXPECT_TRUE(t.noSolution);
}

TEST(PositionNmeaTexts, SouthAndWestOnlyForExactLetters)
{
    const PositionTexts t = FromSentences({"GPGGA,000000,3736.5000,s,03736.5000,Wx,1,08,0.9,1,M,,M,,"});
    EXPECT_EQ(t.lat, Deg("37°36.5000N"));
    EXPECT_EQ(t.lon, Deg("037°36.5000E"));
}

// Degrees are the first two (three) characters, minutes the eight after
// them, whatever the field's length.
TEST(PositionNmeaTexts, GgaAnglesReadTheirCharacters)
{
    struct Row { const char* lat; const char* lon; double latDeg, lonDeg; };
    const Row rows[] = {
        {"5545.1234", "03736.5000", 55 + 45.1234 / 60, 37 + 36.5 / 60},
        {"5545.123456789", "03736.500000009", 55 + 45.12345 / 60, 37 + 36.5 / 60},
        {"554", "0373", 55 + 4.0 / 60, 37 + 3.0 / 60},
        {"55", "037", 55, 37},
        {"5", "03", 5, 3},
        {"", "", 0, 0},
    };
    for (const Row& r : rows) {
        NmeaAssembler nmea;
        FeedNmea(nmea, std::string("GPGGA,120000,") + r.lat + ",S," + r.lon + ",E,1,08,0.9,1,M,,M,,");
        const NmeaFields& gga = nmea.Stored(NmeaKind::Gga);
        EXPECT_DOUBLE_EQ(GgaLatitude(gga), -r.latDeg * kPi / 180) << r.lat;
        EXPECT_DOUBLE_EQ(GgaLongitude(gga), r.lonDeg * kPi / 180) << r.lon;
    }
}

TEST(PositionNmeaTexts, Status)
{
    struct Row { const char* quality; const char* fixType; const char* status; bool old; };
    const Row rows[] = {
        {"2", "3", "3D DIFF", false}, {"1", "2", "2D", false}, {"6", "3", "3D", false},
        {"0", "3", "OLD", true},      {"", "3", "OLD", true},  {"2", "1", "2D DIFF", false},
    };
    for (const Row& r : rows) {
        const PositionTexts t = FromSentences({
            std::string("GPGSA,A,") + r.fixType + ",05,,,,,,,,,,,,2.0,1.0,1.5",
            std::string("GPGGA,120000,5545.0,N,03736.0,E,") + r.quality + ",08,0.9,100.0,M,,M,,",
        });
        EXPECT_EQ(t.status, r.status) << r.quality << "/" << r.fixType;
        EXPECT_EQ(t.noSolution, r.old) << r.quality << "/" << r.fixType;
    }
}

TEST(PositionNmeaTexts, SatelliteCountsFromGsaIds)
{
    const PositionTexts t = FromSentences({
        "GPGSA,A,3,05,12,,67,,,,,,,,,2.0,1.0,150.0",
        "GPGGA,120000,5545.0,N,03736.0,E,1,08,150.0,100.0,M,,M,,",
    });
    EXPECT_EQ(t.gps, "2");
    EXPECT_EQ(t.gln, "1");
    // The NMEA VDOP overflows only above 999, the HDOP above 99.9.
    EXPECT_TRUE(t.vdopSet);
    EXPECT_EQ(t.vdop, "150.0");
    EXPECT_EQ(t.hdop, "****");
}

TEST(PositionNmeaTexts, OverflowLimits)
{
    struct Row { const char* pvktd; const char* hdop; const char* vdop; const char* rms2D; const char* hdopText; const char* vdopText; };
    const Row rows[] = {
        // PVKTD is read in double precision: 99.9 stays 99.9. The GGA HDOP is
        // single precision, which holds 99.9 as 99.90000153: already over.
        {"99.9", "99.9", "999.0", "99.9", "****", "999.0"},
        {"100.0", "99.8", "999.1", "****", "99.8", "****"},
        {"", "0.0", "", "0.0", "0.0", "0.0"},
    };
    for (const Row& r : rows) {
        const PositionTexts t = FromSentences({
            std::string("PVKTD,A,") + r.pvktd,
            std::string("GPGSA,A,3,05,,,,,,,,,,,,2.0,1.0,") + r.vdop,
            std::string("GPGGA,120000,5545.0,N,03736.0,E,1,08,") + r.hdop + ",100.0,M,,M,,",
        });
        EXPECT_EQ(t.rms2D, r.rms2D) << r.pvktd;
        EXPECT_EQ(t.hdop, r.hdopText) << r.hdop;
        EXPECT_EQ(t.vdop, r.vdopText) << r.vdop;
    }
}

TEST(PositionNmeaTexts, ShortSentencesReadAsEmptyFields)
{
    // A GSA too short to hold satellite fields, a PVKTD without its value.
    const PositionTexts t = FromSentences({"GPGSA,A", "PVKTD", "GPGGA,1"});
    EXPECT_EQ(t.gps, "0");
    EXPECT_EQ(t.vdop, "0.0");   // the last field is "A"
    EXPECT_EQ(t.rms2D, "0.0");
    EXPECT_EQ(t.utc, "1::");
    EXPECT_EQ(t.status, "OLD");
}

// ---- BINR ------------------------------------------------------------------

PositionTexts FromBinr(const Nav88& nav, const Dop60& dop = {})
{
    BinrDecoder binr;
    EXPECT_EQ(FeedBinr(binr, dop), kMsgDopInfo);
    EXPECT_EQ(FeedBinr(binr, nav), kMsgNavSolution);
    return PositionFromBinr(binr, DatePolicy());
}

TEST(PositionBinrTexts, StatusFromSolutionFlags)
{
    struct Row { uint8_t flags; const char* status; bool old; };
    const Row rows[] = {
        {0x01, "3D", false},      {0x03, "2D", false},   {0x09, "3D diff", false}, {0x0B, "2D diff", false},
        {0x21, "CORR", false},    {0x29, "CORR", false}, {0x00, "OLD", true},      {0x02, "OLD", true},
        {0xFE, "OLD", true},
    };
    for (const Row& r : rows) {
        Nav88 nav;
        nav.flags = r.flags;
        const PositionTexts t = FromBinr(nav);
        EXPECT_EQ(t.status, r.status) << int(r.flags);
        EXPECT_EQ(t.noSolution, r.old) << int(r.flags);
    }
}

TEST(PositionBinrTexts, SpeedAndCourse)
{
    struct Row { double north; double east; const char* speed; const char* course; };
    const Row rows[] = {
        {0, 0, "000.0 km/h", "000.0 °"},
        {0, -1, "003.6 km/h", "270.0 °"},
        {1, 0, "003.6 km/h", "000.0 °"},
        {-10, 0, "036.0 km/h", "180.0 °"},
        {100, 100, "509.1 km/h", "045.0 °"},
    };
    for (const Row& r : rows) {
        Nav88 nav;
        nav.velNorthMps = r.north;
        nav.velEastMps = r.east;
        const PositionTexts t = FromBinr(nav);
        EXPECT_EQ(t.speed, r.speed) << r.north << "," << r.east;
        EXPECT_EQ(t.course, Deg(r.course)) << r.north << "," << r.east;
    }
}

TEST(PositionBinrTexts, SinglePrecisionOverflow)
{
    struct Row { float value; const char* text; };
    // 99.9 in single precision is 99.90000153, above the limit.
    const Row rows[] = {{100.0f, "****"}, {99.9f, "****"}, {99.8f, "99.8"}, {0.0f, "0.0"}, {1.25f, "1.2"}};
    for (const Row& r : rows) {
        Nav88 nav;
        nav.rms2DM = r.value;
        Dop60 dop;
        dop.hdop = r.value;
        dop.vdop = r.value;
        const PositionTexts t = FromBinr(nav, dop);
        EXPECT_EQ(t.rms2D, r.text) << r.value;
        EXPECT_EQ(t.hdop, r.text) << r.value;
        EXPECT_EQ(t.vdop, r.text) << r.value;
    }
}

TEST(PositionBinrTexts, AltitudeTimeDateAndCounts)
{
    Nav88 nav;
    nav.latRad = 55.5 * kPi / 180;
    nav.lonRad = -55.5 * kPi / 180;
    nav.altM = -12.3;
    nav.timeOfWeekMs = 3600000;
    nav.week = 0;
    Dop60 dop;
    dop.gps = 7;
    dop.glonass = -2;
    PositionTexts t = FromBinr(nav, dop);
    EXPECT_EQ(t.utc, "01:00:00");
    EXPECT_EQ(t.date, "22.08.99");
    EXPECT_EQ(t.alt, "-0012.3");
    EXPECT_EQ(t.lat, Deg("55°30.0000N"));
    EXPECT_EQ(t.lon, Deg("055°30.0000W"));
    EXPECT_EQ(t.gps, "7");
    EXPECT_EQ(t.gln, "-2");

    nav.altM = 12345.6;
    nav.timeOfWeekMs = 475200999.9;   // 5 d 12 h and a fraction: truncated, not rounded
    nav.week = 18;
    t = FromBinr(nav, dop);
    EXPECT_EQ(t.alt, "+12345.6");
    EXPECT_EQ(t.utc, "12:00:00");
    EXPECT_EQ(t.date, "31.12.99");
}

TEST(PositionBinrTexts, NonsenseTimeGivesDefinedText)
{
    for (double ms : {std::numeric_limits<double>::quiet_NaN(), 1e30, -1e30, std::numeric_limits<double>::infinity()}) {
        Nav88 nav;
        nav.timeOfWeekMs = ms;
        const PositionTexts t = FromBinr(nav);
        EXPECT_EQ(t.utc, "00:00:00") << ms;
    }
}

TEST(PositionBinrTexts, BeforeAnyDopMessageReadsZero)
{
    BinrDecoder binr;
    Nav88 nav;
    FeedBinr(binr, nav);
    const PositionTexts t = PositionFromBinr(binr, DatePolicy());
    EXPECT_EQ(t.hdop, "0.0");
    EXPECT_EQ(t.vdop, "0.0");
    EXPECT_EQ(t.gps, "0");
}

} // namespace
