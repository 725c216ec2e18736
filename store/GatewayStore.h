#pragma once

// The gateway's two tables: its settings (table gateway, one row) and the pages accepted from
// other systems that wait for the link (table gateway_queue). A page leaves the queue in the
// same transaction that writes its report row, so an accepted page is sent or recorded as not
// transmitted, never lost. Every commit runs with synchronous=FULL: a page answered "250"
// survives a power cut. It also finds PAGE's addressees in table recipients.

#include "store/DataStores.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <memory>
#include <optional>

class QSqlQuery;

struct GatewaySettings
{
    bool enabled = false;
    QString address = QStringLiteral("127.0.0.1");
    int port = 4444;
    QString allowed = QStringLiteral("127.0.0.1,::1"); // addresses or CIDR ranges, comma-separated
    QString login; // empty: no login needed
    QString password;
    int expiryMinutes = 60; // "Scadenza (minuti)": how long a page may wait for the link; 0: for ever

    bool operator==(const GatewaySettings &) const = default;
};

// One page as it will be sent, resolved when it was accepted.
struct GatewayPage
{
    qint64 id = 0; // row of gateway_queue, in arrival order
    QString recipt; // the address-book name, or "SNPP  " for a code given directly
    QByteArray header; // encoder header, the report's pin_id
    QByteArray prefix; // framed name prefix ("Mario:") or empty
    QByteArray body;
    QString client; // the client's address
    QString login; // the SNPP login of the session, empty without one
    QDateTime dispTime; // when the page was answered "250"
    QDateTime holdUntil; // not sent before then (HOLD); invalid: at once
    QDateTime expires; // UTC: given up then, with a row "Scaduta"; invalid: never
    int tries = 0; // tries that got no answer
    QDateTime nextTry; // UTC: not tried again before then; invalid: due now (or when its hold ends)
};

class GatewayStore
{
public:
    static constexpr int kQueueLimit = 10000;

    explicit GatewayStore(QSqlDatabase db);
    ~GatewayStore();

    // Creates the tables that are missing (the settings with their default row) and the queue's
    // columns that a queue made earlier lacks; returns the names of the tables it created.
    // Throws DataError.
    QStringList ensureTables();

    // The address book's user of that name (case ignored), through one prepared statement kept
    // for every lookup. Throws DataError.
    std::optional<Recipient> findRecipient(const QString &name);

    GatewaySettings settings() const;
    void setSettings(const GatewaySettings &s);

    // Stores all the pages in one transaction, or none: false when they would take the queue
    // past kQueueLimit. Sets each page's id. Throws DataError when the commit fails.
    bool enqueue(QList<GatewayPage> &pages);
    int count() const;

    // Pages of several sessions in one commit: between beginBatch() and endBatch() each
    // enqueue() is a savepoint of one transaction, made durable by endBatch() with one sync.
    // endBatch() returns false (and nothing of the batch is kept) when the commit fails.
    void beginBatch();
    bool endBatch();
    bool inBatch() const { return m_batch; }

    std::optional<GatewayPage> head() const; // the oldest page
    std::optional<GatewayPage> find(qint64 id) const;
    // The oldest page not held past `now`, and when the first page held past `now` falls due.
    // The oldest page neither held nor waiting for its next try past `now`; the pages expired
    // by `now`; and the first time after `now` when one of these changes.
    std::optional<GatewayPage> nextDue(const QDateTime &now) const;
    QList<GatewayPage> expired(const QDateTime &now) const;
    std::optional<QDateTime> nextEvent(const QDateTime &now) const;
    // A try that got no answer: counted, and the page not tried again before `nextTry`.
    // Throws DataError.
    void markTried(qint64 id, const QDateTime &nextTry);
    // Takes the page off the queue and stores its report row with the page's client and login
    // (table report_origin), in one transaction; returns the row's num, 0 when the page was no
    // longer queued. A page cancelled by the operator leaves the same way, its row "Annullata".
    // Throws DataError (and nothing changes) when the commit fails.
    qint64 complete(qint64 id, const ReportRow &row);
    // Makes the page due at once (its next try now). Throws DataError.
    void retryNow(qint64 id);

    // The whole queue in arrival order, read on `db` (the window's own connection). Throws
    // DataError.
    static QList<GatewayPage> listing(const QSqlDatabase &db);

    QSqlDatabase database() const { return m_db; }

private:
    bool insertPages(QList<GatewayPage> &pages);

    QSqlDatabase m_db;
    std::unique_ptr<QSqlQuery> m_findRecipient;
    bool m_batch = false;
};
