#include "ProgramOptions.h"

#include "Instance.h"
#include "LineRates.h"
#include "WeekRollover.h"

#include <QRegularExpression>

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

// ---- the table -------------------------------------------------------------

// Rows that set one member alike.
template <bool CommandLine::*flag>
std::string ProgramFlag(CommandLine& cl, const std::string&, const std::string&)
{
    cl.*flag = true;
    return {};
}

template <QString CommandLine::*limit>
std::string ProgramLimit(CommandLine& cl, const std::string& option, const std::string& value)
{
    if (!ValidLimit(Q(value)))
        return option + " takes a value like 1.5 (0.0 to 9.9)";
    cl.*limit = Q(value);
    return {};
}

using CL = CommandLine;
using S = const std::string&;

// In the order of the usage text.
const OptionRow<CommandLine> kRows[] = {
    {"", nullptr, "FILE", "a recording played at start-up",
     [](CL& cl, S, S file) {
         (cl.bench ? cl.benchSources : cl.files) << Q(file);
         return std::string();
     }},
    {"--nmea", nullptr, "--nmea, --binr", "protocol of FILE (default: .dat is BINR, else NMEA)",
     [](CL& cl, S, S) { cl.protocol = CL::Protocol::Nmea; return std::string(); }},
    {"--binr", nullptr, "", nullptr,
     [](CL& cl, S, S) { cl.protocol = CL::Protocol::Binr; return std::string(); }},
    {"--show", "VIEWS", nullptr, "views to show, comma-separated: position,statistic,\nsatellites,visual,profile,signals, or all; with\n--headless, signals (or all) adds the SIGNALS lines",
     [](CL& cl, S, S views) { return TakeShow(cl, views); }},
    {"--fast", nullptr, nullptr, "play FILE at fast pace", ProgramFlag<&CL::fast>},
    {"--exit-after-play", nullptr, nullptr, "quit when the playback of FILE stops", ProgramFlag<&CL::exitAfterPlay>},
    {"--player", nullptr, nullptr, "show the PLAYER window (timeline, step, speed)", ProgramFlag<&CL::player>},
    {"--bench", nullptr, "--bench [SOURCE[=NAME]]...",
     "show the BENCH window; each SOURCE after it, a port or\nnetwork address as for --port (NAME: its short name),\n"
     "joins the bench's remembered sources",
     ProgramFlag<&CL::bench>},
    {"--pace", "X", nullptr, "replay FILE at X times its recorded pace (0.25 to 64)",
     [](CL& cl, S, S v) {
         cl.pace = PaceValue(Q(v));
         return cl.pace == 0 ? "--pace takes a speed from 0.25 to 64, not " + v : std::string();
     }},
    {"--from", "HH:MM:SS", nullptr, "start the paced replay at the first epoch at or after\nthis UTC time",
     [](CL& cl, S, S v) {
         cl.fromMsOfDay = TimeOfDayValue(Q(v));
         return cl.fromMsOfDay < 0 ? "--from takes a time as HH:MM:SS, not " + v : std::string();
     }},
    {"--port", "SOURCE", nullptr,
     "also offer this serial device or network source in the\nport list: a path, tcp://HOST:PORT, udp://:PORT or\n"
     "gpsd://HOST[:PORT][/DEVICE] (repeatable; KESTROVA_PORTS\nadds a colon-separated list)",
     [](CL& cl, S, S source) { cl.ports << Q(source); return std::string(); }},
    {"--watch", nullptr, nullptr, "open the first --port at start-up and show it live,\nwriting nothing",
     ProgramFlag<&CL::watch>},
    {"--reconnect", nullptr, nullptr,
     "when a source is lost while recording or watching, try\nit again every second",
     ProgramFlag<&CL::reconnect>},
    {"--instance", "NAME", nullptr, "a separate instance: settings Kestrova-NAME, NAME in\nthe window title",
     [](CL& cl, S, S v) {
         cl.instance = Q(v);
         const bool taken = !cl.instance.isEmpty() && SetInstanceName(cl.instance);
         return taken ? std::string() : "--instance takes 1 to 32 letters, digits, '-' or '_'";
     }},
    {"--headless", nullptr, nullptr,
     "play FILE fast without a display and print every view\nrefresh as a tab-separated line on standard output",
     ProgramFlag<&CL::headless>},
    {"--max-hdop", "X.X", nullptr, "Statistic HDOP limit (0.0: none)", ProgramLimit<&CL::maxHdop>},
    {"--max-vdop", "X.X", nullptr, "Statistic VDOP limit (0.0: none)", ProgramLimit<&CL::maxVdop>},
    {"--diff-only", nullptr, nullptr, "Statistic accepts differential fixes only", ProgramFlag<&CL::diffOnly>},
    {nullptr, nullptr, "--headless --port SOURCE",
     "monitor a live source without a display, printing the\nsame lines; ends on SIGINT or SIGTERM. Exit status 0,\n"
     "1 when the source is lost (without --reconnect) or\nFILE or standard output fails, 2 when it cannot be\nopened",
     nullptr},
    {"--baud", "N", nullptr, "line rate of a serial SOURCE (default 4800)",
     [](CL& cl, S, S v) {
         bool ok = false;
         cl.baud = Q(v).toInt(&ok);
         return ok && IsLineRate(cl.baud) ? std::string() : "--baud: not a line rate: " + v;
     }},
    {"--record", "FILE", nullptr,
     "record the source into FILE, as the Record button does;\nan existing non-empty FILE is refused (exit status 2)",
     [](CL& cl, S, S file) {
         // An empty name would quietly watch instead of recording.
         cl.record = Q(file);
         return cl.record.isEmpty() ? "--record needs a FILE name" : std::string();
     }},
    {"--append", nullptr, nullptr, "continue an existing FILE, its FILE.times and side file",
     ProgramFlag<&CL::append>},
    {"--overwrite", nullptr, nullptr, "replace an existing FILE", ProgramFlag<&CL::overwrite>},
    {"--seconds", "N", nullptr, "end after N seconds (at most 31622400, a year)",
     [](CL& cl, S, S v) {
         bool ok = false;
         cl.seconds = Q(v).toLongLong(&ok);
         const bool taken = ok && cl.seconds >= 1 && cl.seconds <= kMaxSeconds;
         return taken ? std::string() : "--seconds takes 1 to " + std::to_string(kMaxSeconds);
     }},
    {nullptr, nullptr, "--headless --bench SOURCE[=NAME]...",
     "record a bench without a display: every SOURCE at once\ninto one test folder under --record-dir, a line per\n"
     "receiver a second; ends on SIGINT, SIGTERM or --seconds\nand writes the folder's report page. A SOURCE may end\n"
     "in ,nmea or ,binr and ,BAUD (default: --nmea/--binr,\n--baud). Exit status 0, 1 when a source failed or was\n"
     "lost at the end or a file or standard output failed,\n2 when the folder cannot be made or no source opens",
     nullptr},
    {"--record-dir", "DIR", nullptr, "where the bench's test folder is made",
     [](CL& cl, S, S dir) {
         cl.recordDir = Q(dir);
         return cl.recordDir.isEmpty() ? "--record-dir needs a folder" : std::string();
     }},
    {"--title", "TEXT", nullptr, "the bench's title, also in its folder's name",
     [](CL& cl, S, S v) { cl.title = Q(v); return std::string(); }},
    {"--reference", "LAT,LON,H", nullptr, "the bench's surveyed point: decimal degrees and metres",
     [](CL& cl, S, S v) {
         cl.reference = ParseReferenceDegrees(v);
         return cl.reference
                    ? std::string()
                    : "--reference takes LAT,LON,HEIGHT in decimal degrees and metres, e.g. 55.75,37.62,150";
     }},
    {"--week-rollovers", "N", nullptr,
     "date BINR weeks after N week-number rollovers in all\n(1: 1999-2019, 2: 2019-2038); default: by the clock\n"
     "for live data, by the file's time for a recording",
     [](CL& cl, S, S v) {
         bool ok = false;
         const int n = Q(v).toInt(&ok);
         if (!ok || n < kMinWeekRollovers || n > kMaxWeekRollovers)
             return WeekRolloversFault();
         cl.weekRollovers = n;
         return std::string();
     }},
    {"--multi-gnss", nullptr, nullptr,
     "read every constellation (GSAs merged per epoch, Galileo,\nBeiDou, QZSS; RTK status words); kept in the settings",
     ProgramFlag<&CL::multiGnss>},
    {"--to-nmea", nullptr, "--to-nmea FILE...", "write the NMEA side file of each BINR recording",
     ProgramFlag<&CL::toNmea>},
    {"--help", nullptr, nullptr, "this text", ProgramFlag<&CL::help>},
    {"-h", nullptr, "", nullptr, ProgramFlag<&CL::help>},
    {"--version", nullptr, nullptr, "the program's version and the commit it was built at",
     ProgramFlag<&CL::version>},
};

} // namespace

const OptionTable<CommandLine> kProgramOptionTable = {OptionMode::Program, kRows};
