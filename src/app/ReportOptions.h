#pragma once
// What kestrova --report is asked for, as its option table (OptionTable.h,
// the rows in ReportOptions.cpp) reads it from the command line. Free of Qt:
// the kestrova entry runs the report without it.
#include "EpochCollector.h"
#include "EpochLog.h"
#include "OptionTable.h"

#include <optional>
#include <string>
#include <vector>

struct ReportOptions {
    enum class Protocol { ByName, Nmea, Binr } protocol = Protocol::ByName;
    AcceptLimits limits;
    TimeWindow window;
    std::optional<GeoPoint> reference;
    std::string json, csv, html, gpx, kml;   // empty: not asked for; "-": standard output
    std::vector<std::string> files;
    std::string title, notes;   // --title TEXT, --notes FILE (its name)
    int weekRollovers = 0;   // 0: BINR weeks dated by each file's time
    bool help = false;
    std::string error;
};

// The report's options, in the order of its usage text.
extern const OptionTable<ReportOptions> kReportOptionTable;

// argv[0] is the program; "--report" may stand anywhere.
ReportOptions ParseReportOptions(int argc, char* argv[]);
std::string ReportUsageText();
