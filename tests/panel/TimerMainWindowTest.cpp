// The recording timer with the real main window: the schedule is armed
// through the Timer button, records from a pty standing in for the receiver's
// port, and ends disarmed with the main window's label saying so.
#include "CommPty.h"
#include "Mainfile.h"
#include "Timerfile.h"
#include "WindowGlobals.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {

QDateTime At(int hour, int minute, int second)
{
    return QDateTime(QDate(2026, 12, 6), QTime(hour, minute, second));
}

class TimerWithMainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.Ok());
        previousDir_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
        main_ = std::make_unique<TMainForm>();
        timer_ = TrackWindow(TimerForm, new TTimerForm(main_.get()));
        timer_->SetClock([this] { return now; });
        timer_->TimerTimer();
        main_->show();
        main_->PortComboBox->addItem(pty.path);
        main_->PortComboBox->setCurrentIndex(main_->PortComboBox->count() - 1);
    }
    void TearDown() override
    {
        if (main_)
            main_->StopButtonClick(nullptr);
        main_.reset();
        QDir::setCurrent(previousDir_);
    }

    void TickAt(const QDateTime& time)
    {
        now = time;
        timer_->TimerTimer();
    }

    // The user opens the Timer window from the main window, sets the
    // schedule and presses the on button.
    void ArmThroughClockButton(const char* startTime, const char* stopTime)
    {
        QTimer::singleShot(0, timer_, [this, startTime, stopTime] {
            timer_->StartTimeEdit->setText(startTime);
            timer_->StopTimeEdit->setText(stopTime);
            timer_->onButton->click();
        });
        main_->ClockButtonClick(main_->ClockButton);
    }

    TestPty pty;
    QDateTime now = At(14, 0, 0);
    std::unique_ptr<TMainForm> main_;
    TTimerForm* timer_ = nullptr;

private:
    QTemporaryDir dir_;
    QString previousDir_;
};

TEST_F(TimerWithMainWindow, ScheduledRecordingStartsOverwritesAndStops)
{
    // An old recording of the same name: the scheduled start takes it over
    // without the overwrite guard that a user's press meets.
    const QString recordName = main_->FileLabel->text();
    {
        QFile old(recordName);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old recording");
    }

    ArmThroughClockButton("14:05", "14:07");
    EXPECT_EQ(timer_->TimerArmed, 1);
    EXPECT_EQ(main_->TimerLabel->text().toStdString(), "timer on");
    // The window was filled from the last tick on showing: the same date.
    EXPECT_EQ(timer_->StartDateEdit->ReadText().toStdString(), "06.12.2026");

    TickAt(At(14, 4, 59));
    EXPECT_EQ(main_->Mode(), amStop);
    TickAt(At(14, 5, 0));
    EXPECT_EQ(main_->Mode(), amRecord);
    EXPECT_EQ(QFileInfo(recordName).size(), 0) << "the old file is overwritten";

    // Stopped by hand within the start minute: the next tick starts again.
    main_->StopButtonClick(main_->StopButton);
    EXPECT_EQ(main_->Mode(), amStop);
    TickAt(At(14, 5, 1));
    EXPECT_EQ(main_->Mode(), amRecord);

    TickAt(At(14, 7, 0));
    EXPECT_EQ(main_->Mode(), amStop);
    EXPECT_EQ(timer_->TimerArmed, 0);
    EXPECT_EQ(main_->TimerLabel->text().toStdString(), "timer off");
    TickAt(At(14, 7, 1));
    EXPECT_EQ(main_->Mode(), amStop);
}

// A start minute that finds the main window busy (here: the port cannot be
// opened, so Record fails) records nothing and stays armed; the stop minute
// disarms all the same.
TEST_F(TimerWithMainWindow, FailedStartStaysArmedUntilTheStopMinute)
{
    main_->PortComboBox->addItem("/dev/ttyNoSuchPort97");
    main_->PortComboBox->setCurrentIndex(main_->PortComboBox->count() - 1);
    ArmThroughClockButton("14:05", "14:06");
    TickAt(At(14, 5, 0));
    EXPECT_EQ(main_->Mode(), amStop);
    EXPECT_EQ(timer_->TimerArmed, 1);
    TickAt(At(14, 6, 0));
    EXPECT_EQ(timer_->TimerArmed, 0);
    EXPECT_EQ(main_->TimerLabel->text().toStdString(), "timer off");
}

}  // namespace
