#pragma once
// The SATELLITES window: satellites used and marked bad, status indicators.
#include "Controls.h"

#include <array>

class Intake;
struct SatellitesTexts;

class TSatellitesForm : public TViewForm {
    Q_OBJECT
public:
    explicit TSatellitesForm(QWidget* parent = nullptr);
    ~TSatellitesForm() override;
    void ClearIndicators();
    void RefreshFromNmea();
    void RefreshFromBinr();
    // Multi-GNSS: the GAL:, BDS: and QZS: rows, and the height that holds them.
    void SetMultiGnss(bool on);
    // The source this window shows, handed over by the program; without
    // one a refresh shows nothing.
    const Intake* intake = nullptr;

    ValueLabel* Label1 = nullptr;
    ValueLabel* Label2 = nullptr;
    ValueLabel* Label4 = nullptr;
    // Lit = enabled, dark = disabled (greyed), in window order.
    ValueLabel* obsLabel = nullptr;
    ValueLabel* _2dLabel = nullptr;
    ValueLabel* _1dLabel = nullptr;
    ValueLabel* rtcmLabel = nullptr;
    ValueLabel* raimLabel = nullptr;
    ValueLabel* rsLabel = nullptr;
    ValueLabel* extLabel = nullptr;
    ValueLabel* anomLabel = nullptr;
    ValueLabel* gpsLabel = nullptr;
    ValueLabel* glnLabel = nullptr;
    ValueLabel* sbasLabel = nullptr;
    ValueLabel* dsbasLabel = nullptr;
    ValueLabel* dgbasLabel = nullptr;
    ValueLabel* rmsLabel = nullptr;
    std::array<ValueLabel*, 14> Indicators{};
    ValueLabel* GPSnumLabel = nullptr;
    ValueLabel* GLNnumLabel = nullptr;
    ValueLabel* BadGPSnumLabel = nullptr;
    ValueLabel* BadGLNnumLabel = nullptr;
    std::array<ValueLabel*, 3> MultiGnssCaptions{};
    ValueLabel* GALnumLabel = nullptr;
    ValueLabel* BDSnumLabel = nullptr;
    ValueLabel* QZSnumLabel = nullptr;

private:
    void Show(const SatellitesTexts& texts);
    void PlaceBadLists();
};
