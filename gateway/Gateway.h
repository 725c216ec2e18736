#pragma once

// Pages from other systems: the SNPP listener, the durable queue and its dispatch, under the
// settings of table gateway, over a database connection of its own. Everything here lives on
// the thread that made it (GatewayThread's, in the console). Switching the gateway off stops
// listening only: pages already accepted still go out.

#include "gateway/GatewayBackend.h"
#include "gateway/GatewayControl.h"
#include "gateway/GatewayDispatcher.h"
#include "gateway/SnppServer.h"
#include "store/DataStores.h"
#include "store/GatewayStore.h"

#include <atomic>

class BusyDeadline;
class Clock;
class EventPump;
class LinkArbiter;
class TCommPort;

// What the gateway shares with the rest of the console. All of it may be used from the
// gateway's thread: the port only while the arbiter gives it the link.
struct GatewayLinks
{
    TCommPort &port;
    LinkArbiter &arbiter;
    BusyDeadline &busy;
    std::atomic_bool &shutdown; // the program is ending: no new try starts
    Clock &clock;
    EventPump &pump;
};

class Gateway final : public GatewayControl
{
    Q_OBJECT

public:
    Gateway(QSqlDatabase db, const GatewayLinks &links, QObject *parent = nullptr);

    // Creates the gateway's tables when missing, reads the stored settings and sends what an
    // earlier run left queued. False (and the gateway stays off) when the tables cannot be
    // made; error() then holds the engine's text.
    bool start();
    QString error() const { return m_error; }

    // GatewayControl
    GatewaySettings settings() const override { return m_settings; }
    GatewaySettings storedSettings() override { return m_store.settings(); }
    void storeSettings(const GatewaySettings &settings) override { m_store.setSettings(settings); }
    QString apply(const GatewaySettings &settings) override;
    QString statusText() const override;
    qint64 pageOnWireId() const override { return m_dispatcher.pageOnWireId(); }
    void cancelPage(qint64 id) override;
    void retryPage(qint64 id) override;

    GatewayStore &store() { return m_store; }
    GatewayDispatcher &dispatcher() { return m_dispatcher; }
    SnppServer &server() { return m_server; }

private:
    void notify();
    void pagesChanged();

    Clock &m_clock;
    GatewayStore m_store;
    SerialStore m_serial;
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
