// Headless runs of the real program: one line per view refresh, the MAIN
// line once playback stops, exit status, and no settings touched.
#include "../core/NmeafileFrames.h"

#include "NmeaChecksum.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>

#include <csignal>
#include <sys/time.h>
#include <unistd.h>

namespace {

struct RunResult {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

class HeadlessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // window: the window on the offscreen platform instead of none at all.
    RunResult Kestrova(const QStringList& args, bool window = false)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        env.remove("DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        env.remove("KESTROVA_PORTS");
        if (window) {
            env.insert("QT_QPA_PLATFORM", "offscreen");
            if (!env.contains("XDG_RUNTIME_DIR"))
                env.insert("XDG_RUNTIME_DIR", dir.path());   // else Qt warns on stderr
        }
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

    QByteArray Read(const QString& name) const
    {
        QFile f(PathOf(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void SetModified(const QString& name, int64_t unixS)
    {
        const timeval times[2] = {{time_t(unixS), 0}, {time_t(unixS), 0}};
        ASSERT_EQ(utimes(QFile::encodeName(PathOf(name)).constData(), times), 0);
    }

    QTemporaryDir dir;
};

// Unix seconds at noon UTC.
constexpr int64_t k2010_01_01 = 1262347200;
constexpr int64_t k2026_12_07 = 1796644800;

// One BINR fix on Monday 7 December 2026, noon: GPS week 2448, sent as 400.
QByteArray FixOf2026()
{
    synth_test::Nav nav;
    nav.latDeg = 55.5;
    nav.lonDeg = 37.25;
    nav.timeMs = (86400 + 43200) * 1000.0;
    nav.week = 400;
    nav.flags = 0x01;
    const std::vector<uint8_t> frame = synth_test::Frame(kMsgNavSolution, synth_test::NavPayload(nav));
    return QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size()));
}

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
        {{"--headless", "absent.nme"}, "kestrova: absent.nme: cannot open: No such file or directory\n"},
        {{"--headless", "."}, "kestrova: .: a folder, not a file\n"},
        {{"--headless", "/dev/zero"}, "kestrova: /dev/zero: not a regular file\n"},
        // Names from outside reach the terminal with their control characters shown, not obeyed.
        {{"--headless", "a\x1B]0;x\x07\r.nme"},
         "kestrova: a\xEF\xBF\xBD]0;x\xEF\xBF\xBD\xEF\xBF\xBD.nme: cannot open: No such file or directory\n"},
        {{"--show", "x\x1B[2J"}, "kestrova: --show: unknown view x\xEF\xBF\xBD[2J\n"},
        {{"--headless", "--week-rollovers", "10", "x.nme"}, "kestrova: --week-rollovers takes a count from 1 to 9\n"},
        {{"--headless", "--max-hdop", "abc", "x.nme"}, ""},
        {{"--headless", "--bogus", "x.nme"}, ""},
        {{"--headless", "--port", "tcp://127.0.0.1:1", "--record", ""}, "kestrova: --record needs a FILE name\n"},
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
    const QString demo = QString(KESTROVA_SOURCE_DIR) + "/samples/demo-binr.dat";
    if (!QFileInfo::exists(demo))
        GTEST_SKIP() << "samples/demo-binr.dat absent";
    ASSERT_TRUE(QFile::copy(demo, PathOf("demo.dat")));
    const RunResult r = Kestrova({"--headless", PathOf("demo.dat")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QList<QByteArray> main = Lines(r.out, "MAIN");
    ASSERT_EQ(main.size(), 1);
    EXPECT_TRUE(main[0].endsWith("\tFileLabel=demo.dat"));
    EXPECT_TRUE(main[0].contains("\tErrorBytesLabel=0\t"));
    EXPECT_GT(Lines(r.out, "POSITION").size(), 100);
    EXPECT_GT(QFileInfo(PathOf("demo.nme")).size(), 1000) << "side file beside the played file";
    EXPECT_EQ(r.err, "");
    // Played again it takes its own side file back, byte for byte; a file
    // another program left under the name is kept, and the run says so.
    const QByteArray side = Read("demo.nme");
    EXPECT_EQ(Kestrova({"--headless", PathOf("demo.dat")}).err, "");
    EXPECT_EQ(Read("demo.nme"), side);
    Write("demo.nme", "$GPGGA,another program\r\n");
    const RunResult kept = Kestrova({"--headless", PathOf("demo.dat")});
    EXPECT_EQ(kept.status, 0);
    EXPECT_EQ(kept.err, "kestrova: demo.nme kept (not a side file Kestrova wrote); side file: demo.side.nme\n");
    EXPECT_EQ(Read("demo.nme"), "$GPGGA,another program\r\n");
    EXPECT_EQ(Read("demo.side.nme"), side);

    // The same bytes read as NMEA: nothing decodes, every frame is noise.
    const RunResult asNmea = Kestrova({"--headless", "--nmea", PathOf("demo.dat")});
    EXPECT_EQ(asNmea.status, 0);
    EXPECT_TRUE(Lines(asNmea.out, "POSITION").isEmpty());
}

// The lines are all a headless run gives: standard output that takes none
// is said once on stderr and ends the run with exit status 1.
TEST_F(HeadlessTest, StandardOutputThatFailsEndsWithStatusOne)
{
    QByteArray stream;
    for (int i = 0; i < 2000; ++i)
        stream += Sentence("GPGGA,1200" + std::to_string(10 + i % 50) + ".00,5530.1234,N,03730.5678,E,1,08,0.9,150.5,M,14.0,M,,");
    Write("walk.nme", stream);
    const std::pair<bool, QByteArray> cases[] = {
        {false, "kestrova: standard output: write error: No space left on device\n"},
        {true, "kestrova: standard output: write error: Bad file descriptor\n"},
    };
    for (const auto& [closed, message] : cases) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        env.remove("DISPLAY");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        if (closed)
            p.setChildProcessModifier([] { ::close(STDOUT_FILENO); });
        else
            p.setStandardOutputFile("/dev/full");
        p.start(KESTROVA_BIN, {"--headless", "walk.nme"});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 1) << message.toStdString();
        EXPECT_EQ(p.readAllStandardError(), message);
    }
}

// The window writes a setting when it changes, not only on a clean exit:
// killed outright, it has kept Multi-GNSS and the PLAYER shown.
TEST_F(HeadlessTest, SettingsChangedSurviveAKill)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    if (!env.contains("XDG_RUNTIME_DIR"))
        env.insert("XDG_RUNTIME_DIR", dir.path());
    env.remove("KESTROVA_PORTS");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(KESTROVA_BIN, {"--multi-gnss", "--player"});
    ASSERT_TRUE(p.waitForStarted(10000));
    const QString conf = PathOf("config/Tamrel/Kestrova.conf");
    auto stored = [&] {
        const QByteArray text = Read("config/Tamrel/Kestrova.conf");
        return text.contains("MultiGnss=1") && text.contains("PlayerVisible=1");
    };
    for (int i = 0; i < 200 && !stored() && p.state() == QProcess::Running; ++i)
        p.waitForFinished(50);
    ::kill(pid_t(p.processId()), SIGKILL);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::CrashExit);
    QSettings settings(conf, QSettings::IniFormat);
    EXPECT_EQ(settings.value("MultiGnss").toString(), "1") << Read("config/Tamrel/Kestrova.conf").toStdString();
    EXPECT_EQ(settings.value("PlayerVisible").toString(), "1");
}

TEST_F(HeadlessTest, MultiGnssPrintsNothingOnStderr)
{
    Write("walk.nme", Sentence("GPGGA,120000.00,5530.1234,N,03730.5678,E,1,08,0.9,150.5,M,14.0,M,,"));
    const RunResult r = Kestrova({"--headless", "--multi-gnss", "walk.nme"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Lines(r.out, "MAIN").size(), 1);
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

// A receiver sends its week modulo 1024: a recording is dated by the time its
// file was written, unless the user forces the count.
TEST_F(HeadlessTest, BinrDatesFollowTheFileTimeUnlessACountIsForced)
{
    struct Row { int64_t modifiedS; QStringList options; QByteArray date; QByteArray rmcDate; };
    const Row rows[] = {
        {k2026_12_07, {}, "07.12.26", ",071226,"},
        {k2010_01_01, {}, "23.04.07", ",230407,"},
        {k2010_01_01, {"--week-rollovers", "2"}, "07.12.26", ",071226,"},
    };
    Write("fix.dat", FixOf2026());
    for (const Row& r : rows) {
        SetModified("fix.dat", r.modifiedS);
        const RunResult headless = Kestrova(QStringList{"--headless"} + r.options + QStringList{"fix.dat"});
        EXPECT_EQ(headless.status, 0);
        EXPECT_TRUE(headless.err.isEmpty()) << headless.err.toStdString();
        EXPECT_TRUE(Lines(headless.out, "POSITION").value(0).contains("\tDateLabel=" + r.date + "\t"))
            << headless.out.toStdString();
        EXPECT_TRUE(Read("fix.nme").contains(r.rmcDate)) << Read("fix.nme").toStdString();
        ASSERT_TRUE(QFile::remove(PathOf("fix.nme")));
        const RunResult toNmea = Kestrova(QStringList{"--to-nmea"} + r.options + QStringList{"fix.dat"});
        EXPECT_EQ(toNmea.status, 0);
        EXPECT_TRUE(Read("fix.nme").contains(r.rmcDate)) << Read("fix.nme").toStdString();
    }
}

// The window plays a file of any name, with --nmea or --binr or by its name;
// what it refuses is named on stderr.
TEST_F(HeadlessTest, WindowPlaysAnyFileNamedAndSaysWhatItRefuses)
{
    Write("fix.log", FixOf2026());
    SetModified("fix.log", k2010_01_01);
    Write("fix.dat", FixOf2026());
    Write("walk.log", Sentence("GPGGA,120000.00,5530.1234,N,03730.5678,E,1,08,0.9,150.5,M,14.0,M,,"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("config/Tamrel"));

    const RunResult binr = Kestrova({"--exit-after-play", "--fast", "--binr", "fix.log"}, true);
    EXPECT_EQ(binr.status, 0) << binr.err.toStdString();
    EXPECT_TRUE(Read("fix.nme").contains(",230407,")) << "played as BINR, dated by the file";
    ASSERT_TRUE(QFile::remove(PathOf("fix.nme")));
    const RunResult dat = Kestrova({"--exit-after-play", "--fast", "fix.dat"}, true);
    EXPECT_EQ(dat.status, 0) << dat.err.toStdString();
    EXPECT_TRUE(QFile::exists(PathOf("fix.nme"))) << ".dat plays as BINR";
    const RunResult nmea = Kestrova({"--exit-after-play", "--fast", "walk.log"}, true);
    EXPECT_EQ(nmea.status, 0) << nmea.err.toStdString();

    // The count kept in the settings file, for the window only.
    QFile conf(PathOf("config/Tamrel/Kestrova.conf"));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("[General]\nWeekRollovers=2\n");
    conf.close();
    ASSERT_TRUE(QFile::remove(PathOf("fix.nme")));
    const RunResult forced = Kestrova({"--exit-after-play", "--fast", "--binr", "fix.log"}, true);
    EXPECT_EQ(forced.status, 0) << forced.err.toStdString();
    EXPECT_TRUE(Read("fix.nme").contains(",071226,")) << Read("fix.nme").toStdString();
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("[General]\nWeekRollovers=x\n");
    conf.close();
    const RunResult badKey = Kestrova({"--exit-after-play", "--fast", "walk.log"}, true);
    EXPECT_EQ(badKey.err, "kestrova: settings: WeekRollovers takes a count from 1 to 9; ignored\n");
    ASSERT_TRUE(conf.remove());

    const RunResult folder = Kestrova({"--exit-after-play", "."}, true);
    EXPECT_EQ(folder.status, 2);
    EXPECT_EQ(folder.err, "kestrova: .: a folder, not a file\n");
    const RunResult port = Kestrova({"--exit-after-play", "--fast", "--port", "/dev/no-such-tty", "walk.log"}, true);
    EXPECT_EQ(port.status, 0);
    EXPECT_EQ(port.err, "kestrova: --port /dev/no-such-tty: No such file or directory; not listed\n");
}

// The information line has room for a short name only: the full path of the
// device refused goes to stderr. Root opens everything, so the program runs
// as nobody.
TEST_F(HeadlessTest, RefusedDeviceIsNamedInFullOnStderr)
{
    if (geteuid() != 0 || !QFileInfo::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "needs root and setpriv to run the program as another user";
    constexpr uid_t kNobody = 65534;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                      | QFileDevice::ExeOwner | QFileDevice::ExeOther));
    ASSERT_TRUE(QDir(dir.path()).mkdir("home"));
    ASSERT_EQ(chown(QFile::encodeName(PathOf("home")).constData(), kNobody, kNobody), 0);
    Write("tty", "");   // the owner's only

    QProcess p;
    QProcessEnvironment env;
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", PathOf("home"));
    env.insert("XDG_RUNTIME_DIR", PathOf("home"));
    env.insert("HOME", PathOf("home"));
    p.setProcessEnvironment(env);
    p.start("/usr/bin/setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", KESTROVA_BIN,
                                 "--exit-after-play", "--port", PathOf("tty")});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    EXPECT_TRUE(err.contains("kestrova: --port " + PathOf("tty") + ": Permission denied; not listed\n")) << err.toStdString();
    // The first device refused: the one the line names (NAME stands for /dev/NAME).
    const QString marker = "kestrova: No permission: ";
    const int at = err.indexOf(marker);
    ASSERT_GE(at, 0) << err.toStdString();
    const QString name = err.mid(at + marker.size()).section('\n', 0, 0);
    const QString path = name.startsWith('/') ? name : "/dev/" + name;
    EXPECT_TRUE(err.contains("kestrova: no permission to open " + path + "\n")) << err.toStdString();
}

namespace {

// --show signals adds a SIGNALS line per complete epoch, after the other
// views' lines of that epoch; without it the output has none.
TEST_F(HeadlessTest, ShowSignalsAddsOneLinePerEpochAfterTheViews)
{
    QByteArray stream;
    for (const char* time : {"120000.00", "120001.00", "120002.00"}) {
        stream += Sentence(std::string("GPGGA,") + time + ",5213.7,N,02100.6,E,1,02,1.0,100.0,M,0.0,M,,");
        stream += Sentence("GPGSA,A,3,05,70,,,,,,,,,,,2.0,1.0,1.7");
        stream += Sentence("GPGSV,2,1,05,05,40,100,44,10,30,200,30,12,20,300,,70,50,050,41");
        stream += Sentence("GPGSV,2,2,05,135,30,190,31");
    }
    Write("s.nme", stream);
    const RunResult plain = Kestrova({"--headless", "s.nme"});
    EXPECT_TRUE(Lines(plain.out, "SIGNALS").isEmpty());
    const RunResult r = Kestrova({"--headless", "--show", "signals", "s.nme"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, "");
    // The cycles completed before the second and third GGA; SBAS is kept
    // out without Multi-GNSS, 70 is GLONASS slot 6.
    const QByteArray line = "SIGNALS\tG05:44:u\tG10:30:-\tG12::-\tR06:41:u";
    EXPECT_EQ(Lines(r.out, "SIGNALS"), (QList<QByteArray>{line, line}));
    const QList<QByteArray> all = r.out.split('\n');
    const qsizetype first = all.indexOf(line);
    ASSERT_GT(first, 0);
    EXPECT_TRUE(all[first - 1].startsWith("SATELLITES\t")) << all[first - 1].toStdString();
    EXPECT_EQ(Kestrova({"--headless", "--show", "all", "s.nme"}).out, r.out);
}

} // namespace
