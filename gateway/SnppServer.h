#pragma once

// The SNPP listener in the main thread: sessions are served whenever the event loop runs,
// including during a run's pumped waits. It accepts at most kMaxSessions clients at once,
// only from the allowed addresses, closes a session idle for a minute, and never waits on a
// socket.

#include "gateway/ClientFilter.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>
#include <memory>

class QTcpSocket;
class SnppBackend;
class SnppSession;

class SnppServer final : public QTcpServer
{
public:
    static constexpr int kMaxSessions = 8;
    static constexpr int kIdleMs = 60'000;
    static constexpr qint64 kMaxUnsent = 1 << 20; // bytes of replies a client leaves unread

    explicit SnppServer(SnppBackend &backend, QObject *parent = nullptr);
    ~SnppServer() override;

    // Listens on address:port (only there); returns the system's text when it cannot.
    QString start(const QString &address, int port);
    // Stops listening and closes every session with "421".
    void stop();

    void setFilter(const ClientFilter &filter) { m_filter = filter; }
    void setIdleTimeoutMs(int ms);
    int sessionCount() const { return int(m_sessions.size()); }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Session;
    void refuse(QTcpSocket *socket, const QByteArray &reply);
    void serveWaiting();
    void closeSession(Session *session, const QByteArray &reply);
    void drop(Session *session);
    void reap();

    SnppBackend &m_backend;
    ClientFilter m_filter;
    std::vector<std::unique_ptr<Session>> m_sessions;
    std::vector<Session *> m_waiting; // sessions with input not yet read
    QTimer m_batch; // zero-delay: serves the waiting sessions with one commit
    QTimer m_reaper;
    int m_idleMs = kIdleMs;
};
