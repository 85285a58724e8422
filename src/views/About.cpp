#include "About.h"

#include "Glyphs.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
constexpr int kAboutSize = 132;
constexpr int kBevel = 2;
}

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setFixedSize(kAboutSize, kAboutSize);
    setModal(true);
    picture_ = AboutPicture(kAboutSize - 2 * kBevel, kAboutSize - 2 * kBevel);
}

void TAboutForm::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    // Raised bevel: light on the top and left, shadow on the bottom and right.
    p.fillRect(r, QColor(192, 192, 192));
    p.setPen(Qt::white);
    p.drawLine(r.left(), r.top(), r.right() - 1, r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom() - 1);
    p.setPen(QColor(64, 64, 64));
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    p.drawLine(r.right(), r.top(), r.right(), r.bottom());
    p.setPen(QColor(128, 128, 128));
    p.drawLine(r.left() + 1, r.bottom() - 1, r.right() - 1, r.bottom() - 1);
    p.drawLine(r.right() - 1, r.top() + 1, r.right() - 1, r.bottom() - 1);
    p.drawImage(kBevel, kBevel, picture_);
}

void TAboutForm::mousePressEvent(QMouseEvent*) { accept(); }
