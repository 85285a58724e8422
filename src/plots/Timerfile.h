#pragma once
// The TIMER window: a one-second clock that starts and stops a recording at a
// set date and minute.
#include "Controls.h"

#include <QDateTime>
#include <cstdint>
#include <functional>

class TTimerForm : public TViewForm {
    Q_OBJECT
public:
    explicit TTimerForm(QWidget* parent = nullptr);
    // Tests set the time; the program reads the local clock.
    void SetClock(std::function<QDateTime()> clock);
    void TimerTimer();

    uint8_t TimerArmed = 0;
};

extern TTimerForm* TimerForm;
