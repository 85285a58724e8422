// What a user sees in the PLAYER while it plays, with real key, mouse and
// wheel events: the handle and times go on through a gap (and a pause there
// keeps the place), the wheel seeks, a seek from STOP shows the epoch in the
// views, Space at the end plays from the start, tenths at 10 Hz, the time
// box replaced by typing, times of joined files that agree with the handle.
#include "MainfileSupport.h"

#include "EpochIndex.h"
#include "Player.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QWheelEvent>

namespace {

constexpr int64_t kHourMs = 3'600'000;

class PlayerLiveTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        Show();
        form->PositionCheckBox->setChecked(true);
        ASSERT_NE(PlayerForm, nullptr);
        PlayerForm->clock = nullptr;
    }
    void TearDown() override
    {
        form->StopButtonClick(form->StopButton);
        EXPECT_TRUE(WaitStopped());
        MainWindowTest::TearDown();
    }
    // Names a file on the panel and indexes it.
    void Take(const QString& name, const std::vector<uint8_t>& bytes, size_t epochs)
    {
        ASSERT_TRUE(WriteBytes(PathOf(name), bytes));
        form->TakeFileName(PathOf(name));
        PlayerForm->IndexCurrentFile();
        ASSERT_TRUE(PlayerForm->WaitForIndex());
        ASSERT_EQ(PlayerForm->EpochCount(), epochs);
    }
    // The demo's epochs 0-9 and 300-309: a gap of 4:51 after 10:15:09.
    void TakeGapped()
    {
        const std::vector<uint8_t> demo = ReadBinaryFile(SourceDir() + "/samples/demo.nme");
        EpochIndex index(false);
        index.Feed(demo.data(), demo.size());
        std::vector<uint8_t> bytes(demo.begin(), demo.begin() + index.EpochEnd(9));
        bytes.insert(bytes.end(), demo.begin() + index.Epochs()[300].offset, demo.begin() + index.EpochEnd(309));
        Take("gapped.nme", bytes, 20);
    }
    static std::vector<uint8_t> Epochs(const std::vector<int64_t>& times)
    {
        const std::string text = NmeaEpochs(times);
        return {text.begin(), text.end()};
    }
    static void Wheel(QWidget* w, int notches)
    {
        const QPointF at(w->width() / 2.0, w->height() / 2.0);
        QWheelEvent event(at, w->mapToGlobal(at), QPoint(), QPoint(0, notches * 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &event);
    }
};

} // namespace

TEST_F(PlayerLiveTest, InsideAGapTheHandleAndTimesMoveOnAndSSkipsIt)
{
    TakeGapped();
    PlayerForm->SpeedComboBox->setCurrentIndex(7);   // 64x: the gap passes in 4.5 s
    ASSERT_TRUE(PlayerForm->StartPaced(8, false));
    TTimelineSlider* slider = PlayerForm->TimelineSlider;
    const int beforeGap = slider->maximum() * 9 / 309;
    ASSERT_TRUE(WaitFor([&] { return PlayerForm->CurrentLabel->text().startsWith("gap:"); }, 10000));
    EXPECT_EQ(PlayerForm->CurrentLabel->text(), "gap: 4:51 without data");
    const QLabel* current = PlayerForm->CurrentLabel;
    EXPECT_LE(QFontMetrics(current->font()).horizontalAdvance("gap: 10:31 without data"), current->width()) << "not cut";
    EXPECT_EQ(PlayerForm->NoteLabel->text(), "S skips the gap");
    const int first = slider->value();
    const QString elapsed = PlayerForm->ElapsedLabel->text();
    ASSERT_TRUE(WaitFor([&] { return slider->value() > first + 20; }, 3000)) << "the handle moves in the gap";
    EXPECT_GE(first, beforeGap);
    EXPECT_NE(PlayerForm->ElapsedLabel->text(), elapsed);
    EXPECT_EQ(PlayerForm->CurrentEpoch(), 9u);

    // A pause keeps the place reached: play goes on from there.
    QTest::keyClick(PlayerForm, Qt::Key_Space);
    ASSERT_EQ(form->Mode(), amPause);
    RunEvents(300);
    const int paused = slider->value();
    RunEvents(600);
    EXPECT_NEAR(slider->value(), paused, 3) << "paused, the handle stays";
    QTest::keyClick(PlayerForm, Qt::Key_Space);
    ASSERT_EQ(form->Mode(), amPlay);
    RunEvents(200);
    EXPECT_EQ(PlayerForm->CurrentEpoch(), 9u) << "the rest of the gap is still to come";
    EXPECT_GE(slider->value(), paused - 3);

    QTest::keyClick(PlayerForm, Qt::Key_S);
    ASSERT_TRUE(WaitFor([] { return PlayerForm->CurrentEpoch() >= 10; }, 3000));
    EXPECT_EQ(form->Mode(), amPlay);
    EXPECT_FALSE(PlayerForm->CurrentLabel->text().startsWith("gap:"));
    EXPECT_EQ(PlayerForm->NoteLabel->text(), "");
}

TEST_F(PlayerLiveTest, TheWheelSeeksAHundredthAndASeekFromStopShowsTheEpoch)
{
    // 200 epochs at 1 Hz: a notch is 2 s.
    std::vector<int64_t> times;
    for (int s = 0; s < 200; ++s)
        times.push_back(10 * kHourMs + s * 1000);
    Take("long.nme", Epochs(times), 200);
    ASSERT_EQ(form->Mode(), amStop);
    const int shown = PlayerForm->positionsShown;
    Wheel(PlayerForm->TimelineSlider, 3);
    ASSERT_TRUE(WaitFor([&] { return PlayerForm->positionsShown > shown; }));
    EXPECT_EQ(PlayerForm->CurrentEpoch(), 6u);
    EXPECT_EQ(form->Mode(), amPause) << "the views show the epoch, paused";
    EXPECT_EQ(PlayerForm->CurrentLabel->text(), "10:00:06");
    EXPECT_EQ(PlayerForm->ElapsedLabel->text(), "elapsed 00:00:06");
    Wheel(PlayerForm->TimelineSlider, -1);
    ASSERT_TRUE(WaitFor([] { return PlayerForm->CurrentEpoch() == 4; }));
    // Space plays on from there, not from where the handle was before.
    QTest::keyClick(PlayerForm, Qt::Key_Space);
    EXPECT_EQ(form->Mode(), amPlay);
    RunEvents(300);
    EXPECT_GE(PlayerForm->CurrentEpoch(), 4u);
    EXPECT_LE(PlayerForm->CurrentEpoch(), 6u);
}

TEST_F(PlayerLiveTest, SpaceAtTheEndPlaysFromTheStart)
{
    Take("short.nme", Epochs({10 * kHourMs, 10 * kHourMs + 1000, 10 * kHourMs + 2000}), 3);
    PlayerForm->SpeedComboBox->setCurrentIndex(TPlayerForm::kMaxSpeedIndex - 1);
    QTest::keyClick(PlayerForm, Qt::Key_End);
    ASSERT_TRUE(WaitFor([] { return PlayerForm->CurrentEpoch() == 2; }));
    form->StopButtonClick(form->StopButton);
    ASSERT_TRUE(WaitStopped());
    const int shown = PlayerForm->positionsShown;
    QTest::keyClick(PlayerForm, Qt::Key_Space);
    ASSERT_TRUE(WaitFor([&] { return PlayerForm->positionsShown >= shown + 3; }, 10000))
        << "played the three epochs again";
}

TEST_F(PlayerLiveTest, TenthsAbove1HzAndJoinedFilesCountedAsTheHandleIs)
{
    std::vector<int64_t> times;
    for (int k = 0; k < 20; ++k)
        times.push_back(10 * kHourMs + k * 100);
    Take("fast.nme", Epochs(times), 20);
    ASSERT_TRUE(PlayerForm->StartPaced(3, true));
    ASSERT_TRUE(WaitFor([] { return PlayerForm->CurrentLabel->text() == "10:00:00.3"; }))
        << PlayerForm->CurrentLabel->text().toStdString();
    QTest::keyClick(PlayerForm, Qt::Key_Right);
    ASSERT_TRUE(WaitFor([] { return PlayerForm->CurrentLabel->text() == "10:00:00.4"; }))
        << PlayerForm->CurrentLabel->text().toStdString();
    EXPECT_EQ(PlayerForm->ElapsedLabel->text(), "elapsed 00:00:00.4");
    form->StopButtonClick(form->StopButton);
    ASSERT_TRUE(WaitStopped());

    // Two files joined four hours apart: the jump counts one interval, as
    // on the timeline.
    times.clear();
    for (int s = 0; s < 10; ++s)
        times.push_back(10 * kHourMs + s * 1000);
    for (int s = 0; s < 10; ++s)
        times.push_back(14 * kHourMs + s * 1000);
    Take("joined.nme", Epochs(times), 20);
    QTest::keyClick(PlayerForm, Qt::Key_End);
    ASSERT_TRUE(WaitFor([] { return PlayerForm->CurrentEpoch() == 19; }));
    EXPECT_EQ(PlayerForm->ElapsedLabel->text(), "elapsed 00:00:19");
    EXPECT_EQ(PlayerForm->RemainingLabel->text(), "remaining 00:00:00");
    EXPECT_EQ(PlayerForm->CurrentLabel->text(), "14:00:09");
}

TEST_F(PlayerLiveTest, AClickInTheTimeBoxSelectsAllEvenAfterARefusedTime)
{
    TakeGapped();
    ASSERT_TRUE(PlayerForm->StartPaced(0, true));
    PlayerForm->ShowBesidePanel();
    QApplication::setActiveWindow(PlayerForm);
    QLineEdit* box = PlayerForm->TimeEdit;
    const QPoint middle(box->width() / 2, box->height() / 2);
    QTest::mouseClick(box, Qt::LeftButton, {}, middle);
    QTest::keyClicks(box, "12:00:00");   // after the end
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(PlayerForm->NoteLabel->text(), "time not in the file");
    ASSERT_TRUE(box->hasFocus());
    // The box still has the focus: a click in its middle, then typing.
    QTest::mouseClick(box, Qt::LeftButton, {}, middle);
    QTest::keyClicks(box, "10:20:00");
    EXPECT_EQ(box->text(), "10:20:00");
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(WaitFor([] { return PlayerForm->CurrentEpoch() == 10; }));
}
