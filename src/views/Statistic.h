#pragma once
// The STATISTIC window: filtered fixes summarised as mean position and scatter.
#include "Controls.h"
#include "Util.h"

#include <functional>

class QCheckBox;
class MaskedEdit;
struct StatisticFix;
struct StatisticTexts;
class TVisualForm;

class TStatisticForm : public TViewForm {
    Q_OBJECT
public:
    explicit TStatisticForm(QWidget* parent = nullptr);
    ~TStatisticForm() override;
    void RefreshFromNmea();
    void RefreshFromBinr();
    void ResetStatistics();

    // Whether the VISUAL view is switched on; handed over by the program.
    std::function<bool()> visualShown = [] { return false; };

    // Public results of the last accepted fix: means in radians and metres.
    StatisticsOutput stats;

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
    ValueLabel* LatLabel = nullptr;
    ValueLabel* LonLabel = nullptr;
    ValueLabel* AltLabel = nullptr;
    ValueLabel* rms2DLabel = nullptr;
    ValueLabel* rmsHLabel = nullptr;
    ValueLabel* rmsVLabel = nullptr;
    ValueLabel* NLabel = nullptr;
    ValueLabel* NallLabel = nullptr;
    MaskedEdit* HDOPEdit = nullptr;
    MaskedEdit* VDOPEdit = nullptr;
    QCheckBox* DiffCheckBox = nullptr;

private:
    void Refresh(const StatisticFix& fix, void (TVisualForm::*handOff)());
    void ShowTexts(const StatisticTexts& texts);
    void Report();
};

extern TStatisticForm* StatisticForm;
