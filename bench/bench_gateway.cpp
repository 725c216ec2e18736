// Ten SNPP clients submit 1,000 pages over loopback while the console's main window runs and
// sends the queue through the encoder simulator: pages accepted per second, the time from
// SEND to its "250" (p50, p99), the longest stall of the window's event loop (the gateway and
// its commits run on a thread of their own), pages lost, and
// beside them the sending rate, which line and encoder time bound.
//
// Usage: bench_gateway [folder]   (default: the current folder; use a folder on the real disk)

#include "app/Startup.h"
#include "app/WindowSet.h"
#include "core/EventPump.h"
#include "link/TCommPort.h"
#include "store/GatewayStore.h"
#include "tests/support/RecordingAlertSink.h"
#include "tests/support/SimulatorProcess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMutex>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

constexpr int kClients = 10;
constexpr int kPagesPerClient = 100;

double percentile(QList<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const qsizetype i = std::min<qsizetype>(values.size() - 1, qsizetype(p * double(values.size())));
    return values.value(i);
}

int scalar(const QSqlDatabase &db, const QString &statement)
{
    QSqlQuery q(db);
    return q.exec(statement) && q.next() ? q.value(0).toInt() : -1;
}

// One client: its pages one after another, each PAGE, MESS, then SEND timed to its reply.
struct Client
{
    quint16 port = 0;
    int index = 0;
    QList<double> sendMs;
    int accepted = 0;
    QString error;

    bool line(QTcpSocket &socket, QByteArray &reply)
    {
        while (!socket.canReadLine()) {
            if (!socket.waitForReadyRead(30000))
                return false;
        }
        reply = socket.readLine();
        return true;
    }

    void run()
    {
        // At most eight sessions at once, two per address: each client has a loopback address
        // of its own, and one turned away with "421" tries again.
        QTcpSocket socket;
        QByteArray reply;
        for (int attempt = 0; attempt < 600; ++attempt) {
            if (!socket.bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(2 + index)))) {
                error = QStringLiteral("cannot bind");
                return;
            }
            socket.connectToHost(QHostAddress::LocalHost, port);
            if (!socket.waitForConnected(10000) || !line(socket, reply)) {
                error = QStringLiteral("no greeting");
                return;
            }
            if (reply.startsWith("220"))
                break;
            socket.abort();
            QThread::msleep(50);
        }
        if (!reply.startsWith("220")) {
            error = QStringLiteral("never admitted: ") + QString::fromLatin1(reply);
            return;
        }
        for (int i = 0; i < kPagesPerClient; ++i) {
            const QByteArray code = QByteArray::number(100 + index) + "A12";
            socket.write("PAGE " + code + "\r\nMESS Pagina " + QByteArray::number(i) + " dal client "
                         + QByteArray::number(index) + "\r\n");
            if (!line(socket, reply) || !line(socket, reply)) {
                error = QStringLiteral("no reply to PAGE/MESS");
                return;
            }
            QElapsedTimer timer;
            timer.start();
            socket.write("SEND\r\n");
            if (!line(socket, reply)) {
                error = QStringLiteral("no reply to SEND");
                return;
            }
            sendMs << double(timer.nsecsElapsed()) / 1e6;
            if (reply.startsWith("250"))
                ++accepted;
        }
        socket.write("QUIT\r\n");
        line(socket, reply);
    }
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const QString parent = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QTemporaryDir folder(parent + QStringLiteral("/bench_gateway-XXXXXX"));
    if (!folder.isValid()) {
        std::fprintf(stderr, "cannot create a folder in %s\n", qPrintable(parent));
        return 1;
    }
    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
    }

    SimulatorProcess sim(folder.path());
    if (!sim.start()) {
        std::fprintf(stderr, "the encoder simulator did not start\n");
        return 1;
    }
    RecordingAlertSink alerts;
    Startup startup(folder.path());
    if (!startup.run(alerts)) {
        std::fprintf(stderr, "start-up failed: %s\n", qPrintable(alerts.texts().join(QLatin1Char(' '))));
        return 1;
    }
    DataStores stores(startup.database());
    GatewayStore gatewayStore(startup.database());
    gatewayStore.ensureTables();
    GatewaySettings settings;
    settings.enabled = true;
    settings.port = port;
    settings.allowed = QStringLiteral("127.0.0.0/8");
    gatewayStore.setSettings(settings);

    SendingState state;
    ModeGuard guard;
    TCommPort serialPort;
    serialPort.setWorkDir(folder.path());
    SteadyClock clock;
    QtEventPump pump;
    WindowSet windows(state, guard, stores, alerts, serialPort, clock, pump, folder.path());
    windows.mainWindow().show();

    // The longest gap between ticks of a 5 ms timer on the window's thread.
    QElapsedTimer sinceTick;
    qint64 longestStallMs = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestStallMs = std::max(longestStallMs, sinceTick.elapsed() - 5);
        sinceTick.restart();
    });

    // Wait for the gateway to listen (it starts from the event loop).
    QElapsedTimer wait;
    wait.start();
    auto listening = [&windows] {
        bool on = false;
        windows.gateway().call([&on](Gateway &gateway) { on = gateway.server().isListening(); });
        return on;
    };
    while (!listening() && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!listening()) {
        std::fprintf(stderr, "the gateway is not listening\n");
        return 1;
    }

    std::vector<Client> clients(kClients);
    std::vector<QThread *> threads;
    std::atomic<int> done { 0 };
    for (int i = 0; i < kClients; ++i) {
        clients[i].port = port;
        clients[i].index = i;
        QThread *thread = QThread::create([&clients, i, &done] {
            clients[i].run();
            ++done;
        });
        threads.push_back(thread);
    }
    const int sentBefore = scalar(startup.database(), QStringLiteral("SELECT count(*) FROM report"));
    QElapsedTimer elapsed;
    elapsed.start();
    sinceTick.start();
    ticker.start();
    for (QThread *thread : threads)
        thread->start();
    while (done.load() < kClients)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double submitS = double(elapsed.nsecsElapsed()) / 1e9;
    const int sentDuringSubmit = scalar(startup.database(), QStringLiteral("SELECT count(*) FROM report")) - sentBefore;
    // Let the dispatch go on a few seconds more for the sending rate.
    QElapsedTimer more;
    more.start();
    while (more.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    ticker.stop();
    const double totalS = double(elapsed.nsecsElapsed()) / 1e9;
    for (QThread *thread : threads) {
        thread->wait();
        delete thread;
    }

    QList<double> latencies;
    int accepted = 0;
    for (const Client &c : clients) {
        if (!c.error.isEmpty())
            std::fprintf(stderr, "client %d: %s\n", c.index, qPrintable(c.error));
        latencies += c.sendMs;
        accepted += c.accepted;
    }
    const int queued = scalar(startup.database(), QStringLiteral("SELECT count(*) FROM gateway_queue"));
    const int sent = scalar(startup.database(), QStringLiteral("SELECT count(*) FROM report WHERE recipt='SNPP  '"));
    const int ok = scalar(startup.database(), QStringLiteral("SELECT count(*) FROM report WHERE status='OK'"));

    std::printf("bench_gateway: %d clients x %d pages over loopback, main window up, simulator on COM1\n", kClients,
                kPagesPerClient);
    std::printf("  accepted (250):            %d of %d in %.2f s = %.0f pages/s\n", accepted,
                kClients * kPagesPerClient, submitS, double(accepted) / submitS);
    std::printf("  SEND -> 250:               p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", percentile(latencies, 0.5),
                percentile(latencies, 0.99), percentile(latencies, 1.0));
    std::printf("  longest event-loop stall:  %lld ms (target <= 20 ms)\n", static_cast<long long>(longestStallMs));
    std::printf("  pages lost:                %d (accepted %d = sent %d + still queued %d)\n", accepted - sent - queued,
                accepted, sent, queued);
    std::printf("  sending (line and encoder bound): %d sent during the submission, %d in %.1f s = %.1f pages/s, "
                "%d OK\n",
                sentDuringSubmit, sent, totalS, double(sent) / totalS, ok);
    std::printf("  frames logged by the simulator: %d\n", int(sim.frames().size()));
    return 0;
}
