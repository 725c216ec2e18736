#pragma once

// The gateway on a thread of its own: its server, sessions, queue, dispatch, timers and
// database connection are made inside that thread and live there, so a message box or a
// modal window of the operator never holds a page. The window's thread talks to it only
// through this object: settings and the result of a bind by blocking calls (the gateway never
// waits for the window, so they cannot deadlock), everything else by queued signals.

#include "gateway/Gateway.h"
#include "gateway/GatewayControl.h"

#include <QSemaphore>
#include <QThread>

class GatewayThread final : public GatewayControl
{
    Q_OBJECT

public:
    // The gateway opens its own connection to the database file `databasePath`.
    GatewayThread(QString databasePath, const GatewayLinks &links, QObject *parent = nullptr);
    // stop()
    ~GatewayThread() override;

    // Starts the thread and waits until the gateway there has made its tables and read its
    // settings. False (the gateway stays off) when it could not; error() says why.
    bool start();
    QString error() const { return m_error; }
    // Raises the shutdown flag, lets the try on the wire finish, ends the thread and waits
    // for it. The gateway's connection is removed on its own thread before that ends.
    void stop();
    bool isRunning() const { return m_worker.isRunning(); }

    // GatewayControl: blocking calls into the gateway's thread, or the last news from it.
    GatewaySettings settings() const override;
    GatewaySettings storedSettings() override;
    void storeSettings(const GatewaySettings &settings) override;
    QString apply(const GatewaySettings &settings) override;
    QString statusText() const override;
    qint64 pageOnWireId() const override;
    void cancelPage(qint64 id) override;
    void retryPage(qint64 id) override;

    // A blocking call of `work` with the gateway, on its thread; false when it is not running.
    template <typename Work> bool call(Work work)
    {
        if (!m_gateway)
            return false;
        Gateway *gateway = m_gateway;
        return QMetaObject::invokeMethod(
            gateway, [gateway, &work] { work(*gateway); }, Qt::BlockingQueuedConnection);
    }

private:
    class Worker final : public QThread
    {
    public:
        explicit Worker(GatewayThread &host)
            : m_host(host)
        {
        }

    protected:
        void run() override;

    private:
        GatewayThread &m_host;
    };

    // Called on the worker's thread, inside run(): starts the gateway and tells start() so;
    // true when it is to be served.
    bool serve(Gateway &gateway);

    QString m_path;
    GatewayLinks m_links;
    Worker m_worker;
    QSemaphore m_ready; // released by the worker once its gateway serves, or could not
    Gateway *m_gateway = nullptr; // lives on the worker's thread; set while it serves
    QString m_error;
    GatewaySettings m_settings; // as last applied
    QString m_status = QStringLiteral("SNPP: spento");
    qint64 m_pageOnWire = 0;
};
