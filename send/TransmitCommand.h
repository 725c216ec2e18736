#pragma once

#include "core/AlertSink.h"
#include "core/Clock.h"
#include "core/LinkArbiter.h"
#include "core/SendingState.h"

#include <QObject>

#include <functional>

class TransmitDriver;
class TransmitView;

// "Invia" (tbnTransmit, mnuTransmit, F10): disables itself, runs the driver (or, in range-test
// mode, opens the range-test window whose "Start" runs it), renews the encoder busy deadline
// after a good run, gives the link back (before the run's closing message, outside range
// tests) and enables itself again.
class TransmitCommand : public QObject
{
    Q_OBJECT

public:
    // Status text while "Invia" waits for a page from another system to leave the line.
    static const QString kWaitingForGatewayPage;

    TransmitCommand(SendingState &state, TransmitDriver &driver, TransmitView &view, Clock &clock, AlertSink &alerts);

    // Asked before every run, before the port opens: a text that is not empty refuses it and
    // is shown (the report rows could not be stored, so no page may go out). A question with
    // an answer, asked of whoever knows the report's state: a function, not a signal.
    void setRefusal(std::function<QString()> refusal) { m_refusal = std::move(refusal); }

    // Asked before every command: with a page from another system on the wire, the command
    // is kept and started once that page is done.
    void setArbiter(LinkArbiter *arbiter) { m_arbiter = arbiter; }

    void tbnTransmitClick();

    // The range-test window's "Start": one run, kept as the last run result.
    bool startRangeRun();

    // The main window is being closed. While a command is going on this raises the stop
    // request and returns true: the close must wait, and deferredCloseDue() ends
    // the program once the run has returned. Returns false when nothing is running.
    bool requestCloseDuringRun();

    bool busy() const { return m_busy; }

signals:
    // A range test is starting: the range-test window is to be shown modally; its "Start"
    // calls startRangeRun(). Connected directly, so the command goes on once it has closed.
    void rangeWindowRequested();
    // The command has returned after requestCloseDuringRun() deferred a close: the main
    // window may close now.
    void deferredCloseDue();

private:
    void renewBusyDeadline();
    // Once per command: renews the busy deadline after a good run and frees the link.
    void giveLinkBack(bool renewDeadline);

    SendingState &m_state;
    TransmitDriver &m_driver;
    TransmitView &m_view;
    Clock &m_clock;
    AlertSink &m_alerts;
    std::function<QString()> m_refusal;
    LinkArbiter *m_arbiter = nullptr;
    bool m_busy = false;
    bool m_linkHeld = false; // the command has the link (given back once)
    bool m_closePending = false;
};
