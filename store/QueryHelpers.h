#pragma once

// Small helpers the stores share for running statements on the program's connection: a
// prepared statement with bound values, the way text and time stamps are stored, and a
// transaction that rolls back when anything in it fails. Internal to store/.

#include "core/Errors.h"
#include "store/Database.h"
#include "store/Statements.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantList>

namespace QueryHelpers {

// A prepared statement with its values bound in order; throws DataError with the engine's
// text when preparing or running it fails.
inline QSqlQuery run(const QSqlDatabase &db, const QString &statement, const QVariantList &values = {})
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        throw DataError(Database::errorText(query.lastError()));
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw DataError(Database::errorText(query.lastError()));
    return query;
}

// Text columns hold '' rather than NULL for an empty value.
inline QVariant text(const QString &value)
{
    return value.isNull() ? QVariant(QString::fromLatin1("")) : QVariant(value);
}

// A time stamp as stored (local time), NULL for an invalid one.
inline QVariant stamp(const QDateTime &value)
{
    return value.isValid() ? QVariant(value.toLocalTime().toString(Sql::DateTimeFormat))
                           : QVariant(QMetaType::fromType<QString>());
}

// Runs `body` inside BEGIN/COMMIT on the connection; rolls back and rethrows on failure.
template <typename Body> auto inTransaction(QSqlDatabase db, Body body)
{
    if (!db.transaction())
        throw DataError(Database::errorText(db.lastError()));
    try {
        auto result = body();
        if (!db.commit())
            throw DataError(Database::errorText(db.lastError()));
        return result;
    } catch (...) {
        db.rollback();
        throw;
    }
}

} // namespace QueryHelpers
