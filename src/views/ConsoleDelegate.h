#pragma once
// Draws a CONSOLE cell as one line of plain text, clipped to the cell. The
// standard delegate lays every cell out as rich, wrapping text, which costs
// more than the intake itself when a flood scrolls the table 20 times a
// second; a log line needs none of it.
#include <QStyledItemDelegate>

class ConsoleDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
