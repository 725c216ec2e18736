#include "app/Startup.h"

#include "core/AlertSink.h"
#include "store/DataStores.h"
#include "store/Database.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString InUse = QStringLiteral("Il database %1 è già in uso da un'altra istanza del programma.");
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
    const QString folderError = writeError(QFileInfo(real).absolutePath());

    m_lock = std::make_unique<QLockFile>(lockPath(m_path));
    // A lock is never stale by age: only a lock whose process has gone is taken over.
    m_lock->setStaleLockTime(0);
    const bool locked = m_lock->tryLock(0);
    if (!locked && m_lock->error() == QLockFile::LockFailedError) {
        m_lock.reset();
        alerts.plain(InUse.arg(m_path));
        return false;
    }
    if (!locked)
        m_lock.reset();

    // Without write access to the folder there is no lock and no compaction, and nothing can
    // change the file either; without write access to the file it is opened for reading.
    QString compactError = folderError;
    if (compactError.isEmpty() && !locked)
        compactError = QString::fromLocal8Bit(std::strerror(EACCES));
    if (exists && compactError.isEmpty())
        compactError = writeError(real);
    m_readOnly = !compactError.isEmpty();

    if (!m_readOnly)
        Compactor::removeLeftovers(QFileInfo(real).absolutePath());
    for (const char *suffix : ReadOnlyCompanions) {
        if (QFileInfo::exists(real + QLatin1String(suffix)))
            m_companionsBefore << QLatin1String(suffix);
    }

    if (exists) {
        if (m_readOnly) {
            m_compaction = Compactor::Outcome::Failed;
            alerts.plain(CompactionFailed.arg(compactError));
        } else {
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
    // No page may go out without its row: the statement that writes the rows is prepared
    // now, and the operator hears at once when the table does not take it.
    if (const QString problem = ReportStore(m_db).writeProblem(); !problem.isEmpty())
        alerts.plain(problem);
    return true;
}
