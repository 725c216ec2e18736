#pragma once

// Compaction of the database file at start-up: a complete compacted copy is written beside
// the database, flushed, and renamed over it. On any failure the database file stays as it
// was. No write-ahead log, shared-memory index or rollback journal of the old file is ever
// left beside the new one: the rename happens only after the engine has checkpointed,
// closed and removed them.
//
// The caller must hold the database's lock file, so no other console has the file open.

#include <QString>
#include <QStringList>

class Compactor
{
public:
    enum class Outcome
    {
        Compacted, // the database was replaced by its compacted copy
        Unnecessary, // no free pages: nothing to reclaim, the file was left in place
        Failed, // the old file stays; error says why
        NotDatabase, // the file is not a SQLite database; it was not touched
    };
    struct Result
    {
        Outcome outcome = Outcome::Failed;
        QString error;
        bool ok() const { return outcome == Outcome::Compacted || outcome == Outcome::Unnecessary; }
    };

    static inline const QString TempFileName = QStringLiteral("TALVENK.tmp");

    // Compacts the database at `databasePath` (a symbolic link is followed to the real file,
    // whose folder receives the temporary copy). With `force`, a file without free pages is
    // compacted as well.
    static Result compact(const QString &databasePath, bool force = false);

    // The steps after which TESMA_COMPACT_FAULT=<step> ends the process (exit status 99),
    // so tests can interrupt the compaction at each of them.
    static QStringList faultSteps();
};
