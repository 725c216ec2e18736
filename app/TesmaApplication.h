#pragma once

#include <QApplication>
#include <functional>

class AlertSink;
class QTimer;

// The application object with the last-resort guard: an exception that escapes a handler
// is reported through the alert sink with its text, and the program goes on.
class TesmaApplication final : public QApplication
{
public:
    TesmaApplication(int &argc, char **argv);

    void setAlertSink(AlertSink *sink) { m_alerts = sink; }
    bool notify(QObject *receiver, QEvent *event) override;

    // What a termination signal does once the windows exist.
    struct Shutdown
    {
        std::function<void()> stop; // raise the stop request; no new try of a page starts
        std::function<bool()> busy; // a run is still on the stack
        std::function<void()> finish; // close the main window; called from the top-level loop
    };

    // SIGTERM, SIGINT and SIGHUP become an event of the event loop. Before setShutdown (during
    // start-up) a signal ends any open message box and terminationRequested() tells main() not
    // to go on. Afterwards every open dialog and message box is closed as Escape would close
    // it (so are those opened later), the stop is raised, and once no run is on the stack and
    // no nested loop runs, the main window is closed from the top-level loop.
    void quitOnTerminationSignals();
    void setShutdown(Shutdown shutdown) { m_shutdown = std::move(shutdown); }
    bool terminationRequested() const { return m_terminating; }

private:
    void report(const QString &text);
    void terminate();
    void closeDialogs();
    void finishWhenIdle();

    AlertSink *m_alerts = nullptr;
    bool m_terminating = false;
    Shutdown m_shutdown;
    QTimer *m_finishTimer = nullptr;
};
