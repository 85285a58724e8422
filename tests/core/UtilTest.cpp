#include "Util.h"

#include <gtest/gtest.h>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();

TEST(Util, TimeToText)
{
    const std::pair<int32_t, const char*> cases[] = {
        {0, "00:00:00"},       {86399, "23:59:59"},   {86400, "00:00:00"},
        {262861, "01:01:01"},  {3600, "01:00:00"},    {604799, "23:59:59"},
        {-3661, "-1:-1:-1"},   {kIntMin, "-3:-14:-8"}, {kIntMax, "03:14:07"},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(TimeToText(seconds), text) << seconds;
}

TEST(Util, GpsDateToText)
{
    struct Case {
        int32_t seconds, week;
        const char* text;
    } cases[] = {
        {0, 0, "22.08.99"},        {216000, 27, "29.02.00"},   {475200, 18, "31.12.99"},
        {561600, 18, "01.01.00"},  {475200, 476, "10.10.08"},  {561600, 1023, "06.04.19"},
        {0, 1024, "07.04.19"},     {86399, 0, "22.08.99"},     {0, 2047, "14.11.38"},
        // Before 1980: a real date in the same four-year calendar.
        {0, -1024, "06.01.80"},    {0, -1025, "30.12.79"},     {-86400, -1024, "05.01.80"},
        {0, -2048, "22.05.60"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GpsDateToText(c.seconds, c.week), c.text) << c.seconds << " " << c.week;
    // Absurd weeks still give a well-formed date.
    for (int32_t week : {kIntMax, kIntMin, -1000000})
        for (int32_t seconds : {kIntMax, kIntMin, 0}) {
            const std::string text = GpsDateToText(seconds, week);
            ASSERT_EQ(text.size(), 8u) << text;
            const int day = std::stoi(text.substr(0, 2)), month = std::stoi(text.substr(3, 2));
            EXPECT_TRUE(day >= 1 && day <= 31 && month >= 1 && month <= 12) << text;
        }
}

TEST(Util, LatLonToText)
{
    struct Case {
        double rad;
        const char* lat;
        const char* lon;
    } cases[] = {
        {0, "00\xB0 0.0000N", "000\xB0 0.0000E"},
        {0.9686577348568529, "55\xB0" "30.0000N", "055\xB0" "30.0000E"},
        {-0.9686577348568529, "55\xB0" "30.0000S", "055\xB0" "30.0000W"},
        {-0.0001454441043328608, "00\xB0 0.5000S", "000\xB0 0.5000W"},
        {(56 - 0.00001 / 60) * M_PI / 180, "55\xB0" "60.0000N", "055\xB0" "60.0000E"},
        {37.1 * M_PI / 180, "37\xB0 6.0000N", "037\xB0 6.0000E"},
        {3.0, "171\xB0" "53.2403N", "171\xB0" "53.2403E"}, // out of range stays out of range
        {kNaN, "--\xB0--.----S", "---\xB0--.----W"},
        {kInf, "--\xB0--.----N", "---\xB0--.----E"},
        {-1e300, "--\xB0--.----S", "---\xB0--.----W"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LatToText(c.rad), c.lat) << c.rad;
        EXPECT_EQ(LonToText(c.rad), c.lon) << c.rad;
    }
}

TEST(Util, TextToInt)
{
    const std::pair<const char*, int32_t> cases[] = {
        {" 42abc", 42},         {"-7", -7},        {"", 0},         {"x", 0},
        {"+15", 15},            {"\t 08", 8},       {"- 5", 0},      {"12.9", 12},
        {"999999999", 999999999}, {"-999999999x", -999999999}, {"1000000000", 1000000000}, {"-0", 0},
        {"2147483647", kIntMax}, {"-2147483648", kIntMin},
        {"2147483648", kIntMax}, {"-2147483649", kIntMin},
        {"123456789012345678901234567890", kIntMax},
        {"-123456789012345678901234567890", kIntMin},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(TextToInt(text), value) << '"' << text << '"';
}

TEST(Util, TextToReal)
{
    const std::pair<const char*, double> cases[] = {
        {"1.5", 1.5},      {" -2.25M", -2.25}, {"+.5", 0.5},  {"", 0},   {"M", 0},
        {"1e3", 1000},     {"nan", 0},         {"inf", 0},    {"0x1p3", 0},
        {"1e999", DBL_MAX}, {"-1e999", -DBL_MAX}, {"4807.038", 4807.038},
        // Past the exact fast path (2^53 + 1; 23 decimals), and a tie.
        {"9007199254740993", 9007199254740992.0}, {"0.10000000000000000000001", 0.1}, {"5546.1234500", 5546.12345},
        {"1.2.3", 1.2}, {"12.e1", 120},
        // Fifteen digits in all, and one more.
        {"123456789012345", 123456789012345.0}, {"-1234567890.12345", -1234567890.12345},
        {"1234567890.123456", 1234567890.123456}, {"0.0000000000000015", 1.5e-15}, {"0.00000000000001e2", 1e-12},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(TextToReal(text), value) << '"' << text << '"';
}

// The toolkit installs the user's locale; a comma locale must change nothing.
TEST(Util, TextsIgnoreTheLocale)
{
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no comma locale installed";
    EXPECT_EQ(LatToText(0.9686577348568529), "55\xB0" "30.0000N");
    EXPECT_EQ(Format("%.1f", 2.5), "2.5");
    EXPECT_EQ(TextToReal("1.5"), 1.5);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(Util, AccumulateStatistics)
{
    constexpr double kMeridianRadiusM = 6335439.327293721;
    StatisticsOutput out;
    StatisticsAccumulator a;
    EXPECT_EQ(AccumulateStatistics(a, 0.5, 0.25, 100, -3, out), 1);
    EXPECT_EQ(out.meanLat, 0.5);
    EXPECT_EQ(out.meanLon, 0.25);
    EXPECT_EQ(out.meanH, 100);
    EXPECT_EQ(out.rms2D, 0);
    EXPECT_EQ(out.rmsH, 0);
    EXPECT_EQ(out.rmsV, 3);

    a = {};
    AccumulateStatistics(a, 0.5, 0.25, 100, 0, out);
    EXPECT_EQ(AccumulateStatistics(a, 0.5 + 2 / kMeridianRadiusM, 0.25, 100, 0, out), 2);
    EXPECT_NEAR(out.rms2D, 0.70710678, 1e-8);
    EXPECT_EQ(out.rmsH, 0);
    EXPECT_EQ(out.rmsV, 0);

    // East scatter scales with the cosine of the latitude; height is plain.
    a = {};
    AccumulateStatistics(a, 0, 0, 10, 1, out);
    AccumulateStatistics(a, 0, 2 / 6378137.0, 14, 3, out);
    EXPECT_NEAR(out.rms2D, 0.70710678, 1e-8);
    EXPECT_NEAR(out.rmsH, std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(out.rmsV, std::sqrt(5.0), 1e-12);
    EXPECT_NEAR(out.meanH, 12, 1e-12);
    EXPECT_EQ(a.count, 2);

    // Two accumulators know nothing of each other.
    StatisticsAccumulator other;
    EXPECT_EQ(AccumulateStatistics(other, 1, 1, 1, 1, out), 1);
    EXPECT_EQ(a.count, 2);
}

} // namespace

// FixedText stands in for printf on every fix: it must write the very same
// text, rounding ties and the edges of the double range included.
TEST(Util, FixedTextIsPrintfFixed)
{
    const double values[] = {0.0, -0.0, 0.05, 0.15, 0.25, 0.35, 1.005, 2.675, -2.675, 0.125, 99.95, 99.949999,
                             1e-9, -1e-9, 123456.785, 1e15 + 0.5, 1e22, -1.7976931348623157e308,
                             4.9406564584124654e-324, std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
                             -std::numeric_limits<double>::quiet_NaN()};
    for (int decimals = 0; decimals <= 5; ++decimals)
        for (double v : values)
            EXPECT_EQ(FixedText(v, decimals), Format("%.*f", decimals, v)) << v << " " << decimals;
    // A sweep through the values the windows show.
    for (int i = -200000; i <= 200000; i += 7) {
        const double v = i / 1000.0 + i * 1e-7;
        EXPECT_EQ(FixedText(v, 1), Format("%.1f", v));
        EXPECT_EQ(FixedText(v, 2), Format("%.2f", v));
    }
}

// The angle texts are built without printf; they must read exactly as the
// printf forms "%02ld°%7.4lf" + hemisphere (latitude) and "%03ld..." (longitude).
TEST(Util, AngleTextsArePrintfForms)
{
    const auto reference = [](double x, const char* format, char positive, char negative) {
        const char letter = x >= 0 ? positive : negative;
        const double degrees = std::fabs(x * 180 * 0.3183098861837907);
        const double minutes = (degrees - std::floor(degrees)) * 60;
        return Format(format, long(degrees), '\xB0', minutes, letter);
    };
    for (int i = -400000; i <= 400000; i += 3) {
        const double rad = i * 1e-5 + i * 3e-13;
        EXPECT_EQ(LatToText(rad), reference(rad, "%02ld%c%7.4lf%c", 'N', 'S')) << rad;
        EXPECT_EQ(LonToText(rad), reference(rad, "%03ld%c%7.4lf%c", 'E', 'W')) << rad;
    }
    for (double rad : {0.0, -0.0, 1e-12, -1e-12, 1000.0, 1e6, -1e6})
        EXPECT_EQ(LonToText(rad), reference(rad, "%03ld%c%7.4lf%c", 'E', 'W')) << rad;
}

// PaddedFixedText stands in for "%0W.Df" and "%+0W.Df" on every fix.
TEST(Util, PaddedFixedTextIsPrintfPadded)
{
    // 4.8e279 and -2e300 print with more digits than Format keeps: the sign
    // must not push the text past that limit.
    const double values[] = {0.0, -0.0, 0.05, -0.05, 0.25, 9.95, -9.95, 99.95, 123.45, -1234.56, 1e7, -1e9,
                             4.82164e+279, -2e300, std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()};
    for (int width : {5, 6, 7})
        for (double v : values) {
            EXPECT_EQ(PaddedFixedText(v, width, 1), Format("%0*.1f", width, v)) << v;
            EXPECT_EQ(PaddedFixedText(v, width, 1, true), Format("%+0*.1f", width, v)) << v;
        }
    for (int i = -300000; i <= 300000; i += 7) {
        const double v = i / 100.0 + i * 1e-8;
        EXPECT_EQ(PaddedFixedText(v, 5, 1), Format("%05.1f", v));
        EXPECT_EQ(PaddedFixedText(v, 6, 1), Format("%06.1lf", v));
        EXPECT_EQ(PaddedFixedText(v, 7, 1, true), Format("%+07.1lf", v));
    }
}
