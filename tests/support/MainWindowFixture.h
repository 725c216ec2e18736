#pragma once

// A main window over a real SQLite file in a temporary folder, with recorded alerts.

#include "app/DataStores.h"
#include "app/Database.h"
#include "app/SendingState.h"
#include "tests/support/RecordingAlertSink.h"
#include "ui/Unit1.h"

#include <QTemporaryDir>
#include <memory>

struct MainWindowFixture
{
    QTemporaryDir dir;
    SendingState state;
    RecordingAlertSink alerts;
    std::unique_ptr<DataStores> stores;
    std::unique_ptr<TForm1> form;

    // Opens the database; false (with the reason in `error`) when it cannot.
    bool open(QString *error)
    {
        const Database::OpenResult opened = Database::open(dir.filePath(Database::FileName));
        if (!opened.error.isEmpty()) {
            *error = opened.error;
            return false;
        }
        stores = std::make_unique<DataStores>(opened.db);
        stores->serial.ensureDefaultRow();
        return true;
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

    ~MainWindowFixture()
    {
        form.reset();
        stores.reset();
        Database::close();
    }
};
