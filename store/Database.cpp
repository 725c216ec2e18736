#include "store/Database.h"

#include "store/Statements.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <sys/statvfs.h>

namespace Database {

QString errorText(const QSqlError &error)
{
    const QString engine = error.databaseText();
    return engine.isEmpty() ? error.text() : engine;
}

qint64 freeBytes(const QString &path, QString *error)
{
    struct statvfs fs;
    if (::statvfs(QFile::encodeName(path).constData(), &fs) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return -1;
    }
    return qint64(fs.f_bavail) * qint64(fs.f_frsize);
}

QString filePath(const QSqlDatabase &db)
{
    const QString name = db.databaseName();
    if (!name.startsWith(QLatin1String("file:")))
        return name;
    return QUrl(name).toLocalFile();
}

static QString run(QSqlDatabase db, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        return errorText(query.lastError());
    return QString();
}

QStringList createMissingTables(QSqlDatabase db, QString *error)
{
    return createMissingTables(db, error, Sql::FeatureTables());
}

QStringList createMissingTables(QSqlDatabase db, QString *error, const QList<Sql::TableSchema> &featureTables)
{
    QStringList present;
    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(Sql::ListTables)) {
            *error = errorText(query.lastError());
            return {};
        }
        while (query.next())
            present << query.value(0).toString();
    }
    QStringList created;
    QStringList statements;
    auto missing = [&](const Sql::TableSchema &table) {
        if (present.contains(table.name, Qt::CaseInsensitive))
            return false;
        statements << table.statements;
        return true;
    };
    for (const Sql::TableSchema &table : Sql::CoreTables()) {
        if (missing(table))
            created << table.name;
    }
    for (const Sql::TableSchema &table : featureTables)
        missing(table);
    if (statements.isEmpty())
        return created;

    if (!db.transaction()) {
        *error = errorText(db.lastError());
        return {};
    }
    for (const QString &statement : std::as_const(statements)) {
        if (QString failure = run(db, statement); !failure.isEmpty()) {
            db.rollback();
            *error = failure;
            return {};
        }
    }
    if (!db.commit()) {
        *error = errorText(db.lastError());
        db.rollback();
        return {};
    }
    return created;
}

void close()
{
    if (!QSqlDatabase::contains(ConnectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(ConnectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(ConnectionName);
}

OpenResult open(const QString &path, bool readOnly)
{
    OpenResult result;
    result.readOnly = readOnly;
    close();
    const QFileInfo info(path);
    // An empty file is what a failed or interrupted creation leaves: it is a new database.
    const bool existed = info.exists() && info.size() > 0;
    if (!info.exists() && readOnly) {
        result.error = QStringLiteral("unable to open database file");
        return result;
    }

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), ConnectionName);
    db.setDatabaseName(path);
    if (readOnly)
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    auto fail = [&](const QString &text) {
        result.error = text;
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(ConnectionName);
        return result;
    };
    if (!db.open())
        return fail(errorText(db.lastError()));

    // The engine reads the file's header only now: a file that is not a database fails here,
    // before anything could be written to it.
    if (QString error = run(db, Sql::ProbeSchema); !error.isEmpty()) {
        if (!readOnly)
            return fail(error);
        // A file in write-ahead-log mode needs its shared-memory index beside it, which a
        // read-only folder cannot hold. Nothing can change the file there either (the engine
        // needs a log or journal in the folder to write), so it is read as an immutable file.
        db.close();
        db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + QLatin1String("?immutable=1"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
        if (!db.open())
            return fail(error);
        if (!run(db, Sql::ProbeSchema).isEmpty())
            return fail(error);
    }

    if (!readOnly) {
        // A read-only file keeps its journal mode; the statements that write fail on their own.
        QSqlQuery query(db);
        if (!query.exec(Sql::JournalModeWal))
            return fail(errorText(query.lastError()));
        if (query.next() && query.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
            result.readOnly = true;
    }
    for (const QString &pragma : { Sql::SynchronousFull, Sql::SecureDelete }) {
        if (QString error = run(db, pragma); !error.isEmpty())
            return fail(error);
    }

    if (!result.readOnly) {
        QString error;
        const QStringList created = createMissingTables(db, &error);
        if (!error.isEmpty()) {
            fail(error);
            if (!existed) {
                // A file we created but could not lay out goes, so the next start tries again.
                QFile::remove(path);
                for (const char *suffix : { "-wal", "-shm", "-journal" })
                    QFile::remove(path + QLatin1String(suffix));
            }
            return result;
        }
        result.created = !existed;
        if (existed)
            result.missingTables = created;
    }
    result.db = db;
    return result;
}

OpenResult openConnection(const QString &path, const QString &name)
{
    OpenResult result;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    QString error;
    if (!db.open()) {
        error = errorText(db.lastError());
    } else {
        for (const QString &pragma : { Sql::SynchronousFull, Sql::SecureDelete }) {
            if (error = run(db, pragma); !error.isEmpty())
                break;
        }
    }
    if (!error.isEmpty()) {
        result.error = error;
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        return result;
    }
    result.db = db;
    return result;
}

} // namespace Database
