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

    // Quits the event loop cleanly on SIGTERM and SIGINT.
    void quitOnTerminationSignals();

private:
    void report(const QString &text);
    AlertSink *m_alerts = nullptr;
};
