#pragma once

// The report data set: one model over table report, shared by the report pane and the
// report window. It reads rows by key in windows on demand and never holds every row.

#include <QAbstractTableModel>
#include <QSqlDatabase>

class ReportModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // The eight columns in grid order.
    enum Column { Num, Recipt, PinId, DispTime, Sent, SendTime, Status, Msg, ColumnCount };

    explicit ReportModel(QSqlDatabase db, QObject *parent = nullptr);

    // Opens the data set; an empty sortField means no sort order (insertion order).
    // sortField is one of the eight column names; anything else is ignored.
    void open(const QString &sortField = QString(), bool descending = false);
    // Releases every open statement (before the table is dropped).
    void release();
    // A row was posted by the driver: show it at once and make the last row current.
    void rowPosted();

    static QString fieldName(int column); // "num", "recipt", ... "msg"

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // The current row changed to `row` (after rowPosted, the last row).
    void currentRowRequested(int row);

private:
    class Private;
    Private *d = nullptr;
};
