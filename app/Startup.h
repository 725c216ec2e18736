#pragma once

// Start-up of the data store, before any window exists: one console per database (a lock
// file beside it), compaction, and the program's connection. Messages go to the alert sink;
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

    QSqlDatabase database() const { return m_db; }
    // Working directory + "/TALVENK.db", as shown to the operator.
    QString databasePath() const { return m_path; }
    // The file or its folder cannot be written (no lock, no compaction): statements that
    // write fail with the engine's text.
    bool readOnly() const { return m_readOnly; }
    bool created() const { return m_created; }
    Compactor::Outcome compaction() const { return m_compaction; }

    // The lock file that keeps a second console away from the database at `databasePath`.
    static QString lockPath(const QString &databasePath);

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    QSqlDatabase m_db;
    bool m_readOnly = false;
    bool m_created = false;
    Compactor::Outcome m_compaction = Compactor::Outcome::Failed;
};
