#include "About.h"

TAboutForm* AboutForm = nullptr;

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent, Qt::FramelessWindowHint)
{
    AboutForm = this;
    setFixedSize(132, 132);
}
