// The console killed with pages queued: after a restart every page accepted with "250" goes
// out, at most the one that was on the wire twice, and each has exactly one report row.
// Runs the real console executable on the encoder simulator.

#include "store/Database.h"
#include "store/GatewayStore.h"
#include "tests/support/GatewayRig.h"
#include "tests/support/SimulatorProcess.h"

#include <QProcess>
#include <QSet>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QString consolePath()
{
    // The console is built beside the tools folder of the simulator.
    QString path = QStringLiteral(TESMA_SIMULATOR_PATH);
    path.chop(QStringLiteral("/tools/tesma-encoder-sim").size());
    return path + QStringLiteral("/tesma");
}

// A value read through a short-lived connection of its own (the console writes meanwhile).
int scalar(const QString &dbPath, const QString &statement)
{
    int value = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"check"_s);
        db.setDatabaseName(dbPath);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(statement) && q.next())
                value = q.value(0).toInt();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(u"check"_s);
    return value;
}

} // namespace

class TestGatewayDurability : public QObject
{
    Q_OBJECT

private slots:
    void killedWithPagesQueuedSendsEveryPageAfterRestart()
    {
        if (!QFile::exists(consolePath()))
            QSKIP("the console is not built");
        QTemporaryDir dir;
        const QString dbPath = dir.filePath(u"TALVENK.db"_s);
        quint16 port = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            port = probe.serverPort();
        }
        {
            const Database::OpenResult opened = Database::open(dbPath);
            QVERIFY2(opened.error.isEmpty(), qPrintable(opened.error));
            DataStores stores(opened.db);
            stores.serial.ensureDefaultRow();
            GatewayStore gateway(opened.db);
            gateway.ensureTables();
            GatewaySettings s;
            s.enabled = true;
            s.port = port;
            gateway.setSettings(s);
        }
        Database::close();

        SimulatorProcess sim(dir.path(), { u"--delay-ms"_s, u"250"_s });
        QVERIFY(sim.start());
        auto startConsole = [&](QProcess &console) {
            console.setWorkingDirectory(dir.path());
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
            console.setProcessEnvironment(env);
            console.setProcessChannelMode(QProcess::ForwardedChannels);
            console.start(consolePath(), {});
            return console.waitForStarted();
        };

        const int pages = 6;
        QProcess first;
        QVERIFY(startConsole(first));
        SnppTestClient client;
        QElapsedTimer waited;
        waited.start();
        while (!client.connectTo(port, u"127.0.0.1"_s) && waited.elapsed() < 15000) {
            client.socket.abort();
            QTest::qWait(100);
        }
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
        QVERIFY(startConsole(second));
        waited.restart();
        while (scalar(dbPath, u"SELECT count(*) FROM gateway_queue"_s) != 0 && waited.elapsed() < 30000)
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
};

QTEST_GUILESS_MAIN(TestGatewayDurability)
#include "test_gateway_durability.moc"
