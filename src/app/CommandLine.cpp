#include "CommandLine.h"

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

} // namespace

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
        } else if (a == "--show") {
            const QString v = value("--show");
            if (!cl.error.isEmpty())
                break;
            for (const QString& view : v.split(',', Qt::SkipEmptyParts)) {
                const QString name = view.trimmed().toLower();
                static const QStringList known = {"position", "statistic", "satellites", "visual", "profile"};
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
        } else if (a.startsWith("--")) {
            cl.error = QString("unknown option %1").arg(a);
            break;
        } else {
            cl.files << a;
        }
    }
    if (cl.error.isEmpty() && cl.headless && cl.files.size() != 1)
        cl.error = "--headless needs exactly one FILE";
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
        "  kestrova [--show VIEWS] [--port PATH]... [--fast] [--exit-after-play] [--nmea|--binr]\n"
        "           [--week-rollovers N] [--multi-gnss] [FILE]\n"
        "  kestrova --headless [--nmea|--binr] [--max-hdop X.X] [--max-vdop X.X] [--diff-only]\n"
        "           [--week-rollovers N] [--multi-gnss] FILE\n"
        "  kestrova --to-nmea [--week-rollovers N] FILE.dat...\n"
        "  kestrova --report [options] FILE...   (kestrova --report --help)\n"
        "\n"
        "Monitor, recorder and player for GPS/GLONASS receivers.\n"
        "\n"
        "  FILE                a recording played at start-up\n"
        "  --nmea, --binr      protocol of FILE (default: .dat is BINR, else NMEA)\n"
        "  --show VIEWS        views to show, comma-separated: position,statistic,\n"
        "                      satellites,visual,profile\n"
        "  --fast              play FILE at fast pace\n"
        "  --exit-after-play   quit when the playback of FILE stops\n"
        "  --port PATH         also offer this serial device in the port list\n"
        "                      (repeatable; KESTROVA_PORTS adds a colon-separated list)\n"
        "  --headless          play FILE fast without a display and print every view\n"
        "                      refresh as a tab-separated line on standard output\n"
        "  --max-hdop X.X      Statistic HDOP limit (0.0: none)\n"
        "  --max-vdop X.X      Statistic VDOP limit (0.0: none)\n"
        "  --diff-only         Statistic accepts differential fixes only\n"
        "  --week-rollovers N  date BINR weeks after N week-number rollovers in all\n"
        "                      (1: 1999-2019, 2: 2019-2038); default: by the clock\n"
        "                      for live data, by the file's time for a recording\n"
        "  --multi-gnss        read every constellation (GSAs merged per epoch, Galileo,\n"
        "                      BeiDou, QZSS; RTK status words); kept in the settings\n"
        "  --to-nmea FILE...   write the NMEA side file of each BINR recording\n"
        "  --help              this text\n");
}
