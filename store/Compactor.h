#pragma once

// Compaction of the database file at start-up, when it pays: when the free pages are at
// least a tenth of the file's pages or at least 64 MiB, or when an earlier version marked the
// file. Otherwise the write-ahead log is only checkpointed into the file. A complete
// compacted copy is written beside the database, given the file's group and mode, flushed,
// and renamed over it. On any failure the database file stays as it was. No write-ahead log,
// shared-memory index or rollback journal of the old file is ever left beside the new one:
// the rename happens only after the engine has checkpointed, closed and removed them.
//
// A copy is made only when it can keep the file's group (the user belongs to it), so that
// the others who share the folder keep their access, and when the disk can hold it beside
// the old file with Database::MinimumFreeBytes to spare.
//
// The caller must hold the database's lock file, so no other console has the file open.

#include <QString>
#include <QStringList>
#include <functional>

class Compactor
{
public:
    enum class Outcome
    {
        Compacted, // the database was replaced by its compacted copy
        Unnecessary, // too few free pages to pay for a copy: the file was left in place
        Failed, // the old file stays; error says why
        NoRoom, // the copy does not fit the disk (or the user's quota): the old file stays
        NotDatabase, // the file is not a SQLite database; it was not touched
    };
    struct Result
    {
        Outcome outcome = Outcome::Failed;
        QString error;
        bool ok() const { return outcome == Outcome::Compacted || outcome == Outcome::Unnecessary; }
    };

    static inline const QString TempFileName = QStringLiteral("TALVENK.tmp");
    // Free pages worth a copy whatever their share of the file.
    static constexpr qint64 LargeFreeBytes = 64 * 1024 * 1024;

    // Called just before the copy is written, with the size of the file being compacted
    // (its pages, once the log is in it).
    using Starting = std::function<void(qint64 fileBytes)>;

    // Compacts the database at `databasePath` when it pays (a symbolic link is followed to
    // the real file, whose folder receives the temporary copy). With `force`, it is compacted
    // whatever its free pages.
    static Result compact(const QString &databasePath, bool force = false, const Starting &starting = {});

    // Whether a file of `pages` pages of `pageSize` bytes, `freePages` of them free, is
    // worth compacting. A file without pages never is.
    static bool pays(qint64 pages, qint64 freePages, qint64 pageSize);

    // Removes what an interrupted compaction may have left in `folder`: the temporary copy
    // and its journal, log and index. Returns the system's text on failure.
    static QString removeLeftovers(const QString &folder);

    // The steps after which TESMA_COMPACT_FAULT=<step> ends the process (exit status 99),
    // so tests can interrupt the compaction at each of them.
    static QStringList faultSteps();
};
