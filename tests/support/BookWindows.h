#pragma once

// The address book's windows wired as the console wires them, over a ConsoleFixture's stores:
// the capcode note and its dialog, the pager code window, the recipients and presets windows.
// The loaders stand for the main window's lists.

#include "book/OKBottomDlg.h"
#include "book/Premsg.h"
#include "book/Recpt.h"
#include "link/CapcodeNote.h"
#include "link/Pinid.h"
#include "tests/support/ConsoleFixture.h"

#include <functional>
#include <memory>

struct BookWindows
{
    BookWindows(ConsoleFixture &fx, std::function<void()> loadUsers, std::function<void()> loadPresets)
        : noteDialog(std::make_unique<TOKBottomDlg>(note))
        , pinId(std::make_unique<TfrmPinId>(fx.alerts, note, *noteDialog))
        , users(std::make_unique<TfrmRecpt>(*fx.stores, fx.alerts, note))
        , presets(std::make_unique<TfrmPreMsg>(*fx.stores, fx.alerts))
    {
        users->setDialogs(noteDialog.get(), pinId.get());
        QObject::connect(users.get(), &EntryForm::recordsChanged, std::move(loadUsers));
        QObject::connect(presets.get(), &EntryForm::recordsChanged, std::move(loadPresets));
    }

    CapcodeNote note;
    std::unique_ptr<TOKBottomDlg> noteDialog;
    std::unique_ptr<TfrmPinId> pinId;
    std::unique_ptr<TfrmRecpt> users;
    std::unique_ptr<TfrmPreMsg> presets;
};
