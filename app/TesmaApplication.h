#pragma once

#include <QApplication>

class AlertSink;

// The application object with the last-resort guard: an exception that escapes a handler
// is reported through the alert sink with its text, and the program goes on.
class TesmaApplication final : public QApplication
{
public:
    TesmaApplication(int &argc, char **argv);

    void setAlertSink(AlertSink *sink) { m_alerts = sink; }
    bool notify(QObject *receiver, QEvent *event) override;

    // Quits the event loop cleanly on SIGTERM and SIGINT. A signal that arrives while a
    // message box of the start-up is open ends that box, and terminationRequested() then
    // tells main() not to enter the main loop at all.
    void quitOnTerminationSignals();
    bool terminationRequested() const { return m_terminating; }

private:
    void report(const QString &text);
    AlertSink *m_alerts = nullptr;
    bool m_terminating = false;
};
