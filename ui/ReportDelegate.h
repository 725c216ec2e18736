#pragma once

// Draws the cells of a report grid: the memo column (msg) as its first 20 characters and
// " ..." when the text has 20 or more, clipped to the cell, from its very left and top
// edges, over the cell's normal or selection background. Other cells are drawn as usual.

#include <QStyledItemDelegate>

class ReportDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // DBGrid1DrawColumnCell: the text a cell of `column` shows for `text`.
    static QString cellText(int column, const QString &text);
};
