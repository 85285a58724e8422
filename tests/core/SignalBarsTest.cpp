// The SIGNALS bars: GSV cycles of several talkers and signals folded into one
// bar per satellite, the bars of BINR 0x52, and the headless line.
#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "GnssEpoch.h"
#include "NmeaChecksum.h"
#include "SignalBars.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr char kEpochEnd[] = "|";

struct Folded {
    SignalBars bars;
    bool lastClose = false;
};

// Sentence bodies through the real assembler; "|" ends an epoch.
Folded Fold(const std::vector<std::string>& bodies, std::vector<SatelliteId> used, bool multiGnss)
{
    NmeaAssembler nmea;
    SignalFold fold;
    Folded out;
    for (const std::string& body : bodies) {
        if (body == kEpochEnd) {
            out.lastClose = fold.Close();
            continue;
        }
        for (char c : NmeaSentence(body))
            if (nmea.PushByte(c) == kNmeaGsv)
                fold.AddGsv(nmea.Stored(NmeaKind::Gsv));
    }
    out.bars = fold.Bars({used.data(), int(used.size())}, multiGnss);
    return out;
}

struct FoldCase {
    const char* what;
    std::vector<std::string> bodies;
    std::vector<SatelliteId> used;
    bool multiGnss;
    bool updated;        // the last epoch completed a cycle
    const char* line;
};

TEST(SignalBars, FoldsWholeCyclesIntoOneBarPerSatellite)
{
    const SatelliteId g05{Gnss::Gps, 5}, r01{Gnss::Glonass, 1};
    const FoldCase cases[] = {
        {"two signals of one talker and a second talker, NMEA 4.11",
         {"GPGSV,1,1,02,05,40,120,38,10,20,200,30,1", "GPGSV,1,1,02,05,40,120,44,10,,,,8",
          "GAGSV,1,1,01,07,50,060,41,7", kEpochEnd},
         {g05}, true, true, "SIGNALS\tG05:44:u\tG10:30:-\tE07:41:-"},
        {"a cycle of two sentences",
         {"GLGSV,2,1,05,65,10,010,20,66,11,011,21,67,12,012,22,68,13,013,23",
          "GLGSV,2,2,05,70,14,014,24", kEpochEnd},
         {r01}, true, true, "SIGNALS\tR01:20:u\tR02:21:-\tR03:22:-\tR04:23:-\tR06:24:-"},
        {"a cycle without its last sentence is not shown",
         {"GPGSV,2,1,02,05,40,120,38", kEpochEnd}, {}, true, false, "SIGNALS"},
        {"a cycle that skips a sentence is dropped",
         {"GPGSV,3,1,09,01,1,1,11", "GPGSV,3,3,09,03,3,3,33", kEpochEnd}, {}, true, false, "SIGNALS"},
        {"a cycle cut by the GGA joins the next epoch",
         {"GPGSV,2,1,02,05,40,120,38", kEpochEnd, "GPGSV,2,2,02,09,40,120,39", kEpochEnd},
         {}, true, true, "SIGNALS\tG05:38:-\tG09:39:-"},
        {"a restarted cycle keeps only its second run",
         {"GPGSV,2,1,02,05,40,120,38", "GPGSV,2,1,02,06,40,120,36", "GPGSV,2,2,02,09,40,120,39", kEpochEnd},
         {}, true, true, "SIGNALS\tG06:36:-\tG09:39:-"},
        {"a talker silent in an epoch keeps its last cycle, another's is replaced",
         {"GPGSV,1,1,02,05,40,120,38,10,20,200,30", "GLGSV,1,1,01,65,10,010,20", kEpochEnd,
          "GPGSV,1,1,01,05,40,120,40", kEpochEnd},
         {}, true, true, "SIGNALS\tG05:40:-\tR01:20:-"},
        {"systems by talker and ID, SBAS over 99 with three digits",
         {"GNGSV,1,1,04,401,10,10,30,48,20,20,31,193,30,30,32,305,40,40,33", "GBGSV,1,1,01,07,1,1,34",
          "GIGSV,1,1,01,02,1,1,35", kEpochEnd},
         {}, true, true, "SIGNALS\tE05:33:-\tC01:30:-\tC07:34:-\tJ01:32:-\tI02:35:-\tS135:31:-"},
        {"with the Multi-GNSS option off only GPS and GLONASS",
         {"GPGSV,1,1,03,05,10,10,30,48,20,20,31,67,30,30,32", "GAGSV,1,1,01,07,1,1,34", kEpochEnd},
         {}, false, true, "SIGNALS\tG05:30:-\tR03:32:-"},
        {"C/N0 outside 0-99 or empty is none; 0 is a level",
         {"GPGSV,1,1,04,01,1,1,120,02,1,1,-5,03,1,1,,04,1,1,00", kEpochEnd},
         {}, true, true, "SIGNALS\tG01::-\tG02::-\tG03::-\tG04:0:-"},
    };
    for (const FoldCase& c : cases) {
        const Folded f = Fold(c.bodies, c.used, c.multiGnss);
        EXPECT_EQ(SignalsLine(f.bars), c.line) << c.what;
        EXPECT_EQ(f.lastClose, c.updated) << c.what;
    }
}

// A stream of odd talkers must not lock the real ones out.
TEST(SignalBars, ManyTalkersMakeRoomForTheLatest)
{
    std::vector<std::string> bodies;
    for (char a = 'A'; a <= 'Z'; ++a)
        for (char b : {'A', 'B'})
            bodies.push_back(std::string{a, b} + "GSV,1,1,01,00,1,1,30");
    bodies.push_back("GPGSV,1,1,01,07,1,1,30");
    bodies.push_back(kEpochEnd);
    EXPECT_EQ(SignalsLine(Fold(bodies, {}, true).bars), "SIGNALS\tG07:30:-");
}

TEST(SignalBars, KeepsEverySignalAndTheFirstPosition)
{
    const Folded f = Fold({"GPGSV,1,1,01,05,,,38,1", "GPGSV,1,1,01,05,40,120,44,8", "GNGSV,1,1,01,05,41,121,36,1",
                           kEpochEnd},
                          {}, true);
    ASSERT_EQ(f.bars.count, 1);
    const SignalBar& b = f.bars.bar[0];
    EXPECT_EQ(b.cn0DbHz, 44);
    EXPECT_EQ(b.elevationDeg, 40);
    EXPECT_EQ(b.azimuthDeg, 120);
    ASSERT_EQ(b.signalCount, 2);
    EXPECT_EQ(b.levels[0].signalId, '1');
    EXPECT_EQ(b.levels[0].cn0DbHz, 38);   // GP's L1 beats GN's
    EXPECT_EQ(b.levels[1].signalId, '8');
    EXPECT_EQ(b.levels[1].cn0DbHz, 44);
}

std::vector<uint8_t> SatRecord(uint8_t system, uint8_t number, int8_t elevation, int16_t azimuth, int8_t snr)
{
    return {system, number, 0, uint8_t(elevation), uint8_t(azimuth & 0xFF), uint8_t(uint16_t(azimuth) >> 8),
            uint8_t(snr)};
}

void FeedFrame(BinrDecoder& binr, uint8_t id, const std::vector<uint8_t>& payload)
{
    uint8_t frame[kBinrFrameMax * 2];
    const int n = BuildBinrFrame(id, payload.data(), int(payload.size()), frame, int(sizeof frame));
    ASSERT_GT(n, 0);
    int result = 0;
    for (int i = 0; i < n; ++i)
        result = binr.PushByte(frame[i]);
    ASSERT_EQ(result, id);
}

TEST(SignalBars, FromBinrWithUsedAndBad)
{
    BinrDecoder binr;
    std::vector<uint8_t> sats;
    for (const auto& r : {SatRecord(kSystemGlonass, 3, 30, 300, 40), SatRecord(kSystemGps, 7, 10, 100, 45),
                          SatRecord(kSystemSbas, 124, 20, 200, 35), SatRecord(kSystemGps, 2, -2, 5, -1),
                          SatRecord(kSystemGlonass, 16, 60, 90, 25)})
        sats.insert(sats.end(), r.begin(), r.end());
    FeedFrame(binr, kMsgSatInView, sats);
    // Header: GPS 7 and GLONASS 3 used; entries: GPS 2 and GLONASS 16 bad.
    std::vector<uint8_t> status(kStatusHeaderSize, 0);
    status[4] = 1u << 6;
    status[8] = 1u << 2;
    for (uint8_t bad : {uint8_t(2), uint8_t(64 + 16)})
        status.insert(status.end(), {bad, 0, 0, 0, 0});
    FeedFrame(binr, kMsgSolutionStatus, status);

    const SignalBars on = BarsFromBinr(binr, true);
    EXPECT_EQ(SignalsLine(on), "SIGNALS\tG02::-\tG07:45:u\tR03:40:u\tR16:25:-\tS124:35:-");
    ASSERT_EQ(on.count, 5);
    EXPECT_TRUE(on.bar[0].bad);
    EXPECT_FALSE(on.bar[1].bad);
    EXPECT_TRUE(on.bar[3].bad);
    EXPECT_EQ(on.bar[2].elevationDeg, 30);
    EXPECT_EQ(on.bar[2].azimuthDeg, 300);
    EXPECT_EQ(SignalsLine(BarsFromBinr(binr, false)), "SIGNALS\tG02::-\tG07:45:u\tR03:40:u\tR16:25:-");
}

// A real dual-system receiver: the line at the second GGA, read by hand from
// the GSA and GSV sentences before it, with the used satellites of GnssEpoch.
TEST(SignalBars, CaptureLine)
{
    REQUIRE_SHARED_NMEA();
    NmeaAssembler nmea;
    GnssEpoch epoch;
    epoch.SetEnabled(true);
    SignalFold fold;
    std::vector<std::string> lines;
    for (uint8_t byte : ReadBinaryFile(SharedNmeaDir() + "/quectel-l76k-dual.log")) {
        const int result = nmea.PushByte(char(byte));
        epoch.Feed(result, nmea);
        if (result == kNmeaGsv)
            fold.AddGsv(nmea.Stored(NmeaKind::Gsv));
        if (result != kNmeaGga || !fold.Close())
            continue;
        std::vector<SatelliteId> used;
        for (int i = 0; i < epoch.Picture().usedCount; ++i)
            used.push_back(epoch.Picture().used[i].id);
        lines.push_back(SignalsLine(fold.Bars({used.data(), int(used.size())}, true)));
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "SIGNALS\tG01:31:u\tG06:29:u\tG12::-\tG14:24:u\tG15:20:u\tG17:27:u\tG19:30:u\tG20:12:u"
                        "\tG22:27:u\tG24:28:u\tG30:23:u\tR01::-\tR02:36:-\tR03::-\tR10::-\tR11:35:u\tR12:25:-"
                        "\tR20:28:u\tR21:28:u\tR22:33:-\tC13:19:u\tC27:25:u\tC28:32:u\tC38:31:u");
}

} // namespace
