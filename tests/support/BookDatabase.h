#pragma once

#include "app/DataStores.h"
#include "app/Database.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QVariant>
#include <memory>

// A fresh database file in a temporary folder, opened as the program opens it, with the
// stores on it, and a second connection to the same file through which a test seeds rows and
// checks what the windows stored.
class BookDatabase
{
public:
    BookDatabase()
    {
        const Database::OpenResult opened = Database::open(m_dir.filePath(QStringLiteral("TALVENK.db")));
        m_error = opened.error;
        if (!m_error.isEmpty())
            return;
        stores = std::make_unique<DataStores>(opened.db);
        m_check = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kCheckConnection);
        m_check.setDatabaseName(m_dir.filePath(QStringLiteral("TALVENK.db")));
        if (!m_check.open())
            m_error = m_check.lastError().text();
    }

    ~BookDatabase()
    {
        stores.reset();
        m_check.close();
        m_check = QSqlDatabase();
        QSqlDatabase::removeDatabase(kCheckConnection);
        Database::close();
    }

    BookDatabase(const BookDatabase &) = delete;
    BookDatabase &operator=(const BookDatabase &) = delete;

    QString error() const { return m_error; }

    // Runs a statement on the second connection; returns the engine's text on failure.
    QString exec(const QString &statement, const QVariantList &values = {})
    {
        QSqlQuery query(m_check);
        query.prepare(statement);
        for (const QVariant &value : values)
            query.addBindValue(value);
        return query.exec() ? QString() : query.lastError().text();
    }

    // Every row of a query on the second connection, one list of column values per row.
    QList<QVariantList> rows(const QString &statement)
    {
        QList<QVariantList> out;
        QSqlQuery query(m_check);
        if (!query.exec(statement))
            return out;
        while (query.next()) {
            QVariantList row;
            for (int i = 0; i < query.record().count(); ++i)
                row << query.value(i);
            out << row;
        }
        return out;
    }

    // One column of every row, as text.
    QStringList column(const QString &statement)
    {
        QStringList out;
        for (const QVariantList &row : rows(statement))
            out << row.value(0).toString();
        return out;
    }

    std::unique_ptr<DataStores> stores;

private:
    static inline const QString kCheckConnection = QStringLiteral("book-check");
    QTemporaryDir m_dir;
    QSqlDatabase m_check;
    QString m_error;
};
