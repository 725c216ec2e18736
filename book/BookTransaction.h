#pragma once

// A transaction on the address book's connection for the windows and imports, whose writes
// span more than one store (a user and their group memberships): rolled back and rethrown as
// DataError when anything in it fails.

#include "core/Errors.h"

#include <QSqlDatabase>
#include <QSqlError>

namespace BookTransaction {

inline QString errorText(const QSqlError &error)
{
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

template <typename Body> void run(QSqlDatabase db, Body body)
{
    if (!db.transaction())
        throw DataError(errorText(db.lastError()));
    try {
        body();
        if (!db.commit())
            throw DataError(errorText(db.lastError()));
    } catch (...) {
        db.rollback();
        throw;
    }
}

} // namespace BookTransaction
