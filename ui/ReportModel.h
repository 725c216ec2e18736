#pragma once

// The report data set: one model over table report, shared by the report pane and the
// report window. It reads rows by key in pages on demand and keeps only a few pages, so a
// table of a million rows costs no more memory than one of a thousand.

#include <QAbstractTableModel>
#include <QSqlDatabase>
#include <memory>

class ReportModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // The eight columns in grid order.
    enum Column
    {
        Num,
        Recipt,
        PinId,
        DispTime,
        Sent,
        SendTime,
        Status,
        Msg,
        ColumnCount
    };

    static constexpr int PageSize = 64;
    static constexpr int MaxPages = 12;

    explicit ReportModel(QSqlDatabase db, QObject *parent = nullptr);
    ~ReportModel() override;

    // Opens the data set; an empty sortField means no sort order (insertion order).
    // sortField is one of the eight column names; anything else is ignored.
    // A failure leaves the data set empty and closed, with the engine's text in lastError().
    void open(const QString &sortField = QString(), bool descending = false);
    // Releases every open statement (before the table is dropped); the data set is empty
    // and closed until the next open().
    void release();
    // A row was posted by the driver: show it at once and make it the current row (the
    // last row, in insertion order).
    void rowPosted();
    // The row at `row` was deleted from table report: drop it from the views.
    void rowRemoved(int row);

    bool isOpen() const;
    int sortColumn() const; // -1 without a sort order
    bool sortDescending() const;
    QString lastError() const;

    // The data set's current row (its cursor), shared by both views; -1 when empty.
    int currentRow() const;
    void setCurrentRow(int row);

    qint64 numAt(int row) const; // 0 outside the data set
    QString messageAt(int row) const;
    int cachedPages() const;

    static QString fieldName(int column); // "num", "recipt", ... "msg"
    static int columnOf(const QString &fieldName); // -1 for any other text
    static QString title(int column); // "N°", "Destinatario", ...
    // A memo cell shows the first 20 characters and " ..." when the text has 20 or more.
    static QString memoCellText(const QString &text);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // The current row changed to `row` (after rowPosted, the posted row; -1 when empty).
    void currentRowRequested(int row);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The sort direction of one view: empty at first; the first title click sorts descending
// and every further click flips the direction, whichever column is clicked. The memo
// column is never sorted and leaves the direction as it was.
class ReportViewSort
{
public:
    // False (nothing to do) for the memo column or an unknown column.
    bool click(int column);
    bool descending() const { return m_direction == Desc; }
    // "", " DESC" or " ASC".
    QString directionText() const;

private:
    enum Direction
    {
        None,
        Desc,
        Asc
    } m_direction
        = None;
};
