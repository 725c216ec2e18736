#pragma once

// The statements of the gateway's tables. Values are always bound to the `?` placeholders.

#include <QList>
#include <QPair>
#include <QString>

namespace Sql {

inline const QString CreateGateway
    = QStringLiteral("CREATE TABLE gateway ( Enabled INTEGER DEFAULT 0, Address TEXT DEFAULT '127.0.0.1', "
                     "Port INTEGER DEFAULT 4444, Allowed TEXT DEFAULT '127.0.0.1,::1', Login TEXT DEFAULT '', "
                     "Password TEXT DEFAULT '', ExpiryMinutes INTEGER DEFAULT 60 )");
// A settings table made before a column existed gets it added at start-up (name, then the
// statement). ExpiryMinutes: how long an accepted page may wait for the link, 0 for ever.
inline const QString GatewayColumns = QStringLiteral("SELECT name FROM pragma_table_info('gateway')");
inline const QList<QPair<QString, QString>> &GatewayAddedColumns()
{
    static const QList<QPair<QString, QString>> columns {
        { QStringLiteral("ExpiryMinutes"),
          QStringLiteral("ALTER TABLE gateway ADD COLUMN ExpiryMinutes INTEGER DEFAULT 60") },
    };
    return columns;
}
// disptime holds local time as "yyyy-MM-dd HH:mm:ss.zzz", like the report's. holdtime, NULL
// for a page to send at once, holds UTC in the same format: it is compared with the clock, and
// local time repeats an hour in autumn. The columns after it are described below.
inline const QString CreateGatewayQueue
    = QStringLiteral("CREATE TABLE gateway_queue ( id INTEGER PRIMARY KEY AUTOINCREMENT, recipt TEXT, pin_id TEXT, "
                     "prefix TEXT, msg TEXT, client TEXT, disptime TEXT, holdtime TEXT, login TEXT, "
                     "tries INTEGER DEFAULT 0, next_try TEXT, expires TEXT )");
// A queue made before one of these columns existed gets it added at start-up (name, then the
// statement). login: the SNPP login of the session that queued the page, empty without one.
// tries, next_try and expires: the tries made, when the next is due (UTC as holdtime, NULL
// for now) and when the page is given up (UTC, NULL for never).
inline const QString GatewayQueueColumns = QStringLiteral("SELECT name FROM pragma_table_info('gateway_queue')");
inline const QList<QPair<QString, QString>> &GatewayQueueAddedColumns()
{
    static const QList<QPair<QString, QString>> columns {
        { QStringLiteral("holdtime"), QStringLiteral("ALTER TABLE gateway_queue ADD COLUMN holdtime TEXT") },
        { QStringLiteral("login"), QStringLiteral("ALTER TABLE gateway_queue ADD COLUMN login TEXT") },
        { QStringLiteral("tries"), QStringLiteral("ALTER TABLE gateway_queue ADD COLUMN tries INTEGER DEFAULT 0") },
        { QStringLiteral("next_try"), QStringLiteral("ALTER TABLE gateway_queue ADD COLUMN next_try TEXT") },
        { QStringLiteral("expires"), QStringLiteral("ALTER TABLE gateway_queue ADD COLUMN expires TEXT") },
    };
    return columns;
}
inline const QString TableExists = QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='table' AND name=?");
inline const QString SelectGateway = QStringLiteral("SELECT * FROM gateway LIMIT 1");
inline const QString InsertGatewayDefaults = QStringLiteral("INSERT INTO gateway DEFAULT VALUES");
inline const QString UpdateGatewayFirstRow
    = QStringLiteral("UPDATE gateway SET Enabled=?, Address=?, Port=?, Allowed=?, Login=?, Password=?, ExpiryMinutes=? "
                     "WHERE rowid=(SELECT rowid FROM gateway ORDER BY rowid LIMIT 1)");
inline const QString CountGatewayQueue = QStringLiteral("SELECT count(*) FROM gateway_queue");
inline const QString InsertGatewayQueue
    = QStringLiteral("INSERT INTO gateway_queue (recipt, pin_id, prefix, msg, client, disptime, holdtime, login, "
                     "expires) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
// Every read of a page takes these columns, in this order.
inline const QString SelectGatewayQueuePages
    = QStringLiteral("SELECT id, recipt, pin_id, prefix, msg, client, disptime, holdtime, login, tries, next_try, "
                     "expires FROM gateway_queue ");
inline const QString SelectGatewayQueueHead = SelectGatewayQueuePages + QStringLiteral("ORDER BY id LIMIT 1");
inline const QString SelectGatewayQueueById = SelectGatewayQueuePages + QStringLiteral("WHERE id=?");
// The oldest page neither held nor waiting for its next try past the time bound.
inline const QString SelectGatewayQueueDue = SelectGatewayQueuePages
    + QStringLiteral("WHERE (holdtime IS NULL OR holdtime <= ?) AND (next_try IS NULL OR next_try <= ?) "
                     "ORDER BY id LIMIT 1");
// The pages whose expiry has come by the time bound, oldest first.
inline const QString SelectGatewayQueueExpired
    = SelectGatewayQueuePages + QStringLiteral("WHERE expires IS NOT NULL AND expires <= ? ORDER BY id");
// The whole queue as the queue window lists it, in arrival order.
inline const QString SelectGatewayQueueListing = SelectGatewayQueuePages + QStringLiteral("ORDER BY id");
// "Riprova ora": the page is due at once.
inline const QString UpdateGatewayQueueRetryNow = QStringLiteral("UPDATE gateway_queue SET next_try=NULL WHERE id=?");
// A try that got no answer: counted, and the next one not before the time given.
inline const QString UpdateGatewayQueueTried
    = QStringLiteral("UPDATE gateway_queue SET tries=tries+1, next_try=? WHERE id=?");
// The first time after the bound when a page falls due: its hold ends, its next try comes or
// it expires.
inline const QString SelectGatewayQueueNextEvent
    = QStringLiteral("SELECT min(t) FROM (SELECT holdtime AS t FROM gateway_queue WHERE holdtime > ? "
                     "UNION ALL SELECT next_try FROM gateway_queue WHERE next_try > ? "
                     "UNION ALL SELECT expires FROM gateway_queue WHERE expires > ?)");
inline const QString DeleteGatewayQueue = QStringLiteral("DELETE FROM gateway_queue WHERE id=?");

// Where a report row of a page from another system came from, keyed by the row's num: the
// client's address and its SNPP login. Written with the row, emptied with the report.
inline const QString CreateReportOrigin
    = QStringLiteral("CREATE TABLE report_origin ( num INTEGER PRIMARY KEY, client TEXT, login TEXT )");
inline const QString SelectGatewayQueueOrigin = QStringLiteral("SELECT client, login FROM gateway_queue WHERE id=?");
inline const QString InsertReportOrigin
    = QStringLiteral("INSERT OR REPLACE INTO report_origin (num, client, login) VALUES (?, ?, ?)");
inline const QString SelectReportOrigin = QStringLiteral("SELECT client, login FROM report_origin WHERE num=?");
inline const QString DeleteReportOrigin = QStringLiteral("DELETE FROM report_origin WHERE num=?");
inline const QString ClearReportOrigin = QStringLiteral("DELETE FROM report_origin");

// PAGE looks addressees up by name, one statement kept prepared, through this index (the
// column's NOCASE collation is the index's, so the lookup ignores case as before).
inline const QString SelectGatewayRecipient
    = QStringLiteral("SELECT Recipient, FirstName, PinID, SendName FROM recipients WHERE Recipient=? LIMIT 1");
inline const QString CreateRecipientsByName
    = QStringLiteral("CREATE INDEX IF NOT EXISTS recipients_by_name ON recipients (Recipient)");

inline const QString SavepointEnqueue = QStringLiteral("SAVEPOINT enqueue");
inline const QString ReleaseEnqueue = QStringLiteral("RELEASE SAVEPOINT enqueue");
inline const QString RollbackToEnqueue = QStringLiteral("ROLLBACK TO SAVEPOINT enqueue");

} // namespace Sql
