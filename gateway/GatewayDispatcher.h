#pragma once

// Sends the queued pages, oldest first (skipping those held for later or waiting for their
// next try), one at a time, whenever the arbiter gives it the link. Each page goes through
// the encoder link with the framing, tries and busy wait of an operator's run; only the
// encoder's busy deadline is shared. The page leaves the queue in the transaction that writes
// its report row.
//
// A page the encoder does not acknowledge stays queued: the link is silent for every page, so
// the next try of any page waits 30 s, then twice as long each time up to 5 min. A page that
// waits past its expiry leaves the queue with a row "Scaduta". Nothing is framed unless its
// row can be written: while it cannot, dispatch pauses and looks again every 30 s.

#include "store/DataStores.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <optional>

class BusyDeadline;
class Clock;
class EventPump;
class GatewayStore;
class LinkArbiter;
class SerialStore;
class TCommPort;
struct GatewayPage;

class GatewayDispatcher final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kRetryMs = 30'000; // the first wait after a try got no answer
    static constexpr int kLongestRetryFactor = 10; // the wait doubles up to ten times that
    static constexpr qint64 kLongestWaitMs = 60'000; // looks at the queue at least this often

    // What keeps pages from going out, for the status panel.
    enum class Trouble
    {
        None,
        EncoderSilent, // the last try got no answer
        Port, // the port could not be opened, or failed under a page
        Report, // report rows cannot be written: SEND is refused meanwhile
        Queue // the queue could not be read
    };

    GatewayDispatcher(GatewayStore &queue, SerialStore &serial, TCommPort &port, LinkArbiter &arbiter,
                      BusyDeadline &busy, const std::atomic_bool &shutdown, Clock &clock, EventPump &pump,
                      QObject *parent = nullptr);

    // Pages were queued, or something that held them has gone: look at the queue.
    void wake();
    // "Riprova ora": the wait of a silent link ends; the page is made due by its caller.
    void retryNow();

    bool pageOnWire() const { return m_wireId != 0; }
    qint64 pageOnWireId() const { return m_wireId; } // 0: none
    // A page that was acknowledged and whose row waits to be written: it is never framed again.
    bool awaitsRow(qint64 id) const;
    Trouble trouble() const { return m_trouble; }
    // Why, in words, empty without trouble.
    QString lastFailure() const { return m_failure; }

    // The first wait of a silent link, and of a report that cannot be written; tests shorten it.
    void setRetryMs(int ms) { m_retryMs = ms; }

signals:
    void rowPosted(); // a report row was written
    void changed(); // the queue, the page on the wire or the trouble changed
    void refusingChanged(bool refusing); // SEND must be refused (report rows cannot be written)

private:
    struct AwaitingRow
    {
        qint64 id; // of the page in the queue
        ReportRow row;
    };

    void dispatchNext();
    // False (and dispatch pauses) when rows cannot be written.
    bool reportWritable();
    bool writeAwaitingRows();
    void expireDue(const QDateTime &now);
    void send(const GatewayPage &page);
    void record(const GatewayPage &page, const QString &status, const QByteArray &msg);
    void backOff(const GatewayPage &page, Trouble trouble, const QString &failure);
    bool openPort();
    void closePort();
    void setTrouble(Trouble trouble, const QString &failure);
    void lookAgainIn(qint64 ms);

    GatewayStore &m_queue;
    SerialStore &m_serial;
    TCommPort &m_port;
    LinkArbiter &m_arbiter;
    BusyDeadline &m_busy;
    const std::atomic_bool &m_shutdown;
    Clock &m_clock;
    EventPump &m_pump;

    QTimer m_kick; // zero-delay: the next page, from the event loop
    QTimer m_later; // the next hold, try or expiry that falls due, or a look again
    qint64 m_wireId = 0;
    bool m_portOurs = false; // opened by dispatch...
    int m_portGeneration = -1; // ...under these settings
    int m_retryMs = kRetryMs;
    qint64 m_backoffMs = 0; // the silent link's wait now; 0 while it answers
    qint64 m_linkRetryTick = 0; // no try before this tick
    bool m_refusing = false;
    Trouble m_trouble = Trouble::None;
    QString m_failure;
    QList<AwaitingRow> m_awaiting;
};
