// Multi-GNSS on real receiver captures: the satellites per system and the
// status word of chosen epochs, read by hand from their sentences, and the
// views against the report's CSV on every epoch.
#include "EpochCollector.h"
#include "Figures.h"
#include "GnssEpoch.h"
#include "PositionText.h"
#include "ReceiverReport.h"
#include "SatellitesText.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Shown {
    PositionTexts position;
    SatellitesTexts satellites;
    GnssPicture picture;
};

// Every epoch as the views show it once complete, in order.
std::vector<Shown> PlayAll(const std::string& name)
{
    NmeaAssembler nmea;
    GnssEpoch epoch;
    epoch.SetEnabled(true);
    std::vector<Shown> shown;
    auto show = [&] {
        shown.push_back(Shown{PositionFromNmea(nmea, epoch.Picture()), SatellitesFromGnss(epoch.Picture()), epoch.Picture()});
    };
    for (uint8_t byte : ReadBinaryFile(SharedNmeaDir() + "/" + name))
        if (epoch.Feed(nmea.PushByte(char(byte)), nmea))
            show();
    if (epoch.Complete())
        show();
    return shown;
}

// The first epoch of each UTC text.
std::map<std::string, Shown> Play(const std::string& name)
{
    std::map<std::string, Shown> byTime;
    for (Shown& s : PlayAll(name))
        byTime.emplace(s.position.utc, std::move(s));
    return byTime;
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
        // Each epoch with the sentences after its GGA, up to the next.
        // bu353-glonass, epoch 08:14:16:
        //   $GNGSA,A,3,03,19,27,13,...  GN, no system ID: 1-32 are GPS
        //   $GNGSA,A,3,88,87,...        65-96 are GLONASS slots 24, 23
        //   $GPGSV 12 satellites, $GLGSV 10: 22 on the sky plot.
        {"bu353-glonass.log", "08:14:16", "3D", "3 19 27 13 ", "24 23 ", "", "", "", "6", 22},
        // 08:14:21: both GN GSAs are empty (A,1), quality 0.
        {"bu353-glonass.log", "08:14:21", "OLD", "", "", "", "", "", "0", 22},
        // quectel-l76k-dual, epoch 07:15:52:
        //   $GNGSA,...,01,06,14,15,17,19,20,22,24,30,...,1  system ID 1: GPS
        //   $GNGSA,...,13,27,28,38,...,4                     system ID 4: BeiDou
        //   $GNGSA,...,75,84,85,...,2                        system ID 2: GLONASS 11, 20, 21
        //   17 used = GGA's 17; GPGSV 11, BDGSV 4, GLGSV 9 satellites: 24 in view.
        {"quectel-l76k-dual.log", "07:15:52", "3D", "1 6 14 15 17 19 20 22 24 30 ", "11 20 21 ", "",
         "13 27 28 38 ", "", "17", 24},
        // skytraq-dgps, epoch 21:31:24 (quality 2):
        //   $GPGSA,A,3,09,23,08,07,11,27,28  GPS
        //   $BDGSA,A,3,214                   BD talker: BeiDou PRN 14
        //   $GPGSV 13: 11 GPS, 51 = SBAS 138, 193 = QZSS 1; $BDGSV 214, 206, 212.
        {"skytraq-dgps.log", "21:31:24", "3D DIFF", "9 23 8 7 11 27 28 ", "", "", "14 ", "", "8", 16},
        // nmea-rtk: no GSA at all; 13:38:59 quality 4 with 19 satellites;
        // 13:28:19 quality 2 with a height: 3D.
        {"nmea-rtk.log", "13:38:59", "RTK", "", "", "", "", "", "19", 0},
        {"nmea-rtk.log", "13:28:19", "3D DIFF", "", "", "", "", "", "10", 0},
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

std::vector<std::string> SplitCsv(const std::string& line)
{
    std::vector<std::string> fields(1);
    for (const char c : line)
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += c;
    return fields;
}

// The report's kind of an epoch by the view's status word.
std::string KindOfStatus(const std::string& status)
{
    const std::map<std::string, std::string> words = {{"OLD", "none"},       {"RTK", "rtk-fixed"}, {"FLOAT", "rtk-float"},
                                                      {"DR", "estimated"},   {"MANUAL", "manual"}, {"SIM", "simulated"}};
    const auto word = words.find(status);
    if (word != words.end())
        return word->second;
    return status.find("DIFF") != std::string::npos ? "differential" : "autonomous";
}

// Time, satellites used, VDOP and kind of every epoch: the views with the
// option on against the report's CSV of the same capture.
TEST(GnssCapture, ViewsAgreeWithTheReportOnEveryEpoch)
{
    REQUIRE_SHARED_NMEA();
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(SharedNmeaDir())) {
        if (entry.path().extension() != ".log")
            continue;
        ++files;
        const std::string name = entry.path().filename().string();
        const std::vector<Shown> views = PlayAll(name);
        const std::vector<uint8_t> bytes = ReadBinaryFile(entry.path().string());
        EpochLog log;
        EpochCollector collector(log);
        collector.PushNmea(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        collector.Finish();
        ReportEntry report{name, "nmea", &log, ComputeFigures(log, std::nullopt)};
        std::ostringstream csv;
        WriteCsv(csv, {report});
        std::istringstream lines(csv.str());
        std::string line;
        std::getline(lines, line);
        std::vector<std::vector<std::string>> rows;
        while (std::getline(lines, line))
            rows.push_back(SplitCsv(line));
        ASSERT_EQ(rows.size(), views.size()) << name;
        int differing = 0;
        for (size_t i = 0; i < rows.size(); ++i) {
            const std::vector<std::string>& row = rows[i];
            const PositionTexts& view = views[i].position;
            const std::string& time = row[2];
            const std::string& vdop = row[12];
            // An epoch without a GSA of its own has no VDOP in the report;
            // the views keep showing the last GSA's.
            const bool vdopAgrees = vdop.empty() ? true
                                    : view.vdop == "****" ? std::stod(vdop) > 999
                                    : view.vdopSet && !view.vdop.empty() && std::fabs(std::stod(vdop) - std::stod(view.vdop)) < 0.051;
            const bool same = (time.empty() ? view.utc == "::" : time.substr(0, 8) == view.utc) && row[13] == view.used
                              && vdopAgrees && row[3] == KindOfStatus(view.status);
            if (!same && ++differing <= 3)
                ADD_FAILURE() << name << " epoch " << i << ": report " << time << " used " << row[13] << " vdop " << vdop
                              << " " << row[3] << "; views " << view.utc << " used " << view.used << " vdop "
                              << view.vdop << " " << view.status;
        }
        EXPECT_EQ(differing, 0) << name << ": of " << rows.size() << " epochs";
    }
    EXPECT_GT(files, 0);
}

} // namespace
