// The table's "best" marks and labels through the real collector: a GN
// talker's count without GSA is no "other" count and is not ranked; a bias
// from the mean of the same fixes is not ranked, one from a given reference is.
#include "EpochCollector.h"
#include "Figures.h"
#include "ReceiverReport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

namespace {

std::string Sentence(const std::string& body) { return NmeaSentence(body); }

// Ten epochs of one talker, `used` satellites, latitude minutes offset by
// `shift` (one unit of the last digit is about 1.9 mm).
std::string Stream(const char* talker, int used, int shift)
{
    std::string s;
    for (int i = 0; i < 10; ++i)
        s += Sentence(std::string(talker) + "GGA,1000" + std::to_string(10 + i) + ".00,5545." +
                      std::to_string(10000 + shift + i * 50) + ",N,03737.00000,E,1," + std::to_string(used) +
                      ",1.0,150.0,M,0.0,M,,");
    return s;
}

std::string Line(const std::string& table, const std::string& start)
{
    std::istringstream in(table);
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, start.size(), start) == 0)
            return line;
    return "(no line " + start + ")";
}

std::string Table(const std::vector<std::string>& streams, std::optional<GeoPoint> reference)
{
    std::vector<EpochLog> logs(streams.size());
    std::vector<ReportEntry> entries;
    for (size_t i = 0; i < streams.size(); ++i) {
        EpochCollector c(logs[i], {}, {});
        c.PushNmea(streams[i].data(), streams[i].size());
        c.Finish();
        ReportEntry e;
        e.name = "r" + std::to_string(i);
        e.log = &logs[i];
        e.figures = ComputeFigures(logs[i], reference);
        entries.push_back(e);
    }
    std::ostringstream out;
    WriteTextTable(out, entries);
    return out.str();
}

TEST(ReportTable, UnknownSystemCountsAndMeanBiasesAreNotRanked)
{
    struct Row {
        std::vector<std::string> streams;
        bool reference;
        const char* start;      // the line's label
        bool marked;            // a * on the line
    };
    const GeoPoint ref{(55 + 45.1 / 60) * M_PI / 180, (37 + 37.0 / 60) * M_PI / 180, 150};
    const Row rows[] = {
        {{Stream("GN", 12, 0), Stream("GA", 6, 0)}, false, "Other or GNSS (system unknown) used, mean", false},
        {{Stream("GA", 12, 0), Stream("GA", 6, 0)}, false, "Other used, mean", true},
        {{Stream("GP", 8, 0), Stream("GP", 8, 3000)}, false, "Bias north, m", false},
        {{Stream("GP", 8, 0), Stream("GP", 8, 3000)}, true, "Bias north, m", true},
        {{Stream("GP", 8, 0), Stream("GP", 8, 3000)}, false, "SD north, m ", false},   // equal spreads
    };
    for (const Row& r : rows) {
        const std::string line = Line(Table(r.streams, r.reference ? std::optional<GeoPoint>(ref) : std::nullopt), r.start);
        EXPECT_EQ(line.find('*') != std::string::npos, r.marked) << line;
        EXPECT_EQ(line.compare(0, std::strlen(r.start), r.start), 0) << line;
    }
}

} // namespace
