#pragma once
// The POSITION window: the latest solution as text.
#include "Controls.h"

class TPositionForm : public TViewForm {
    Q_OBJECT
public:
    explicit TPositionForm(QWidget* parent = nullptr);
    void RefreshFromNmea();
    void RefreshFromBinr();

    ValueLabel* DateLabel = nullptr;
};

extern TPositionForm* PositionForm;
