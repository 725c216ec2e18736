#include "gateway/GatewayDispatcher.h"

#include "core/BusyDeadline.h"
#include "core/Clock.h"
#include "core/Errors.h"
#include "core/LinkArbiter.h"
#include "link/ECommError.h"
#include "link/EncoderLink.h"
#include "link/TCommPort.h"
#include "store/GatewayStore.h"

#include <algorithm>

namespace {

const QString kSilent = QStringLiteral("l'encoder non risponde");

} // namespace

GatewayDispatcher::GatewayDispatcher(GatewayStore &queue, SerialStore &serial, TCommPort &port, LinkArbiter &arbiter,
                                     BusyDeadline &busy, const std::atomic_bool &shutdown, Clock &clock,
                                     EventPump &pump, QObject *parent)
    : QObject(parent)
    , m_queue(queue)
    , m_serial(serial)
    , m_port(port)
    , m_arbiter(arbiter)
    , m_busy(busy)
    , m_shutdown(shutdown)
    , m_clock(clock)
    , m_pump(pump)
{
    m_kick.setSingleShot(true);
    m_kick.setInterval(0);
    connect(&m_kick, &QTimer::timeout, this, &GatewayDispatcher::dispatchNext);
    m_later.setSingleShot(true);
    connect(&m_later, &QTimer::timeout, this, &GatewayDispatcher::dispatchNext);
    // The arbiter may free the link from the window's thread: heard here, on ours.
    connect(&m_arbiter, &LinkArbiter::released, this, &GatewayDispatcher::wake, Qt::QueuedConnection);
}

void GatewayDispatcher::wake()
{
    if (!m_kick.isActive())
        m_kick.start();
}

void GatewayDispatcher::retryNow()
{
    m_linkRetryTick = 0;
    wake();
}

bool GatewayDispatcher::awaitsRow(qint64 id) const
{
    return std::any_of(m_awaiting.cbegin(), m_awaiting.cend(), [id](const AwaitingRow &a) { return a.id == id; });
}

void GatewayDispatcher::setTrouble(Trouble trouble, const QString &failure)
{
    const bool refusing = trouble == Trouble::Report;
    const bool news = trouble != m_trouble || failure != m_failure;
    m_trouble = trouble;
    m_failure = failure;
    if (refusing != m_refusing) {
        m_refusing = refusing;
        emit refusingChanged(refusing);
    }
    if (news)
        emit changed();
}

void GatewayDispatcher::lookAgainIn(qint64 ms)
{
    const int wait = int(std::clamp<qint64>(ms, 0, kLongestWaitMs));
    if (!m_later.isActive() || m_later.remainingTime() > wait)
        m_later.start(wait);
}

bool GatewayDispatcher::reportWritable()
{
    const QString problem = ReportStore(m_queue.database()).writeCheck();
    if (problem.isEmpty())
        return writeAwaitingRows();
    setTrouble(Trouble::Report, problem);
    lookAgainIn(m_retryMs);
    return false;
}

bool GatewayDispatcher::writeAwaitingRows()
{
    while (!m_awaiting.isEmpty()) {
        const AwaitingRow &awaiting = m_awaiting.constFirst();
        try {
            m_queue.complete(awaiting.id, awaiting.row);
        } catch (const DataError &error) {
            setTrouble(Trouble::Report, error.text());
            lookAgainIn(m_retryMs);
            return false;
        }
        m_awaiting.removeFirst();
        emit rowPosted();
    }
    if (m_trouble == Trouble::Report)
        setTrouble(Trouble::None, QString());
    return true;
}

void GatewayDispatcher::dispatchNext()
{
    // Re-entered from the events a page on the wire lets through: that page goes on.
    if (m_wireId != 0 || m_shutdown)
        return;
    if (!reportWritable())
        return;

    const QDateTime now = m_clock.now();
    std::optional<GatewayPage> page;
    try {
        expireDue(now);
        if (const qint64 wait = m_linkRetryTick - m_clock.tickMs(); wait > 0) {
            // A silent link: nothing is tried before its wait is over, but a page that expires
            // meanwhile leaves at its time.
            lookAgainIn(wait);
            if (const std::optional<QDateTime> next = m_queue.nextEvent(now))
                lookAgainIn(now.msecsTo(*next) + 1);
            return;
        }
        page = m_queue.nextDue(now);
        if (!page) {
            if (const std::optional<QDateTime> next = m_queue.nextEvent(now))
                lookAgainIn(now.msecsTo(*next) + 1);
            return;
        }
    } catch (const DataError &error) {
        setTrouble(Trouble::Queue, error.text());
        lookAgainIn(m_retryMs);
        return;
    }
    if (m_trouble == Trouble::Queue)
        setTrouble(Trouble::None, QString());

    // Never waits: while the operator has the link, released() brings us back.
    if (!m_arbiter.tryAcquire())
        return;
    send(*page);
    // The port stays open while more pages are due; like a run, dispatch leaves it closed.
    bool more = false;
    try {
        more = !m_shutdown && m_linkRetryTick <= m_clock.tickMs() && m_queue.nextDue(m_clock.now()).has_value();
    } catch (const DataError &) {
    }
    if (!more)
        closePort();
    m_arbiter.release();
    wake();
}

void GatewayDispatcher::expireDue(const QDateTime &now)
{
    for (const GatewayPage &page : m_queue.expired(now)) {
        if (!awaitsRow(page.id))
            record(page, QStringLiteral("Scaduta"), page.prefix + page.body);
    }
}

void GatewayDispatcher::send(const GatewayPage &page)
{
    if (!openPort()) {
        backOff(page, Trouble::Port, m_failure);
        return;
    }

    PageRequest request;
    request.header = page.header;
    // The queue keeps the name prefix as framed ("Mario:") and the texts as Latin-1.
    request.namePrefix = QString::fromLatin1(page.prefix);
    request.body = QString::fromLatin1(page.body);
    request.pacingLength = quint32(std::min<qsizetype>(page.body.size(), EncoderLink::kFrameCapacity));
    request.rateCode = page.header.size() >= 2 ? page.header.mid(page.header.size() - 2, 1) : QByteArray();
    request.stop.shutdown = &m_shutdown;

    EncoderLink link(m_port, m_busy, m_clock, m_pump);
    link.setCharset(LineCharset::forDataBits(m_port.dataBits()));
    m_wireId = page.id;
    emit changed();
    PageResult result;
    std::optional<ECommError> portError;
    try {
        result = link.SendPage(request);
    } catch (const ECommError &error) {
        portError = error;
    }
    m_wireId = 0;

    if (portError) {
        // The page stays queued and goes out once the port works again.
        closePort();
        backOff(page, Trouble::Port,
                QStringLiteral("errore della porta COM (codice %1, errore di sistema %2)")
                    .arg(portError->Code)
                    .arg(portError->SystemError));
    } else if (result.acknowledged) {
        m_backoffMs = 0;
        m_linkRetryTick = 0;
        if (m_trouble == Trouble::EncoderSilent || m_trouble == Trouble::Port)
            setTrouble(Trouble::None, QString());
        record(page, QStringLiteral("OK"), result.msgText);
    } else if (result.refused) {
        // A page no encoder could take (its code, a character, its length): written off.
        record(page, QStringLiteral("NoTX"), page.prefix + page.body);
    } else if (result.shutdown) {
        // The program is ending: the page stays queued for the next start.
        emit changed();
    } else {
        backOff(page, Trouble::EncoderSilent, kSilent);
    }
}

void GatewayDispatcher::record(const GatewayPage &page, const QString &status, const QByteArray &msg)
{
    ReportRow row;
    row.recipt = page.recipt;
    row.pinId = QString::fromLatin1(page.header);
    row.dispTime = page.dispTime;
    row.sent = QStringLiteral("Si ");
    row.sendTime = m_clock.now();
    row.status = status;
    row.msg = QString::fromLatin1(msg);
    try {
        m_queue.complete(page.id, row);
    } catch (const DataError &error) {
        // Kept here as done: never framed again, its row written once rows can be.
        m_awaiting.append({ page.id, row });
        setTrouble(Trouble::Report, error.text());
        lookAgainIn(m_retryMs);
        return;
    }
    emit rowPosted();
    emit changed();
}

void GatewayDispatcher::backOff(const GatewayPage &page, Trouble trouble, const QString &failure)
{
    const qint64 longest = qint64(m_retryMs) * kLongestRetryFactor;
    m_backoffMs = m_backoffMs == 0 ? m_retryMs : std::min(m_backoffMs * 2, longest);
    m_linkRetryTick = m_clock.tickMs() + m_backoffMs;
    try {
        m_queue.markTried(page.id, m_clock.now().addMSecs(m_backoffMs));
    } catch (const DataError &) {
        // The wait is the link's: a page whose count could not be kept waits all the same.
    }
    setTrouble(trouble, failure);
    emit changed();
    lookAgainIn(m_backoffMs);
}

bool GatewayDispatcher::openPort()
{
    // Someone else may have used the port or changed its settings since: open it afresh.
    const int generation = m_arbiter.portGeneration();
    if (m_portOurs && m_port.IsOpen() && generation == m_portGeneration)
        return true;
    try {
        m_port.configure(m_serial.read());
    } catch (const ECommError &error) {
        m_portOurs = false;
        m_failure = QStringLiteral("porta COM non disponibile (codice %1)").arg(error.Code);
        return false;
    }
    m_portOurs = true;
    m_portGeneration = generation;
    return true;
}

void GatewayDispatcher::closePort()
{
    if (!m_portOurs)
        return;
    try {
        m_port.Close();
    } catch (const ECommError &) {
    }
    m_portOurs = false;
}
