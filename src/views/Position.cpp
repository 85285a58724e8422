#include "Position.h"

TPositionForm* PositionForm = nullptr;

TPositionForm::TPositionForm(QWidget* parent)
    : TViewForm(421, 60, QRect(2, 2, 416, 17), QString(60, ' ') + "POSITION", parent)
{
    PositionForm = this;
    DateLabel = new ValueLabel(this, 416, 32, "00.00.00", true, ValueLabel::Right);
}

void TPositionForm::RefreshFromNmea() {}
void TPositionForm::RefreshFromBinr() {}
