#include "Timerfile.h"

#include "Util.h"

#include <QEventLoop>
#include <QKeyEvent>
#include <QPainter>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>

// The schedule lives only in the four edits: it is read back at every tick, so
// what the user sees is exactly what arms the recording. Seconds are not
// compared, so a matching minute fires at each of its ticks; the main window
// ignores a start while it is already recording.

namespace {

constexpr int kWidth = 182;
constexpr int kHeight = 69;
constexpr int kTickMs = 1000;
constexpr int kTextHeightPx = 9;

const QString kTimeMask = "99:99;_";
const QString kDateMask = "99.99.9999;_";

// Character positions (from 0) of the numbers in "dd.mm.yyyy" and "hh:mm".
constexpr size_t kDayAt = 0;
constexpr size_t kMonthAt = 3;
constexpr size_t kYearAt = 6;
constexpr size_t kHourAt = 0;
constexpr size_t kMinuteAt = 3;

QFont TimerFont(bool bold)
{
    QFont font = UiFont(bold);
    font.setPixelSize(kTextHeightPx);
    return font;
}

ValueLabel* MakeLabel(QWidget* parent, int x, int y, const QString& text, bool bold,
                      ValueLabel::Anchor anchor = ValueLabel::Left)
{
    // Created empty so that the size is taken with the window's own font.
    auto* label = new ValueLabel(parent, x, y, QString(), bold, anchor);
    label->setFont(TimerFont(bold));
    label->SetText(text);
    return label;
}

MaskedEdit* MakeEdit(QWidget* parent, const QRect& geometry, const QString& mask, const QString& text)
{
    auto* edit = new MaskedEdit(parent, geometry, mask, text);
    edit->setFont(TimerFont(true));
    return edit;
}

// A small clock face, green for "arm" and red for "disarm"; grey when disabled.
FlatGlyphButton::Painter ClockGlyph(QColor face)
{
    return [face](QPainter& p, const QRect& r, bool enabled) {
        p.save();
        p.setRenderHint(QPainter::Antialiasing, true);
        const QPointF centre(r.width() / 2.0, r.height() / 2.0);
        const qreal radius = 7.5;
        p.setPen(QPen(enabled ? QColor(0, 0, 0) : QColor(128, 128, 128), 1));
        p.setBrush(enabled ? face : QColor(192, 192, 192));
        p.drawEllipse(centre, radius, radius);
        p.setPen(QPen(enabled ? QColor(255, 255, 255) : QColor(128, 128, 128), 1.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(centre, centre + QPointF(0, -5.5));
        p.drawLine(centre, centre + QPointF(4, 0));
        p.restore();
    };
}

int32_t NumberAt(const std::string& text, size_t position)
{
    return position < text.size() ? TextToInt(text.c_str() + position) : 0;
}

}  // namespace

TTimerForm::TTimerForm(QWidget* parent)
    : TViewForm(kWidth, kHeight, QRect(4, 2, 173, 17), QString(32, ' ') + "TIMER", parent)
{
    setFont(TimerFont(false));
    TitleStrip()->setFont(TimerFont(false));

    MakeLabel(this, 4, 20, "Now:", false);
    TimeLabel = MakeLabel(this, 32 + 44, 20, "00:00:00", true, ValueLabel::Right);
    DateLabel = MakeLabel(this, 92 + 56, 20, "00.00.0000", true, ValueLabel::Right);
    const ValueLabel* start = MakeLabel(this, 4, 36, "Start:", false);
    // The time edits stand clear of the captions, under the time of day.
    const int timeLeft = std::max({30, TimeLabel->x(), start->x() + start->width() + 3});
    StartTimeEdit = MakeEdit(this, QRect(timeLeft, 36, 32, 13), kTimeMask, "00:00");
    StartDateEdit = MakeEdit(this, QRect(90, 36, 60, 13), kDateMask, "00.00.0000");
    MakeLabel(this, 4, 52, "Stop:", false);
    StopTimeEdit = MakeEdit(this, QRect(timeLeft, 52, 32, 13), kTimeMask, QString());
    StopDateEdit = MakeEdit(this, QRect(90, 52, 60, 13), kDateMask, QString());
    // The stop date comes before the stop time.
    setTabOrder(StartTimeEdit, StartDateEdit);
    setTabOrder(StartDateEdit, StopDateEdit);
    setTabOrder(StopDateEdit, StopTimeEdit);

    onButton = new FlatGlyphButton(this, QRect(154, 22, 23, 22), "Timer on", ClockGlyph(QColor(0, 160, 0)));
    offButton = new FlatGlyphButton(this, QRect(154, 44, 23, 22), "Timer off", ClockGlyph(QColor(200, 0, 0)));
    connect(onButton, &QAbstractButton::clicked, this, [this] { onButtonClick(onButton); });
    connect(offButton, &QAbstractButton::clicked, this, [this] { offButtonClick(offButton); });

    SetClock(nullptr);
    SetScheduleActions(nullptr, nullptr);

    // Take the time now, not a second from now: the labels and a first
    // FormShow then read the real date rather than zeros.
    TimerTimer();
    Timer = new QTimer(this);
    Timer->setInterval(kTickMs);
    connect(Timer, &QTimer::timeout, this, &TTimerForm::TimerTimer);
    Timer->start();
}

TTimerForm::~TTimerForm() = default;

void TTimerForm::SetClock(std::function<QDateTime()> clock)
{
    clock_ = clock ? std::move(clock) : [] { return QDateTime::currentDateTime(); };
}

void TTimerForm::SetScheduleActions(std::function<void()> start, std::function<void()> stop)
{
    start_ = start ? std::move(start) : [] {};
    stop_ = stop ? std::move(stop) : [] {};
}

bool TTimerForm::ScheduleMatches(const MaskedEdit* dateEdit, const MaskedEdit* timeEdit) const
{
    // An unfilled position reads as a blank, so a wholly unfilled number is 0.
    const std::string date = dateEdit->ReadLatin1();
    const std::string time = timeEdit->ReadLatin1();
    return NumberAt(date, kYearAt) == last_.year && NumberAt(date, kMonthAt) == last_.month &&
           NumberAt(date, kDayAt) == last_.day && NumberAt(time, kHourAt) == last_.hour &&
           NumberAt(time, kMinuteAt) == last_.minute;
}

void TTimerForm::TimerTimer()
{
    const QDateTime now = clock_();
    const QDate date = now.date();
    const QTime time = now.time();
    last_.minute = uint8_t(time.minute());
    last_.hour = uint8_t(time.hour());
    last_.hundredths = uint8_t(time.msec() / 10);
    last_.second = uint8_t(time.second());
    last_.year = date.year();
    last_.day = uint8_t(date.day());
    last_.month = uint8_t(date.month());

    TimeLabel->SetText(QString::asprintf("%02d:%02d:%02d", last_.hour, last_.minute, last_.second));
    DateLabel->SetText(QString::asprintf("%02d.%02d.%02d", last_.day, last_.month, int(last_.year)));
    if (!TimerArmed)
        return;
    if (ScheduleMatches(StartDateEdit, StartTimeEdit))
        start_();
    if (ScheduleMatches(StopDateEdit, StopTimeEdit)) {
        stop_();
        // The stop minute disarms whatever happened to the recording, even
        // without a main window to do it.
        TimerArmed = 0;
    }
}

void TTimerForm::FormShow()
{
    // An armed schedule is shown as it was entered.
    if (TimerArmed)
        return;
    const QString time = QString::asprintf("%02d:%02d", last_.hour, last_.minute);
    const QString date = QString::asprintf("%02d.%02d.%02d", last_.day, last_.month, int(last_.year));
    StartTimeEdit->setText(time);
    StopTimeEdit->setText(time);
    StartDateEdit->setText(date);
    StopDateEdit->setText(date);
}

void TTimerForm::onButtonClick(QObject*)
{
    TimerArmed = 1;
    close();
}

void TTimerForm::offButtonClick(QObject*)
{
    TimerArmed = 0;
    close();
}

void TTimerForm::ShowModal()
{
    QEventLoop loop;
    connect(this, &TTimerForm::Closed, &loop, &QEventLoop::quit);
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
    if (isVisible())
        loop.exec();
    setWindowModality(Qt::NonModal);
}

void TTimerForm::showEvent(QShowEvent* event)
{
    TViewForm::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TTimerForm::hideEvent(QHideEvent* event)
{
    TViewForm::hideEvent(event);
    if (!event->spontaneous())
        emit Closed();
}

void TTimerForm::keyPressEvent(QKeyEvent* event)
{
    // Escape leaves the schedule as it was.
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    TViewForm::keyPressEvent(event);
}
