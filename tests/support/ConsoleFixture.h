#pragma once

// A console over a real database file in a temporary folder: the stores, the sending state,
// recorded alerts, the main window on demand, and the folder's side connection through which
// a test seeds rows and checks what the windows stored.

#include "core/SendingState.h"
#include "tests/support/ConsoleFolder.h"
#include "tests/support/RecordingAlertSink.h"
#include "ui/Unit1.h"

class ConsoleFixture : public ConsoleFolder
{
public:
    ConsoleFixture()
    {
        if (ok())
            stores->serial.ensureDefaultRow();
    }
    ~ConsoleFixture() { form.reset(); }

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

    SendingState state;
    RecordingAlertSink alerts;
    std::unique_ptr<TForm1> form;
};
