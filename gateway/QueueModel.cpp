#include "gateway/QueueModel.h"

#include "core/DisplayFormats.h"

namespace {

QString shown(const QDateTime &when)
{
    return DisplayFormats::formatDateTime(when.toLocalTime());
}

} // namespace

QueueModel::QueueModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void QueueModel::setRows(QList<GatewayPage> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void QueueModel::setPageOnWire(qint64 id)
{
    const int before = rowOf(m_onWire);
    m_onWire = id;
    for (int row : { before, rowOf(id) }) {
        if (row >= 0)
            emit dataChanged(index(row, NextTry), index(row, NextTry));
    }
}

qint64 QueueModel::idAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).id : 0;
}

int QueueModel::rowOf(qint64 id) const
{
    if (id == 0)
        return -1;
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).id == id)
            return row;
    }
    return -1;
}

const GatewayPage *QueueModel::at(int row) const
{
    return row >= 0 && row < m_rows.size() ? &m_rows.at(row) : nullptr;
}

QString QueueModel::title(int column)
{
    static const QString titles[ColumnCount] = {
        QStringLiteral("Ricevuta"),  QStringLiteral("Client"),
        QStringLiteral("Login"),     QStringLiteral("Destinatario"),
        QStringLiteral("Codifica"),  QStringLiteral("Testo"),
        QStringLiteral("Tentativi"), QStringLiteral("Prossimo tentativo"),
        QStringLiteral("Scadenza"),
    };
    return column >= 0 && column < ColumnCount ? titles[column] : QString();
}

QString QueueModel::cellText(const GatewayPage &row, int column, bool onWire)
{
    const GatewayPage &page = row;
    switch (column) {
    case Received:
        return DisplayFormats::formatDateTime(page.dispTime);
    case Client:
        return page.client;
    case Login:
        return page.login;
    case Recipient:
        return page.recipt;
    case PinId:
        return QString::fromLatin1(page.header);
    case Text:
        return QString::fromLatin1(page.prefix + page.body);
    case Tries:
        return QString::number(row.tries);
    case NextTry: {
        if (onWire)
            return QStringLiteral("in trasmissione");
        // A held page is not tried before its time, whatever its next try says.
        QDateTime next = row.nextTry;
        if (page.holdUntil.isValid() && (!next.isValid() || page.holdUntil > next))
            next = page.holdUntil;
        return next.isValid() ? shown(next) : QStringLiteral("subito");
    }
    case Expires:
        return row.expires.isValid() ? shown(row.expires) : QStringLiteral("nessuna");
    }
    return {};
}

int QueueModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int QueueModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant QueueModel::data(const QModelIndex &index, int role) const
{
    const GatewayPage *row = at(index.row());
    if (!row || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return cellText(*row, index.column(), row->id == m_onWire);
}

QVariant QueueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return title(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}
