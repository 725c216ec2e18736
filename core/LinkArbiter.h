#pragma once

#include <QMutex>
#include <QObject>
#include <functional>

// One owner of the encoder link at a time: the operator's command, or a page from another
// system, which the gateway sends from its own thread. The operator comes first: a command
// that finds a page on the wire is kept and started from the window's event loop right after
// that page, and no page starts while a command goes on or a settings window is open.
//
// Nobody waits on the lock: the window's thread is told "not now" and keeps its command; the
// gateway's thread tries again once released() arrives.
class LinkArbiter final : public QObject
{
    Q_OBJECT

public:
    explicit LinkArbiter(QObject *parent = nullptr);

    // The window's thread. True: the link is the command's until operatorFinished(). False: a
    // page is on the wire; `start` is kept and called from this object's thread once the page
    // is done.
    bool operatorRequest(std::function<void()> start);
    void operatorFinished();

    // The window's thread: a window that changes the link's or the gateway's settings is open,
    // so no page starts. The next page opens the port afresh.
    void block();
    void unblock();

    // The gateway's thread. True: the link is the gateway's until release(). False: the
    // operator has it, wants it, or a settings window is open; try again after released().
    bool tryAcquire();
    void release();

    // Changes whenever someone else may have changed the port or its settings (a command ran,
    // a settings window closed): a port the gateway opened before is opened afresh.
    int portGeneration() const;
    bool gatewayHolds() const;

signals:
    // The link may be free for a page now. Emitted on the thread that freed it.
    void released();

private:
    enum class Holder
    {
        None,
        Operator,
        Gateway
    };
    // Called with the mutex held: whether released() is due.
    bool freeLocked() const;

    mutable QMutex m_mutex;
    Holder m_holder = Holder::None;
    int m_blocks = 0;
    int m_generation = 0;
    bool m_operatorWaiting = false; // a command kept while a page is on the wire
    std::function<void()> m_pendingRun;
};
