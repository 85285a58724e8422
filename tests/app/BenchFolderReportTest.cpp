// kestrova --report FOLDER on a test folder made here as the bench records
// one: its table is the bench's live table at Stop, and its page names the test.
#include "BenchFolder.h"
#include "BenchReceiver.h"
#include "BenchStreams.h"
#include "ReceiveTimes.h"
#include "ReceiverReport.h"
#include "ReportCommand.h"
#include "TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <sys/stat.h>

namespace {

constexpr int64_t kStartUs = 7'000'000'000;

struct Recorded {
    BenchManifest manifest;
    std::vector<std::unique_ptr<BenchReceiver>> receivers;
};

// Each receiver's bytes in blocks, received on one clock from Start: the
// record file, its .times and the receiver get the same blocks and readings.
Recorded RecordFolder(const std::string& folder)
{
    Recorded r;
    r.manifest.title = "roof <three>";
    r.manifest.startUnixMs = 1796676300000;
    r.manifest.reference = BenchReference{kBenchLatDeg, kBenchLonDeg, kBenchHeightM};
    r.manifest.program = ProgramVersionText();
    r.manifest.sources = {{"a", "/dev/ttyUSB0", false, 9600}, {"b", "tcp://127.0.0.1:5001", true, 0},
                          {"c", "/dev/serial/by-id/usb-Maker_GNSS_9-if00", false, 115200},
                          {"d", "/dev/ttyUSB9", false, 4800}};   // never opened: no recording
    BenchStreamShape shapes[3];
    shapes[1].seed = 2;
    shapes[1].coldEpochs = 30;
    shapes[2].seed = 3;
    shapes[2].biasNorthM = 1.5;
    shapes[2].dropEvery = 9;
    std::mt19937 random(11);
    for (size_t k = 0; k < 3; ++k) {
        const BenchSourceSetup& source = r.manifest.sources[k];
        const std::string text = source.binr ? std::string() : BenchNmeaStream(shapes[k]);
        const std::vector<uint8_t> bytes = source.binr ? BenchBinrStream(shapes[k]) : std::vector<uint8_t>(text.begin(), text.end());
        const std::string file = folder + "/" + BenchFileName(source);
        EXPECT_TRUE(WriteBinaryFile(file, bytes));
        ReceiveTimesWriter times;
        EXPECT_TRUE(times.Create(file, kStartUs));
        auto receiver = std::make_unique<BenchReceiver>(source);
        receiver->Start(kStartUs);
        int64_t nowUs = kStartUs + 1'500'000 + int64_t(k) * 333'000;
        for (size_t at = 0; at < bytes.size();) {
            const size_t n = std::min<size_t>(1 + random() % 900, bytes.size() - at);
            receiver->Receive(bytes.data() + at, int(n), nowUs);
            at += n;
            times.Append(int64_t(at), nowUs);
            nowUs += 90'000 + int64_t(random() % 20'000);
        }
        times.Close();
        receiver->Finish(r.manifest.reference);
        receiver->SetState(BenchState::Ended);
        r.receivers.push_back(std::move(receiver));
    }
    auto never = std::make_unique<BenchReceiver>(r.manifest.sources[3]);
    never->Start(kStartUs);
    never->SetState(BenchState::Failed);
    never->Finish(r.manifest.reference);
    r.receivers.push_back(std::move(never));
    std::string problem;
    EXPECT_TRUE(WriteBenchFolder(folder, r.manifest, &problem)) << problem;
    return r;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(BenchFolderReport, TableAtStopIsTheFolders)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString() + "/" + BenchFolderName(1796676300000, "roof <three>");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const Recorded recorded = RecordFolder(folder);
    std::vector<const BenchReceiver*> live;
    std::vector<ReportEntry> entries;
    for (const auto& r : recorded.receivers) {
        live.push_back(r.get());
        ReportEntry e;
        e.name = folder + "/" + BenchFileName(r->Source());
        e.log = &r->Log();
        e.figures = r->LiveFigures();
        entries.push_back(e);
    }

    // The bench's table, and the report's own text table of the folder.
    std::vector<BenchRow> table;
    std::string problem;
    ASSERT_EQ(BenchFolderTable(folder + "/", {BenchState::Ended, BenchState::Ended, BenchState::Ended, BenchState::Failed},
                               &table, &problem), 0)
        << problem;
    const std::vector<BenchRow> liveTable = BenchTable(live);
    ASSERT_EQ(table.size(), liveTable.size());
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].label, liveTable[i].label);
        EXPECT_EQ(table[i].cells, liveTable[i].cells) << table[i].label;
        EXPECT_EQ(table[i].best, liveTable[i].best) << table[i].label;
    }

    QProcess report;
    report.start(KESTROVA_BIN, {"--report", QString::fromStdString(folder)});
    ASSERT_TRUE(report.waitForFinished(20000));
    EXPECT_EQ(report.exitCode(), 0) << report.readAllStandardError().toStdString();
    std::ostringstream expected;
    WriteTextTable(expected, entries);
    EXPECT_EQ(report.readAllStandardOutput().toStdString(), expected.str());

    // The page of the "Report" button names the test.
    std::string written;
    ASSERT_EQ(ReportBenchFolder(folder, &written, &problem), 0) << problem;
    EXPECT_EQ(written, folder + "/report.html");
    EXPECT_EQ(problem, "kestrova: " + folder + "/d.nme: not recorded (the source never opened); its column is empty");
    const std::string page = ReadText(written);
    for (const std::string& part : {std::string("roof &lt;three&gt;"), BenchFolderName(1796676300000, "roof <three>"),
                                    std::string("2026-12-07 20:45:00.000"), std::string("Receiver c"),
                                    std::string("/dev/serial/by-id/usb-Maker_GNSS_9-if00, NMEA, 115200 baud"),
                                    std::string("tcp://127.0.0.1:5001, BINR"),
                                    std::string("55.75202630, 37.61531070, 156.250 m (from bench.json)")})
        EXPECT_NE(page.find(part), std::string::npos) << part;

    // --reference wins over the test's; a bench.json that cannot be used is named.
    report.start(KESTROVA_BIN, {"--report", QString::fromStdString(folder), "--reference", "55.7520,37.6153,150"});
    ASSERT_TRUE(report.waitForFinished(20000));
    EXPECT_NE(report.readAllStandardOutput().toStdString(), expected.str());
    std::ofstream(folder + "/bench.json") << "{\"format\": 1, \"sources\": [";
    EXPECT_EQ(ReportBenchFolder(folder, &written, &problem), 2);
    EXPECT_EQ(written, "");
    EXPECT_EQ(problem, "kestrova: " + folder + "/bench.json is not valid JSON: the text ends early");
    EXPECT_EQ(ReportBenchFolder(dir.path().toStdString(), &written, &problem), 2);
    EXPECT_EQ(problem, "kestrova: " + dir.path().toStdString() + ": not a test folder (no bench.json)");
}

} // namespace
