#include "ReportOptions.h"

#include "Angles.h"
#include "WeekRollover.h"

#include <algorithm>
#include <cmath>

namespace {

// "rtk-fixed,rtk-float": the kinds' bits, none for an unknown or empty
// name ("none" is no fix and cannot be accepted).
std::optional<uint16_t> ParseKinds(const std::string& list)
{
    uint16_t kinds = 0;
    size_t from = 0;
    while (from <= list.size()) {
        const size_t comma = std::min(list.find(',', from), list.size());
        const auto kind = FixKindFromName(std::string_view(list).substr(from, comma - from));
        if (!kind || *kind == FixKind::None)
            return std::nullopt;
        kinds = uint16_t(kinds | KindBit(*kind));
        from = comma + 1;
    }
    return kinds;
}

bool IsLimit(const std::string& v)
{
    return v.size() == 3 && v[0] >= '0' && v[0] <= '9' && v[1] == '.' && v[2] >= '0' && v[2] <= '9';
}

std::optional<GeoPoint> ParseReference(const std::string& text)
{
    const std::optional<BenchReference> r = ParseReferenceDegrees(text);
    if (!r)
        return std::nullopt;
    return GeoPoint{r->latDeg * kRadPerDeg, r->lonDeg * kRadPerDeg, r->heightM};
}

// "HH:MM:SS" in seconds of the day; -1 when it is not one.
int32_t ParseClock(const std::string& t)
{
    auto digit = [&](size_t i) { return i < t.size() && t[i] >= '0' && t[i] <= '9'; };
    if (t.size() != 8 || t[2] != ':' || t[5] != ':' || !digit(0) || !digit(1) || !digit(3) || !digit(4) || !digit(6)
        || !digit(7))
        return -1;
    const int h = (t[0] - '0') * 10 + t[1] - '0', m = (t[3] - '0') * 10 + t[4] - '0', s = (t[6] - '0') * 10 + t[7] - '0';
    if (h > 23 || m > 59 || s > 59)
        return -1;
    return (h * 60 + m) * 60 + s;
}

using RO = ReportOptions;
using S = const std::string&;

// Rows that set one member alike.
template <bool ReportOptions::*flag>
std::string ReportFlag(RO& o, S, S)
{
    o.*flag = true;
    return {};
}

template <std::string AcceptLimits::*limit>
std::string ReportLimit(RO& o, S option, S value)
{
    if (!IsLimit(value))
        return option + " takes a value like 1.5 (0.0 to 9.9)";
    o.limits.*limit = value;
    return {};
}

template <int32_t TimeWindow::*bound>
std::string ReportClock(RO& o, S option, S value)
{
    o.window.*bound = ParseClock(value);
    return o.window.*bound < 0 ? option + " takes a UTC time of day as HH:MM:SS" : std::string();
}

template <std::string ReportOptions::*output>
std::string ReportOutput(RO& o, S option, S value)
{
    if (value.empty())
        return option + " needs a file name (or - for standard output)";
    o.*output = value;
    return {};
}

const OptionRow<ReportOptions> kRows[] = {
    {"", nullptr, "", nullptr, [](RO& o, S, S file) { o.files.push_back(file); return std::string(); }},
    {"--report", nullptr, "", nullptr, [](RO&, S, S) { return std::string(); }},
    {"--help", nullptr, "", nullptr, ReportFlag<&RO::help>},
    {"-h", nullptr, "", nullptr, ReportFlag<&RO::help>},
    {"--nmea", nullptr, "--nmea, --binr", "protocol of every FILE (default: .dat is BINR, else NMEA)",
     [](RO& o, S, S) { o.protocol = RO::Protocol::Nmea; return std::string(); }},
    {"--binr", nullptr, "", nullptr, [](RO& o, S, S) { o.protocol = RO::Protocol::Binr; return std::string(); }},
    {"--reference", "LAT,LON,H", nullptr,
     "surveyed point: decimal degrees and metres\n(default: the mean of the accepted fixes)",
     [](RO& o, S, S v) {
         o.reference = ParseReference(v);
         return o.reference ? std::string()
                            : "--reference takes LAT,LON,HEIGHT in decimal degrees and metres, e.g. 55.75,37.62,150";
     }},
    {"--max-hdop", "X.X", nullptr, "accept fixes with HDOP up to X.X (0.0: no limit)",
     ReportLimit<&AcceptLimits::maxHdop>},
    {"--max-vdop", "X.X", nullptr, "accept fixes with VDOP up to X.X (0.0: no limit)",
     ReportLimit<&AcceptLimits::maxVdop>},
    {"--diff-only", nullptr, nullptr, "accept differential fixes only",
     [](RO& o, S, S) { o.limits.diffOnly = true; return std::string(); }},
    {"--kinds", "LIST", nullptr,
     "accept only these fix kinds, e.g. rtk-fixed,rtk-float\n(autonomous differential rtk-fixed rtk-float estimated\n"
     "manual simulated other; default: all but manual, simulated)",
     [](RO& o, S, S v) {
         const auto kinds = ParseKinds(v);
         if (!kinds)
             return std::string("--kinds takes fix kinds separated by commas: autonomous, differential, rtk-fixed, "
                                "rtk-float, estimated, manual, simulated, other");
         o.limits.kinds = *kinds;
         return std::string();
     }},
    {"--week-rollovers", "N", nullptr,
     "date BINR weeks after N rollovers in all (1 to 9)\ninstead of by each file's time",
     [](RO& o, S, S v) {
         const auto n = OptionNumber(v);
         if (!n || *n != std::floor(*n) || *n < kMinWeekRollovers || *n > kMaxWeekRollovers)
             return WeekRolloversFault();
         o.weekRollovers = int(*n);
         return std::string();
     }},
    {"--from", "HH:MM:SS", nullptr, "only epochs from this UTC time of day", ReportClock<&TimeWindow::fromS>},
    {"--to", "HH:MM:SS", nullptr, "only epochs up to this UTC time of day (inclusive)", ReportClock<&TimeWindow::toS>},
    {"--json", "FILE|-", nullptr, "every figure as JSON", ReportOutput<&RO::json>},
    {"--csv", "FILE", nullptr, "one row per epoch", ReportOutput<&RO::csv>},
    {"--html", "FILE", nullptr, "a self-contained page with the table and the charts", ReportOutput<&RO::html>},
    {"--gpx", "FILE", "--gpx FILE, --kml FILE", "the accepted fixes, one track per FILE", ReportOutput<&RO::gpx>},
    {"--kml", "FILE", "", nullptr, ReportOutput<&RO::kml>},
    {"--title", "TEXT", nullptr, "the page's title (with --html)",
     [](RO& o, S, S v) { o.title = v; return std::string(); }},
    {"--notes", "FILE", nullptr, "plain text shown on the page under its title",
     [](RO& o, S, S v) { o.notes = v; return std::string(); }},
};

} // namespace

const OptionTable<ReportOptions> kReportOptionTable = {OptionMode::Report, kRows};
