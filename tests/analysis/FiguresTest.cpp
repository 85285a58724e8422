// The figures on generated NMEA streams whose answers are known by
// construction: fixes on circles of known radii, a known bias from a given
// reference, gaps, a midnight crossing, a week of epochs, no fix at all.
#include "EpochCollector.h"
#include "Figures.h"
#include "ReceiverReport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr double kA = 6378137.0;
constexpr double kF = 1.0 / 298.257223563;
constexpr double kE2 = kF * (2 - kF);
constexpr double kRad = M_PI / 180;
const GeoPoint kRef{55.75 * kRad, 37.62 * kRad, 150.0};

std::string Sentence(const std::string& body) { return NmeaSentence(body); }

struct Fix {
    int64_t msOfDay;
    double east = 0, north = 0, up = 0;   // from kRef
    int quality = 1;
    const char* date = nullptr;            // ddmmyy for an RMC
    double hdop = 1.0;
};

std::string Angle(double deg, int degreeDigits)
{
    const double a = std::fabs(deg);
    const int whole = int(a);
    char text[40];
    std::snprintf(text, sizeof text, "%0*d%011.8f", degreeDigits, whole, (a - whole) * 60);
    return text;
}

std::string Stream(const std::vector<Fix>& fixes)
{
    const double s = std::sin(kRef.latRad), w = std::sqrt(1 - kE2 * s * s);
    const double n = kA / w, m = kA * (1 - kE2) / (w * w * w);
    std::string out;
    for (const Fix& f : fixes) {
        const double lat = (kRef.latRad + f.north / (m + kRef.heightM)) / kRad;
        const double lon = (kRef.lonRad + f.east / ((n + kRef.heightM) * std::cos(kRef.latRad))) / kRad;
        char time[16];
        const int64_t t = f.msOfDay;
        std::snprintf(time, sizeof time, "%02d%02d%02d.%03d", int(t / 3600000), int(t / 60000 % 60), int(t / 1000 % 60),
                      int(t % 1000));
        char rest[96];
        std::snprintf(rest, sizeof rest, ",%d,08,%.1f,%.3f,M,0.0,M,,", f.quality, f.hdop, kRef.heightM + f.up);
        out += Sentence(std::string("GPGGA,") + time + "," + Angle(lat, 2) + "," + (lat < 0 ? "S" : "N") + "," +
                        Angle(lon, 3) + "," + (lon < 0 ? "W" : "E") + rest);
        if (f.date)
            out += Sentence(std::string("GPRMC,") + time + ",A,,,,,0.0,0.0," + f.date + ",,,A");
    }
    return out;
}

Figures Analyse(const std::vector<Fix>& fixes, std::optional<GeoPoint> reference = kRef, AcceptLimits limits = {},
            TimeWindow window = {}, EpochLog* keep = nullptr)
{
    EpochLog own;
    EpochLog& log = keep ? *keep : own;
    EpochCollector c(log, limits, window);
    const std::string s = Stream(fixes);
    c.PushNmea(s.data(), s.size());
    c.Finish();
    return ComputeFigures(log, reference);
}

void ExpectFigure(const Figure& actual, std::optional<double> expected, double tolerance, const char* what)
{
    ASSERT_EQ(actual.has_value(), expected.has_value()) << what;
    if (expected) {
        EXPECT_NEAR(*actual, *expected, tolerance) << what;
    }
}

TEST(Figures, PercentilesOfFixesOnCirclesOfKnownRadii)
{
    // Fix i (1..100) lies i/10 m from the reference, its height i/100 m off
    // (alternately up and down): every nearest-rank percentile is a radius.
    std::vector<Fix> fixes;
    double sumR2 = 0;
    for (int i = 1; i <= 100; ++i) {
        const double r = i / 10.0, angle = i * 2.399963;   // the golden angle spreads them round
        fixes.push_back({i * 1000LL, r * std::sin(angle), r * std::cos(angle), (i % 2 ? 1 : -1) * i / 100.0});
        sumR2 += r * r;
    }
    const Figures f = Analyse(fixes);
    const struct {
        const char* what;
        Figure actual;
        double expected;
    } rows[] = {
        {"CEP50", f.cep50M, 5.0},   {"R68", f.r68M, 6.8},         {"R95", f.r95M, 9.5},
        {"R99", f.r99M, 9.9},       {"max", f.rMaxM, 10.0},       {"2DRMS", f.drms2M, 2 * std::sqrt(sumR2 / 100)},
        {"up50", f.up50M, 0.50},    {"up95", f.up95M, 0.95},      {"up99", f.up99M, 0.99},
        {"3D50", f.d3_50M, std::hypot(5.0, 0.50)}, {"3D95", f.d3_95M, std::hypot(9.5, 0.95)},
        {"HDOP median", f.hdopMedian, 1.0},
    };
    for (const auto& row : rows)
        ExpectFigure(row.actual, row.expected, 2e-3, row.what);
    EXPECT_EQ(f.accepted, 100);
    ASSERT_EQ(f.cdf.size(), size_t(kCdfSteps + 1));
    EXPECT_NEAR(f.cdf.front(), 0.1, 2e-3);
    EXPECT_NEAR(f.cdf.back(), 10.0, 2e-3);
}

TEST(Figures, BiasAndSpreadFromAGivenReferenceAndFromTheMean)
{
    std::vector<Fix> fixes;
    for (int i = 0; i < 40; ++i)
        fixes.push_back({i * 1000LL, 2.0 + (i % 2 ? 0.5 : -0.5), -3.0, 1.5});
    const Figures given = Analyse(fixes);
    const std::pair<const char*, std::pair<Figure, double>> rows[] = {
        {"bias east", {given.biasEastM, 2.0}}, {"bias north", {given.biasNorthM, -3.0}},
        {"bias up", {given.biasUpM, 1.5}},     {"sd east", {given.sdEastM, 0.5}},
        {"sd north", {given.sdNorthM, 0.0}},   {"sd up", {given.sdUpM, 0.0}},
    };
    for (const auto& [what, v] : rows)
        ExpectFigure(v.first, v.second, 2e-3, what);
    EXPECT_TRUE(given.referenceGiven);

    // Without a reference the mean is the reference: no bias, the same spread.
    const Figures mean = Analyse(fixes, std::nullopt);
    ExpectFigure(mean.biasEastM, 0.0, 1e-3, "mean bias east");
    ExpectFigure(mean.sdEastM, 0.5, 2e-3, "mean sd east");
    ExpectFigure(mean.cep50M, 0.5, 2e-3, "mean CEP50");
    ASSERT_TRUE(mean.reference);
    EXPECT_NEAR(mean.reference->heightM, kRef.heightM + 1.5, 1e-3);
}

TEST(Figures, TimeLine)
{
    auto seconds = [](std::vector<int> list, const char* date = nullptr) {
        std::vector<Fix> fixes;
        for (const int s : list)
            fixes.push_back({s * 1000LL, 0, 0, 0, 1, date});
        return fixes;
    };
    std::vector<int> withGaps;
    for (int s = 0; s < 100; ++s)
        if (!(s >= 10 && s <= 14) && !(s >= 50 && s <= 51))
            withGaps.push_back(s);
    std::vector<Fix> noFixFirst = seconds({0, 1, 2, 3, 4, 5});
    noFixFirst[0].quality = noFixFirst[1].quality = noFixFirst[2].quality = 0;
    std::vector<Fix> dated = seconds({86398, 86399});
    for (Fix& f : dated)
        f.date = "311226";
    for (const Fix& f : seconds({0, 1}, "010127"))
        dated.push_back(f);

    std::vector<Fix> farApart = seconds({0, 1, 2});
    farApart[0].date = "010126";
    farApart[2].date = "150226";   // 45 days on: beyond what an epoch keeps in place

    const struct {
        const char* name;
        std::vector<Fix> fixes;
        int64_t epochs;
        std::optional<double> span, rate, gaps, missing, availability, ttff;
        std::string first;
    } cases[] = {
        {"gaps of 6 s and 3 s", seconds(withGaps), 93, 99, 1, 2, 7, 93, 0, "00:00:00.000"},
        {"midnight, no date", seconds({86398, 86399, 0, 1}), 4, 3, 1, 0, 0, 100, 0, "23:59:58.000"},
        {"midnight, RMC dates", dated, 4, 3, 1, 0, 0, 100, 0, "2026-12-31 23:59:58.000"},
        {"45 days apart", farApart, 3, 45 * 86400.0 + 2, 1, 1, 45 * 86400, 3.0 / (3 + 45 * 86400) * 100, 0,
         "2026-01-01 00:00:00.000"},
        {"first fix after 3 s", noFixFirst, 6, 5, 1, 0, 0, 50, 3, "00:00:00.000"},
        {"one fix", seconds({5}), 1, 0, std::nullopt, std::nullopt, std::nullopt, 100, 0, "00:00:05.000"},
        {"nothing", {}, 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Figures f = Analyse(c.fixes);
        EXPECT_EQ(f.epochs, c.epochs);
        ExpectFigure(f.spanS, c.span, 1e-9, "span");
        ExpectFigure(f.rateS, c.rate, 1e-9, "rate");
        ExpectFigure(f.gaps, c.gaps, 0, "gaps");
        ExpectFigure(f.missing, c.missing, 0, "missing");
        ExpectFigure(f.availabilityPct, c.availability, 1e-9, "availability");
        ExpectFigure(f.ttffS, c.ttff, 1e-9, "ttff");
        EXPECT_EQ(f.firstMs ? TimeLineText(*f.firstMs, f.datesKnown) : "", c.first);
    }
}

TEST(Figures, AWeekOfEpochsCrossesSevenMidnightsWithoutADate)
{
    std::vector<Fix> fixes;
    constexpr int64_t kWeekS = 7 * 86400, kStepS = 10;
    for (int64_t s = 0; s < kWeekS; s += kStepS)
        fixes.push_back({(s + 43200) % 86400 * 1000, 0, 0, 0});
    EpochLog log;
    const Figures f = Analyse(fixes, kRef, {}, {}, &log);
    EXPECT_EQ(f.epochs, kWeekS / kStepS);
    ExpectFigure(f.spanS, double(kWeekS - kStepS), 0, "span");
    ExpectFigure(f.rateS, double(kStepS), 0, "rate");
    ExpectFigure(f.gaps, 0.0, 0, "gaps");
    EXPECT_EQ(TimeLineText(*f.lastMs, false), "11:59:50.000 +7d");
}

TEST(Figures, NoFixAtAllLeavesEveryPositionFigureEmpty)
{
    std::vector<Fix> fixes;
    for (int i = 0; i < 10; ++i)
        fixes.push_back({i * 1000LL, 0, 0, 0, 0});
    for (const bool given : {true, false}) {
        const Figures f = Analyse(fixes, given ? std::optional<GeoPoint>(kRef) : std::nullopt);
        EXPECT_EQ(f.accepted, 0);
        ExpectFigure(f.availabilityPct, 0.0, 0, "availability");
        for (const Figure& v : {f.ttffS, f.biasEastM, f.sdUpM, f.cep50M, f.r99M, f.drms2M, f.up95M, f.d3_50M,
                                f.hdopMedian, f.usedMean[kSysGps]})
            EXPECT_FALSE(v.has_value());
        EXPECT_TRUE(f.cdf.empty());
        // Every text shows the dash, never "nan" or "inf".
        for (const ReportRow& row : ReportRows()) {
            const std::string t = RowText(row, f);
            EXPECT_EQ(t.find("nan"), std::string::npos) << row.key;
            EXPECT_EQ(t.find("inf"), std::string::npos) << row.key;
        }
    }
}

TEST(Figures, LimitsAndTimeWindowSelect)
{
    std::vector<Fix> fixes;
    for (int i = 0; i < 20; ++i)
        fixes.push_back({(86390 + i) % 86400 * 1000LL, 0, 0, 0, i % 4 == 0 ? 2 : 1, nullptr, i % 2 ? 2.5 : 1.0});
    const struct {
        const char* name;
        AcceptLimits limits;
        TimeWindow window;
        int64_t epochs, accepted;
    } cases[] = {
        {"all", {}, {}, 20, 20},
        {"HDOP 1.5", {"1.5", "0.0", false}, {}, 20, 10},
        {"differential", {"0.0", "0.0", true}, {}, 20, 5},
        {"across midnight", {}, {86395, 4}, 10, 10},
        {"to only", {}, {-1, 2}, 3, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Figures f = Analyse(fixes, kRef, c.limits, c.window);
        EXPECT_EQ(f.epochs, c.epochs);
        EXPECT_EQ(f.accepted, c.accepted);
    }
}

} // namespace
