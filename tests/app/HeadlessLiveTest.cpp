// Headless logging of a live source: kestrova --headless --port SOURCE
// against kestrova-sim on TCP, ended by SIGTERM with its file complete, and
// a source that cannot be opened.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include "ReceiveTimes.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

class HeadlessLiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        env.remove("DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        kestrova.setProcessEnvironment(env);
        kestrova.setWorkingDirectory(dir.path());
    }
    void TearDown() override
    {
        for (QProcess* p : {&kestrova, &sim}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }
    // Two NMEA receivers of one simulator at 9600 Bd, on ptys: their paths.
    QList<QByteArray> StartTwoPtyReceivers()
    {
        sim.start(KESTROVA_SIM_BIN, {"--protocol", "nmea", "--baud", "9600", "--receivers", "2"});
        QByteArray lines;
        while (lines.count('\n') < 2 && sim.waitForReadyRead(10000))
            lines += sim.readAllStandardOutput();
        return lines.trimmed().split('\n');
    }
    QString StartSim(const QString& protocol = "nmea")
    {
        sim.start(KESTROVA_SIM_BIN, {"--protocol", protocol, "--baud", "9600", "--rate", "20", "--tcp", "0", "--log",
                                     dir.path() + "/sim.log"});
        QByteArray out;
        while (!out.contains('\n') && sim.waitForReadyRead(10000))
            out += sim.readAllStandardOutput();
        return QString::fromLatin1(out.left(out.indexOf('\n')));
    }

    QTemporaryDir dir;
    QProcess sim;
    QProcess kestrova;
};

TEST_F(HeadlessLiveTest, SigtermEndsTheLogWithTheFileComplete)
{
    const QString address = StartSim();
    ASSERT_TRUE(address.startsWith("tcp://")) << address.toStdString();
    const QString file = dir.path() + "/log.nme";
    kestrova.start(KESTROVA_BIN, {"--headless", "--port", address, "--record", file, "--reconnect"});
    ASSERT_TRUE(kestrova.waitForStarted(10000));
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo(file).size() > 4000; }, 30000));
    ::kill(pid_t(kestrova.processId()), SIGTERM);
    ASSERT_TRUE(kestrova.waitForFinished(30000));
    EXPECT_EQ(kestrova.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kestrova.exitCode(), 0) << kestrova.readAllStandardError().toStdString();
    const QByteArray out = kestrova.readAllStandardOutput();
    EXPECT_TRUE(out.contains("POSITION\t"));
    const QByteArray recorded = ReadFile(file);
    const qsizetype mainAt = out.lastIndexOf("MAIN\t");
    ASSERT_GE(mainAt, 0);
    EXPECT_TRUE(out.mid(mainAt).contains("FileLabel=log.nme"));
    // Everything received went to the file, in the order sent.
    EXPECT_GT(recorded.size(), 4000);
    EXPECT_TRUE(ReadFile(dir.path() + "/sim.log.tx").startsWith(recorded));
}

TEST_F(HeadlessLiveTest, SourceThatCannotBeOpenedExitsWithStatusTwo)
{
    const std::pair<QStringList, QByteArray> cases[] = {
        {{"--headless", "--port", "tcp://127.0.0.1:1", "--seconds", "5"}, "kestrova: Connection failed: 127.0.0.1:1: Connection refused"},
        // A malformed address: what is wrong with it, as the Add-source dialog says.
        {{"--headless", "--port", "tcp://127.0.0.1", "--seconds", "5"}, "kestrova: The port is missing (HOST:PORT)\n"},
        {{"--headless", "--binr", "--port", "gpsd://127.0.0.1"}, "kestrova: BINR cannot pass through gpsd"},
        {{"--headless", "--port", dir.path() + "/ttyNone"}, "kestrova: Port open error"},
    };
    for (const auto& [args, message] : cases) {
        kestrova.start(KESTROVA_BIN, args);
        ASSERT_TRUE(kestrova.waitForFinished(30000));
        EXPECT_EQ(kestrova.exitCode(), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(kestrova.readAllStandardError().contains(message)) << message.toStdString();
    }
}

// A receiver on a wrong line rate sends bytes that never decode: said once
// on stderr within a few seconds, and on the information line; at the right
// rate nothing is said. Two receivers, one process each, side by side.
TEST_F(HeadlessLiveTest, BytesThatNeverDecodeAreSaid)
{
    const QList<QByteArray> ptys = StartTwoPtyReceivers();
    ASSERT_EQ(ptys.size(), 2);
    const QByteArray said = "kestrova: bytes arrive but nothing decodes";
    QProcess right;
    right.setProcessEnvironment(kestrova.processEnvironment());
    right.start(KESTROVA_BIN, {"--headless", "--port", ptys[1], "--baud", "9600", "--seconds", "5"});
    kestrova.start(KESTROVA_BIN, {"--headless", "--port", ptys[0], "--baud", "4800"});
    QByteArray err;
    EXPECT_TRUE(WaitUntil([&] {
        kestrova.waitForReadyRead(100);
        return (err += kestrova.readAllStandardError()).contains(said);
    }, 15000));
    ::kill(pid_t(kestrova.processId()), SIGTERM);
    ASSERT_TRUE(kestrova.waitForFinished(30000));
    err += kestrova.readAllStandardError();
    EXPECT_EQ(err.count(said), 1) << err.toStdString();
    EXPECT_TRUE(kestrova.readAllStandardOutput().contains("InfoLabel=Nothing decodes: try Synchronization"));
    ASSERT_TRUE(right.waitForFinished(30000));
    EXPECT_EQ(right.exitCode(), 0);
    EXPECT_FALSE(right.readAllStandardError().contains(said));
}

// The window takes --port and --baud: the port named is the one selected
// (over the one stored), at the rate named; both are then stored.
TEST_F(HeadlessLiveTest, WindowSelectsThePortAndRateNamed)
{
    const QList<QByteArray> ptys = StartTwoPtyReceivers();
    ASSERT_EQ(ptys.size(), 2);
    const QString conf = dir.path() + "/config/Tamrel/Kestrova.conf";
    ASSERT_TRUE(QDir().mkpath(QFileInfo(conf).path()));
    QFile stored(conf);
    ASSERT_TRUE(stored.open(QIODevice::WriteOnly));
    // The list shows a port without its "/dev/".
    const QByteArray shown[] = {ptys[0].mid(5), ptys[1].mid(5)};
    stored.write("[General]\nPortComboBox=" + shown[0] + "\nBaudComboBox=0\n");
    stored.close();
    QProcessEnvironment env = kestrova.processEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("KESTROVA_PORTS", QString::fromLatin1(ptys[0]));
    kestrova.setProcessEnvironment(env);
    kestrova.start(KESTROVA_BIN, {"--port", ptys[1], "--baud", "19200"});
    // 19200 is the third rate of the list.
    EXPECT_TRUE(WaitUntil([&] {
        const QByteArray now = ReadFile(conf);
        return now.contains("PortComboBox=" + shown[1]) && now.contains("BaudComboBox=2");
    }, 15000)) << ReadFile(conf).toStdString();
}

// QTimer waits an int of milliseconds: 4294968 s once came out as 0.7 s.
TEST_F(HeadlessLiveTest, SecondsBeyondWhatOneTimerHoldsStillRun)
{
    const QString address = StartSim();
    ASSERT_TRUE(address.startsWith("tcp://")) << address.toStdString();
    kestrova.start(KESTROVA_BIN, {"--headless", "--port", address, "--seconds", "4294968"});
    ASSERT_TRUE(kestrova.waitForStarted(10000));
    EXPECT_FALSE(kestrova.waitForFinished(3000)) << kestrova.readAllStandardError().toStdString();
    ::kill(pid_t(kestrova.processId()), SIGTERM);
    ASSERT_TRUE(kestrova.waitForFinished(30000));
    EXPECT_EQ(kestrova.exitCode(), 0) << kestrova.readAllStandardError().toStdString();

    kestrova.start(KESTROVA_BIN, {"--headless", "--port", address, "--seconds", "1"});
    ASSERT_TRUE(kestrova.waitForFinished(30000));
    EXPECT_EQ(kestrova.exitCode(), 0) << kestrova.readAllStandardError().toStdString();
}

// Writes that fail (a full disk, here a file size limit; the file removed
// under the recording) are said on stderr while it runs, and the run ends
// with exit status 1.
TEST_F(HeadlessLiveTest, LostRecordingIsSaidOnStderrAndExitsWithStatusOne)
{
    constexpr rlim_t kLimit = 2048;
    for (const bool removeFile : {false, true}) {
        const QString address = StartSim();
        ASSERT_TRUE(address.startsWith("tcp://")) << address.toStdString();
        const QString file = dir.path() + (removeFile ? "/removed.nme" : "/full.nme");
        kestrova.setChildProcessModifier([removeFile] {
            if (!removeFile) {
                const rlimit limit{kLimit, kLimit};
                ::setrlimit(RLIMIT_FSIZE, &limit);
                std::signal(SIGXFSZ, SIG_IGN);
            }
        });
        kestrova.start(KESTROVA_BIN, {"--headless", "--port", address, "--record", file});
        ASSERT_TRUE(kestrova.waitForStarted(10000));
        if (removeFile) {
            ASSERT_TRUE(WaitUntil([&] { return QFileInfo(file).size() > 1000; }, 30000));
            ASSERT_TRUE(QFile::remove(file));
        }
        QByteArray err;
        ASSERT_TRUE(WaitUntil([&] {
            kestrova.waitForReadyRead(20);
            err += kestrova.readAllStandardError();
            return err.contains("write error");
        }, 30000)) << err.toStdString();
        ::kill(pid_t(kestrova.processId()), SIGTERM);
        ASSERT_TRUE(kestrova.waitForFinished(30000));
        err += kestrova.readAllStandardError();
        EXPECT_EQ(kestrova.exitCode(), 1) << err.toStdString();
        const QByteArray prefix = "kestrova: " + QFile::encodeName(file) + ": write error: ";
        EXPECT_TRUE(err.startsWith(prefix)) << err.toStdString();
        EXPECT_TRUE(err.trimmed().endsWith(" bytes lost")) << err.toStdString();
        if (!removeFile) {
            EXPECT_EQ(QFileInfo(file).size(), qint64(kLimit));
        }
        sim.kill();
        sim.waitForFinished(5000);
    }
}

// The systemd unit of docs/guide.md, run twice on one file as a restart of the
// service runs it: the second run continues the log, its receive times and
// its side file.
TEST_F(HeadlessLiveTest, ReadmeUnitSurvivesARestart)
{
    QFile readme(KESTROVA_SOURCE_DIR "/docs/guide.md");
    ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const qsizetype at = text.indexOf("ExecStart=");
    ASSERT_GE(at, 0);
    QString command;
    for (const QString& line : text.mid(at).split('\n')) {
        command += line.trimmed() + ' ';
        if (!line.trimmed().endsWith('\\'))
            break;
    }
    QStringList args = command.remove('\\').split(' ', Qt::SkipEmptyParts).mid(1);
    const QString address = StartSim("binr");
    ASSERT_TRUE(address.startsWith("tcp://")) << address.toStdString();
    const QString file = dir.path() + "/receiver.dat";
    for (const char* option : {"--port", "--record"}) {
        const qsizetype i = args.indexOf(option);
        ASSERT_TRUE(i >= 0 && i + 1 < args.size()) << option;
        args[i + 1] = QString(option) == "--port" ? address : file;
    }

    QByteArray first, firstSide;
    for (int run = 0; run < 2; ++run) {
        const qint64 before = QFileInfo(file).size();
        kestrova.start(KESTROVA_BIN, args);
        ASSERT_TRUE(kestrova.waitForStarted(10000));
        ASSERT_TRUE(WaitUntil([&] { return QFileInfo(file).size() > before + 3000; }, 30000)) << "run " << run;
        ::kill(pid_t(kestrova.processId()), SIGTERM);
        ASSERT_TRUE(kestrova.waitForFinished(30000));
        EXPECT_EQ(kestrova.exitCode(), 0) << kestrova.readAllStandardError().toStdString();
        if (run == 0) {
            first = ReadFile(file);
            firstSide = ReadFile(dir.path() + "/receiver.nme");
        }
    }
    const QByteArray both = ReadFile(file);
    EXPECT_TRUE(both.startsWith(first)) << "the first run's log is intact";
    EXPECT_GT(both.size(), first.size());
    EXPECT_GT(firstSide.size(), 0);
    EXPECT_TRUE(ReadFile(dir.path() + "/receiver.nme").startsWith(firstSide));
    const ReceiveTimesRead times = ReadReceiveTimes((file + ".times").toStdString(), both.size());
    EXPECT_EQ(times.problem, "");
    EXPECT_TRUE(std::any_of(times.times.begin(), times.times.end(),
                            [&](const ReceiveTime& t) { return t.endOffset == first.size(); }))
        << "the first run's records are kept";
}

TEST_F(HeadlessLiveTest, RecordIntoAMissingFolderOrOverALogIsRefused)
{
    const QString address = StartSim();
    ASSERT_TRUE(address.startsWith("tcp://")) << address.toStdString();
    for (const char* name : {"x.nme", "log.nme", "busy.nme"}) {
        QFile f(dir.path() + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("kept");
    }
    // busy.nme is being recorded (this process holds its lock); pipe.nme is a
    // FIFO nobody reads, whose open would wait for ever.
    const int holder = ::open(QFile::encodeName(dir.path() + "/busy.nme").constData(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.path() + "/pipe.nme").constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.nme"));
    const std::pair<QStringList, QByteArray> cases[] = {
        {{"--record", dir.path() + "/no/such/x.nme"},
         ("kestrova: Cannot enter folder " + dir.path() + "/no/such: No such file or directory").toUtf8()},
        {{"--record", "no/such/x.nme", "--append"}, ("kestrova: Cannot enter folder " + dir.path() + "/no/such").toUtf8()},
        {{"--record", "log.nme"}, "kestrova: log.nme: exists; --append continues it, --overwrite replaces it"},
        {{"--record", "log.nme", "--append", "--overwrite"}, "--append and --overwrite exclude each other"},
        {{"--record", "busy.nme", "--append"}, "kestrova: busy.nme: being recorded by another process\n"},
        {{"--record", "pipe.nme", "--overwrite"}, "kestrova: pipe.nme: not a regular file\n"},
        {{"--record", "folder.nme"}, "kestrova: folder.nme: a folder, not a file\n"},
        {{"--overwrite"}, "--append and --overwrite belong to --record FILE"},
    };
    for (const auto& [args, message] : cases) {
        kestrova.start(KESTROVA_BIN, QStringList {"--headless", "--port", address, "--seconds", "2"} + args);
        ASSERT_TRUE(kestrova.waitForFinished(30000));
        EXPECT_EQ(kestrova.exitCode(), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(kestrova.readAllStandardError().contains(message)) << message.toStdString();
        EXPECT_EQ(ReadFile(dir.path() + "/x.nme"), "kept");
        EXPECT_EQ(ReadFile(dir.path() + "/log.nme"), "kept");
        EXPECT_EQ(ReadFile(dir.path() + "/busy.nme"), "kept");
    }
    ::close(holder);
    // --overwrite replaces it, as the window's second press does.
    kestrova.start(KESTROVA_BIN, {"--headless", "--port", address, "--record", "log.nme", "--overwrite", "--seconds", "2"});
    ASSERT_TRUE(kestrova.waitForFinished(30000));
    EXPECT_EQ(kestrova.exitCode(), 0) << kestrova.readAllStandardError().toStdString();
    EXPECT_FALSE(ReadFile(dir.path() + "/log.nme").startsWith("kept"));
}

// What stands under FILE.times, or becomes of it, never stops a recording
// nor goes unsaid: a FIFO is refused at once (the --seconds deadline still
// ends the run), a link's target is left alone, a removal mid-run is said
// and the file made again. Each ends the run with status 1.
TEST_F(HeadlessLiveTest, ReceiveTimesTroubleIsSaidAndTheRecordingGoesOn)
{
    enum class Under { Fifo, Link, RemovedMidRun };
    const std::pair<Under, std::vector<QByteArray>> rows[] = {
        {Under::Fifo, {": not a regular file; this recording has no receive times"}},
        {Under::Link, {": a symbolic link; this recording has no receive times"}},
        {Under::RemovedMidRun, {": removed during the recording", ": made again; the times of its first "}},
    };
    const QString victim = dir.path() + "/victim";
    for (const auto& [under, said] : rows) {
        const QString address = StartSim();
        ASSERT_TRUE(address.startsWith("tcp://")) << address.toStdString();
        const QString file = dir.path() + "/rec" + QString::number(int(under)) + ".nme";
        const QByteArray times = QFile::encodeName(file + ".times");
        QFile(victim).remove();
        ASSERT_TRUE(QFile(victim).open(QIODevice::WriteOnly));
        if (under == Under::Fifo) {
            ASSERT_EQ(::mkfifo(times.constData(), 0600), 0);
        }
        if (under == Under::Link) {
            ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(), times.constData()), 0);
        }
        const QString seconds = under == Under::RemovedMidRun ? "60" : "2";
        kestrova.start(KESTROVA_BIN, {"--headless", "--port", address, "--record", file, "--seconds", seconds});
        ASSERT_TRUE(kestrova.waitForStarted(10000));
        QByteArray err;
        if (under == Under::RemovedMidRun) {
            ASSERT_TRUE(WaitUntil([&] { return QFileInfo(file + ".times").size() > 100; }, 30000));
            ASSERT_TRUE(QFile::remove(file + ".times"));
            EXPECT_TRUE(WaitUntil([&] {
                kestrova.waitForReadyRead(20);
                err += kestrova.readAllStandardError();
                return err.contains("made again");
            }, 30000)) << err.toStdString();
            ::kill(pid_t(kestrova.processId()), SIGTERM);
        }
        ASSERT_TRUE(kestrova.waitForFinished(20000)) << "stuck on " << times.toStdString();
        err += kestrova.readAllStandardError();
        EXPECT_EQ(kestrova.exitCode(), 1) << err.toStdString();
        for (const QByteArray& text : said)
            EXPECT_TRUE(err.contains("kestrova: " + times + text)) << err.toStdString();
        EXPECT_GT(QFileInfo(file).size(), 0);
        EXPECT_EQ(QFileInfo(victim).size(), 0) << "the link's target is left alone";
        sim.kill();
        sim.waitForFinished(5000);
    }
}

} // namespace
