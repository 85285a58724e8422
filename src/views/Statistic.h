#pragma once
// The STATISTIC window: filtered fixes summarised as mean position and scatter.
#include "Controls.h"
#include "Util.h"

class QCheckBox;
class MaskedEdit;

class TStatisticForm : public TViewForm {
    Q_OBJECT
public:
    explicit TStatisticForm(QWidget* parent = nullptr);
    void RefreshFromNmea();
    void RefreshFromBinr();
    void ResetStatistics();

    // Public results of the last accepted fix: means in radians and metres.
    StatisticsOutput stats;

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
};

extern TStatisticForm* StatisticForm;
