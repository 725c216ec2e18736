#pragma once

// The SNPP listener, served by the event loop of the thread it lives in: it accepts at most
// kMaxSessions clients at once and kMaxPerLogin per client address and login, only from the
// allowed addresses; it closes a session idle for a minute or open for ten, and never waits on
// a socket. Each turn of the loop answers at most kLinesPerTurn lines of each session, so no
// client can hold the loop, and no reply is built without room for it in the output.

#include "gateway/ClientFilter.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTimer>
#include <memory>

class Clock;
class QTcpSocket;
class SnppBackend;
class SnppSession;

class SnppServer final : public QTcpServer
{
public:
    static constexpr int kMaxSessions = 8;
    static constexpr int kMaxPerLogin = 2; // sessions of one client address and login
    static constexpr int kIdleMs = 60'000;
    static constexpr qint64 kSessionLimitMs = 600'000; // on the clock
    static constexpr int kLoginDelayMs = 1000; // before the reply to a failed LOGI
    static constexpr int kLinesPerTurn = 4;
    static constexpr qint64 kMaxUnsent = 1 << 20; // bytes of replies a client leaves unread
    static constexpr qint64 kReadChunk = 4096; // read from a socket when its lines are answered

    SnppServer(SnppBackend &backend, Clock &clock, QObject *parent = nullptr);
    ~SnppServer() override;

    // Listens on address:port (only there); returns the system's text when it cannot.
    QString start(const QString &address, int port);
    // Stops listening and closes every session with "421".
    void stop();

    void setFilter(const ClientFilter &filter) { m_filter = filter; }
    void setIdleTimeoutMs(int ms);
    void setLoginDelayMs(int ms) { m_loginDelayMs = ms; }
    int sessionCount() const { return int(m_sessions.size()); }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Session;
    struct Turn;
    void refuse(QTcpSocket *socket, const QByteArray &reply);
    void schedule(Session *session);
    void serveWaiting();
    Turn serve(Session *session);
    int sessionsOf(const QString &address, const QString &login, const Session *except) const;
    void closeSession(Session *session, const QByteArray &reply);
    void drop(Session *session);
    void reap();

    SnppBackend &m_backend;
    Clock &m_clock;
    ClientFilter m_filter;
    std::vector<std::unique_ptr<Session>> m_sessions;
    std::vector<Session *> m_waiting; // sessions with input to answer on the next turn
    bool m_serveQueued = false;
    QTimer m_reaper;
    int m_idleMs = kIdleMs;
    int m_loginDelayMs = kLoginDelayMs;
};
