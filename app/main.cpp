#include "app/Startup.h"
#include "app/StartupSplash.h"
#include "app/TesmaApplication.h"
#include "app/WindowSet.h"
#include "core/Clock.h"
#include "core/EventPump.h"
#include "core/MessageBoxAlertSink.h"
#include "core/SendingState.h"
#include "link/TCommPort.h"
#include "store/DataStores.h"
#include "ui/ReportExportRunner.h"

#include <QDir>
#include <exception>

int main(int argc, char *argv[])
{
    // Every file dialog is the toolkit's own: a desktop's native dialog would open the files of
    // the database folder to learn their types and drop the database's locks.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    TesmaApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(TESMA_DESKTOP_ID));
    app.quitOnTerminationSignals();
    MessageBoxAlertSink alerts;
    app.setAlertSink(&alerts);

    // Program-wide objects first: the one serial port (closed) and the zeroed sending state.
    // The port is declared before the windows, so it is destroyed after them and closes a
    // port that a run left open.
    const QString workDir = QDir::currentPath();
    TCommPort port;
    port.setWorkDir(workDir);
    SendingState state;
    ModeGuard guard;
    SteadyClock clock;
    QtEventPump pump;

    try {
        Startup startup(workDir);
        StartupSplash splash; // shown only before a long compaction
        startup.setCompactionNotice([&splash] { splash.showNow(); });
        if (!startup.run(alerts) || app.terminationRequested())
            return 0;
        DataStores stores(startup.database());
        WindowSet windows(state, guard, stores, alerts, port, clock, pump, workDir);
        alerts.setOwner(&windows.mainWindow());
        // From here on a termination signal stops a run where it stands (the try on the wire
        // finishes and its row is written), cancels a report export, closes every dialog, and
        // ends the program from the top-level loop once the run has returned.
        app.setShutdown({ [&state] {
                             state.stopRequest = true;
                             state.shutdown = true;
                             ReportExportRunner::cancelRunning(); // no half-written file is left
                         },
                          [&state] { return state.running; },
                          [&windows] {
                              windows.mainWindow().close();
                              QCoreApplication::exit(0); // also when the window is hidden in the tray
                          } });
        if (app.terminationRequested())
            return 0;
        windows.mainWindow().showMaximized();
        if (splash.isVisible())
            splash.finish(&windows.mainWindow());
        app.exec();
        app.setShutdown({});
        alerts.setOwner(nullptr);
    } catch (const DataError &error) {
        alerts.plain(error.text());
    } catch (const std::exception &error) {
        alerts.plain(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        alerts.plain(QString());
    }
    return 0;
}
