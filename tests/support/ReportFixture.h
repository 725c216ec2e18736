#pragma once

// A real report database in a temporary folder for the report tests and benchmark: the
// program's database file with its four tables and the report indexes, filled in bulk.

#include "store/Database.h"
#include "store/Statements.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

struct ReportFixtureRow
{
    QString recipt;
    QString status = QStringLiteral("OK");
    QString msg;
    QVariant sendtime; // a stored text; null for none
};

class ReportFixture
{
public:
    // Opens (and creates) the database; error() is empty on success.
    ReportFixture()
    {
        const Database::OpenResult result = Database::open(m_dir.filePath(Database::FileName));
        m_error = result.error;
        m_db = result.db;
        if (m_error.isEmpty())
            createIndexes();
    }
    ~ReportFixture()
    {
        m_db = QSqlDatabase();
        Database::close();
    }

    QSqlDatabase db() const { return m_db; }
    QString error() const { return m_error; }
    QString path() const { return m_dir.path(); }

    void createIndexes()
    {
        for (const QString &statement : Sql::CreateReportIndexes)
            exec(statement);
    }

    // Appends `count` rows in one transaction; `make(i)` gives row i (0-based).
    bool fill(int count, const std::function<ReportFixtureRow(int)> &make)
    {
        m_db.transaction();
        QSqlQuery query(m_db);
        if (!query.prepare(Sql::InsertReport)) {
            m_error = query.lastError().text();
            return false;
        }
        const QDateTime base(QDate(2024, 5, 1), QTime(8, 0));
        for (int i = 0; i < count; ++i) {
            const ReportFixtureRow row = make(i);
            const QString when = base.addSecs(i).toString(Sql::DateTimeFormat);
            query.bindValue(0, row.recipt);
            query.bindValue(1, QStringLiteral("0001234A21"));
            query.bindValue(2, when);
            query.bindValue(3, QStringLiteral("Si "));
            query.bindValue(4, row.sendtime.isValid() ? row.sendtime : QVariant(when));
            query.bindValue(5, row.status);
            query.bindValue(6, row.msg);
            if (!query.exec()) {
                m_error = query.lastError().text();
                m_db.rollback();
                return false;
            }
        }
        return m_db.commit();
    }

    bool exec(const QString &statement)
    {
        QSqlQuery query(m_db);
        if (!query.exec(statement)) {
            m_error = query.lastError().text();
            return false;
        }
        return true;
    }

private:
    QTemporaryDir m_dir;
    QSqlDatabase m_db;
    QString m_error;
};
