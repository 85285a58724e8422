// Recording: the record file's close-and-reopen points, write failures, the
// overwrite guard and its blink, the no-data watch, the scheduled start and
// stop, a live recording from a pty, and the side file that must never be
// the file being played or recorded.
#include "MainfileSupport.h"

#include "../core/NmeafileFrames.h"
#include "Nmeafile.h"
#include "SourceFeed.h"
#include "ReceiveTimes.h"
#include "WeekRollover.h"

#include "Timerfile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QRadioButton>

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

void Feed(TMainForm* form, const std::vector<uint8_t>& bytes) { form->ReceiveBytes(bytes.data(), int(bytes.size())); }

std::vector<uint8_t> Concat(const std::vector<std::vector<uint8_t>>& parts)
{
    std::vector<uint8_t> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A 0x88 of week 400 with a fix, at timeMs into the week.
std::vector<uint8_t> FixFrame(double timeMs)
{
    synth_test::Nav nav;
    nav.timeMs = timeMs;
    nav.week = 400;
    nav.flags = 0x01;
    return synth_test::Frame(0x88, synth_test::NavPayload(nav));
}

QByteArray AsBytes(const std::vector<uint8_t>& v) { return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size())); }

class RecordFileTest : public MainWindowTest {
protected:
    // Recording without a port: the intake does the rest.
    void StartRecording(const QString& name)
    {
        Show();
        ASSERT_TRUE(TMainFormTestAccess::Record(*form).Create(name));
        form->SetActionMode(amRecord);
    }
    // The receive times of `name` checked against the file as it is now.
    std::string TimesProblem(const QString& name)
    {
        TMainFormTestAccess::Times(*form).Close();
        return ReadReceiveTimes(TimesFileName(name.toStdString()), QFileInfo(name).size()).problem;
    }
    void TearDown() override
    {
        TMainFormTestAccess::Record(*form).Close();
        form->SetActionMode(amStop);
        MainWindowTest::TearDown();
    }
};

} // namespace

TEST_F(RecordFileTest, ClosesAndReopensWheneverTheKiBCountIsAMultipleOf128)
{
    StartRecording(PathOf("rec.nme"));
    // (block size, reopened after it), the total in the comment.
    const std::pair<size_t, bool> blocks[] = {
        {0, true},        // 0
        {100, true},      // 100: below 1 KiB every block
        {923, true},      // 1023
        {1, false},       // 1024
        {130047, false},  // 131071
        {1, true},        // 131072
        {1023, true},     // 132095
        {1, false},       // 132096
        {130048, true},   // 262144
    };
    std::vector<std::vector<uint8_t>> sent;
    int reopens = TMainFormTestAccess::Record(*form).ReopenCount();
    for (const auto& [size, reopened] : blocks) {
        TMainFormTestAccess::WatchTicks(*form) = 5;
        sent.push_back(Filler(size));
        Feed(form.get(), sent.back());
        EXPECT_EQ(TMainFormTestAccess::Record(*form).ReopenCount() - reopens, reopened ? 1 : 0) << "total " << form->ReceivedTotal();
        reopens = TMainFormTestAccess::Record(*form).ReopenCount();
        EXPECT_EQ(TMainFormTestAccess::WatchTicks(*form), 0);
        EXPECT_EQ(form->InfoLabel->text(), "Receive...");
    }
    EXPECT_EQ(form->ReceivedTotal(), 262144);
    EXPECT_EQ(form->ReceiveBytesLabel->text(), "256 kB");
    TMainFormTestAccess::Record(*form).Close();
    EXPECT_EQ(ReadAll(PathOf("rec.nme")), AsBytes(Concat(sent)));
}

TEST_F(RecordFileTest, FullDiskShowsWriteErrorAndKeepsWhatWasWritten)
{
    StartRecording(PathOf("full.nme"));
    ASSERT_TRUE(TMainFormTestAccess::Times(*form).Create(PathOf("full.nme").toStdString(), MonotonicUs()));
    // A file-size limit fails writes as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = 1500;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);

    const std::vector<uint8_t> a = Filler(1000), b(1000, 'B'), c(300, 'C');
    Feed(form.get(), a);
    EXPECT_EQ(form->InfoLabel->text(), "Receive...");
    Feed(form.get(), b);
    EXPECT_EQ(form->InfoLabel->text(), "File write error: 500 bytes lost");
    EXPECT_EQ(form->ReceiveBytesLabel->text(), "1 kB");
    Feed(form.get(), c);
    EXPECT_EQ(form->InfoLabel->text(), "File write error: 800 bytes lost") << "still failing";

    setrlimit(RLIMIT_FSIZE, &old);
    Feed(form.get(), c);
    EXPECT_EQ(form->InfoLabel->text(), "File write error: 800 bytes lost") << "the hole stays reported";
    EXPECT_FALSE(TMainFormTestAccess::Record(*form).Failing()) << "it kept trying";
    TMainFormTestAccess::Record(*form).Close();
    const QByteArray onDisk = ReadAll(PathOf("full.nme"));
    ASSERT_EQ(onDisk.size(), 1500 + 300);
    EXPECT_EQ(onDisk.left(1000), AsBytes(a)) << "what was written stays intact";
    EXPECT_EQ(onDisk.mid(1000, 500), QByteArray(500, 'B'));
    EXPECT_EQ(onDisk.mid(1500), QByteArray(300, 'C'));
    EXPECT_EQ(TimesProblem(PathOf("full.nme")), "") << "the times describe the file as written";
}

// Receive times that cannot be written show on the information line as the
// record file's write errors do, and what came of them stays there.
TEST_F(RecordFileTest, ReceiveTimesWriteErrorShowsOnTheInformationLine)
{
    StartRecording(PathOf("t.nme"));
    const std::string name = PathOf("t.nme.times").toStdString();
    ASSERT_TRUE(TMainFormTestAccess::Times(*form).Create(PathOf("t.nme").toStdString(), MonotonicUs()));
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = kTimesHeaderSize + 3 * kTimesRecordSize + 5;   // the record file stays far below
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    for (int block = 0; block < 4; ++block)
        Feed(form.get(), {'x'});
    EXPECT_EQ(form->InfoLabel->text().toStdString(), name + ": write error: File too large");
    setrlimit(RLIMIT_FSIZE, &old);
    Feed(form.get(), {'x'});
    Feed(form.get(), {'x'});
    EXPECT_EQ(form->InfoLabel->text().toStdString(), name + ": written again; the times of bytes 3 to 5 are not exact");
    EXPECT_EQ(TimesProblem(PathOf("t.nme")), "");
}

TEST_F(RecordFileTest, DeviceWithoutSpaceIsAWriteError)
{
    if (!QFileInfo::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    StartRecording("/dev/full");
    Feed(form.get(), Filler(10));
    EXPECT_EQ(form->InfoLabel->text(), "File write error: 10 bytes lost");
}

TEST_F(RecordFileTest, RemovedFileIsAWriteErrorThenComesBack)
{
    StartRecording(PathOf("gone.nme"));
    ASSERT_TRUE(TMainFormTestAccess::Times(*form).Create(PathOf("gone.nme").toStdString(), MonotonicUs()));
    Feed(form.get(), Filler(2000));
    ASSERT_EQ(::unlink(QFile::encodeName(PathOf("gone.nme")).constData()), 0);
    Feed(form.get(), Filler(10));
    // All that went into the removed file is lost.
    EXPECT_EQ(form->InfoLabel->text(), "File write error: 2010 bytes lost");
    const std::vector<uint8_t> after(50, 'Z');
    Feed(form.get(), after);
    EXPECT_EQ(form->InfoLabel->text(), "File write error: 2010 bytes lost");
    TMainFormTestAccess::Record(*form).Close();
    EXPECT_EQ(ReadAll(PathOf("gone.nme")), AsBytes(after));
    EXPECT_EQ(TimesProblem(PathOf("gone.nme")), "") << "the times describe the new file";
}

TEST_F(MainWindowTest, RecordWithoutAPortLeavesTheFileAloneAndStaysStopped)
{
    Show();
    ASSERT_TRUE(WriteBytes(PathOf("rgfile.nme"), Filler(100)));
    form->RecordButtonClick(form->RecordButton);
    EXPECT_EQ(form->InfoLabel->text(), "File exist! For overwrite push Record");
    EXPECT_TRUE(form->WatchTimer->isActive());
    EXPECT_EQ(ReadAll(PathOf("rgfile.nme")).size(), 100) << "the guard keeps the file";

    // The blink: blank, warning, blank, ... until the timer stops at 7 s.
    const char* const warn = "File exist! For overwrite push Record";
    const char* const expected[] = {"", warn, "", warn, "", warn, ""};
    for (const char* text : expected) {
        form->WatchTimerTimer();
        EXPECT_EQ(form->InfoLabel->text(), text);
    }
    EXPECT_FALSE(form->WatchTimer->isActive());

    // A program call skips the guard; with no port the mode stays STOP and
    // the previous recording stays whole, however often the timer retries.
    for (int tick = 0; tick < 2; ++tick) {
        form->ScheduledRecordStart();
        EXPECT_EQ(form->Mode(), amStop);
        EXPECT_EQ(form->InfoLabel->text(), "Port open error");
        EXPECT_EQ(ReadAll(PathOf("rgfile.nme")).size(), 100);
        EXPECT_FALSE(TMainFormTestAccess::Record(*form).IsOpen());
    }
    form->FileLabel->setText("fresh.nme");
    form->RecordButtonClick(form->RecordButton);
    EXPECT_FALSE(QFileInfo::exists(PathOf("fresh.nme"))) << "no file without a port";
}

TEST_F(MainWindowTest, OverwriteWarningGivesWayToAPlayback)
{
    Show();
    ASSERT_TRUE(WriteBytes(PathOf("rgfile.nme"), Filler(300000)));
    form->RecordButtonClick(form->RecordButton);
    form->PlayButtonClick(form->PlayButton);
    form->WatchTimerTimer();
    form->WatchTimerTimer();
    EXPECT_FALSE(form->WatchTimer->isActive());
    EXPECT_NE(form->InfoLabel->text(), "File exist! For overwrite push Record");
    form->StopButtonClick(form->StopButton);
    EXPECT_TRUE(WaitStopped());
}

TEST(SideFile, NeverTheFileBeingPlayedOrRecorded)
{
    QTemporaryDir dir;
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir.path());
    std::unique_ptr<TMainForm> form(CreateProgramWindows());
    EXPECT_EQ(form->SideFileFor("track.dat"), "track.nme");
    EXPECT_EQ(form->SideFileFor("rgfile.dat"), "rgfile.nme");
    EXPECT_EQ(form->SideFileFor("track"), "nme");
    EXPECT_EQ(form->SideFileFor("a.b.nme"), "a.nme");
    EXPECT_EQ(form->SideFileFor("track.nme"), "");
    // Another name for the same file.
    ASSERT_TRUE(WriteBytes("real.dat", Filler(10)));
    ASSERT_TRUE(QFile::link("real.dat", "alias.nme"));
    EXPECT_EQ(form->SideFileFor("alias.dat"), "alias.side.nme") << "alias.nme leads to a file Kestrova did not write";
    ASSERT_TRUE(QFile::link("real.dat", "same.nme"));
    ASSERT_TRUE(QFile::link("real.dat", "same.dat"));
    EXPECT_EQ(form->SideFileFor("same.dat"), "") << "both names lead to real.dat";
    form.reset();
    QDir::setCurrent(old);
}

TEST_F(MainWindowTest, BinrPlaybackOfANmeFileLeavesItUntouched)
{
    const std::vector<uint8_t> content = Filler(5000);
    ASSERT_TRUE(WriteBytes(PathOf("track.nme"), content));
    Show();
    form->BINRRadioButton->setChecked(true);
    form->FileLabel->setText("track.nme");
    form->RewindButtonClick(nullptr);
    ASSERT_EQ(form->Mode(), amFastPlay);
    ASSERT_TRUE(WaitStopped());
    EXPECT_EQ(form->ReceivedTotal(), 5000);
    EXPECT_EQ(ReadAll(PathOf("track.nme")), AsBytes(content));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"track.nme"});
}

TEST_F(MainWindowTest, BinrPlaybackWritesItsSideFile)
{
    ASSERT_TRUE(WriteBytes(PathOf("track.dat"), Filler(5000)));
    Show();
    form->BINRRadioButton->setChecked(true);
    form->FileLabel->setText("track.dat");
    form->RewindButtonClick(nullptr);
    ASSERT_TRUE(WaitStopped());
    EXPECT_TRUE(QFileInfo::exists(PathOf("track.nme")));
}

// ---------------------------------------------------------------- live, on a pty

class LiveRecording : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        ASSERT_TRUE(pty.Ok());
        Show();
        form->PortComboBox->addItem(pty.path);
        form->PortComboBox->setCurrentIndex(0);
        form->FileLabel->setText("live.nme");
    }
    void SwitchToBinr()
    {
        const QString port = form->PortComboBox->currentText();
        form->PortComboBox->clear();   // the protocol switch must not reach the pty
        form->BINRRadioButton->setChecked(true);
        form->PortComboBox->addItem(port);
    }
    TestPty pty;
};

TEST_F(LiveRecording, KeepsEveryByteTheReceiverSent)
{
    form->RecordButtonClick(form->RecordButton);
    ASSERT_EQ(form->Mode(), amRecord);
    EXPECT_EQ(form->ActionLabel->text(), " REC");
    EXPECT_EQ(form->InfoLabel->text(), "Wait...");
    EXPECT_TRUE(form->WatchTimer->isActive());

    std::vector<uint8_t> sent;
    for (int i = 0; i < 40; ++i) {
        const std::vector<uint8_t> part = Filler(size_t(3000 + 97 * i));
        ASSERT_TRUE(pty.Send(part));
        sent.insert(sent.end(), part.begin(), part.end());
        RunEvents(2);
    }
    ASSERT_TRUE(WaitFor([&] { return form->ReceivedTotal() == int64_t(sent.size()); }));
    EXPECT_EQ(form->InfoLabel->text(), "Receive...");
    EXPECT_EQ(form->ReceiveBytesLabel->text(), ReceivedText(int64_t(sent.size())));

    // Three ticks without data: "Wait..." again; a block clears the watch.
    for (int i = 0; i < 3; ++i)
        form->WatchTimerTimer();
    EXPECT_EQ(form->InfoLabel->text(), "Wait...");
    ASSERT_TRUE(pty.Send({'x'}));
    sent.push_back('x');
    ASSERT_TRUE(WaitFor([&] { return TMainFormTestAccess::WatchTicks(*form) == 0; }));
    EXPECT_EQ(form->InfoLabel->text(), "Receive...");

    form->StopButtonClick(form->StopButton);
    EXPECT_EQ(form->Mode(), amStop);
    EXPECT_FALSE(TMainFormTestAccess::Record(*form).IsOpen());
    EXPECT_FALSE(form->WatchTimer->isActive());
    EXPECT_EQ(form->InfoLabel->text(), "");
    EXPECT_EQ(ReadAll(PathOf("live.nme")), AsBytes(sent));
}

TEST_F(LiveRecording, ScheduledStartOverwritesAndScheduledStopEnds)
{
    ASSERT_TRUE(WriteBytes(PathOf("live.nme"), Filler(777)));
    form->SetActionMode(amPlay);
    form->ScheduledRecordStart();
    EXPECT_EQ(form->Mode(), amPlay) << "only from STOP";
    form->SetActionMode(amStop);

    form->ScheduledRecordStart();
    ASSERT_EQ(form->Mode(), amRecord) << "no guard for the program";
    ASSERT_TRUE(pty.Send(Filler(64)));
    ASSERT_TRUE(WaitFor([&] { return form->ReceivedTotal() == 64; }));

    TimerForm->TimerArmed = 1;
    form->ScheduledRecordStop();
    EXPECT_EQ(form->Mode(), amStop);
    EXPECT_EQ(form->InfoLabel->text(), "");
    EXPECT_EQ(TimerForm->TimerArmed, 0);
    EXPECT_EQ(form->TimerLabel->text(), "timer off");
    EXPECT_EQ(ReadAll(PathOf("live.nme")), AsBytes(Filler(64)));
}

TEST_F(LiveRecording, BinrPositionSwitchAndStopSendTheirCommands)
{
    auto frame = [](uint8_t id, std::vector<uint8_t> payload) {
        std::vector<uint8_t> f = {0x10, id};
        for (uint8_t b : payload) {
            f.push_back(b);
            if (b == 0x10)
                f.push_back(b);
        }
        f.push_back(0x10);
        f.push_back(0x03);
        return f;
    };
    auto frames = [&](std::initializer_list<std::pair<uint8_t, std::vector<uint8_t>>> list) {
        std::vector<uint8_t> all;
        for (const auto& [id, payload] : list) {
            const std::vector<uint8_t> f = frame(id, payload);
            all.insert(all.end(), f.begin(), f.end());
        }
        return all;
    };
    SwitchToBinr();
    form->FileLabel->setText("live.dat");
    form->_02CheckBox->setChecked(false);

    form->RecordButtonClick(form->RecordButton);
    ASSERT_EQ(form->Mode(), amRecord);
    const std::vector<uint8_t> start = frames({{0x0E, {}}, {0x1B, {}}, {0xA0, {3, 1}}, {0xA0, {3, 4}}, {0xA0, {3, 2}},
                                               {0xA0, {3, 5}}, {0xA0, {3, 3}}, {0xA0, {3, 6}}});
    EXPECT_EQ(pty.Receive(start.size()), start);

    form->PositionCheckBox->setChecked(true);
    const std::vector<uint8_t> on = frames({{0x21, {1}}, {0x27, {1}}, {0x35, {1}}, {0x24, {5}}});
    EXPECT_EQ(pty.Receive(on.size()), on);
    form->PositionCheckBox->setChecked(false);
    const std::vector<uint8_t> off = frames({{0x21, {0}}, {0x27, {0}}, {0x35, {0}}, {0x24, {0}}});
    EXPECT_EQ(pty.Receive(off.size()), off);

    form->StopButtonClick(form->StopButton);
    const std::vector<uint8_t> stop = frames({{0x0E, {}}});
    EXPECT_EQ(pty.Receive(stop.size() + 1, 500), stop) << "0x0E only: the 0x02 box is unchecked";
    EXPECT_EQ(form->Mode(), amStop);
    EXPECT_TRUE(QFileInfo::exists(PathOf("live.dat")));
}

// Live data are dated by the clock: a receiver of December 2026 sends week
// 400, which one rollover alone would date April 2007.
TEST_F(LiveRecording, BinrDatesFollowTheClock)
{
    form->SourceIntake().Dates().SetClock(+[]() -> int64_t { return 1796644800; });   // 07.12.2026, noon
    SwitchToBinr();
    form->FileLabel->setText("live.dat");
    form->RecordButtonClick(form->RecordButton);
    ASSERT_EQ(form->Mode(), amRecord);

    const std::vector<uint8_t> fix = FixFrame((86400 + 43200) * 1000.0);   // Monday noon
    ASSERT_TRUE(pty.Send(fix));
    ASSERT_TRUE(WaitFor([&] { return form->ReceivedTotal() == int64_t(fix.size()); }));
    form->StopButtonClick(form->StopButton);
    form->SourceIntake().Dates().SetClock(nullptr);
    EXPECT_TRUE(ReadAll(PathOf("live.nme")).contains(",071226,")) << ReadAll(PathOf("live.nme")).toStdString();
}

// ---------------------------------------------------------------- where a recording goes

TEST_F(MainWindowTest, FileInAFolderThatCannotBeEnteredIsRefused)
{
    // The same names here must not be played or written instead.
    ASSERT_TRUE(WriteBytes(PathOf("x.dat"), Filler(500)));
    ASSERT_TRUE(WriteBytes(PathOf("x.nme"), Filler(300)));
    Show();
    form->commandLineFile = PathOf("no/such/x.dat");
    form->commandLineBinr = true;
    form->PlayCommandLineFile();
    EXPECT_EQ(form->Mode(), amStop);
    EXPECT_EQ(form->InfoLabel->text(), "Cannot enter folder " + PathOf("no/such") + ": No such file or directory");
    EXPECT_EQ(QDir::currentPath(), dir.path());
    EXPECT_TRUE(WaitStopped());
    EXPECT_EQ(ReadAll(PathOf("x.nme")), AsBytes(Filler(300)));
}

TEST_F(MainWindowTest, BinrSideFileNeverReplacesARecording)
{
    // pp.nme has receive times beside it: a recording, not a side file.
    const std::vector<uint8_t> recording = Filler(300);
    ASSERT_TRUE(WriteBytes(PathOf("pp.dat"), Filler(5000)));
    ASSERT_TRUE(WriteBytes(PathOf("pp.nme"), recording));
    ASSERT_TRUE(WriteBytes(PathOf("pp.nme.times"), {}));
    Show();
    form->BINRRadioButton->setChecked(true);
    form->FileLabel->setText("pp.dat");
    form->RewindButtonClick(nullptr);
    ASSERT_TRUE(WaitStopped());
    EXPECT_EQ(ReadAll(PathOf("pp.nme")), AsBytes(recording));
    EXPECT_TRUE(QFileInfo::exists(PathOf("pp.side.nme")));
    // Both names hold recordings: no side file at all.
    ASSERT_TRUE(WriteBytes(PathOf("pp.side.nme.times"), {}));
    EXPECT_EQ(form->SideFileFor("pp.dat"), "");
    EXPECT_EQ(form->SideFileFor("qq.dat"), "qq.nme");
}

// two.nme came from another program: playing two.dat keeps it, twice.
TEST_F(MainWindowTest, BinrPlaybackKeepsAnotherProgramsNme)
{
    const std::vector<uint8_t> foreign = Filler(300);
    ASSERT_TRUE(WriteBytes(PathOf("two.dat"), Concat({FixFrame(1000.0), FixFrame(2000.0)})));
    ASSERT_TRUE(WriteBytes(PathOf("two.nme"), foreign));
    Show();
    form->BINRRadioButton->setChecked(true);
    form->FileLabel->setText("two.dat");
    for (int play = 0; play < 2; ++play) {
        form->RewindButtonClick(nullptr);
        EXPECT_EQ(form->InfoLabel->text(), "Side file: two.side.nme");
        ASSERT_TRUE(WaitStopped());
        EXPECT_EQ(ReadAll(PathOf("two.nme")), AsBytes(foreign));
        EXPECT_EQ(ReadAll(PathOf("two.side.nme")).count("GGA"), 2) << "written afresh each time";
    }
}

TEST_F(RecordFileTest, RawBytesReachTheFileBeforeTheSideFile)
{
    // The side file is a FIFO kept full, so its first write blocks the
    // intake; meanwhile the record file must already hold the block.
    Show();
    form->BINRRadioButton->setChecked(true);
    StartRecording(PathOf("order.dat"));
    const QByteArray fifo = QFile::encodeName(PathOf("order.nme"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const int rd = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
    const int wr = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(rd, 0);
    ASSERT_GE(wr, 0);
    const std::vector<uint8_t> stuffing(4096, 'x');
    while (::write(wr, stuffing.data(), stuffing.size()) > 0) {
    }
    ASSERT_TRUE(OpenNmeaOutput(fifo.constData()));

    std::vector<uint8_t> block;
    for (int i = 0; i < 40; ++i) {   // about 10 kB of sentences: past the 4 kB flush
        const std::vector<uint8_t> fix = FixFrame(1000.0 * (3600 + i));
        block.insert(block.end(), fix.begin(), fix.end());
    }
    std::atomic<int64_t> seen {-1};
    std::atomic<bool> done {false};
    std::thread drain([&] {
        const QString order = PathOf("order.dat");
        QElapsedTimer t;
        t.start();
        while (QFileInfo(order).size() < int64_t(block.size()) && t.elapsed() < 3000)
            QThread::msleep(10);
        seen = QFileInfo(order).size();
        char buffer[65536];
        while (!done && t.elapsed() < 20000)
            if (::read(rd, buffer, sizeof buffer) <= 0)
                QThread::msleep(1);
    });
    Feed(form.get(), block);
    CloseNmeaOutput();
    done = true;
    drain.join();
    ::close(wr);
    ::close(rd);
    EXPECT_EQ(seen, int64_t(block.size()));
}

TEST_F(LiveRecording, BinrGuardWarnsOfARecordingUnderTheSideFileName)
{
    SwitchToBinr();
    form->FileLabel->setText("live.dat");
    ASSERT_TRUE(WriteBytes(PathOf("live.nme"), Filler(300)));
    ASSERT_TRUE(WriteBytes(PathOf("live.nme.times"), {}));

    form->RecordButtonClick(form->RecordButton);
    EXPECT_EQ(form->Mode(), amStop);
    EXPECT_EQ(form->InfoLabel->text(), "Side file: live.side.nme. For record push Record");
    form->RecordButtonClick(form->RecordButton);
    ASSERT_EQ(form->Mode(), amRecord);
    EXPECT_EQ(form->InfoLabel->text(), "Side file: live.side.nme");
    const std::vector<uint8_t> fix = FixFrame(1000.0);
    ASSERT_TRUE(pty.Send(fix));
    ASSERT_TRUE(WaitFor([&] { return form->ReceivedTotal() == int64_t(fix.size()); }));
    form->StopButtonClick(form->StopButton);
    EXPECT_EQ(ReadAll(PathOf("live.nme")), AsBytes(Filler(300)));
    EXPECT_TRUE(ReadAll(PathOf("live.side.nme")).contains("GGA"));
}

// Another recorder's file, or a FIFO nobody reads, is refused at once.
TEST_F(LiveRecording, RecordRefusesALockedFileOrAFifoAtOnce)
{
    ASSERT_TRUE(WriteBytes(PathOf("busy.nme"), Filler(300)));
    const int holder = ::open(QFile::encodeName(PathOf("busy.nme")).constData(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(PathOf("pipe.nme")).constData(), 0600), 0);
    const std::pair<QString, QString> cases[] = {{"busy.nme", "File open error: being recorded by another process"},
                                                 {"pipe.nme", "File open error: not a regular file"}};
    for (const auto& [name, message] : cases) {
        form->FileLabel->setText(name);
        form->RecordButtonClick(form->RecordButton);   // busy.nme exists: the warning first
        form->RecordButtonClick(form->RecordButton);
        EXPECT_EQ(form->Mode(), amStop);
        EXPECT_EQ(form->InfoLabel->text(), message);
    }
    EXPECT_EQ(ReadAll(PathOf("busy.nme")), AsBytes(Filler(300)));
    ::close(holder);
}

TEST_F(LiveRecording, RecordFromWatchWritesItsReceiveTimes)
{
    form->WatchClick(nullptr);
    ASSERT_EQ(form->Mode(), amWatch);
    ASSERT_TRUE(pty.Send(Filler(100)));
    ASSERT_TRUE(WaitFor([&] { return form->ReceivedTotal() == 100; }));
    form->RecordButtonClick(form->RecordButton);
    ASSERT_EQ(form->Mode(), amRecord);
    for (const size_t size : {200, 50}) {
        const int64_t before = form->ReceivedTotal();
        ASSERT_TRUE(pty.Send(Filler(size)));
        ASSERT_TRUE(WaitFor([&] { return form->ReceivedTotal() == before + int64_t(size); }));
    }
    form->StopButtonClick(form->StopButton);
    const ReceiveTimesRead times = ReadReceiveTimes(PathOf("live.nme.times").toStdString(), 250);
    EXPECT_EQ(times.problem, "");
    ASSERT_FALSE(times.times.empty());
    EXPECT_EQ(times.times.back().endOffset, 250);
}
