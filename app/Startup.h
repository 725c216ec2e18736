#pragma once

// Start-up of the data store, before any window exists: one console per database (a lock
// file beside it), compaction when it pays, the program's connection, the tables a damaged
// file lacks, and the statement that writes report rows. Messages go to the alert sink;
// when run() returns false the program ends without creating its windows.
//
//     Startup startup(QDir::currentPath());
//     if (!startup.run(alerts))
//         return 0;
//     DataStores stores(startup.database());
//
// The Startup object holds the lock and must live until the program ends.

#include <QLockFile>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "store/Compactor.h"

class AlertSink;

class Startup
{
public:
    explicit Startup(const QString &workingDirectory);
    ~Startup();
    Startup(const Startup &) = delete;
    Startup &operator=(const Startup &) = delete;

    // Locks, compacts and opens the database; false when the program must end.
    bool run(AlertSink &alerts);

    // Called before a file larger than `bytes` is compacted (by default 64 MiB), so the
    // operator sees that the console is starting.
    void setCompactionNotice(std::function<void()> notice, qint64 bytes = LargeFileBytes)
    {
        m_notice = std::move(notice);
        m_noticeBytes = bytes;
    }
    static constexpr qint64 LargeFileBytes = 64 * 1024 * 1024;

    QSqlDatabase database() const { return m_db; }
    // Working directory + "/TALVENK.db", as shown to the operator.
    QString databasePath() const { return m_path; }
    // The file or its folder cannot be written (no lock, no compaction): statements that
    // write fail with the engine's text.
    bool readOnly() const { return m_readOnly; }
    bool created() const { return m_created; }
    Compactor::Outcome compaction() const { return m_compaction; }
    // The four tables an existing database lacked, now created empty.
    QStringList missingTables() const { return m_missingTables; }

    // The lock file that keeps a second console away from the database at `databasePath`.
    static QString lockPath(const QString &databasePath);

private:
    void removeReadOnlyCompanions();

    QString m_path;
    std::function<void()> m_notice;
    qint64 m_noticeBytes = LargeFileBytes;
    QStringList m_missingTables;
    QStringList m_companionsBefore; // "-wal", "-shm" present before a read-only open
    std::unique_ptr<QLockFile> m_lock;
    QSqlDatabase m_db;
    bool m_readOnly = false;
    bool m_created = false;
    Compactor::Outcome m_compaction = Compactor::Outcome::Failed;
};
