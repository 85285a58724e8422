#pragma once
// The TIMER window: a one-second clock that starts and stops a recording at a
// set date and minute.
#include "Controls.h"

#include <QDateTime>
#include <cstdint>
#include <functional>

class QTimer;

class TTimerForm : public TViewForm {
    Q_OBJECT
public:
    explicit TTimerForm(QWidget* parent = nullptr);
    ~TTimerForm() override;
    // Tests set the time; the program reads the local clock. An empty
    // function goes back to the local clock.
    void SetClock(std::function<QDateTime()> clock);
    // What the start and stop minutes do: the program binds the main
    // window's scheduled start and stop; empty functions do nothing.
    void SetScheduleActions(std::function<void()> start, std::function<void()> stop);

    // Event handlers (sender == nullptr: called by the program).
    void TimerTimer();
    void FormShow();
    void onButtonClick(QObject* sender);
    void offButtonClick(QObject* sender);

    // Shows the window application-modal and returns once it has closed
    // (through onButton, offButton or Escape).
    void ShowModal();

    ValueLabel* TimeLabel = nullptr;
    ValueLabel* DateLabel = nullptr;
    MaskedEdit* StartTimeEdit = nullptr;
    MaskedEdit* StartDateEdit = nullptr;
    MaskedEdit* StopTimeEdit = nullptr;
    MaskedEdit* StopDateEdit = nullptr;
    FlatGlyphButton* onButton = nullptr;
    FlatGlyphButton* offButton = nullptr;
    QTimer* Timer = nullptr;

    uint8_t TimerArmed = 0;

signals:
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The local time and date of the last tick.
    struct Tick {
        uint8_t minute = 0;
        uint8_t hour = 0;
        uint8_t hundredths = 0;
        uint8_t second = 0;
        int32_t year = 0;
        uint8_t day = 0;
        uint8_t month = 0;
    };

    bool ScheduleMatches(const MaskedEdit* dateEdit, const MaskedEdit* timeEdit) const;

    Tick last_;
    std::function<QDateTime()> clock_;
    std::function<void()> start_;
    std::function<void()> stop_;
};
