// Paced headless runs: the same lines as a fast run; --from gives the views
// of a seek, which must be those of the file cut at that epoch; bad values.
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
    // The view lines: the MAIN line names the file and counts its bytes.
    static QByteArray ViewLines(const QByteArray& out)
    {
        QByteArray views;
        for (const QByteArray& line : out.split('\n'))
            if (!line.startsWith("MAIN\t"))
                views += line + '\n';
        return views;
    }

    QTemporaryDir dir;
};

TEST_F(ReplayHeadlessTest, SeekToEveryEpochGivesTheLinesOfTheFileCutThere)
{
    for (const char* sample : {"demo.nme", "demo.dat"}) {
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

        for (size_t k = 0; k < kEpochs; ++k) {
            const std::string from = EpochTimeText(index.Epochs()[k].timeMs).substr(9);
            const QString cut = Write(QString("cut%1").arg(k) + ext,
                                      std::vector<uint8_t>(small.begin() + index.Epochs()[k].offset, small.end()));
            const auto [seek, seekStatus] = Run({"--headless", "--pace", "64", "--from", QString::fromStdString(from), smallPath});
            const auto [played, playedStatus] = Run({"--headless", cut});
            EXPECT_EQ(seekStatus, 0) << from;
            EXPECT_FALSE(ViewLines(seek).isEmpty());
            EXPECT_EQ(ViewLines(seek), ViewLines(played)) << sample << " epoch " << k << " at " << from;
        }
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
        {{"--pace", "64", "--from", "09:00:00"}, "no epoch at or after"},
        {{"--pace", "64", "--from", "23:59:59"}, "no epoch at or after"},
    };
    for (const Row& row : rows) {
        QByteArray err;
        const auto [out, status] = Run(QStringList {"--headless"} + row.args + QStringList {path}, &err);
        EXPECT_EQ(status, 2) << row.args.join(' ').toStdString();
        EXPECT_TRUE(err.contains(row.stderrHolds)) << err.toStdString();
        EXPECT_TRUE(out.isEmpty());
    }
}

} // namespace
