#include "Controls.h"

#include <QHash>
#include <QPainter>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <QPaintEvent>
#include <QStyleOptionComboBox>
#include <QStylePainter>

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

void TViewForm::paintEvent(QPaintEvent* event)
{
    // Most repaints are of a value label well inside the window: the bevel
    // lies on the outermost pixels only, so such a repaint draws nothing here.
    const QRect r = rect();
    if (r.adjusted(1, 1, -1, -1).contains(event->rect()))
        return;
    QPainter p(this);
    p.setPen(Qt::white);
    p.drawLine(r.left(), r.top(), r.right(), r.top());
    p.drawLine(r.left(), r.top(), r.left(), r.bottom());
    p.setPen(QColor(128, 128, 128));
    p.drawLine(r.left() + 1, r.bottom(), r.right(), r.bottom());
    p.drawLine(r.right(), r.top() + 1, r.right(), r.bottom());
}

// Glyph images and advances of one font in one colour, for the 256 Latin-1
// characters. A handful exist for the whole program (a few fonts, a few
// colours), so they are kept for its lifetime.
class GlyphCache {
public:
    GlyphCache(const QFont& font, const QColor& color) : font_(font), color_(color), metrics_(font)
    {
        height_ = metrics_.height();
        ascent_ = metrics_.ascent();
        pad_ = metrics_.height() / 2;
    }

    static GlyphCache* For(const QFont& font, const QColor& color)
    {
        static QHash<QFont, QHash<QRgb, GlyphCache*>> caches;
        GlyphCache*& cache = caches[font][color.rgba()];
        if (cache == nullptr)
            cache = new GlyphCache(font, color);
        return cache;
    }

    int Height() const { return height_; }

    // -1 when the text holds a character outside Latin-1.
    int Width(const QString& text)
    {
        int width = 0;
        for (const QChar c : text) {
            if (c.unicode() > 0xFF)
                return -1;
            width += Advance(c.unicode());
        }
        return width;
    }

    int Advance(ushort c)
    {
        if (advance_[c] < 0)
            advance_[c] = metrics_.horizontalAdvance(QChar(c));
        return advance_[c];
    }

    // The glyph cropped to its inked pixels, and where that crop sits
    // relative to the pen position at the top of the line.
    struct Ink {
        QImage image;
        QPoint offset;
        bool rendered = false;
        // The image's size and pixels, read without a call per glyph row.
        int width = 0;
        int height = 0;
        qsizetype stride = 0;
        const uchar* bits = nullptr;
    };

    const Ink& Glyph(ushort c)
    {
        Ink& ink = glyph_[c];
        if (!ink.rendered) {
            ink.rendered = true;
            QImage full(Advance(c) + 2 * pad_, height_, QImage::Format_ARGB32_Premultiplied);
            full.fill(Qt::transparent);
            {
                QPainter p(&full);
                p.setFont(font_);
                p.setPen(color_);
                p.drawText(QPointF(pad_, ascent_), QString(QChar(c)));
            }
            const QRect inked = InkedRect(full);
            if (!inked.isEmpty()) {
                ink.image = full.copy(inked);
                ink.offset = inked.topLeft() - QPoint(pad_, 0);
                ink.width = ink.image.width();
                ink.height = ink.image.height();
                ink.stride = ink.image.bytesPerLine();
                ink.bits = ink.image.constBits();
            }
        }
        return ink;
    }

private:
    QFont font_;
    QColor color_;
    QFontMetrics metrics_;
    int height_ = 0;
    int ascent_ = 0;
    int pad_ = 0;
    std::array<int, 256> advance_ = MakeUnknown();
    std::array<Ink, 256> glyph_;

    // Smaller glyph images make every paint cheaper: blanks draw nothing.
    static QRect InkedRect(const QImage& image)
    {
        int left = image.width(), right = -1, top = image.height(), bottom = -1;
        for (int y = 0; y < image.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(row[x]) == 0)
                    continue;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
        return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
    }

    static std::array<int, 256> MakeUnknown()
    {
        std::array<int, 256> a;
        a.fill(-1);
        return a;
    }
};

ValueLabel::ValueLabel(QWidget* parent, int x, int y, const QString& text, bool bold, Anchor anchor)
    : QLabel(parent), anchor_(anchor), edge_(x)
{
    setFont(UiFont(bold));
    setTextFormat(Qt::PlainText);
    setAlignment(anchor == Right ? (Qt::AlignRight | Qt::AlignTop) : (Qt::AlignLeft | Qt::AlignTop));
    move(x, y);
    SetText(text);
}

int ValueLabel::TextWidth(const QString& text) const
{
    if (normalGlyphs_ == nullptr)
        normalGlyphs_ = GlyphCache::For(font(), palette().color(QPalette::Active, foregroundRole()));
    const int width = normalGlyphs_->Width(text);
    return width >= 0 ? width : fontMetrics().horizontalAdvance(text);
}

void ValueLabel::SetLeftLimit(int left)
{
    leftLimit_ = left;
    fullFont_ = font();
    fullTop_ = y();
    fullGlyphs_ = GlyphCache::For(fullFont_, Qt::black);
    FitFont(text());
}

void ValueLabel::FitFont(const QString& text)
{
    QFont wanted = fullFont_;
    const int width = fullGlyphs_->Width(text);
    if (anchor_ == Right && (width < 0 ? fontMetrics().horizontalAdvance(text) : width) > edge_ - leftLimit_)
        wanted.setPointSizeF(fullFont_.pointSizeF() - 1);
    if (wanted == font())
        return;
    setFont(wanted);
    // The smaller text stands on the same baseline.
    move(x(), fullTop_ + QFontMetrics(fullFont_).ascent() - QFontMetrics(wanted).ascent());
}

void ValueLabel::SetText(const QString& text)
{
    if (text == this->text() && !text.isEmpty())
        return;
    if (leftLimit_ >= 0)
        FitFont(text);
    setText(text);
    const int width = TextWidth(text);
    const int height = normalGlyphs_->Height();
    // Most new values are as wide as the old ones: moving or resizing a
    // widget to where it already is still costs a round through Qt.
    if (width == this->width() && height == this->height() && (anchor_ == Left || x() == edge_ - width))
        return;
    // A fixed size also spares every later text change a layout request to
    // the parent, which has no layout to act on it.
    setFixedSize(width, height);
    if (anchor_ == Right)
        move(edge_ - width, y());
}

void KeepCaptionsClear(std::initializer_list<CaptionOfValue> column)
{
    constexpr int kGap = 2;
    int left = INT_MAX;
    for (const CaptionOfValue& c : column) {
        const int valueLeft = c.value->x() + c.value->width() - c.value->TextWidth(QString::fromLatin1(c.widest));
        left = std::min({left, c.caption->x(), valueLeft - kGap - c.caption->width()});
    }
    for (const CaptionOfValue& c : column)
        c.caption->move(left, c.caption->y());
}

void ValueLabel::SetColor(QRgb color)
{
    // Views set the colour on every fix; a palette change costs a round of
    // change events through the label, so an unchanged colour is left alone.
    const QPalette& current = palette();
    const QColor wanted(color);
    bool same = true;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        same = same && current.isBrushSet(group, QPalette::WindowText) && current.color(group, QPalette::WindowText) == wanted;
    if (same)
        return;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, QColor(color));
    setPalette(pal);
}

void ValueLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        normalGlyphs_ = nullptr;
    QLabel::changeEvent(event);
}

// Each drawImage call costs far more than its few pixels. When no two glyph
// inks share a column, the glyphs are laid side by side into one image, with
// transparent pixels elsewhere, and drawn with a single call: every target
// pixel is blended with the same source pixel as glyph by glyph, so the
// result is the same. False when inks overlap (then they must be blended in
// turn) or there is nothing to draw.
static bool DrawGlyphRun(QPainter& p, const QString& text, int x, int y, GlyphCache* glyphs)
{
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    int pen = x;
    for (const QChar c : text) {
        const GlyphCache::Ink& ink = glyphs->Glyph(c.unicode());
        if (ink.bits != nullptr) {
            const int inkLeft = pen + ink.offset.x();
            if (inkLeft < right)
                return false;
            left = std::min(left, inkLeft);
            right = inkLeft + ink.width;
            top = std::min(top, y + ink.offset.y());
            bottom = std::max(bottom, y + ink.offset.y() + ink.height);
        }
        pen += glyphs->Advance(c.unicode());
    }
    if (right <= left)
        return false;
    const int width = right - left;
    const int height = bottom - top;
    static QImage run;
    if (run.width() < width || run.height() < height)
        run = QImage(std::max(run.width(), width), std::max(run.height(), height), QImage::Format_ARGB32_Premultiplied);
    const qsizetype stride = run.bytesPerLine();
    uchar* bits = run.bits();
    for (int row = 0; row < height; ++row)
        std::memset(bits + row * stride, 0, size_t(width) * sizeof(QRgb));
    pen = x;
    for (const QChar c : text) {
        const GlyphCache::Ink& ink = glyphs->Glyph(c.unicode());
        if (ink.bits != nullptr) {
            uchar* to = bits + (y + ink.offset.y() - top) * stride + (pen + ink.offset.x() - left) * qsizetype(sizeof(QRgb));
            const uchar* from = ink.bits;
            const size_t rowBytes = size_t(ink.width) * sizeof(QRgb);
            for (int row = 0; row < ink.height; ++row, to += stride, from += ink.stride)
                std::memcpy(to, from, rowBytes);
        }
        pen += glyphs->Advance(c.unicode());
    }
    p.drawImage(QPoint(left, top), run, QRect(0, 0, width, height));
    return true;
}

// Draws a plain-text label from cached glyphs; false when the text holds a
// character the cache does not cover, and the caller must draw it itself.
static bool PaintCachedText(QLabel* label, QPainter& p, GlyphCache* glyphs)
{
    const QString t = label->text();
    const int textWidth = glyphs->Width(t);
    if (textWidth < 0)
        return false;
    const Qt::Alignment align = label->alignment();
    int x = 0;
    if (align & Qt::AlignRight)
        x = label->width() - textWidth;
    else if (align & Qt::AlignHCenter)
        x = (label->width() - textWidth) / 2;
    int y = 0;
    if (align & Qt::AlignBottom)
        y = label->height() - glyphs->Height();
    else if (align & Qt::AlignVCenter)
        y = (label->height() - glyphs->Height()) / 2;
    if (!DrawGlyphRun(p, t, x, y, glyphs)) {
        for (const QChar c : t) {
            const GlyphCache::Ink& ink = glyphs->Glyph(c.unicode());
            if (!ink.image.isNull())
                p.drawImage(x + ink.offset.x(), y + ink.offset.y(), ink.image);
            x += glyphs->Advance(c.unicode());
        }
    }
    return true;
}

static GlyphCache* GlyphsFor(const QLabel* label)
{
    const QColor color =
        label->palette().color(label->isEnabled() ? QPalette::Active : QPalette::Disabled, label->foregroundRole());
    return GlyphCache::For(label->font(), color);
}

void ValueLabel::paintEvent(QPaintEvent* event)
{
    {
        QPainter p(this);
        GlyphCache* glyphs = nullptr;
        if (isEnabled()) {
            if (normalGlyphs_ == nullptr)
                normalGlyphs_ = GlyphCache::For(font(), palette().color(QPalette::Active, foregroundRole()));
            glyphs = normalGlyphs_;
        } else {
            glyphs = GlyphsFor(this);
        }
        if (PaintCachedText(this, p, glyphs))
            return;
    }
    QLabel::paintEvent(event);
}

FastLabel::FastLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
}

void FastLabel::paintEvent(QPaintEvent* event)
{
    if (frameShape() == QFrame::NoFrame) {
        QPainter p(this);
        if (PaintCachedText(this, p, GlyphsFor(this)))
            return;
    }
    QLabel::paintEvent(event);
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

QRect TextFitComboBox::TextField(const QStyleOptionComboBox& option) const
{
    // Where the style draws the label's text: its field less a pixel each side.
    QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    field.adjust(1, 0, -1, 0);
    int widest = 0;
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(i)));
    // What it lacks comes from the margin on the left, down to three pixels
    // from the box's edge, and then from the gap before the arrow's glyph.
    constexpr int kEdge = 3, kArrowGap = 4;
    const int missing = std::max(0, widest - field.width());
    const int left = std::clamp(field.left() - option.rect.left() - kEdge, 0, missing);
    field.adjust(-left, 0, std::min(missing - left, kArrowGap), 0);
    return field;
}

QString ElidedComboBox::ShownText() const
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    // The label's field less the pixel each side the styles keep.
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this)
                            .adjusted(1, 0, -1, 0);
    return fontMetrics().elidedText(currentText(), Qt::ElideMiddle, std::max(field.width(), 0));
}

void ElidedComboBox::paintEvent(QPaintEvent* event)
{
    const QString shown = ShownText();
    if (shown == currentText()) {
        QComboBox::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = shown;
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

int TextFitComboBox::TextRoom() const
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    return TextField(option).width();
}

void TextFitComboBox::paintEvent(QPaintEvent*)
{
    // As QComboBox paints a box without icons or editing, but the text goes
    // into the wider field.
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field = TextField(option);
    painter.setClipRect(field);
    style()->drawItemText(&painter, field, QStyle::visualAlignment(option.direction, option.textAlignment), option.palette,
                          option.state & QStyle::State_Enabled, option.currentText);
}
