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

#include <csignal>

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
    QString StartSim()
    {
        sim.start(KESTROVA_SIM_BIN, {"--protocol", "nmea", "--baud", "9600", "--rate", "20", "--tcp", "0", "--log",
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

} // namespace
