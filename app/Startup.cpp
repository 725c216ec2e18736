#include "app/Startup.h"

#include "core/AlertSink.h"
#include "store/DataStores.h"
#include "store/Database.h"

#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString InUse = QStringLiteral("Il database %1 è già in uso da un'altra istanza del programma.");
const QString StaleLock = QStringLiteral("Il blocco %1 del processo %2 non può essere rimosso: %3");
const QString ReadOnly = QStringLiteral("Il database %1 è aperto in sola lettura: %2");
const QString Created = QStringLiteral("Creato un nuovo database vuoto: %1");
const QString CreatedCaption = QStringLiteral("Informazione");
const QString NotValid = QStringLiteral("Il file %1 non è un database valido: %2");
const QString CompactionFailed = QStringLiteral("Compattazione del database non riuscita: %1");
const QString TablesMissing = QStringLiteral("Nel database %1 mancavano le tabelle: %2. Sono state create vuote.");
const char *const ReadOnlyCompanions[] = { "-wal", "-shm" };

// The system's text for why `path` cannot be written, empty when it can.
QString writeError(const QString &path)
{
    if (::access(QFile::encodeName(path).constData(), W_OK) == 0)
        return QString();
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Whether another process holds a lock on any byte of `path` (the engine locks the database
// and its index for as long as a connection has them open).
bool lockedByOther(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno != ENOENT;
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    const bool locked = ::fcntl(fd, F_GETLK, &probe) != 0 || probe.l_type != F_UNLCK;
    ::close(fd);
    return locked;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Whether the process that wrote a lock file is gone: it ran on this machine, and its number
// now belongs to no process, or to a program of another name.
bool holderGone(qint64 pid, const QString &hostname, const QString &appname)
{
    if (pid <= 0 || (!hostname.isEmpty() && hostname != QSysInfo::machineHostName()))
        return false;
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return true;
    // The toolkit names the holder by its executable, as the system shows it.
    QString running = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
    if (running.endsWith(QLatin1String(" (deleted)")))
        running.chop(10);
    return !running.isEmpty() && !appname.isEmpty() && QFileInfo(running).fileName() != appname;
}

enum class Removal
{
    Removed,
    Held, // a live process holds it after all
    Failed,
};

// Takes away the lock file of a process that is gone, where the toolkit could not: it opens
// the file for writing first, which a lock of another user of a shared folder refuses. The
// file is removed only while nobody holds its lock and while it is still the file examined
// (another console may have replaced it meanwhile). `error` gets the system's text.
Removal removeStaleLock(const QString &lockPath, QString *error)
{
    const QByteArray path = QFile::encodeName(lockPath);
    if (::access(QFile::encodeName(QFileInfo(lockPath).absolutePath()).constData(), W_OK | X_OK) != 0) {
        *error = systemError(errno);
        return Removal::Failed;
    }
    QLockFile guard(lockPath + QLatin1String(".rmlock"));
    if (!guard.tryLock(0))
        return Removal::Held;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return Removal::Removed;
        *error = systemError(errno);
        return Removal::Failed;
    }
    Removal result = Removal::Removed;
    struct stat opened, named;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        result = Removal::Held;
    } else if (::fstat(fd, &opened) != 0 || ::lstat(path.constData(), &named) != 0 || opened.st_ino != named.st_ino
               || opened.st_dev != named.st_dev) {
        result = Removal::Held;
    } else if (::unlink(path.constData()) != 0) {
        *error = systemError(errno);
        result = Removal::Failed;
    }
    ::close(fd);
    return result;
}

// Why the lock file cannot be made when the toolkit does not say: it drops the error of a
// failed write (a full disk), so the file is made and written once more to hear it.
QString lockFailure(const QString &lockPath)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(lockPath).absolutePath());
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        return systemError(errno);
    const QByteArray path = QFile::encodeName(lockPath);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return systemError(errno);
    const QByteArray probe(256, '\n');
    const ssize_t written = ::write(fd, probe.constData(), size_t(probe.size()));
    const int error = written < 0 ? errno : written < probe.size() ? ENOSPC : 0;
    const int synced = error == 0 && ::fsync(fd) != 0 ? errno : 0;
    ::close(fd);
    ::unlink(path.constData());
    return systemError(error ? error : synced ? synced : EIO);
}

} // namespace

Startup::Startup(const QString &workingDirectory)
    : m_path(workingDirectory + QLatin1Char('/') + Database::FileName)
{
}

Startup::~Startup()
{
    m_db = QSqlDatabase();
    Database::close();
    if (m_readOnly && m_lock)
        removeReadOnlyCompanions();
}

void Startup::removeReadOnlyCompanions()
{
    // A connection that may not write cannot checkpoint, so the engine leaves the log and
    // index it made beside a database in write-ahead-log mode. They go when they were not
    // there before the console opened the file, the log is empty, and no other program has
    // the database open.
    const QString real = QFileInfo(m_path).canonicalFilePath();
    if (real.isEmpty() || !m_companionsBefore.isEmpty())
        return;
    const QString wal = real + QLatin1String("-wal");
    const QString shm = real + QLatin1String("-shm");
    if (QFileInfo(wal).size() > 0 || lockedByOther(real) || lockedByOther(shm))
        return;
    QFile::remove(wal);
    QFile::remove(shm);
}

QString Startup::lockPath(const QString &databasePath)
{
    // Beside the real file, so that two folders linking the same database share one lock.
    const QFileInfo info(databasePath);
    const QString real = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    return real + QLatin1String(".lock");
}

bool Startup::run(AlertSink &alerts)
{
    const QFileInfo info(m_path);
    const bool exists = info.exists();
    const QString real = exists ? info.canonicalFilePath() : info.absoluteFilePath();
    const QString lockFile = lockPath(m_path);

    m_lock = std::make_unique<QLockFile>(lockFile);
    // A lock is never stale by age: only a lock whose process has gone is taken over.
    m_lock->setStaleLockTime(0);
    bool locked = m_lock->tryLock(0);
    // Why the database can only be read; said once, unless the lock's own message says it.
    QString readOnlyReason;
    bool told = false;
    if (!locked && m_lock->error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString hostname, appname;
        if (!m_lock->getLockInfo(&pid, &hostname, &appname) || !holderGone(pid, hostname, appname)) {
            m_lock.reset();
            alerts.plain(InUse.arg(m_path));
            return false;
        }
        // The toolkit found the holder gone as well, but could not take its lock away.
        const Removal removal = removeStaleLock(lockFile, &readOnlyReason);
        if (removal == Removal::Removed)
            locked = m_lock->tryLock(0);
        if (removal == Removal::Held
            || (removal == Removal::Removed && !locked && m_lock->error() == QLockFile::LockFailedError)) {
            m_lock.reset();
            alerts.plain(InUse.arg(m_path));
            return false;
        }
        if (removal == Removal::Failed) {
            alerts.plain(StaleLock.arg(lockFile, QString::number(pid), readOnlyReason));
            told = true;
        }
    }
    if (!locked) {
        if (readOnlyReason.isEmpty())
            readOnlyReason = lockFailure(lockFile);
        m_lock.reset();
    }

    // Without the lock, or without write access to the folder, there is no compaction and
    // nothing can change the file either; without write access to the file it is opened for
    // reading.
    if (readOnlyReason.isEmpty())
        readOnlyReason = writeError(QFileInfo(real).absolutePath());
    if (exists && readOnlyReason.isEmpty())
        readOnlyReason = writeError(real);
    m_readOnly = !readOnlyReason.isEmpty();

    if (!m_readOnly)
        Compactor::removeLeftovers(QFileInfo(real).absolutePath());
    for (const char *suffix : ReadOnlyCompanions) {
        if (QFileInfo::exists(real + QLatin1String(suffix)))
            m_companionsBefore << QLatin1String(suffix);
    }

    if (exists && m_readOnly) {
        m_compaction = Compactor::Outcome::Failed;
        if (!told)
            alerts.plain(ReadOnly.arg(m_path, readOnlyReason));
        told = true;
    } else if (exists) {
        const Compactor::Result result = Compactor::compact(m_path, false, [this](qint64 bytes) {
            if (m_notice && bytes > m_noticeBytes)
                m_notice();
        });
        m_compaction = result.outcome;
        if (result.outcome == Compactor::Outcome::NotDatabase) {
            alerts.plain(NotValid.arg(m_path, result.error));
            return false;
        }
        if (!result.ok())
            alerts.plain(CompactionFailed.arg(result.error));
    }

    Database::OpenResult opened = Database::open(m_path, m_readOnly);
    if (!opened.error.isEmpty()) {
        alerts.plain(NotValid.arg(m_path, opened.error));
        return false;
    }
    m_db = opened.db;
    m_readOnly = opened.readOnly;
    m_created = opened.created;
    m_missingTables = opened.missingTables;
    if (m_created)
        alerts.captioned(Created.arg(m_path), CreatedCaption, AlertIcon::Information);
    else if (!m_missingTables.isEmpty())
        alerts.captioned(TablesMissing.arg(m_path, m_missingTables.join(QLatin1String(", "))), CreatedCaption,
                         AlertIcon::Information);
    // No page may go out without its row: the operator hears at once when none could be
    // stored (a table of other columns, a full disk), and "Invia" asks again before every run.
    if (!told) {
        if (const QString problem = ReportStore(m_db).writeCheck(); !problem.isEmpty())
            alerts.plain(problem);
    }
    return true;
}
