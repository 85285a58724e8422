#include "Visual.h"

#include <QCheckBox>

TVisualForm* VisualForm = nullptr;

TVisualForm::TVisualForm(QWidget* parent)
    : TViewForm(401, 312, QRect(4, 2, 394, 17), QString(60, ' ') + "VISUAL", parent)
{
    VisualForm = this;
    SatCheckBox = new QCheckBox("SAT VIEW", this);
    SatCheckBox->setGeometry(296, 280, 73, 17);
}

void TVisualForm::AddBinrPosition() {}
void TVisualForm::AddNmeaPosition() {}
void TVisualForm::LoadGsvSatellites() {}
void TVisualForm::LoadBinrSatellites() {}
void TVisualForm::ClearPlot() {}
