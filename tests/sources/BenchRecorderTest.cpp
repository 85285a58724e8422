// The bench's live side against real simulators: several receivers on ptys
// and TCP at once, each recorded into its own file of one test folder; one
// pulled mid-test while the others go on.
#include "BenchRecorder.h"

#include "CommPty.h"
#include "ReceiveTimes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

namespace {

QByteArray ReadAll(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// kestrova-sim as a process; its first lines are the receivers' addresses.
struct Sim {
    QProcess process;
    QStringList addresses;

    bool Start(const QStringList& args, int receivers)
    {
        process.start(KESTROVA_SIM_BIN, args);
        QByteArray out;
        while (out.count('\n') < receivers && process.waitForReadyRead(10000))
            out += process.readAllStandardOutput();
        addresses = QString::fromLatin1(out).split('\n', Qt::SkipEmptyParts).mid(0, receivers);
        return addresses.size() == receivers;
    }
    void Stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(process.processId()), SIGTERM);
        if (!process.waitForFinished(10000))
            process.kill();
        process.waitForFinished(2000);
    }
    ~Sim() { Stop(); }
};

std::vector<BenchSourceSetup> Setups(const QStringList& addresses, bool binr, int baud)
{
    std::vector<BenchSourceSetup> out;
    for (int i = 0; i < addresses.size(); ++i)
        out.push_back({"r" + std::to_string(i + 1), addresses[i].toStdString(), binr, baud});
    return out;
}

// Every receiver's file has grown past `bytes`, events served meanwhile.
bool AllGrew(const BenchRecorder& bench, int count, qint64 bytes)
{
    return WaitFor(
        [&] {
            for (int i = 0; i < count; ++i)
                if (QFileInfo(bench.RecordFileName(i)).size() < bytes)
                    return false;
            return true;
        },
        30000);
}

// The recording is what the simulator sent from the moment the link opened
// (it drops what it sends with no client) up to the Stop.
void ExpectRecordedAsSent(const QString& file, const QString& simLog)
{
    const QByteArray recorded = ReadAll(file);
    const QByteArray sent = ReadAll(simLog + ".tx");
    EXPECT_GT(recorded.size(), 0) << file.toStdString();
    EXPECT_TRUE(sent.startsWith(recorded)) << file.toStdString() << ": " << recorded.size() << " recorded, "
                                           << sent.size() << " sent";
    const ReceiveTimesRead times = ReadReceiveTimes(TimesFileName(file.toStdString()), recorded.size());
    EXPECT_EQ(times.problem, "") << file.toStdString();
    EXPECT_FALSE(times.times.empty()) << file.toStdString();
}

struct Case {
    const char* name;
    bool tcp;
    bool binr;
    int baud;
};

class BenchRecorderFour : public ::testing::TestWithParam<Case> {};

TEST_P(BenchRecorderFour, EveryRecordingIsWhatItsSimulatorSentAndAMissingPortIsNamed)
{
    const Case c = GetParam();
    QTemporaryDir dir;
    Sim sim;
    QStringList args = {"--protocol", c.binr ? "binr" : "nmea", "--baud", QString::number(c.baud), "--rate", "10",
                        "--receivers", "4", "--log", dir.path() + "/sim.log"};
    if (c.tcp)
        args << "--tcp" << "0";
    ASSERT_TRUE(sim.Start(args, 4));

    BenchRecorder bench;
    std::vector<BenchSourceSetup> setups = Setups(sim.addresses, c.binr, c.tcp ? 0 : c.baud);
    setups.push_back({"gone", (dir.path() + "/no-such-tty").toStdString(), c.binr, c.baud});
    bench.SetSources(setups);
    bench.SetReference(BenchReference{55.75, 37.62, 150});
    int updates = 0;
    bench.SetHandlers({[&] { ++updates; }, {}, {}});
    ASSERT_TRUE(bench.Start(dir.path() + "/tests", "four"));
    EXPECT_EQ(bench.Problems().size(), 1);
    EXPECT_TRUE(bench.Problems().value(0).startsWith("gone: ")) << bench.Problems().value(0).toStdString();
    EXPECT_EQ(bench.Receivers()[4]->State(), BenchState::Failed);

    ASSERT_TRUE(AllGrew(bench, 4, 3000));
    ASSERT_TRUE(WaitFor([&] { return updates >= 1; }));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(bench.Receivers()[size_t(i)]->State(), BenchState::Live) << i;
    bench.Stop();

    const QDir folder(bench.Folder());
    EXPECT_TRUE(folder.dirName().endsWith("_four"));
    BenchManifest manifest;
    std::string problem;
    ASSERT_TRUE(ReadBenchFolder(QFile::encodeName(folder.path()).toStdString(), &manifest, &problem)) << problem;
    EXPECT_EQ(manifest.sources, bench.Sources());
    EXPECT_EQ(manifest.reference, bench.Reference());
    EXPECT_EQ(manifest.startUnixMs, bench.StartUnixMs());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(bench.Receivers()[size_t(i)]->State(), BenchState::Ended);
        const QString file = folder.filePath(QString::fromStdString(BenchFileName(bench.Sources()[size_t(i)])));
        ExpectRecordedAsSent(file, dir.path() + "/sim.log." + QString::number(i + 1));
        EXPECT_EQ(bench.Receivers()[size_t(i)]->Bytes(), QFileInfo(file).size());
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, BenchRecorderFour,
                         ::testing::Values(Case{"ptys_nmea", false, false, 9600},
                                           Case{"tcp_binr", true, true, 115200}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BenchRecorderPulled, OthersGoOnItShowsLostAndResumesAppendingToItsFile)
{
    QTemporaryDir dir;
    Sim others;
    ASSERT_TRUE(others.Start({"--protocol", "nmea", "--baud", "9600", "--rate", "10", "--receivers", "2", "--tcp", "0",
                              "--log", dir.path() + "/others.log"},
                             2));
    auto pulled = std::make_unique<Sim>();
    ASSERT_TRUE(pulled->Start({"--protocol", "nmea", "--baud", "9600", "--rate", "10", "--tcp", "0", "--log",
                               dir.path() + "/first.log"},
                              1));
    const QString address = pulled->addresses.value(0);
    const QString port = address.mid(address.lastIndexOf(':') + 1);

    BenchRecorder bench;
    bench.SetSources(Setups(QStringList(others.addresses) << address, false, 0));
    bench.SetReconnect(true);
    std::vector<BenchState> seen;
    bench.SetHandlers({{}, [&](int i) {
                           if (i == 2)
                               seen.push_back(bench.Receivers()[2]->State());
                       }, {}});
    ASSERT_TRUE(bench.Start(dir.path(), QString()));
    ASSERT_TRUE(AllGrew(bench, 3, 1500));

    pulled->Stop();
    ASSERT_TRUE(WaitFor([&] { return bench.Receivers()[2]->State() == BenchState::Lost; }));
    EXPECT_TRUE(bench.Problems().join('\n').contains("r3: Connection lost")) << bench.Problems().join('\n').toStdString();
    const qint64 pulledSize = QFileInfo(bench.RecordFileName(2)).size();
    const qint64 otherSizes[2] = {QFileInfo(bench.RecordFileName(0)).size(), QFileInfo(bench.RecordFileName(1)).size()};
    ASSERT_TRUE(WaitFor([&] {
        return QFileInfo(bench.RecordFileName(0)).size() > otherSizes[0] + 1500 &&
               QFileInfo(bench.RecordFileName(1)).size() > otherSizes[1] + 1500;
    }));
    EXPECT_EQ(bench.Receivers()[2]->State(), BenchState::Lost);   // tried every second meanwhile, in vain

    // The receiver comes back on the same port.
    pulled = std::make_unique<Sim>();
    ASSERT_TRUE(pulled->Start({"--protocol", "nmea", "--baud", "9600", "--rate", "10", "--tcp", port, "--log",
                               dir.path() + "/second.log"},
                              1));
    ASSERT_TRUE(WaitFor([&] { return QFileInfo(bench.RecordFileName(2)).size() > pulledSize + 1500; }));
    EXPECT_EQ(bench.Receivers()[2]->State(), BenchState::Live);
    EXPECT_TRUE(bench.Problems().isEmpty()) << bench.Problems().join('\n').toStdString();
    const QString file = bench.RecordFileName(2);
    bench.Stop();

    EXPECT_EQ(seen, (std::vector<BenchState>{BenchState::Opening, BenchState::Live, BenchState::Lost, BenchState::Live,
                                             BenchState::Ended}));
    const QByteArray recorded = ReadAll(file);
    const QByteArray first = ReadAll(dir.path() + "/first.log.tx");
    const QByteArray second = ReadAll(dir.path() + "/second.log.tx");
    EXPECT_EQ(first.size(), pulledSize);
    EXPECT_TRUE(recorded.startsWith(first));
    EXPECT_TRUE(second.startsWith(recorded.mid(first.size())));
    EXPECT_GT(recorded.size(), first.size());
    const ReceiveTimesRead times = ReadReceiveTimes(TimesFileName(file.toStdString()), recorded.size());
    EXPECT_EQ(times.problem, "");
    for (int i = 0; i < 2; ++i)
        ExpectRecordedAsSent(bench.RecordFileName(i), dir.path() + "/others.log." + QString::number(i + 1));
}

} // namespace

namespace {

// A Stop from inside a hand-off (a window stopping on what a block showed)
// closes every link, the one handing off included, without waiting on it.
TEST(BenchRecorderStop, FromInsideAHandOffEndsEverySourceWithTheFilesComplete)
{
    QTemporaryDir dir;
    TestPty a, b;
    ASSERT_TRUE(a.Ok() && b.Ok());
    BenchRecorder bench;
    bench.SetSources({{"a", a.path.toStdString(), false, 9600}, {"b", b.path.toStdString(), false, 9600}});
    int blocks = 0;
    bench.SetHandlers({{}, {}, [&](int index, int, int64_t) {
                           ++blocks;
                           if (index == 1)
                               bench.Stop();
                       }});
    ASSERT_TRUE(bench.Start(dir.path(), "stop"));
    const std::vector<uint8_t> first(3000, 'a'), second(2000, 'b');
    ASSERT_TRUE(a.Send(first));
    ASSERT_TRUE(WaitFor([&] { return bench.Receivers()[0]->Bytes() == int64_t(first.size()); }));
    ASSERT_TRUE(b.Send(second));
    ASSERT_TRUE(WaitFor([&] { return !bench.Running(); }));
    EXPECT_EQ(ReadAll(bench.RecordFileName(0)), QByteArray(first.size(), 'a'));
    EXPECT_TRUE(QByteArray(second.size(), 'b').startsWith(ReadAll(bench.RecordFileName(1))));
    EXPECT_GT(QFileInfo(bench.RecordFileName(1)).size(), 0);
    const int seen = blocks;
    ASSERT_TRUE(a.Send(first));
    RunEvents(100);
    EXPECT_EQ(blocks, seen);   // nothing is delivered after the Stop
}

} // namespace
