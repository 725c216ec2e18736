#pragma once

// What one report grid shows of the report data set: the rows from `top` on, as many as
// the grid has room for. A grid over a million rows would otherwise keep geometry for
// every row; through this window it keeps it for one screen. It also carries the grid's
// own alignments and the row indicator of the data set's current row.

#include <QAbstractTableModel>
#include <QList>

class ReportModel;

class ReportWindowModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit ReportWindowModel(ReportModel *source, QObject *parent = nullptr);

    ReportModel *source() const { return m_source; }
    int top() const { return m_top; }
    int span() const { return m_span; }
    // Shows `span` rows from `top` (clamped to the data set).
    void setWindow(int top, int span);

    int sourceRow(int row) const { return m_top + row; }
    int windowRow(int sourceRow) const; // -1 outside the window

    void setCellAlignments(const QList<Qt::Alignment> &alignments) { m_cells = alignments; }
    void setTitleAlignments(const QList<Qt::Alignment> &alignments) { m_titles = alignments; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void sync();

    ReportModel *m_source;
    int m_top = 0;
    int m_span = 1;
    int m_rows = 0; // the row count the views know of
    QList<Qt::Alignment> m_cells;
    QList<Qt::Alignment> m_titles;
};
