#include "app/Startup.h"

#include "core/AlertSink.h"
#include "store/Database.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

const QString InUse = QStringLiteral("Il database %1 è già in uso da un'altra istanza del programma.");
const QString Created = QStringLiteral("Creato un nuovo database vuoto: %1");
const QString CreatedCaption = QStringLiteral("Informazione");
const QString NotValid = QStringLiteral("Il file %1 non è un database valido: %2");
const QString CompactionFailed = QStringLiteral("Compattazione del database non riuscita: %1");

// The system's text for why `path` cannot be written, empty when it can.
QString writeError(const QString &path)
{
    if (::access(QFile::encodeName(path).constData(), W_OK) == 0)
        return QString();
    return QString::fromLocal8Bit(std::strerror(errno));
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

    if (exists) {
        if (m_readOnly) {
            m_compaction = Compactor::Outcome::Failed;
            alerts.plain(CompactionFailed.arg(compactError));
        } else {
            const Compactor::Result result = Compactor::compact(m_path);
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
    if (m_created)
        alerts.captioned(Created.arg(m_path), CreatedCaption, AlertIcon::Information);
    return true;
}
