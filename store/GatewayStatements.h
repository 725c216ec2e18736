#pragma once

// The statements of the gateway's tables. Values are always bound to the `?` placeholders.

#include <QString>

namespace Sql {

inline const QString CreateGateway
    = QStringLiteral("CREATE TABLE gateway ( Enabled INTEGER DEFAULT 0, Address TEXT DEFAULT '127.0.0.1', "
                     "Port INTEGER DEFAULT 4444, Allowed TEXT DEFAULT '127.0.0.1,::1', Login TEXT DEFAULT '', "
                     "Password TEXT DEFAULT '' )");
// disptime holds local time as "yyyy-MM-dd HH:mm:ss.zzz", like the report's. holdtime, NULL
// for a page to send at once, holds UTC in the same format: it is compared with the clock, and
// local time repeats an hour in autumn.
inline const QString CreateGatewayQueue
    = QStringLiteral("CREATE TABLE gateway_queue ( id INTEGER PRIMARY KEY AUTOINCREMENT, recipt TEXT, pin_id TEXT, "
                     "prefix TEXT, msg TEXT, client TEXT, disptime TEXT, holdtime TEXT )");
// A queue made before pages could be held gets the column added at start-up.
inline const QString GatewayQueueHasHoldTime
    = QStringLiteral("SELECT count(*) FROM pragma_table_info('gateway_queue') WHERE name='holdtime'");
inline const QString AddGatewayQueueHoldTime = QStringLiteral("ALTER TABLE gateway_queue ADD COLUMN holdtime TEXT");
inline const QString TableExists = QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='table' AND name=?");
inline const QString SelectGateway = QStringLiteral("SELECT * FROM gateway LIMIT 1");
inline const QString InsertGatewayDefaults = QStringLiteral("INSERT INTO gateway DEFAULT VALUES");
inline const QString UpdateGatewayFirstRow
    = QStringLiteral("UPDATE gateway SET Enabled=?, Address=?, Port=?, Allowed=?, Login=?, Password=? "
                     "WHERE rowid=(SELECT rowid FROM gateway ORDER BY rowid LIMIT 1)");
inline const QString CountGatewayQueue = QStringLiteral("SELECT count(*) FROM gateway_queue");
inline const QString InsertGatewayQueue = QStringLiteral("INSERT INTO gateway_queue (recipt, pin_id, prefix, msg, "
                                                         "client, disptime, holdtime) VALUES (?, ?, ?, ?, ?, ?, ?)");
inline const QString SelectGatewayQueueHead = QStringLiteral(
    "SELECT id, recipt, pin_id, prefix, msg, client, disptime, holdtime FROM gateway_queue ORDER BY id LIMIT 1");
// The oldest page that is not held past the time bound.
inline const QString SelectGatewayQueueDue
    = QStringLiteral("SELECT id, recipt, pin_id, prefix, msg, client, disptime, holdtime FROM gateway_queue "
                     "WHERE holdtime IS NULL OR holdtime <= ? ORDER BY id LIMIT 1");
// When the first page held past the time bound falls due.
inline const QString SelectGatewayQueueNextHold
    = QStringLiteral("SELECT min(holdtime) FROM gateway_queue WHERE holdtime > ?");
inline const QString DeleteGatewayQueue = QStringLiteral("DELETE FROM gateway_queue WHERE id=?");

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
