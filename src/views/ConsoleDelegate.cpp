#include "ConsoleDelegate.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace {
constexpr int kTextMargin = 3;
}

bool ConsoleDelegate::Prepare(const QFont& font) const
{
    if (prepared_ && font == font_)
        return usable_;
    prepared_ = true;
    font_ = font;
    raw_ = QRawFont::fromFont(font);
    usable_ = raw_.isValid();
    if (!usable_)
        return false;
    QString ascii;
    for (int c = kFirstGlyph; c < kFirstGlyph + kGlyphs; ++c)
        ascii += QChar(c);
    const QList<quint32> glyphs = raw_.glyphIndexesForString(ascii);
    const QList<QPointF> advances = raw_.advancesForGlyphIndexes(glyphs);
    usable_ = glyphs.size() == kGlyphs && advances.size() == kGlyphs;
    for (int i = 0; usable_ && i < kGlyphs; ++i) {
        // A glyph the font lacks would need a fallback font: shape those.
        usable_ = glyphs[i] != 0 || i == 0;
        glyph_[size_t(i)] = glyphs[i];
        advance_[size_t(i)] = advances[i].x();
    }
    // Placed as a single line of text is placed in its rectangle.
    const QFontMetricsF metrics(font);
    ascent_ = metrics.ascent();
    height_ = metrics.height();
    return usable_;
}

bool ConsoleDelegate::DrawAscii(QPainter* painter, const QRect& rect, int align, const QString& text) const
{
    const qsizetype size = text.size();
    runGlyphs_.resize(size);
    runPositions_.resize(size);
    qreal x = 0;
    qsizetype shown = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text[i].unicode();
        if (c < kFirstGlyph || c >= kFirstGlyph + kGlyphs)
            return false;
        // Glyphs wholly past the cell are clipped anyway.
        if (x > rect.width() && !(align & Qt::AlignRight))
            break;
        runGlyphs_[shown] = glyph_[c - kFirstGlyph];
        runPositions_[shown] = QPointF(x, 0);
        x += advance_[c - kFirstGlyph];
        ++shown;
    }
    runGlyphs_.resize(shown);
    runPositions_.resize(shown);
    const qreal left = align & Qt::AlignRight ? rect.right() + 1 - x : rect.left();
    const qreal baseline = rect.top() + std::floor((rect.height() - height_) / 2) + ascent_;
    QGlyphRun run;
    run.setRawFont(raw_);
    run.setGlyphIndexes(runGlyphs_);
    run.setPositions(runPositions_);
    painter->drawGlyphRun(QPointF(left, baseline), run);
    return true;
}

void ConsoleDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    if (selected)
        painter->fillRect(option.rect, option.palette.highlight());
    QColor colour = selected ? option.palette.highlightedText().color() : option.palette.text().color();
    if (const QVariant fore = index.data(Qt::ForegroundRole); fore.isValid() && !selected)
        colour = fore.value<QBrush>().color();
    const QVariant alignment = index.data(Qt::TextAlignmentRole);
    const int align = alignment.isValid() ? alignment.toInt() : int(Qt::AlignLeft | Qt::AlignVCenter);
    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty())
        return;
    const QRect rect = option.rect.adjusted(kTextMargin, 0, -kTextMargin, 0);
    painter->save();
    painter->setClipRect(option.rect);
    painter->setPen(colour);
    if (!Prepare(option.font) || !DrawAscii(painter, rect, align, text)) {
        painter->setFont(option.font);
        painter->drawText(rect, align, text);
    }
    painter->restore();
}
