// Epoch index, receive times and pacing: the index against a byte-by-byte
// decode, the times file against every way it can be damaged, the pace
// against hand-computed due times on a fixed clock.
#include "EpochIndex.h"
#include "ReceiveTimes.h"
#include "ReplayPace.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Epoch starts found the slow way: PushByte on every byte, the last "$"
// remembered by hand.
std::vector<int64_t> EpochStartsByBytes(const std::vector<uint8_t>& bytes, bool binr)
{
    std::vector<int64_t> starts;
    NmeaAssembler nmea;
    BinrDecoder decoder;
    int64_t dollar = 0, next = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (binr) {
            if (decoder.PushByte(bytes[i]) == 0x88) {
                starts.push_back(next);
                next = int64_t(i) + 1;
            }
            continue;
        }
        if (bytes[i] == '$')
            dollar = int64_t(i);
        if (nmea.PushByte(char(bytes[i])) == kNmeaGga)
            starts.push_back(starts.empty() ? 0 : dollar);
    }
    return starts;
}

std::vector<int64_t> EpochStartsByBlocks(const std::vector<uint8_t>& bytes, std::mt19937& rng,
                                         EpochIndex& index)
{
    std::uniform_int_distribution<size_t> blockSize(0, 5000);
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t n = std::min(blockSize(rng), bytes.size() - at);
        index.Feed(bytes.data() + at, n);
        at += n;
    }
    std::vector<int64_t> starts;
    for (const EpochMark& e : index.Epochs())
        starts.push_back(e.offset);
    return starts;
}

void ExpectIndexMatchesBytes(const std::vector<uint8_t>& bytes, bool binr, std::mt19937& rng, size_t minEpochs)
{
    EpochIndex index(binr);
    const auto expected = EpochStartsByBytes(bytes, binr);
    EXPECT_EQ(EpochStartsByBlocks(bytes, rng, index), expected);
    EXPECT_GE(expected.size(), minEpochs);
    EXPECT_EQ(index.Size(), int64_t(bytes.size()));
}

std::vector<uint8_t> Hostile(std::mt19937& rng, bool binr)
{
    const std::string gga = "$GPGGA,101500.00,5213.7,N,02100.6,E,1,11,1.1,115.2,M,,M,,*\r\n";
    const std::vector<uint8_t> nav = [] {
        std::vector<uint8_t> f = {0x10, 0x88};
        for (int i = 0; i < 69; ++i)
            f.push_back(i == 3 ? 0x10 : uint8_t(0x20 + i));
        f.insert(f.begin() + 5, 0x10);   // the stuffed DLE
        f.push_back(0x10);
        f.push_back(0x03);
        return f;
    }();
    std::vector<uint8_t> bytes;
    std::uniform_int_distribution<int> pick(0, 99);
    while (bytes.size() < 50000) {
        const int p = pick(rng);
        if (p < 10)
            bytes.insert(bytes.end(), gga.begin(), gga.end());
        else if (p < 20)
            bytes.insert(bytes.end(), nav.begin(), nav.end());
        else if (p < 23 && binr)
            bytes.insert(bytes.end(), {0x10, 0x03});   // ends whatever frame the junk opened
        else if (p < 25)
            bytes.push_back(binr ? 0x10 : uint8_t("$\n,*"[p % 4]));
        else
            bytes.push_back(uint8_t(rng()));
    }
    return bytes;
}

} // namespace

TEST(EpochIndex, MatchesByteDecodeOnCapturesSamplesAndHostileStreams)
{
    std::mt19937 rng(11);
    ExpectIndexMatchesBytes(ReadBinaryFile(SourceDir() + "/samples/demo.nme"), false, rng, 600);
    ExpectIndexMatchesBytes(ReadBinaryFile(SourceDir() + "/samples/demo-binr.dat"), true, rng, 600);
    for (int round = 0; round < 10; ++round) {
        ExpectIndexMatchesBytes(Hostile(rng, false), false, rng, 10);
        ExpectIndexMatchesBytes(Hostile(rng, true), true, rng, 10);
    }
    if (SharedNmeaDir().empty())
        GTEST_SKIP() << "../shared/testdata/nmea is absent; captures not indexed";
    for (const std::string& file : SharedNmeaFiles())
        ExpectIndexMatchesBytes(ReadBinaryFile(file), false, rng, 1);
}

TEST(EpochIndex, TimesAndDatesOfBothProtocols)
{
    const std::string text = "junk$GPGGA,235959.50,x*\n$GPRMC,235959.50,A,,,,,,,311299,,*\n"
                             "$GPGGA,000000.50,x*\n$GPGGA,bad,x*\n$GPRMC,0,A,,,,,,,010100,,*\n";
    EpochIndex index(false);
    index.Feed(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    ASSERT_EQ(index.Count(), 3u);
    EXPECT_EQ(index.Epochs()[0].offset, 0);
    EXPECT_EQ(EpochTimeText(index.Epochs()[0].timeMs), "31.12.99 23:59:59");
    // No RMC of its own: the last date seen, so midnight reads as a step back.
    EXPECT_EQ(EpochTimeText(index.Epochs()[1].timeMs), "31.12.99 00:00:00");
    EXPECT_EQ(index.Epochs()[2].timeMs, kNoTime);
    EXPECT_EQ(index.FirstAtOrAfterTimeOfDay(0), 1u);
    EXPECT_EQ(index.FirstAtOrAfterTimeOfDay(12 * 3600 * 1000), 3u);

    const auto demo = ReadBinaryFile(SourceDir() + "/samples/demo-binr.dat");
    EpochIndex binr(true);
    binr.Feed(demo.data(), demo.size());
    EpochIndex nmea(false);
    const auto side = ReadBinaryFile(SourceDir() + "/samples/demo.nme");
    nmea.Feed(side.data(), side.size());
    // The side file is synthesised from the BINR stream: the same epochs, the same times.
    ASSERT_EQ(binr.Count(), nmea.Count());
    EXPECT_EQ(EpochTimeText(binr.FirstTime()), EpochTimeText(nmea.FirstTime()));
    EXPECT_EQ(EpochTimeText(binr.LastTime()), EpochTimeText(nmea.LastTime()));
    EXPECT_EQ(binr.FirstTime() / 1000, nmea.FirstTime() / 1000);
}

TEST(EpochIndex, ATimeOfDayGoesToTheFirstEpochAtOrAfterItAcrossMidnight)
{
    auto gga = [](const char* t) { return std::string("$GPGGA,") + t + ",x*\n"; };
    auto rmc = [](const char* t, const char* d) { return std::string("$GPRMC,") + t + ",A,,,,,,," + d + ",,*\n"; };
    const std::string afternoon = gga("132819.00") + rmc("132819.00", "070926") + gga("132820.00") + rmc("132820.00", "070926");
    const std::string justAfterMidnight = gga("000000.50") + rmc("000000.50", "080926") + gga("000001.50");
    const std::string beforeGap = gga("235958.00") + rmc("235958.00", "070926") + gga("235959.00") + rmc("235959.00", "070926");
    struct Row {
        const char* what;
        std::string text;
        const char* time;
        size_t epoch;   // 99: none
    };
    const Row rows[] = {
        {"before the first epoch", afternoon, "13:00:00", 0},
        {"the first epoch", afternoon, "13:28:19", 0},
        {"the second epoch", afternoon, "13:28:20", 1},
        {"after the last", afternoon, "13:30:00", 99},
        {"before a start just after midnight", justAfterMidnight, "23:59:59", 0},
        {"after an end just after midnight", justAfterMidnight, "00:00:03", 99},
        {"in a gap across midnight, dated", beforeGap + gga("001000.00") + rmc("001000.00", "080926"), "00:05:00", 2},
        {"at midnight in that gap", beforeGap + gga("001000.00") + rmc("001000.00", "080926"), "00:00:00", 2},
        {"in that gap, no date after it", beforeGap + gga("001000.00") + gga("001001.00"), "00:05:00", 2},
        {"in that gap, no date at all", gga("235958.00") + gga("001000.00"), "00:05:00", 1},
        {"before it", beforeGap + gga("001000.00"), "23:59:59", 1},
    };
    for (const Row& row : rows) {
        EpochIndex index(false);
        index.Feed(reinterpret_cast<const uint8_t*>(row.text.data()), row.text.size());
        const int64_t ms = NmeaTimeOfDayMs((std::string(row.time).erase(5, 1).erase(2, 1)).c_str());
        ASSERT_NE(ms, kNoTime) << row.what;
        const size_t found = index.FirstAtOrAfterTimeOfDay(ms);
        EXPECT_EQ(found == index.Count() ? 99 : found, row.epoch) << row.what;
    }
}

namespace {

std::vector<int64_t> DueMs(ReplayPace& pace, std::vector<int64_t>* begins = nullptr)
{
    std::vector<int64_t> due;
    Delivery d;
    while (pace.Next(d)) {
        due.push_back(d.dueUs / 1000);
        if (begins)
            begins->push_back(d.begin);
        pace.Done(d);
    }
    return due;
}

} // namespace

TEST(ReplayPace, DueTimesFollowTheRecordingWithItsGapRules)
{
    constexpr int64_t h = 3600000;
    // 1 s steps, a step back, a 10 s gap, a jump over an hour, a missing time.
    const std::string text = NmeaEpochs({10 * h, 10 * h + 1000, 10 * h + 2000, 10 * h + 1500, 10 * h + 11500,
                                         12 * h, kNoTime, 12 * h + 1000});
    EpochIndex index(false);
    index.Feed(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    struct Row {
        PaceOptions options;
        std::vector<int64_t> due;
    };
    const Row rows[] = {
        {{1.0, false, 0, 960}, {0, 1000, 2000, 3000, 13000, 14000, 15000, 16000}},
        {{2.0, false, 0, 960}, {0, 500, 1000, 1500, 6500, 7000, 7500, 8000}},
        {{1.0, false, 5000, 960}, {0, 1000, 2000, 3000, 4000, 5000, 6000, 7000}},
        {{0.25, false, 0, 960}, {0, 4000, 8000, 12000, 52000, 56000, 60000, 64000}},
        {{1.0, true, 0, 960}, {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        ReplayPace pace(index, std::vector<ReceiveTime> {}, row.options);
        EXPECT_EQ(pace.Source(), PaceSource::EpochTimes);
        pace.Seek(0, 0);
        EXPECT_EQ(DueMs(pace), row.due) << "speed " << row.options.speed << " skip " << row.options.skipGapsMs;
    }
    // A seek anchors the schedule at the epoch sought, on the clock of that moment.
    ReplayPace pace(index, std::vector<ReceiveTime> {}, PaceOptions {});
    pace.Seek(4, 50'000'000);
    EXPECT_EQ(DueMs(pace), (std::vector<int64_t> {50000, 51000, 52000, 53000}));
}

TEST(ReplayPace, SpeedChangeAndPauseKeepThePlace)
{
    const std::string text = NmeaEpochs({0, 1000, 2000, 3000, 4000});
    EpochIndex index(false);
    index.Feed(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    ReplayPace pace(index, std::vector<ReceiveTime> {}, PaceOptions {});
    pace.Seek(0, 0);
    Delivery d;
    ASSERT_TRUE(pace.Next(d));
    pace.Done(d);
    ASSERT_TRUE(pace.Next(d));
    pace.Done(d);   // epoch 1 out at 1 s
    pace.SetOptions({4.0, false, 0, 960}, 1'200'000);
    ASSERT_TRUE(pace.Next(d));
    EXPECT_EQ(d.dueUs, 1'450'000);
    pace.Done(d);
    pace.Rebase(9'000'000);   // paused till 9 s
    EXPECT_EQ(DueMs(pace), (std::vector<int64_t> {9250, 9500}));
}

TEST(ReplayPace, ReceiveTimesAndByteCountAndGrowth)
{
    const std::string text = NmeaEpochs({0, 1000, 2000});   // 3 epochs
    EpochIndex index(false);
    index.Feed(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    const int64_t size = index.Size();
    // Three blocks: a burst at 100 ms holding the first epoch and a half, then 900 ms later the rest.
    const int64_t mid = index.EpochEnd(0) + 5;
    ReplayPace timed(index, {{mid, 100}, {mid + 1, 100}, {size, 1000}}, PaceOptions {});
    EXPECT_EQ(timed.Source(), PaceSource::ReceiveTimes);
    timed.Seek(0, 0);
    std::vector<int64_t> begins;
    EXPECT_EQ(DueMs(timed, &begins), (std::vector<int64_t> {0, 0, 0, 900, 900}));
    EXPECT_EQ(begins, (std::vector<int64_t> {0, index.EpochEnd(0), mid, mid + 1, index.EpochEnd(1)}));

    // No time at all: the byte count at the line's rate, in tenths of a second.
    const std::string untimed(250, 'x');
    EpochIndex none(false);
    none.Feed(reinterpret_cast<const uint8_t*>(untimed.data()), untimed.size());
    ReplayPace bytes(none, std::vector<ReceiveTime> {}, {1.0, false, 0, 100});
    EXPECT_EQ(bytes.Source(), PaceSource::ByteCount);
    EXPECT_EQ(bytes.EpochCount(), 3u);
    bytes.Seek(0, 0);
    std::vector<int64_t> due = DueMs(bytes);
    EXPECT_EQ(due.size(), 25u);
    EXPECT_EQ(due.back(), 2400);

    // A growing file: the pace goes on where the index grows.
    const std::string more = NmeaEpochs({3000, 4000});
    ReplayPace growing(index, std::vector<ReceiveTime> {}, PaceOptions {});
    growing.Seek(0, 0);
    EXPECT_EQ(DueMs(growing), (std::vector<int64_t> {0, 1000, 2000}));
    index.Feed(reinterpret_cast<const uint8_t*>(more.data()), more.size());
    EXPECT_EQ(DueMs(growing), (std::vector<int64_t> {3000, 4000}));
}

TEST(ReceiveTimes, WrittenThenReadAndEveryDamageIgnored)
{
    const std::string dir = testing::TempDir();
    const std::string name = dir + "/replay-core.times";
    {
        ReceiveTimesWriter w;
        ASSERT_TRUE(w.Create(name, 5'000'000));
        w.Append(100, 5'000'000);
        w.Append(250, 5'040'999);
        w.Append(300, 6'000'000);
    }
    const ReceiveTimesRead good = ReadReceiveTimes(name, 300);
    EXPECT_EQ(good.problem, "");
    ASSERT_EQ(good.times.size(), 3u);
    EXPECT_EQ(good.times[1].ms, 40);
    EXPECT_EQ(good.times[2].endOffset, 300);

    const std::vector<uint8_t> bytes = ReadBinaryFile(name);
    struct Damage {
        const char* what;
        size_t at;           // byte changed (or size cut to, for truncation)
        int64_t recordSize;
        bool cut;
        const char* problem;
    };
    const Damage rows[] = {
        {"size differs", 0, 299, false, "does not match the file"},
        {"cut in a record", 30, 300, true, "truncated"},
        {"cut in the header", 9, 300, true, "truncated"},
        {"magic", 0, 300, false, "not a times file"},
        {"offset falls", 16 + 24 + 1, 300, false, "inconsistent"},
        {"time disagrees with clock", 16 + 24 + 8, 300, false, "inconsistent"},
    };
    for (const Damage& row : rows) {
        std::vector<uint8_t> damaged = bytes;
        if (row.cut)
            damaged.resize(row.at);
        else if (row.recordSize == 300)
            damaged[row.at] ^= 0x40;
        ASSERT_TRUE(WriteBinaryFile(name, damaged));
        const ReceiveTimesRead r = ReadReceiveTimes(name, row.recordSize);
        EXPECT_TRUE(r.times.empty()) << row.what;
        EXPECT_EQ(r.problem, row.problem) << row.what;
    }
    // More records than the recording has bytes: refused by its size, unread.
    ASSERT_TRUE(WriteBinaryFile(name, std::vector<uint8_t>(16 + 24 * 301, 0)));
    EXPECT_EQ(ReadReceiveTimes(name, 300).problem, "does not match the file");
    ::unlink(name.c_str());
    EXPECT_EQ(ReadReceiveTimes(name, 300).problem, "");   // missing: no note
}

// A log continued after a restart: the new process's clock (here far below
// the old one, as after a reboot) must not make the records fall; the old
// clock goes on from its last reading plus the pause. A continued file that
// does not check out is left alone, and a record file made anew under the
// name starts the records again.
TEST(ReceiveTimes, ContinuedAcrossARestartStillChecksOut)
{
    const std::string name = testing::TempDir() + "/continued.times";
    {
        ReceiveTimesWriter w;
        ASSERT_TRUE(w.Create(name, 9'000'000'000));
        w.Append(100, 9'000'500'000);
        w.Append(100, 9'000'600'000);   // nothing new in the file: no record
        w.Append(180, 9'001'000'000);
    }
    {
        ReceiveTimesWriter w;
        EXPECT_FALSE(w.Continue(name, 150, 1'000, 0)) << "the records pass the file's 150 bytes";
        // A boot later, 3 s after; 20 bytes reached the file after its last record.
        ASSERT_TRUE(w.Continue(name, 200, 1'000, 3'000'000));
        w.Append(250, 1'000);
        w.Append(300, 501'000);
    }
    const ReceiveTimesRead r = ReadReceiveTimes(name, 300);
    ASSERT_EQ(r.problem, "");
    std::vector<std::pair<int64_t, int64_t>> got;
    for (const ReceiveTime& t : r.times)
        got.emplace_back(t.endOffset, t.ms);
    EXPECT_EQ(got, (std::vector<std::pair<int64_t, int64_t>> {{100, 500}, {180, 1000}, {200, 4000}, {250, 4000}, {300, 4500}}));

    {
        ReceiveTimesWriter w;
        ASSERT_TRUE(w.Create(name, 7'000, 400));   // over 400 bytes kept from before
        w.Append(450, 9'000);
        w.Append(30, 10'000);                      // the record file was made anew
        w.Append(60, 11'000);
    }
    const ReceiveTimesRead again = ReadReceiveTimes(name, 60);
    ASSERT_EQ(again.problem, "");
    ASSERT_EQ(again.times.size(), 2u);
    EXPECT_EQ(again.times[0].endOffset, 30);
    EXPECT_EQ(again.times[1].ms, 4);
    ::unlink(name.c_str());
}
