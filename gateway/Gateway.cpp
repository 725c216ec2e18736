#include "gateway/Gateway.h"

#include "core/Clock.h"
#include "core/Errors.h"
#include "store/DataStores.h"

Gateway::Gateway(const QSqlDatabase &db, DataStores &stores, TCommPort &port, SendingState &state, Clock &clock,
                 EventPump &pump, AlertSink &alerts, QObject *parent)
    : QObject(parent)
    , m_clock(clock)
    , m_store(db)
    , m_backend(m_store, clock)
    , m_server(m_backend, clock, this)
    , m_dispatcher(m_store, stores.serial, port, state, clock, pump, alerts, this)
{
    m_backend.setQueued([this] {
        m_dispatcher.wake();
        emit queueChanged();
        notify();
    });
    m_dispatcher.setChanged([this] { notify(); });
    m_dispatcher.setRowPosted([this] {
        emit rowPosted();
        emit queueChanged();
    });
}

bool Gateway::start()
{
    try {
        m_store.ensureTables();
        m_settings = m_store.settings();
    } catch (const DataError &error) {
        m_error = error.text();
        notify();
        return false;
    }
    m_ready = true;
    m_dispatcher.wake();
    notify();
    return true;
}

QString Gateway::apply(const GatewaySettings &settings)
{
    m_settings = settings;
    m_backend.setLogin(settings.login, settings.password);
    m_server.setFilter(ClientFilter(settings.allowed));
    QString error;
    // Sessions going on are kept when the address and port stay as they are.
    const bool same = m_server.isListening() && settings.port != 0 && settings.address == m_listenAddress
        && settings.port == m_listenPort;
    if (!m_ready || !settings.enabled) {
        m_server.stop();
    } else if (!same) {
        error = m_server.start(settings.address, settings.port);
        m_listenAddress = settings.address;
        m_listenPort = settings.port;
    }
    notify();
    return error;
}

QString Gateway::bindFailureText(const GatewaySettings &settings, const QString &error)
{
    return QStringLiteral("Impossibile attivare il gateway SNPP su %1, porta %2: %3")
        .arg(settings.address)
        .arg(settings.port)
        .arg(error);
}

QString Gateway::statusText() const
{
    int waiting = 0;
    if (m_ready) {
        try {
            waiting = m_store.count();
        } catch (const DataError &) {
        }
    }
    QString text;
    if (m_server.isListening()) {
        const QHostAddress address = m_server.serverAddress();
        const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
            ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
            : address.toString();
        text = QStringLiteral("SNPP: %1:%2, in coda: %3").arg(host).arg(m_server.serverPort()).arg(waiting);
    } else {
        text = QStringLiteral("SNPP: spento");
        if (waiting > 0)
            text += QStringLiteral(", in coda: %1").arg(waiting);
    }
    const QString failure
        = !m_ready ? m_error : (m_commandFailure.isEmpty() ? m_dispatcher.lastFailure() : m_commandFailure);
    if (!failure.isEmpty())
        text += QStringLiteral(" (%1)").arg(failure);
    return text;
}

void Gateway::cancelPage(qint64 id)
{
    if (!m_ready || id == 0 || id == m_dispatcher.pageOnWireId())
        return;
    try {
        const std::optional<GatewayPage> page = m_store.find(id);
        if (!page)
            return;
        ReportRow row;
        row.recipt = page->recipt;
        row.pinId = QString::fromLatin1(page->header);
        row.dispTime = page->dispTime;
        row.sent = QStringLiteral("Si ");
        row.sendTime = m_clock.now();
        row.status = QStringLiteral("Annullata");
        row.msg = QString::fromLatin1(page->prefix + page->body);
        const bool recorded = m_store.complete(id, row) != 0;
        m_commandFailure.clear();
        if (recorded)
            emit rowPosted();
    } catch (const DataError &error) {
        m_commandFailure = error.text();
    }
    pagesChanged();
}

void Gateway::retryPage(qint64 id)
{
    if (!m_ready || id == 0 || id == m_dispatcher.pageOnWireId())
        return;
    try {
        m_store.retryNow(id);
        m_commandFailure.clear();
    } catch (const DataError &error) {
        m_commandFailure = error.text();
    }
    m_dispatcher.wake();
    pagesChanged();
}

void Gateway::pagesChanged()
{
    emit queueChanged();
    notify();
}

void Gateway::notify()
{
    const qint64 onWire = m_dispatcher.pageOnWireId();
    if (onWire != m_pageOnWire) {
        m_pageOnWire = onWire;
        emit pageOnWireChanged(onWire);
    }
    emit statusChanged(statusText());
}
