// The headless bench: kestrova --headless --bench SOURCE... --record-dir DIR
// as typed (each source's protocol, rate and name) and as run against four
// simulated receivers on ptys, ended by SIGTERM with every file complete and
// the report page written; and the bench's table at Stop, on ptys and TCP,
// equal to the report of the folder it recorded.
#include "BenchRecorder.h"
#include "CommPty.h"
#include "CommandLine.h"
#include "ReportCommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

TEST(HeadlessBenchOptions, EachSourceTakesItsProtocolRateAndName)
{
    const CommandLine cl = ParseCommandLine({"kestrova", "--headless", "--binr", "--baud", "115200", "--bench",
                                             "/dev/ttyUSB0=left", "tcp://127.0.0.1:5000,nmea", "/dev/ttyUSB1,nmea,9600",
                                             "/dev/serial/by-id/usb-Maker_GNSS_7-if00-port0", "/dev/pts/8", "/dev/pts/9",
                                             "/dev/pts/10=rx5", "--record-dir", "d",
                                             "--reference", "55.75,37.62,150", "--title", "roof", "--seconds", "60"});
    ASSERT_EQ(cl.error.toStdString(), "");
    const std::vector<BenchSourceSetup> want = {
        {"left", "/dev/ttyUSB0", true, 115200},
        {"127_0_0_1", "tcp://127.0.0.1:5000", false, 0},
        {"ttyUSB1", "/dev/ttyUSB1", false, 9600},
        {"Maker_GNSS_7", "/dev/serial/by-id/usb-Maker_GNSS_7-if00-port0", true, 115200},
        // A pseudo-terminal's number names nothing: rxK by its place, unless taken.
        {"rx5-2", "/dev/pts/8", true, 115200},
        {"rx6", "/dev/pts/9", true, 115200},
        {"rx5", "/dev/pts/10", true, 115200},
    };
    EXPECT_EQ(cl.benchSetups, want);
    EXPECT_EQ(cl.reference, (BenchReference{55.75, 37.62, 150}));
    EXPECT_EQ(cl.title, "roof");
    EXPECT_EQ(cl.recordDir, "d");
}

TEST(HeadlessBenchOptions, FaultsAreNamed)
{
    struct Row {
        QStringList arguments;
        std::string error;
    };
    const Row rows[] = {
        {{"--headless", "--bench", "/dev/ttyUSB0"}, "--headless --bench needs --record-dir DIR"},
        {{"--headless", "--bench", "--record-dir", "d"}, "--headless --bench needs at least one SOURCE"},
        {{"--headless", "--bench", "/dev/ttyUSB0,1234", "--record-dir", "d"},
         "--bench /dev/ttyUSB0,1234: not a line rate: 1234"},
        {{"--headless", "--bench", "tcp://nohost", "--record-dir", "d"}, "--bench tcp://nohost: not a source address"},
        {{"--headless", "--bench", "a", "b", "c", "d", "e", "f", "g", "h", "i", "--record-dir", "d"},
         "--bench takes at most 8 sources"},
        {{"--headless", "--bench", "a", "--record-dir", "d", "--record", "x.nme"},
         "--record belongs to --headless --port SOURCE; a bench records into --record-dir"},
        {{"--headless", "--port", "a", "--bench", "b", "--record-dir", "d"},
         "--headless --bench takes its sources after --bench, no FILE or --port"},
        {{"--record-dir", "d", "x.nme"}, "--record-dir, --title and --reference belong to --headless --bench"},
        {{"--headless", "--bench", "a", "--record-dir", "d", "--reference", "95,0,0"},
         "--reference takes LAT,LON,HEIGHT in decimal degrees and metres, e.g. 55.75,37.62,150"},
    };
    for (const Row& r : rows) {
        const CommandLine cl = ParseCommandLine(QStringList{"kestrova"} + r.arguments);
        EXPECT_EQ(cl.error.toStdString(), r.error) << r.arguments.join(' ').toStdString();
    }
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(HeadlessBenchRun, FourReceiversRecordedUntilSigtermAndAMissingOneNamed)
{
    QTemporaryDir dir;
    QProcess sim, kestrova;
    sim.start(KESTROVA_SIM_BIN, {"--protocol", "nmea", "--baud", "9600", "--rate", "10", "--receivers", "4", "--log",
                                 dir.path() + "/sim.log"});
    QByteArray out;
    while (out.count('\n') < 4 && sim.waitForReadyRead(10000))
        out += sim.readAllStandardOutput();
    const QStringList ptys = QString::fromLatin1(out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(ptys.size(), 4);
    QStringList args = {"--headless", "--baud", "9600", "--bench"};
    for (int i = 0; i < 4; ++i)
        args << ptys[i] + "=r" + QString::number(i + 1);
    args << dir.path() + "/no-such-tty=gone" << "--record-dir" << dir.path() + "/tests";
    kestrova.start(KESTROVA_BIN, args);
    ASSERT_TRUE(kestrova.waitForStarted(10000));
    QString folder;
    ASSERT_TRUE(WaitWithoutEvents(
        [&] {
            const QStringList made = QDir(dir.path() + "/tests").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
            folder = made.isEmpty() ? QString() : dir.path() + "/tests/" + made[0];
            for (int i = 1; !folder.isEmpty() && i <= 4; ++i)
                if (QFileInfo(folder + "/r" + QString::number(i) + ".nme").size() < 3000)
                    return false;
            return !folder.isEmpty();
        },
        30000));
    ::kill(pid_t(kestrova.processId()), SIGTERM);
    ASSERT_TRUE(kestrova.waitForFinished(30000));
    ::kill(pid_t(sim.processId()), SIGTERM);
    sim.waitForFinished(10000);

    // The missing source makes the status 1; the others were recorded whole.
    EXPECT_EQ(kestrova.exitCode(), 1);
    const QByteArray said = kestrova.readAllStandardError();
    EXPECT_TRUE(said.contains("kestrova: gone: No such file or directory"));
    const QByteArray lines = kestrova.readAllStandardOutput();
    EXPECT_TRUE(QFileInfo::exists(folder + "/bench.json"));
    for (int i = 1; i <= 4; ++i) {
        const QString name = "r" + QString::number(i);
        EXPECT_TRUE(lines.contains(name.toUtf8())) << name.toStdString();
        const QByteArray recorded = ReadFile(folder + "/" + name + ".nme");
        EXPECT_GE(recorded.size(), 3000);
        EXPECT_TRUE(ReadFile(dir.path() + "/sim.log." + QString::number(i) + ".tx").startsWith(recorded)) << i;
        EXPECT_TRUE(QFileInfo::exists(folder + "/" + name + ".nme.times"));
    }
    EXPECT_TRUE(QFileInfo::exists(folder + "/report.html"));
    EXPECT_TRUE(said.contains("kestrova: report written: " + QFile::encodeName(folder) + "/report.html")) << said.toStdString();
    EXPECT_FALSE(QFileInfo::exists(folder + "/gone.nme"));   // never opened: no recording
}

// Each end says what happened: a source that stayed connected and sent
// nothing, and a record folder that cannot be made.
TEST(HeadlessBenchRun, ASilentSourceAndAFolderThatCannotBeMadeAreNamedTruly)
{
    QTemporaryDir dir;
    // A listening socket: the kernel completes each connection; nothing is sent.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const QString source = "tcp://127.0.0.1:" + QString::number(ntohs(address.sin_port)) + "=quiet";
    struct Row {
        QString recordDir;
        int status;
        QByteArray message;
    } rows[] = {
        {dir.path() + "/tests", 0, "/quiet.nme: empty (the source opened but sent nothing); its column is empty\n"},
        {"/dev/null/tests", 2, "kestrova: Cannot make folder /dev/null/tests: Not a directory\n"},
    };
    for (const Row& row : rows) {
        QProcess kestrova;
        kestrova.start(KESTROVA_BIN, {"--headless", "--bench", source, "--record-dir", row.recordDir, "--seconds", "1"});
        ASSERT_TRUE(kestrova.waitForFinished(30000));
        EXPECT_EQ(kestrova.exitCode(), row.status);
        const QByteArray err = kestrova.readAllStandardError();
        EXPECT_TRUE(err.contains(row.message)) << err.toStdString();
    }
    ::close(silent);
}

struct TableCase {
    const char* name;
    bool tcp;
};

class BenchTableAtStop : public ::testing::TestWithParam<TableCase> {};

// Receivers that differ (the simulator's table: biases, noise, cold starts)
// on a reference, recorded for a few seconds: the live table, made final at
// Stop, is the table of the report of the recordings.
TEST_P(BenchTableAtStop, EqualsTheReportOfTheFolder)
{
    QTemporaryDir dir;
    QProcess sim;
    QStringList args = {"--protocol", "nmea", "--baud", "9600", "--rate", "10", "--receivers", "4", "--cold-start",
                        "1"};
    if (GetParam().tcp)
        args << "--tcp" << "0";
    sim.start(KESTROVA_SIM_BIN, args);
    QByteArray out;
    while (out.count('\n') < 4 && sim.waitForReadyRead(10000))
        out += sim.readAllStandardOutput();
    const QStringList addresses = QString::fromLatin1(out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(addresses.size(), 4);

    BenchRecorder bench;
    std::vector<BenchSourceSetup> setups;
    for (int i = 0; i < 4; ++i)
        setups.push_back({"r" + std::to_string(i + 1), addresses[i].toStdString(), false, GetParam().tcp ? 0 : 9600});
    bench.SetSources(setups);
    bench.SetReference(BenchReference{55.75, 37.62, 150});
    ASSERT_TRUE(bench.Start(dir.path(), "table"));
    ASSERT_TRUE(WaitFor([&] { return bench.Receivers()[0]->EpochsSeen() >= 40; }, 30000));
    bench.Stop();
    ::kill(pid_t(sim.processId()), SIGTERM);
    sim.waitForFinished(10000);

    std::vector<const BenchReceiver*> receivers;
    std::vector<BenchState> states;
    for (const auto& r : bench.Receivers()) {
        receivers.push_back(r.get());
        states.push_back(r->State());
        EXPECT_FALSE(r->Thinned());
    }
    const std::vector<BenchRow> live = BenchTable(receivers);
    std::vector<BenchRow> report;
    std::string problem;
    ASSERT_EQ(BenchFolderTable(QFile::encodeName(bench.Folder()).toStdString(), states, &report, &problem), 0)
        << problem;
    ASSERT_EQ(live.size(), report.size());
    ASSERT_FALSE(live.empty());
    for (size_t i = 0; i < live.size(); ++i) {
        EXPECT_EQ(live[i].label, report[i].label);
        EXPECT_EQ(live[i].cells, report[i].cells) << live[i].label;
        EXPECT_EQ(live[i].best, report[i].best) << live[i].label;
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, BenchTableAtStop, ::testing::Values(TableCase{"ptys", false}, TableCase{"tcp", true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
