#pragma once

// A console over a real database file in a temporary folder: the stores, the sending state,
// recorded alerts, the main window on demand, and a second connection to the same file through
// which a test seeds rows and checks what the windows stored.

#include "core/SendingState.h"
#include "store/DataStores.h"
#include "store/Database.h"
#include "tests/support/RecordingAlertSink.h"
#include "ui/Unit1.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <memory>

class ConsoleFixture
{
public:
    ConsoleFixture()
    {
        const Database::OpenResult opened = Database::open(dir.filePath(Database::FileName));
        m_error = opened.error;
        if (!m_error.isEmpty())
            return;
        stores = std::make_unique<DataStores>(opened.db);
        stores->serial.ensureDefaultRow();
        m_check = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kCheckConnection);
        m_check.setDatabaseName(dir.filePath(Database::FileName));
        if (!m_check.open())
            m_error = m_check.lastError().text();
    }

    ~ConsoleFixture()
    {
        form.reset();
        stores.reset();
        m_check.close();
        m_check = QSqlDatabase();
        QSqlDatabase::removeDatabase(kCheckConnection);
        Database::close();
    }

    ConsoleFixture(const ConsoleFixture &) = delete;
    ConsoleFixture &operator=(const ConsoleFixture &) = delete;

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

    void addUser(const QString &name, const QString &pinId)
    {
        Recipient user;
        user.recipient = name;
        user.firstName = name;
        user.pinId = pinId;
        stores->recipients.insert(user);
    }

    void addPreset(const QString &name, const QString &content)
    {
        PresetMessage preset;
        preset.name = name;
        preset.content = content;
        stores->templates.insert(preset);
    }

    TForm1 &makeForm()
    {
        form = std::make_unique<TForm1>(state, *stores, alerts);
        return *form;
    }

    QTemporaryDir dir;
    SendingState state;
    RecordingAlertSink alerts;
    std::unique_ptr<DataStores> stores;
    std::unique_ptr<TForm1> form;

private:
    static inline const QString kCheckConnection = QStringLiteral("console-check");
    QSqlDatabase m_check;
    QString m_error;
};
