#pragma once

// A console folder whose report has the report indexes and is filled in bulk, for the report
// views and the report benchmark.

#include "tests/support/ConsoleFolder.h"

#include <QDateTime>
#include <QSqlQuery>
#include <functional>

struct ReportFixtureRow
{
    QString recipt;
    QString status = QStringLiteral("OK");
    QString msg;
    QVariant sendtime; // a stored text; null for none
};

class ReportFixture : public ConsoleFolder
{
public:
    ReportFixture()
    {
        if (ok())
            for (const QString &statement : Sql::CreateReportIndexes)
                exec(statement);
    }

    // Appends `count` rows in one transaction; `make(i)` gives row i (0-based).
    bool fill(int count, const std::function<ReportFixtureRow(int)> &make)
    {
        db().transaction();
        QSqlQuery query(db());
        if (!query.prepare(Sql::InsertReport))
            return false;
        const QDateTime base(QDate(2024, 5, 1), QTime(8, 0));
        for (int i = 0; i < count; ++i) {
            const ReportFixtureRow row = make(i);
            const QString when = base.addSecs(i).toString(Sql::DateTimeFormat);
            for (const QVariant &value :
                 { QVariant(row.recipt), QVariant(QStringLiteral("0001234A21")), QVariant(when),
                   QVariant(QStringLiteral("Si ")), row.sendtime.isValid() ? row.sendtime : QVariant(when),
                   QVariant(row.status), QVariant(row.msg) })
                query.addBindValue(value);
            if (!query.exec()) {
                db().rollback();
                return false;
            }
        }
        return db().commit();
    }

    // Runs a statement on the program's connection.
    bool exec(const QString &statement) { return QSqlQuery(db()).exec(statement); }
};
