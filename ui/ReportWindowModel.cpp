#include "ui/ReportWindowModel.h"

#include "ui/ReportModel.h"

#include <algorithm>

ReportWindowModel::ReportWindowModel(ReportModel *source, QObject *parent)
    : QAbstractTableModel(parent)
    , m_source(source)
{
    connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(source, &QAbstractItemModel::modelReset, this, [this] {
        m_top = 0;
        m_rows = std::clamp(m_source->rowCount(), 0, m_span);
        endResetModel();
    });
    connect(source, &QAbstractItemModel::rowsInserted, this, [this] { sync(); });
    connect(source, &QAbstractItemModel::rowsRemoved, this, [this] { sync(); });
    connect(source, &QAbstractItemModel::dataChanged, this, [this] { sync(); });
    connect(source, &ReportModel::currentRowRequested, this, [this] {
        if (m_rows > 0)
            emit headerDataChanged(Qt::Vertical, 0, m_rows - 1);
    });
    m_rows = std::clamp(m_source->rowCount(), 0, m_span);
}

void ReportWindowModel::setWindow(int top, int span)
{
    m_span = std::max(1, span);
    m_top = std::clamp(top, 0, std::max(0, m_source->rowCount() - 1));
    sync();
}

int ReportWindowModel::windowRow(int sourceRow) const
{
    const int row = sourceRow - m_top;
    return sourceRow >= 0 && row >= 0 && row < m_rows ? row : -1;
}

void ReportWindowModel::sync()
{
    const int total = m_source->rowCount();
    m_top = std::clamp(m_top, 0, std::max(0, total - 1));
    const int rows = std::clamp(total - m_top, 0, m_span);
    if (rows > m_rows) {
        beginInsertRows(QModelIndex(), m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    } else if (rows < m_rows) {
        beginRemoveRows(QModelIndex(), rows, m_rows - 1);
        m_rows = rows;
        endRemoveRows();
    }
    if (m_rows > 0) {
        emit dataChanged(index(0, 0), index(m_rows - 1, ReportModel::ColumnCount - 1));
        emit headerDataChanged(Qt::Vertical, 0, m_rows - 1);
    }
}

int ReportWindowModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int ReportWindowModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ReportModel::ColumnCount;
}

QVariant ReportWindowModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() < m_cells.size() ? QVariant(m_cells[index.column()].toInt()) : QVariant();
    return m_source->data(m_source->index(m_top + index.row(), index.column()), role);
}

QVariant ReportWindowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (role == Qt::TextAlignmentRole)
            return section < m_titles.size() ? QVariant(m_titles[section].toInt()) : QVariant();
        return m_source->headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole)
        return m_top + section == m_source->currentRow() ? QStringLiteral("\u25B6") : QString();
    return {};
}
