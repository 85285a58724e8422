#pragma once
// The VISUAL window: scatter plot round a reference point, sky plot, export.
#include "Controls.h"

class QCheckBox;

class TVisualForm : public TViewForm {
    Q_OBJECT
public:
    explicit TVisualForm(QWidget* parent = nullptr);
    void AddBinrPosition();
    void AddNmeaPosition();
    void LoadGsvSatellites();
    void LoadBinrSatellites();
    void ClearPlot();

    QCheckBox* SatCheckBox = nullptr;
};

extern TVisualForm* VisualForm;
