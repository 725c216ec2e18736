#pragma once

// The pages waiting in the SNPP queue as the queue window lists them, in arrival order; the
// page on the wire is marked in its next-try column.

#include "store/GatewayStore.h"

#include <QAbstractTableModel>
#include <QList>

class QueueModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        Received,
        Client,
        Login,
        Recipient,
        PinId,
        Text,
        Tries,
        NextTry,
        Expires,
        ColumnCount
    };

    explicit QueueModel(QObject *parent = nullptr);

    void setRows(QList<GatewayPage> rows);
    void setPageOnWire(qint64 id);

    qint64 idAt(int row) const; // 0 outside the list
    int rowOf(qint64 id) const; // -1 when not listed
    const GatewayPage *at(int row) const;

    static QString title(int column);
    // What a cell shows; `onWire` marks the page on the wire.
    static QString cellText(const GatewayPage &row, int column, bool onWire);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<GatewayPage> m_rows;
    qint64 m_onWire = 0;
};
