#pragma once

// The program's one SQLite connection: opened on the database file, with write-ahead
// logging, full synchronisation and secure deletion. A missing or empty file is created with
// the four tables; a database lacking some of them gets those created empty. Nothing here
// shows a message: failures come back as the engine's text.

#include "store/Statements.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace Database {

inline const QString FileName = QStringLiteral("TALVENK.db");
inline const QString ConnectionName = QStringLiteral("tesma");

struct OpenResult
{
    QSqlDatabase db; // valid and open when error is empty
    bool created = false; // the file did not exist (or was empty) and was created with the four tables
    QStringList missingTables; // of the four, those an existing database lacked (now created empty)
    bool readOnly = false; // opened without write access
    QString error; // the engine's (or the system's) text
};

// Opens the program's connection (ConnectionName) on `path`. With readOnly the file is
// opened for reading only and never created. A file that is not a database is left as it
// was and gives the engine's text.
OpenResult open(const QString &path, bool readOnly = false);

// A further connection named `name` to the database file `path`, which open() has prepared,
// for another thread (the gateway's): the same full synchronisation and secure deletion
// (pragmas belong to a connection), and a busy timeout, so a write waits for the other
// connection's commit instead of failing. Open, use and remove it on that thread.
OpenResult openConnection(const QString &path, const QString &name);
inline constexpr int BusyTimeoutMs = 5000;

// Closes and removes the program's connection (no-op when there is none).
void close();

// Creates the four tables that `db` lacks, and silently any table of a later feature it
// lacks (by default Sql::FeatureTables()), in one transaction; nothing else is touched.
// Returns the names of the four that were created, or the engine's text in `error`.
QStringList createMissingTables(QSqlDatabase db, QString *error);
QStringList createMissingTables(QSqlDatabase db, QString *error, const QList<Sql::TableSchema> &featureTables);

// The text of the last error of a query or connection, engine text first.
QString errorText(const class QSqlError &error);

// The free space a report row, a lock file or a compacted copy must leave on the database's
// file system, so that the rows that follow still fit.
inline constexpr qint64 MinimumFreeBytes = 1024 * 1024;

// Bytes an ordinary user may still write on the file system that holds `path` (statvfs;
// quotas are not seen), or -1 with the system's text in `error`.
qint64 freeBytes(const QString &path, QString *error);

// The file behind a connection: its database name, or the file of a "file:" address.
QString filePath(const QSqlDatabase &db);

} // namespace Database
