#pragma once

// A connection of the test's own to a database file the console has open: through it a test
// seeds rows and reads what the console wrote. Each has a name of its own and goes with the
// object, so one may be made for a single read: SideConnection(path).count(u"report"_s).

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariantList>

class SideConnection
{
public:
    explicit SideConnection(const QString &path)
        : m_name(QStringLiteral("side-%1").arg(++s_serial))
    {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        m_db.setDatabaseName(path);
        if (!m_db.open())
            m_error = m_db.lastError().text();
    }
    ~SideConnection()
    {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    SideConnection(const SideConnection &) = delete;
    SideConnection &operator=(const SideConnection &) = delete;

    QString error() const { return m_error; }
    QSqlDatabase db() const { return m_db; }

    // Runs a statement with bound values; returns the engine's text on failure.
    QString exec(const QString &statement, const QVariantList &values = {})
    {
        QSqlQuery query(m_db);
        return run(query, statement, values) ? QString() : query.lastError().text();
    }

    // Every row of a query, one list of column values per row.
    QList<QVariantList> rows(const QString &statement, const QVariantList &values = {})
    {
        QList<QVariantList> out;
        QSqlQuery query(m_db);
        if (!run(query, statement, values))
            return out;
        while (query.next()) {
            QVariantList row;
            for (int i = 0; i < query.record().count(); ++i)
                row << query.value(i);
            out << row;
        }
        return out;
    }

    // The first column of every row, as text.
    QStringList column(const QString &statement, const QVariantList &values = {})
    {
        QStringList out;
        for (const QVariantList &row : rows(statement, values))
            out << row.value(0).toString();
        return out;
    }

    // The first value of the first row; invalid when there is none.
    QVariant value(const QString &statement, const QVariantList &values = {})
    {
        return rows(statement, values).value(0).value(0);
    }

    // The rows of a table; -1 when it cannot be read.
    qint64 count(const QString &table)
    {
        const QVariant n = value(QStringLiteral("select count(*) from ") + table);
        return n.isValid() ? n.toLongLong() : -1;
    }

private:
    static bool run(QSqlQuery &query, const QString &statement, const QVariantList &values)
    {
        if (!query.prepare(statement))
            return false;
        for (const QVariant &value : values)
            query.addBindValue(value);
        return query.exec();
    }

    static inline int s_serial = 0;
    QString m_name;
    QSqlDatabase m_db;
    QString m_error;
};
