#include "store/Compactor.h"

#include "store/Database.h"
#include "store/Statements.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const QString CompactConnection = QStringLiteral("tesma-compact");
const char *const Companions[] = { "-wal", "-shm", "-journal" };

// Test hook: ends the process at the named step, as a power cut or a kill would.
void faultPoint(const char *step)
{
    const QByteArray fault = qgetenv("TESMA_COMPACT_FAULT");
    if (!fault.isEmpty() && fault == step)
        _exit(99);
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

bool exists(const QString &path)
{
    struct stat st;
    return ::lstat(native(path).constData(), &st) == 0;
}

// Removes a file that may not exist; returns the system's text on a real failure.
QString removeIfPresent(const QString &path)
{
    if (::unlink(native(path).constData()) == 0 || errno == ENOENT)
        return QString();
    return systemError(errno);
}

QString syncPath(const QString &path, int flags, const struct stat *modeFrom = nullptr)
{
    const int fd = ::open(native(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return systemError(errno);
    QString error;
    if (modeFrom) {
        // The group first, since changing it clears the set-group-ID bit that the mode then
        // restores. Only a privileged process may give the copy another owner; otherwise it
        // is ours already.
        const uid_t owner = ::geteuid() == 0 ? modeFrom->st_uid : uid_t(-1);
        if (::fchown(fd, owner, modeFrom->st_gid) != 0)
            error = systemError(errno);
        if (error.isEmpty() && ::fchmod(fd, modeFrom->st_mode & 07777) != 0)
            error = systemError(errno);
    }
    if (error.isEmpty() && ::fsync(fd) != 0 && errno != EINVAL)
        error = systemError(errno);
    ::close(fd);
    return error;
}

// The compaction's own connection, closed and removed when it goes out of scope.
class ScopedConnection
{
public:
    explicit ScopedConnection(const QString &path)
    {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), CompactConnection);
        m_db.setDatabaseName(path);
    }
    ~ScopedConnection() { close(); }
    QSqlDatabase &db() { return m_db; }
    void close()
    {
        if (!m_db.isValid())
            return;
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(CompactConnection);
    }

private:
    QSqlDatabase m_db;
};

Compactor::Result failed(const QString &error)
{
    return { Compactor::Outcome::Failed, error };
}

// Whether this process may give a file the group `gid`.
bool mayUseGroup(gid_t gid)
{
    if (::geteuid() == 0 || gid == ::getegid())
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

QString groupName(gid_t gid)
{
    const struct group *entry = ::getgrgid(gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QString::number(gid);
}

QString mebibytes(qint64 bytes)
{
    return QStringLiteral("%1 MiB").arg(double(bytes) / (1024 * 1024), 0, 'f', 1);
}

// The file's user version, its `UserVersionCompactNext` flag cleared, written straight into
// the header of the copy (bytes 60 to 63, big-endian): nobody has the copy open yet.
QString clearCompactMark(const QString &copy, qint32 userVersion)
{
    const quint32 value = quint32(userVersion & ~Sql::UserVersionCompactNext);
    const unsigned char bytes[4] = { static_cast<unsigned char>(value >> 24), static_cast<unsigned char>(value >> 16),
                                     static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value) };
    const int fd = ::open(native(copy).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return systemError(errno);
    QString error;
    if (::pwrite(fd, bytes, sizeof bytes, 60) != ssize_t(sizeof bytes))
        error = systemError(errno ? errno : EIO);
    ::close(fd);
    return error;
}

} // namespace

QString Compactor::removeLeftovers(const QString &folder)
{
    const QString temp = folder + QLatin1Char('/') + TempFileName;
    for (const QString &path :
         { temp + QLatin1String("-journal"), temp + QLatin1String("-wal"), temp + QLatin1String("-shm"), temp }) {
        if (QString error = removeIfPresent(path); !error.isEmpty())
            return error;
    }
    return QString();
}

bool Compactor::pays(qint64 pages, qint64 freePages, qint64 pageSize)
{
    if (pages <= 0 || freePages <= 0)
        return false;
    return freePages * 10 >= pages || freePages * pageSize >= LargeFreeBytes;
}

namespace {

// One number from a pragma, or nullopt with the engine's text in `error`.
std::optional<qint64> pragmaValue(QSqlQuery &query, const QString &pragma, QString *error)
{
    if (!query.exec(pragma) || !query.next()) {
        *error = Database::errorText(query.lastError());
        return std::nullopt;
    }
    return query.value(0).toLongLong();
}

} // namespace

QStringList Compactor::faultSteps()
{
    return { QStringLiteral("start"),    QStringLiteral("tmp-removed"), QStringLiteral("checkpointed"),
             QStringLiteral("vacuumed"), QStringLiteral("closed"),      QStringLiteral("tmp-synced"),
             QStringLiteral("renamed"),  QStringLiteral("dir-synced") };
}

Compactor::Result Compactor::compact(const QString &databasePath, bool force, const Starting &starting)
{
    // The copy goes beside the real file, so that the rename stays on one file system.
    const QString real = QFileInfo(databasePath).canonicalFilePath();
    if (real.isEmpty())
        return failed(systemError(ENOENT));
    const QString folder = QFileInfo(real).absolutePath();
    const QString temp = folder + QLatin1Char('/') + TempFileName;

    struct stat original;
    if (::stat(native(real).constData(), &original) != 0)
        return failed(systemError(errno));
    if (::access(native(real).constData(), R_OK | W_OK) != 0 || ::access(native(folder).constData(), W_OK | X_OK) != 0)
        return failed(systemError(errno));
    faultPoint("start");

    // A copy left by an interrupted start is incomplete: it goes first, with any journal of its own.
    if (QString error = removeLeftovers(folder); !error.isEmpty())
        return failed(error);
    faultPoint("tmp-removed");

    bool marked = false;
    qint32 version = 0;
    {
        ScopedConnection connection(real);
        QSqlDatabase &db = connection.db();
        if (!db.open())
            return failed(Database::errorText(db.lastError()));
        QSqlQuery query(db);
        if (!query.exec(Sql::ProbeSchema)) {
            const QSqlError error = query.lastError();
            // SQLITE_NOTADB: the header is not a database header at all.
            const bool notDatabase = error.nativeErrorCode() == QLatin1String("26");
            return { notDatabase ? Outcome::NotDatabase : Outcome::Failed, Database::errorText(error) };
        }
        // Moves every committed frame of a write-ahead log into the file and empties the log.
        if (!query.exec(Sql::CheckpointTruncate))
            return failed(Database::errorText(query.lastError()));
        if (query.next() && query.value(0).toInt() != 0)
            return failed(QStringLiteral("database is locked"));
        faultPoint("checkpointed");

        QString error;
        const auto pages = pragmaValue(query, Sql::PageCount, &error);
        const auto freePages = pages ? pragmaValue(query, Sql::FreelistCount, &error) : std::nullopt;
        const auto pageSize = freePages ? pragmaValue(query, Sql::PageSize, &error) : std::nullopt;
        const auto userVersion = pageSize ? pragmaValue(query, Sql::UserVersion, &error) : std::nullopt;
        if (!userVersion)
            return failed(error);
        marked = (*userVersion & Sql::UserVersionCompactNext) != 0;
        version = qint32(*userVersion);
        if (!force && !marked && !pays(*pages, *freePages, *pageSize))
            return { Outcome::Unnecessary, QString() };

        // A copy in the user's own group would lock the others of a shared folder out.
        if (!mayUseGroup(original.st_gid))
            return failed(QStringLiteral("il database appartiene al gruppo %1, di cui l'utente non fa parte")
                              .arg(groupName(original.st_gid)));
        const qint64 needed = (*pages - *freePages) * *pageSize;
        const qint64 available = Database::freeBytes(folder, &error);
        if (available < 0)
            return failed(error);
        if (available < needed + Database::MinimumFreeBytes)
            return { Outcome::NoRoom,
                     QStringLiteral("la copia compattata (%1) non entra nello spazio libero del disco "
                                    "(%2)")
                         .arg(mebibytes(needed), mebibytes(available)) };
        if (starting)
            starting(*pages * *pageSize);

        if (!query.prepare(Sql::VacuumInto))
            return failed(Database::errorText(query.lastError()));
        query.addBindValue(temp);
        if (!query.exec()) {
            const QSqlError sqlError = query.lastError();
            query.finish();
            connection.close();
            removeLeftovers(folder);
            // The file system's count does not see quotas: a full disk or a failed write is
            // the copy not fitting too (SQLITE_FULL, SQLITE_IOERR and its extended codes).
            const int code = sqlError.nativeErrorCode().toInt() & 0xff;
            if (code == 13 || code == 10)
                return { Outcome::NoRoom,
                         QStringLiteral("la copia compattata non entra nello spazio libero del "
                                        "disco (%1)")
                             .arg(Database::errorText(sqlError)) };
            return failed(Database::errorText(sqlError));
        }
        faultPoint("vacuumed");
        query.finish();
        query = QSqlQuery();
        // The last connection to close checkpoints and deletes the log and its index.
        connection.close();
    }
    faultPoint("closed");

    // Anything still beside the old file belongs to it (another program has it open): the new
    // file must not be paired with it, so the old file stays.
    for (const char *suffix : Companions) {
        if (exists(real + QLatin1String(suffix))) {
            removeLeftovers(folder);
            return failed(QStringLiteral("database is locked"));
        }
    }

    if (marked) {
        if (QString error = clearCompactMark(temp, version); !error.isEmpty()) {
            removeLeftovers(folder);
            return failed(error);
        }
    }
    if (QString error = syncPath(temp, O_RDONLY, &original); !error.isEmpty()) {
        removeLeftovers(folder);
        return failed(error);
    }
    faultPoint("tmp-synced");

    if (::rename(native(temp).constData(), native(real).constData()) != 0) {
        const QString error = systemError(errno);
        removeLeftovers(folder);
        return failed(error);
    }
    faultPoint("renamed");

    // The rename itself becomes durable with the folder's entry.
    if (QString error = syncPath(folder, O_RDONLY | O_DIRECTORY); !error.isEmpty())
        return failed(error);
    faultPoint("dir-synced");
    return { Outcome::Compacted, QString() };
}
