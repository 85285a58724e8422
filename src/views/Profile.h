#pragma once
// The PROFILE window: a scrolling strip of the height against the reference.
// Each value moves the strip one pixel left and joins the previous value to
// the new one in the right-most column; the range sets the metres of the
// top and bottom edges.
#include "Controls.h"

#include <QImage>
#include <QPoint>

class TPictureBox;
class TUpDown;

class TProfileForm : public TViewForm {
    Q_OBJECT
public:
    explicit TProfileForm(QWidget* parent = nullptr);
    ~TProfileForm() override;
    void ClearProfile();
    // differenceM: the reference altitude minus the current altitude.
    void AddAltitude(double differenceM);

    void FormShow();
    void maxAltUpDownClick();

    // The strip as shown.
    QImage StripBitmap() const;
    // Where the last value was drawn, the start of the next line.
    QPoint PenPosition() const { return pen_; }

    TPictureBox* AltImage = nullptr;
    QLabel* PlusLabel = nullptr;
    QLabel* MinusLabel = nullptr;
    TUpDown* maxAltUpDown = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void DrawEmptyStrip();
    void LineTo(int x, int y, QRgb color);
    void ScrollOneColumn();

    // Twice the strip's width: the strip shown is the columns first_ ..
    // first_ + width - 1, so a scroll moves first_ instead of every
    // pixel; once the right half is used up, it is copied back to the left
    // half (one copy every `width` values).
    QImage strip_;
    int first_ = 0;
    QPoint pen_;  // in strip coordinates
    bool headless_ = false;
};
