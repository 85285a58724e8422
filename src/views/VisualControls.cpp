#include "VisualControls.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolButton>
#include <algorithm>

#include "VisualCanvas.h"

TPictureBox::TPictureBox(QWidget* parent, const QRect& geometry) : QWidget(parent)
{
    setGeometry(geometry);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPictureBox::SetPicture(const QImage& image) { SetPicture(image, image.rect()); }

void TPictureBox::SetPicture(const QImage& image, const QRect& source)
{
    picture_ = &image;
    source_ = source & image.rect();
    update();
}

void TPictureBox::UpdatePicture(const QRect& dirty)
{
    if (!dirty.isEmpty())
        update(dirty);
}

QImage TPictureBox::Picture() const
{
    if (!picture_)
        return QImage();
    return source_ == picture_->rect() ? *picture_ : picture_->copy(source_);
}

void TPictureBox::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    const QRect area = event->rect();
    // An opaque picture covering the whole box hides the black under it:
    // filling it first would only double the work of every repaint.
    const bool covered = picture_ && !picture_->hasAlphaChannel() && source_.width() >= width() &&
                         source_.height() >= height();
    if (!covered)
        p.fillRect(area, Qt::black);
    if (!picture_)
        return;
    // Only the part asked for is copied: most repaints cover a few marks.
    const QRect part = area & QRect(QPoint(0, 0), source_.size());
    if (!part.isEmpty())
        p.drawImage(part.topLeft(), *picture_, part.translated(source_.topLeft()));
}

void TPictureBox::mousePressEvent(QMouseEvent* event)
{
    if (onMouseDown)
        onMouseDown(event->position().toPoint().x(), event->position().toPoint().y());
}

void TPictureBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && onDoubleClick)
        onDoubleClick();
}

TUpDown::TUpDown(QWidget* parent, const QRect& geometry, Qt::Orientation orientation, int minimum, int maximum,
                 int position)
    : QWidget(parent), minimum_(minimum), maximum_(std::max(minimum, maximum)), position_(minimum)
{
    setGeometry(geometry);
    setFocusPolicy(Qt::StrongFocus);
    downButton_ = new QToolButton(this);
    upButton_ = new QToolButton(this);
    const bool horizontal = orientation == Qt::Horizontal;
    downButton_->setArrowType(horizontal ? Qt::LeftArrow : Qt::DownArrow);
    upButton_->setArrowType(horizontal ? Qt::RightArrow : Qt::UpArrow);
    const int w = geometry.width(), h = geometry.height();
    if (horizontal) {
        downButton_->setGeometry(0, 0, w / 2, h);
        upButton_->setGeometry(w / 2, 0, w - w / 2, h);
    } else {
        upButton_->setGeometry(0, 0, w, h / 2);
        downButton_->setGeometry(0, h / 2, w, h - h / 2);
    }
    for (QToolButton* b : {downButton_, upButton_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    connect(downButton_, &QToolButton::clicked, this, [this] { StepDown(); });
    connect(upButton_, &QToolButton::clicked, this, [this] { StepUp(); });
    SetPosition(position);
}

void TUpDown::SetPosition(int position) { position_ = std::clamp(position, minimum_, maximum_); }

void TUpDown::Step(int direction)
{
    const long long target = (long long)position_ + (long long)direction * increment_;
    const int next = int(std::clamp<long long>(target, minimum_, maximum_));
    if (next == position_)
        return;
    position_ = next;
    emit Click();
}

void TUpDown::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right:
        StepUp();
        break;
    case Qt::Key_Down:
    case Qt::Key_Left:
        StepDown();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}
