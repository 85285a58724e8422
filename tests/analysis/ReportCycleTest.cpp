// The report's epochs are reporting cycles, whatever the receiver's order of
// sentences: each row a stream of three cycles, and what each epoch must
// hold (its time, satellites used, dimension, whether a height was given).
// Then the simulator's own streams, and every shared capture cut anywhere.
#include "EpochCollector.h"
#include "Figures.h"
#include "ReceiverReport.h"
#include "TestSupport.h"
#include "Util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Everything an epoch holds but its date, one line each.
std::string Rows(const EpochLog& log)
{
    std::string out;
    for (size_t i = 0; i < log.Size(); ++i) {
        const EpochRecord& r = log[i];
        const int64_t ms = ((log.TimeMs(i) % kMsPerDay) + kMsPerDay) % kMsPerDay;
        out += Format("%lld %02x %.10f %.10f %.4f %.2f %.2f %d %d %d\n", static_cast<long long>(ms), r.flags, r.latRad,
                      r.lonRad, r.heightM, double(r.hdop), double(r.vdop), r.used[0], r.used[1], r.used[2]);
    }
    return out;
}

// "hh:mm:ss.sss uN D h" per epoch: time of day, satellites used, dimension
// (2, 3, ?), h where a height was given, - where not.
std::string Epochs(const EpochLog& log)
{
    std::string out;
    for (size_t i = 0; i < log.Size(); ++i) {
        const EpochRecord& r = log[i];
        const int64_t ms = ((log.TimeMs(i) % kMsPerDay) + kMsPerDay) % kMsPerDay;
        const char dim = r.Dim() == FixDim::TwoD ? '2' : r.Dim() == FixDim::ThreeD ? '3' : '?';
        out += Format("%s%02d:%02d:%02d.%03d u%d %c %c", i ? "|" : "", int(ms / 3600000), int(ms / 60000 % 60),
                      int(ms / 1000 % 60), int(ms % 1000), r.used[0] + r.used[1] + r.used[2], dim,
                      std::isnan(r.heightM) ? '-' : 'h');
    }
    return out;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void Collect(EpochLog& log, const std::string& text)
{
    EpochCollector collector(log);
    collector.PushNmea(text.data(), text.size());
    collector.Finish();
}

// Three cycles of 1 s from 12:00:00, each made by cycle(second).
std::string Stream(const std::function<std::string(int)>& cycle)
{
    std::string text;
    for (int s = 0; s < 3; ++s)
        text += cycle(s);
    return text;
}

std::string Time(int s, const char* fraction = ".00") { return Format("1200%02d%s", s, fraction); }
std::string Gga(const std::string& talker, const std::string& time, int used, const std::string& height = "77.5")
{
    return "$" + talker + "GGA," + time + ",4739.7,N,12219.5,W,1," + std::to_string(used) + ",0.8," + height + ",M,,M,,\r\n";
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line.substr(0, line.find('*')));
    for (std::string field; std::getline(in, field, ',');)
        fields.push_back(field);
    return fields;
}
std::string Rmc(const std::string& time) { return "$GPRMC," + time + ",A,4739.7,N,12219.5,W,0.0,0.0,071226,,,A\r\n"; }
std::string Gns(const std::string& time) { return "$GNGNS," + time + ",4739.7,N,12219.5,W,AA,9,0.9,98.0,52.0,,,V\r\n"; }
// A GSA of n GPS satellites.
std::string Gsa(int n)
{
    std::string s = "$GPGSA,A,3";
    for (int k = 1; k <= 12; ++k)
        s += k <= n ? Format(",%02d", k) : std::string(",");
    return s + ",1.9,0.8,1.1\r\n";
}
const std::string kGsv = "$GPGSV,1,1,02,01,40,100,40,02,30,200,44\r\n";

TEST(ReportCycle, EveryOrderOfSentencesMakesItsCycles)
{
    struct Row { const char* name; std::string stream; const char* epochs; };
    const char* const kThree8 = "12:00:00.000 u8 3 h|12:00:01.000 u8 3 h|12:00:02.000 u8 3 h";
    const Row rows[] = {
        {"GGA first", Stream([](int s) { return Gga("GP", Time(s), 8) + Gsa(8) + kGsv + Rmc(Time(s)); }), kThree8},
        {"GGA last", Stream([](int s) { return Rmc(Time(s)) + Gsa(8) + kGsv + "$PVKTD,1\r\n" + Gga("GP", Time(s), 8); }),
         kThree8},
        {"GNS only", Stream([](int s) { return Gns(Time(s)) + Gsa(9); }),
         "12:00:00.000 u9 3 h|12:00:01.000 u9 3 h|12:00:02.000 u9 3 h"},
        {"RMC only", Stream([](int s) { return Rmc(Time(s)) + Gsa(7); }),
         "12:00:00.000 u7 3 -|12:00:01.000 u7 3 -|12:00:02.000 u7 3 -"},
        {"GNS every second, GGA in the first",
         Stream([](int s) { return Gns(Time(s)) + (s == 0 ? Gga("GN", Time(s), 8) : std::string()) + Gsa(8); }), kThree8},
        {"a repeated GGA", Stream([](int s) { return Gga("GP", Time(s), 8) + Gga("GP", Time(s), 8); }),
         "12:00:00.000 u8 ? h|12:00:01.000 u8 ? h|12:00:02.000 u8 ? h"},
        {"GP and GL GGAs of one time", Stream([](int s) { return Gga("GP", Time(s), 8) + Gga("GL", Time(s), 3); }),
         "12:00:00.000 u11 ? h|12:00:01.000 u11 ? h|12:00:02.000 u11 ? h"},
        {"an RMC 0.68 s after its GGA", Stream([](int s) { return Gga("GP", Time(s), 8) + Gsa(8) + Rmc(Time(s, ".68")); }),
         kThree8},
        {"10 Hz", Stream([](int s) { return Gga("GP", Format("120000.%d0", s), 8) + Gsa(8) + Rmc(Format("120000.%d0", s)); }),
         "12:00:00.000 u8 3 h|12:00:00.100 u8 3 h|12:00:00.200 u8 3 h"},
        {"a ZDA and a GLL of other times between fixes",
         Stream([](int s) {
             return Gga("GP", Time(s), 8) + "$GPZDA," + Time(s + 5) + ",07,12,2026,00,00\r\n" + Gsa(8) +
                    "$GPGLL,4739.7,N,12219.5,W," + Time(s, ".50") + ",A,A\r\n";
         }),
         kThree8},
    };
    for (const Row& r : rows) {
        EpochLog log;
        Collect(log, r.stream);
        EXPECT_EQ(Epochs(log), r.epochs) << r.name;
    }
}

// An RMC between GGAs every other second is a fix without a height: every
// horizontal figure takes it, the vertical ones are the GGA fixes' alone, and
// its CSV row has no height.
TEST(ReportCycle, HeightsOnlyWhereGiven)
{
    std::string mixed, ggaOnly;
    for (int s = 0; s < 40; ++s) {
        const std::string gga = Gga("GP", Time(s), 8, Format("%.1f", 70.0 + s % 7));
        mixed += s % 2 ? Rmc(Time(s)) : gga + Rmc(Time(s));
        ggaOnly += s % 2 ? std::string() : gga;
    }
    EpochLog both, alone;
    Collect(both, mixed);
    Collect(alone, ggaOnly);
    ASSERT_EQ(both.Size(), 40u);
    const Figures f = ComputeFigures(both, std::nullopt);
    const Figures g = ComputeFigures(alone, std::nullopt);
    EXPECT_EQ(f.accepted, 40);
    EXPECT_EQ(f.noHeight, 20);
    for (const auto m : {&Figures::up50M, &Figures::up95M, &Figures::up99M, &Figures::d3_95M, &Figures::sdUpM})
        EXPECT_NEAR((f.*m).value_or(-1), (g.*m).value_or(-2), 1e-6);
    EXPECT_NEAR(f.reference->heightM, g.reference->heightM, 1e-9);
    ReportEntry entry;
    entry.log = &both;
    entry.figures = f;
    std::ostringstream out;
    WriteCsv(out, {entry});
    std::istringstream csv(out.str());
    std::string line;
    std::getline(csv, line);
    for (int row = 0; std::getline(csv, line); ++row) {
        const std::vector<std::string> cells = Fields(line);
        ASSERT_GT(cells.size(), 10u);
        EXPECT_FALSE(cells[5].empty()) << line;                       // lat_deg
        EXPECT_EQ(cells[7].empty(), row % 2 == 1) << line;            // height_m
        EXPECT_EQ(cells[10].empty(), row % 2 == 1) << line;           // up_m
    }
}

// A recording that starts with a fix has no time to first fix; one that
// starts without one has it. A cold start's default date is not the test's
// first epoch. A C/N0 that is not a whole number is none.
TEST(ReportCycle, FirstFixFirstEpochAndSignals)
{
    EpochLog fixed, cold;
    Collect(fixed, Stream([](int s) { return Gga("GP", Time(s), 8); }));
    std::string coldText = "$GPRMC,000001.00,V,,,,,,,060180,,,N\r\n$GPRMC,000002.00,V,,,,,,,060180,,,N\r\n";
    coldText += Stream([](int s) { return Rmc(Time(s)); });
    Collect(cold, coldText);
    const Figures f = ComputeFigures(fixed, std::nullopt);
    const Figures c = ComputeFigures(cold, std::nullopt);
    EXPECT_TRUE(f.startedWithFix);
    EXPECT_FALSE(f.ttffS);
    const ReportRow* ttff = nullptr;
    for (const ReportRow& row : ReportRows())
        if (std::string(row.key) == "ttff_s")
            ttff = &row;
    ASSERT_TRUE(ttff);
    EXPECT_EQ(RowText(*ttff, f), "started with a fix");
    EXPECT_FALSE(c.startedWithFix);
    EXPECT_EQ(RowText(*ttff, c), "2.0");
    EXPECT_EQ(TimeLineText(*c.firstMs, true), "2026-12-07 12:00:00.000");

    EpochLog signals;
    Collect(signals, Gga("GP", Time(0), 8) + Gsa(3) +
                         "$GPGSV,2,1,05,01,40,100,40,02,30,200,abc,03,20,300,1e9,04,10,310,4x\r\n"
                         "$GPGSV,2,2,05,05,5x,999,42\r\n" + Gga("GP", Time(1), 8));
    EXPECT_DOUBLE_EQ(ComputeFigures(signals, std::nullopt).snrMeanDbHz[kSysGps].value_or(0), 41.0);
}

std::string Sim()
{
    return KESTROVA_SIM_BIN;
}

// The simulator sends RMC, GSA, GSV, its own sentence and GGA last: each
// epoch's satellites are its GGA's count and its own GSA's, and every epoch
// has a dimension; its BINR stream too.
TEST(ReportCycle, SimulatorStreamsPairEachFixWithItsOwnCycle)
{
    const std::string dir = testing::TempDir() + "/report-cycle";
    std::filesystem::create_directories(dir);
    for (const char* protocol : {"nmea", "binr"}) {
        SCOPED_TRACE(protocol);
        const std::string file = dir + "/demo." + protocol;
        const std::string command = Sim() + " --write-demo " + file + " --protocol " + protocol + " --seconds 30 >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        const std::vector<uint8_t> bytes = ReadBinaryFile(file);
        EpochLog log;
        EpochCollector collector(log);
        if (std::string(protocol) == "binr")
            collector.PushBinr(bytes.data(), bytes.size());
        else
            collector.PushNmea(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        collector.Finish();
        ASSERT_EQ(log.Size(), 30u);
        if (std::string(protocol) == "binr") {
            for (size_t i = 0; i < log.Size(); ++i)
                EXPECT_NE(log[i].Dim(), FixDim::Unknown) << i;
            continue;
        }
        // Each cycle (from its RMC) read off the text: the GGA's count and
        // the satellites its GSAs list before their three DOPs.
        std::istringstream in(std::string(bytes.begin(), bytes.end()));
        std::vector<int> ggaUsed, gsaUsed;
        int listed = 0;
        for (std::string line; std::getline(in, line);) {
            const std::vector<std::string> f = Fields(line);
            const std::string type = f[0].size() == 6 ? f[0].substr(3) : std::string();
            if (type == "RMC")
                listed = 0;
            if (type == "GSA")
                for (size_t k = 3; k + 3 < f.size(); ++k)
                    listed += !f[k].empty();
            if (type == "GGA") {
                ggaUsed.push_back(TextToInt(f.at(7).c_str()));
                gsaUsed.push_back(listed);
            }
        }
        ASSERT_EQ(ggaUsed.size(), log.Size());
        for (size_t i = 0; i < log.Size(); ++i) {
            const int used = log[i].used[0] + log[i].used[1] + log[i].used[2];
            EXPECT_EQ(used, ggaUsed[i]) << i;
            EXPECT_EQ(used, gsaUsed[i]) << i;
            EXPECT_NE(log[i].Dim(), FixDim::Unknown) << i;
        }
    }
}

// The epochs of a stream do not depend on where it starts: the report of a
// capture cut at any line equals the whole capture's from the cut's second
// epoch on.
TEST(ReportCycle, ACaptureCutAnywhereKeepsItsEpochs)
{
    REQUIRE_SHARED_NMEA();
    constexpr int kCuts = 7;
    for (const std::string& file : SharedNmeaFiles()) {
        const std::vector<uint8_t> bytes = ReadBinaryFile(file);
        const std::string text(bytes.begin(), bytes.end());
        EpochLog whole;
        Collect(whole, text);
        const std::vector<std::string> all = Lines(Rows(whole));
        for (int k = 1; k <= kCuts; ++k) {
            const size_t cut = text.find('\n', text.size() * size_t(k) / (kCuts + 1));
            if (cut == std::string::npos)
                continue;
            EpochLog tail;
            Collect(tail, text.substr(cut + 1));
            const std::vector<std::string> rows = Lines(Rows(tail));
            if (rows.size() < 2)
                continue;
            ASSERT_LE(rows.size(), all.size()) << file << " cut at byte " << cut;
            const auto [cutRow, wholeRow] =
                std::mismatch(rows.begin() + 1, rows.end(), all.end() - std::ptrdiff_t(rows.size() - 1));
            EXPECT_EQ(cutRow, rows.end()) << file << " cut at byte " << cut << ": epoch " << (cutRow - rows.begin())
                                          << " reads " << *cutRow << ", not " << *wholeRow;
        }
    }
}

} // namespace
