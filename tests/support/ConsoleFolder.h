#pragma once

// A console's folder for one test: a new temporary folder (or the one given), the program's
// database file in it opened as the program's connection the way a first start creates it, the
// stores on it, and one side connection to the same file for seeding rows and reading what the
// console wrote. The connections (and a temporary folder) go with the object.

#include "store/DataStores.h"
#include "store/Database.h"
#include "tests/support/SideConnection.h"

#include <QTemporaryDir>
#include <memory>

class ConsoleFolder
{
public:
    explicit ConsoleFolder(const QString &folder = QString())
        : m_tmp(folder.isEmpty() ? std::make_unique<QTemporaryDir>() : nullptr)
        , m_path(m_tmp ? m_tmp->path() : folder)
    {
        const Database::OpenResult opened = Database::open(dbPath());
        m_db = opened.db;
        m_error = opened.error;
        m_created = opened.created;
        if (!m_error.isEmpty())
            return;
        stores = std::make_unique<DataStores>(m_db);
    }
    ~ConsoleFolder()
    {
        m_side.reset();
        stores.reset();
        m_db = QSqlDatabase();
        Database::close();
    }
    ConsoleFolder(const ConsoleFolder &) = delete;
    ConsoleFolder &operator=(const ConsoleFolder &) = delete;

    bool ok() const { return m_error.isEmpty(); }
    QString error() const { return m_error; } // the engine's text when the file could not be opened
    QSqlDatabase db() const { return m_db; } // the program's connection
    bool created() const { return m_created; }
    QString path() const { return m_path; }
    QString filePath(const QString &name) const { return m_path + QLatin1Char('/') + name; }
    QString dbPath() const { return filePath(Database::FileName); }

    // The side connection, opened on first use.
    SideConnection &side() const
    {
        if (!m_side)
            m_side = std::make_unique<SideConnection>(dbPath());
        return *m_side;
    }

    std::unique_ptr<DataStores> stores;

private:
    QSqlDatabase m_db;
    QString m_error;
    bool m_created = false;
    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_path;
    mutable std::unique_ptr<SideConnection> m_side;
};
