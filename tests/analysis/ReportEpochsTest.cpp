// The report's epochs where receivers differ: several GGAs of one time, GNS
// or RMC without GGA, the fix kinds beyond the classic ones and --kinds, a
// receiver's own field where a GSA's system ID would stand, no GSA at all.
#include "EpochCollector.h"
#include "Figures.h"
#include "ReceiverReport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Collected {
    EpochLog log;
    Figures figures;

    explicit Collected(const std::vector<std::string>& sentences, AcceptLimits limits = {})
    {
        EpochCollector collector(log, std::move(limits));
        for (const std::string& s : sentences) {
            const std::string line = s + "\r\n";
            collector.PushNmea(line.data(), line.size());
        }
        collector.Finish();
        figures = ComputeFigures(log, std::nullopt);
    }
    int Used(size_t i) const { return log[i].used[0] + log[i].used[1] + log[i].used[2]; }
};

std::string Gga(const std::string& talker, const std::string& time, int quality, int used, const char* height = "77.5")
{
    return "$" + talker + "GGA," + time + ",4739.7,N,12219.5,W," + std::to_string(quality) + "," + std::to_string(used)
           + ",0.8," + height + ",M,,M,,";
}

TEST(ReportEpochs, GgasOfOneTimeAreOneEpoch)
{
    std::vector<std::string> stream;
    for (int s = 0; s < 59; ++s) {
        const std::string time = "0209" + std::string(s < 10 ? "0" : "") + std::to_string(s) + ".000";
        stream.push_back(Gga("GP", time, 1, 8));
        stream.push_back(Gga("GL", time, 1, 2));
    }
    const Collected c(stream);
    ASSERT_EQ(c.log.Size(), 59u);
    EXPECT_EQ(c.log[0].used[kSysGps], 8);
    EXPECT_EQ(c.log[0].used[kSysGlonass], 2);
    // With GSAs the epoch counts their satellites; a GGA without a time is
    // an epoch of its own.
    const Collected g({Gga("GP", "020935.000", 1, 8), "$GPGSA,A,3,01,02,,,,,,,,,,,1.9,0.8,1.1",
                       Gga("GL", "020935.000", 1, 2), "$GLGSA,A,3,65,,,,,,,,,,,,1.9,0.8,1.1", "$GPGGA,,,,,,0,00,,,M,,M,,",
                       "$GPGGA,,,,,,0,00,,,M,,M,,"});
    ASSERT_EQ(g.log.Size(), 3u);
    EXPECT_EQ(g.Used(0), 3);
}

TEST(ReportEpochs, EpochsFromGnsElseRmc)
{
    const Collected rmc({"$GPRMC,101500.00,A,4739.7,N,12219.5,W,0.0,0.0,071226,,,A", "$GPRMC,101501.00,A,4739.7,N,12219.5,W,0.0,0.0,071226,,,D",
                         "$GPRMC,101502.00,V,,,,,,,071226,,,N"});
    ASSERT_EQ(rmc.log.Size(), 3u);
    EXPECT_TRUE(rmc.log.datesKnown);
    EXPECT_EQ(rmc.log[0].Kind(), FixKind::Autonomous);
    EXPECT_EQ(rmc.log[1].Kind(), FixKind::Differential);
    EXPECT_EQ(rmc.log[2].Kind(), FixKind::None);
    EXPECT_EQ(rmc.figures.accepted, 2);
    EXPECT_TRUE(rmc.log[0].HasPosition());

    const Collected gns({"$GNGNS,101500.00,4739.7,N,12219.5,W,AN,10,0.9,98.0,52.0,,,V",
                         "$GNRMC,101500.00,A,4739.7,N,12219.5,W,0.5,0.0,071226,,,A",
                         "$GNGNS,101501.00,4739.7,N,12219.5,W,RR,11,0.9,98.0,52.0,,,V",
                         "$GNRMC,101501.00,A,4739.7,N,12219.5,W,0.5,0.0,071226,,,A"});
    ASSERT_EQ(gns.log.Size(), 2u);
    EXPECT_EQ(gns.Used(0), 10);
    EXPECT_EQ(gns.log[1].Kind(), FixKind::RtkFixed);
    EXPECT_TRUE(gns.log.datesKnown);
}

TEST(ReportEpochs, KindsNamedAndChosen)
{
    const int qualities[] = {1, 2, 4, 5, 6, 7, 8, 3};
    std::vector<std::string> stream;
    for (int i = 0; i < 8; ++i)
        stream.push_back(Gga("GP", "10150" + std::to_string(i) + ".00", qualities[i], 9));
    const char* const kinds[] = {"autonomous", "differential", "rtk-fixed", "rtk-float", "estimated", "manual", "simulated", "other"};
    // Today's rule takes every fix but manual input and the simulator's.
    const bool acceptedByDefault[] = {true, true, true, true, true, false, false, true};
    const Collected all(stream);
    ASSERT_EQ(all.log.Size(), 8u);
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_STREQ(FixKindName(all.log[i].Kind()), kinds[i]);
        EXPECT_EQ(all.log[i].Accepted(), acceptedByDefault[i]) << kinds[i];
    }
    AcceptLimits rtk;
    rtk.kinds = KindBit(FixKind::RtkFixed);
    const Collected fixedOnly(stream, rtk);
    EXPECT_EQ(fixedOnly.figures.accepted, 1);
    EXPECT_TRUE(fixedOnly.log[2].Accepted());
    std::ostringstream json;
    WriteJson(json, {ReportEntry{"k", "nmea", &all.log, all.figures}});
    EXPECT_NE(json.str().find("\"epochs_manual\": 1"), std::string::npos);
    EXPECT_NE(json.str().find("\"epochs_simulated\": 1"), std::string::npos);
    EXPECT_EQ(FixKindFromName("rtk-float"), FixKind::RtkFloat);
    EXPECT_FALSE(FixKindFromName("rtk"));
}

// $GPGSA,...,5.1,1.3,4.9,3.3: the last field is the receiver's own, not system ID 3.
TEST(ReportEpochs, AnExtraDecimalFieldIsNoSystemId)
{
    const Collected c({Gga("GP", "101500.00", 1, 3), "$GPGSA,A,3,02,03,04,,,,,,,,,,5.1,1.3,4.9,3.3",
                       Gga("GP", "101501.00", 1, 3), "$GNGSA,A,3,02,03,04,,,,,,,,,,5.1,1.3,4.9,2"});
    ASSERT_EQ(c.log.Size(), 2u);
    EXPECT_EQ(c.log[0].used[kSysGps], 3);
    EXPECT_FLOAT_EQ(c.log[0].vdop, 4.9f);
    EXPECT_EQ(c.log[1].used[kSysGlonass], 3);
}

TEST(ReportEpochs, WithoutGsaTheDimensionIsUnknown)
{
    const Collected c({Gga("GP", "101500.00", 4, 12), Gga("GP", "101501.00", 4, 12), Gga("GP", "101502.00", 0, 0, "")});
    ASSERT_EQ(c.log.Size(), 3u);
    EXPECT_EQ(c.log[0].Dim(), FixDim::Unknown);
    EXPECT_EQ(c.figures.dimUnknown, 2);
    EXPECT_EQ(c.figures.twoD + c.figures.threeD, 0);
}

// Used: a satellite in view whose number the epoch's GSAs list, however each
// sentence numbers it (GN GSA 65 is GLONASS slot 1, as GL GSV 65 is).
TEST(ReportEpochs, UsedSatellitesCn0AndTrackEnds)
{
    const Collected c({Gga("GN", "101500.00", 1, 3), "$GNGSA,A,3,02,05,65,,,,,,,,,,1.5,0.8,1.2",
                       "$GPGSV,1,1,03,02,40,100,40,05,30,200,44,07,10,300,30",
                       "$GLGSV,1,1,02,65,50,010,35,66,20,020,20",
                       Gga("GN", "101501.00", 1, 2), "$GPGSA,A,3,02,07,,,,,,,,,,,1.5,0.8,1.2",
                       "$GPGSV,1,1,03,02,41,101,46,05,30,200,,07,11,301,30"});
    ASSERT_EQ(c.log.Size(), 2u);
    const RunMeans<kSatSystems>& snr = c.log.UsedSnr();
    ASSERT_EQ(snr.Runs(), 2u);
    EXPECT_DOUBLE_EQ(*snr.Mean(0, kSysGps), 42);
    EXPECT_DOUBLE_EQ(*snr.Mean(0, kSysGlonass), 35);
    EXPECT_DOUBLE_EQ(*snr.Mean(1, kSysGps), 38);
    EXPECT_FALSE(snr.Mean(1, kSysGlonass));
    auto end = [&](Gnss system, int number) { return c.log.TrackEnds()[size_t(system) * kTrackNumbers + size_t(number)]; };
    EXPECT_EQ(end(Gnss::Gps, 2).elevationDeg, 41);
    EXPECT_EQ(end(Gnss::Gps, 2).azimuthDeg, 101);
    EXPECT_EQ(end(Gnss::Gps, 5).azimuthDeg, 200);   // its last epoch without a signal leaves it
    EXPECT_EQ(end(Gnss::Glonass, 2).elevationDeg, 20);
    EXPECT_EQ(end(Gnss::Glonass, 65).elevationDeg, -1);
    EXPECT_EQ(end(Gnss::Galileo, 2).elevationDeg, -1);
}

// A report without a page skips what only its charts read; every figure, the
// CSV's epochs and the SNR means stay those of a report with a page.
TEST(ReportEpochs, WithoutChartsEveryOutputButThePageIsTheSame)
{
    for (const char* name : {"demo.nme", "demo-binr.dat"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> bytes = ReadBinaryFile(SourceDir() + "/samples/" + name);
        ASSERT_FALSE(bytes.empty());
        std::string outputs[2];
        bool skyDrawn[2] = {};
        for (const bool charts : {true, false}) {
            EpochLog log;
            log.KeepCharts(charts);
            EpochCollector collector(log);
            if (std::string(name).ends_with(".dat"))
                collector.PushBinr(bytes.data(), bytes.size());
            else
                collector.PushNmea(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            collector.Finish();
            ReportEntry entry;
            entry.name = name;
            entry.log = &log;
            entry.figures = ComputeFigures(log, std::nullopt);
            const std::vector<ReportEntry> entries{entry};
            std::ostringstream out;
            WriteJson(out, entries);
            WriteCsv(out, entries);
            WriteTextTable(out, entries);
            outputs[charts] = out.str();
            skyDrawn[charts] = std::any_of(log.Sky().begin(), log.Sky().end(), [](const SkyCell& c) { return c.count > 0; });
        }
        EXPECT_EQ(outputs[0], outputs[1]);
        EXPECT_TRUE(skyDrawn[1]);
        EXPECT_FALSE(skyDrawn[0]);
    }
}

} // namespace
