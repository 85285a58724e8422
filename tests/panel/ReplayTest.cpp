// Paced playback through the main window: step forward, back and forward
// again show the same lines; Pause and Stop of the panel act on it; receive
// times written while recording from the simulator replay as received.
// The pace runs on a virtual clock: no test waits through recording time.
#include "MainfileSupport.h"
#include "SynchroSim.h"

#include "EpochIndex.h"
#include "Player.h"
#include "Position.h"
#include "BinrDecoder.h"
#include "NmeaAssembler.h"
#include "Report.h"
#include "TestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QRadioButton>
#include <QTest>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Waits end at once, with the clock moved to the due time.
class VirtualClock : public ReplayClock {
public:
    int64_t NowUs() const override { return now_.load(); }
    bool Jumps() const override { return true; }
    void JumpTo(int64_t us) override { now_.store(std::max(now_.load(), us)); }

private:
    std::atomic<int64_t> now_ {1'000'000};
};

// The view lines printed while it lives.
class Lines {
public:
    explicit Lines(const QString& path) : path_(path)
    {
        std::fflush(stdout);
        saved_ = ::dup(1);
        const int fd = ::open(path.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 1);
        ::close(fd);
        SetHeadlessReport(true);
    }
    QByteArray Take()
    {
        SetHeadlessReport(false);
        std::fflush(stdout);
        ::dup2(saved_, 1);
        ::close(saved_);
        return ReadAll(path_);
    }

private:
    QString path_;
    int saved_ = -1;
};

class ReplayTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        Show();
        for (QCheckBox* box : {form->PositionCheckBox, form->StatisticCheckBox, form->SatellitesCheckBox,
                               form->VisualCheckBox, form->ProfileCheckBox})
            box->setChecked(true);
        const std::vector<uint8_t> demo = ReadBinaryFile(SourceDir() + "/samples/demo.nme");
        EpochIndex index(false);
        index.Feed(demo.data(), demo.size());
        ASSERT_TRUE(WriteBytes(PathOf("small.nme"), std::vector<uint8_t>(demo.begin(), demo.begin() + index.EpochEnd(9))));
        form->TakeFileName(PathOf("small.nme"));
        ASSERT_NE(PlayerForm, nullptr);
        PlayerForm->clock = clock;
    }
    // Indexes the file named on the panel and starts a paced playback there.
    static bool Start(size_t epoch, bool paused)
    {
        PlayerForm->IndexCurrentFile();
        return PlayerForm->WaitForIndex() && PlayerForm->StartPaced(epoch, paused);
    }
    // Runs an action on the player and returns the lines of the epoch it shows.
    QByteArray Shown(const std::function<void()>& action)
    {
        Lines lines(PathOf("lines.txt"));
        const int before = PlayerForm->positionsShown;
        action();
        const bool shown = WaitFor([&] { return PlayerForm->positionsShown == before + 1; }, 20000);
        RunEvents(20);
        const QByteArray out = lines.Take();
        EXPECT_TRUE(shown);
        EXPECT_EQ(PlayerForm->positionsShown, before + 1) << "one epoch per step";
        return out;
    }
    // Epochs 0-9 of the demo, then 300-309: ten seconds, a gap of nearly
    // five minutes, ten seconds. Named on the panel and indexed.
    void TakeGappedFile()
    {
        const std::vector<uint8_t> demo = ReadBinaryFile(SourceDir() + "/samples/demo.nme");
        EpochIndex index(false);
        index.Feed(demo.data(), demo.size());
        std::vector<uint8_t> bytes(demo.begin(), demo.begin() + index.EpochEnd(9));
        bytes.insert(bytes.end(), demo.begin() + index.Epochs()[300].offset, demo.begin() + index.EpochEnd(309));
        ASSERT_TRUE(WriteBytes(PathOf("gapped.nme"), bytes));
        form->TakeFileName(PathOf("gapped.nme"));
        PlayerForm->IndexCurrentFile();
        ASSERT_TRUE(PlayerForm->WaitForIndex());
        ASSERT_EQ(PlayerForm->EpochCount(), 20u);
    }
    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
};

} // namespace

TEST_F(ReplayTest, StepForwardBackForwardShowsTheSameLinesTwice)
{
    const QByteArray start = Shown([] { ASSERT_TRUE(Start(3, true)); });
    EXPECT_EQ(form->Mode(), amPause);
    EXPECT_EQ(form->ActionLabel->text(), "PAUSE");
    EXPECT_EQ(PlayerForm->CurrentEpoch(), 3u);
    const QByteArray forward = Shown([] { PlayerForm->StepForward(); });
    EXPECT_EQ(PlayerForm->CurrentEpoch(), 4u);
    const QByteArray back = Shown([] { PlayerForm->StepBack(); });
    EXPECT_EQ(PlayerForm->CurrentEpoch(), 3u);
    const QByteArray again = Shown([] { PlayerForm->StepForward(); });
    EXPECT_TRUE(forward.contains("POSITION\t"));
    // A label no sentence of the epoch sets keeps its text across a seek,
    // as across a new playback, so only the times must agree here.
    EXPECT_TRUE(back.contains("UTCLabel=10:15:03") && start.contains("UTCLabel=10:15:03"));
    EXPECT_EQ(again.toStdString(), forward.toStdString());
    EXPECT_NE(forward, start);
    EXPECT_EQ(PlayerForm->CurrentLabel->text(), "18.09.18 10:15:04");

    // The panel's Play goes on from there, at the pace, to the end.
    form->PlayButtonClick(form->PlayButton);
    EXPECT_EQ(form->ActionLabel->text(), "PLAY");
    ASSERT_TRUE(WaitStopped(20000));
    EXPECT_EQ(form->ReceivedTotal(), QFileInfo(PathOf("small.nme")).size());
}

// The lines of one view, in order.
std::vector<QByteArray> ViewLines(const QByteArray& out, const char* view)
{
    std::vector<QByteArray> lines;
    for (const QByteArray& line : out.split('\n'))
        if (line.startsWith(QByteArray(view) + '\t'))
            lines.push_back(line);
    return lines;
}

TEST_F(ReplayTest, ASeekShowsEveryEpochAsAPlayFromTheStartShowsIt)
{
    struct File {
        std::string path;
        bool binr;
    };
    std::vector<File> files {{SourceDir() + "/samples/demo.nme", false}, {SourceDir() + "/samples/demo-binr.dat", true}};
    const std::string shared = SharedNmeaDir();
    for (const char* capture : {"bu353-glonass.log", "haicom-305N.log", "skytraq-dgps.log"})
        if (!shared.empty())
            files.push_back({shared + "/" + capture, false});
    for (File& file : files) {
        // Played from a copy: a BINR playback writes its NMEA side file beside it.
        const QString copy = PathOf(QFileInfo(QString::fromStdString(file.path)).fileName());
        ASSERT_TRUE(WriteBytes(copy, ReadBinaryFile(file.path)));
        file.path = copy.toStdString();
        (file.binr ? form->BINRRadioButton : form->NMEARadioButton)->setChecked(true);
        form->TakeFileName(QString::fromStdString(file.path));
        // A play as in a program just started: a new playback keeps the
        // decoders' last sentences and the labels a refresh may leave.
        form->SourceIntake().Restart();
        PositionForm->ForgetKeptTexts();
        Lines played(PathOf("played.txt"));
        form->RewindButtonClick(nullptr);
        ASSERT_TRUE(WaitStopped(60000));
        const QByteArray all = played.Take();
        // One refresh per epoch: at its GGA, or at its closing 0x88.
        const std::vector<QByteArray> position = ViewLines(all, "POSITION"), satellites = ViewLines(all, "SATELLITES");
        PlayerForm->IndexCurrentFile();
        ASSERT_TRUE(PlayerForm->WaitForIndex());
        const size_t count = PlayerForm->EpochCount();
        ASSERT_EQ(position.size(), count) << file.path;
        ASSERT_EQ(satellites.size(), count) << file.path;
        Shown([] { ASSERT_TRUE(PlayerForm->StartPaced(0, true)); });
        // Backwards too: whatever an earlier seek left must not show.
        std::vector<size_t> order;
        for (size_t k = count; k-- > 0;)
            if (k % 2)
                order.push_back(k);
        for (size_t k = 0; k < count; k += 2)
            order.push_back(k);
        Lines sought(PathOf("sought.txt"));
        for (const size_t epoch : order) {
            const int before = PlayerForm->positionsShown;
            PlayerForm->SeekTo(epoch);
            ASSERT_TRUE(WaitFor([&] { return PlayerForm->positionsShown == before + 1; }, 20000)) << epoch;
        }
        const QByteArray seen = sought.Take();
        // Each seek shows its epoch once.
        const std::vector<QByteArray> seenPosition = ViewLines(seen, "POSITION"), seenSatellites = ViewLines(seen, "SATELLITES");
        ASSERT_EQ(seenPosition.size(), count);
        ASSERT_EQ(seenSatellites.size(), count);
        for (size_t i = 0; i < count; ++i) {
            ASSERT_EQ(seenPosition[i].toStdString(), position[order[i]].toStdString()) << file.path << " epoch " << order[i];
            ASSERT_EQ(seenSatellites[i].toStdString(), satellites[order[i]].toStdString()) << file.path << " epoch " << order[i];
        }
        form->StopButtonClick(form->StopButton);
        ASSERT_TRUE(WaitStopped());
    }
    if (shared.empty())
        GTEST_SKIP() << "../shared/testdata/nmea is absent; only the samples were sought";
}

TEST_F(ReplayTest, PauseAndStopOfThePanelActOnIt)
{
    PlayerForm->clock = nullptr;   // the real clock: one epoch a second
    ASSERT_TRUE(Start(0, false));
    EXPECT_EQ(form->ActionLabel->text(), "PLAY");
    ASSERT_TRUE(WaitFor([&] { return form->ReceivedTotal() > 0; }));
    form->PauseButtonClick(form->PauseButton);
    EXPECT_EQ(form->ActionLabel->text(), "PAUSE");
    RunEvents(50);
    const int64_t paused = form->ReceivedTotal();
    RunEvents(1500);
    EXPECT_EQ(form->ReceivedTotal(), paused);
    EXPECT_LT(paused, QFileInfo(PathOf("small.nme")).size());
    form->StopButtonClick(form->StopButton);
    ASSERT_TRUE(WaitStopped());
    EXPECT_EQ(form->ActionLabel->text(), "STOP");
}

TEST_F(ReplayTest, ReceiveTimesOfASimulatorRecordingReplayAsReceived)
{
    SimReceiver sim({"--protocol", "nmea", "--baud", "115200", "--rate", "5"}, dir.path());
    ASSERT_TRUE(sim.Ok());
    form->PortComboBox->addItem(sim.Path());
    form->PortComboBox->setCurrentIndex(form->PortComboBox->count() - 1);
    form->BaudComboBox->setCurrentText("115200");
    form->FileLabel->setText("sim.nme");
    form->RecordButtonClick(nullptr);
    ASSERT_EQ(form->Mode(), amRecord);
    ASSERT_TRUE(WaitFor([&] { return form->ReceivedTotal() > 4000; }, 20000));
    form->StopButtonClick(form->StopButton);
    sim.Stop();

    const int64_t size = QFileInfo(PathOf("sim.nme")).size();
    const ReceiveTimesRead times = ReadReceiveTimes(PathOf("sim.nme.times").toStdString(), size);
    ASSERT_EQ(times.problem, "");
    ASSERT_GT(times.times.size(), 5u);
    EXPECT_EQ(times.times.back().endOffset, size);

    PlayerForm->keepDeliveryTimes = true;
    ASSERT_TRUE(Start(0, false));
    EXPECT_EQ(PlayerForm->NoteLabel->text(), "receive times");
    ASSERT_TRUE(WaitStopped(20000));
    EXPECT_EQ(form->ReceivedTotal(), size);
    const auto sent = PlayerForm->deliveryTimes;
    ASSERT_FALSE(sent.empty());
    // Each delivery at its block's receive time, counted from the first.
    const int64_t firstMs = times.times.front().ms;
    for (const auto& s : sent) {
        const size_t block = times.times.FirstEndingAfter(s.offset);
        ASSERT_LT(block, times.times.size()) << s.offset << " of " << size;
        const int64_t wantMs = times.times[block].ms - firstMs;
        const int64_t gotMs = (s.sentUs - sent.front().sentUs) / 1000;
        EXPECT_LE(std::abs(gotMs - wantMs), 20) << "at offset " << s.offset;
    }
}

TEST_F(ReplayTest, AGrowingFileIsFollowedAndMaxWaitsAtTheEnd)
{
    PlayerForm->SpeedComboBox->setCurrentIndex(TPlayerForm::kMaxSpeedIndex);
    ASSERT_TRUE(Start(0, false));
    const int64_t first = QFileInfo(PathOf("small.nme")).size();
    ASSERT_TRUE(WaitFor([&] { return form->ReceivedTotal() == first; }, 20000));
    RunEvents(300);
    EXPECT_EQ(form->Mode(), amPlay) << "\"max\" waits at the end like tail -f";
    // Another instance records on: the next epochs arrive.
    const std::vector<uint8_t> demo = ReadBinaryFile(SourceDir() + "/samples/demo.nme");
    EpochIndex index(false);
    index.Feed(demo.data(), demo.size());
    QFile file(PathOf("small.nme"));
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(reinterpret_cast<const char*>(demo.data()) + first, qint64(index.EpochEnd(14) - first));
    file.close();
    const int64_t grown = index.EpochEnd(14);
    ASSERT_TRUE(WaitFor([&] { return form->ReceivedTotal() == grown; }, 20000));
    EXPECT_EQ(PlayerForm->EpochCount(), 15u);
    form->StopButtonClick(form->StopButton);
    ASSERT_TRUE(WaitStopped());
}

TEST_F(ReplayTest, LoopOnAnEmptyFileWaitsInsteadOfSpinning)
{
    // Every seek reads the clock: a spinning loop reads it thousands of times.
    struct CountingClock : VirtualClock {
        int64_t NowUs() const override { ++reads; return VirtualClock::NowUs(); }
        mutable std::atomic<int> reads {0};
    };
    auto counting = std::make_shared<CountingClock>();
    PlayerForm->clock = counting;
    ASSERT_TRUE(WriteBytes(PathOf("empty.nme"), {}));
    form->TakeFileName(PathOf("empty.nme"));
    PlayerForm->LoopCheckBox->setChecked(true);
    ASSERT_TRUE(Start(0, false));
    RunEvents(600);
    EXPECT_EQ(form->Mode(), amPlay);
    EXPECT_LT(counting->reads.load(), 50);
    form->StopButtonClick(form->StopButton);
    ASSERT_TRUE(WaitStopped());
}

TEST_F(ReplayTest, MenuItemOpensItAboveThePanelItFollowsAndItsPlaceIsKept)
{
    form->move(300, 400);
    PlayerForm->AddMenuItem();
    QList<QAction*> items;
    for (QAction* a : form->TitleMenu()->actions())
        if (a->text() == "Player...")
            items << a;
    ASSERT_EQ(items.size(), 1);
    items[0]->trigger();
    EXPECT_TRUE(PlayerForm->isVisible());
    EXPECT_EQ(PlayerForm->pos(), QPoint(300, 400 - PlayerForm->height()));
    form->TopPanelMouseDown(10, 10);
    form->TopPanelMouseMove(30, 5);
    form->TopPanelMouseUp();
    EXPECT_EQ(PlayerForm->pos(), QPoint(320, 395 - PlayerForm->height()));
    PlayerForm->move(50, 60);
    form.reset();   // settings written as the program ends

    form.reset(CreateProgramWindows());
    Show();
    RunEvents(50);
    ASSERT_NE(PlayerForm, nullptr);
    EXPECT_TRUE(PlayerForm->isVisible());
    EXPECT_EQ(PlayerForm->pos(), QPoint(50, 60));
}

TEST_F(ReplayTest, TheTimelineIsTimeAClickGoesToTheClickedTimeAndGapsAreMarked)
{
    TakeGappedFile();
    ASSERT_TRUE(Start(19, true));
    ASSERT_TRUE(WaitFor([] { return PlayerForm->CurrentEpoch() == 19; }));
    TTimelineSlider* slider = PlayerForm->TimelineSlider;
    // One gap, from 3 % (10 s of 309) to 97 %.
    ASSERT_EQ(slider->GapMarks().size(), 1u);
    EXPECT_NEAR(slider->GapMarks()[0].first, slider->maximum() * 9 / 309, 2);
    EXPECT_NEAR(slider->GapMarks()[0].second, slider->maximum() * 300 / 309, 2);
    // A quarter of the way is inside the gap: the epoch after it, at 97 %,
    // not one page back.
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() / 4, slider->height() / 2));
    ASSERT_TRUE(WaitFor([] { return PlayerForm->CurrentEpoch() == 10; })) << PlayerForm->CurrentEpoch();
    EXPECT_GT(slider->value(), slider->maximum() * 95 / 100);
    // Near the left end: a few seconds in.
    QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() / 50 + 8, slider->height() / 2));
    ASSERT_TRUE(WaitFor([] { return PlayerForm->CurrentEpoch() < 10; })) << PlayerForm->CurrentEpoch();
    const int64_t clickedMs = PlayerForm->EpochTime(PlayerForm->CurrentEpoch()) - PlayerForm->EpochTime(0);
    EXPECT_LE(clickedMs, 9000);
    EXPECT_NEAR(double(slider->value()) / slider->maximum(), double(clickedMs) / 309000, 0.01);
    form->StopButtonClick(form->StopButton);
    ASSERT_TRUE(WaitStopped());
}

TEST_F(ReplayTest, OneButtonPlaysAndPausesAndTheKeysDriveThePlayer)
{
    PlayerForm->clock = nullptr;   // the real clock: one epoch a second
    TakeGappedFile();
    QPushButton* toggle = PlayerForm->PlayButton;
    EXPECT_EQ(toggle->text(), ">");
    QTest::mouseClick(toggle, Qt::LeftButton);
    EXPECT_EQ(form->ActionLabel->text(), "PLAY");
    EXPECT_EQ(toggle->text(), "||");
    QTest::mouseClick(toggle, Qt::LeftButton);
    EXPECT_EQ(form->ActionLabel->text(), "PAUSE");
    EXPECT_EQ(toggle->text(), ">");
    QTest::keyClick(PlayerForm, Qt::Key_Space);
    EXPECT_EQ(form->ActionLabel->text(), "PLAY");
    QTest::keyClick(PlayerForm, Qt::Key_Space);
    EXPECT_EQ(form->ActionLabel->text(), "PAUSE");

    struct Row {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        size_t epoch;
    };
    const Row rows[] = {
        {Qt::Key_Home, {}, 0},
        {Qt::Key_Right, {}, 1},
        {Qt::Key_Right, {}, 2},
        {Qt::Key_Left, {}, 1},
        {Qt::Key_Right, Qt::ShiftModifier, 10},   // 11 s in: the first epoch after the gap
        {Qt::Key_Left, Qt::ShiftModifier, 9},     // the last one before it
        {Qt::Key_End, {}, 19},
        {Qt::Key_Left, Qt::ShiftModifier, 9},
        {Qt::Key_Left, Qt::ShiftModifier, 0},
    };
    for (const Row& r : rows) {
        QTest::keyClick(PlayerForm, r.key, r.modifiers);
        EXPECT_TRUE(WaitFor([&] { return PlayerForm->CurrentEpoch() == r.epoch; })) << r.epoch;
        RunEvents(20);
        EXPECT_EQ(PlayerForm->CurrentEpoch(), r.epoch);
        EXPECT_EQ(form->ActionLabel->text(), "PAUSE");
    }
    QTest::keyClick(PlayerForm, Qt::Key_BracketRight);
    EXPECT_EQ(PlayerForm->SpeedComboBox->currentText(), "2x");
    QTest::keyClick(PlayerForm, Qt::Key_BracketLeft);
    QTest::keyClick(PlayerForm, Qt::Key_BracketLeft);
    EXPECT_EQ(PlayerForm->SpeedComboBox->currentText(), "1/2x");
    EXPECT_EQ(PlayerForm->Options().speed, 0.5);
    form->StopButtonClick(form->StopButton);
    ASSERT_TRUE(WaitStopped());
}

TEST_F(ReplayTest, TheTimeBoxTakesTypingWhole)
{
    TakeGappedFile();
    ASSERT_TRUE(Start(0, true));
    ASSERT_EQ(PlayerForm->CurrentLabel->text(), "18.09.18 10:15:00");
    PlayerForm->ShowBesidePanel();
    QApplication::setActiveWindow(PlayerForm);
    QLineEdit* box = PlayerForm->TimeEdit;
    // "mm:ss" and "mmss" in the hour shown.
    const struct {
        const char* typed;
        size_t epoch;
    } rows[] = {{"10:20:00", 10}, {"15:03", 3}, {"101507", 7}, {"1501", 1}};
    for (const auto& r : rows) {
        box->setText("10:15:00");
        PlayerForm->setFocus();
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() / 2, box->height() / 2));
        RunEvents(20);
        EXPECT_EQ(box->selectedText(), box->text()) << "all selected on focus";
        QTest::keyClicks(box, r.typed);
        EXPECT_EQ(box->text(), r.typed);
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_TRUE(WaitFor([&] { return PlayerForm->CurrentEpoch() == r.epoch; })) << r.typed;
    }
    form->StopButtonClick(form->StopButton);
    ASSERT_TRUE(WaitStopped());
}
