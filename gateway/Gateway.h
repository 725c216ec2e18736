#pragma once

// Pages from other systems: the SNPP listener, the durable queue and its dispatch, under the
// settings of table gateway. Switching the gateway off stops listening only: pages already
// accepted still go out.

#include "gateway/GatewayBackend.h"
#include "gateway/GatewayDispatcher.h"
#include "gateway/SnppServer.h"
#include "store/GatewayStore.h"

#include <QObject>

class AlertSink;
class Clock;
class EventPump;
class TCommPort;
struct DataStores;
struct SendingState;

class Gateway final : public QObject
{
    Q_OBJECT

public:
    Gateway(const QSqlDatabase &db, DataStores &stores, TCommPort &port, SendingState &state, Clock &clock,
            EventPump &pump, AlertSink &alerts, QObject *parent = nullptr);

    // Creates the gateway's tables when missing, applies the stored settings and sends what
    // an earlier run left queued. False (and the gateway stays off) when the tables cannot be
    // made; error() then holds the engine's text.
    bool start();
    // Stores nothing: listens, moves or stops as the settings say. Returns why the address
    // could not be bound (the gateway is then off), empty when all went well.
    QString apply(const GatewaySettings &settings);

    GatewayStore &store() { return m_store; }
    GatewayDispatcher &dispatcher() { return m_dispatcher; }
    SnppServer &server() { return m_server; }
    const GatewaySettings &settings() const { return m_settings; }
    QString error() const { return m_error; }

    // What the operator is told when the address cannot be bound.
    static QString bindFailureText(const GatewaySettings &settings, const QString &error);

    // "SNPP: spento", or the address listened on and the pages waiting.
    QString statusText() const;

    // "Coda SNPP": the page leaves the queue with its report row "Annullata" (refused while it
    // is on the wire); or it is made due at once. Outcomes arrive as the signals below.
    void cancelPage(qint64 id);
    void retryPage(qint64 id);

signals:
    void statusChanged(const QString &text);
    void rowPosted(); // a report row was written
    void queueChanged(); // pages were queued, sent, cancelled or rescheduled
    void pageOnWireChanged(qint64 id); // 0: none

private:
    void notify();
    void pagesChanged();

    Clock &m_clock;
    GatewayStore m_store;
    GatewayBackend m_backend;
    SnppServer m_server;
    GatewayDispatcher m_dispatcher;
    GatewaySettings m_settings;
    QString m_listenAddress; // where the server was last started
    int m_listenPort = 0;
    QString m_error;
    QString m_commandFailure; // of the last cancel or retry
    bool m_ready = false;
    qint64 m_pageOnWire = 0;
};
