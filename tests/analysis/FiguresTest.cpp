// The figures on generated NMEA streams whose answers are known by
// construction: fixes on circles of known radii, a known bias from a given
// reference, gaps, a midnight crossing, a week of epochs, no fix at all.
#include "EpochCollector.h"
#include "Figures.h"
#include "ReceiveTimes.h"
#include "ReceiverReport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <cmath>
#include <cstdio>
#include <sstream>
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

// The error percentiles are found by counting bins of values; they must be
// exactly the nearest-rank values a full sort gives, however the values
// crowd into bins: all equal, two clusters far apart, a spread of many per
// bin, a handful, a long log with a few wild fixes.
TEST(Figures, ErrorPercentilesAreExactlyTheSortedValues)
{
    const LocalFrame frame(kRef);
    const auto at = [](double east, double north, double up) {
        const double s = std::sin(kRef.latRad), w = std::sqrt(1 - kE2 * s * s);
        const double n = kA / w, m = kA * (1 - kE2) / (w * w * w);
        return GeoPoint{kRef.latRad + north / (m + kRef.heightM),
                        kRef.lonRad + east / ((n + kRef.heightM) * std::cos(kRef.latRad)), kRef.heightM + up};
    };
    uint64_t seed = 7;
    const auto random = [&seed] {   // uniform in [0, 1)
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return double(seed >> 11) / double(1ULL << 53);
    };
    const struct {
        const char* what;
        int count;
        std::function<GeoPoint(int)> place;
    } cases[] = {
        {"all equal", 5000, [&](int) { return at(1.5, -0.5, 0.25); }},
        {"at the reference", 300, [&](int) { return at(0, 0, 0); }},
        {"two clusters", 4001, [&](int i) { return i % 2 ? at(0.01 * random(), 0, 0.01) : at(900 + random(), 0, -50); }},
        {"spread", 200000, [&](int) { return at(4 * random() - 2, 4 * random() - 2, 6 * random() - 3); }},
        {"one", 1, [&](int) { return at(3, 4, 0); }},
        {"three", 3, [&](int i) { return at(i, 0, -i); }},
        {"wild few", 60000, [&](int i) { return i % 20000 == 0 ? at(1e6, -1e6, 5000) : at(random(), random(), random()); }},
    };
    for (const auto& c : cases) {
        EpochLog log;
        for (int i = 0; i < c.count; ++i) {
            const GeoPoint p = c.place(i);
            EpochRecord r{p.latRad, p.lonRad, p.heightM, 0, 1.0f, 1.0f, 0, {8, 0, 0}};
            r.flags = uint8_t(FixKind::Autonomous) | EpochRecord::kAccepted | EpochRecord::kTimeKnown;
            log.Append(r, int64_t(i) * 1000);
        }
        const Figures f = ComputeFigures(log, kRef);
        std::vector<float> sets[3];
        log.ForEach([&](const EpochRecord& r, int64_t) {
            const LocalFrame::Enu e = frame.ErrorOf(r);
            sets[0].push_back(float(std::sqrt(e.east * e.east + e.north * e.north)));
            sets[1].push_back(float(std::fabs(e.up)));
            sets[2].push_back(float(std::sqrt(e.east * e.east + e.north * e.north + e.up * e.up)));
        });
        for (auto& set : sets)
            std::sort(set.begin(), set.end());
        const auto sorted = [&](int set, double percent) {
            return double(sets[set][NearestRank(sets[set].size(), percent)]);
        };
        const struct {
            const char* name;
            Figure actual;
            double expected;
        } rows[] = {
            {"CEP50", f.cep50M, sorted(0, 50)}, {"R68", f.r68M, sorted(0, 68)},   {"R95", f.r95M, sorted(0, 95)},
            {"R99", f.r99M, sorted(0, 99)},     {"max", f.rMaxM, sorted(0, 100)}, {"up50", f.up50M, sorted(1, 50)},
            {"up95", f.up95M, sorted(1, 95)},   {"up99", f.up99M, sorted(1, 99)}, {"3D50", f.d3_50M, sorted(2, 50)},
            {"3D95", f.d3_95M, sorted(2, 95)},
        };
        for (const auto& row : rows) {
            ASSERT_TRUE(row.actual.has_value()) << c.what << ": " << row.name;
            EXPECT_EQ(*row.actual, row.expected) << c.what << ": " << row.name;
        }
        ASSERT_EQ(f.cdf.size(), size_t(kCdfSteps + 1)) << c.what;
        if (c.count < 40000) {   // beyond, the chart reads a sample
            EXPECT_EQ(double(f.cdf.front()), sorted(0, 0)) << c.what;
            EXPECT_EQ(double(f.cdf.back()), sorted(0, 100)) << c.what;
        }
        EXPECT_TRUE(std::is_sorted(f.cdf.begin(), f.cdf.end())) << c.what;
    }
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
        // A recording that starts with a fix has no time to first fix.
        {"gaps of 6 s and 3 s", seconds(withGaps), 93, 99, 1, 2, 7, 93, std::nullopt, "00:00:00.000"},
        {"midnight, no date", seconds({86398, 86399, 0, 1}), 4, 3, 1, 0, 0, 100, std::nullopt, "23:59:58.000"},
        {"midnight, RMC dates", dated, 4, 3, 1, 0, 0, 100, std::nullopt, "2026-12-31 23:59:58.000"},
        {"45 days apart", farApart, 3, 45 * 86400.0 + 2, 1, 1, 45 * 86400, 3.0 / (3 + 45 * 86400) * 100, std::nullopt,
         "2026-01-01 00:00:00.000"},
        {"first fix after 3 s", noFixFirst, 6, 5, 1, 0, 0, 50, 3, "00:00:00.000"},
        {"one fix", seconds({5}), 1, 0, std::nullopt, std::nullopt, std::nullopt, 100, std::nullopt, "00:00:05.000"},
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

// The CSV rows of a log, without the header.
std::vector<std::string> CsvRows(const EpochLog& log, const Figures& f)
{
    std::ostringstream out;
    WriteCsv(out, {{"r.nme", "nmea", &log, f}});
    std::vector<std::string> rows;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);)
        rows.push_back(line);
    rows.erase(rows.begin());
    return rows;
}

// A row from its k-th cell on.
std::string CsvCells(const std::string& row, int k)
{
    size_t at = 0;
    for (int i = 0; i < k && at != std::string::npos; ++i)
        at = row.find(',', at) + 1;
    return row.substr(at);
}

TEST(Figures, AFixBeforeChangesNoPositionAndNoFigure)
{
    // RTK scatter of 18 fixes; then the same after a 0°,0° fix that the
    // HDOP limit refuses.
    std::vector<Fix> rtk;
    for (int i = 0; i < 18; ++i)
        rtk.push_back({(i + 1) * 1000LL, 3.1 * std::sin(i * 2.4) + 0.0123 * i, 4.7 * std::cos(i * 1.7), 0.001 * i, 4});
    const std::string island = Sentence("GPGGA,000000.000,0000.0000,N,00000.0000,E,1,04,9.9,0.000,M,0.0,M,,");
    const AcceptLimits limit{"2.0", "0.0", false};
    std::vector<std::string> csv[2];
    Figures figures[2];
    for (const bool islandFirst : {false, true}) {
        EpochLog log;
        EpochCollector c(log, limit);
        const std::string s = (islandFirst ? island : std::string()) + Stream(rtk);
        c.PushNmea(s.data(), s.size());
        c.Finish();
        figures[islandFirst] = ComputeFigures(log, kRef);
        csv[islandFirst] = CsvRows(log, figures[islandFirst]);
        if (islandFirst)
            csv[islandFirst].erase(csv[islandFirst].begin());
    }
    ASSERT_EQ(figures[1].accepted, 18);
    EXPECT_EQ(csv[0], csv[1]);
    for (const auto member : {&Figures::cep50M, &Figures::r95M, &Figures::biasEastM, &Figures::biasNorthM,
                              &Figures::sdUpM, &Figures::drms2M})
        EXPECT_EQ(figures[0].*member, figures[1].*member);

    // The CSV holds the GGA's position to a millimetre: the generated
    // stream puts fix i east and north of the reference by known metres.
    ASSERT_EQ(csv[1].size(), rtk.size());
    for (size_t i = 0; i < rtk.size(); ++i) {
        double e = 0, n = 0, u = 0;
        ASSERT_EQ(std::sscanf(CsvCells(csv[1][i], 8).c_str(), "%lf,%lf,%lf", &e, &n, &u), 3) << csv[1][i];
        EXPECT_NEAR(e, rtk[i].east, 1e-3) << i;
        EXPECT_NEAR(n, rtk[i].north, 1e-3) << i;
        EXPECT_NEAR(u, rtk[i].up, 1e-3) << i;
    }
}

TEST(Figures, OutOfRangeDopsAndSnrsAreNotCappedIntoTheFigures)
{
    // HDOP 800 stays 800; an SNR of 255 or 100000 is no SNR.
    std::vector<Fix> fixes;
    for (int i = 0; i < 4; ++i)
        fixes.push_back({i * 1000LL, 0, 0, 0, 1, nullptr, 800.0});
    std::string s = Stream(fixes);
    s += Sentence("GPGSV,1,1,03,01,45,100,255,02,30,200,100000,03,60,300,45");
    EpochLog log;
    EpochCollector c(log);
    c.PushNmea(s.data(), s.size());
    c.Finish();
    const Figures f = ComputeFigures(log, kRef);
    ExpectFigure(f.hdopMedian, 800.0, 0, "HDOP median");
    ExpectFigure(f.hdop95, 800.0, 0, "HDOP 95");
    ExpectFigure(f.snrMeanDbHz[kSysGps], 45.0, 0, "SNR mean");
    const std::vector<std::string> rows = CsvRows(log, f);
    ASSERT_EQ(rows.size(), fixes.size());
    EXPECT_NE(rows[0].find(",800.00,"), std::string::npos) << rows[0];
    // A limit below it refuses it, as the window does.
    EpochLog limited;
    EpochCollector l(limited, {"9.9", "0.0", false});
    l.PushNmea(s.data(), s.size());
    l.Finish();
    EXPECT_EQ(ComputeFigures(limited, kRef).accepted, 0);
}

TEST(Figures, AFullLogCountsTheEpochsAfterItAndThePageSaysSo)
{
    std::vector<Fix> fixes;
    for (int i = 0; i < 10; ++i)
        fixes.push_back({i * 1000LL, 0.1 * i, 0, 0});
    EpochLog log(4);
    const Figures f = Analyse(fixes, kRef, {}, {}, &log);
    EXPECT_EQ(f.epochs, 4);
    EXPECT_EQ(log.leftOut, 6);
    ExpectFigure(f.spanS, 3.0, 0, "span of the kept epochs");
    std::ostringstream page;
    WriteHtml(page, {{"monitor", "nmea", &log, f}});
    EXPECT_NE(page.str().find("monitor: the first 4 epochs only; the 6 after them were counted"), std::string::npos);
    log.Clear();   // a reset keeps the cap
    EXPECT_EQ(Analyse(fixes, kRef, {}, {}, &log).epochs, 4);
}

// Epochs one second apart from a time of day, with a date and a quality.
void Seconds(std::vector<Fix>& fixes, int64_t fromS, int count, const char* date, int quality)
{
    for (int i = 0; i < count; ++i)
        fixes.push_back({(fromS + i) % 86400 * 1000, 0, 0, 0, quality, date});
}

TEST(Figures, ClockJumpsOfAColdStartAreNoGaps)
{
    // A cold start: the receiver's default date, then the real one.
    std::vector<Fix> from1980, from2006, stepBack, realGap, fixedStepBack;
    Seconds(from1980, 86386, 5, "050180", 0);
    Seconds(from1980, 9 * 3600, 3, "071226", 0);
    Seconds(from1980, 9 * 3600 + 3, 5, "071226", 1);
    Seconds(from2006, 12 * 3600, 3, "010106", 0);
    Seconds(from2006, 8 * 3600, 2, "071226", 0);
    Seconds(from2006, 8 * 3600 + 2, 3, "071226", 1);
    Seconds(stepBack, 100, 3, nullptr, 0);   // no date: the clock steps back
    Seconds(stepBack, 50, 2, nullptr, 0);
    Seconds(stepBack, 52, 2, nullptr, 1);
    Seconds(realGap, 0, 3, nullptr, 1);      // two hours without epochs between two fixes
    Seconds(realGap, 7200, 2, nullptr, 1);
    Seconds(fixedStepBack, 0, 3, nullptr, 1);
    Seconds(fixedStepBack, 1, 3, nullptr, 1);
    const struct {
        const char* name;
        std::vector<Fix> fixes;
        double jumps, span, gaps, missing, availability;
        std::optional<double> ttff;
        // The first epoch shown: the default date of a cold start is not.
        const char* first;
    } cases[] = {
        {"1980 default date", from1980, 1, 12, 0, 0, 5 * 100.0 / 13, 8, "2026-12-07 09:00:00.000"},
        {"2006 default date", from2006, 1, 7, 0, 0, 3 * 100.0 / 8, 5, "2026-12-07 08:00:00.000"},
        {"step back without a fix", stepBack, 1, 6, 0, 0, 2 * 100.0 / 7, 5, "00:00:50.000"},
        {"a real gap between fixes", realGap, 0, 7201, 1, 7197, 5 * 100.0 / 7202, std::nullopt, "00:00:00.000"},
        {"a step back between fixes", fixedStepBack, 0, 4, 0, 0, 100, std::nullopt, "00:00:00.000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Figures f = Analyse(c.fixes);
        ExpectFigure(f.clockJumps, c.jumps, 0, "clock jumps");
        ExpectFigure(f.spanS, c.span, 1e-9, "span");
        ExpectFigure(f.rateS, 1.0, 0, "rate");
        ExpectFigure(f.gaps, c.gaps, 0, "gaps");
        ExpectFigure(f.missing, c.missing, 0, "missing");
        ExpectFigure(f.availabilityPct, c.availability, 1e-9, "availability");
        ExpectFigure(f.ttffS, c.ttff, 1e-9, "ttff");
        EXPECT_EQ(TimeLineText(*f.firstMs, f.datesKnown), c.first);
    }
}

// The span is summed in one pass as whole milliseconds; beyond 2^53 ms a
// double no longer holds every sum, and the span is what adding the epochs
// up one by one gives: there the last two milliseconds are lost.
TEST(Figures, ASpanBeyondExactMillisecondsIsAddedUpEpochByEpoch)
{
    constexpr int64_t kExactMs = int64_t(1) << 53;
    EpochLog log;
    EpochRecord r{};
    r.latRad = r.lonRad = r.heightM = 0;
    r.flags = uint8_t(FixKind::Autonomous) | EpochRecord::kAccepted | EpochRecord::kTimeKnown;
    for (const int64_t t : {int64_t(0), kExactMs - 1, kExactMs, kExactMs + 1, kExactMs + 2})
        log.Append(r, t);
    const Figures f = ComputeFigures(log, std::nullopt);
    ExpectFigure(f.spanS, double(kExactMs) / 1000, 0, "span");
    ExpectFigure(f.ttffS, std::nullopt, 0, "ttff");
}

TEST(Figures, TimeToFirstFixOnTheReceiveTimes)
{
    // One block an epoch; the computer's clock saw a 30 s pause before the
    // sixth block that the receiver's default date hides.
    std::vector<Fix> fixes;
    Seconds(fixes, 86386, 5, "050180", 0);
    Seconds(fixes, 9 * 3600, 3, "071226", 0);
    Seconds(fixes, 9 * 3600 + 3, 5, "071226", 1);
    EpochLog log;
    EpochCollector c(log);
    std::vector<ReceiveTime> times;
    int64_t offset = 0;
    for (size_t k = 0; k < fixes.size(); ++k) {
        const std::string block = Stream({fixes[k]});
        c.PushNmea(block.data(), block.size());
        offset += int64_t(block.size());
        times.push_back({offset, 250 + int64_t(k) * 1000 + (k >= 5 ? 30000 : 0)});
    }
    c.Finish();
    Figures f = ComputeFigures(log, kRef);
    ExpectFigure(f.ttffS, 8.0, 1e-9, "on the receiver's clock, jumps removed");
    TtffFromReceiveTimes(f, log, times);
    ExpectFigure(f.ttffS, 38.0, 1e-9, "on the receive times");
    // The fix's block came after a spell of lost receive times: its time
    // is only a bound, so the receiver's clock stands.
    times[8].exact = false;
    f = ComputeFigures(log, kRef);
    TtffFromReceiveTimes(f, log, times);
    ExpectFigure(f.ttffS, 8.0, 1e-9, "a record that is not exact");
}

} // namespace
