// The recording timer driven by a fixed clock, with a stand-in for the main
// window's recording: it starts only from STOP, as the main window does.
#include "Mainfile.h"
#include "Timerfile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <vector>

namespace {

QDateTime At(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

class TimerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        form.SetClock([this] { return now; });
        form.SetScheduleActions(
            [this] {
                ++starts;
                if (mode == amStop)
                    mode = amRecord;
            },
            [this] {
                ++stops;
                if (mode == amRecord)
                    mode = amStop;
            });
    }

    void Schedule(const char* startDate, const char* startTime, const char* stopDate, const char* stopTime)
    {
        form.StartDateEdit->setText(startDate);
        form.StartTimeEdit->setText(startTime);
        form.StopDateEdit->setText(stopDate);
        form.StopTimeEdit->setText(stopTime);
        form.TimerArmed = 1;
    }

    void TickAt(const QDateTime& time)
    {
        now = time;
        form.TimerTimer();
    }

    TTimerForm form;
    QDateTime now = At(2026, 12, 6, 14, 5, 7);
    uint32_t mode = amStop;
    int starts = 0;
    int stops = 0;
};

struct MatchCase {
    const char* date;
    const char* time;
    QDateTime clock;
    bool starts;
};

class TimerMatch : public TimerTest, public ::testing::WithParamInterface<MatchCase> {};

// Year, month, day, hour and minute must all agree; seconds never matter.
TEST_P(TimerMatch, StartTest)
{
    const MatchCase c = GetParam();
    Schedule(c.date, c.time, "01.01.2000", "00:00");
    TickAt(c.clock);
    EXPECT_EQ(starts, c.starts ? 1 : 0) << c.date << " " << c.time << " at "
                                        << c.clock.toString(Qt::ISODate).toStdString();
    EXPECT_EQ(form.TimerArmed, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Minutes, TimerMatch,
    ::testing::Values(MatchCase{"06.12.2026", "14:05", At(2026, 12, 6, 14, 5, 0), true},
                      MatchCase{"06.12.2026", "14:05", At(2026, 12, 6, 14, 5, 59), true},
                      MatchCase{"06.12.2026", "14:05", At(2026, 12, 6, 14, 4, 59), false},
                      MatchCase{"06.12.2026", "14:05", At(2026, 12, 6, 14, 6, 0), false},
                      MatchCase{"06.12.2026", "14:05", At(2026, 12, 6, 15, 5, 0), false},
                      MatchCase{"06.12.2026", "14:05", At(2026, 12, 7, 14, 5, 0), false},
                      MatchCase{"06.12.2026", "14:05", At(2026, 11, 6, 14, 5, 0), false},
                      MatchCase{"06.12.2026", "14:05", At(2027, 12, 6, 14, 5, 0), false},
                      // A wholly unfilled minute reads as 0.
                      MatchCase{"06.12.2026", "14", At(2026, 12, 6, 14, 0, 30), true},
                      MatchCase{"06.12.2026", "14", At(2026, 12, 6, 14, 5, 0), false},
                      // Times that never occur never match.
                      MatchCase{"06.12.2026", "24:00", At(2026, 12, 7, 0, 0, 0), false},
                      MatchCase{"06.12.2026", "14:60", At(2026, 12, 6, 15, 0, 0), false},
                      MatchCase{"00.00.0000", "00:00", At(2026, 12, 6, 0, 0, 0), false}));

TEST_F(TimerTest, DisarmedNeverFires)
{
    Schedule("06.12.2026", "14:05", "06.12.2026", "14:05");
    form.TimerArmed = 0;
    TickAt(At(2026, 12, 6, 14, 5));
    EXPECT_EQ(starts + stops, 0);
}

// The first tick starts the recording and at once stops it; the timer is
// disarmed, so the rest of the minute does nothing.
TEST_F(TimerTest, StartAndStopInTheSameMinute)
{
    Schedule("06.12.2026", "14:05", "06.12.2026", "14:05");
    TickAt(At(2026, 12, 6, 14, 5, 0));
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(mode, amStop);
    EXPECT_EQ(form.TimerArmed, 0);
    TickAt(At(2026, 12, 6, 14, 5, 1));
    EXPECT_EQ(starts + stops, 2);
}

// The stop minute comes first and disarms; the start minute passes unseen.
TEST_F(TimerTest, StopBeforeStartDisarmsForGood)
{
    Schedule("06.12.2026", "14:10", "06.12.2026", "14:05");
    TickAt(At(2026, 12, 6, 14, 4, 59));
    EXPECT_EQ(form.TimerArmed, 1);
    TickAt(At(2026, 12, 6, 14, 5, 0));
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(form.TimerArmed, 0);
    TickAt(At(2026, 12, 6, 14, 10, 0));
    EXPECT_EQ(starts, 0);
    EXPECT_EQ(mode, amStop);
}

// Every tick of the start minute tries again: a recording stopped by hand
// within it starts again; after the minute it stays stopped.
TEST_F(TimerTest, HandStopInsideTheStartMinuteStartsAgain)
{
    Schedule("06.12.2026", "14:05", "06.12.2026", "15:00");
    TickAt(At(2026, 12, 6, 14, 5, 0));
    EXPECT_EQ(mode, amRecord);
    TickAt(At(2026, 12, 6, 14, 5, 1));  // already recording: nothing new
    EXPECT_EQ(mode, amRecord);
    mode = amStop;  // stopped by hand
    TickAt(At(2026, 12, 6, 14, 5, 2));
    EXPECT_EQ(mode, amRecord);
    mode = amStop;
    TickAt(At(2026, 12, 6, 14, 6, 0));
    EXPECT_EQ(mode, amStop);
    EXPECT_EQ(form.TimerArmed, 1);
}

// A typical run: start in STOP, record, stop at the stop minute, disarmed.
// A stop minute with nothing recording disarms all the same.
TEST_F(TimerTest, StopMinuteDisarmsWhateverTheMode)
{
    for (uint32_t startMode : {uint32_t(amStop), uint32_t(amPlay)}) {
        mode = startMode;
        stops = 0;
        Schedule("31.12.2026", "23:59", "01.01.2027", "00:01");
        TickAt(At(2026, 12, 31, 23, 59, 30));
        EXPECT_EQ(mode, startMode == amStop ? uint32_t(amRecord) : uint32_t(amPlay));
        TickAt(At(2027, 1, 1, 0, 0, 30));
        EXPECT_EQ(form.TimerArmed, 1);
        TickAt(At(2027, 1, 1, 0, 1, 0));
        EXPECT_EQ(stops, 1);
        EXPECT_EQ(form.TimerArmed, 0);
        EXPECT_EQ(mode, startMode == amStop ? uint32_t(amStop) : uint32_t(amPlay));
    }
}

TEST_F(TimerTest, LabelsShowTheLastTick)
{
    TickAt(At(2026, 12, 6, 9, 5, 7));
    EXPECT_EQ(form.TimeLabel->text().toStdString(), "09:05:07");
    EXPECT_EQ(form.DateLabel->text().toStdString(), "06.12.2026");  // all four digits of the year
    // Right-aligned: the right edges stay put whatever the text.
    EXPECT_EQ(form.TimeLabel->geometry().right() + 1, 76);
    EXPECT_EQ(form.DateLabel->geometry().right() + 1, 148);
}

// Showing a disarmed timer proposes the last tick's minute; an armed one
// keeps the schedule as entered.
TEST_F(TimerTest, FormShowArmedAndDisarmed)
{
    TickAt(At(2026, 12, 6, 14, 5, 7));
    form.show();
    EXPECT_EQ(form.StartTimeEdit->ReadText().toStdString(), "14:05");
    EXPECT_EQ(form.StopTimeEdit->ReadText().toStdString(), "14:05");
    EXPECT_EQ(form.StartDateEdit->ReadText().toStdString(), "06.12.2026");
    EXPECT_EQ(form.StopDateEdit->ReadText().toStdString(), "06.12.2026");

    Schedule("07.12.2026", "08:00", "07.12.2026", "09:30");
    form.onButton->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.TimerArmed, 1);
    TickAt(At(2026, 12, 6, 14, 6, 0));
    form.show();
    EXPECT_EQ(form.StartTimeEdit->ReadText().toStdString(), "08:00");
    EXPECT_EQ(form.StopTimeEdit->ReadText().toStdString(), "09:30");
    EXPECT_EQ(form.StartDateEdit->ReadText().toStdString(), "07.12.2026");

    form.offButton->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.TimerArmed, 0);
    form.show();
    EXPECT_EQ(form.StartTimeEdit->ReadText().toStdString(), "14:06");
    EXPECT_EQ(form.StopDateEdit->ReadText().toStdString(), "06.12.2026");
    form.hide();
}

TEST_F(TimerTest, ShowModalReturnsWhenArmed)
{
    QTimer::singleShot(0, &form, [this] { form.onButton->click(); });
    form.ShowModal();
    EXPECT_EQ(form.TimerArmed, 1);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.windowModality(), Qt::NonModal);
}

TEST_F(TimerTest, FocusOrderPutsStopDateBeforeStopTime)
{
    std::vector<QWidget*> order;
    QWidget* w = form.StartTimeEdit;
    while (order.size() < 4) {
        if (w->focusPolicy() & Qt::TabFocus)
            order.push_back(w);
        w = w->nextInFocusChain();
    }
    const std::vector<QWidget*> expected{form.StartTimeEdit, form.StartDateEdit, form.StopDateEdit,
                                         form.StopTimeEdit};
    EXPECT_EQ(order, expected);
}

// The clock ticks from creation, also while the window is hidden.
TEST_F(TimerTest, ClockRunsWhileHidden)
{
    int reads = 0;
    form.SetClock([&reads] {
        ++reads;
        return At(2030, 1, 2, 3, 4, 5);
    });
    ASSERT_FALSE(form.isVisible());
    QElapsedTimer elapsed;
    elapsed.start();
    while (reads == 0 && elapsed.elapsed() < 3000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    EXPECT_GE(reads, 1);
    EXPECT_EQ(form.DateLabel->text().toStdString(), "02.01.2030");
}

}  // namespace
