#pragma once
// The POSITION window: the latest solution as text.
//
// Live data that stops (a synchronization closed the port, the source was
// lost) leaves the last solution on screen as it was: its values turn grey
// once no refresh has come for kStaleEpochs epoch intervals (the last gap
// between two refreshes), and black again with the next refresh. The texts
// never change for it. A playback stops because the user stopped it: its
// solution does not go stale.
#include "Controls.h"

#include <QElapsedTimer>
#include <cstdint>
#include <functional>

class QTimer;

class Intake;
struct PositionTexts;

class TPositionForm : public TViewForm {
    Q_OBJECT
public:
    explicit TPositionForm(QWidget* parent = nullptr);
    ~TPositionForm() override;
    void RefreshFromNmea();
    void RefreshFromBinr();
    // The texts a refresh may leave as they were (VDOP without a GSA) go
    // back to those of a new window: a paced replay's seek starts from them.
    void ForgetKeptTexts();
    // Shows or hides the Multi-GNSS count of every system's used satellites.
    void SetMultiGnss(bool on);

    // Whether the warning tones are on; handed over by the program.
    std::function<bool()> soundEnabled = [] { return false; };
    // Whether the refreshes come from live data, which can go stale;
    // handed over by the program.
    std::function<bool()> liveData = [] { return false; };
    bool Stale() const { return stale_; }
    // The source this window shows, handed over by the program; without
    // one a refresh shows nothing.
    const Intake* intake = nullptr;

    ValueLabel* Label1 = nullptr;
    ValueLabel* Label2 = nullptr;
    ValueLabel* Label3 = nullptr;
    ValueLabel* Label4 = nullptr;
    ValueLabel* Label5 = nullptr;
    ValueLabel* Label6 = nullptr;
    ValueLabel* Label7 = nullptr;
    ValueLabel* Label8 = nullptr;
    ValueLabel* Label9 = nullptr;
    ValueLabel* Label10 = nullptr;
    ValueLabel* Label11 = nullptr;
    ValueLabel* Label12 = nullptr;
    ValueLabel* Label13 = nullptr;
    ValueLabel* LatLabel = nullptr;
    ValueLabel* LonLabel = nullptr;
    ValueLabel* AltLabel = nullptr;
    ValueLabel* rms2DLabel = nullptr;
    ValueLabel* HDOPLabel = nullptr;
    ValueLabel* VDOPLabel = nullptr;
    ValueLabel* SpeedLabel = nullptr;
    ValueLabel* CourseLabel = nullptr;
    ValueLabel* GPSLabel = nullptr;
    ValueLabel* GLNLabel = nullptr;
    ValueLabel* UTCLabel = nullptr;
    ValueLabel* DateLabel = nullptr;
    ValueLabel* StatusLabel = nullptr;
    ValueLabel* UsedCaption = nullptr;
    ValueLabel* UsedLabel = nullptr;

private:
    void Show(const PositionTexts& texts);
    void MarkStale(bool on);

    QTimer* staleTimer_ = nullptr;
    QElapsedTimer sinceRefresh_;
    int64_t epochMs_;
    bool stale_ = false;
};
