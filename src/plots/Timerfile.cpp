#include "Timerfile.h"

TTimerForm* TimerForm = nullptr;

TTimerForm::TTimerForm(QWidget* parent)
    : TViewForm(182, 69, QRect(4, 2, 173, 17), QString(32, ' ') + "TIMER", parent)
{
    TimerForm = this;
}

void TTimerForm::SetClock(std::function<QDateTime()>) {}
void TTimerForm::TimerTimer() {}
