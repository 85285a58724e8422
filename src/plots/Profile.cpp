#include "Profile.h"

TProfileForm* ProfileForm = nullptr;

TProfileForm::TProfileForm(QWidget* parent)
    : TViewForm(822, 94, QRect(4, 2, 815, 17), QString(100, ' ') + "PROFILE", parent)
{
    ProfileForm = this;
}

void TProfileForm::ClearProfile() {}
void TProfileForm::AddAltitude(double) {}
