#pragma once
// Small widgets shared by every window: the common look of the view windows
// (borderless, raised bevel, silver title strip), labels that keep an edge
// when their text changes, flat glyph buttons and masked edits that read back
// unfilled positions as blanks.
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

class QStyleOptionComboBox;
#include <functional>
#include <initializer_list>
#include <string>

// Core texts are 8-bit with 0xB0 as the degree sign.
inline QString FromText(const std::string& text) { return QString::fromLatin1(text.data(), qsizetype(text.size())); }
inline std::string ToText(const QString& text) { return text.toLatin1().toStdString(); }

// The 8-point sans-serif face of every window.
QFont UiFont(bool bold = false, int pointSize = 8);

constexpr QRgb kSilver = qRgb(192, 192, 192);
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kLime = qRgb(0, 255, 0);

// A borderless window with a raised bevel over its client area and a title
// strip (single border, silver, blue caption).
class TViewForm : public QWidget {
    Q_OBJECT
public:
    TViewForm(int width, int height, const QRect& stripRect, const QString& caption, QWidget* parent = nullptr);

    QLabel* TitleStrip() const { return titleStrip_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* titleStrip_;
};

// A label sized to its text. A right-aligned one keeps its right edge.
class ValueLabel : public QLabel {
    Q_OBJECT
public:
    enum Anchor { Left, Right };
    ValueLabel(QWidget* parent, int x, int y, const QString& text, bool bold, Anchor anchor = Left);
    // Right anchor: x is the right edge.
    void SetText(const QString& text);
    void SetText(const std::string& text) { SetText(FromText(text)); }
    void SetColor(QRgb color);
    // Width of a text as this label lays it out.
    int TextWidth(const QString& text) const;
    // Right anchor: a text that would reach left of `left` in the label's
    // font is drawn a point smaller, so that it keeps clear of its caption.
    void SetLeftLimit(int left);

protected:
    // Values change with every fix, many times a second in fast playback, so
    // the label draws Latin-1 texts from cached glyph images instead of
    // shaping them anew on every paint.
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FitFont(const QString& text);

    Anchor anchor_;
    int edge_;
    mutable class GlyphCache* normalGlyphs_ = nullptr;
    int leftLimit_ = -1;
    QFont fullFont_;
    int fullTop_ = 0;
    class GlyphCache* fullGlyphs_ = nullptr;
};

// Moves a column of captions left, as far as needed, so that each keeps two
// pixels clear of its right-aligned value showing the widest text it takes.
struct CaptionOfValue {
    ValueLabel* caption;
    const ValueLabel* value;
    const char* widest;
};
void KeepCaptionsClear(std::initializer_list<CaptionOfValue> column);

// A plain-text label of fixed place and size whose text changes often (the
// counters and the information line): drawn from cached glyph images.
class FastLabel : public QLabel {
    Q_OBJECT
public:
    FastLabel(const QString& text, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A combo box whose widest item shows whole in a box laid out too narrow for
// it: the text field takes what it lacks from the margin on its left.
class TextFitComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    // Width of the field the current text is drawn in.
    int TextRoom() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect TextField(const QStyleOptionComboBox& option) const;
};

// A combo box whose current text, when longer than its field, is elided in
// the middle, so that a network address keeps its scheme and its port; the
// owner keeps the whole text in the tooltip. A text that fits is drawn as
// QComboBox draws it.
class ElidedComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    // The current text as drawn.
    QString ShownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A flat button whose glyph is drawn by the owner, in a normal and a disabled look.
class FlatGlyphButton : public QAbstractButton {
    Q_OBJECT
public:
    using Painter = std::function<void(QPainter&, const QRect&, bool enabled)>;
    FlatGlyphButton(QWidget* parent, const QRect& geometry, const QString& hint, Painter painter);
    // The glyph as drawn now, for tests and screenshots.
    QImage Render() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    Painter painter_;
    bool hover_ = false;
};

// A line edit with an input mask. Unfilled positions read back as blanks,
// and literals stay in place, so fixed character positions can be parsed.
class MaskedEdit : public QLineEdit {
    Q_OBJECT
public:
    MaskedEdit(QWidget* parent, const QRect& geometry, const QString& qtMask, const QString& initialText);
    QString ReadText() const;
    std::string ReadLatin1() const { return ToText(ReadText()); }
};
