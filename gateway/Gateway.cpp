#include "gateway/Gateway.h"

#include "core/Clock.h"
#include "core/Errors.h"
#include "store/DataStores.h"

Gateway::Gateway(QSqlDatabase db, const GatewayLinks &links, QObject *parent)
    : GatewayControl(parent)
    , m_clock(links.clock)
    , m_store(db)
    , m_serial(db)
    , m_backend(m_store, links.clock)
    , m_server(m_backend, links.clock, this)
    , m_dispatcher(m_store, m_serial, links.port, links.arbiter, links.busy, links.shutdown, links.clock, links.pump,
                   this)
{
    m_backend.setQueued([this] {
        m_dispatcher.wake();
        pagesChanged();
    });
    connect(&m_dispatcher, &GatewayDispatcher::changed, this, &Gateway::notify);
    connect(&m_dispatcher, &GatewayDispatcher::rowPosted, this, [this] {
        emit rowPosted();
        emit queueChanged();
    });
    connect(&m_dispatcher, &GatewayDispatcher::refusingChanged, this,
            [this](bool refusing) { m_backend.setRefusing(refusing); });
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
    m_backend.setExpiryMinutes(settings.expiryMinutes);
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

QString Gateway::statusText() const
{
    int waiting = 0;
    if (m_ready) {
        try {
            waiting = m_store.count();
        } catch (const DataError &) {
        }
    }
    if (m_ready && m_dispatcher.trouble() == GatewayDispatcher::Trouble::EncoderSilent)
        return QStringLiteral("SNPP: %1, in coda: %2").arg(m_dispatcher.lastFailure()).arg(waiting);
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
    // A page on the wire, or sent and waiting for its row to be written, is not the queue's to give up.
    if (!m_ready || id == 0 || id == m_dispatcher.pageOnWireId() || m_dispatcher.awaitsRow(id))
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
    m_dispatcher.retryNow();
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
