#include "gateway/GatewayThread.h"

#include "core/Errors.h"
#include "store/Database.h"

#include <optional>

namespace {

const QString kConnectionName = QStringLiteral("tesma-gateway");

} // namespace

GatewayThread::GatewayThread(QString databasePath, const GatewayLinks &links, QObject *parent)
    : GatewayControl(parent)
    , m_path(std::move(databasePath))
    , m_links(links)
    , m_worker(*this)
{
    m_worker.setObjectName(QStringLiteral("gateway"));
}

GatewayThread::~GatewayThread()
{
    stop();
}

bool GatewayThread::start()
{
    if (m_worker.isRunning())
        return m_gateway != nullptr;
    m_error.clear();
    m_worker.start();
    m_ready.acquire();
    if (!m_gateway) {
        m_worker.wait();
        return false;
    }
    return true;
}

void GatewayThread::stop()
{
    if (!m_worker.isRunning())
        return;
    // The page on the wire sees the flag between its tries; its try finishes, no new one starts.
    m_links.shutdown = true;
    m_worker.quit();
    m_worker.wait();
}

void GatewayThread::Worker::run()
{
    {
        Database::OpenResult opened = Database::openConnection(m_host.m_path, kConnectionName);
        if (opened.error.isEmpty()) {
            Gateway gateway(opened.db, m_host.m_links);
            if (m_host.serve(gateway)) {
                exec();
                m_host.m_gateway = nullptr;
            }
        } else {
            m_host.m_error = opened.error;
            m_host.m_ready.release();
        }
        opened.db.close();
    }
    // The connection goes on the thread that used it, once nothing holds it, before the thread
    // ends.
    QSqlDatabase::removeDatabase(kConnectionName);
}

bool GatewayThread::serve(Gateway &gateway)
{
    if (!gateway.start()) {
        m_error = gateway.error();
        m_ready.release();
        return false;
    }
    // News reach the window's thread as queued calls: this object lives there.
    connect(&gateway, &Gateway::statusChanged, this, [this](const QString &text) {
        m_status = text;
        emit statusChanged(text);
    });
    connect(&gateway, &Gateway::rowPosted, this, &GatewayThread::rowPosted);
    connect(&gateway, &Gateway::queueChanged, this, &GatewayThread::queueChanged);
    connect(&gateway, &Gateway::pageOnWireChanged, this, [this](qint64 id) {
        m_pageOnWire = id;
        emit pageOnWireChanged(id);
    });
    m_settings = gateway.settings();
    m_status = gateway.statusText();
    m_gateway = &gateway;
    m_ready.release();
    return true;
}

GatewaySettings GatewayThread::settings() const
{
    return m_settings;
}

GatewaySettings GatewayThread::storedSettings()
{
    GatewaySettings stored = m_settings;
    std::optional<DataError> failure;
    if (!call([&](Gateway &gateway) {
            try {
                stored = gateway.storedSettings();
            } catch (const DataError &error) {
                failure = error;
            }
        }))
        throw DataError(m_error.isEmpty() ? QStringLiteral("gateway SNPP non avviato") : m_error);
    if (failure)
        throw *failure;
    return stored;
}

void GatewayThread::storeSettings(const GatewaySettings &settings)
{
    std::optional<DataError> failure;
    if (!call([&](Gateway &gateway) {
            try {
                gateway.storeSettings(settings);
            } catch (const DataError &error) {
                failure = error;
            }
        }))
        throw DataError(m_error.isEmpty() ? QStringLiteral("gateway SNPP non avviato") : m_error);
    if (failure)
        throw *failure;
}

QString GatewayThread::apply(const GatewaySettings &settings)
{
    QString error;
    QString status;
    if (!call([&](Gateway &gateway) {
            error = gateway.apply(settings);
            status = gateway.statusText();
        }))
        return m_error;
    m_settings = settings;
    if (status != m_status) {
        m_status = status;
        emit statusChanged(status);
    }
    return error;
}

QString GatewayThread::statusText() const
{
    return m_error.isEmpty() ? m_status : QStringLiteral("SNPP: spento (%1)").arg(m_error);
}

qint64 GatewayThread::pageOnWireId() const
{
    return m_pageOnWire;
}

void GatewayThread::cancelPage(qint64 id)
{
    if (Gateway *gateway = m_gateway)
        QMetaObject::invokeMethod(
            gateway, [gateway, id] { gateway->cancelPage(id); }, Qt::QueuedConnection);
}

void GatewayThread::retryPage(qint64 id)
{
    if (Gateway *gateway = m_gateway)
        QMetaObject::invokeMethod(
            gateway, [gateway, id] { gateway->retryPage(id); }, Qt::QueuedConnection);
}
