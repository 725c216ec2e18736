#pragma once

// The gateway under test: a SendRig's database, port and sending state, the gateway with its
// tables, and SNPP clients on real loopback sockets. Clients never block the event loop, so
// the server in the same thread keeps answering.

#include "core/LinkArbiter.h"
#include "gateway/Gateway.h"
#include "store/GatewayStore.h"
#include "tests/support/SendRig.h"

#include <QHostAddress>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTest>
#include <memory>

class SnppTestClient
{
public:
    // Connects to port on host, from the loopback address `from` when given (the server tells
    // clients apart by address), and reads the greeting line (or a refusal).
    bool connectTo(quint16 port, const QString &host = QStringLiteral("127.0.0.1"), const QString &from = {})
    {
        if (!from.isEmpty() && !socket.bind(QHostAddress(from)))
            return false;
        socket.connectToHost(host, port);
        return waitLines(1);
    }
    // Connects as above and drops the greeting.
    bool connectQuietly(quint16 port)
    {
        const bool connected = connectTo(port);
        takeCodes();
        return connected;
    }
    // Sends bytes and returns the codes of the next `lines` reply lines.
    QStringList say(const QByteArray &bytes, int lines = 1)
    {
        socket.write(bytes);
        waitLines(lines);
        return takeCodes();
    }
    QStringList takeCodes()
    {
        QStringList codes;
        for (const QByteArray &line : received.split('\n')) {
            if (!line.isEmpty())
                codes << QString::fromLatin1(line.left(3));
        }
        received.clear();
        return codes;
    }
    bool waitLines(int lines, int timeoutMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (received.count('\n') < lines && timer.elapsed() < timeoutMs) {
            QTest::qWait(2);
            received += socket.readAll();
        }
        return received.count('\n') >= lines;
    }
    bool waitClosed(int timeoutMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (socket.state() != QAbstractSocket::UnconnectedState && timer.elapsed() < timeoutMs) {
            QTest::qWait(2);
            received += socket.readAll();
        }
        received += socket.readAll();
        return socket.state() == QAbstractSocket::UnconnectedState;
    }

    QTcpSocket socket;
    QByteArray received;
};

struct GatewayRig : SendRig
{
    explicit GatewayRig(bool listen = true)
    {
        if (!ok)
            return;
        gateway = std::make_unique<Gateway>(
            stores->report.database(), GatewayLinks { port, arbiter, state.busyDeadline, state.shutdown, clock, pump });
        QObject::connect(gateway.get(), &Gateway::statusChanged, [this](const QString &text) { status = text; });
        QObject::connect(gateway.get(), &Gateway::rowPosted, [this] { ++rowsPosted; });
        ok = gateway->start();
        if (ok && listen) {
            GatewaySettings s = gateway->settings();
            s.enabled = true;
            s.port = 0; // any free port
            s.allowed = QStringLiteral("127.0.0.0/8,::1"); // clients from several loopback addresses
            error = gateway->apply(s);
            ok = error.isEmpty();
        }
    }
    ~GatewayRig() { gateway.reset(); }

    // Settings as they are now, with `change` made, applied.
    template <typename Change> bool reapply(Change change)
    {
        GatewaySettings s = gateway->settings();
        change(s);
        error = gateway->apply(s);
        return error.isEmpty();
    }

    // Holds the link away from the dispatcher, so submitted pages stay queued; false when the
    // rig is not ready (the link is held all the same).
    bool holdLink()
    {
        arbiter.block();
        return ok;
    }

    quint16 serverPort() const { return gateway->server().serverPort(); }
    int queued() const { return gateway->store().count(); }
    // Waits (serving events) until the queue holds n pages.
    bool waitQueued(int n, int timeoutMs = 10000) const
    {
        QElapsedTimer timer;
        timer.start();
        while (queued() != n && timer.elapsed() < timeoutMs)
            QTest::qWait(5);
        return queued() == n;
    }

    LinkArbiter arbiter;
    std::unique_ptr<Gateway> gateway;
    QString status;
    int rowsPosted = 0;
};
