#include "gateway/SnppServer.h"

#include "core/Clock.h"
#include "gateway/SnppSession.h"

#include <QNetworkProxy>
#include <QTcpSocket>
#include <algorithm>

namespace {

const QByteArray kDenied = "421 Access Denied, Goodbye\r\n";
const QByteArray kBusy = "421 Too Many Sessions, Goodbye\r\n";
const QByteArray kTooManyForLogin = "421 Too many sessions\r\n";
const QByteArray kIdle = "421 Timeout, Goodbye\r\n";
const QByteArray kSessionLimit = "421 Session time limit\r\n";
const QByteArray kShutdown = "421 Gateway Shutting Down, Goodbye\r\n";

// What a socket holds of a client's input before the kernel makes the client wait.
constexpr qint64 kReadBuffer = 64 * 1024;

} // namespace

struct SnppServer::Session
{
    QTcpSocket *socket = nullptr; // child of the server, deleted later once closed
    std::unique_ptr<SnppSession> conversation;
    QString address; // the client's, IPv4-mapped addresses as IPv4
    QElapsedTimer idle;
    qint64 startedMs = 0; // on the clock
    QTimer loginDelay; // a failed LOGI's reply, and the lines after it, wait for it
    QByteArray heldReply;
    bool heldClose = false;
    bool stalled = false; // no room for a reply in the output: waits for bytesWritten()
    bool closing = false;
};

// What one turn answered for a session; written once the turn's SENDs are committed.
struct SnppServer::Turn
{
    Session *session = nullptr;
    QByteArray reply;
    bool close = false;
    bool again = false; // input is left: serve it on the next turn
};

SnppServer::SnppServer(SnppBackend &backend, Clock &clock, QObject *parent)
    : QTcpServer(parent)
    , m_backend(backend)
    , m_clock(clock)
{
    setProxy(QNetworkProxy::NoProxy);
    setMaxPendingConnections(kMaxSessions);
    m_reaper.setInterval(1000);
    connect(&m_reaper, &QTimer::timeout, this, [this] { reap(); });
}

SnppServer::~SnppServer()
{
    for (const auto &session : m_sessions) {
        session->socket->disconnect(this);
        session->socket->abort();
    }
}

QString SnppServer::start(const QString &address, int port)
{
    stop();
    // "::" is every address of both families: IPv4 clients then arrive IPv4-mapped.
    QHostAddress host(address);
    if (host == QHostAddress(QHostAddress::AnyIPv6))
        host = QHostAddress(QHostAddress::Any);
    if (host.isNull())
        return QStringLiteral("indirizzo non valido \"%1\"").arg(address);
    if (port < 0 || port > 65535)
        return QStringLiteral("porta non valida %1").arg(port);
    if (!listen(host, quint16(port)))
        return errorString();
    m_reaper.start();
    return QString();
}

void SnppServer::stop()
{
    if (isListening())
        close();
    m_reaper.stop();
    std::vector<Session *> open;
    for (const auto &session : m_sessions)
        open.push_back(session.get());
    for (Session *session : open)
        closeSession(session, kShutdown);
}

void SnppServer::setIdleTimeoutMs(int ms)
{
    m_idleMs = ms;
    m_reaper.setInterval(std::clamp(ms / 4, 10, 1000));
}

void SnppServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        socket->deleteLater();
        return;
    }
    if (!m_filter.allows(socket->peerAddress())) {
        refuse(socket, kDenied);
        return;
    }
    if (sessionCount() >= kMaxSessions) {
        refuse(socket, kBusy);
        return;
    }
    const QString address = ClientFilter::normalised(socket->peerAddress()).toString();
    // Before LOGI a session's login is empty.
    if (sessionsOf(address, QString(), nullptr) >= kMaxPerLogin) {
        refuse(socket, kTooManyForLogin);
        return;
    }

    auto session = std::make_unique<Session>();
    Session *raw = session.get();
    raw->socket = socket;
    raw->address = address;
    raw->conversation = std::make_unique<SnppSession>(m_backend, address);
    raw->idle.start();
    raw->startedMs = m_clock.tickMs();
    raw->loginDelay.setSingleShot(true);
    m_sessions.push_back(std::move(session));

    // A client that sends faster than it is answered waits in the kernel, not in memory here.
    socket->setReadBufferSize(kReadBuffer);
    connect(socket, &QTcpSocket::readyRead, this, [this, raw] { schedule(raw); });
    connect(socket, &QTcpSocket::bytesWritten, this, [this, raw] {
        raw->idle.restart();
        if (std::exchange(raw->stalled, false))
            schedule(raw);
    });
    connect(&raw->loginDelay, &QTimer::timeout, this, [this, raw] { schedule(raw); });
    connect(socket, &QTcpSocket::disconnected, this, [this, raw] { drop(raw); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, raw](QAbstractSocket::SocketError) {
        if (raw->socket->state() == QAbstractSocket::UnconnectedState)
            drop(raw);
    });
    socket->write(SnppSession::greeting());
}

void SnppServer::refuse(QTcpSocket *socket, const QByteArray &reply)
{
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->write(reply);
    socket->disconnectFromHost();
}

int SnppServer::sessionsOf(const QString &address, const QString &login, const Session *except) const
{
    return int(std::count_if(m_sessions.begin(), m_sessions.end(), [&](const auto &session) {
        return session.get() != except && !session->closing && session->address == address
            && session->conversation->login() == login;
    }));
}

void SnppServer::schedule(Session *session)
{
    if (std::find(m_waiting.begin(), m_waiting.end(), session) == m_waiting.end())
        m_waiting.push_back(session);
    // The next turn of the event loop, after whatever else is waiting in it: never recursion.
    if (!std::exchange(m_serveQueued, true))
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_serveQueued = false;
                serveWaiting();
            },
            Qt::QueuedConnection);
}

void SnppServer::serveWaiting()
{
    // The sessions served together have their pages made durable with one commit.
    const std::vector<Session *> waiting = std::exchange(m_waiting, {});
    std::vector<Turn> turns;
    m_backend.beginBatch();
    for (Session *session : waiting) {
        if (session->closing) {
            session->socket->readAll();
            continue;
        }
        if (!session->loginDelay.isActive())
            turns.push_back(serve(session));
    }
    const bool committed = m_backend.endBatch();

    // Ending a session can drop it at once (disconnected()): that is done last, one by one.
    std::vector<std::pair<Session *, QByteArray>> ending;
    for (Turn &turn : turns) {
        // Nothing of a batch that did not commit was stored: its SENDs were not accepted.
        if (!committed)
            turn.reply.replace(SnppSession::kSentReply, SnppSession::kNotQueuedReply);
        Session *session = turn.session;
        if (turn.close) {
            ending.emplace_back(session, turn.reply);
            continue;
        }
        session->socket->write(turn.reply);
        if (!session->heldReply.isEmpty())
            session->loginDelay.start(m_loginDelayMs);
        else if (turn.again)
            schedule(session);
    }
    for (const auto &[session, reply] : ending)
        closeSession(session, reply);
}

SnppServer::Turn SnppServer::serve(Session *session)
{
    Turn turn;
    turn.session = session;
    if (!session->heldReply.isEmpty()) {
        // A failed LOGI's pause is over.
        turn.reply = std::exchange(session->heldReply, {});
        turn.close = std::exchange(session->heldClose, false);
        if (turn.close)
            return turn;
    }
    SnppSession &talk = *session->conversation;
    QTcpSocket &socket = *session->socket;
    for (int line = 0; line < kLinesPerTurn; ++line) {
        if (socket.bytesToWrite() + turn.reply.size() + SnppSession::kMaxReply > kMaxUnsent) {
            session->stalled = true;
            return turn;
        }
        QByteArray bytes;
        if (!talk.hasPendingLine()) {
            bytes = socket.read(kReadChunk);
            if (bytes.isEmpty())
                break;
            session->idle.restart();
        }
        const QString loginBefore = talk.login();
        SnppSession::Output out = talk.feed(bytes, 1);
        if (talk.login() != loginBefore && sessionsOf(session->address, talk.login(), session) >= kMaxPerLogin) {
            out.reply = kTooManyForLogin;
            out.close = true;
        }
        if (out.delay) {
            session->heldReply = out.reply;
            session->heldClose = out.close;
            return turn;
        }
        turn.reply += out.reply;
        if (out.close) {
            turn.close = true;
            return turn;
        }
    }
    turn.again = talk.hasPendingLine() || socket.bytesAvailable() > 0;
    return turn;
}

void SnppServer::closeSession(Session *session, const QByteArray &reply)
{
    if (session->closing)
        return;
    session->closing = true;
    session->loginDelay.stop();
    session->socket->write(reply);
    // Flushes what is left to write, then closes; disconnected() drops the session.
    session->socket->disconnectFromHost();
}

void SnppServer::drop(Session *session)
{
    const auto it
        = std::find_if(m_sessions.begin(), m_sessions.end(), [session](const auto &s) { return s.get() == session; });
    if (it == m_sessions.end())
        return;
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), session), m_waiting.end());
    (*it)->socket->disconnect(this);
    (*it)->socket->deleteLater();
    m_sessions.erase(it);
}

void SnppServer::reap()
{
    // Ending a session can emit disconnected() at once, which takes it out of m_sessions: the
    // sessions to end are picked first and ended after the walk.
    const qint64 now = m_clock.tickMs();
    std::vector<Session *> unflushed;
    std::vector<std::pair<Session *, QByteArray>> expired;
    for (const auto &session : m_sessions) {
        const bool idle = session->idle.elapsed() >= m_idleMs;
        if (session->closing) {
            if (idle)
                unflushed.push_back(session.get()); // a peer that never takes the last reply
        } else if (now - session->startedMs >= kSessionLimitMs) {
            expired.emplace_back(session.get(), kSessionLimit);
        } else if (idle) {
            expired.emplace_back(session.get(), kIdle);
        }
    }
    for (Session *session : unflushed)
        session->socket->abort();
    for (const auto &[session, reply] : expired)
        closeSession(session, reply);
}
