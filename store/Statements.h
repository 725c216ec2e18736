#pragma once

// Every statement the program issues against its database, once, in one place. Values are
// never spliced into these texts: each `?` is bound by the caller, so a name holding an
// apostrophe is an ordinary name. The name columns are declared COLLATE NOCASE, so the
// lookups and duplicate checks below ignore the letter case of ASCII letters.

#include "store/GatewayStatements.h"
#include "store/GroupStatements.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace Sql {

// ---- schema -------------------------------------------------------------------------------

inline const QString CreateRecipients = QStringLiteral(
    "CREATE TABLE recipients ( num INTEGER PRIMARY KEY AUTOINCREMENT, Recipient TEXT COLLATE NOCASE, "
    "FirstName TEXT, LastName TEXT, Company TEXT, JobTitle TEXT, Comment TEXT, PinID TEXT, SendName INTEGER )");
inline const QString CreateTemplates = QStringLiteral(
    "CREATE TABLE templates ( num INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT COLLATE NOCASE, Content TEXT )");
inline const QString CreateSerial = QStringLiteral("CREATE TABLE serial ( Port INTEGER, Baud INTEGER, Data INTEGER )");
// disptime and sendtime hold local time as "yyyy-MM-dd HH:mm:ss.zzz".
inline const QString CreateReport = QStringLiteral(
    "CREATE TABLE report ( num INTEGER PRIMARY KEY AUTOINCREMENT, recipt varchar(50) , pin_id varchar(10), "
    "disptime TEXT, sent varchar(3), sendtime TEXT, status varchar(20), msg TEXT ) ");
inline const QString DropReport = QStringLiteral("DROP TABLE report");

// The names of every table and index in the file (compared without regard to case, as the
// engine does).
inline const QString ListTables = QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('table', 'index')");

// ---- recipients ---------------------------------------------------------------------------

inline const QString SelectRecipients = QStringLiteral("Select * From recipients");
// Lookup of one user (transmit driver, send list).
inline const QString SelectRecipientByName = QStringLiteral("Select * From recipients Where Recipient=?");
// Duplicate check before a new user is saved.
inline const QString SelectRecipientDuplicate = QStringLiteral("Select * from recipients where Recipient=?");
// Duplicate check before an edited user is saved: the row itself (num) does not count.
inline const QString SelectRecipientDuplicateOther
    = QStringLiteral("Select * from recipients where  Recipient=? and num <> ?");
inline const QString InsertRecipient = QStringLiteral(
    "INSERT INTO recipients (Recipient, FirstName, LastName, Company, JobTitle, Comment, PinID, SendName) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
inline const QString UpdateRecipient
    = QStringLiteral("UPDATE recipients SET Recipient=?, FirstName=?, LastName=?, Company=?, JobTitle=?, Comment=?, "
                     "PinID=?, SendName=? WHERE num=?");
inline const QString DeleteRecipient = QStringLiteral("DELETE FROM recipients WHERE num=?");

// ---- templates ----------------------------------------------------------------------------

inline const QString SelectTemplates = QStringLiteral("Select * From templates");
inline const QString SelectTemplateByName = QStringLiteral("Select * From templates Where Name=?");
inline const QString SelectTemplateDuplicate = QStringLiteral("Select * from templates where Name=?");
inline const QString SelectTemplateDuplicateOther
    = QStringLiteral("Select * from templates where  Name=? and num <> ?");
inline const QString InsertTemplate = QStringLiteral("INSERT INTO templates (Name, Content) VALUES (?, ?)");
inline const QString UpdateTemplate = QStringLiteral("UPDATE templates SET Name=?, Content=? WHERE num=?");
inline const QString DeleteTemplate = QStringLiteral("DELETE FROM templates WHERE num=?");

// ---- serial -------------------------------------------------------------------------------

// The COM settings window: default row, showing and storing the settings.
inline const QString SelectSerialSettings = QStringLiteral("Select * from serial");
// The transmit driver and the main window's status text.
inline const QString SelectSerial = QStringLiteral("Select * From serial");
inline const QString InsertSerial = QStringLiteral("INSERT INTO serial (Port, Baud, Data) VALUES (?, ?, ?)");
// Edit and post of the first row (the one every reader uses).
inline const QString UpdateSerialFirstRow = QStringLiteral(
    "UPDATE serial SET Port=?, Baud=?, Data=? WHERE rowid=(SELECT rowid FROM serial ORDER BY rowid LIMIT 1)");

// ---- report -------------------------------------------------------------------------------

inline const QString SelectReport = QStringLiteral("select * from report");
inline const QString InsertReport = QStringLiteral(
    "INSERT INTO report (recipt, pin_id, disptime, sent, sendtime, status, msg) VALUES (?, ?, ?, ?, ?, ?, ?)");
inline const QString SelectReportByNum = QStringLiteral("select * from report where num=?");
inline const QString DeleteReport = QStringLiteral("DELETE FROM report WHERE num=?");

// ---- report views -------------------------------------------------------------------------
// The report grids read the table a screen at a time, by key, in the order of the clicked
// column. The only texts ever put into the templates below are these constants: %1 one of
// ReportSortKeys, %2 "ASC" or "DESC", %3 ">" or "<". Text is ordered without regard to
// letter case, and num breaks ties so that equal values keep a stable order. Without a
// sort order the key is num itself (its value bound in place of the column's).

// Per column of the grids, in grid order (num, recipt, pin_id, disptime, sent, sendtime, status, msg).
inline const QString ReportSortKeys[8] = {
    QStringLiteral("num"),
    QStringLiteral("recipt COLLATE NOCASE"),
    QStringLiteral("pin_id COLLATE NOCASE"),
    QStringLiteral("disptime COLLATE NOCASE"),
    QStringLiteral("sent COLLATE NOCASE"),
    QStringLiteral("sendtime COLLATE NOCASE"),
    QStringLiteral("status COLLATE NOCASE"),
    QStringLiteral("msg COLLATE NOCASE"),
};
// Indexes for every sortable column but num (the key itself). Run them where the report
// table is created (new database, "Cancella"), in the same transaction.
inline const QString CreateReportIndexes[6] = {
    QStringLiteral("CREATE INDEX IF NOT EXISTS report_by_recipt ON report (recipt COLLATE NOCASE, num)"),
    QStringLiteral("CREATE INDEX IF NOT EXISTS report_by_pin_id ON report (pin_id COLLATE NOCASE, num)"),
    QStringLiteral("CREATE INDEX IF NOT EXISTS report_by_disptime ON report (disptime COLLATE NOCASE, num)"),
    QStringLiteral("CREATE INDEX IF NOT EXISTS report_by_sent ON report (sent COLLATE NOCASE, num)"),
    QStringLiteral("CREATE INDEX IF NOT EXISTS report_by_sendtime ON report (sendtime COLLATE NOCASE, num)"),
    QStringLiteral("CREATE INDEX IF NOT EXISTS report_by_status ON report (status COLLATE NOCASE, num)"),
};
// Asked apart: a lone COUNT(*) is answered from the b-tree's page counts of the smallest
// index, MAX(num) from the last key; together they would walk every row.
inline const QString ReportCount = QStringLiteral("SELECT COUNT(*) FROM report");
inline const QString ReportNewestNum = QStringLiteral("SELECT MAX(num) FROM report");
// Rows posted since the newest row the view knows of (num only grows).
inline const QString ReportCountSince = QStringLiteral("SELECT COUNT(*), MAX(num) FROM report WHERE num > ?");
inline const QString ReportViewRowByNum
    = QStringLiteral("SELECT num, recipt, pin_id, disptime, sent, sendtime, status, msg FROM report WHERE num = ?");
inline const QString ReportViewHasNulls = QStringLiteral("SELECT EXISTS (SELECT 1 FROM report WHERE %1 IS NULL)");
// A page at a position: LIMIT ? OFFSET ?.
inline const QString ReportViewPageAt = QStringLiteral(
    "SELECT num, recipt, pin_id, disptime, sent, sendtime, status, msg FROM report ORDER BY %1 %2, num %2 "
    "LIMIT ? OFFSET ?");
// A page following a key (value, value, num): LIMIT ?.
inline const QString ReportViewPageAfter
    = QStringLiteral("SELECT num, recipt, pin_id, disptime, sent, sendtime, status, msg FROM report "
                     "WHERE %1 %3= ? AND (%1 %3 ? OR num %3 ?) ORDER BY %1 %2, num %2 LIMIT ?");
// The count of rows following a key (value, value, num).
inline const QString ReportViewCountAfter
    = QStringLiteral("SELECT COUNT(*) FROM report WHERE %1 %3= ? AND (%1 %3 ? OR num %3 ?)");
// Every num in view order (the slow way to a position, for a column holding NULL).
inline const QString ReportViewNums = QStringLiteral("SELECT num FROM report ORDER BY %1 %2, num %2");

// ---- the tables a database must hold --------------------------------------------------------

struct TableSchema
{
    QString name;
    QStringList statements; // the CREATE statement first, then its indexes
};

// The four tables of the console. A database lacking one gets it created empty, and the
// operator is told which were missing.
inline const QList<TableSchema> &CoreTables()
{
    static const QList<TableSchema> tables = [] {
        QStringList report { CreateReport };
        for (const QString &index : CreateReportIndexes)
            report << index;
        return QList<TableSchema> { { QStringLiteral("recipients"), { CreateRecipients } },
                                    { QStringLiteral("templates"), { CreateTemplates } },
                                    { QStringLiteral("serial"), { CreateSerial } },
                                    { QStringLiteral("report"), report } };
    }();
    return tables;
}

// The SNPP gateway's settings, its queue of accepted pages, and where their report rows came from.
inline const QList<TableSchema> &GatewayTables()
{
    static const QList<TableSchema> tables { { QStringLiteral("gateway"), { CreateGateway } },
                                             { QStringLiteral("gateway_queue"), { CreateGatewayQueue } },
                                             { QStringLiteral("report_origin"), { CreateReportOrigin } } };
    return tables;
}

// Tables that later features of the console keep. A database made before a feature existed
// lacks its tables: they are created here at start-up, without telling the operator. A
// feature adds its entry (name, CREATE statement and indexes) to this list; an index that a
// feature needs on one of the four tables is an entry of its own, named after the index.
inline const QList<TableSchema> &FeatureTables()
{
    static const QList<TableSchema> tables = [] {
        QStringList members { CreateGroupMembers };
        for (const QString &index : CreateGroupMembersIndexes)
            members << index;
        return GatewayTables()
            + QList<TableSchema> { { QStringLiteral("recipients_by_name"), { CreateRecipientsByName } },
                                   { QStringLiteral("groups"), { CreateGroups } },
                                   { QStringLiteral("group_members"), members } };
    }();
    return tables;
}

// ---- CSV export ---------------------------------------------------------------------------
// Every row up to a num, in the order of a report view (%1, %2 as in the views' templates),
// with the client and login of a page from another system after the report's own columns.
// (num, joined by USING, is the report's own.)
inline const QString ReportExportRows
    = QStringLiteral("SELECT num, recipt, pin_id, disptime, sent, sendtime, status, msg, client, login FROM report "
                     "LEFT JOIN report_origin USING (num) WHERE num <= ? ORDER BY %1 %2, num %2");
// The same from a file made before pages were traced, opened read-only (nothing could add the table).
inline const QString ReportExportRowsWithoutOrigin
    = QStringLiteral("SELECT num, recipt, pin_id, disptime, sent, sendtime, status, msg, NULL, NULL FROM report "
                     "WHERE num <= ? ORDER BY %1 %2, num %2");

// ---- engine -------------------------------------------------------------------------------

// Reads the schema: fails with the engine's text when the file is not a database.
inline const QString ProbeSchema = QStringLiteral("SELECT count(*) FROM sqlite_master");
inline const QString JournalModeWal = QStringLiteral("PRAGMA journal_mode=WAL");
inline const QString SynchronousFull = QStringLiteral("PRAGMA synchronous=FULL");
inline const QString CheckpointTruncate = QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)");
inline const QString FreelistCount = QStringLiteral("PRAGMA freelist_count");
inline const QString PageCount = QStringLiteral("PRAGMA page_count");
inline const QString PageSize = QStringLiteral("PRAGMA page_size");
// Deleted rows are overwritten in the file, so their text never lingers in free pages.
inline const QString SecureDelete = QStringLiteral("PRAGMA secure_delete=ON");
// Overwrites deleted text only where that costs no extra writes: for dropping a whole table,
// whose pages a VACUUM then removes from the file (ON would write every page into the log).
inline const QString SecureDeleteFast = QStringLiteral("PRAGMA secure_delete=FAST");
// The file's user version holds flags of the console (see UserVersionCompactNext).
inline const QString UserVersion = QStringLiteral("PRAGMA user_version");
// Set by earlier versions with "Cancella": the next start compacts whatever the free pages.
// The compacted copy has it cleared.
inline constexpr qint32 UserVersionCompactNext = 0x1;
inline const QString VacuumInto = QStringLiteral("VACUUM INTO ?");
inline const QString Vacuum = QStringLiteral("VACUUM");
// Takes the write lock the way a report row does, without writing anything. On a file that
// may only be read the engine quietly makes it a read transaction; the statement that
// deletes nothing is refused there, as a row would be.
inline const QString BeginImmediate = QStringLiteral("BEGIN IMMEDIATE");
inline const QString ProbeReportWrite = QStringLiteral("DELETE FROM report WHERE 0");
inline const QString Rollback = QStringLiteral("ROLLBACK");

// Stored date and time format (local time).
inline const QString DateTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

} // namespace Sql
