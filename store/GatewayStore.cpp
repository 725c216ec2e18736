#include "store/GatewayStore.h"

#include "core/Errors.h"
#include "store/Database.h"
#include "store/GatewayStatements.h"
#include "store/QueryHelpers.h"
#include "store/Statements.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>

namespace {

using QueryHelpers::run;
using QueryHelpers::stamp;
using QueryHelpers::text;

// Runs work in a transaction committed with full synchronisation; rolls back and rethrows
// when anything in it fails.
template <typename Work> auto committed(QSqlDatabase &db, Work work)
{
    run(db, Sql::SynchronousFull);
    return QueryHelpers::inTransaction(db, work);
}

QVariant utcStamp(const QDateTime &value)
{
    return value.isValid() ? QVariant(value.toUTC().toString(Sql::DateTimeFormat))
                           : QVariant(QMetaType::fromType<QString>());
}

QDateTime readUtcStamp(const QVariant &value)
{
    if (value.isNull())
        return {};
    QDateTime when = QDateTime::fromString(value.toString(), Sql::DateTimeFormat);
    when.setTimeSpec(Qt::UTC);
    return when;
}

GatewayPage readPage(const QSqlQuery &q)
{
    GatewayPage page;
    page.id = q.value(0).toLongLong();
    page.recipt = q.value(1).toString();
    page.header = q.value(2).toString().toLatin1();
    page.prefix = q.value(3).toString().toLatin1();
    page.body = q.value(4).toString().toLatin1();
    page.client = q.value(5).toString();
    page.dispTime = QDateTime::fromString(q.value(6).toString(), Sql::DateTimeFormat);
    page.holdUntil = readUtcStamp(q.value(7));
    page.login = q.value(8).toString();
    page.tries = q.value(9).toInt();
    page.nextTry = readUtcStamp(q.value(10));
    page.expires = readUtcStamp(q.value(11));
    return page;
}

} // namespace

GatewayStore::GatewayStore(QSqlDatabase db)
    : m_db(db)
{
}

GatewayStore::~GatewayStore() = default;

QStringList GatewayStore::ensureTables()
{
    QStringList created;
    auto exists = [&](const QString &name) {
        QSqlQuery q = run(m_db, Sql::TableExists, { name });
        return q.next() && q.value(0).toInt() > 0;
    };
    committed(m_db, [&] {
        for (const Sql::TableSchema &table : Sql::GatewayTables()) {
            if (exists(table.name))
                continue;
            for (const QString &statement : table.statements)
                run(m_db, statement);
            created << table.name;
        }
        if (!run(m_db, Sql::SelectGateway).next())
            run(m_db, Sql::InsertGatewayDefaults);
        QStringList columns;
        for (QSqlQuery q = run(m_db, Sql::GatewayQueueColumns); q.next();)
            columns << q.value(0).toString();
        for (const auto &[name, statement] : Sql::GatewayQueueAddedColumns()) {
            if (!columns.contains(name, Qt::CaseInsensitive))
                run(m_db, statement);
        }
        columns.clear();
        for (QSqlQuery q = run(m_db, Sql::GatewayColumns); q.next();)
            columns << q.value(0).toString();
        for (const auto &[name, statement] : Sql::GatewayAddedColumns()) {
            if (!columns.contains(name, Qt::CaseInsensitive))
                run(m_db, statement);
        }
        return 0;
    });
    return created;
}

std::optional<Recipient> GatewayStore::findRecipient(const QString &name)
{
    if (!m_findRecipient) {
        auto query = std::make_unique<QSqlQuery>(m_db);
        query->setForwardOnly(true);
        if (!query->prepare(Sql::SelectGatewayRecipient))
            throw DataError(Database::errorText(query->lastError()));
        m_findRecipient = std::move(query);
    }
    QSqlQuery &q = *m_findRecipient;
    q.bindValue(0, text(name));
    if (!q.exec()) {
        const QString error = Database::errorText(q.lastError());
        m_findRecipient.reset(); // prepared afresh next time
        throw DataError(error);
    }
    std::optional<Recipient> found;
    if (q.next()) {
        Recipient r;
        r.recipient = q.value(0).toString();
        r.firstName = q.value(1).toString();
        r.pinId = q.value(2).toString();
        r.sendName = q.value(3).toInt() != 0;
        found = r;
    }
    // Ends the statement, so it holds no read of the file until its next use.
    q.finish();
    return found;
}

GatewaySettings GatewayStore::settings() const
{
    QSqlQuery q = run(m_db, Sql::SelectGateway);
    GatewaySettings s;
    if (q.next()) {
        s.enabled = q.value(QStringLiteral("Enabled")).toInt() != 0;
        s.address = q.value(QStringLiteral("Address")).toString();
        s.port = q.value(QStringLiteral("Port")).toInt();
        s.allowed = q.value(QStringLiteral("Allowed")).toString();
        s.login = q.value(QStringLiteral("Login")).toString();
        s.password = q.value(QStringLiteral("Password")).toString();
        s.expiryMinutes = std::max(0, q.value(QStringLiteral("ExpiryMinutes")).toInt());
    }
    return s;
}

void GatewayStore::setSettings(const GatewaySettings &s)
{
    committed(m_db, [&] {
        if (!run(m_db, Sql::SelectGateway).next())
            run(m_db, Sql::InsertGatewayDefaults);
        run(m_db, Sql::UpdateGatewayFirstRow,
            { s.enabled ? 1 : 0, text(s.address), s.port, text(s.allowed), text(s.login), text(s.password),
              s.expiryMinutes });
        return 0;
    });
}

int GatewayStore::count() const
{
    QSqlQuery q = run(m_db, Sql::CountGatewayQueue);
    return q.next() ? q.value(0).toInt() : 0;
}

void GatewayStore::beginBatch()
{
    run(m_db, Sql::SynchronousFull);
    if (!m_db.transaction())
        throw DataError(Database::errorText(m_db.lastError()));
    m_batch = true;
}

bool GatewayStore::endBatch()
{
    if (!m_batch)
        return true;
    m_batch = false;
    if (m_db.commit())
        return true;
    m_db.rollback();
    return false;
}

bool GatewayStore::enqueue(QList<GatewayPage> &pages)
{
    if (m_batch) {
        // A savepoint of the batch: this SEND's pages are kept whole or not at all.
        run(m_db, Sql::SavepointEnqueue);
        try {
            const bool stored = insertPages(pages);
            run(m_db, stored ? Sql::ReleaseEnqueue : Sql::RollbackToEnqueue);
            if (!stored)
                run(m_db, Sql::ReleaseEnqueue);
            return stored;
        } catch (const DataError &) {
            QSqlQuery undo(m_db);
            undo.exec(Sql::RollbackToEnqueue);
            undo.exec(Sql::ReleaseEnqueue);
            throw;
        }
    }
    return committed(m_db, [&] { return insertPages(pages); });
}

bool GatewayStore::insertPages(QList<GatewayPage> &pages)
{
    {
        if (count() + pages.size() > kQueueLimit)
            return false;
        for (GatewayPage &page : pages) {
            QSqlQuery q
                = run(m_db, Sql::InsertGatewayQueue,
                      { text(page.recipt), text(QString::fromLatin1(page.header)),
                        text(QString::fromLatin1(page.prefix)), text(QString::fromLatin1(page.body)), text(page.client),
                        stamp(page.dispTime), utcStamp(page.holdUntil), text(page.login), utcStamp(page.expires) });
            page.id = q.lastInsertId().toLongLong();
        }
        return true;
    }
}

std::optional<GatewayPage> GatewayStore::head() const
{
    QSqlQuery q = run(m_db, Sql::SelectGatewayQueueHead);
    if (!q.next())
        return std::nullopt;
    return readPage(q);
}

std::optional<GatewayPage> GatewayStore::find(qint64 id) const
{
    QSqlQuery q = run(m_db, Sql::SelectGatewayQueueById, { id });
    if (!q.next())
        return std::nullopt;
    return readPage(q);
}

std::optional<GatewayPage> GatewayStore::nextDue(const QDateTime &now) const
{
    const QVariant bound = utcStamp(now);
    QSqlQuery q = run(m_db, Sql::SelectGatewayQueueDue, { bound, bound });
    if (!q.next())
        return std::nullopt;
    return readPage(q);
}

QList<GatewayPage> GatewayStore::expired(const QDateTime &now) const
{
    QList<GatewayPage> pages;
    for (QSqlQuery q = run(m_db, Sql::SelectGatewayQueueExpired, { utcStamp(now) }); q.next();)
        pages << readPage(q);
    return pages;
}

void GatewayStore::markTried(qint64 id, const QDateTime &nextTry)
{
    committed(m_db, [&] {
        run(m_db, Sql::UpdateGatewayQueueTried, { utcStamp(nextTry), id });
        return 0;
    });
}

std::optional<QDateTime> GatewayStore::nextEvent(const QDateTime &now) const
{
    const QVariant bound = utcStamp(now);
    QSqlQuery q = run(m_db, Sql::SelectGatewayQueueNextEvent, { bound, bound, bound });
    if (!q.next() || q.value(0).isNull())
        return std::nullopt;
    return readUtcStamp(q.value(0));
}

qint64 GatewayStore::complete(qint64 id, const ReportRow &row)
{
    return committed(m_db, [&]() -> qint64 {
        QSqlQuery origin = run(m_db, Sql::SelectGatewayQueueOrigin, { id });
        // A page already taken off the queue is never recorded twice.
        if (!origin.next())
            return 0;
        const QString client = origin.value(0).toString();
        const QString login = origin.value(1).toString();
        origin.finish();
        run(m_db, Sql::DeleteGatewayQueue, { id });
        QSqlQuery q = run(m_db, Sql::InsertReport,
                          { text(row.recipt), text(row.pinId), stamp(row.dispTime), text(row.sent), stamp(row.sendTime),
                            text(row.status), text(row.msg) });
        const qint64 num = q.lastInsertId().toLongLong();
        run(m_db, Sql::InsertReportOrigin, { num, text(client), text(login) });
        return num;
    });
}

void GatewayStore::retryNow(qint64 id)
{
    committed(m_db, [&] {
        run(m_db, Sql::UpdateGatewayQueueRetryNow, { id });
        return 0;
    });
}

QList<GatewayPage> GatewayStore::listing(const QSqlDatabase &db)
{
    QList<GatewayPage> rows;
    QSqlQuery q = run(db, Sql::SelectGatewayQueueListing);
    while (q.next()) {
        rows << readPage(q);
    }
    return rows;
}
