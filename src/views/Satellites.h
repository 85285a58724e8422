#pragma once
// The SATELLITES window: satellites used and marked bad, status indicators.
#include "Controls.h"

class TSatellitesForm : public TViewForm {
    Q_OBJECT
public:
    explicit TSatellitesForm(QWidget* parent = nullptr);
    void ClearIndicators();
    void RefreshFromNmea();
    void RefreshFromBinr();
};

extern TSatellitesForm* SatellitesForm;
