#pragma once

// Sends the queued pages, oldest first (skipping those held for later), one at a time,
// whenever the link is free: no operator command going on, no COM or gateway settings window
// open, and called from the top-level event loop. Each page goes through the encoder link with
// the framing, tries and busy wait of an operator's run, but with a sending state of its own;
// only the encoder's busy deadline is shared. The page leaves the queue in the transaction
// that writes its report row.

#include "core/LinkArbiter.h"
#include "core/SendingState.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class AlertSink;
class Clock;
class EventPump;
class GatewayStore;
class SerialStore;
class TCommPort;

class GatewayDispatcher final : public QObject, public LinkArbiter
{
public:
    static constexpr int kRetryMs = 30'000; // a port that cannot be opened is tried again
    static constexpr qint64 kHeldCheckMs = 60'000; // the longest wait for a held page

    GatewayDispatcher(GatewayStore &queue, SerialStore &serial, TCommPort &port, SendingState &shared, Clock &clock,
                      EventPump &pump, AlertSink &alerts, QObject *parent = nullptr);

    // LinkArbiter
    bool operatorRequest(std::function<void()> start) override;
    void operatorFinished() override;

    // A settings window that changes the link or the gateway is open: no page starts.
    void block();
    void unblock();
    // Pages were queued: send them from the top-level loop.
    void wake();

    bool pageOnWire() const { return m_onWire; }
    qint64 pageOnWireId() const { return m_wireId; } // 0: none
    bool halted() const { return m_halted; }
    // The last failure of dispatch (port, encoder or database), empty after a page went out.
    QString lastFailure() const { return m_failure; }

    // While a page is on the wire, ends its wait for a busy encoder and leaves it queued; `then`
    // runs from the top-level loop once the page has returned. False when no page is on the wire.
    bool stopAfterPage(std::function<void()> then);

    void setRowPosted(std::function<void()> posted) { m_rowPosted = std::move(posted); }
    void setChanged(std::function<void()> changed) { m_changed = std::move(changed); }
    void setRetryMs(int ms) { m_retry.setInterval(ms); }

private:
    bool mayStart() const;
    void dispatchNext();
    bool openPort();
    void closePort();
    void changed();
    void afterPage();

    GatewayStore &m_queue;
    SerialStore &m_serial;
    TCommPort &m_port;
    SendingState &m_shared;
    Clock &m_clock;
    EventPump &m_pump;
    AlertSink &m_alerts;

    SendingState m_state; // the pages' own: normal mode, no counter, no delay
    QTimer m_kick; // zero-delay: the next page, from whatever loop runs at top level
    QTimer m_later; // a look again after a dialog's loop
    QTimer m_retry;
    QTimer m_held; // the first held page falls due
    bool m_onWire = false;
    qint64 m_wireId = 0;
    bool m_operator = false;
    bool m_portOurs = false; // opened by dispatch with the current settings
    bool m_halted = false;
    bool m_stopping = false;
    int m_blocks = 0;
    QString m_failure;
    std::function<void()> m_pendingRun;
    std::function<void()> m_afterStop;
    std::function<void()> m_rowPosted;
    std::function<void()> m_changed;
};
