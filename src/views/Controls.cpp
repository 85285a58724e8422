#include "Controls.h"

#include <QPainter>
#include <QPaintEvent>

QFont UiFont(bool bold, int pointSize)
{
    // The windows are laid out for a narrow 8-point face; the condensed cut of
    // DejaVu Sans keeps the texts inside their places.
    QFont font("DejaVu Sans");
    font.setStretch(QFont::SemiCondensed);
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

TViewForm::TViewForm(int width, int height, const QRect& stripRect, const QString& caption, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setFixedSize(width, height);
    setFont(UiFont());
    titleStrip_ = new QLabel(caption, this);
    titleStrip_->setGeometry(stripRect);
    titleStrip_->setFrameShape(QFrame::Box);
    titleStrip_->setLineWidth(1);
    titleStrip_->setAutoFillBackground(true);
    QPalette pal = titleStrip_->palette();
    pal.setColor(QPalette::Window, QColor(kSilver));
    pal.setColor(QPalette::WindowText, QColor(kBlue));
    titleStrip_->setPalette(pal);
    titleStrip_->setFont(UiFont());
}

void TViewForm::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    p.setPen(Qt::white);
    p.drawLine(r.left(), r.top(), r.right(), r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom());
    p.setPen(QColor(128, 128, 128));
    p.drawLine(r.left() + 1, r.bottom(), r.right(), r.bottom());
    p.drawLine(r.right(), r.top() + 1, r.right(), r.bottom());
}

ValueLabel::ValueLabel(QWidget* parent, int x, int y, const QString& text, bool bold, Anchor anchor)
    : QLabel(parent), anchor_(anchor), edge_(x)
{
    setFont(UiFont(bold));
    setAlignment(anchor == Right ? (Qt::AlignRight | Qt::AlignTop) : (Qt::AlignLeft | Qt::AlignTop));
    move(x, y);
    SetText(text);
}

void ValueLabel::SetText(const QString& text)
{
    if (text == this->text() && !text.isEmpty())
        return;
    setText(text);
    const int width = fontMetrics().horizontalAdvance(text);
    const int height = fontMetrics().height();
    if (anchor_ == Right)
        setGeometry(edge_ - width, y(), width, height);
    else
        resize(width, height);
}

void ValueLabel::SetColor(QRgb color)
{
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor(color));
    setPalette(pal);
}

FlatGlyphButton::FlatGlyphButton(QWidget* parent, const QRect& geometry, const QString& hint, Painter painter)
    : QAbstractButton(parent), painter_(std::move(painter))
{
    setGeometry(geometry);
    setToolTip(hint);
    setFocusPolicy(Qt::NoFocus);
}

QImage FlatGlyphButton::Render() const
{
    QImage image(size(), QImage::Format_RGB32);
    image.fill(palette().color(QPalette::Button));
    QPainter p(&image);
    painter_(p, QRect(QPoint(0, 0), size()), isEnabled());
    return image;
}

void FlatGlyphButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r(QPoint(0, 0), size());
    if (isEnabled() && (hover_ || isDown())) {
        p.setPen(isDown() ? QColor(128, 128, 128) : Qt::white);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(isDown() ? Qt::white : QColor(128, 128, 128));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    }
    painter_(p, r, isEnabled());
}

void FlatGlyphButton::enterEvent(QEnterEvent*)
{
    hover_ = true;
    update();
}

void FlatGlyphButton::leaveEvent(QEvent*)
{
    hover_ = false;
    update();
}

MaskedEdit::MaskedEdit(QWidget* parent, const QRect& geometry, const QString& qtMask, const QString& initialText)
    : QLineEdit(parent)
{
    setGeometry(geometry);
    setFrame(false);
    setFont(UiFont(true));
    setInputMask(qtMask);
    setText(initialText);
}

QString MaskedEdit::ReadText() const
{
    QString text = displayText();
    text.replace(QChar('_'), QChar(' '));
    return text;
}
