// A test folder replayed: the table after a replay to the end (after seeks
// and steps too) equals the table of receivers fed the same bytes live in
// one pass; blocks of different receivers go in the order received, at
// their time; hostile folders give a clear reason or note and no crash.
// The folders are made here: generated streams (and the shared captures
// when they are there) with synthetic receive times and a bench.json.
#include "BenchReplay.h"

#include "BenchTestFolder.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <cmath>
#include <cstdio>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace bench_test;

// The table as text, a row a line: label, then each cell with '*' when best.
std::string TableText(const std::vector<BenchRow>& rows)
{
    std::string text;
    for (const BenchRow& row : rows) {
        text += row.label;
        for (size_t i = 0; i < row.cells.size(); ++i)
            text += " | " + row.cells[i] + (i < row.best.size() && row.best[i] ? "*" : "");
        text += "\n";
    }
    return text;
}

// Receivers fed their recordings live, each in one pass, at the clock
// readings the recorder took.
std::string LiveTable(const std::vector<Recording>& recordings)
{
    const BenchManifest m = ManifestOf(recordings);
    int64_t startUs = recordings.front().startUs;
    for (const Recording& r : recordings)
        startUs = std::min(startUs, r.startUs);
    std::vector<std::unique_ptr<BenchReceiver>> live;
    std::vector<const BenchReceiver*> shown;
    for (const Recording& r : recordings) {
        live.push_back(std::make_unique<BenchReceiver>(r.source));
        BenchReceiver& receiver = *live.back();
        receiver.Start(startUs);
        int64_t begin = 0;
        for (const auto& [end, ms] : r.blocks) {
            receiver.Receive(reinterpret_cast<const uint8_t*>(r.bytes.data()) + begin, int(end - begin), r.startUs + ms * 1000);
            begin = end;
        }
        receiver.Finish(m.reference);
        receiver.SetState(BenchState::Ended);
        shown.push_back(&receiver);
    }
    return TableText(BenchTable(shown));
}

std::string ReplayTable(const BenchReplay& replay)
{
    std::vector<const BenchReceiver*> shown;
    for (const auto& r : replay.Receivers())
        shown.push_back(r.get());
    return TableText(BenchTable(shown));
}

// Events processed until done, for at most limitMs.
bool RunUntil(const std::function<bool()>& done, int limitMs = 30000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// Events processed for ms of the clock, timers included.
void Spin(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
}

bool PlayToEnd(BenchReplay& replay)
{
    replay.SetSpeed(0);
    replay.Play();
    return RunUntil([&] { return replay.AtEnd(); });
}

std::vector<Recording> GeneratedBench()
{
    std::vector<Recording> bench{Generated("rxa", 40, 5, 0.4, 120), Generated("rxb", 36, 9, -2.0, 310),
                                 Generated("rxc", 44, 3, 1.2, 75)};
    bench[1].startUs += 700'000;   // opened 0.7 s after the others
    return bench;
}

// ---------------------------------------------------------------- the table

TEST(BenchReplay, TableAfterReplayEqualsTheLiveTable)
{
    struct Case {
        const char* what;
        bool shared;
        std::function<std::vector<Recording>()> make;
        std::function<void(BenchReplay&)> before;   // then played to the end
        bool openByJson = false;
    };
    const Case cases[] = {
        {"generated, played through", false, GeneratedBench, [](BenchReplay&) {}},
        {"generated, opened by its bench.json", false, GeneratedBench, [](BenchReplay&) {}, true},
        {"generated, sought to the middle", false, GeneratedBench, [](BenchReplay& r) { r.Seek(r.DurationMs() / 2); }},
        {"generated, played to the end and sought back", false, GeneratedBench,
         [](BenchReplay& r) {
             ASSERT_TRUE(PlayToEnd(r));
             r.Seek(12'345);
         }},
        {"generated, stepped on and back", false, GeneratedBench,
         [](BenchReplay& r) {
             r.Seek(20'000);
             for (int i = 0; i < 4; ++i)
                 r.Step(1);
             r.Step(-1);
             ASSERT_EQ(r.PositionMs(), 23'000);
         }},
        {"captures", true,
         [] {
             return std::vector<Recording>{Captured("bu353", "bu353-glonass.log", 30), Captured("quectel", "quectel-l76k-dual.log", 55),
                                           Captured("hemi", "hemi.log", 10)};
         },
         [](BenchReplay& r) { r.Seek(r.DurationMs() / 3); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.shared && SharedNmeaDir().empty()) {
            std::printf("%s: ../shared/testdata/nmea is absent; case skipped\n", c.what);
            continue;
        }
        QTemporaryDir dir;
        const std::vector<Recording> recordings = c.make();
        WriteFolder(dir.path(), recordings);
        BenchReplay replay;
        QString problem;
        ASSERT_TRUE(replay.Open(c.openByJson ? dir.filePath("bench.json") : dir.path(), &problem)) << problem.toStdString();
        EXPECT_TRUE(replay.Notes().empty());
        c.before(replay);
        ASSERT_TRUE(PlayToEnd(replay));
        const std::string live = LiveTable(recordings);
        EXPECT_NE(live, "");
        EXPECT_EQ(ReplayTable(replay), live);
        for (size_t i = 0; i < recordings.size(); ++i) {
            EXPECT_EQ(replay.Receivers()[i]->Bytes(), int64_t(recordings[i].bytes.size()));
            EXPECT_EQ(replay.PacingOf(i), BenchPacing::ReceiveTimes);
        }
    }
}

// ---------------------------------------------------------------- in step

// Each block a receiver takes, as (receiver, first bytes of the block).
struct BlockLog : IntakeListener {
    std::vector<std::string>* log;
    std::string who;
    void OnConsumed(const Intake&, Protocol, const uint8_t* bytes, int used, int, bool first) override
    {
        if (first)
            log->push_back(who + ":" + std::string(reinterpret_cast<const char*>(bytes), size_t(std::min(used, 9))));
    }
};

TEST(BenchReplay, BlocksGoInTheOrderReceivedAndAtTheirTime)
{
    // A's blocks at 0.5 s and 1.5 s, B's at 1.2 s and 1.5 s (B opened 0.2 s
    // later: 1.0 and 1.3 on its own clock). Equal times go in bench.json's order.
    Recording a{{"A", "/dev/ttyA", false, 4800}, "$GPTXT,A1\r\n$GPTXT,A2\r\n", {{11, 500}, {22, 1500}}, kStartUs};
    Recording b{{"B", "/dev/ttyB", false, 4800}, "$GPTXT,B1\r\n$GPTXT,B2\r\n", {{11, 1000}, {22, 1300}}, kStartUs + 200'000};
    QTemporaryDir dir;
    WriteFolder(dir.path(), {a, b});
    BenchReplay replay;
    int64_t nowUs = 0;
    replay.SetClock([&] { return nowUs; });
    QString problem;
    ASSERT_TRUE(replay.Open(dir.path(), &problem)) << problem.toStdString();
    EXPECT_EQ(replay.DurationMs(), 1500);
    std::vector<std::string> log;
    BlockLog la, lb;
    la.log = lb.log = &log;
    la.who = "A";
    lb.who = "B";
    replay.Receivers()[0]->In().AddListener(&la);
    replay.Receivers()[1]->In().AddListener(&lb);

    replay.SetSpeed(1);
    replay.Play();
    const struct {
        int64_t clockMs;
        std::vector<std::string> fed;
    } steps[] = {
        {0, {}},
        {499, {}},
        {500, {"A:$GPTXT,A1"}},
        {1300, {"A:$GPTXT,A1", "B:$GPTXT,B1"}},
        {1600, {"A:$GPTXT,A1", "B:$GPTXT,B1", "A:$GPTXT,A2", "B:$GPTXT,B2"}},
    };
    for (const auto& s : steps) {
        nowUs = s.clockMs * 1000;
        Spin(80);
        EXPECT_EQ(log, s.fed) << "at " << s.clockMs << " ms";
    }
    EXPECT_TRUE(replay.AtEnd());
    replay.Receivers()[0]->In().RemoveListener(&la);
    replay.Receivers()[1]->In().RemoveListener(&lb);
}

// ---------------------------------------------------------------- hostile folders

TEST(BenchReplay, HostileFoldersGiveAReasonAndNoCrash)
{
    const auto file = [](const QString& dir, const char* name) { return QDir(dir).filePath(QLatin1String(name)); };
    const auto rewriteJson = [file](const QString& dir, const char* from, const char* to) {
        QFile f(file(dir, "bench.json"));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray text = f.readAll();
        f.close();
        text.replace(from, to);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    };
    const auto cut = [](const QString& path, int64_t less) {
        const QByteArray name = QFile::encodeName(path);
        struct stat st {};
        ASSERT_EQ(::stat(name.constData(), &st), 0);
        ASSERT_EQ(::truncate(name.constData(), std::max<int64_t>(st.st_size - less, 0)), 0);
    };
    struct Case {
        const char* what;
        std::function<void(const QString&)> spoil;
        bool opens;
        const char* says;   // in the problem, or in a note
        BenchPacing pacingA = BenchPacing::ReceiveTimes;
    };
    const Case cases[] = {
        {"no bench.json", [&](const QString& d) { QFile::remove(file(d, "bench.json")); }, false, "not a test folder"},
        {"bench.json a folder", [&](const QString& d) { QFile::remove(file(d, "bench.json")); QDir(d).mkdir("bench.json"); },
         false, "not a regular file"},
        {"bench.json a FIFO", [&](const QString& d) { QFile::remove(file(d, "bench.json")); ::mkfifo(QFile::encodeName(file(d, "bench.json")).constData(), 0600); },
         false, "not a regular file"},
        {"bench.json garbled", [&](const QString& d) { cut(file(d, "bench.json"), 9); }, false, "bench.json"},
        {"a name reaching outside", [&](const QString& d) { rewriteJson(d, "\"rxa\"", "\"../outside\""); }, false, "name"},
        {"a name with a slash", [&](const QString& d) { rewriteJson(d, "\"rxa\"", "\"sub/rxa\""); }, false, "name"},
        {"a name of dots", [&](const QString& d) { rewriteJson(d, "\"rxa\"", "\"..\""); }, false, "name"},
        {"every recording missing", [&](const QString& d) { QFile::remove(file(d, "rxa.nme")); QFile::remove(file(d, "rxb.nme")); },
         false, "no recording"},
        {"a recording missing", [&](const QString& d) { QFile::remove(file(d, "rxb.nme")); }, true, "rxb.nme: not played"},
        {"a recording a FIFO", [&](const QString& d) { QFile::remove(file(d, "rxb.nme")); ::mkfifo(QFile::encodeName(file(d, "rxb.nme")).constData(), 0600); },
         true, "rxb.nme: not played (not a regular file)"},
        {"a recording empty", [&](const QString& d) { cut(file(d, "rxb.nme"), 1 << 20); }, true, "rxb.nme: empty"},
        {".times short", [&](const QString& d) { cut(file(d, "rxa.nme.times"), 7); }, true,
         "rxa.nme: receive times ignored (truncated); paced by its epochs' UTC times", BenchPacing::EpochTimes},
        {".times garbled",
         [&](const QString& d) {
             QFile f(file(d, "rxa.nme.times"));
             ASSERT_TRUE(f.open(QIODevice::ReadWrite));
             f.seek(40);
             f.write(QByteArray(30, char(0xA5)));
         },
         true, "rxa.nme: receive times ignored (inconsistent)", BenchPacing::EpochTimes},
        {".times of a longer file", [&](const QString& d) { cut(file(d, "rxa.nme"), 10); }, true,
         "rxa.nme: receive times ignored (does not match the file)", BenchPacing::EpochTimes},
        {"no .times, no epochs",
         [&](const QString& d) {
             QFile::remove(file(d, "rxa.nme.times"));
             QFile f(file(d, "rxa.nme"));
             ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
             for (int i = 0; i < 3000; ++i)
                 f.putChar(char(i * 7919 % 251));
         },
         true, "rxa.nme: no receive times; paced by its bytes at 960 bytes/s", BenchPacing::ByteCount},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        Recording a = Generated("rxa", 12, 2, 0.5, 100), b = Generated("rxb", 12, 4, -0.5, 200);
        b.source.baud = 0;   // a network source: without receive times paced at 960 bytes/s
        a.source.baud = 9600;
        WriteFolder(dir.path(), {a, b});
        // What a name reaching outside would reach.
        WriteBinaryFile(QDir(dir.path()).filePath("../outside.nme").toStdString(), {'$', 'X'});
        c.spoil(dir.path());
        BenchReplay replay;
        QString problem;
        const bool opened = replay.Open(dir.path(), &problem);
        ASSERT_EQ(opened, c.opens) << problem.toStdString();
        QFile::remove(QDir(dir.path()).filePath("../outside.nme"));
        if (!opened) {
            EXPECT_NE(problem.indexOf(QLatin1String(c.says)), -1) << problem.toStdString();
            EXPECT_FALSE(replay.IsOpen());
            continue;
        }
        QString notes;
        for (const QString& note : replay.Notes())
            notes += note + "\n";
        EXPECT_NE(notes.indexOf(QLatin1String(c.says)), -1) << notes.toStdString();
        EXPECT_EQ(replay.PacingOf(0), c.pacingA);
        ASSERT_TRUE(PlayToEnd(replay));
        for (size_t i = 0; i < replay.Receivers().size(); ++i) {
            const BenchReceiver& r = *replay.Receivers()[i];
            const QFileInfo info(QDir(dir.path()).filePath(QString::fromStdString(BenchFileName(r.Source()))));
            EXPECT_EQ(r.Bytes(), info.isFile() ? info.size() : 0) << r.Source().name;
            EXPECT_EQ(r.State(), info.isFile() ? BenchState::Ended : BenchState::Failed) << r.Source().name;
        }
    }
}

} // namespace
