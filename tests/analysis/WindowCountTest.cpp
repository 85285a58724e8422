// The report counts what the STATISTIC window counts: its accepted fixes are
// the window's N and its epochs the window's Nall, on the samples and the
// real captures, with and without limits. The window's counts are those its
// headless run printed last, kept in tests/golden/.
#include "EpochCollector.h"
#include "Figures.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <fstream>
#include <map>
#include <string>

namespace {

struct WindowCounts {
    int64_t n = -1;
    int64_t nall = -1;
};

WindowCounts LastStatisticLine(const std::string& golden)
{
    std::ifstream in(golden);
    std::string line, last;
    while (std::getline(in, line))
        if (line.rfind("STATISTIC\t", 0) == 0)
            last = line;
    auto value = [&](const std::string& key) -> int64_t {
        const size_t at = last.find("\t" + key + "=");
        return at == std::string::npos ? -1 : std::stoll(last.substr(at + key.size() + 2));
    };
    return {value("NLabel"), value("NallLabel")};
}

struct Case {
    std::string golden;
    std::string file;
    bool binr;
    AcceptLimits limits;
    // Cycles without a GGA, which the window never sees: the report's own
    // epochs, and those of them accepted.
    int withoutGga = 0;
    int acceptedWithoutGga = 0;
};

void Check(const Case& c)
{
    SCOPED_TRACE(c.golden);
    const std::vector<uint8_t> bytes = ReadBinaryFile(c.file);
    ASSERT_FALSE(bytes.empty()) << c.file;
    EpochLog log;
    // The window accepts manual and simulated fixes too; the report only
    // when told to.
    AcceptLimits limits = c.limits;
    limits.kinds = uint16_t(kDefaultKinds | KindBit(FixKind::Manual) | KindBit(FixKind::Simulated));
    EpochCollector collector(log, limits);
    if (c.binr)
        collector.PushBinr(bytes.data(), bytes.size());
    else
        collector.PushNmea(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    collector.Finish();
    const Figures f = ComputeFigures(log, std::nullopt);
    const WindowCounts w = LastStatisticLine(SourceDir() + "/tests/golden/" + c.golden);
    ASSERT_GE(w.nall, 0) << "no STATISTIC line";
    EXPECT_EQ(f.accepted, w.n + c.acceptedWithoutGga);
    EXPECT_EQ(f.epochs, w.nall + c.withoutGga);
}

TEST(WindowCounts, Samples)
{
    const std::string samples = SourceDir() + "/samples/";
    const Case cases[] = {
        {"demo.nme.txt", samples + "demo.nme", false, {}},
        {"demo.nme-limits.txt", samples + "demo.nme", false, {"1.2", "2.0", false}},
        {"demo.dat.txt", samples + "demo-binr.dat", true, {}},
        {"demo.dat-diff.txt", samples + "demo-binr.dat", true, {"0.0", "0.0", true}},
    };
    for (const Case& c : cases)
        Check(c);
}

TEST(WindowCounts, Captures)
{
    REQUIRE_SHARED_NMEA();
    // An RMC ahead of the first GGA is a cycle of its own: A in the one, V in the other.
    const std::map<std::string, std::pair<int, int>> withoutGga = {{"bu353-glonass", {1, 1}}, {"haicom-305N", {1, 0}}};
    for (const std::string& path : SharedNmeaFiles()) {
        const std::string name = path.substr(path.find_last_of('/') + 1);
        const std::string stem = name.substr(0, name.size() - 4);
        const auto extra = withoutGga.count(stem) ? withoutGga.at(stem) : std::pair<int, int>{0, 0};
        Check({stem + ".txt", path, false, {}, extra.first, extra.second});
    }
    Check({"skytraq-dgps-diff.txt", SharedNmeaDir() + "/skytraq-dgps.log", false, {"1.0", "0.0", true}});
}

} // namespace
