#pragma once
// The PROFILE window: a scrolling strip of the height against the reference.
#include "Controls.h"

class TProfileForm : public TViewForm {
    Q_OBJECT
public:
    explicit TProfileForm(QWidget* parent = nullptr);
    void ClearProfile();
    void AddAltitude(double differenceM);
};

extern TProfileForm* ProfileForm;
