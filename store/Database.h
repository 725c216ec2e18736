#pragma once

// The program's one SQLite connection: opened on the database file, with write-ahead
// logging and full synchronisation; a missing file is created with the four tables.
// Nothing here shows a message: failures come back as the engine's text.

#include <QSqlDatabase>
#include <QString>

namespace Database {

inline const QString FileName = QStringLiteral("TALVENK.db");
inline const QString ConnectionName = QStringLiteral("tesma");

struct OpenResult
{
    QSqlDatabase db; // valid and open when error is empty
    bool created = false; // the file did not exist and was created with the four tables
    bool readOnly = false; // opened without write access
    QString error; // the engine's (or the system's) text
};

// Opens the program's connection (ConnectionName) on `path`. With readOnly the file is
// opened for reading only and never created. A file that is not a database is left as it
// was and gives the engine's text.
OpenResult open(const QString &path, bool readOnly = false);

// Closes and removes the program's connection (no-op when there is none).
void close();

// Creates the four tables in one transaction; returns the engine's text on failure.
QString createTables(QSqlDatabase db);

// The text of the last error of a query or connection, engine text first.
QString errorText(const class QSqlError &error);

} // namespace Database
