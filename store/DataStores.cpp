#include "store/DataStores.h"

#include "store/Database.h"
#include "store/QueryHelpers.h"
#include "store/Statements.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <cerrno>
#include <cstring>

namespace {

using QueryHelpers::inTransaction;
using QueryHelpers::run;
using QueryHelpers::stamp;
using QueryHelpers::text;

QDateTime parseStamp(const QVariant &value)
{
    const QString s = value.toString();
    QDateTime when = QDateTime::fromString(s, Sql::DateTimeFormat);
    if (!when.isValid() && !s.isEmpty())
        when = QDateTime::fromString(s, Qt::ISODateWithMs);
    return when;
}

QVariant field(const QSqlQuery &query, const char *name)
{
    return query.value(QLatin1String(name));
}

Recipient readRecipient(const QSqlQuery &q)
{
    Recipient r;
    r.num = field(q, "num").toLongLong();
    r.recipient = field(q, "Recipient").toString();
    r.firstName = field(q, "FirstName").toString();
    r.lastName = field(q, "LastName").toString();
    r.company = field(q, "Company").toString();
    r.jobTitle = field(q, "JobTitle").toString();
    r.comment = field(q, "Comment").toString();
    r.pinId = field(q, "PinID").toString();
    r.sendName = field(q, "SendName").toInt() != 0;
    return r;
}

PresetMessage readTemplate(const QSqlQuery &q)
{
    PresetMessage t;
    t.num = field(q, "num").toLongLong();
    t.name = field(q, "Name").toString();
    t.content = field(q, "Content").toString();
    return t;
}

QVariantList recipientValues(const Recipient &r)
{
    return { text(r.recipient), text(r.firstName), text(r.lastName), text(r.company),
             text(r.jobTitle),  text(r.comment),   text(r.pinId),    r.sendName ? 1 : 0 };
}

qint64 insertedNum(const QSqlQuery &query)
{
    bool ok = false;
    const qint64 num = query.lastInsertId().toLongLong(&ok);
    if (!ok)
        throw DataError(QStringLiteral("no row id after insert"));
    return num;
}

} // namespace

// ---- recipients -----------------------------------------------------------------------------

QList<Recipient> RecipientStore::all() const
{
    QSqlQuery query = run(m_db, Sql::SelectRecipients);
    QList<Recipient> out;
    while (query.next())
        out.append(readRecipient(query));
    return out;
}

std::optional<Recipient> RecipientStore::findByName(const QString &name) const
{
    QSqlQuery query = run(m_db, Sql::SelectRecipientByName, { text(name) });
    if (!query.next())
        return std::nullopt;
    return readRecipient(query);
}

bool RecipientStore::nameTaken(const QString &name) const
{
    return run(m_db, Sql::SelectRecipientDuplicate, { text(name) }).next();
}

bool RecipientStore::nameTakenByOther(const QString &name, qint64 num) const
{
    return run(m_db, Sql::SelectRecipientDuplicateOther, { text(name), num }).next();
}

qint64 RecipientStore::insert(const Recipient &r)
{
    return insertedNum(run(m_db, Sql::InsertRecipient, recipientValues(r)));
}

void RecipientStore::update(const Recipient &r)
{
    QVariantList values = recipientValues(r);
    values.append(r.num);
    run(m_db, Sql::UpdateRecipient, values);
}

void RecipientStore::remove(qint64 num)
{
    run(m_db, Sql::DeleteRecipient, { num });
}

// ---- templates ------------------------------------------------------------------------------

QList<PresetMessage> TemplateStore::all() const
{
    QSqlQuery query = run(m_db, Sql::SelectTemplates);
    QList<PresetMessage> out;
    while (query.next())
        out.append(readTemplate(query));
    return out;
}

std::optional<PresetMessage> TemplateStore::findByName(const QString &name) const
{
    QSqlQuery query = run(m_db, Sql::SelectTemplateByName, { text(name) });
    if (!query.next())
        return std::nullopt;
    return readTemplate(query);
}

bool TemplateStore::nameTaken(const QString &name) const
{
    return run(m_db, Sql::SelectTemplateDuplicate, { text(name) }).next();
}

bool TemplateStore::nameTakenByOther(const QString &name, qint64 num) const
{
    return run(m_db, Sql::SelectTemplateDuplicateOther, { text(name), num }).next();
}

qint64 TemplateStore::insert(const PresetMessage &t)
{
    return insertedNum(run(m_db, Sql::InsertTemplate, { text(t.name), text(t.content) }));
}

void TemplateStore::update(const PresetMessage &t)
{
    run(m_db, Sql::UpdateTemplate, { text(t.name), text(t.content), t.num });
}

void TemplateStore::remove(qint64 num)
{
    run(m_db, Sql::DeleteTemplate, { num });
}

// ---- serial ---------------------------------------------------------------------------------

void SerialStore::ensureDefaultRow()
{
    if (run(m_db, Sql::SelectSerialSettings).next())
        return;
    const SerialSettings defaults;
    run(m_db, Sql::InsertSerial, { defaults.port, defaults.baud, defaults.data });
}

SerialSettings SerialStore::read() const
{
    QSqlQuery query = run(m_db, Sql::SelectSerial);
    SerialSettings s;
    if (query.next()) {
        s.port = field(query, "Port").toInt();
        s.baud = field(query, "Baud").toInt();
        s.data = field(query, "Data").toInt();
    }
    return s;
}

void SerialStore::write(const SerialSettings &s)
{
    inTransaction(m_db, [&] {
        if (run(m_db, Sql::SelectSerialSettings).next())
            run(m_db, Sql::UpdateSerialFirstRow, { s.port, s.baud, s.data });
        else
            run(m_db, Sql::InsertSerial, { s.port, s.baud, s.data });
        return 0;
    });
}

// ---- report ---------------------------------------------------------------------------------

const QString ReportStore::WriteRefusal = QStringLiteral("Impossibile scrivere il report in %1: %2");

ReportStore::ReportStore(QSqlDatabase db)
    : m_db(db)
    , m_insert(db)
{
    prepareWrites();
}

void ReportStore::prepareWrites()
{
    m_insert = QSqlQuery(m_db);
    m_insert.setForwardOnly(true);
    m_writeProblem.clear();
    if (!m_insert.prepare(Sql::InsertReport))
        m_writeProblem = Database::errorText(m_insert.lastError());
}

QString ReportStore::writeCheck() const
{
    const QString path = Database::filePath(m_db);
    QString reason = m_writeProblem;
    if (reason.isEmpty()) {
        // Preparing an insert succeeds on a file that may only be read; writing in a
        // transaction that holds the write lock does not.
        QSqlQuery query(m_db);
        if (!query.exec(Sql::BeginImmediate)) {
            reason = Database::errorText(query.lastError());
        } else {
            if (!query.exec(Sql::ProbeReportWrite))
                reason = Database::errorText(query.lastError());
            query.exec(Sql::Rollback);
        }
    }
    if (reason.isEmpty()) {
        const qint64 available = Database::freeBytes(QFileInfo(path).absolutePath(), &reason);
        if (reason.isEmpty() && available < Database::MinimumFreeBytes)
            reason = QString::fromLocal8Bit(std::strerror(ENOSPC));
    }
    return reason.isEmpty() ? QString() : WriteRefusal.arg(path, reason);
}

qint64 ReportStore::append(const ReportRow &row)
{
    if (!m_writeProblem.isEmpty())
        throw DataError(m_writeProblem);
    return inTransaction(m_db, [&] {
        const QVariant values[] = { text(row.recipt),    text(row.pinId),  stamp(row.dispTime), text(row.sent),
                                    stamp(row.sendTime), text(row.status), text(row.msg) };
        for (int i = 0; i < 7; ++i)
            m_insert.bindValue(i, values[i]);
        if (!m_insert.exec())
            throw DataError(Database::errorText(m_insert.lastError()));
        const qint64 num = insertedNum(m_insert);
        m_insert.finish();
        return num;
    });
}

std::optional<ReportRow> ReportStore::find(qint64 num) const
{
    QSqlQuery q = run(m_db, Sql::SelectReportByNum, { num });
    if (!q.next())
        return std::nullopt;
    ReportRow row;
    row.num = field(q, "num").toLongLong();
    row.recipt = field(q, "recipt").toString();
    row.pinId = field(q, "pin_id").toString();
    row.dispTime = parseStamp(field(q, "disptime"));
    row.sent = field(q, "sent").toString();
    row.sendTime = parseStamp(field(q, "sendtime"));
    row.status = field(q, "status").toString();
    row.msg = field(q, "msg").toString();
    return row;
}

std::optional<ReportOrigin> ReportStore::origin(qint64 num) const
{
    QSqlQuery q = run(m_db, Sql::SelectReportOrigin, { num });
    if (!q.next())
        return std::nullopt;
    return ReportOrigin { q.value(0).toString(), q.value(1).toString() };
}

void ReportStore::remove(qint64 num)
{
    inTransaction(m_db, [&] {
        run(m_db, Sql::DeleteReport, { num });
        run(m_db, Sql::DeleteReportOrigin, { num });
        return 0;
    });
}

void ReportStore::clear()
{
    // Dropping the table also drops its AUTOINCREMENT sequence row, so num restarts at 1.
    // The prepared insert is let go first, so nothing refers to the old table.
    m_insert = QSqlQuery();
    try {
        // With secure deletion ON, dropping the table would first zero every one of its pages
        // through the log: as much free disk again as the report, and a log that size until
        // the end. The VACUUM below removes those pages, text and all, from the file.
        run(m_db, Sql::SecureDeleteFast);
        try {
            inTransaction(m_db, [&] {
                run(m_db, Sql::DropReport);
                // num starts again from 1: no origin may stay behind for a new row to inherit.
                run(m_db, Sql::ClearReportOrigin);
                run(m_db, Sql::CreateReport);
                for (const QString &index : Sql::CreateReportIndexes)
                    run(m_db, index);
                return 0;
            });
        } catch (...) {
            run(m_db, Sql::SecureDelete);
            throw;
        }
        run(m_db, Sql::SecureDelete);
        run(m_db, Sql::Vacuum);
        // The log held the pages VACUUM wrote and any older frames with the dropped texts.
        run(m_db, Sql::CheckpointTruncate);
    } catch (...) {
        prepareWrites();
        throw;
    }
    prepareWrites();
}

const QStringList &SerialSettings::portNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (int n = 1; n <= 16; ++n)
            list << QStringLiteral("COM%1").arg(n);
        list << QString();
        return list;
    }();
    return names;
}

const QList<int> &SerialSettings::baudRates()
{
    static const QList<int> rates { 1200, 2400, 4800, 9600, 19200 };
    return rates;
}

QString SerialSettings::portName() const
{
    return port >= 0 && port < portNames().size() ? portNames().at(port) : QString();
}

int SerialSettings::baudRate() const
{
    return baud >= 0 && baud < baudRates().size() ? baudRates().at(baud) : 0;
}
