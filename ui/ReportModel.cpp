#include "ui/ReportModel.h"

#include "core/DisplayFormats.h"
#include "store/Database.h"
#include "store/Statements.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <optional>
#include <vector>

namespace {

struct Row
{
    qint64 num = 0;
    QVariant values[ReportModel::ColumnCount];
    // The two dates as shown, and the formats they were shown with: a grid paints every
    // cell again and again, and parsing and formatting a date costs more than the rest.
    mutable QString shown[2];
    mutable QString shownWith;
};

struct Page
{
    int index = 0;
    QList<Row> rows;
    quint64 lastUse = 0;
};

// A stored date and time as the grids show it. The stored text is local time
// ("yyyy-MM-dd HH:mm:ss.zzz"); it is read field by field and shown as stored, without
// consulting the time zone, which would cost a look at the system's zone file per value.
QString shownStamp(const QVariant &value)
{
    const QString text = value.toString();
    if (text.isEmpty())
        return QString();
    const QStringView view(text);
    const QDate date = QDate::fromString(view.left(10), Qt::ISODate);
    const QTime time = text.size() > 11 && text.at(10) == QLatin1Char(' ')
        ? QTime::fromString(view.mid(11), Qt::ISODateWithMs)
        : QTime();
    if (date.isValid() && time.isValid())
        return DisplayFormats::formatDateTime(QDateTime(date, time, Qt::UTC));
    // Any other text the engine holds: the general reading.
    QDateTime when = QDateTime::fromString(text, Sql::DateTimeFormat);
    if (!when.isValid())
        when = QDateTime::fromString(text, Qt::ISODateWithMs);
    return DisplayFormats::formatDateTime(when);
}

} // namespace

struct ReportModel::Private
{
    QSqlDatabase db;
    bool open = false;
    int sortColumn = -1;
    bool descending = false;
    bool hasNulls = false; // the sort column holds NULL: page by position only
    int count = 0;
    qint64 newestNum = 0;
    int current = -1;
    mutable QString lastError;
    mutable std::vector<Page> pages;
    mutable quint64 useClock = 0;

    QString key() const { return sortColumn <= Num ? Sql::ReportSortKeys[Num] : Sql::ReportSortKeys[sortColumn]; }
    bool keyedByNum() const { return sortColumn <= Num; }
    static QString word(bool desc) { return desc ? QStringLiteral("DESC") : QStringLiteral("ASC"); }
    static QString comparison(bool desc) { return desc ? QStringLiteral("<") : QStringLiteral(">"); }
    // A statement template of the report views with its fixed pieces put in.
    QString statement(const QString &text, bool desc) const
    {
        QString out = text;
        return out.replace(QLatin1String("%1"), key())
            .replace(QLatin1String("%2"), word(desc))
            .replace(QLatin1String("%3"), comparison(desc));
    }
    QVariant keyValue(const Row &row) const { return keyedByNum() ? QVariant(row.num) : row.values[sortColumn]; }

    bool prepare(QSqlQuery &query, const QString &statement, const QVariantList &values) const
    {
        query.setForwardOnly(true);
        if (!query.prepare(statement)) {
            lastError = Database::errorText(query.lastError());
            return false;
        }
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec()) {
            lastError = Database::errorText(query.lastError());
            return false;
        }
        return true;
    }

    QList<Row> select(const QString &statement, const QVariantList &values) const
    {
        QList<Row> rows;
        QSqlQuery query(db);
        if (!prepare(query, statement, values))
            return rows;
        while (query.next()) {
            Row row;
            row.num = query.value(Num).toLongLong();
            for (int c = 0; c < ColumnCount; ++c)
                row.values[c] = query.value(c);
            rows.append(std::move(row));
        }
        return rows;
    }

    // The first value of the first row of a one-row statement.
    std::optional<QList<QVariant>> scalar(const QString &statement, const QVariantList &values, int columns) const
    {
        QSqlQuery query(db);
        if (!prepare(query, statement, values) || !query.next())
            return std::nullopt;
        QList<QVariant> out;
        for (int c = 0; c < columns; ++c)
            out << query.value(c);
        return out;
    }

    QList<Row> pageAt(int offset, int n, bool desc) const
    {
        return select(statement(Sql::ReportViewPageAt, desc), { n, offset });
    }

    QList<Row> pageAfter(const Row &from, int n, bool desc) const
    {
        const QVariant value = keyValue(from);
        return select(statement(Sql::ReportViewPageAfter, desc), { value, value, from.num, n });
    }

    const Page *find(int index) const
    {
        for (Page &page : pages) {
            if (page.index == index) {
                page.lastUse = ++useClock;
                return &page;
            }
        }
        return nullptr;
    }

    const Page *load(int index) const
    {
        const int first = index * PageSize;
        const int n = std::min(PageSize, count - first);
        if (n <= 0)
            return nullptr;
        QList<Row> rows;
        const Page *before = hasNulls ? nullptr : find(index - 1);
        const Page *after = hasNulls ? nullptr : find(index + 1);
        if (before && before->rows.size() == PageSize) {
            rows = pageAfter(before->rows.last(), n, descending);
        } else if (after && !after->rows.isEmpty()) {
            rows = pageAfter(after->rows.first(), n, !descending);
            std::reverse(rows.begin(), rows.end());
        } else if (first <= count - first - n) {
            rows = pageAt(first, n, descending);
        } else {
            // Nearer the end: read backwards from the last row.
            rows = pageAt(count - first - n, n, !descending);
            std::reverse(rows.begin(), rows.end());
        }
        if (pages.size() >= static_cast<size_t>(MaxPages)) {
            auto oldest = std::min_element(pages.begin(), pages.end(),
                                           [](const Page &a, const Page &b) { return a.lastUse < b.lastUse; });
            pages.erase(oldest);
        }
        pages.push_back(Page { index, std::move(rows), ++useClock });
        return &pages.back();
    }

    const Row *row(int r) const
    {
        if (!open || r < 0 || r >= count)
            return nullptr;
        const int index = r / PageSize;
        const Page *page = find(index);
        if (!page)
            page = load(index);
        const int at = r - index * PageSize;
        return page && at < page->rows.size() ? &page->rows[at] : nullptr;
    }

    bool readCount()
    {
        const auto counted = scalar(Sql::ReportCount, {}, 1);
        const auto newest = counted ? scalar(Sql::ReportNewestNum, {}, 1) : std::nullopt;
        if (!newest)
            return false;
        count = counted->at(0).toInt();
        newestNum = newest->at(0).toLongLong();
        return true;
    }

    bool readHasNulls()
    {
        if (keyedByNum())
            return false;
        const auto values = scalar(statement(Sql::ReportViewHasNulls, false), {}, 1);
        return values && values->at(0).toInt() != 0;
    }

    // Position of the row `num` in view order, counted by the database; -1 on failure.
    int positionOf(const Row &posted) const
    {
        const QVariant value = keyValue(posted);
        if (!hasNulls && !value.isNull()) {
            // Rows before it in view order are the rows after it in the opposite order.
            const bool desc = !descending;
            const auto values = scalar(statement(Sql::ReportViewCountAfter, desc), { value, value, posted.num }, 1);
            return values ? values->at(0).toInt() : -1;
        }
        QSqlQuery query(db);
        if (!prepare(query, statement(Sql::ReportViewNums, descending), {}))
            return -1;
        for (int at = 0; query.next(); ++at) {
            if (query.value(0).toLongLong() == posted.num)
                return at;
        }
        return -1;
    }
};

ReportModel::ReportModel(QSqlDatabase db, QObject *parent)
    : QAbstractTableModel(parent)
    , d(std::make_unique<Private>())
{
    d->db = db;
}

ReportModel::~ReportModel() = default;

void ReportModel::open(const QString &sortField, bool descending)
{
    beginResetModel();
    d->pages.clear();
    d->lastError.clear();
    d->sortColumn = columnOf(sortField);
    d->descending = d->sortColumn >= 0 && descending;
    d->open = d->readCount();
    d->hasNulls = d->open && d->readHasNulls();
    if (!d->open)
        d->count = 0;
    d->current = d->count > 0 ? 0 : -1;
    endResetModel();
    emit currentRowRequested(d->current);
}

void ReportModel::release()
{
    // Each page is read by a statement that is finished at once, so nothing holds the
    // table once the cached pages are gone.
    beginResetModel();
    d->pages.clear();
    d->open = false;
    d->count = 0;
    d->current = -1;
    endResetModel();
    emit currentRowRequested(-1);
}

void ReportModel::rowPosted()
{
    if (!d->open)
        return;
    const auto since = d->scalar(Sql::ReportCountSince, { d->newestNum }, 2);
    if (!since)
        return;
    const int added = since->at(0).toInt();
    if (added <= 0)
        return;
    const qint64 newest = since->at(1).toLongLong();

    int position = -1;
    if (d->keyedByNum() && !d->descending) {
        position = d->count + added - 1;
        beginInsertRows(QModelIndex(), d->count, position);
    } else if (d->keyedByNum()) {
        position = 0;
        beginInsertRows(QModelIndex(), 0, added - 1);
    } else {
        const QList<Row> rows = d->select(Sql::ReportViewRowByNum, { newest });
        if (rows.isEmpty())
            return;
        if (rows.first().values[d->sortColumn].isNull())
            d->hasNulls = true;
        position = added == 1 ? d->positionOf(rows.first()) : -1;
        if (position < 0 || position > d->count) {
            // Several rows at once: show the new order as a whole.
            beginResetModel();
            d->pages.clear();
            d->count += added;
            d->newestNum = newest;
            endResetModel();
            d->current = std::max(0, d->positionOf(rows.first()));
            emit currentRowRequested(d->current);
            return;
        }
        beginInsertRows(QModelIndex(), position, position);
    }
    d->pages.clear();
    d->count += added;
    d->newestNum = newest;
    endInsertRows();
    d->current = position;
    emit currentRowRequested(position);
}

void ReportModel::rowRemoved(int row)
{
    if (!d->open || row < 0 || row >= d->count)
        return;
    beginRemoveRows(QModelIndex(), row, row);
    d->pages.clear();
    --d->count;
    endRemoveRows();
    d->current = std::min(d->current, d->count - 1);
    emit currentRowRequested(d->current);
}

bool ReportModel::isOpen() const
{
    return d->open;
}

int ReportModel::sortColumn() const
{
    return d->sortColumn;
}

bool ReportModel::sortDescending() const
{
    return d->descending;
}

QString ReportModel::lastError() const
{
    return d->lastError;
}

int ReportModel::currentRow() const
{
    return d->current;
}

void ReportModel::setCurrentRow(int row)
{
    row = std::clamp(row, -1, d->count - 1);
    if (row == d->current)
        return;
    d->current = row;
    emit currentRowRequested(row);
}

qint64 ReportModel::numAt(int row) const
{
    const Row *r = d->row(row);
    return r ? r->num : 0;
}

QString ReportModel::messageAt(int row) const
{
    const Row *r = d->row(row);
    return r ? r->values[Msg].toString() : QString();
}

int ReportModel::cachedPages() const
{
    return static_cast<int>(d->pages.size());
}

QString ReportModel::fieldName(int column)
{
    static const char *const names[] = { "num", "recipt", "pin_id", "disptime", "sent", "sendtime", "status", "msg" };
    return column >= 0 && column < ColumnCount ? QString::fromLatin1(names[column]) : QString();
}

int ReportModel::columnOf(const QString &name)
{
    for (int c = 0; c < ColumnCount; ++c) {
        if (name.compare(fieldName(c), Qt::CaseInsensitive) == 0)
            return c;
    }
    return -1;
}

QString ReportModel::title(int column)
{
    static const QString titles[] = { QStringLiteral("N°"),       QStringLiteral("Destinatario"),
                                      QStringLiteral("Codifica"), QStringLiteral("Data di accodamento"),
                                      QStringLiteral("Inviato"),  QStringLiteral("Data di invio"),
                                      QStringLiteral("Stato"),    QStringLiteral("Testo del messaggio") };
    return column >= 0 && column < ColumnCount ? titles[column] : QString();
}

QString ReportModel::memoCellText(const QString &text)
{
    return text.size() >= 20 ? text.left(20) + QStringLiteral(" ...") : text;
}

int ReportModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : d->count;
}

int ReportModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ReportModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.column() >= ColumnCount || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const Row *r = d->row(index.row());
    if (!r)
        return {};
    const QVariant &value = r->values[index.column()];
    if (role == Qt::EditRole)
        return value;
    switch (index.column()) {
    case Num:
        return r->num;
    case DispTime:
    case SendTime: {
        const QString formats = DisplayFormats::shortDateFormat() + QLatin1Char('|') + DisplayFormats::longTimeFormat();
        if (r->shownWith != formats) {
            r->shown[0] = shownStamp(r->values[DispTime]);
            r->shown[1] = shownStamp(r->values[SendTime]);
            r->shownWith = formats;
        }
        return r->shown[index.column() == DispTime ? 0 : 1];
    }
    default:
        return value.toString();
    }
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return title(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool ReportViewSort::click(int column)
{
    if (column < 0 || column >= ReportModel::Msg)
        return false;
    m_direction = m_direction == Desc ? Asc : Desc;
    return true;
}

QString ReportViewSort::directionText() const
{
    switch (m_direction) {
    case Desc:
        return QStringLiteral(" DESC");
    case Asc:
        return QStringLiteral(" ASC");
    default:
        return QString();
    }
}
