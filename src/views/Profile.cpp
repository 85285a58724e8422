#include "Profile.h"

#include "Report.h"
#include "VisualCanvas.h"
#include "VisualControls.h"
#include "VisualSettings.h"

#include <QFontMetrics>
#include <QLabel>
#include <QShowEvent>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int W = 705;
constexpr int H = 65;
constexpr int kBufferWidth = 2 * W;
constexpr int kGridRows[] = {H / 2, H / 4, 3 * H / 4};  // drawn in this order
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kOlive = qRgb(128, 128, 0);
// Rows of values far off the strip are held here; the visible part of the
// line they draw is the same, and its length stays bounded.
constexpr double kFarRow = 32768;
constexpr int kInitialRange = 100;
constexpr int kPlusLeft = 712;
constexpr int kPlusWidth = 31;
constexpr int kMinusLeft = 716;
constexpr int kMinusWidth = 28;

constexpr int kStripRight = 4 + W - 1;

// The range labels are centred over the up-down control; a long range
// widens them round the same centre rather than clipping the text.
void SetCentredText(QLabel* label, int left, int width, const QString& text)
{
    const int needed = std::max(width, QFontMetrics(label->font()).horizontalAdvance(text) + 2);
    const int x = std::max(kStripRight + 1, left + width / 2 - needed / 2);
    label->setGeometry(x, label->y(), needed, label->height());
    label->setText(text);
}

} // namespace

TProfileForm::TProfileForm(QWidget* parent)
    : TViewForm(822, 94, QRect(2, 2, 817, 17), QString(128, ' ') + "PROFILE", parent)
{
    headless_ = HeadlessReport();
    strip_ = MakeBitmap(kBufferWidth, H, kBlack);

    AltImage = new TPictureBox(this, QRect(4, 24, W, H));
    PlusLabel = new QLabel("+ 0 m", this);
    PlusLabel->setGeometry(kPlusLeft, 20, kPlusWidth, 13);
    MinusLabel = new QLabel("- 0 m", this);
    MinusLabel->setGeometry(kMinusLeft, 80, kMinusWidth, 13);
    for (QLabel* label : {PlusLabel, MinusLabel}) {
        label->setFont(UiFont(true));
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    }
    maxAltUpDown = new TUpDown(this, QRect(720, 40, 16, 33), Qt::Vertical, kRangeMin, kRangeMax, kInitialRange);
    connect(maxAltUpDown, &TUpDown::Click, this, [this] { maxAltUpDownClick(); });
    if (!headless_) {
        maxAltUpDown->SetPosition(LoadProfileRange());
        // Stored as it changes: a crash or a kill loses nothing.
        connect(maxAltUpDown, &TUpDown::Click, this, [this] {
            if (!HeadlessReport())
                SaveProfileRange(maxAltUpDown->Position());
        });
    } else {
        maxAltUpDown->SetPosition(kRangeMin);
    }
    // Until the first clear the strip is empty and the pen rests where a
    // clear leaves it.
    DrawEmptyStrip();
    AltImage->SetPicture(strip_, QRect(first_, 0, W, H));
}

TProfileForm::~TProfileForm()
{
    if (!headless_ && !HeadlessReport())
        SaveProfileRange(maxAltUpDown->Position());
}

void TProfileForm::showEvent(QShowEvent* event)
{
    TViewForm::showEvent(event);
    // A window restored by the window system was not switched on again.
    if (!event->spontaneous())
        FormShow();
}

QImage TProfileForm::StripBitmap() const { return strip_.copy(first_, 0, W, H); }

void TProfileForm::FormShow() { ClearProfile(); }

// GDI-style pen: from the pen position up to, not including, (x, y); the
// pen then rests at (x, y). Lines never leave the columns between their
// ends, so none reaches past the strip shown into the rest of the buffer.
void TProfileForm::LineTo(int x, int y, QRgb color)
{
    DrawLine(strip_, first_ + pen_.x(), pen_.y(), first_ + x, y, color);
    pen_ = QPoint(x, y);
}

void TProfileForm::DrawEmptyStrip()
{
    strip_.fill(kBlack);
    first_ = 0;
    for (int row : kGridRows) {
        pen_ = QPoint(0, row);
        LineTo(W, row, kOlive);
    }
}

// The strip as last shown moves one pixel left; the new right-most column
// is black.
void TProfileForm::ScrollOneColumn()
{
    Raster raster(strip_);
    if (first_ + W == kBufferWidth) {
        const size_t rowBytes = size_t(W) * sizeof(QRgb);
        for (int y = 0; y < H; ++y)
            std::memcpy(raster.Row(y), raster.Row(y) + first_, rowBytes);
        first_ = 0;
    }
    ++first_;
    const int column = first_ + W - 1;
    for (int y = 0; y < H; ++y)
        raster.Row(y)[column] = kBlack;
}

void TProfileForm::ClearProfile()
{
    DrawEmptyStrip();
    AltImage->SetPicture(strip_, QRect(first_, 0, W, H));
    const int range = maxAltUpDown->Position();
    SetCentredText(PlusLabel, kPlusLeft, kPlusWidth, QString("+%1 m").arg(range));
    SetCentredText(MinusLabel, kMinusLeft, kMinusWidth, QString("-%1 m").arg(range));
}

void TProfileForm::AddAltitude(double differenceM)
{
    const QPoint previous = pen_;
    ScrollOneColumn();
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
    AltImage->SetPicture(strip_, QRect(first_, 0, W, H));
}

void TProfileForm::maxAltUpDownClick()
{
    const UpDownStep step = StepAfterClick(maxAltUpDown->Position(), 2);
    maxAltUpDown->SetIncrement(step.increment);
    maxAltUpDown->SetPosition(step.position);
    ClearProfile();
}
