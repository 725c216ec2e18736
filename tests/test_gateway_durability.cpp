// The console killed with pages queued: after a restart every page accepted with "250" goes
// out, at most the one that was on the wire twice, and each has exactly one report row. And
// SIGTERM during a page: the try on the wire finishes, no other starts, the page stays queued.
// Runs the real console executable on the encoder simulator.

#include "store/GatewayStore.h"
#include "tests/support/ConsoleFolder.h"
#include "tests/support/GatewayRig.h"
#include "tests/support/SimulatorProcess.h"

#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString kConsolePath = QStringLiteral(TESMA_CONSOLE_PATH);

// A value read through a short-lived connection of its own (the console writes meanwhile);
// -1 when it cannot be read.
int scalar(const QString &dbPath, const QString &statement)
{
    const QVariant value = SideConnection(dbPath).value(statement);
    return value.isValid() ? value.toInt() : -1;
}

// A folder with a database whose gateway listens on a free loopback port, and the console
// started in it as a child process.
struct GatewayConsole
{
    bool prepare()
    {
        {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost))
                return false;
            port = probe.serverPort();
        }
        ConsoleFolder folder(dir.path());
        if (!folder.ok())
            return false;
        folder.stores->serial.ensureDefaultRow();
        GatewayStore gateway(folder.db());
        gateway.ensureTables();
        GatewaySettings s;
        s.enabled = true;
        s.port = port;
        gateway.setSettings(s);
        return true;
    }
    bool start(QProcess &console)
    {
        console.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        console.setProcessEnvironment(env);
        console.setProcessChannelMode(QProcess::ForwardedChannels);
        console.start(kConsolePath, {});
        return console.waitForStarted();
    }
    // Connects once the console listens; the greeting is left to be read.
    bool connect(SnppTestClient &client)
    {
        QElapsedTimer waited;
        waited.start();
        while (!client.connectTo(port, u"127.0.0.1"_s) && waited.elapsed() < 15000) {
            client.socket.abort();
            QTest::qWait(100);
        }
        return client.socket.state() == QAbstractSocket::ConnectedState;
    }

    QTemporaryDir dir;
    QString dbPath = dir.filePath(u"TALVENK.db"_s);
    quint16 port = 0;
};

} // namespace

class TestGatewayDurability : public QObject
{
    Q_OBJECT

private slots:
    void killedWithPagesQueuedSendsEveryPageAfterRestart()
    {
        if (!QFile::exists(kConsolePath))
            QSKIP("the console is not built");
        GatewayConsole setup;
        QVERIFY(setup.prepare());
        const QString &dbPath = setup.dbPath;
        SimulatorProcess sim(setup.dir.path(), { u"--delay-ms"_s, u"250"_s });
        QVERIFY(sim.start());

        const int pages = 6;
        QProcess first;
        QVERIFY(setup.start(first));
        SnppTestClient client;
        QVERIFY(setup.connect(client));
        QElapsedTimer waited;
        QCOMPARE(client.takeCodes(), QStringList { "220" });
        for (int i = 0; i < pages; ++i)
            QCOMPARE(client.say("PAGE 12" + QByteArray::number(i) + "A12\r\nMESS PAGINA " + QByteArray::number(i)
                                    + "\r\nSEND\r\n",
                                3),
                     (QStringList { "250", "250", "250" }));
        // Killed once the first page is out, with the others still queued.
        QVERIFY(sim.waitForFrames(1, 10000));
        first.kill();
        QVERIFY(first.waitForFinished());
        const int sentBefore = int(sim.frames().size());
        QVERIFY(sentBefore < pages);

        QProcess second;
        QVERIFY(setup.start(second));
        waited.restart();
        // Long enough for one wait of the link (30 s): on a loaded machine the port the killed
        // console held may still be busy when the new one first tries it.
        while (scalar(dbPath, u"SELECT count(*) FROM gateway_queue"_s) != 0 && waited.elapsed() < 50000)
            QTest::qWait(100);
        second.terminate();
        QVERIFY(second.waitForFinished(10000));

        QCOMPARE(scalar(dbPath, u"SELECT count(*) FROM gateway_queue"_s), 0);
        const QList<QByteArray> frames = sim.frames();
        for (int i = 0; i < pages; ++i) {
            const QByteArray text = "PAGINA " + QByteArray::number(i);
            const qsizetype sent = std::count_if(frames.begin(), frames.end(),
                                                 [&](const QByteArray &f) { return f.mid(11, f.size() - 16) == text; });
            QVERIFY2(sent >= 1, text.constData());
        }
        qInfo("frames before the kill: %d, in all: %d", sentBefore, int(frames.size()));
        // A try repeated within one life of the console is a retry, not a second sending; what
        // must not happen is a page accepted before the kill going out again after the restart,
        // save the one that was on the wire.
        auto body = [](const QByteArray &f) { return f.mid(11, f.size() - 16); };
        QSet<QByteArray> before;
        for (qsizetype i = 0; i < sentBefore; ++i)
            before.insert(body(frames.at(i)));
        QSet<QByteArray> again;
        for (qsizetype i = sentBefore; i < frames.size(); ++i)
            if (before.contains(body(frames.at(i))))
                again.insert(body(frames.at(i)));
        QVERIFY2(again.size() <= 1, qPrintable(QString::number(again.size())));
        QCOMPARE(scalar(dbPath, u"SELECT count(*) FROM report WHERE recipt='SNPP  '"_s), pages);
        QCOMPARE(scalar(dbPath, u"SELECT count(DISTINCT msg) FROM report"_s), pages);
    }

    void sigtermDuringAPageEndsWithTheTryOnTheWire()
    {
        if (!QFile::exists(kConsolePath))
            QSKIP("the console is not built");
        GatewayConsole setup;
        QVERIFY(setup.prepare());
        SimulatorProcess sim(setup.dir.path(), { u"--mode"_s, u"silent"_s });
        QVERIFY(sim.start());
        QProcess console;
        QVERIFY(setup.start(console));
        SnppTestClient client;
        QVERIFY(setup.connect(client));
        QCOMPARE(client.takeCodes(), QStringList { "220" });
        QCOMPARE(client.say("PAGE 123A12\r\nMESS ALLARME\r\nSEND\r\n", 3), (QStringList { "250", "250", "250" }));
        QVERIFY(sim.waitForFrames(1, 10000));
        QElapsedTimer ending;
        ending.start();
        console.terminate();
        // A try is its line time and 310 ms of reply waits; the console ends within 2 s more.
        QVERIFY(console.waitForFinished(5000));
        QVERIFY2(ending.elapsed() < 2500, qPrintable(QString::number(ending.elapsed())));
        QCOMPARE(console.exitStatus(), QProcess::NormalExit);
        QVERIFY2(sim.frames().size() <= 2, qPrintable(QString::number(sim.frames().size())));
        QCOMPARE(scalar(setup.dbPath, u"SELECT count(*) FROM gateway_queue"_s), 1);
        QCOMPARE(scalar(setup.dbPath, u"SELECT count(*) FROM report"_s), 0);
    }
};

QTEST_GUILESS_MAIN(TestGatewayDurability)
#include "test_gateway_durability.moc"
