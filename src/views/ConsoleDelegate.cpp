#include "ConsoleDelegate.h"

#include <QPainter>

namespace {
constexpr int kTextMargin = 3;
}

void ConsoleDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    if (selected)
        painter->fillRect(option.rect, option.palette.highlight());
    QColor colour = selected ? option.palette.highlightedText().color() : option.palette.text().color();
    if (const QVariant fore = index.data(Qt::ForegroundRole); fore.isValid() && !selected)
        colour = fore.value<QBrush>().color();
    const QVariant align = index.data(Qt::TextAlignmentRole);
    painter->save();
    painter->setClipRect(option.rect);
    painter->setPen(colour);
    painter->setFont(option.font);
    painter->drawText(option.rect.adjusted(kTextMargin, 0, -kTextMargin, 0),
                      align.isValid() ? align.toInt() : int(Qt::AlignLeft | Qt::AlignVCenter),
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
}
