#include "CommandLine.h"

#include "Instance.h"
#include "LineRates.h"
#include "WeekRollover.h"

#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

} // namespace

QStringList SplitPortList(const QString& text)
{
    static const QRegularExpression scheme(QStringLiteral("^(tcp|udp|gpsd)$"));
    const QStringList parts = text.split(QLatin1Char(':'));
    QStringList out;
    for (int i = 0; i < parts.size(); ++i) {
        QString item = parts[i];
        if (scheme.match(item).hasMatch() && i + 1 < parts.size() && parts[i + 1].startsWith(QLatin1String("//"))) {
            item += QLatin1Char(':') + parts[++i];
            // The port, perhaps followed by gpsd's /DEVICE.
            if (i + 1 < parts.size() && !parts[i + 1].isEmpty() && parts[i + 1][0].isDigit())
                item += QLatin1Char(':') + parts[++i];
        }
        if (!item.isEmpty())
            out << item;
    }
    return out;
}

CommandLine ParseCommandLine(const QStringList& arguments)
{
    CommandLine cl;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        auto value = [&](const char* option) -> QString {
            if (i + 1 >= arguments.size()) {
                cl.error = QString("%1 needs a value").arg(option);
                return {};
            }
            return arguments[++i];
        };
        if (a == "--help" || a == "-h") {
            cl.help = true;
        } else if (a == "--headless") {
            cl.headless = true;
        } else if (a == "--to-nmea") {
            cl.toNmea = true;
        } else if (a == "--nmea") {
            cl.protocol = CommandLine::Protocol::Nmea;
        } else if (a == "--binr") {
            cl.protocol = CommandLine::Protocol::Binr;
        } else if (a == "--max-hdop" || a == "--max-vdop") {
            const QString v = value(a == "--max-hdop" ? "--max-hdop" : "--max-vdop");
            if (!cl.error.isEmpty())
                break;
            if (!ValidLimit(v)) {
                cl.error = QString("%1 takes a value like 1.5 (0.0 to 9.9)").arg(a);
                break;
            }
            (a == "--max-hdop" ? cl.maxHdop : cl.maxVdop) = v;
        } else if (a == "--diff-only") {
            cl.diffOnly = true;
        } else if (a == "--multi-gnss") {
            cl.multiGnss = true;
        } else if (a == "--fast") {
            cl.fast = true;
        } else if (a == "--exit-after-play") {
            cl.exitAfterPlay = true;
        } else if (a == "--player") {
            cl.player = true;
        } else if (a == "--pace") {
            const QString v = value("--pace");
            if (!cl.error.isEmpty())
                break;
            cl.pace = PaceValue(v);
            if (cl.pace == 0) {
                cl.error = QString("--pace takes a speed from 0.25 to 64, not %1").arg(v);
                break;
            }
        } else if (a == "--from") {
            const QString v = value("--from");
            if (!cl.error.isEmpty())
                break;
            cl.fromMsOfDay = TimeOfDayValue(v);
            if (cl.fromMsOfDay < 0) {
                cl.error = QString("--from takes a time as HH:MM:SS, not %1").arg(v);
                break;
            }
        } else if (a == "--show") {
            const QString v = value("--show");
            if (!cl.error.isEmpty())
                break;
            for (const QString& view : v.split(',', Qt::SkipEmptyParts)) {
                const QString name = view.trimmed().toLower();
                static const QStringList known = {"position", "statistic", "satellites", "visual", "profile", "signals", "all"};
                if (!known.contains(name)) {
                    cl.error = QString("--show: unknown view %1").arg(view);
                    break;
                }
                cl.show << name;
            }
        } else if (a == "--week-rollovers") {
            const QString v = value("--week-rollovers");
            if (!cl.error.isEmpty())
                break;
            bool ok = false;
            const int n = v.toInt(&ok);
            if (!ok || n < kMinWeekRollovers || n > kMaxWeekRollovers) {
                cl.error = QString("--week-rollovers takes a count from %1 to %2")
                               .arg(kMinWeekRollovers).arg(kMaxWeekRollovers);
                break;
            }
            cl.weekRollovers = n;
        } else if (a == "--port") {
            const QString v = value("--port");
            if (!cl.error.isEmpty())
                break;
            cl.ports << v;
        } else if (a == "--baud") {
            const QString v = value("--baud");
            if (!cl.error.isEmpty())
                break;
            bool ok = false;
            cl.baud = v.toInt(&ok);
            if (!ok || !IsLineRate(cl.baud)) {
                cl.error = QString("--baud: not a line rate: %1").arg(v);
                break;
            }
        } else if (a == "--record") {
            cl.record = value("--record");
            if (!cl.error.isEmpty())
                break;
            // An empty name would quietly watch instead of recording.
            if (cl.record.isEmpty()) {
                cl.error = "--record needs a FILE name";
                break;
            }
        } else if (a == "--seconds") {
            const QString v = value("--seconds");
            if (!cl.error.isEmpty())
                break;
            bool ok = false;
            cl.seconds = v.toLongLong(&ok);
            if (!ok || cl.seconds < 1 || cl.seconds > kMaxSeconds) {
                cl.error = QString("--seconds takes 1 to %1").arg(kMaxSeconds);
                break;
            }
        } else if (a == "--append") {
            cl.append = true;
        } else if (a == "--overwrite") {
            cl.overwrite = true;
        } else if (a == "--reconnect") {
            cl.reconnect = true;
        } else if (a == "--watch") {
            cl.watch = true;
        } else if (a == "--instance") {
            cl.instance = value("--instance");
            if (!cl.error.isEmpty())
                break;
            if (cl.instance.isEmpty() || !SetInstanceName(cl.instance)) {
                cl.error = "--instance takes 1 to 32 letters, digits, '-' or '_'";
                break;
            }
        } else if (a.startsWith("--")) {
            cl.error = QString("unknown option %1").arg(a);
            break;
        } else {
            cl.files << a;
        }
    }
    cl.headlessLive = cl.headless && cl.files.isEmpty() && cl.ports.size() == 1;
    if (cl.error.isEmpty() && cl.headless && !cl.headlessLive && cl.files.size() != 1)
        cl.error = "--headless needs exactly one FILE, or one --port SOURCE";
    if (cl.error.isEmpty() && !cl.headlessLive && (!cl.record.isEmpty() || cl.seconds > 0))
        cl.error = "--record and --seconds belong to --headless --port SOURCE";
    if (cl.error.isEmpty() && (cl.append || cl.overwrite) && cl.record.isEmpty())
        cl.error = "--append and --overwrite belong to --record FILE";
    if (cl.error.isEmpty() && cl.append && cl.overwrite)
        cl.error = "--append and --overwrite exclude each other";
    if (cl.error.isEmpty() && cl.watch && cl.ports.isEmpty())
        cl.error = "--watch needs a --port SOURCE";
    if (cl.error.isEmpty() && cl.fromMsOfDay >= 0 && cl.pace == 0)
        cl.error = "--from needs --pace";
    if (cl.error.isEmpty() && cl.headlessLive && cl.pace > 0)
        cl.error = "--pace replays a FILE, not a --port SOURCE";
    if (cl.error.isEmpty() && cl.toNmea && cl.files.isEmpty())
        cl.error = "--to-nmea needs at least one FILE";
    return cl;
}

bool PlaysAsBinr(const CommandLine& cl, const QString& file)
{
    if (cl.protocol != CommandLine::Protocol::ByName)
        return cl.protocol == CommandLine::Protocol::Binr;
    return file.endsWith(QLatin1String(".dat"), Qt::CaseInsensitive);
}

QString PlayableFileProblem(const QString& file)
{
    const QByteArray name = QFile::encodeName(file);
    struct stat st {};
    QString why;
    if (::stat(name.constData(), &st) != 0) {
        why = QString("cannot open: ") + std::strerror(errno);
    } else if (S_ISDIR(st.st_mode)) {
        why = "a folder, not a file";
    } else if (!S_ISREG(st.st_mode)) {
        why = "not a regular file";
    } else {
        const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            why = QString("cannot open: ") + std::strerror(errno);
        else
            ::close(fd);
    }
    return why.isEmpty() ? QString() : file + ": " + why;
}

QString UsageText()
{
    return QStringLiteral(
        "Usage:\n"
        "  kestrova [--show VIEWS] [--port SOURCE]... [--watch] [--reconnect] [--instance NAME]\n"
        "           [--fast] [--exit-after-play] [--nmea|--binr] [--week-rollovers N]\n"
        "           [--multi-gnss] [--player] [--pace X [--from HH:MM:SS]] [FILE]\n"
        "  kestrova --headless [--nmea|--binr] [--max-hdop X.X] [--max-vdop X.X] [--diff-only]\n"
        "           [--week-rollovers N] [--multi-gnss] [--pace X [--from HH:MM:SS]]\n"
        "           [--show signals] FILE\n"
        "  kestrova --headless --port SOURCE [--nmea|--binr] [--baud N] [--record FILE]\n"
        "           [--append|--overwrite] [--seconds N] [--reconnect]\n"
        "  kestrova --to-nmea [--week-rollovers N] FILE.dat...\n"
        "  kestrova --report [options] FILE...   (kestrova --report --help)\n"
        "\n"
        "Monitor, recorder and player for GPS/GLONASS receivers.\n"
        "\n"
        "  FILE                a recording played at start-up\n"
        "  --nmea, --binr      protocol of FILE (default: .dat is BINR, else NMEA)\n"
        "  --show VIEWS        views to show, comma-separated: position,statistic,\n"
        "                      satellites,visual,profile,signals, or all; with\n"
        "                      --headless, signals (or all) adds the SIGNALS lines\n"
        "  --fast              play FILE at fast pace\n"
        "  --exit-after-play   quit when the playback of FILE stops\n"
        "  --player            show the PLAYER window (timeline, step, speed)\n"
        "  --pace X            replay FILE at X times its recorded pace (0.25 to 64)\n"
        "  --from HH:MM:SS     start the paced replay at the first epoch at or after\n"
        "                      this UTC time\n"
        "  --port SOURCE       also offer this serial device or network source in the\n"
        "                      port list: a path, tcp://HOST:PORT, udp://:PORT or\n"
        "                      gpsd://HOST[:PORT][/DEVICE] (repeatable; KESTROVA_PORTS\n"
        "                      adds a colon-separated list)\n"
        "  --watch             open the first --port at start-up and show it live,\n"
        "                      writing nothing\n"
        "  --reconnect         when a source is lost while recording or watching, try\n"
        "                      it again every second\n"
        "  --instance NAME     a separate instance: settings Kestrova-NAME, NAME in\n"
        "                      the window title\n"
        "  --headless          play FILE fast without a display and print every view\n"
        "                      refresh as a tab-separated line on standard output\n"
        "  --max-hdop X.X      Statistic HDOP limit (0.0: none)\n"
        "  --max-vdop X.X      Statistic VDOP limit (0.0: none)\n"
        "  --diff-only         Statistic accepts differential fixes only\n"
        "  --headless --port SOURCE\n"
        "                      monitor a live source without a display, printing the\n"
        "                      same lines; ends on SIGINT or SIGTERM. Exit status 0,\n"
        "                      1 when the source is lost (without --reconnect) or\n"
        "                      FILE or standard output fails, 2 when it cannot be\n"
        "                      opened\n"
        "  --baud N            line rate of a serial SOURCE (default 4800)\n"
        "  --record FILE       record the source into FILE, as the Record button does;\n"
        "                      an existing non-empty FILE is refused (exit status 2)\n"
        "  --append            continue an existing FILE, its FILE.times and side file\n"
        "  --overwrite         replace an existing FILE\n"
        "  --seconds N         end after N seconds (at most 31622400, a year)\n"
        "  --week-rollovers N  date BINR weeks after N week-number rollovers in all\n"
        "                      (1: 1999-2019, 2: 2019-2038); default: by the clock\n"
        "                      for live data, by the file's time for a recording\n"
        "  --multi-gnss        read every constellation (GSAs merged per epoch, Galileo,\n"
        "                      BeiDou, QZSS; RTK status words); kept in the settings\n"
        "  --to-nmea FILE...   write the NMEA side file of each BINR recording\n"
        "  --help              this text\n");
}
