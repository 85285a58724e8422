#include "BenchReceiver.h"

#include "BenchStreams.h"
#include "EpochCollector.h"
#include "Figures.h"
#include "ReceiveTimes.h"
#include "ReceiverReport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr int64_t kStartUs = 5'000'000'000;   // the monotonic clock at Start

struct Fed {
    std::vector<uint8_t> bytes;
    std::vector<ReceiveTime> times;   // as the recorder's .times holds them
};

// Bytes in blocks of random size, one every blockMs from 2 s after Start,
// with Update once a second as the bench calls it.
Fed Feed(BenchReceiver& r, const std::vector<uint8_t>& bytes, const std::optional<BenchReference>& reference,
         unsigned seed, int blockMs = 100)
{
    Fed fed{bytes, {}};
    std::mt19937 random(seed);
    std::uniform_int_distribution<size_t> size(1, 700);
    r.Start(kStartUs);
    int64_t nowUs = kStartUs + 2'000'000;
    for (size_t at = 0, blocks = 0; at < bytes.size(); ++blocks) {
        const size_t n = std::min(size(random), bytes.size() - at);
        r.Receive(bytes.data() + at, int(n), nowUs);
        at += n;
        fed.times.push_back({int64_t(at), (nowUs - kStartUs) / 1000});
        if (blocks % 10 == 9)
            r.Update(reference);
        nowUs += blockMs * 1000 + int64_t(random() % 1000);
    }
    r.Finish(reference);
    return fed;
}

// What kestrova --report FOLDER makes of the same recording.
Figures Report(const Fed& fed, bool binr, const std::optional<BenchReference>& reference, EpochLog& log)
{
    EpochCollector collector(log);
    DatePolicy dates;   // the report dates BINR weeks by the file's time: now
    dates.UseClock();
    collector.SetDates(dates);
    if (binr)
        collector.PushBinr(fed.bytes.data(), fed.bytes.size());
    else
        collector.PushNmea(reinterpret_cast<const char*>(fed.bytes.data()), fed.bytes.size());
    collector.Finish();
    Figures f = ComputeFigures(log, reference ? std::optional<GeoPoint>(BenchReferencePoint(*reference)) : std::nullopt);
    TtffSinceStart(f, log, fed.times);
    return f;
}

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

void ExpectSameTable(const std::vector<BenchRow>& a, const std::vector<BenchRow>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].label, b[i].label);
        EXPECT_EQ(a[i].cells, b[i].cells) << a[i].label;
        EXPECT_EQ(a[i].best, b[i].best) << a[i].label;
    }
}

// Short tests: every row of the report, and the bench's table, as the report
// of the recordings gives them, with a reference and about the mean.
TEST(BenchReceiver, FiguresAreTheReports)
{
    const BenchReference reference{kBenchLatDeg, kBenchLonDeg, kBenchHeightM};
    BenchStreamShape nmeaShape, binrShape;
    nmeaShape.dropEvery = 17;
    binrShape.biasNorthM = 2;
    binrShape.coldEpochs = 35;
    binrShape.seed = 7;
    for (const bool withReference : {true, false}) {
        const std::optional<BenchReference> ref = withReference ? std::optional(reference) : std::nullopt;
        BenchReceiver a({"a", "/dev/ttyUSB0", false, 9600}), b({"b", "tcp://127.0.0.1:5000", true, 0});
        const Fed fedA = Feed(a, Bytes(BenchNmeaStream(nmeaShape)), ref, 3);
        const Fed fedB = Feed(b, BenchBinrStream(binrShape), ref, 4, 40);
        EpochLog logA, logB;
        std::vector<ReportEntry> entries(2);
        entries[0].name = "a";
        entries[0].log = &logA;
        entries[0].figures = Report(fedA, false, ref, logA);
        entries[1].name = "b";
        entries[1].log = &logB;
        entries[1].figures = Report(fedB, true, ref, logB);
        ASSERT_GT(logA.Size(), 100u);
        ASSERT_GT(logB.Size(), 100u);
        ASSERT_TRUE(entries[0].figures.ttffS && entries[1].figures.ttffS);
        EXPECT_FALSE(a.Thinned());
        EXPECT_TRUE(a.DecodesOnce() && b.DecodesOnce()) << "one decoder per source";
        for (const ReportRow& row : ReportRows()) {
            EXPECT_EQ(RowText(row, a.LiveFigures()), RowText(row, entries[0].figures)) << row.label;
            EXPECT_EQ(RowText(row, b.LiveFigures()), RowText(row, entries[1].figures)) << row.label;
        }
        a.SetState(BenchState::Ended);
        b.SetState(BenchState::Lost);
        const auto table = BenchTable({&a, &b});
        ExpectSameTable(table, BenchTable(entries, {BenchState::Ended, BenchState::Lost}));
        EXPECT_EQ(table.front().label, "Fix kind");
        EXPECT_EQ(table.front().cells, (std::vector<std::string>{"autonomous", "autonomous"}));
        EXPECT_EQ(table.back().cells, (std::vector<std::string>{"ended", "lost"}));
        // The bias of b, 2 m north of the reference, is marked worse only
        // when the reference is given.
        const auto north = std::find_if(table.begin(), table.end(), [](const BenchRow& r) { return r.label == "Bias north, m"; });
        ASSERT_NE(north, table.end());
        EXPECT_EQ(north->best, (std::vector<bool>{withReference, false}));
    }
}

// The first fix of a cold start, block by block: one epoch a block, a second
// apart, the first fix in the block of epoch 20 (received 22.5 s after Start)
// completes only when that block is in.
TEST(BenchReceiver, TimeToFirstFixSinceStart)
{
    BenchStreamShape shape;
    shape.epochs = 40;
    const std::string text = BenchNmeaStream(shape);
    BenchReceiver r({"a", "x", false, 4800});
    r.Start(kStartUs);
    std::vector<std::string> epochs;
    for (size_t at = 0; at < text.size();) {
        const size_t next = text.find("$GPRMC", at + 1);
        epochs.push_back(text.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next == std::string::npos ? text.size() : next;
    }
    ASSERT_EQ(epochs.size(), 40u);
    for (size_t k = 0; k < epochs.size(); ++k) {
        r.Receive(reinterpret_cast<const uint8_t*>(epochs[k].data()), int(epochs[k].size()), kStartUs + 2'500'000 + int64_t(k) * 1'000'000);
        r.Update(std::nullopt);
        EXPECT_EQ(r.LiveFigures().ttffS.has_value(), k >= 21) << k;   // the epoch of block 20 closes with block 21
    }
    ASSERT_TRUE(r.LiveFigures().ttffS);
    EXPECT_EQ(*r.LiveFigures().ttffS, 22.5);
    EXPECT_EQ(r.Now().kind, FixKind::Autonomous);
    EXPECT_EQ(r.Now().used[kSysGps], 6 + 38 % 3);
    EXPECT_EQ(r.Now().used[kSysGlonass], 4);
}

// A long test at a small bound: the log stays within it and evenly spread,
// the counts stay exact, and the estimates stay near the exact figures.
TEST(BenchReceiver, BoundedLogThinsEvenly)
{
    constexpr size_t kBound = 64;
    BenchStreamShape shape;
    shape.epochs = 1500;
    shape.coldEpochs = 10;
    shape.dropEvery = 50;
    const std::vector<uint8_t> bytes = Bytes(BenchNmeaStream(shape));
    const BenchReference reference{kBenchLatDeg, kBenchLonDeg, kBenchHeightM};
    BenchReceiver r({"a", "x", false, 4800}, {}, kBound);
    const Fed fed = Feed(r, bytes, reference, 5, 300);
    EpochLog log;
    const Figures exact = Report(fed, false, reference, log);
    const Figures& live = r.LiveFigures();
    EXPECT_TRUE(r.Thinned());
    EXPECT_LE(r.Log().Size(), kBound);
    EXPECT_GE(r.Log().Size(), kBound / 2);
    // Kept epochs are every step-th: their times are evenly apart, but for
    // the dropped ones.
    const int64_t step = (r.EpochsSeen() + int64_t(r.Log().Size()) - 1) / int64_t(r.Log().Size());
    EXPECT_NEAR(double(r.Log().TimeMs(r.Log().Size() - 1) - r.Log().TimeMs(0)) / double(r.Log().Size() - 1),
                double(step * shape.rateMs), step * shape.rateMs * 0.1);
    for (const char* key : {"epochs", "accepted_fixes", "epochs_no_fix", "epochs_autonomous", "epochs_3d", "gps_used_mean",
                            "gps_used_min", "gps_used_max", "glonass_used_mean", "gps_snr_mean_dbhz", "glonass_snr_mean_dbhz",
                            "ttff_s", "decoding_errors", "rate_s", "missing_epochs"}) {
        for (const ReportRow& row : ReportRows()) {
            if (std::string_view(row.key) == key) {
                EXPECT_EQ(RowText(row, live), RowText(row, exact)) << key;
            }
        }
    }
    ASSERT_TRUE(live.availabilityPct && live.cep50M && live.r95M && live.hdopMedian);
    EXPECT_NEAR(*live.availabilityPct, *exact.availabilityPct, 1.0);
    EXPECT_NEAR(*live.cep50M, *exact.cep50M, 0.3 * *exact.cep50M);
    EXPECT_NEAR(*live.r95M, *exact.r95M, 0.3 * *exact.r95M);
    EXPECT_NEAR(*live.rateS, *exact.rateS, 0.01);
    EXPECT_NEAR(*live.hdopMedian, *exact.hdopMedian, 0.1);
    // The scatter: the last minute's fixes, the newest last, about the reference.
    ASSERT_EQ(r.Scatter().size(), BenchReceiver::kScatterMax);
    const EpochRecord& last = log[log.Size() - 1];
    const LocalFrame::Enu e = LocalFrame(BenchReferencePoint(reference)).ErrorOf(last);
    EXPECT_FLOAT_EQ(r.Scatter().back().eastM, float(e.east));
    EXPECT_FLOAT_EQ(r.Scatter().back().northM, float(e.north));
}

TEST(BenchReceiver, Line)
{
    BenchStreamShape shape;
    shape.epochs = 30;
    shape.noiseM = 0;
    BenchReceiver r({"roof a", "x", false, 4800});
    const std::vector<uint8_t> bytes = Bytes(BenchNmeaStream(shape));
    r.Start(kStartUs);
    r.SetState(BenchState::Live);
    EXPECT_EQ(BenchLine(r, 0), "t=0 name=roof_a state=live kind=- used=-/-/- hdop=- snr=-/-/- ttff=- avail=- bias=-/-/- "
                               "cep50=- r95=- v95=- epochs=0 bytes=0");
    r.Receive(bytes.data(), int(bytes.size()), kStartUs + 31'250'000);
    r.Finish(BenchReference{kBenchLatDeg, kBenchLonDeg, kBenchHeightM});
    EXPECT_EQ(BenchLine(r, 32), "t=32 name=roof_a state=live kind=autonomous used=7.1/4.5/0.0 hdop=0.90 snr=40.0/31.7/- "
                                "ttff=31.2 avail=33.33 bias=-0.002/0.004/0.000 cep50=0.004 r95=0.004 v95=0.000 epochs=30 "
                                "bytes=" + std::to_string(bytes.size()));
}

} // namespace
