#include "ui/ReportCsvExport.h"

#include "core/Csv.h"
#include "store/Database.h"
#include "store/Statements.h"
#include "ui/ReportModel.h"

#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

namespace {

// Rows read between two looks at the cancel request and two progress updates.
constexpr int kRowsPerPiece = 512;
// Bytes gathered before they go to the file.
constexpr qsizetype kPieceBytes = 256 * 1024;

// The grid's columns, then where a page from another system came from.
constexpr int kOriginColumns = 2;
constexpr int kExportColumns = ReportModel::ColumnCount + kOriginColumns;

QString orderedStatement(int sortColumn, bool descending, bool withOrigin)
{
    const int column
        = sortColumn > ReportModel::Num && sortColumn < ReportModel::ColumnCount ? sortColumn : ReportModel::Num;
    QString statement = withOrigin ? Sql::ReportExportRows : Sql::ReportExportRowsWithoutOrigin;
    return statement.replace(QLatin1String("%1"), Sql::ReportSortKeys[column])
        .replace(QLatin1String("%2"), descending ? QLatin1String("DESC") : QLatin1String("ASC"));
}

} // namespace

ReportCsvExport::Settings ReportCsvExport::settingsFor(const QSqlDatabase &db, int sortColumn, bool descending,
                                                       const QString &path)
{
    return { db.databaseName(), db.connectOptions(), sortColumn, descending, path };
}

ReportCsvExport::Result ReportCsvExport::run()
{
    const QString name
        = QStringLiteral("tesma-csv-export-%1").arg(reinterpret_cast<quintptr>(QThread::currentThread()), 0, 16);
    Result result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_settings.databaseName);
        QString options = m_settings.connectOptions;
        if (!options.contains(QLatin1String("QSQLITE_OPEN_READONLY")))
            options = options.isEmpty() ? QStringLiteral("QSQLITE_OPEN_READONLY")
                                        : options + QStringLiteral(";QSQLITE_OPEN_READONLY");
        db.setConnectOptions(options);
        if (db.open()) {
            result = write(db);
        } else {
            result.error = Database::errorText(db.lastError());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

ReportCsvExport::Result ReportCsvExport::write(QSqlDatabase db)
{
    Result result;
    auto failed = [&](const QString &error) {
        result.outcome = Result::Failed;
        result.error = error;
        return result;
    };

    QSaveFile file(m_settings.path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());

    // One read transaction: the count and the rows come from the same state of the table.
    if (!db.transaction())
        return failed(Database::errorText(db.lastError()));
    struct EndRead
    {
        QSqlDatabase &db;
        ~EndRead() { db.rollback(); }
    } endRead { db };

    // Count and newest num asked apart: together they would walk every row.
    qint64 newest = 0;
    {
        QSqlQuery bounds(db);
        bounds.setForwardOnly(true);
        if (!bounds.exec(Sql::ReportCount) || !bounds.next())
            return failed(Database::errorText(bounds.lastError()));
        m_total.store(bounds.value(0).toLongLong());
        if (!bounds.exec(Sql::ReportNewestNum) || !bounds.next())
            return failed(Database::errorText(bounds.lastError()));
        newest = bounds.value(0).toLongLong();
    }

    bool withOrigin = false;
    {
        QSqlQuery exists(db);
        exists.setForwardOnly(true);
        if (!exists.prepare(Sql::TableExists))
            return failed(Database::errorText(exists.lastError()));
        exists.addBindValue(QStringLiteral("report_origin"));
        if (!exists.exec() || !exists.next())
            return failed(Database::errorText(exists.lastError()));
        withOrigin = exists.value(0).toInt() > 0;
    }

    QSqlQuery rows(db);
    rows.setForwardOnly(true);
    if (!rows.prepare(orderedStatement(m_settings.sortColumn, m_settings.descending, withOrigin)))
        return failed(Database::errorText(rows.lastError()));
    rows.addBindValue(newest);
    if (!rows.exec())
        return failed(Database::errorText(rows.lastError()));

    QByteArray piece;
    piece.reserve(kPieceBytes + 64 * 1024);
    piece.append(Csv::ByteOrderMark.data(), Csv::ByteOrderMark.size());
    QStringList header;
    for (int c = 0; c < ReportModel::ColumnCount; ++c)
        header << ReportModel::title(c);
    header << QStringLiteral("Client") << QStringLiteral("Login");
    Csv::appendRecord(piece, header);

    auto flush = [&] {
        result.largestPiece = qMax(result.largestPiece, piece.size());
        const bool ok = file.write(piece) == piece.size();
        piece.resize(0);
        return ok;
    };

    qint64 count = 0;
    for (;;) {
        if (count % kRowsPerPiece == 0) {
            m_written.store(count);
            if (m_cancel.load()) {
                file.cancelWriting();
                result.outcome = Result::Cancelled;
                result.rows = count;
                return result;
            }
        }
        if (!rows.next())
            break;
        for (int c = 0; c < kExportColumns; ++c) {
            if (c > 0)
                piece.append(Csv::Separator);
            const QVariant value = rows.value(c);
            if (!value.isNull())
                Csv::appendField(piece, value.toString());
        }
        piece.append("\r\n", 2);
        ++count;
        if (piece.size() >= kPieceBytes && !flush())
            return failed(file.errorString());
    }
    if (rows.lastError().isValid())
        return failed(Database::errorText(rows.lastError()));
    if (!flush())
        return failed(file.errorString());
    if (!file.commit())
        return failed(file.errorString());
    m_written.store(count);
    result.outcome = Result::Written;
    result.rows = count;
    return result;
}
