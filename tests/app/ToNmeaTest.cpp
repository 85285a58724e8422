// kestrova --to-nmea: the real program on real files.
#include "../core/NmeafileFrames.h"

#include "NmeaAssembler.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/time.h>

using namespace synth_test;

namespace {

constexpr int kEpochs = 100;

// A recording of kEpochs one-second epochs (0x60, 0x93, 0x88, 0x52 with three
// satellites) with two damaged frames and some line noise in between.
std::vector<uint8_t> Recording()
{
    std::vector<uint8_t> stream = {0x00, 0xFF, 0x10, 0x10, 0x10, 0x03};   // noise, ignored
    for (int i = 0; i < kEpochs; ++i) {
        Nav nav;
        nav.latDeg = 55.5 + i * 1e-5;
        nav.lonDeg = 37.25;
        nav.altM = 150.04;
        nav.timeMs = 45296789 + i * 1000.0;
        nav.week = 476;
        nav.velEastMps = -10;
        nav.flags = 0x01;
        Append(stream, Frame(kMsgDopInfo, DopPayload(5, 3, 1.3f, 0.9f)));
        Append(stream, Frame(kMsgSolutionStatus, StatusPayload(0x11, 0x1)));
        Append(stream, Frame(kMsgNavSolution, NavPayload(nav)));
        Append(stream, Frame(kMsgSatInView, SatPayload({{1, 1, 45, 120, 40}, {2, 7, 10, 300, 0}, {4, 124, 80, 10, 35}})));
        if (i == 10)
            Append(stream, Frame(kMsgNavSolution, std::vector<uint8_t>(kNavSolutionSize - 1, kDle)));   // wrong length
        if (i == 20)
            Append(stream, Frame(kMsgSatInView, std::vector<uint8_t>(20, 0x01)));   // not whole records
    }
    return stream;
}

struct ProgramRun {
    int exitCode;
    QString out;
    QString err;
};

ProgramRun ToNmea(const QString& folder, const QStringList& files)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(KESTROVA_BIN, QStringList{"--to-nmea"} + files);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

std::string Text(const QString& path)
{
    const auto bytes = ReadBinaryFile(path.toStdString());
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1)
        lines.push_back(text.substr(start, lf - start + 1));
    return lines;
}

TEST(ToNmea, ConvertsEachFileBesideItself)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    const auto recording = Recording();
    ASSERT_TRUE(WriteBinaryFile((dir.path() + "/track.dat").toStdString(), recording));
    ASSERT_TRUE(WriteBinaryFile((dir.path() + "/sub/other.v2.dat").toStdString(), recording));
    // Week 476 is dated by the files' time: keep it in 2026, not the day the test runs.
    const timeval written[2] = {{1796644800, 0}, {1796644800, 0}};
    for (const char* name : {"/track.dat", "/sub/other.v2.dat"})
        ASSERT_EQ(utimes(QFile::encodeName(dir.path() + name).constData(), written), 0);

    const ProgramRun run = ToNmea(dir.path(), {"track.dat", "sub/other.v2.dat"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.toStdString(),
              "track.dat -> track.nme: 500 sentences, 2 errors\n"
              "sub/other.v2.dat -> sub/other.nme: 500 sentences, 2 errors\n");
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();

    const std::string side = Text(dir.path() + "/track.nme");
    EXPECT_EQ(side, Text(dir.path() + "/sub/other.nme"));
    const auto lines = Lines(side);
    ASSERT_EQ(lines.size(), 500u);
    EXPECT_EQ(lines[0], "$GPGGA,123456.789,5530.00000,N,03715.00000,E,1,8,1.3,150.0,M,,M,,*7E\n");
    EXPECT_EQ(lines[1], "$GPRMC,123456.789,A,5530.00000,N,03715.00000,E,019.4,270.0,051008,,,A*69\n");   // Sunday of week 476
    EXPECT_EQ(lines[2], "$GPGSA,A,3,1,5,65,,,,,,,,,,,,,,,,,,,,,,,1.3,0.9*10\n");
    EXPECT_EQ(lines[4].substr(0, 13), "$GPGSV,1,1,3,");
    EXPECT_EQ(lines[495].substr(0, 17), "$GPGGA,123635.789");

    // The program's own NMEA path reads it all back without an error.
    NmeaAssembler assembler;
    std::map<int, int> results;
    for (const char c : side) {
        const int r = assembler.PushByte(c);
        if (r != 0)
            ++results[r];
    }
    EXPECT_EQ(results, (std::map<int, int>{{kNmeaGga, 100}, {kNmeaRmc, 100}, {kNmeaGsa, 100},
                                           {kNmeaPvktd, 100}, {kNmeaGsv, 100}}));
}

TEST(ToNmea, BadFilesAreReportedAndTheRestConverted)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto recording = Recording();
    ASSERT_TRUE(WriteBinaryFile((dir.path() + "/good.dat").toStdString(), recording));
    // A BINR recording that happens to be named .nme: its side file would be
    // itself, and must not be truncated.
    ASSERT_TRUE(WriteBinaryFile((dir.path() + "/keep.nme").toStdString(), recording));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.dat"));
    ASSERT_TRUE(WriteBinaryFile((dir.path() + "/empty.dat").toStdString(), {}));

    const ProgramRun run =
        ToNmea(dir.path(), {"missing.dat", "keep.nme", "folder.dat", "good.dat", "empty.dat", "./good.dat"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out.toStdString(),
              "good.dat -> good.nme: 500 sentences, 2 errors\n"
              "empty.dat -> empty.nme: 0 sentences, 0 errors\n");
    const std::string err = run.err.toStdString();
    EXPECT_NE(err.find("kestrova: missing.dat: cannot read: No such file or directory\n"), std::string::npos) << err;
    EXPECT_NE(err.find("kestrova: keep.nme: its side file would be the file itself; skipped\n"), std::string::npos)
        << err;
    EXPECT_NE(err.find("kestrova: folder.dat: cannot read: Is a directory\n"), std::string::npos) << err;
    // ./good.dat would overwrite what good.dat just produced.
    EXPECT_NE(err.find("kestrova: ./good.dat: side file ./good.nme was already written by this run; skipped\n"),
              std::string::npos)
        << err;

    EXPECT_EQ(ReadBinaryFile((dir.path() + "/keep.nme").toStdString()), recording);
    EXPECT_FALSE(QFile::exists(dir.path() + "/folder.nme"));
    EXPECT_FALSE(QFile::exists(dir.path() + "/missing.nme"));
    EXPECT_EQ(Lines(Text(dir.path() + "/good.nme")).size(), 500u);
    EXPECT_TRUE(QFile::exists(dir.path() + "/empty.nme"));
}

// Neither ends: a FIFO would block the open, /dev/zero would spin for good.
TEST(ToNmea, FifoAndDeviceAreRefusedAndTheNextFileConverted)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(WriteBinaryFile((dir.path() + "/good.dat").toStdString(), Recording()));
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.path() + "/pipe.dat").constData(), 0600), 0);
    ASSERT_TRUE(QFile::link("/dev/zero", dir.path() + "/zero.dat"));

    const ProgramRun run = ToNmea(dir.path(), {"pipe.dat", "zero.dat", "good.dat"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out.toStdString(), "good.dat -> good.nme: 500 sentences, 2 errors\n");
    EXPECT_EQ(run.err.toStdString(), "kestrova: pipe.dat: not a regular file; skipped\n"
                                     "kestrova: zero.dat: not a regular file; skipped\n");
    EXPECT_FALSE(QFile::exists(dir.path() + "/pipe.nme"));
    EXPECT_FALSE(QFile::exists(dir.path() + "/zero.nme"));
}

TEST(ToNmea, LinkedSideFileIsNotTheInput)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto recording = Recording();
    ASSERT_TRUE(WriteBinaryFile((dir.path() + "/real.dat").toStdString(), recording));
    // link.dat's side file link.nme is a second name of the recording itself.
    ASSERT_TRUE(QFile::link(dir.path() + "/real.dat", dir.path() + "/link.nme"));
    ASSERT_TRUE(QFile::link(dir.path() + "/real.dat", dir.path() + "/link.dat"));

    const ProgramRun run = ToNmea(dir.path(), {"link.dat"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.toStdString().find("link.dat: its side file would be the file itself"), std::string::npos)
        << run.err.toStdString();
    EXPECT_EQ(ReadBinaryFile((dir.path() + "/real.dat").toStdString()), recording);
}

// sub/track.nme is a link to the side file the first recording makes: to
// sub/track.dat it is a file Kestrova did not write for it, so it is kept.
TEST(ToNmea, LinkedSideFileOfAnEarlierRecordingIsKept)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(WriteBinaryFile((dir.path() + "/track.dat").toStdString(), Recording()));
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    ASSERT_TRUE(WriteBinaryFile((dir.path() + "/sub/track.dat").toStdString(), {}));
    ASSERT_TRUE(QFile::link("../track.nme", dir.path() + "/sub/track.nme"));

    const ProgramRun run = ToNmea(dir.path(), {"track.dat", "sub/track.dat"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.toStdString(), "track.dat -> track.nme: 500 sentences, 2 errors\n"
                                     "sub/track.dat -> sub/track.side.nme: 0 sentences, 0 errors\n");
    EXPECT_EQ(Lines(Text(dir.path() + "/track.nme")).size(), 500u);
}

TEST(ToNmea, UncreatableSideFileIsReported)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(WriteBinaryFile((dir.path() + "/track.dat").toStdString(), Recording()));
    // A link into a folder that does not exist where the side file goes.
    ASSERT_TRUE(QFile::link("no/such/x.nme", dir.path() + "/track.nme"));

    const ProgramRun run = ToNmea(dir.path(), {"track.dat"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.toStdString().find("kestrova: track.nme: cannot create: No such file or directory"),
              std::string::npos)
        << run.err.toStdString();
}

} // namespace

TEST(ToNmea, SideFileNeverReplacesARecording)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto recording = Recording();
    const std::vector<uint8_t> mine = {'$', 'G', 'P'};
    for (const char* name : {"/a.dat", "/b.dat"})
        ASSERT_TRUE(WriteBinaryFile((dir.path() + name).toStdString(), recording));
    // A .times beside a file makes it a recording.
    for (const char* name : {"/a.nme", "/a.nme.times", "/b.nme", "/b.nme.times", "/b.side.nme.times"})
        ASSERT_TRUE(WriteBinaryFile((dir.path() + name).toStdString(), mine));
    const ProgramRun run = ToNmea(dir.path(), {"a.dat", "b.dat"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out.toStdString(), "a.dat -> a.side.nme: 500 sentences, 2 errors\n");
    EXPECT_EQ(run.err.toStdString(), "kestrova: b.dat: both side-file names hold recordings; skipped\n");
    for (const char* name : {"/a.nme", "/b.nme"})
        EXPECT_EQ(ReadBinaryFile((dir.path() + name).toStdString()), mine) << name;
}
