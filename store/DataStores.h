#pragma once

// Data access for the address book, the presets, the serial settings and the report, over one
// SQLite connection (the window's; the gateway has its own). Every method runs the statement
// text of store/Statements.h with its values bound as parameters and
// throws DataError with the engine's text when the statement fails.

#include "core/Errors.h"
#include "store/GroupStore.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
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

    // What the positions stand for.
    static const QStringList &portNames(); // "COM1".."COM16", then the empty name
    static const QList<int> &baudRates(); // 1200, 2400, 4800, 9600, 19200
    QString portName() const; // the empty name (which opens nothing) outside the list
    int baudRate() const; // 0 outside the list
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

// Where a report row of a page from another system came from (table report_origin).
struct ReportOrigin
{
    QString client; // the client's address
    QString login; // its SNPP login, empty without one
};

// Table recipients.
class RecipientStore
{
public:
    explicit RecipientStore(QSqlDatabase db)
        : m_db(db)
    {
    }
    QList<Recipient> all() const; // "Select * From recipients"
    std::optional<Recipient> findByName(const QString &name) const; // lookup by Recipient
    bool nameTaken(const QString &name) const; // duplicate check, new record
    bool nameTakenByOther(const QString &name, qint64 num) const; // duplicate check, edited record
    qint64 insert(const Recipient &r); // returns the new num
    void update(const Recipient &r); // by r.num
    void remove(qint64 num);

private:
    QSqlDatabase m_db;
};

// Table templates.
class TemplateStore
{
public:
    explicit TemplateStore(QSqlDatabase db)
        : m_db(db)
    {
    }
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
    explicit SerialStore(QSqlDatabase db)
        : m_db(db)
    {
    }
    void ensureDefaultRow(); // inserts (0, 3, 1) into an empty table
    SerialSettings read() const; // first row ("Select * From serial")
    void write(const SerialSettings &s); // edit and post of the first row

private:
    QSqlDatabase m_db;
};

// Table report. Each append is its own committed transaction. The statement that writes
// the rows is prepared when the store is made (at start-up) and again after clear(). No page
// may go out when its row could not be stored: writeCheck() says whether it could.
class ReportStore
{
public:
    // Why a page is refused: %1 the database file, %2 the reason.
    static const QString WriteRefusal;

    explicit ReportStore(QSqlDatabase db);
    qint64 append(const ReportRow &row); // returns the new num
    void remove(qint64 num); // the row and its origin
    // DROP and CREATE in one transaction, the rows' origins emptied in it too (num restarts at
    // 1), then VACUUM and a checkpoint that empties the log: the dropped rows leave neither
    // their space nor their text.
    void clear();
    std::optional<ReportRow> find(qint64 num) const; // one row by num
    // Where the row came from: none for the operator's own rows.
    std::optional<ReportOrigin> origin(qint64 num) const;
    QSqlDatabase database() const { return m_db; }
    // Empty when a report row can be written now; else WriteRefusal with the reason: a table
    // the insert cannot be prepared against (other columns), a database that refuses a write
    // (read-only file or folder, another writer that keeps its lock), or less than
    // Database::MinimumFreeBytes free on its disk.
    QString writeCheck() const;

private:
    void prepareWrites();

    QSqlDatabase m_db;
    QSqlQuery m_insert;
    QString m_writeProblem;
};

// The stores over one connection, created once at start-up and shared by the windows.
struct DataStores
{
    explicit DataStores(QSqlDatabase db)
        : recipients(db)
        , templates(db)
        , serial(db)
        , report(db)
        , groups(db)
    {
    }
    RecipientStore recipients;
    TemplateStore templates;
    SerialStore serial;
    ReportStore report;
    GroupStore groups;
};
