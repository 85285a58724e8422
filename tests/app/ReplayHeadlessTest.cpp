// Paced headless runs: the same lines as a fast run; --from gives the views
// of a seek, which must be those a play from the start shows at that epoch;
// --player with a file replays it in the PLAYER; bad values; a test folder
// named on the command line goes to the PLAYER.
#include "BenchTestFolder.h"
#include "EpochIndex.h"
#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class ReplayHeadlessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // Standard output and exit status.
    std::pair<QByteArray, int> Run(const QStringList& args, QByteArray* err = nullptr)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        env.remove("DISPLAY");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start(KESTROVA_BIN, args);
        if (!p.waitForFinished(120000))
            p.kill();
        p.waitForFinished();
        if (err)
            *err = p.readAllStandardError();
        return {p.readAllStandardOutput(), p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1};
    }
    QString Write(const QString& name, const std::vector<uint8_t>& bytes)
    {
        const QString path = dir.path() + "/" + name;
        EXPECT_TRUE(WriteBinaryFile(path.toStdString(), bytes));
        return path;
    }
    // The lines of the views named, in order.
    static QByteArray Lines(const QByteArray& out, std::initializer_list<const char*> views)
    {
        QByteArray kept;
        for (const QByteArray& line : out.split('\n'))
            for (const char* view : views)
                if (line.startsWith(QByteArray(view) + '\t'))
                    kept += line + '\n';
        return kept;
    }

    QTemporaryDir dir;
};

TEST_F(ReplayHeadlessTest, FromShowsEachEpochAsAPlayFromTheStart)
{
    for (const char* sample : {"demo.nme", "demo-binr.dat"}) {
        const bool binr = QString(sample).endsWith(".dat");
        const QString ext = binr ? ".dat" : ".nme";
        const std::vector<uint8_t> demo = ReadBinaryFile(SourceDir() + "/samples/" + sample);
        EpochIndex index(binr);
        index.Feed(demo.data(), demo.size());
        constexpr size_t kEpochs = 6;
        ASSERT_GT(index.Count(), kEpochs);
        const std::vector<uint8_t> small(demo.begin(), demo.begin() + index.EpochEnd(kEpochs - 1));
        const QString smallPath = Write("small" + ext, small);

        const auto [fast, fastStatus] = Run({"--headless", smallPath});
        const auto [paced, pacedStatus] = Run({"--headless", "--pace", "64", smallPath});
        EXPECT_EQ(fastStatus, 0);
        EXPECT_EQ(pacedStatus, 0);
        EXPECT_EQ(paced, fast) << sample;   // the MAIN line too: pacing changes only the timing
        // Before the first epoch (09:00 before 10:15): from the first epoch.
        const auto [early, earlyStatus] = Run({"--headless", "--pace", "64", "--from", "09:00:00", smallPath});
        EXPECT_EQ(earlyStatus, 0);
        EXPECT_EQ(early, fast) << sample;

        // Date, fix, satellites as a play shows them; the statistics and the
        // plot start afresh, so only POSITION and SATELLITES are compared.
        const QByteArray played = Lines(fast, {"POSITION", "SATELLITES"});
        for (size_t k = 0; k < kEpochs; ++k) {
            const std::string from = EpochTimeText(index.Epochs()[k].timeMs).substr(9);
            const auto [seek, seekStatus] = Run({"--headless", "--pace", "64", "--from", QString::fromStdString(from), smallPath});
            EXPECT_EQ(seekStatus, 0) << from;
            const QByteArray shown = Lines(seek, {"POSITION", "SATELLITES"});
            EXPECT_FALSE(shown.isEmpty());
            EXPECT_TRUE(played.endsWith(shown)) << sample << " epoch " << k << " at " << from << ":\n" << shown.toStdString();
            EXPECT_EQ(shown.count('\n'), 2 * qsizetype(kEpochs - k)) << sample << " epoch " << k;
        }

        // A damaged FILE.times is named on stderr, and the replay goes on without it.
        ASSERT_TRUE(WriteBinaryFile((smallPath + ".times").toStdString(), std::vector<uint8_t>(16 + 24, 'x')));
        QByteArray err;
        const auto [damaged, damagedStatus] = Run({"--headless", "--pace", "64", smallPath}, &err);
        EXPECT_EQ(damagedStatus, 0);
        EXPECT_EQ(damaged, fast);
        EXPECT_TRUE(err.contains(("kestrova: " + smallPath + ".times: not a times file; ").toUtf8())) << err.toStdString();
        QFile::remove(smallPath + ".times");
    }
}

TEST_F(ReplayHeadlessTest, PlayerWithAFileReplaysItInThePlayerAtItsPace)
{
    const std::vector<uint8_t> demo = ReadBinaryFile(SourceDir() + "/samples/demo.nme");
    EpochIndex index(false);
    index.Feed(demo.data(), demo.size());
    ASSERT_GT(index.Count(), 3u);
    // Three epochs a second apart: at 1x the last is due 2 s after the first.
    const QString path = Write("three.nme", std::vector<uint8_t>(demo.begin(), demo.begin() + index.EpochEnd(2)));
    struct Row {
        QStringList args;
        int64_t lastDueMs;
    };
    for (const Row& row : {Row {{"--player"}, 2000}, Row {{"--player", "--pace", "4"}, 500}, Row {{"--pace", "4"}, 500}}) {
        const QString log = dir.path() + "/pace.log";
        QFile::remove(log);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("KESTROVA_PACE_LOG", log);
        env.remove("DISPLAY");
        p.setProcessEnvironment(env);
        p.start(KESTROVA_BIN, row.args + QStringList {"--exit-after-play", path});
        ASSERT_TRUE(p.waitForFinished(60000)) << row.args.join(' ').toStdString();
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        // One line per delivery: offset, due and sent time (µs).
        QFile logFile(log);
        logFile.open(QIODevice::ReadOnly);
        const QList<QByteArray> lines = logFile.readAll().trimmed().split('\n');
        ASSERT_EQ(lines.size(), 3) << row.args.join(' ').toStdString() << ": not played by the PLAYER";
        const int64_t firstDue = lines.front().split(' ').value(1).toLongLong();
        const int64_t lastDue = lines.back().split(' ').value(1).toLongLong();
        EXPECT_EQ((lastDue - firstDue) / 1000, row.lastDueMs) << row.args.join(' ').toStdString();
    }
}

TEST_F(ReplayHeadlessTest, BadPaceAndTimesAreRefused)
{
    const QString path = SourceDir().c_str() + QString("/samples/demo.nme");
    struct Row {
        QStringList args;
        const char* stderrHolds;
    };
    const Row rows[] = {
        {{"--pace", "65"}, "--pace"},
        {{"--pace", "x"}, "--pace"},
        {{"--pace", "0.1"}, "--pace"},
        {{"--pace", "1", "--from", "25:00:00"}, "--from"},
        {{"--pace", "1", "--from", "10:15"}, "--from"},
        {{"--from", "10:15:00"}, "--from needs --pace"},
        {{"--pace", "64", "--from", "10:40:00"}, "no epoch at or after"},
        {{"--pace", "64", "--from", "16:00:00"}, "no epoch at or after"},
    };
    for (const Row& row : rows) {
        QByteArray err;
        const auto [out, status] = Run(QStringList {"--headless"} + row.args + QStringList {path}, &err);
        EXPECT_EQ(status, 2) << row.args.join(' ').toStdString();
        EXPECT_TRUE(err.contains(row.stderrHolds)) << err.toStdString();
        EXPECT_TRUE(out.isEmpty());
    }
}

TEST_F(ReplayHeadlessTest, ATestFolderIsReplayedInThePlayerFromTheTimeAsked)
{
    // Its test starts at 12:00:00 and lasts 12 s: 12:00:50 is not in it, and
    // only the PLAYER's replay of the folder can tell.
    const QString folder = dir.path() + "/2026-12-07_120000";
    ASSERT_TRUE(QDir().mkpath(folder));
    bench_test::WriteFolder(folder, {bench_test::Generated("a", 12, 2, 0.5, 100)});
    // A shell's completion ends a folder's name with '/'.
    for (const QString& named : {folder, folder + "/"}) {
        QByteArray err;
        const auto [out, status] = Run({"--pace", "4", "--from", "12:00:50", named}, &err);
        EXPECT_EQ(status, 2) << named.toStdString();
        EXPECT_TRUE(err.contains("--from: this time is not in the test")) << err.toStdString();
    }
}

} // namespace
