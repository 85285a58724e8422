#include "Statistic.h"

#include <QCheckBox>

TStatisticForm* StatisticForm = nullptr;

TStatisticForm::TStatisticForm(QWidget* parent)
    : TViewForm(421, 60, QRect(2, 2, 416, 17), QString(58, ' ') + "STATISTIC", parent)
{
    StatisticForm = this;
    LatLabel = new ValueLabel(this, 22, 20, "00\xB0" "00.0000N", true);
    LonLabel = new ValueLabel(this, 16, 32, "000\xB0" "00.0000E", true);
    AltLabel = new ValueLabel(this, 20, 44, "+0000.0", true);
    rms2DLabel = new ValueLabel(this, 200, 20, "0.00", true, ValueLabel::Right);
    rmsHLabel = new ValueLabel(this, 200, 32, "0.00", true, ValueLabel::Right);
    rmsVLabel = new ValueLabel(this, 200, 44, "0.00", true, ValueLabel::Right);
    NLabel = new ValueLabel(this, 300, 20, "0", true, ValueLabel::Right);
    NallLabel = new ValueLabel(this, 300, 32, "0", true, ValueLabel::Right);
    DiffCheckBox = new QCheckBox(this);
}

void TStatisticForm::RefreshFromNmea() {}
void TStatisticForm::RefreshFromBinr() {}
void TStatisticForm::ResetStatistics() {}
