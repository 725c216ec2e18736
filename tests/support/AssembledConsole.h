#pragma once

// The whole console as start-up builds it, in a fresh temporary folder: the real start-up,
// the stores on its database, and every window created and wired, with a fake clock and a
// recording alert sink. start() leaves the alerts start-up raised in place.

#include "app/Startup.h"
#include "app/WindowSet.h"
#include "core/EventPump.h"
#include "core/SendingState.h"
#include "link/TCommPort.h"
#include "store/DataStores.h"
#include "tests/support/FakeTime.h"
#include "tests/support/RecordingAlertSink.h"

#include <QTemporaryDir>
#include <memory>

struct AssembledConsole
{
    QTemporaryDir dir;
    RecordingAlertSink alerts;
    SendingState state;
    ModeGuard guard;
    TCommPort port;
    FakeClock clock;
    QtEventPump pump;
    std::unique_ptr<Startup> startup;
    std::unique_ptr<DataStores> stores;
    std::unique_ptr<WindowSet> windows;

    // Runs start-up and builds the windows; false when start-up refuses to go on.
    bool start()
    {
        port.setWorkDir(dir.path());
        startup = std::make_unique<Startup>(dir.path());
        if (!startup->run(alerts))
            return false;
        stores = std::make_unique<DataStores>(startup->database());
        windows = std::make_unique<WindowSet>(state, guard, *stores, alerts, port, clock, pump, dir.path());
        return true;
    }

    ~AssembledConsole()
    {
        windows.reset();
        stores.reset();
        startup.reset();
    }

    TForm1 &form() { return windows->mainWindow(); }
};
