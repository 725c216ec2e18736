#include "gateway/GatewayDispatcher.h"

#include "core/AlertSink.h"
#include "core/Clock.h"
#include "core/Errors.h"
#include "link/ECommError.h"
#include "link/EncoderLink.h"
#include "link/TCommPort.h"
#include "send/TransmitDriver.h"
#include "store/DataStores.h"
#include "store/GatewayStore.h"

#include <QThread>
#include <algorithm>

namespace {

const QString kDataFailure = QStringLiteral("Gateway SNPP fermato: impossibile registrare una pagina inviata: %1");

// A page from the queue as the frame reads it: address-book framing (the name prefix is
// used), no test fields, no delay, no progress shown.
class QueuedPageView final : public PageView
{
public:
    explicit QueuedPageView(QByteArray body)
        : m_body(std::move(body))
    {
    }
    bool addressBookPageActive() const override { return true; }
    bool testModeChecked() const override { return false; }
    bool chgMsgChecked() const override { return false; }
    bool toneOnlyChecked() const override { return false; }
    QByteArray messageText() const override { return m_body; }
    QByteArray rangeText() const override { return {}; }
    qint64 delayFieldMs() const override { return 0; }
    void setProgress(int, int) override { }
    void advanceProgress(int) override { }

private:
    QByteArray m_body;
};

// Pages from other systems show no message boxes: their outcome is the report row.
class SilentAlerts final : public AlertSink
{
public:
    void plain(const QString &) override { }
    void captioned(const QString &, const QString &, AlertIcon) override { }
    bool ask(const QString &, const QString &, AlertIcon, AlertButtons) override { return false; }
};

} // namespace

GatewayDispatcher::GatewayDispatcher(GatewayStore &queue, SerialStore &serial, TCommPort &port, SendingState &shared,
                                     Clock &clock, EventPump &pump, AlertSink &alerts, QObject *parent)
    : QObject(parent)
    , m_queue(queue)
    , m_serial(serial)
    , m_port(port)
    , m_shared(shared)
    , m_clock(clock)
    , m_pump(pump)
    , m_alerts(alerts)
{
    m_kick.setSingleShot(true);
    m_kick.setInterval(0);
    connect(&m_kick, &QTimer::timeout, this, [this] { dispatchNext(); });
    m_later.setSingleShot(true);
    m_later.setInterval(250);
    connect(&m_later, &QTimer::timeout, this, [this] { wake(); });
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, [this] { wake(); });
    m_held.setSingleShot(true);
    connect(&m_held, &QTimer::timeout, this, [this] { wake(); });
}

bool GatewayDispatcher::operatorRequest(std::function<void()> start)
{
    if (m_onWire) {
        m_pendingRun = std::move(start);
        return false;
    }
    m_operator = true;
    // The run configures the port itself and may leave it open or closed.
    m_portOurs = false;
    return true;
}

void GatewayDispatcher::operatorFinished()
{
    m_operator = false;
    m_portOurs = false;
    wake();
}

void GatewayDispatcher::block()
{
    ++m_blocks;
}

void GatewayDispatcher::unblock()
{
    if (m_blocks > 0)
        --m_blocks;
    // The COM settings may have changed: open the port afresh for the next page.
    if (m_portOurs && !m_onWire)
        closePort();
    wake();
}

void GatewayDispatcher::wake()
{
    if (!m_halted && !m_kick.isActive())
        m_kick.start();
}

bool GatewayDispatcher::stopAfterPage(std::function<void()> then)
{
    if (!m_onWire)
        return false;
    m_stopping = true;
    m_state.stopRequest = true;
    m_afterStop = std::move(then);
    return true;
}

bool GatewayDispatcher::mayStart() const
{
    // Only from the top-level loop: never inside a run's or a dialog's nested wait.
    return !m_halted && !m_onWire && !m_operator && !m_stopping && m_blocks == 0 && !m_pendingRun
        && QThread::currentThread()->loopLevel() <= 1;
}

void GatewayDispatcher::changed()
{
    if (m_changed)
        m_changed();
}

bool GatewayDispatcher::openPort()
{
    if (m_portOurs && m_port.IsOpen())
        return true;
    const SerialSettings settings = m_serial.read();
    const QStringList &names = TransmitDriver::PortNames();
    const QList<int> &rates = TransmitDriver::BaudRates();
    const QString name = settings.port >= 0 && settings.port < names.size() ? names.at(settings.port) : QString();
    const int rate = settings.baud >= 0 && settings.baud < rates.size() ? rates.at(settings.baud) : 0;
    try {
        if (rate == 0)
            throw ECommError { CommErrorCode::SetBaudRate, 0 };
        m_port.Configure(rate, name, settings.data);
    } catch (const ECommError &error) {
        m_failure = QStringLiteral("porta COM non disponibile (codice %1)").arg(error.Code);
        return false;
    }
    m_portOurs = true;
    return true;
}

void GatewayDispatcher::closePort()
{
    try {
        m_port.Close();
    } catch (const ECommError &) {
    }
    m_portOurs = false;
}

void GatewayDispatcher::dispatchNext()
{
    if (QThread::currentThread()->loopLevel() > 1 && !m_halted) {
        // Inside a dialog's own loop: look again once it may have closed.
        m_later.start();
        return;
    }
    if (!mayStart())
        return;
    std::optional<GatewayPage> page;
    std::optional<QDateTime> held;
    try {
        const QDateTime now = m_clock.now();
        page = m_queue.nextDue(now);
        if (!page)
            held = m_queue.nextHold(now);
    } catch (const DataError &error) {
        m_failure = error.text();
        changed();
        m_retry.start();
        return;
    }
    if (!page) {
        // Nothing to send now: the port is closed, as after a run. A held page is looked at
        // again when it falls due (at least every minute, should the clock be set).
        if (m_portOurs)
            closePort();
        if (held)
            m_held.start(int(std::clamp<qint64>(m_clock.now().msecsTo(*held), 0, kHeldCheckMs)));
        return;
    }
    if (!(m_failure = ReportStore(m_queue.database()).writeCheck()).isEmpty() || !openPort()) {
        changed();
        m_retry.start();
        return;
    }

    m_state = SendingState();
    m_state.encoderHeader = page->header;
    m_state.namePrefix = page->prefix;
    m_state.sendName = !page->prefix.isEmpty();
    m_state.pacingLength = quint32(page->body.size());
    m_state.currentRateCode = page->header.size() >= 2 ? page->header.mid(page->header.size() - 2, 1) : QByteArray();
    m_state.busyDeadline = m_shared.busyDeadline;

    QueuedPageView view(page->body);
    SilentAlerts silent;
    EncoderLink link(m_port, m_state, view, m_clock, m_pump, silent);
    PageResult result;
    bool portFailed = false;
    m_onWire = true;
    m_wireId = page->id;
    changed();
    try {
        result = link.SendPage();
    } catch (const ECommError &error) {
        portFailed = true;
        m_failure = QStringLiteral("errore della porta COM (codice %1, errore di sistema %2)")
                        .arg(error.Code)
                        .arg(error.SystemError);
    }
    m_onWire = false;
    m_wireId = 0;
    m_shared.busyDeadline = m_state.busyDeadline;

    if (portFailed) {
        // The page stays queued and goes out once the port works again.
        closePort();
        m_retry.start();
        changed();
        afterPage();
        return;
    }
    if (m_stopping && !result.acknowledged) {
        // Stopped while waiting for the encoder: the page stays queued for the next start.
        afterPage();
        return;
    }

    ReportRow row;
    row.recipt = page->recipt;
    row.pinId = QString::fromLatin1(page->header);
    row.dispTime = page->dispTime;
    row.sent = QStringLiteral("Si ");
    row.sendTime = m_clock.now();
    row.status = result.acknowledged ? QStringLiteral("OK") : QStringLiteral("NoTX");
    row.msg = QString::fromLatin1(result.refused ? page->prefix + page->body : result.msgText);
    try {
        m_queue.complete(page->id, row);
    } catch (const DataError &error) {
        // Never send a page again and again: dispatch stops until the console starts again.
        m_halted = true;
        m_failure = error.text();
        changed();
        m_alerts.plain(kDataFailure.arg(error.text()));
        afterPage();
        return;
    }
    m_failure = result.acknowledged ? QString() : QStringLiteral("Nessun KRV7700!");
    if (m_rowPosted)
        m_rowPosted();
    changed();
    afterPage();
}

void GatewayDispatcher::afterPage()
{
    if (m_stopping) {
        m_stopping = false;
        m_state.stopRequest = false;
        if (auto then = std::exchange(m_afterStop, {}))
            QTimer::singleShot(0, this, then);
        return;
    }
    // The operator's command kept while the page was on the wire goes first.
    // It is kept until it starts, so no page can slip in before it.
    if (m_pendingRun) {
        QTimer::singleShot(0, this, [this] {
            if (auto run = std::exchange(m_pendingRun, {}))
                run();
        });
        return;
    }
    wake();
}
