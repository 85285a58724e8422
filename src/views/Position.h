#pragma once
// The POSITION window: the latest solution as text.
#include "Controls.h"

#include <functional>

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
};
