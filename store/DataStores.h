#pragma once

// Data access for the four tables, over the program's one SQLite connection. Every method
// runs the statement text of app/Statements.h with its values bound as parameters and
// throws DataError with the engine's text when the statement fails.

#include "core/Errors.h"
#include "store/GroupStore.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <optional>

struct Recipient
{
    qint64 num = 0;
    QString recipient;
    QString firstName;
    QString lastName;
    QString company;
    QString jobTitle;
    QString comment;
    QString pinId;
    bool sendName = false;
};

struct PresetMessage
{
    qint64 num = 0;
    QString name;
    QString content;
};

struct SerialSettings
{
    int port = 0; // 0..15 = "COM1".."COM16", 16 = the empty name
    int baud = 3; // 0..4 = 1200, 2400, 4800, 9600, 19200
    int data = 1; // 0 = "7,E,1", 1 = "8,N,1"
};

struct ReportRow
{
    qint64 num = 0;
    QString recipt;
    QString pinId;
    QDateTime dispTime;
    QString sent;
    QDateTime sendTime;
    QString status;
    QString msg;
};

// Table recipients.
class RecipientStore
{
public:
    explicit RecipientStore(QSqlDatabase db) : m_db(db) {}
    QList<Recipient> all() const;                                  // "Select * From recipients"
    std::optional<Recipient> findByName(const QString &name) const; // lookup by Recipient
    bool nameTaken(const QString &name) const;                     // duplicate check, new record
    bool nameTakenByOther(const QString &name, qint64 num) const;  // duplicate check, edited record
    qint64 insert(const Recipient &r);                             // returns the new num
    void update(const Recipient &r);                               // by r.num
    void remove(qint64 num);

private:
    QSqlDatabase m_db;
};

// Table templates.
class TemplateStore
{
public:
    explicit TemplateStore(QSqlDatabase db) : m_db(db) {}
    QList<PresetMessage> all() const;
    std::optional<PresetMessage> findByName(const QString &name) const;
    bool nameTaken(const QString &name) const;
    bool nameTakenByOther(const QString &name, qint64 num) const;
    qint64 insert(const PresetMessage &t);
    void update(const PresetMessage &t);
    void remove(qint64 num);

private:
    QSqlDatabase m_db;
};

// Table serial: its first row.
class SerialStore
{
public:
    explicit SerialStore(QSqlDatabase db) : m_db(db) {}
    void ensureDefaultRow();            // inserts (0, 3, 1) into an empty table
    SerialSettings read() const;        // first row ("Select * From serial")
    void write(const SerialSettings &s); // edit and post of the first row

private:
    QSqlDatabase m_db;
};

// Table report. Each append is its own committed transaction. The statement that writes
// the rows is prepared when the store is made (at start-up) and again after clear(): a table
// it cannot be prepared against (other columns) leaves the engine's text in writeProblem(),
// and no page may go out then, since its row could not be stored.
class ReportStore
{
public:
    explicit ReportStore(QSqlDatabase db);
    qint64 append(const ReportRow &row); // returns the new num
    void remove(qint64 num);
    // DROP and CREATE in one transaction; num restarts at 1, and the file is marked for
    // compaction at the next start.
    void clear();
    std::optional<ReportRow> find(qint64 num) const; // one row by num
    QSqlDatabase database() const { return m_db; }
    // Empty when report rows can be written; else the engine's text.
    QString writeProblem() const { return m_writeProblem; }

private:
    void prepareWrites();

    QSqlDatabase m_db;
    QSqlQuery m_insert;
    QString m_writeProblem;
};

// The stores over one connection, created once at start-up and shared by the windows.
struct DataStores
{
    explicit DataStores(QSqlDatabase db) : recipients(db), templates(db), serial(db), report(db), groups(db) {}
    RecipientStore recipients;
    TemplateStore templates;
    SerialStore serial;
    ReportStore report;
    GroupStore groups;
};
