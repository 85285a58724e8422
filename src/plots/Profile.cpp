#include "Profile.h"

#include "Report.h"
#include "VisualCanvas.h"
#include "VisualControls.h"
#include "VisualSettings.h"

#include <QLabel>
#include <algorithm>
#include <cmath>
#include <cstring>

TProfileForm* ProfileForm = nullptr;

namespace {

constexpr int W = 705;
constexpr int H = 65;
constexpr int kGridRows[] = {H / 2, H / 4, 3 * H / 4};  // drawn in this order
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kOlive = qRgb(128, 128, 0);
// Rows of values far off the strip are held here; the visible part of the
// line they draw is the same, and its length stays bounded.
constexpr double kFarRow = 32768;
constexpr int kInitialRange = 100;

} // namespace

TProfileForm::TProfileForm(QWidget* parent)
    : TViewForm(822, 94, QRect(2, 2, 817, 17), QString(128, ' ') + "PROFILE", parent)
{
    ProfileForm = this;
    headless_ = HeadlessReport();
    strip_ = MakeBitmap(W, H, kBlack);

    AltImage = new TPictureBox(this, QRect(4, 24, W, H));
    PlusLabel = new QLabel("+ 0 m", this);
    PlusLabel->setGeometry(712, 20, 31, 13);
    MinusLabel = new QLabel("- 0 m", this);
    MinusLabel->setGeometry(716, 80, 28, 13);
    for (QLabel* label : {PlusLabel, MinusLabel}) {
        label->setFont(UiFont(true));
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    }
    maxAltUpDown = new TUpDown(this, QRect(720, 40, 16, 33), Qt::Vertical, kRangeMin, kRangeMax, kInitialRange);
    connect(maxAltUpDown, &TUpDown::Click, this, [this] { maxAltUpDownClick(); });
    if (!headless_)
        maxAltUpDown->SetPosition(LoadProfileRange());
    else
        maxAltUpDown->SetPosition(kRangeMin);
    // Until the first clear the strip is empty and the pen rests where a
    // clear leaves it.
    DrawEmptyStrip();
    AltImage->SetPicture(strip_);
}

TProfileForm::~TProfileForm()
{
    if (!headless_)
        SaveProfileRange(maxAltUpDown->Position());
    if (ProfileForm == this)
        ProfileForm = nullptr;
}

void TProfileForm::showEvent(QShowEvent* event)
{
    TViewForm::showEvent(event);
    FormShow();
}

void TProfileForm::FormShow() { ClearProfile(); }

// GDI-style pen: from the pen position up to, not including, (x, y); the
// pen then rests at (x, y).
void TProfileForm::LineTo(int x, int y, QRgb color)
{
    DrawLine(strip_, pen_.x(), pen_.y(), x, y, color);
    pen_ = QPoint(x, y);
}

void TProfileForm::DrawEmptyStrip()
{
    strip_.fill(kBlack);
    for (int row : kGridRows) {
        pen_ = QPoint(0, row);
        LineTo(W, row, kOlive);
    }
}

void TProfileForm::ClearProfile()
{
    DrawEmptyStrip();
    AltImage->SetPicture(strip_);
    const int range = maxAltUpDown->Position();
    PlusLabel->setText(QString("+%1 m").arg(range));
    MinusLabel->setText(QString("-%1 m").arg(range));
}

void TProfileForm::AddAltitude(double differenceM)
{
    const QPoint previous = pen_;
    // The strip as last shown moves one pixel left.
    const QImage& shown = AltImage->Picture();
    const size_t rowBytes = size_t(W - 1) * sizeof(QRgb);
    for (int y = 0; y < H; ++y) {
        std::memcpy(strip_.scanLine(y), shown.constScanLine(y) + sizeof(QRgb), rowBytes);
        reinterpret_cast<QRgb*>(strip_.scanLine(y))[W - 1] = kBlack;
    }
    for (int row : kGridRows) {
        pen_ = QPoint(W - 2, row);
        LineTo(W - 1, row, kOlive);
    }
    const int range = std::max(maxAltUpDown->Position(), 1);
    double row = differenceM * (H / 2) / range + H / 2;
    if (!(std::fabs(row) < kFarRow))
        row = row < 0 ? -kFarRow : kFarRow;
    pen_ = QPoint(previous.x() - 1, previous.y());
    LineTo(W - 1, int(row), kWhite);
    AltImage->SetPicture(strip_);
}

void TProfileForm::maxAltUpDownClick()
{
    const UpDownStep step = StepAfterClick(maxAltUpDown->Position(), 2);
    maxAltUpDown->SetIncrement(step.increment);
    maxAltUpDown->SetPosition(step.position);
    ClearProfile();
}
