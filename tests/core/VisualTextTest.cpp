// The toolkit-free arithmetic of the plot windows: reference texts, GGA
// reading, offsets, recentring, up-down stepping and the satellite lists.
#include "Angles.h"
#include "VisualText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>

namespace {

double Deg(double degrees) { return degrees * kPi / 180; }
std::string Latin1(const char* utf8DegreeText)
{
    // Test tables write the degree sign as "°" (UTF-8); the views use 0xB0.
    std::string s(utf8DegreeText);
    const std::string deg = "\xC2\xB0";
    for (size_t at = s.find(deg); at != std::string::npos; at = s.find(deg))
        s.replace(at, deg.size(), "\xB0");
    return s;
}

NmeaFields Fields(std::initializer_list<const char*> parts)
{
    NmeaFields f;
    std::memset(&f, 0, sizeof f);
    int i = 0;
    for (const char* p : parts)
        std::strncpy(f.slot[i++], p, kNmeaSlotChars - 1);
    f.count = uint8_t(i);
    return f;
}

TEST(ReferenceText, FormatsDegreesAndMinutes)
{
    struct Row {
        double latRad, lonRad, altM;
        const char *lat, *lon, *alt;
    } rows[] = {
        {0, 0, 0, "00°00.00000N", "000°00.00000E", "0000.0"},
        {Deg(54.5), Deg(-0.5), 123.45, "54°30.00000N", "000°30.00000W", "0123.5"},
        {Deg(-33.25), Deg(151.2), 9999.9, "33°15.00000S", "151°12.00000E", "9999.9"},
        // Minutes that would print as 60.00000 carry into the degrees.
        {Deg(1 - 1e-11), Deg(180 - 1e-11), -5.3, "01°00.00000N", "180°00.00000E", "-005.3"},
        // Unreadable values show as zero rather than as garbage.
        {std::nan(""), std::numeric_limits<double>::infinity(), std::nan(""), "00°00.00000N", "000°00.00000E",
         "0000.0"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(ReferenceLatText(r.latRad), Latin1(r.lat));
        EXPECT_EQ(ReferenceLonText(r.lonRad), Latin1(r.lon));
        EXPECT_EQ(ReferenceAltText(r.altM), r.alt);
    }
}

TEST(ReferenceText, ValidatesEditTexts)
{
    struct Row {
        bool latitude;
        const char* text;
        bool valid;
        double degrees;
    } rows[] = {
        {true, "90°00.00000N", true, 90},
        {true, "90°00.00000S", true, -90},
        {true, "90°00.00001N", false, 0},
        {true, "45°60.00000N", false, 0},
        {true, "45°59.99999N", true, 45 + 59.99999 / 60},
        {true, "45°30.00000n", false, 0},
        {true, "45°30.00000E", false, 0},
        {true, "45°30.0000 N", false, 0},
        {true, "45°30.00000 ", false, 0},
        {true, "", false, 0},
        {true, "91°00.00000N", false, 0},
        {false, "180°00.00000E", true, 180},
        {false, "180°00.00001W", false, 0},
        {false, "179°59.99999W", true, -(179 + 59.99999 / 60)},
        {false, "010°30.00000w", false, 0},
        {false, "010°30.00000N", false, 0},
        {false, "181°00.00000E", false, 0},
    };
    for (const Row& r : rows) {
        const std::string text = Latin1(r.text);
        const std::optional<double> angle = r.latitude ? ParseReferenceLat(text) : ParseReferenceLon(text);
        ASSERT_EQ(angle.has_value(), r.valid) << r.text;
        if (r.valid) {
            EXPECT_NEAR(*angle, Deg(r.degrees), 1e-9) << r.text; // minutes are held as a float
        }
    }
    EXPECT_DOUBLE_EQ(ParseReferenceAlt(" 005.3"), 5.3);
    EXPECT_DOUBLE_EQ(ParseReferenceAlt("-012.5"), -12.5);
}

TEST(ReferenceText, WrittenTextsReadBack)
{
    for (double deg : {0.0, 12.3456789, -45.999999999, 89.99999999, -90.0}) {
        const std::optional<double> lat = ParseReferenceLat(ReferenceLatText(Deg(deg)));
        ASSERT_TRUE(lat) << deg;
        EXPECT_NEAR(*lat, Deg(deg), Deg(1e-5 / 60));
        const std::optional<double> lon = ParseReferenceLon(ReferenceLonText(Deg(deg * 2)));
        ASSERT_TRUE(lon) << deg;
        EXPECT_NEAR(*lon, Deg(deg * 2), Deg(1e-5 / 60) * 2);
    }
}

TEST(GgaPosition, ReadsLatitudeLongitudeAndAltitude)
{
    struct Row {
        const char *lat, *ns, *lon, *ew, *alt;
        double latDeg, lonDeg, altM;
    } rows[] = {
        {"4807.038", "N", "01131.000", "E", "545.4", 48 + 7.038 / 60, 11 + 31.0 / 60, 545.4},
        {"5530.1234", "S", "03730.5000", "W", "-12.5", -(55 + 30.1234 / 60), -(37 + 30.5 / 60), -12.5},
        // Empty and truncated fields read as zero parts, never past the field.
        {"", "", "", "", "", 0, 0, 0},
        {"4", "N", "12", "E", "x", 4, 12, 0},
        {"48", "SS", "011", "w", "1e3", 48, 11, 1000},
    };
    for (const Row& r : rows) {
        const NmeaFields gga =
            Fields({"GPGGA", "123519", r.lat, r.ns, r.lon, r.ew, "1", "08", "0.9", r.alt, "M", "", "M", "", ""});
        const GeoPosition p = GgaPosition(gga);
        EXPECT_NEAR(p.latRad, Deg(r.latDeg), 1e-12) << r.lat;
        EXPECT_NEAR(p.lonRad, Deg(r.lonDeg), 1e-12) << r.lon;
        EXPECT_DOUBLE_EQ(p.altM, r.altM) << r.alt;
    }
}

TEST(PlotGeometry, PixelsOffsetsAndRecentring)
{
    const GeoPosition ref{0, 0, 0};
    struct Row {
        double northM, eastM;
        int radius, x, y;
    } rows[] = {
        {0, 0, 1, 141, 141},
        {1, 0, 1, 141, 93},        // 141 - 47.1666
        {-1, 0, 1, 141, 188},
        {0, 1, 1, 188, 141},
        {0, -3, 1, 0, 141},        // 141 - 141.5 = -0.5 truncates to 0
        {0, 2, 10, 150, 141},
        {29997, 0, 9999, 141, 0},
        {1e9, 0, 1, 141, -kFarPixel},
    };
    for (const Row& r : rows) {
        const GeoPosition cur{r.northM / kNorthMetresPerRadian, r.eastM / double(kEastMetresPerRadian), 0};
        const PlotOffsets o = ComputeOffsets(cur, ref, 0, 0, r.radius);
        EXPECT_EQ(o.x, r.x) << r.northM << " " << r.eastM;
        EXPECT_EQ(o.y, r.y) << r.northM << " " << r.eastM;
        EXPECT_NEAR(o.dN, r.northM, 1e-6);
        EXPECT_NEAR(o.dE, r.eastM, 1e-6);
    }
    EXPECT_EQ(MetresText(1.005), "1.00 m");
    EXPECT_EQ(MetresText(-2.5), "-2.50 m");

    EXPECT_EQ(PixelOf(-2.7), -2);
    EXPECT_EQ(PixelOf(std::nan("")), kFarPixel);
    EXPECT_EQ(PixelOf(-1e300), -kFarPixel);

    // A double-click on the pixel of a position makes it the centre.
    const GeoPosition cur{30 / kNorthMetresPerRadian, 20 / double(kEastMetresPerRadian), 0};
    const PlotOffsets before = ComputeOffsets(cur, ref, 0, 0, 20);
    const PlotOffsets after = ComputeOffsets(cur, RecentredReference(ref, before.x, before.y, 20), 0, 0, 20);
    EXPECT_NEAR(after.x, 141, 1);
    EXPECT_NEAR(after.y, 141, 1);
}

TEST(PlotGeometry, RecentringAtThePolesAndTheDateLine)
{
    // 90°00.00000N read back from its edit: east has no length there.
    const GeoPosition pole{*ParseReferenceLat(Latin1("90°00.00000N")), 0.5, 0};
    const GeoPosition moved = RecentredReference(pole, 282, 0, 9999);
    EXPECT_TRUE(std::isfinite(moved.lonRad));
    EXPECT_DOUBLE_EQ(moved.lonRad, 0.5);
    EXPECT_LE(moved.latRad, kPi / 2);
    EXPECT_TRUE(ParseReferenceLat(ReferenceLatText(moved.latRad)).has_value());

    const GeoPosition south{-kPi / 2, -1, 0};
    EXPECT_DOUBLE_EQ(RecentredReference(south, 0, 282, 9999).lonRad, -1);
    EXPECT_GE(RecentredReference(south, 0, 282, 9999).latRad, -kPi / 2);

    // Just short of the pole a click stays finite and within ±180°.
    const GeoPosition nearPole{*ParseReferenceLat(Latin1("89°59.99999N")), 3.1, 0};
    const GeoPosition wrapped = RecentredReference(nearPole, 282, 141, 9999);
    EXPECT_TRUE(std::isfinite(wrapped.lonRad));
    EXPECT_LE(std::fabs(wrapped.lonRad), kPi);
    EXPECT_TRUE(ParseReferenceLon(ReferenceLonText(wrapped.lonRad)).has_value());
}

TEST(UpDownStepping, FollowsThePositionLeftByTheClick)
{
    struct Row {
        int position, tiers, expectPosition, expectIncrement;
    } rows[] = {
        {1, 3, 1, 1},       {10, 3, 10, 1},     {11, 3, 20, 10},     {20, 3, 20, 10},
        {100, 3, 100, 10},  {110, 3, 200, 100}, {1000, 3, 1000, 100}, {1100, 3, 2000, 1000},
        {9999, 3, 9999, 1000}, {501, 3, 501, 100}, {110, 2, 200, 100}, {999, 2, 999, 100},
        {1100, 2, 1100, 100},
    };
    for (const Row& r : rows) {
        const UpDownStep s = StepAfterClick(r.position, r.tiers);
        EXPECT_EQ(s.position, r.expectPosition) << r.position;
        EXPECT_EQ(s.increment, r.expectIncrement) << r.position;
    }
}

class GsvLoading : public ::testing::Test {
protected:
    void SetUp() override { GsvFillPosition() = 0; }
    static NmeaFields Gsv(const char* total, const char* number, std::initializer_list<const char*> blocks)
    {
        NmeaFields f = Fields({"GPGSV", total, number, "9"});
        for (const char* b : blocks)
            std::strncpy(f.slot[f.count++], b, kNmeaSlotChars - 1);
        return f;
    }
    SatelliteList list;
};

TEST_F(GsvLoading, CountChangesOnlyAtTheLastSentence)
{
    list.count = 5;
    LoadGsvSatellites(Gsv("3", "1", {"01", "45", "120", "40", "33", "10", "200", "0", "65", "80", "10", "35",
                                     "02", "5", "350", "20"}),
                      list);
    EXPECT_EQ(list.count, 5);
    EXPECT_EQ(GsvFillPosition(), 4);
    LoadGsvSatellites(Gsv("3", "2", {"03", "1", "2", "3", "04", "1", "2", "3", "05", "1", "2", "3", "06", "1", "2", "3"}),
                      list);
    EXPECT_EQ(list.count, 5);
    LoadGsvSatellites(Gsv("3", "3", {"88", "-5", "359", ""}), list);
    EXPECT_EQ(list.count, 9);

    const SatelliteEntry& gps = list.entry[0];
    EXPECT_EQ(gps.system, 1);
    EXPECT_EQ(gps.number, 1);
    EXPECT_EQ(gps.elevationDeg, 45);
    EXPECT_EQ(gps.azimuthDeg, 120);
    EXPECT_EQ(gps.flag, 1);
    EXPECT_EQ(list.entry[1].system, 4);   // SBAS ID 33 is PRN 120
    EXPECT_EQ(list.entry[1].number, 120);
    EXPECT_EQ(list.entry[1].flag, 0);
    EXPECT_EQ(list.entry[2].system, 2);   // GLONASS ID 65 is slot 1
    EXPECT_EQ(list.entry[2].number, 1);
    EXPECT_EQ(list.entry[8].number, 24);
    EXPECT_EQ(list.entry[8].elevationDeg, -5);
    EXPECT_EQ(list.entry[8].flag, 0);       // an empty SNR reads as 0
}

TEST_F(GsvLoading, AnUnfinishedCycleKeepsTheCountAndLongCyclesStopAt32)
{
    list.count = 0;
    LoadGsvSatellites(Gsv("2", "1", {"01", "45", "120", "40"}), list);
    EXPECT_EQ(list.count, 0);  // the second sentence never arrives
    // A restarted cycle of 9 full sentences: 36 blocks, the last 4 dropped.
    for (int n = 1; n <= 9; ++n) {
        const std::string num = std::to_string(n);
        LoadGsvSatellites(Gsv("9", num.c_str(), {"07", "1", "1", "1", "08", "1", "1", "1", "09", "1", "1", "1",
                                                 "10", "1", "1", "1"}),
                          list);
    }
    EXPECT_EQ(list.count, 32);
    // Sentences that never start a cycle cannot push the fill position
    // anywhere harmful.
    for (int i = 0; i < 100000; ++i)
        LoadGsvSatellites(Gsv("9", "2", {"07", "1", "1", "1", "08", "1", "1", "1"}), list);
    LoadGsvSatellites(Gsv("2", "2", {"07", "1", "1", "1"}), list);
    EXPECT_EQ(list.count, 32);
    // Short or overlong field counts are harmless.
    NmeaFields odd = Fields({"GPGSV", "1", "1"});
    LoadGsvSatellites(odd, list);
    EXPECT_EQ(list.count, 0);
    odd.count = 255;
    LoadGsvSatellites(odd, list);
    EXPECT_LE(list.count, 32);
}

TEST(SkyPlot, DiskCentres)
{
    struct Row {
        int elevation, azimuth, x, y;
    } rows[] = {
        // cos(270°) is a hair below zero, so due east lands one row up.
        {90, 0, 141, 141}, {0, 0, 141, 0}, {0, 90, 282, 140}, {0, 180, 141, 282},
        {0, 270, 0, 141},  {30, 90, 235, 140}, {60, 0, 141, 93},
    };
    for (const Row& r : rows) {
        const SkyPoint p = SkyPosition(r.elevation, r.azimuth);
        EXPECT_EQ(p.x, r.x) << r.elevation << "/" << r.azimuth;
        EXPECT_EQ(p.y, r.y) << r.elevation << "/" << r.azimuth;
    }
    const SkyPoint far = SkyPosition(INT32_MIN, INT32_MAX);
    EXPECT_LE(std::abs(far.x), kFarPixel);
}

} // namespace
