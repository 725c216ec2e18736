#include "gateway/SnppServer.h"

#include "gateway/SnppSession.h"

#include <QNetworkProxy>
#include <QTcpSocket>
#include <algorithm>

namespace {

const QByteArray kDenied = "421 Access Denied, Goodbye\r\n";
const QByteArray kBusy = "421 Too Many Sessions, Goodbye\r\n";
const QByteArray kIdle = "421 Timeout, Goodbye\r\n";
const QByteArray kShutdown = "421 Gateway Shutting Down, Goodbye\r\n";

} // namespace

struct SnppServer::Session
{
    QTcpSocket *socket = nullptr; // child of the server, deleted later once closed
    std::unique_ptr<SnppSession> conversation;
    QElapsedTimer idle;
    bool closing = false;
};

SnppServer::SnppServer(SnppBackend &backend, QObject *parent)
    : QTcpServer(parent)
    , m_backend(backend)
{
    setProxy(QNetworkProxy::NoProxy);
    setMaxPendingConnections(kMaxSessions);
    m_batch.setSingleShot(true);
    m_batch.setInterval(0);
    connect(&m_batch, &QTimer::timeout, this, [this] { serveWaiting(); });
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

    auto session = std::make_unique<Session>();
    Session *raw = session.get();
    raw->socket = socket;
    raw->conversation
        = std::make_unique<SnppSession>(m_backend, ClientFilter::normalised(socket->peerAddress()).toString());
    raw->idle.start();
    m_sessions.push_back(std::move(session));

    connect(socket, &QTcpSocket::readyRead, this, [this, raw] {
        // Input that arrives in one turn of the event loop is served together, so the pages
        // of several SENDs are made durable with one commit.
        if (std::find(m_waiting.begin(), m_waiting.end(), raw) == m_waiting.end())
            m_waiting.push_back(raw);
        if (!m_batch.isActive())
            m_batch.start();
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [raw] { raw->idle.restart(); });
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

void SnppServer::serveWaiting()
{
    const std::vector<Session *> waiting = std::exchange(m_waiting, {});
    std::vector<std::pair<Session *, SnppSession::Output>> outputs;
    m_backend.beginBatch();
    for (Session *session : waiting) {
        if (session->closing) {
            session->socket->readAll();
            continue;
        }
        session->idle.restart();
        outputs.emplace_back(session, session->conversation->feed(session->socket->readAll()));
    }
    const bool committed = m_backend.endBatch();
    for (auto &[session, out] : outputs) {
        // Nothing of a batch that did not commit was stored: its SENDs were not accepted.
        if (!committed)
            out.reply.replace(SnppSession::kSentReply, SnppSession::kNotQueuedReply);
        if (out.close) {
            closeSession(session, out.reply);
            continue;
        }
        session->socket->write(out.reply);
        // A client that sends without ever reading its replies is not kept.
        if (session->socket->bytesToWrite() > kMaxUnsent)
            session->socket->abort();
    }
}

void SnppServer::closeSession(Session *session, const QByteArray &reply)
{
    if (session->closing)
        return;
    session->closing = true;
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
    std::vector<Session *> idle;
    for (const auto &session : m_sessions) {
        if (!session->closing && session->idle.elapsed() >= m_idleMs)
            idle.push_back(session.get());
        else if (session->closing && session->idle.elapsed() >= m_idleMs)
            session->socket->abort(); // a peer that never takes the last reply
    }
    for (Session *session : idle)
        closeSession(session, kIdle);
}
