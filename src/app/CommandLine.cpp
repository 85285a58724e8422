#include "CommandLine.h"

#include "Bench.h"
#include "BenchFolder.h"
#include "BenchManifestCheck.h"
#include "LineRates.h"
#include "ProgramOptions.h"
#include "ReceiverReport.h"
#include "SourceAddress.h"
#include "TerminalText.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool ParseBenchSource(const QString& text, bool binr, int baud, BenchSourceSetup* out, QString* problem)
{
    QString rest = text;
    bool protocolGiven = false, baudGiven = false;
    // The suffixes, from the right: a protocol and a rate, each at most once.
    for (int comma = rest.lastIndexOf(','); comma >= 0; comma = rest.lastIndexOf(',')) {
        const QString part = rest.mid(comma + 1);
        bool number = false;
        const int rate = part.toInt(&number);
        if (!protocolGiven && (part == QLatin1String("nmea") || part == QLatin1String("binr"))) {
            binr = part == QLatin1String("binr");
            protocolGiven = true;
        } else if (!baudGiven && number) {
            if (!IsLineRate(rate)) {
                *problem = "--bench " + text + ": not a line rate: " + part;
                return false;
            }
            baud = rate;
            baudGiven = true;
        } else {
            break;
        }
        rest.truncate(comma);
    }
    const int eq = rest.lastIndexOf('=');
    QString address = eq < 0 ? rest : rest.left(eq);
    const QString name = eq < 0 ? QString() : rest.mid(eq + 1);
    if (address.isEmpty()) {
        *problem = "--bench " + text + ": no source";
        return false;
    }
    const bool network = LooksLikeNetworkSource(address.toStdString());
    if (network && !ParseSourceAddress(address.toStdString(), nullptr, nullptr)) {
        *problem = "--bench " + text + ": not a source address";
        return false;
    }
    // A relative path is taken as --port takes it: from the current folder.
    if (!network && address.contains('/') && !address.startsWith('/'))
        address = QFileInfo(address).absoluteFilePath();
    out->address = address.toStdString();
    out->name = name.isEmpty() ? BenchDefaultName(out->address) : name.toStdString();
    out->binr = binr;
    out->baud = network ? 0 : baud;
    return true;
}

namespace {

constexpr int kDefaultBenchBaud = 4800;

// The headless bench's options as a whole; its sources resolved into
// cl.benchSetups. The window's --bench takes its sources itself.
QString CheckBench(CommandLine& cl)
{
    if (!cl.bench || !cl.headless)
        return cl.recordDir.isEmpty() && cl.title.isEmpty() && !cl.reference
                   ? QString()
                   : QStringLiteral("--record-dir, --title and --reference belong to --headless --bench");
    if (cl.benchSources.isEmpty())
        return QStringLiteral("--headless --bench needs at least one SOURCE");
    if (cl.benchSources.size() > kBenchMaxSources)
        return QStringLiteral("--bench takes at most %1 sources").arg(kBenchMaxSources);
    const bool binr = cl.protocol == CommandLine::Protocol::Binr;
    std::vector<size_t> numbered;
    for (const QString& a : cl.benchSources) {
        BenchSourceSetup setup;
        QString problem;
        if (!ParseBenchSource(a, binr, cl.baud > 0 ? cl.baud : kDefaultBenchBaud, &setup, &problem))
            return problem;
        // A pseudo-terminal's default name is its number ("/dev/pts/8" gives
        // "8"), which says nothing: such a receiver is rxK, K its place in
        // the list, unless another source is called so.
        if (setup.name == BenchDefaultName(setup.address) && setup.name.find_first_not_of("0123456789") == std::string::npos)
            numbered.push_back(cl.benchSetups.size());
        cl.benchSetups.push_back(setup);
    }
    for (const size_t k : numbered) {
        cl.benchSetups[k].name.clear();
        cl.benchSetups[k].name = BenchUniqueName("rx" + std::to_string(k + 1), cl.benchSetups);
    }
    if (cl.recordDir.isEmpty())
        return QStringLiteral("--headless --bench needs --record-dir DIR");
    // The bench.json this bench would write, by the rule its reader keeps.
    const BenchManifest manifest = MakeBenchManifest(cl.title.toStdString(), 0, cl.reference, cl.benchSetups, ProgramVersionText());
    if (const std::string why = BenchManifestProblem(manifest); !why.empty())
        return QStringLiteral("--headless --bench: ") + QString::fromStdString(why);
    if (!cl.files.isEmpty() || !cl.ports.isEmpty())
        return QStringLiteral("--headless --bench takes its sources after --bench, no FILE or --port");
    return {};
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments)
{
    std::vector<std::string> bytes;
    for (const QString& a : arguments)
        bytes.push_back(a.toLocal8Bit().toStdString());
    ParsedOptions<CommandLine> parsed = ParseOptions(kProgramOptionTable, bytes);
    CommandLine cl = std::move(parsed.options);
    cl.error = QString::fromLocal8Bit(parsed.error.data(), qsizetype(parsed.error.size()));
    cl.headlessLive = cl.headless && !cl.bench && cl.files.isEmpty() && cl.ports.size() == 1;
    const bool headlessBench = cl.headless && cl.bench;
    if (cl.error.isEmpty())
        cl.error = CheckBench(cl);
    if (cl.error.isEmpty() && cl.headless && !cl.headlessLive && !headlessBench && cl.files.size() != 1)
        cl.error = "--headless needs exactly one FILE, or one --port SOURCE";
    if (cl.error.isEmpty() && !cl.headlessLive && !headlessBench && (!cl.record.isEmpty() || cl.seconds > 0))
        cl.error = "--record and --seconds belong to --headless --port SOURCE";
    if (cl.error.isEmpty() && headlessBench && !cl.record.isEmpty())
        cl.error = "--record belongs to --headless --port SOURCE; a bench records into --record-dir";
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
    const std::string options = OptionHelp(kProgramOptionTable);
    return QStringLiteral(
               "Usage:\n"
               "  kestrova [--show VIEWS] [--port SOURCE]... [--watch] [--reconnect] [--instance NAME]\n"
               "           [--fast] [--exit-after-play] [--nmea|--binr] [--week-rollovers N]\n"
               "           [--multi-gnss] [--player] [--pace X [--from HH:MM:SS]] [FILE]\n"
               "  kestrova --bench [SOURCE[=NAME]]... [--nmea|--binr] [--baud N] [--reconnect]\n"
               "  kestrova --headless [--nmea|--binr] [--max-hdop X.X] [--max-vdop X.X] [--diff-only]\n"
               "           [--week-rollovers N] [--multi-gnss] [--pace X [--from HH:MM:SS]]\n"
               "           [--show signals] FILE\n"
               "  kestrova --headless --port SOURCE [--nmea|--binr] [--baud N] [--record FILE]\n"
               "           [--append|--overwrite] [--seconds N] [--reconnect]\n"
               "  kestrova --headless --bench SOURCE[=NAME]... --record-dir DIR [--nmea|--binr] [--baud N]\n"
               "           [--seconds N] [--reconnect] [--reference LAT,LON,H] [--title TEXT]\n"
               "  kestrova --to-nmea [--week-rollovers N] FILE.dat...\n"
               "  kestrova --report [options] FILE...   (kestrova --report --help)\n"
               "\n"
               "Monitor, recorder and player for GPS/GLONASS receivers.\n"
               "\n") +
           QString::fromUtf8(options.data(), qsizetype(options.size()));
}

void Complain(const QString& text)
{
    std::fprintf(stderr, "kestrova: %s\n", TerminalText(text.toLocal8Bit().toStdString()).c_str());
}
