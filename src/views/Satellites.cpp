#include "Satellites.h"

TSatellitesForm* SatellitesForm = nullptr;

TSatellitesForm::TSatellitesForm(QWidget* parent)
    : TViewForm(421, 60, QRect(2, 2, 416, 17), QString(58, ' ') + "SATELLITES", parent)
{
    SatellitesForm = this;
}

void TSatellitesForm::ClearIndicators() {}
void TSatellitesForm::RefreshFromNmea() {}
void TSatellitesForm::RefreshFromBinr() {}
