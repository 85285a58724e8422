// Headless runs of the real program: one line per view refresh, the MAIN
// line once playback stops, exit status, and no settings touched.
#include "NmeaChecksum.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>

namespace {

struct RunResult {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

class HeadlessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    RunResult Kestrova(const QStringList& args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        env.remove("DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start(KESTROVA_BIN, args);
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }
    QString PathOf(const QString& name) const { return dir.path() + "/" + name; }
    void Write(const QString& name, const QByteArray& bytes)
    {
        QFile f(PathOf(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QList<QByteArray> Lines(const QByteArray& out, const QByteArray& view)
    {
        QList<QByteArray> found;
        for (const QByteArray& line : out.split('\n'))
            if (line.startsWith(view + '\t'))
                found << line;
        return found;
    }

    QTemporaryDir dir;
};

QByteArray Sentence(const std::string& body) { return QByteArray::fromStdString(NmeaSentence(body)); }

} // namespace

TEST_F(HeadlessTest, HelpDocumentsTheOptions)
{
    const RunResult r = Kestrova({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* option : {"--headless", "--nmea", "--binr", "--max-hdop", "--max-vdop", "--diff-only", "--show"})
        EXPECT_TRUE(r.out.contains(option)) << option;
}

TEST_F(HeadlessTest, WrongOptionsOrFileExitWithStatusTwoAndOneLine)
{
    const std::pair<QStringList, QByteArray> cases[] = {
        {{"--headless", "absent.nme"}, "File open error: absent.nme\n"},
        {{"--headless", "."}, "File open error: .\n"},
        {{"--headless", "--max-hdop", "abc", "x.nme"}, ""},
        {{"--headless", "--bogus", "x.nme"}, ""},
        {{"--headless"}, ""},
    };
    for (const auto& [args, message] : cases) {
        const RunResult r = Kestrova(args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        if (!message.isEmpty()) {
            EXPECT_EQ(r.err, message);
        }
        EXPECT_TRUE(r.out.isEmpty());
    }
}

TEST_F(HeadlessTest, NmeaPlaybackPrintsEveryRefreshThenTheMainLine)
{
    QByteArray stream;
    for (int i = 0; i < 3; ++i) {
        stream += Sentence("GPGGA,12000" + std::to_string(i) + ".00,5530.1234,N,03730.5678,E,1,08,0.9,150.5,M,14.0,M,,");
        stream += Sentence("GPRMC,12000" + std::to_string(i) + ".00,A,5530.1234,N,03730.5678,E,0.1,45.0,010124,,,A");
    }
    stream += "$GPGGA,bad*00\r\n";
    Write("walk.nme", stream);
    const RunResult r = Kestrova({"--headless", "walk.nme"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QList<QByteArray> lines = r.out.split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.last().isEmpty()) << "every line ends with a line feed";
    const QByteArray main = lines[lines.size() - 2];
    EXPECT_EQ(main, QByteArray("MAIN\tReceiveBytesLabel=0 kB\tErrorBytesLabel=1\tInfoLabel=\tDeviceLabel=unknown\t"
                               "FileLabel=walk.nme"));
    EXPECT_EQ(Lines(r.out, "MAIN").size(), 1);
    EXPECT_EQ(Lines(r.out, "POSITION").size(), 3);
    EXPECT_EQ(Lines(r.out, "STATISTIC").size(), 3);
    EXPECT_EQ(Lines(r.out, "SATELLITES").size(), 3);
    // UTF-8 throughout: a degree sign is C2 B0, never a lone B0.
    const QByteArray position = Lines(r.out, "POSITION").value(0);
    if (position.contains('\xB0')) {
        EXPECT_TRUE(position.contains("\xC2\xB0"));
    }
    EXPECT_TRUE(QString::fromUtf8(r.out).toUtf8() == r.out) << "valid UTF-8";
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/config/Tamrel")) << "no settings written";
}

TEST_F(HeadlessTest, BinrRecordingPlaysAndWritesItsSideFile)
{
    const QString demo = QString(KESTROVA_SOURCE_DIR) + "/samples/demo.dat";
    if (!QFileInfo::exists(demo))
        GTEST_SKIP() << "samples/demo.dat absent";
    ASSERT_TRUE(QFile::copy(demo, PathOf("demo.dat")));
    const RunResult r = Kestrova({"--headless", PathOf("demo.dat")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QList<QByteArray> main = Lines(r.out, "MAIN");
    ASSERT_EQ(main.size(), 1);
    EXPECT_TRUE(main[0].endsWith("\tFileLabel=demo.dat"));
    EXPECT_TRUE(main[0].contains("\tErrorBytesLabel=0\t"));
    EXPECT_GT(Lines(r.out, "POSITION").size(), 100);
    EXPECT_GT(QFileInfo(PathOf("demo.nme")).size(), 1000) << "side file beside the played file";

    // The same bytes read as NMEA: nothing decodes, every frame is noise.
    const RunResult asNmea = Kestrova({"--headless", "--nmea", PathOf("demo.dat")});
    EXPECT_EQ(asNmea.status, 0);
    EXPECT_TRUE(Lines(asNmea.out, "POSITION").isEmpty());
}

TEST_F(HeadlessTest, NmeFileReadAsBinrKeepsItsContent)
{
    const QByteArray content = Sentence("GPGGA,120000.00,5530.1234,N,03730.5678,E,1,08,0.9,150.5,M,14.0,M,,");
    Write("track.nme", content);
    const RunResult r = Kestrova({"--headless", "--binr", "track.nme"});
    EXPECT_EQ(r.status, 0);
    QFile f(PathOf("track.nme"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), content) << "the side file would have been the played file";
}
