#include "Angles.h"
#include "BinrDecoder.h"
#include "NmeaAssembler.h"
#include "StatisticText.h"
#include "ViewTestSupport.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>

namespace {


StatisticFix NmeaFix(const std::string& quality, const std::string& hdop, const std::string& vdop)
{
    NmeaAssembler nmea;
    FeedNmea(nmea, "GPRMC,120000,A,5545.0,N,03736.0,E,1.0,0.0,010120,,");
    if (!vdop.empty())
        FeedNmea(nmea, "GPGSA,A,3,05,,,,,,,,,,,,2.0," + hdop + "," + vdop);
    FeedNmea(nmea, "GPGGA,120000,5545.0000,S,03736.0000,W," + quality + ",08," + hdop + ",123.4,M,,M,,");
    return StatisticFixFromNmea(nmea);
}

StatisticFix BinrFix(uint8_t flags, float hdop, float vdop)
{
    BinrDecoder binr;
    Dop60 dop;
    dop.hdop = hdop;
    dop.vdop = vdop;
    FeedBinr(binr, dop);
    Nav88 nav;
    nav.flags = flags;
    nav.velNorthMps = 3;
    nav.velEastMps = -4;
    FeedBinr(binr, nav);
    return StatisticFixFromBinr(binr);
}

TEST(StatisticAcceptance, LimitsAndDifferentialFilter)
{
    struct Row { const char* name; StatisticFix fix; const char* hdopLimit; const char* vdopLimit; bool diffOnly; bool accepted; };
    const Row rows[] = {
        {"no limits, NMEA", NmeaFix("1", "5.0", "9.9"), "0.0", "0.0", false, true},
        {"no limits, BINR", BinrFix(0x01, 50, 60), "0.0", "0.0", false, true},
        {"NMEA quality 0", NmeaFix("0", "1.0", "1.0"), "0.0", "0.0", false, false},
        {"NMEA empty quality", NmeaFix("", "1.0", "1.0"), "0.0", "0.0", false, false},
        {"BINR flag bit 0 clear", BinrFix(0x0A, 1, 1), "0.0", "0.0", false, false},
        {"HDOP equal to the limit", NmeaFix("1", "1.5", "1.0"), "1.5", "0.0", false, true},
        {"HDOP above the limit", NmeaFix("1", "1.6", "1.0"), "1.5", "0.0", false, false},
        {"BINR HDOP equal", BinrFix(0x01, 1.5f, 1), "1.5", "0.0", false, true},
        // Single precision holds 1.2 as 1.2000000477: a limit of 1.2 rejects it.
        {"NMEA HDOP 1.2 vs 1.2", NmeaFix("1", "1.2", "1.0"), "1.2", "0.0", false, false},
        {"BINR HDOP 1.2 vs 1.2", BinrFix(0x01, 1.2f, 1), "1.2", "0.0", false, false},
        {"NMEA VDOP 1.2 vs 1.2", NmeaFix("1", "1.0", "1.2"), "0.0", "1.2", false, false},
        {"BINR VDOP above", BinrFix(0x01, 1, 2.5f), "0.0", "2.4", false, false},
        {"BINR VDOP below", BinrFix(0x01, 1, 2.3f), "0.0", "2.4", false, true},
        {"NMEA without GSA: VDOP 0", NmeaFix("1", "1.0", ""), "0.0", "0.1", false, true},
        {"diff only, quality 1", NmeaFix("1", "1.0", "1.0"), "0.0", "0.0", true, false},
        {"diff only, quality 2", NmeaFix("2", "1.0", "1.0"), "0.0", "0.0", true, true},
        {"diff only, BINR bit 3 clear", BinrFix(0x03, 1, 1), "0.0", "0.0", true, false},
        {"diff only, BINR bit 3 set", BinrFix(0x09, 1, 1), "0.0", "0.0", true, true},
        // A half-typed limit reads as its leading number; blanks are not "0.0".
        {"limit with a blank", NmeaFix("1", "1.0", "1.0"), "1. ", "0.0", false, true},
        {"blank limit", NmeaFix("1", "0.5", "1.0"), " . ", "0.0", false, false},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(AcceptFix(r.fix, r.hdopLimit, r.vdopLimit, r.diffOnly), r.accepted) << r.name;
        // The report reads the limits once: the same decisions.
        EXPECT_EQ(AcceptFix(r.fix, ReadFixLimits(r.hdopLimit, r.vdopLimit, r.diffOnly)), r.accepted) << r.name;
    }
}

// A frame without a checksum may carry anything: one NaN or 1e300 accepted
// would spoil the means and rms until the next reset.
TEST(StatisticAcceptance, ImpossiblePositionsAreNeverAccepted)
{
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kDeg = kPi / 180;
    struct Row { const char* name; double latRad, lonRad, heightM, speedMps; bool accepted; };
    const Row rows[] = {
        {"ordinary", 55 * kDeg, 37 * kDeg, 150, 1, true},
        {"the poles, the antimeridian, 10^6 m", -90 * kDeg, 180 * kDeg, -1e6, 0, true},
        {"NaN latitude", kNaN, 0, 0, 0, false},
        {"infinite longitude", 0, -kInf, 0, 0, false},
        {"NaN height", 0, 0, kNaN, 0, false},
        {"1e300 latitude", 1e300, 0, 0, 0, false},
        {"latitude beyond 90", 90.001 * kDeg, 0, 0, 0, false},
        {"longitude beyond 180", 0, -180.001 * kDeg, 0, 0, false},
        {"height beyond 10^6 m", 0, 0, 1e6 + 1, 0, false},
        {"NaN speed", 0, 0, 0, kNaN, false},
    };
    for (const Row& r : rows) {
        StatisticFix fix = BinrFix(0x01, 1, 1);
        fix.latRad = r.latRad;
        fix.lonRad = r.lonRad;
        fix.heightM = r.heightM;
        fix.speedMps = r.speedMps;
        EXPECT_EQ(AcceptFix(fix, "0.0", "0.0", false), r.accepted) << r.name;
    }
    // Decoded from the wire, both protocols.
    Nav88 nav;
    nav.latRad = kNaN;
    BinrDecoder binr;
    FeedBinr(binr, nav);
    EXPECT_FALSE(AcceptFix(StatisticFixFromBinr(binr), "0.0", "0.0", false));
    NmeaAssembler nmea;
    FeedNmea(nmea, "GPGGA,120000,9130.0000,N,03736.0000,E,1,08,1.0,123.4,M,,M,,");
    EXPECT_FALSE(AcceptFix(StatisticFixFromNmea(nmea), "0.0", "0.0", false));
}

TEST(StatisticSamples, NmeaAndBinrSamplesInDoublePrecision)
{
    const StatisticFix nmea = NmeaFix("1", "1.0", "1.0");
    EXPECT_DOUBLE_EQ(nmea.latRad, -(45.0 / 60 + 55) / 180 * kPi);
    EXPECT_DOUBLE_EQ(nmea.lonRad, -(36.0 / 60 + 37) / 180 * kPi);
    EXPECT_DOUBLE_EQ(nmea.heightM, 123.4);
    EXPECT_NEAR(nmea.speedMps, 0.514444, 1e-6);   // 1 knot

    const StatisticFix binr = BinrFix(0x01, 1, 1);
    EXPECT_DOUBLE_EQ(binr.speedMps, 5.0);
}

TEST(StatisticTexts, FormatsAndOverflow)
{
    StatisticsOutput stats;
    stats.meanLat = 55.5 * kPi / 180;
    stats.meanLon = -55.5 * kPi / 180;
    stats.meanH = -12.34;
    stats.rms2D = 123.4;
    stats.rmsH = 99.99;
    stats.rmsV = 0.514444;
    const StatisticTexts t = StatisticTextsFrom(stats, 17);
    EXPECT_EQ(t.rms2D, "*****");
    EXPECT_EQ(t.rmsH, "99.99");
    EXPECT_EQ(t.rmsV, "0.51");
    EXPECT_EQ(t.lat, Deg("55°30.0000N"));
    EXPECT_EQ(t.lon, Deg("055°30.0000W"));
    EXPECT_EQ(t.alt, "-0012.3");
    EXPECT_EQ(t.n, "17");
}

TEST(StatisticTexts, ResetTexts)
{
    const StatisticTexts t = StatisticResetTexts();
    EXPECT_EQ(t.lat, Deg("00°00.0000N"));
    EXPECT_EQ(t.lon, Deg("000°00.0000E"));
    EXPECT_EQ(t.alt, "+0000.0");
    EXPECT_EQ(t.rms2D, "0.00");
    EXPECT_EQ(t.rmsH, "0.00");
    EXPECT_EQ(t.rmsV, "0.00");
    EXPECT_EQ(t.n, "0");
}

TEST(StatisticTexts, OfferedCounterReadsItsOwnText)
{
    const std::pair<const char*, const char*> rows[] = {
        {"0", "1"}, {"41", "42"}, {"", "1"}, {"abc", "1"}, {" 9x", "10"}, {"2147483647", "2147483648"},
    };
    for (const auto& [current, next] : rows)
        EXPECT_EQ(NextCountText(current), next) << current;
}

} // namespace
