#pragma once
// Draws a CONSOLE cell as one line of plain text, clipped to the cell. The
// standard delegate lays every cell out as rich, wrapping text, which costs
// more than the intake itself when a flood scrolls the table 20 times a
// second; a log line needs none of it. Every row a flood scrolls in is new
// text, so nothing can be kept between draws: printable ASCII (all the
// message column ever holds) is set as glyphs looked up once per font,
// without the shaping a general text needs; other text is drawn as text.
#include <QGlyphRun>
#include <QRawFont>
#include <QStyledItemDelegate>

#include <array>

class ConsoleDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    static constexpr int kFirstGlyph = 0x20;
    static constexpr int kGlyphs = 0x7F - kFirstGlyph;

    // The glyphs of printable ASCII in the font, looked up when it changes.
    bool Prepare(const QFont& font) const;
    // False when the text is not all printable ASCII.
    bool DrawAscii(QPainter* painter, const QRect& rect, int align, const QString& text) const;

    mutable QFont font_;
    mutable bool prepared_ = false;
    mutable bool usable_ = false;
    mutable QRawFont raw_;
    mutable std::array<quint32, kGlyphs> glyph_{};
    mutable std::array<qreal, kGlyphs> advance_{};
    mutable qreal ascent_ = 0;
    mutable qreal height_ = 0;
    mutable QList<quint32> runGlyphs_;
    mutable QList<QPointF> runPositions_;
};
