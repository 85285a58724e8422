// The receive times file: written and read back, every way it can be
// damaged, continued after a restart or a torn end, what stands under its
// name, a full disk and a removal mid-run, and a file of any size read
// without holding it.
#include "ReceiveTimes.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string Temp(const std::string& name) { return testing::TempDir() + "/rt-" + name; }

// A record file of size bytes (its content does not matter here).
std::string RecordFile(const std::string& name, int64_t size = 0)
{
    const std::string path = Temp(name);
    ::unlink(TimesFileName(path).c_str());
    EXPECT_TRUE(WriteBinaryFile(path, std::vector<uint8_t>(size_t(size), 'x')));
    return path;
}

std::vector<std::pair<int64_t, int64_t>> OffsetsAndMs(const ReceiveTimeList& times)
{
    std::vector<std::pair<int64_t, int64_t>> got;
    for (const ReceiveTime t : times)
        got.emplace_back(t.exact ? t.endOffset : -t.endOffset, t.ms);
    return got;
}

// What the writer said, each after the name it goes with.
std::vector<std::string> NoteTexts(const ReceiveTimesWriter& w, const std::string& name)
{
    std::vector<std::string> texts;
    for (const TimesNote& n : w.Notes())
        texts.push_back((w.Name() == name ? ": " : "(another name): ") + n.what);
    return texts;
}

// Runs call on a thread; false when it has not returned within 5 s (then
// the FIFO is opened from here, so that a call stuck opening it returns).
bool ReturnsAtOnce(const std::string& fifo, const std::function<void()>& call)
{
    std::atomic<bool> done {false};
    std::thread t([&] {
        call();
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool inTime = done;
    if (!inTime)
        ::close(::open(fifo.c_str(), O_RDWR | O_NONBLOCK));
    t.join();
    return inTime;
}

// A header and records with times 1 ms apart, ending at the given offsets.
std::vector<uint8_t> TimesBytes(int64_t startUs, const std::vector<int64_t>& offsets)
{
    std::vector<uint8_t> bytes(kTimesHeaderSize + offsets.size() * kTimesRecordSize);
    std::memcpy(bytes.data(), kTimesMagic, sizeof kTimesMagic);
    PutTimesI64(bytes.data() + 8, startUs);
    for (size_t i = 0; i < offsets.size(); ++i) {
        uint8_t* r = bytes.data() + kTimesHeaderSize + i * kTimesRecordSize;
        PutTimesI64(r, offsets[i]);
        PutTimesI64(r + 8, int64_t(i));
        PutTimesI64(r + 16, startUs + int64_t(i) * 1000);
    }
    return bytes;
}

// Reads count records of step bytes each with room for a few MB more on
// the heap than this process has taken so far.
bool ReadUnderADataLimit(const std::string& name, int64_t count, int64_t step)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    long dataKb = 0;
    while (std::getline(status, line))
        if (line.rfind("VmData:", 0) == 0)
            dataKb = std::stol(line.substr(7));
    const rlimit limit {rlim_t(dataKb + 8 * 1024) * 1024, RLIM_INFINITY};
    ::setrlimit(RLIMIT_DATA, &limit);
    const ReceiveTimesRead r = ReadReceiveTimes(name, count * step);
    return r.problem.empty() && r.times.size() == size_t(count) && r.times[size_t(count / 2)].endOffset == (count / 2 + 1) * step;
}

} // namespace

TEST(ReceiveTimes, WrittenThenReadAndEveryDamageIgnored)
{
    const std::string record = RecordFile("damage", 300);
    const std::string name = TimesFileName(record);
    {
        ReceiveTimesWriter w;
        ASSERT_TRUE(w.Create(record, 5'000'000));
        w.Append(100, 5'000'000);
        w.Append(250, 5'040'999);
        w.Append(300, 6'000'000);
        EXPECT_TRUE(w.Notes().empty());
    }
    const ReceiveTimesRead good = ReadReceiveTimes(name, 300);
    EXPECT_EQ(good.problem, "");
    EXPECT_EQ(OffsetsAndMs(good.times), (std::vector<std::pair<int64_t, int64_t>> {{100, 0}, {250, 40}, {300, 1000}}));

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
        {"offset the lowest int64", 16 + 24 + 7, 300, false, "inconsistent"},
    };
    for (const Damage& row : rows) {
        std::vector<uint8_t> damaged = bytes;
        if (row.cut)
            damaged.resize(row.at);
        else if (row.at == 16 + 24 + 7)
            damaged[row.at] = 0x80, std::fill(damaged.begin() + 16 + 24, damaged.begin() + 16 + 24 + 7, 0);
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
// clock goes on from its last reading plus the pause. Bytes a crash left
// after the last record get one record, not exact; a record file made anew
// under the name starts the records again.
TEST(ReceiveTimes, ContinuedAcrossARestartStillChecksOut)
{
    const std::string record = RecordFile("continued");
    const std::string name = TimesFileName(record);
    {
        ReceiveTimesWriter w;
        ASSERT_TRUE(w.Create(record, 9'000'000'000));
        w.Append(100, 9'000'500'000);
        w.Append(100, 9'000'600'000);   // nothing new in the file: no record
        w.Append(180, 9'001'000'000);
    }
    {
        ReceiveTimesWriter w;
        // A boot later, 3 s after; 20 bytes reached the file after its last record.
        ASSERT_TRUE(w.Continue(record, 200, 1'000, 3'000'000));
        w.Append(250, 1'000);
        w.Append(300, 501'000);
        EXPECT_TRUE(w.Notes().empty());
    }
    const ReceiveTimesRead r = ReadReceiveTimes(name, 300);
    ASSERT_EQ(r.problem, "");
    EXPECT_EQ(OffsetsAndMs(r.times),
              (std::vector<std::pair<int64_t, int64_t>> {{100, 500}, {180, 1000}, {-200, 4000}, {250, 4000}, {300, 4500}}));

    {
        ReceiveTimesWriter w;
        ASSERT_TRUE(w.Create(record, 7'000, 400));   // over 400 bytes kept from before
        w.Append(450, 9'000);
        w.Append(30, 10'000);                      // the record file was made anew
        w.Append(60, 11'000);
    }
    const ReceiveTimesRead again = ReadReceiveTimes(name, 60);
    ASSERT_EQ(again.problem, "");
    EXPECT_EQ(OffsetsAndMs(again.times), (std::vector<std::pair<int64_t, int64_t>> {{30, 3}, {60, 4}}));
}

// A torn last record (a power cut between the two writes), records past the
// end of a record file that lost its tail, a record that does not check
// out: every whole record before is kept, the rest cut off and said.
TEST(ReceiveTimes, ContinueKeepsEveryRecordThatChecksOut)
{
    struct Row {
        const char* what;
        std::vector<int64_t> offsets;
        size_t tornBytes;
        int64_t recordSize;
        std::vector<std::pair<int64_t, int64_t>> kept;   // then one record at the continuation
        const char* note;
    };
    const Row rows[] = {
        {"torn last record", {10, 20, 30}, 11, 30, {{10, 0}, {20, 1}, {30, 2}}, ": dropped a torn last record (11 bytes); kept 3 records"},
        {"record file shorter", {10, 20, 30, 40}, 0, 25, {{10, 0}, {20, 1}, {-25, 1}}, ": dropped 2 records past the end of the record file; kept 2 records"},
        {"both", {10, 20, 30}, 5, 20, {{10, 0}, {20, 1}}, ": dropped 1 record past the end of the record file and a torn last record (5 bytes); kept 2 records"},
        {"offset falls", {10, 20, 15, 30}, 0, 30, {{10, 0}, {20, 1}, {-30, 1}}, ": dropped 2 records from the first that does not check out (inconsistent); kept 2 records"},
    };
    for (const Row& row : rows) {
        const std::string record = RecordFile("torn", row.recordSize);
        const std::string name = TimesFileName(record);
        std::vector<uint8_t> bytes = TimesBytes(1'000'000, row.offsets);
        bytes.resize(bytes.size() + row.tornBytes, 0x55);
        ASSERT_TRUE(WriteBinaryFile(name, bytes));
        ReceiveTimesWriter w;
        // Continued at once (a reading below the old clock's: it goes on from its last).
        EXPECT_TRUE(w.Continue(record, row.recordSize, 0, 0)) << row.what;
        w.Close();
        EXPECT_EQ(NoteTexts(w, name), std::vector<std::string> {row.note}) << row.what;
        EXPECT_FALSE(w.AnyLost()) << row.what;
        const ReceiveTimesRead r = ReadReceiveTimes(name, row.recordSize);
        EXPECT_EQ(r.problem, "") << row.what;
        EXPECT_EQ(OffsetsAndMs(r.times), row.kept) << row.what;
    }
}

// Only a regular file beside a regular record file is ever written, and
// nothing under the name is waited on, for writing or for reading.
TEST(ReceiveTimes, NothingButARegularFileBesideARegularRecordFile)
{
    const std::string record = RecordFile("guarded", 50);
    const std::string name = TimesFileName(record);
    const std::string victim = Temp("victim");
    ASSERT_TRUE(WriteBinaryFile(victim, {'k', 'e', 'e', 'p'}));
    ASSERT_EQ(::symlink(victim.c_str(), name.c_str()), 0);
    for (const bool append : {false, true}) {
        ReceiveTimesWriter w;
        EXPECT_FALSE(append ? w.Continue(record, 50, 0, 0) : w.Create(record, 0, 50));
        EXPECT_EQ(NoteTexts(w, name), std::vector<std::string> {": a symbolic link; this recording has no receive times"});
        EXPECT_TRUE(w.AnyLost());
        EXPECT_EQ(ReadBinaryFile(victim), (std::vector<uint8_t> {'k', 'e', 'e', 'p'}));
    }
    ::unlink(name.c_str());

    ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
    for (const bool append : {false, true}) {
        ReceiveTimesWriter w;
        EXPECT_TRUE(ReturnsAtOnce(name, [&] { append ? w.Continue(record, 50, 0, 0) : w.Create(record, 0, 50); }));
        EXPECT_EQ(NoteTexts(w, name), std::vector<std::string> {": not a regular file; this recording has no receive times"});
    }
    ReceiveTimesRead read;
    EXPECT_TRUE(ReturnsAtOnce(name, [&] { read = ReadReceiveTimes(name, 50); }));
    EXPECT_EQ(read.problem, "not a regular file");
    ::unlink(name.c_str());

    // A record file that is no regular file (a device, a FIFO) gets none.
    const std::string fifo = Temp("fifo");
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ReceiveTimesWriter w;
    EXPECT_FALSE(w.Create(fifo, 0));
    EXPECT_EQ(NoteTexts(w, TimesFileName(fifo)), std::vector<std::string> {": not made: the record file is not a regular file"});
    EXPECT_FALSE(w.AnyLost());
    struct stat st {};
    EXPECT_NE(::lstat(TimesFileName(fifo).c_str(), &st), 0);
    ::unlink(fifo.c_str());
}

// A write that fails (a size limit, as a full disk) is said once; the file
// stays whole, and the first record that goes in again covers the bytes
// since, marked not exact. A file removed under us is said and made again.
TEST(ReceiveTimes, AFailedWriteOrARemovalIsSaidAndTheTimesGoOn)
{
    const std::string record = RecordFile("full", 0);
    const std::string name = TimesFileName(record);
    ReceiveTimesWriter w;
    ASSERT_TRUE(w.Create(record, 0));
    w.Append(10, 1'000);
    w.Append(20, 2'000);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limit = old;
    limit.rlim_cur = kTimesHeaderSize + 2 * kTimesRecordSize + 10;   // room for part of one more
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    w.Append(30, 3'000);
    w.Append(40, 4'000);
    EXPECT_TRUE(w.Failing());
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);
    w.Append(50, 5'000);
    w.Append(60, 6'000);
    EXPECT_FALSE(w.Failing());
    ReceiveTimesRead r = ReadReceiveTimes(name, 60);
    EXPECT_EQ(r.problem, "");
    EXPECT_EQ(OffsetsAndMs(r.times), (std::vector<std::pair<int64_t, int64_t>> {{10, 1}, {20, 2}, {-50, 5}, {60, 6}}));

    ASSERT_EQ(::unlink(name.c_str()), 0);
    w.Append(70, 7'000);   // went into the removed file: seen after it
    w.Append(80, 8'000);
    w.Close();
    r = ReadReceiveTimes(name, 80);
    EXPECT_EQ(r.problem, "");
    EXPECT_EQ(OffsetsAndMs(r.times), (std::vector<std::pair<int64_t, int64_t>> {{-70, 7}, {80, 8}}));
    EXPECT_EQ(NoteTexts(w, name), (std::vector<std::string> {": write error: File too large",
                                                             ": written again; the times of bytes 20 to 50 are not exact",
                                                             ": removed during the recording",
                                                             ": made again; the times of its first 70 bytes are not exact"}));
    EXPECT_TRUE(w.AnyLost());
}

// Past 2 GiB (weeks of a fast receiver) the file is still read: here a
// sparse one whose records stop checking out after two, which only a
// reader without a size limit gets to see, and which --append cuts back to
// its two good records instead of starting anew.
TEST(ReceiveTimes, NoSizeLimitBelowTheRecordFiles)
{
    const int64_t kRecordSize = int64_t(1) << 36;
    const std::string record = Temp("huge");
    const std::string name = TimesFileName(record);
    ASSERT_TRUE(WriteBinaryFile(record, {}));
    ASSERT_EQ(::truncate(record.c_str(), off_t(kRecordSize)), 0);
    ASSERT_TRUE(WriteBinaryFile(name, TimesBytes(0, {10, 20})));
    ASSERT_EQ(::truncate(name.c_str(), off_t(kTimesHeaderSize + (int64_t(100'000'000) * kTimesRecordSize))), 0);
    EXPECT_EQ(ReadReceiveTimes(name, kRecordSize).problem, "inconsistent");
    ReceiveTimesWriter w;
    EXPECT_TRUE(w.Continue(record, kRecordSize, 0, 0));
    w.Close();
    EXPECT_EQ(OffsetsAndMs(ReadReceiveTimes(name, kRecordSize).times),
              (std::vector<std::pair<int64_t, int64_t>> {{10, 0}, {20, 1}, {-kRecordSize, 1}}));
    ::unlink(name.c_str());
    ::unlink(record.c_str());
}

// The records of a read file stay on disk: a process whose heap could not
// hold them reads them all the same.
TEST(ReceiveTimes, ReadWithoutHoldingTheRecords)
{
    constexpr int64_t kRecords = 1'000'000;   // 24 MB of records, 16 MB as a vector
    const std::string record = Temp("long");
    std::vector<int64_t> offsets(kRecords);
    for (int64_t i = 0; i < kRecords; ++i)
        offsets[size_t(i)] = (i + 1) * 7;
    ASSERT_TRUE(WriteBinaryFile(TimesFileName(record), TimesBytes(0, offsets)));
    offsets = {};
    EXPECT_EXIT(std::_Exit(ReadUnderADataLimit(TimesFileName(record), kRecords, 7) ? 0 : 1), testing::ExitedWithCode(0), "");
    ::unlink(TimesFileName(record).c_str());
}
