// The committed demo recordings: demo-binr.dat is what the simulator's
// scenario makes, demo.nme is the NMEA side file the program writes for it
// (under a name of its own, so that playing demo-binr.dat, which writes
// demo-binr.nme, never touches the other sample), and both are whole, valid
// and show the variety the views are there to show.
#include "SimHarness.h"

#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "NmeaAssembler.h"
#include "Nmeafile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

namespace {

constexpr int kDemoEpochs = 600;
// 18 September 2018 10:15:00 UTC: GPS week 2019, the 171st of the cycle that
// began in August 1999; Tuesday, 2 days and 36900 s into the week.
constexpr int kDemoWeek = 2019 % 1024;
constexpr double kDemoFirstTimeOfWeekMs = (2 * 86400 + 36900) * 1000.0;

bool RanCleanly(const std::string& command)
{
    const int status = std::system(command.c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

ByteVec RegenerateBinr(const std::string& file)
{
    const std::string command = std::string(KESTROVA_SIM_BIN) + " --write-demo " + file +
                                " --protocol binr --seconds 600 --scenario moving";
    EXPECT_TRUE(RanCleanly(command)) << command;
    ByteVec bytes = ReadBinaryFile(file);
    unlink(file.c_str());
    return bytes;
}

// The side file of a copy of the committed BINR demo, converted in a folder of
// its own so that nothing is written beside the sources.
ByteVec SideFileOfDemoDat()
{
    namespace fs = std::filesystem;
    const fs::path folder = TempPath("demo-side");
    fs::remove_all(folder);
    fs::create_directory(folder);
    const fs::path dat = folder / "demo.dat";
    EXPECT_TRUE(WriteBinaryFile(dat.string(), ReadBinaryFile(SourceDir() + "/samples/demo-binr.dat")));
    const std::string command = std::string(KESTROVA_BIN) + " --to-nmea '" + dat.string() + "' >/dev/null";
    EXPECT_TRUE(RanCleanly(command)) << command;
    ByteVec bytes = ReadBinaryFile((folder / "demo.nme").string());
    fs::remove_all(folder);
    return bytes;
}

} // namespace

TEST(DemoTest, BinrRecordingIsWhatTheScenarioMakes)
{
    const ByteVec committed = ReadBinaryFile(SourceDir() + "/samples/demo-binr.dat");
    EXPECT_FALSE(committed.empty());
    EXPECT_TRUE(committed == RegenerateBinr(TempPath("demo.dat")))
        << "demo-binr.dat differs from tools/make-demo.sh's output";
}

// The two samples are one recording: the NMEA one is exactly what playing
// the BINR one writes as its side file.
TEST(DemoTest, NmeaRecordingIsTheSideFileOfTheBinrRecording)
{
    const ByteVec committed = ReadBinaryFile(SourceDir() + "/samples/demo.nme");
    const ByteVec side = SideFileOfDemoDat();
    EXPECT_FALSE(committed.empty());
    EXPECT_FALSE(side.empty());
    EXPECT_TRUE(committed == side) << "demo.nme differs from the --to-nmea side file of demo-binr.dat; "
                                      "run tools/make-demo.sh";
}

// Playing a BINR sample writes its side file beside it: never over a sample.
TEST(DemoTest, NoSampleIsTheSideFileOfAnother)
{
    namespace fs = std::filesystem;
    std::set<std::string> samples;
    for (const auto& entry : fs::directory_iterator(SourceDir() + "/samples"))
        samples.insert(entry.path().filename().string());
    ASSERT_TRUE(samples.count("demo.nme"));
    for (const std::string& name : samples)
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dat") == 0)
            EXPECT_NE(SideFileName(name), "demo.nme") << name;
}

TEST(DemoTest, NmeaRecordingShowsTenMinutesOfVariedFixes)
{
    const ByteVec bytes = ReadBinaryFile(SourceDir() + "/samples/demo.nme");
    NmeaAssembler a;
    std::map<int, int> results;
    int gga = 0, diff = 0, gsaBothSystems = 0;
    double altMin = 1e9, altMax = -1e9;
    std::string firstTime, lastTime;
    for (uint8_t b : bytes) {
        const int r = a.PushByte(char(b));
        if (r != kNmeaNone)
            ++results[r];
        if (r == kNmeaGga) {
            const NmeaFields& f = a.Stored(NmeaKind::Gga);
            ++gga;
            (firstTime.empty() ? firstTime : lastTime) = f.slot[1];
            diff += std::string(f.slot[6]) == "2";
            const double alt = std::atof(f.slot[9]);
            altMin = std::min(altMin, alt);
            altMax = std::max(altMax, alt);
            const int used = std::atoi(f.slot[7]);
            EXPECT_GE(used, 8);
            EXPECT_LE(used, 12);
        } else if (r == kNmeaGsa) {
            const NmeaFields& f = a.Stored(NmeaKind::Gsa);
            bool gps = false, glonass = false;
            for (int k = 3; k <= f.count - 4; ++k) {
                const int id = std::atoi(f.slot[k]);
                gps |= id >= 1 && id <= 32;
                glonass |= id >= 65 && id <= 88;
            }
            gsaBothSystems += gps && glonass;
            EXPECT_GT(std::atof(f.slot[f.count - 1]), 0.5) << "VDOP";
        }
    }
    // Every sentence passes its checksum and is one the views read.
    const long sentences = std::count(bytes.begin(), bytes.end(), uint8_t('$'));
    EXPECT_EQ(results[kNmeaError], 0);
    EXPECT_EQ(results[kNmeaOther], 0);
    EXPECT_EQ(results[kNmeaGga] + results[kNmeaRmc] + results[kNmeaGsa] + results[kNmeaPvktd] + results[kNmeaGsv],
              sentences);
    EXPECT_EQ(gga, kDemoEpochs);
    for (int kind : {kNmeaRmc, kNmeaGsa, kNmeaPvktd})
        EXPECT_EQ(results[kind], kDemoEpochs) << "result " << kind;
    EXPECT_GE(results[kNmeaGsv], kDemoEpochs) << "a sky of two systems needs several GSV sentences";
    EXPECT_EQ(gsaBothSystems, kDemoEpochs);
    EXPECT_EQ(firstTime, "101500.000");
    EXPECT_EQ(lastTime, "102459.000");
    EXPECT_GT(diff, 60);
    EXPECT_LT(diff, kDemoEpochs - 60);
    EXPECT_GT(altMax - altMin, 10.0) << "the height changes";
}

TEST(DemoTest, BinrRecordingHoldsDeviceSolutionsStatusAndSky)
{
    const ByteVec bytes = ReadBinaryFile(SourceDir() + "/samples/demo-binr.dat");
    BinrDecoder d;
    std::vector<int> ids;
    int withBad = 0, diff = 0, invalid = 0;
    std::set<int> badNumbers;
    bool first = true;
    for (uint8_t b : bytes) {
        const int r = d.PushByte(b);
        if (r == 0)
            continue;
        ids.push_back(r);
        if (r == kMsgNavSolution) {
            const NavSolution nav = ReadNavSolution(d.NavSolution());
            if (first) {
                EXPECT_EQ(nav.week, kDemoWeek);
                EXPECT_EQ(nav.timeOfWeekMs, kDemoFirstTimeOfWeekMs);
                first = false;
            }
            diff += (nav.flags & kSolutionDiff) != 0;
            invalid += (nav.flags & kSolutionValid) == 0;
            const DopInfo dop = ReadDopInfo(d.DopInfo());
            EXPECT_GE(dop.gpsCount + dop.glonassCount, 8);
            EXPECT_GT(dop.hdop, 0.5f);
            EXPECT_LT(dop.hdop, 3.0f);
        } else if (r == kMsgSolutionStatus) {
            withBad += d.BadSatCount() > 0;
            for (int i = 0; i < d.BadSatCount(); ++i)
                badNumbers.insert(d.BadSatNumber(i));
            const SolutionStatus st = ReadSolutionStatus(d.StatusHeader());
            EXPECT_NE(st.gpsUsed, 0u);
            EXPECT_NE(st.glonassUsed, 0u);
        } else if (r == kMsgSatInView) {
            EXPECT_GE(d.SatInViewCount(), 10);
            EXPECT_LE(d.SatInViewCount(), 16);
        }
    }
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids.front(), kMsgDeviceInfo);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), -1), 0);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), kMsgNavSolution), kDemoEpochs);
    EXPECT_EQ(invalid, 0);
    EXPECT_GT(diff, 60);
    EXPECT_GT(withBad, 60);
    EXPECT_TRUE(badNumbers.count(13)) << "a bad GPS satellite";
    EXPECT_TRUE(badNumbers.count(64 + 10)) << "a bad GLONASS satellite";
}
