#include "OptionTable.h"

#include "Angles.h"
#include "Instance.h"
#include "LineRates.h"
#include "WeekRollover.h"

#include <QRegularExpression>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>

namespace {

// ---- values of the program's options ---------------------------------------

QString Q(const std::string& text) { return QString::fromLocal8Bit(text.data(), qsizetype(text.size())); }
std::string Bytes(const QString& text) { return text.toLocal8Bit().toStdString(); }

// "0.0" style limits, as the Statistic window's one-digit edits take them.
bool ValidLimit(const QString& text)
{
    static const QRegularExpression pattern("^[0-9]\\.[0-9]$");
    return pattern.match(text).hasMatch();
}

// 0.25 to 64, or 0 when the text is no such number.
double PaceValue(const QString& text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && v >= 0.25 && v <= 64 ? v : 0;
}

// "HH:MM:SS" as milliseconds of the day, or -1.
int TimeOfDayValue(const QString& text)
{
    static const QRegularExpression pattern("^([01][0-9]|2[0-3]):([0-5][0-9]):([0-5][0-9])$");
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return -1;
    return ((m.captured(1).toInt() * 60 + m.captured(2).toInt()) * 60 + m.captured(3).toInt()) * 1000;
}

constexpr int64_t kMaxSeconds = 366 * 86400;

const std::string kRolloverCount = "--week-rollovers takes a count from " + std::to_string(kMinWeekRollovers) +
                                   " to " + std::to_string(kMaxWeekRollovers);

std::string TakeShow(CommandLine& cl, const std::string& value)
{
    static const QStringList known = {"position", "statistic", "satellites", "visual", "profile", "signals", "all"};
    for (const QString& view : Q(value).split(',', Qt::SkipEmptyParts)) {
        const QString name = view.trimmed().toLower();
        if (!known.contains(name))
            return "--show: unknown view " + Bytes(view);
        cl.show << name;
    }
    return {};
}

// ---- values of the report's options ----------------------------------------

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

std::optional<double> Number(const std::string& text)
{
    double v = 0;
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || p != end || text.empty() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// LAT,LON,H in degrees and metres, as typed (the bench keeps them so).
std::optional<BenchReference> ParseReferenceDegrees(const std::string& text)
{
    const size_t a = text.find(',');
    const size_t b = a == std::string::npos ? a : text.find(',', a + 1);
    if (b == std::string::npos || text.find(',', b + 1) != std::string::npos)
        return std::nullopt;
    const auto lat = Number(text.substr(0, a));
    const auto lon = Number(text.substr(a + 1, b - a - 1));
    const auto h = Number(text.substr(b + 1));
    if (!lat || !lon || !h || std::fabs(*lat) > 90 || std::fabs(*lon) > 180)
        return std::nullopt;
    return BenchReference{*lat, *lon, *h};
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


// ---- the table -------------------------------------------------------------

// The fault of the option as given, empty when it was taken.
using Take = std::string (*)(ParsedOptions& p, const std::string& option, const std::string& value);

struct OptionRow {
    OptionMode mode;
    const char* name;    // as typed; "": takes each argument that is no option; nullptr: a usage line only
    const char* value;   // the form of its value ("X"); nullptr: it takes none
    const char* shown;   // the usage's name when not "NAME VALUE"; "": not in the usage
    const char* help;    // lines separated by '\n'
    Take take;
};

// Rows that set one member alike.
template <bool CommandLine::*flag>
std::string ProgramFlag(ParsedOptions& p, const std::string&, const std::string&)
{
    p.program.*flag = true;
    return {};
}

template <bool ReportOptions::*flag>
std::string ReportFlag(ParsedOptions& p, const std::string&, const std::string&)
{
    p.report.*flag = true;
    return {};
}

template <QString CommandLine::*limit>
std::string ProgramLimit(ParsedOptions& p, const std::string& option, const std::string& value)
{
    if (!ValidLimit(Q(value)))
        return option + " takes a value like 1.5 (0.0 to 9.9)";
    p.program.*limit = Q(value);
    return {};
}

template <std::string AcceptLimits::*limit>
std::string ReportLimit(ParsedOptions& p, const std::string& option, const std::string& value)
{
    if (!IsLimit(value))
        return option + " takes a value like 1.5 (0.0 to 9.9)";
    p.report.limits.*limit = value;
    return {};
}

template <int32_t TimeWindow::*bound>
std::string ReportClock(ParsedOptions& p, const std::string& option, const std::string& value)
{
    p.report.window.*bound = ParseClock(value);
    return p.report.window.*bound < 0 ? option + " takes a UTC time of day as HH:MM:SS" : std::string();
}

template <std::string ReportOptions::*output>
std::string ReportOutput(ParsedOptions& p, const std::string& option, const std::string& value)
{
    if (value.empty())
        return option + " needs a file name (or - for standard output)";
    p.report.*output = value;
    return {};
}

constexpr OptionMode P = OptionMode::Program;
constexpr OptionMode R = OptionMode::Report;
using CL = CommandLine;
using RO = ReportOptions;
using S = const std::string&;

const OptionRow kOptions[] = {
    // The program, in the order of its usage text.
    {P, "", nullptr, "FILE", "a recording played at start-up",
     [](ParsedOptions& p, S, S file) {
         (p.program.bench ? p.program.benchSources : p.program.files) << Q(file);
         return std::string();
     }},
    {P, "--nmea", nullptr, "--nmea, --binr", "protocol of FILE (default: .dat is BINR, else NMEA)",
     [](ParsedOptions& p, S, S) { p.program.protocol = CL::Protocol::Nmea; return std::string(); }},
    {P, "--binr", nullptr, "", nullptr,
     [](ParsedOptions& p, S, S) { p.program.protocol = CL::Protocol::Binr; return std::string(); }},
    {P, "--show", "VIEWS", nullptr, "views to show, comma-separated: position,statistic,\nsatellites,visual,profile,signals, or all; with\n--headless, signals (or all) adds the SIGNALS lines",
     [](ParsedOptions& p, S, S views) { return TakeShow(p.program, views); }},
    {P, "--fast", nullptr, nullptr, "play FILE at fast pace", ProgramFlag<&CL::fast>},
    {P, "--exit-after-play", nullptr, nullptr, "quit when the playback of FILE stops", ProgramFlag<&CL::exitAfterPlay>},
    {P, "--player", nullptr, nullptr, "show the PLAYER window (timeline, step, speed)", ProgramFlag<&CL::player>},
    {P, "--bench", nullptr, "--bench [SOURCE[=NAME]]...",
     "show the BENCH window; each SOURCE after it, a port or\nnetwork address as for --port (NAME: its short name),\n"
     "joins the bench's remembered sources",
     ProgramFlag<&CL::bench>},
    {P, "--pace", "X", nullptr, "replay FILE at X times its recorded pace (0.25 to 64)",
     [](ParsedOptions& p, S, S v) {
         p.program.pace = PaceValue(Q(v));
         return p.program.pace == 0 ? "--pace takes a speed from 0.25 to 64, not " + v : std::string();
     }},
    {P, "--from", "HH:MM:SS", nullptr, "start the paced replay at the first epoch at or after\nthis UTC time",
     [](ParsedOptions& p, S, S v) {
         p.program.fromMsOfDay = TimeOfDayValue(Q(v));
         return p.program.fromMsOfDay < 0 ? "--from takes a time as HH:MM:SS, not " + v : std::string();
     }},
    {P, "--port", "SOURCE", nullptr,
     "also offer this serial device or network source in the\nport list: a path, tcp://HOST:PORT, udp://:PORT or\n"
     "gpsd://HOST[:PORT][/DEVICE] (repeatable; KESTROVA_PORTS\nadds a colon-separated list)",
     [](ParsedOptions& p, S, S source) { p.program.ports << Q(source); return std::string(); }},
    {P, "--watch", nullptr, nullptr, "open the first --port at start-up and show it live,\nwriting nothing",
     ProgramFlag<&CL::watch>},
    {P, "--reconnect", nullptr, nullptr,
     "when a source is lost while recording or watching, try\nit again every second",
     ProgramFlag<&CL::reconnect>},
    {P, "--instance", "NAME", nullptr, "a separate instance: settings Kestrova-NAME, NAME in\nthe window title",
     [](ParsedOptions& p, S, S v) {
         p.program.instance = Q(v);
         const bool taken = !p.program.instance.isEmpty() && SetInstanceName(p.program.instance);
         return taken ? std::string() : "--instance takes 1 to 32 letters, digits, '-' or '_'";
     }},
    {P, "--headless", nullptr, nullptr,
     "play FILE fast without a display and print every view\nrefresh as a tab-separated line on standard output",
     ProgramFlag<&CL::headless>},
    {P, "--max-hdop", "X.X", nullptr, "Statistic HDOP limit (0.0: none)", ProgramLimit<&CL::maxHdop>},
    {P, "--max-vdop", "X.X", nullptr, "Statistic VDOP limit (0.0: none)", ProgramLimit<&CL::maxVdop>},
    {P, "--diff-only", nullptr, nullptr, "Statistic accepts differential fixes only", ProgramFlag<&CL::diffOnly>},
    {P, nullptr, nullptr, "--headless --port SOURCE",
     "monitor a live source without a display, printing the\nsame lines; ends on SIGINT or SIGTERM. Exit status 0,\n"
     "1 when the source is lost (without --reconnect) or\nFILE or standard output fails, 2 when it cannot be\nopened",
     nullptr},
    {P, "--baud", "N", nullptr, "line rate of a serial SOURCE (default 4800)",
     [](ParsedOptions& p, S, S v) {
         bool ok = false;
         p.program.baud = Q(v).toInt(&ok);
         return ok && IsLineRate(p.program.baud) ? std::string() : "--baud: not a line rate: " + v;
     }},
    {P, "--record", "FILE", nullptr,
     "record the source into FILE, as the Record button does;\nan existing non-empty FILE is refused (exit status 2)",
     [](ParsedOptions& p, S, S file) {
         // An empty name would quietly watch instead of recording.
         p.program.record = Q(file);
         return p.program.record.isEmpty() ? "--record needs a FILE name" : std::string();
     }},
    {P, "--append", nullptr, nullptr, "continue an existing FILE, its FILE.times and side file",
     ProgramFlag<&CL::append>},
    {P, "--overwrite", nullptr, nullptr, "replace an existing FILE", ProgramFlag<&CL::overwrite>},
    {P, "--seconds", "N", nullptr, "end after N seconds (at most 31622400, a year)",
     [](ParsedOptions& p, S, S v) {
         bool ok = false;
         p.program.seconds = Q(v).toLongLong(&ok);
         const bool taken = ok && p.program.seconds >= 1 && p.program.seconds <= kMaxSeconds;
         return taken ? std::string() : "--seconds takes 1 to " + std::to_string(kMaxSeconds);
     }},
    {P, nullptr, nullptr, "--headless --bench SOURCE[=NAME]...",
     "record a bench without a display: every SOURCE at once\ninto one test folder under --record-dir, a line per\n"
     "receiver a second; ends on SIGINT, SIGTERM or --seconds\nand writes the folder's report page. A SOURCE may end\n"
     "in ,nmea or ,binr and ,BAUD (default: --nmea/--binr,\n--baud). Exit status 0, 1 when a source failed or was\n"
     "lost at the end or a file or standard output failed,\n2 when the folder cannot be made or no source opens",
     nullptr},
    {P, "--record-dir", "DIR", nullptr, "where the bench's test folder is made",
     [](ParsedOptions& p, S, S dir) {
         p.program.recordDir = Q(dir);
         return p.program.recordDir.isEmpty() ? "--record-dir needs a folder" : std::string();
     }},
    {P, "--title", "TEXT", nullptr, "the bench's title, also in its folder's name",
     [](ParsedOptions& p, S, S v) { p.program.title = Q(v); return std::string(); }},
    {P, "--reference", "LAT,LON,H", nullptr, "the bench's surveyed point: decimal degrees and metres",
     [](ParsedOptions& p, S, S v) {
         p.program.reference = ParseReferenceDegrees(v);
         return p.program.reference
                    ? std::string()
                    : "--reference takes LAT,LON,HEIGHT in decimal degrees and metres, e.g. 55.75,37.62,150";
     }},
    {P, "--week-rollovers", "N", nullptr,
     "date BINR weeks after N week-number rollovers in all\n(1: 1999-2019, 2: 2019-2038); default: by the clock\n"
     "for live data, by the file's time for a recording",
     [](ParsedOptions& p, S, S v) {
         bool ok = false;
         const int n = Q(v).toInt(&ok);
         if (!ok || n < kMinWeekRollovers || n > kMaxWeekRollovers)
             return kRolloverCount;
         p.program.weekRollovers = n;
         return std::string();
     }},
    {P, "--multi-gnss", nullptr, nullptr,
     "read every constellation (GSAs merged per epoch, Galileo,\nBeiDou, QZSS; RTK status words); kept in the settings",
     ProgramFlag<&CL::multiGnss>},
    {P, "--to-nmea", nullptr, "--to-nmea FILE...", "write the NMEA side file of each BINR recording",
     ProgramFlag<&CL::toNmea>},
    {P, "--help", nullptr, nullptr, "this text", ProgramFlag<&CL::help>},
    {P, "-h", nullptr, "", nullptr, ProgramFlag<&CL::help>},

    // kestrova --report, in the order of its usage text.
    {R, "", nullptr, "", nullptr,
     [](ParsedOptions& p, S, S file) { p.report.files.push_back(file); return std::string(); }},
    {R, "--report", nullptr, "", nullptr, [](ParsedOptions&, S, S) { return std::string(); }},
    {R, "--help", nullptr, "", nullptr, ReportFlag<&RO::help>},
    {R, "-h", nullptr, "", nullptr, ReportFlag<&RO::help>},
    {R, "--nmea", nullptr, "--nmea, --binr", "protocol of every FILE (default: .dat is BINR, else NMEA)",
     [](ParsedOptions& p, S, S) { p.report.protocol = RO::Protocol::Nmea; return std::string(); }},
    {R, "--binr", nullptr, "", nullptr,
     [](ParsedOptions& p, S, S) { p.report.protocol = RO::Protocol::Binr; return std::string(); }},
    {R, "--reference", "LAT,LON,H", nullptr,
     "surveyed point: decimal degrees and metres\n(default: the mean of the accepted fixes)",
     [](ParsedOptions& p, S, S v) {
         p.report.reference = ParseReference(v);
         return p.report.reference
                    ? std::string()
                    : "--reference takes LAT,LON,HEIGHT in decimal degrees and metres, e.g. 55.75,37.62,150";
     }},
    {R, "--max-hdop", "X.X", nullptr, "accept fixes with HDOP up to X.X (0.0: no limit)",
     ReportLimit<&AcceptLimits::maxHdop>},
    {R, "--max-vdop", "X.X", nullptr, "accept fixes with VDOP up to X.X (0.0: no limit)",
     ReportLimit<&AcceptLimits::maxVdop>},
    {R, "--diff-only", nullptr, nullptr, "accept differential fixes only",
     [](ParsedOptions& p, S, S) { p.report.limits.diffOnly = true; return std::string(); }},
    {R, "--kinds", "LIST", nullptr,
     "accept only these fix kinds, e.g. rtk-fixed,rtk-float\n(autonomous differential rtk-fixed rtk-float estimated\n"
     "manual simulated other; default: all but manual, simulated)",
     [](ParsedOptions& p, S, S v) {
         const auto kinds = ParseKinds(v);
         if (!kinds)
             return std::string("--kinds takes fix kinds separated by commas: autonomous, differential, rtk-fixed, "
                                "rtk-float, estimated, manual, simulated, other");
         p.report.limits.kinds = *kinds;
         return std::string();
     }},
    {R, "--week-rollovers", "N", nullptr,
     "date BINR weeks after N rollovers in all (1 to 9)\ninstead of by each file's time",
     [](ParsedOptions& p, S, S v) {
         const auto n = Number(v);
         if (!n || *n != std::floor(*n) || *n < kMinWeekRollovers || *n > kMaxWeekRollovers)
             return kRolloverCount;
         p.report.weekRollovers = int(*n);
         return std::string();
     }},
    {R, "--from", "HH:MM:SS", nullptr, "only epochs from this UTC time of day", ReportClock<&TimeWindow::fromS>},
    {R, "--to", "HH:MM:SS", nullptr, "only epochs up to this UTC time of day (inclusive)",
     ReportClock<&TimeWindow::toS>},
    {R, "--json", "FILE|-", nullptr, "every figure as JSON", ReportOutput<&RO::json>},
    {R, "--csv", "FILE", nullptr, "one row per epoch", ReportOutput<&RO::csv>},
    {R, "--html", "FILE", nullptr, "a self-contained page with the table and the charts", ReportOutput<&RO::html>},
    {R, "--gpx", "FILE", "--gpx FILE, --kml FILE", "the accepted fixes, one track per FILE", ReportOutput<&RO::gpx>},
    {R, "--kml", "FILE", "", nullptr, ReportOutput<&RO::kml>},
    {R, "--title", "TEXT", nullptr, "the page's title (with --html)",
     [](ParsedOptions& p, S, S v) { p.report.title = v; return std::string(); }},
    {R, "--notes", "FILE", nullptr, "plain text shown on the page under its title",
     [](ParsedOptions& p, S, S v) { p.report.notes = v; return std::string(); }},
};

// Where the help starts in each mode's usage, after two spaces and the name.
int HelpColumn(OptionMode mode) { return mode == OptionMode::Program ? 22 : 27; }

bool IsOption(OptionMode mode, const std::string& a)
{
    if (mode == OptionMode::Program)
        return a.compare(0, 2, "--") == 0;
    return a.size() > 1 && a[0] == '-';
}

const OptionRow* Find(OptionMode mode, const char* name)
{
    for (const OptionRow& row : kOptions)
        if (row.mode == mode && row.name && std::strcmp(row.name, name) == 0)
            return &row;
    return nullptr;
}

} // namespace

ParsedOptions ParseOptions(OptionMode mode, const std::vector<std::string>& arguments)
{
    ParsedOptions p;
    for (size_t i = 1; i < arguments.size() && p.error.empty(); ++i) {
        const std::string& a = arguments[i];
        const OptionRow* row = a.empty() ? nullptr : Find(mode, a.c_str());
        if (!row && IsOption(mode, a)) {
            p.error = "unknown option " + a;
            break;
        }
        if (!row) {
            p.error = Find(mode, "")->take(p, a, a);
            continue;
        }
        if (row->value && i + 1 >= arguments.size()) {
            p.error = a + " needs a value";
            break;
        }
        p.error = row->take(p, a, row->value ? arguments[++i] : std::string());
    }
    return p;
}

std::string OptionHelp(OptionMode mode)
{
    const size_t column = size_t(HelpColumn(mode));
    std::string text;
    for (const OptionRow& row : kOptions) {
        if (row.mode != mode || (row.shown && !*row.shown))
            continue;
        std::string line = "  ";
        if (row.shown)
            line += row.shown;
        else
            line += row.value ? std::string(row.name) + " " + row.value : std::string(row.name);
        // A name too long for the column stands on a line of its own.
        if (line.size() + 2 <= column)
            line.resize(column, ' ');
        else
            line += "\n" + std::string(column, ' ');
        for (const char* h = row.help; *h; ++h) {
            line += *h;
            if (*h == '\n')
                line += std::string(column, ' ');
        }
        text += line + "\n";
    }
    return text;
}
