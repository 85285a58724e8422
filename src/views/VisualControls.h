#pragma once
// The two controls the plot windows need beyond the shared ones: a picture
// box that shows a finished image and reports mouse-down and double-click,
// and an up-down control (two arrow buttons, a position between a minimum and
// a maximum, an increment, no wrap-around) that reports each step as a click.
#include <QImage>
#include <QWidget>
#include <functional>

class QToolButton;

class TPictureBox : public QWidget {
    Q_OBJECT
public:
    TPictureBox(QWidget* parent, const QRect& geometry);
    // Shows the image, which the owner keeps alive and unchanged until its
    // next SetPicture or UpdatePicture (all drawing happens between two of
    // them, on the main thread), so a refresh costs no copy besides the one
    // to the screen.
    void SetPicture(const QImage& image);
    // Shows the part `source` of the image: a strip that scrolls moves its
    // window over a wider image instead of moving every pixel.
    void SetPicture(const QImage& image, const QRect& source);
    // The picture shown changed only inside `dirty` (box coordinates): only
    // that part is copied to the screen again.
    void UpdatePicture(const QRect& dirty);
    // The picture as shown.
    QImage Picture() const;
    bool Shows(const QImage& image) const { return picture_ == &image; }

    std::function<void(int x, int y)> onMouseDown;
    std::function<void()> onDoubleClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    const QImage* picture_ = nullptr;
    QRect source_;
};

class TUpDown : public QWidget {
    Q_OBJECT
public:
    // Horizontal: left and right arrows; vertical: up and down arrows.
    TUpDown(QWidget* parent, const QRect& geometry, Qt::Orientation orientation, int minimum, int maximum,
            int position);

    int Position() const { return position_; }
    // Sets the position from the program, held within the limits; no click.
    void SetPosition(int position);
    int Increment() const { return increment_; }
    void SetIncrement(int increment) { increment_ = increment > 0 ? increment : 1; }
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }

    // One press of the up (right) or down (left) arrow. A step that would
    // leave the range stops at the limit; a step at the limit does nothing.
    void StepUp() { Step(+1); }
    void StepDown() { Step(-1); }

signals:
    // After a step has moved the position.
    void Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Step(int direction);

    QToolButton* downButton_;
    QToolButton* upButton_;
    int minimum_;
    int maximum_;
    int position_;
    int increment_ = 1;
};
