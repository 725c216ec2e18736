// Pages from SNPP out through the encoder simulator: the frame, the report row written with
// the page's removal from the queue, the operator's "Invia" during a page, a silent encoder,
// expiry, a port that cannot be opened, a report that cannot be written, settings changed
// between pages, and the gateway on its own thread while the window's thread is held.

#include "gateway/GatewayThread.h"
#include "send/TransmitCommand.h"
#include "store/Database.h"
#include "tests/support/Frames.h"
#include "tests/support/GatewayRig.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct DispatchRig : GatewayRig
{
    explicit DispatchRig(bool listen = true)
        : GatewayRig(listen)
    {
        if (!gateway)
            return;
        command.setArbiter(&arbiter);
        gateway->dispatcher().setRetryMs(100);
    }
    // Submits pages the way a client does and waits for the 250.
    bool submit(const QByteArray &commands, int replies)
    {
        SnppTestClient client;
        if (!client.connectQuietly(serverPort()))
            return false;
        const QStringList codes = client.say(commands, replies);
        return codes.size() == replies && codes.last() == u"250"_s;
    }
    TransmitCommand command { state, *driver, view, clock, alerts };
};

} // namespace

class TestGatewayDispatch : public QObject
{
    Q_OBJECT

private slots:
    void pageGoesOutAndIntoTheReport()
    {
        DispatchRig rig;
        QVERIFY(rig.startSimulator());
        rig.addUser(u"Mario Rossi"_s, u"0000123A12"_s, u"Mario"_s, true);
        QVERIFY(rig.submit("PAGE Mario Rossi\r\nPAGE 4567N12\r\nSUBJ Allarme\r\nMESS porta aperta\r\nSEND\r\n", 5));
        QVERIFY2(rig.waitQueued(0), qPrintable(rig.status));
        QTRY_COMPARE(rig.rowsPosted, 2);
        QCOMPARE(rig.sim->frames(),
                 (QList<QByteArray> { frameOf("0000123A12", "Mario:Allarme: porta aperta"),
                                      frameOf("0004567N12", "Allarme: porta aperta") }));
        QCOMPARE(rig.column(1), (QStringList { u"Mario Rossi"_s, u"SNPP  "_s }));
        QCOMPARE(rig.column(2), (QStringList { u"0000123A12"_s, u"0004567N12"_s }));
        QCOMPARE(rig.column(4), (QStringList { u"OK"_s, u"OK"_s }));
        QCOMPARE(rig.column(5), (QStringList { u"Mario:Allarme: porta aperta"_s, u"Allarme: porta aperta"_s }));
        // Silent: the outcome is the row. The port is closed once the queue is empty.
        QVERIFY(rig.alerts.alerts.isEmpty());
        QTRY_VERIFY(!rig.port.IsOpen());
        QVERIFY(rig.status.endsWith(u"in coda: 0"_s));
        // The busy deadline is the one thing shared with the operator's runs.
        QVERIFY(rig.state.busyDeadline.get() > rig.clock.tickMs());
    }

    void invia_during_a_page_runs_right_after_it()
    {
        DispatchRig rig;
        QVERIFY(rig.startSimulator({ u"--delay-ms"_s, u"150"_s }));
        rig.view.code = u"0000999A12"_s;
        rig.view.message = u"OPERATORE"_s;
        bool pressed = false;
        bool nested = false;
        bool waitingShown = false;
        rig.pump.onPump = [&] {
            if (rig.gateway->dispatcher().pageOnWire() && !pressed) {
                pressed = true;
                rig.command.tbnTransmitClick();
                // Kept, not started inside the page's wait; more pages arrive meanwhile.
                nested = rig.state.running;
                waitingShown = rig.view.status == TransmitCommand::kWaitingForGatewayPage;
                rig.submit("PAGE 222A12\r\nMESS DUE\r\nSEND\r\n", 3);
            }
        };
        QVERIFY(rig.submit("PAGE 111A12\r\nMESS UNO\r\nSEND\r\n", 3));
        QVERIFY(rig.waitQueued(0, 20000));
        QVERIFY(pressed);
        QVERIFY(!nested);
        QVERIFY(waitingShown);
        QTRY_COMPARE_WITH_TIMEOUT(rig.sim->frames().size(), 3, 10000);
        QCOMPARE(rig.sim->frames(),
                 (QList<QByteArray> { frameOf("0000111A12", "UNO"), frameOf("0000999A12", "OPERATORE"),
                                      frameOf("0000222A12", "DUE") }));
        QCOMPARE(rig.column(1), (QStringList { u"SNPP  "_s, u"DIR   "_s, u"SNPP  "_s }));
        QVERIFY(rig.alerts.texts().contains(u"Invio corretto!  "_s));
    }

    void sessionsAreServedDuringAnOperatorRun()
    {
        DispatchRig rig;
        QVERIFY(rig.startSimulator({ u"--delay-ms"_s, u"150"_s }));
        rig.view.code = u"0000999A12"_s;
        rig.view.message = u"OPERATORE"_s;
        bool acceptedDuringRun = false;
        rig.pump.onPump = [&] {
            if (rig.state.running && !acceptedDuringRun)
                acceptedDuringRun = rig.submit("PAGE 111A12\r\nMESS UNO\r\nSEND\r\n", 3);
        };
        rig.command.tbnTransmitClick();
        QVERIFY(acceptedDuringRun);
        // The page waited for the run and went out after it.
        QVERIFY(rig.waitQueued(0));
        QTRY_COMPARE(rig.sim->frames().size(), 2);
        QCOMPARE(rig.sim->frames(),
                 (QList<QByteArray> { frameOf("0000999A12", "OPERATORE"), frameOf("0000111A12", "UNO") }));
    }

    // A page goes out from inside a dialog's own loop: only a run or a settings window holds
    // the link.
    void aPageGoesOutInsideADialogsLoop()
    {
        DispatchRig rig;
        QVERIFY(rig.startSimulator());
        QEventLoop dialog; // a modal window's own loop
        QTimer::singleShot(0, [&] {
            QVERIFY(rig.submit("PAGE 111A12\r\nMESS UNO\r\nSEND\r\n", 3));
            QTRY_COMPARE(rig.sim->frames().size(), 1);
            dialog.quit();
        });
        QTimer::singleShot(10000, &dialog, &QEventLoop::quit);
        dialog.exec();
        QCOMPARE(rig.sim->frames().size(), 1);
        QTRY_COMPARE(rig.queued(), 0);
    }

    // No answer keeps the page queued, tried again after a wait that doubles; once the encoder
    // answers, it goes out. No row "NoTX", no box.
    void aSilentEncoderKeepsThePage()
    {
        DispatchRig rig;
        QVERIFY(rig.startSimulator({ u"--mode"_s, u"silent"_s }));
        QVERIFY(rig.submit("PAGE 111A12\r\nMESS UNO\r\nSEND\r\n", 3));
        QTRY_COMPARE_WITH_TIMEOUT(GatewayStore::listing(rig.stores->report.database()).value(0).tries, 2, 15000);
        QCOMPARE(rig.status, u"SNPP: l'encoder non risponde, in coda: 1"_s);
        const GatewayPage waiting = GatewayStore::listing(rig.stores->report.database()).value(0);
        // The second wait is twice the first (100 ms in this test).
        QVERIFY(rig.clock.now().msecsTo(waiting.nextTry) > 100);
        QCOMPARE(rig.rowsPosted, 0);
        QVERIFY(rig.alerts.alerts.isEmpty());
        QVERIFY(rig.startSimulator());
        QVERIFY(rig.waitQueued(0, 15000));
        QCOMPARE(rig.column(4), QStringList { u"OK"_s });
        QTRY_VERIFY(rig.status.startsWith(u"SNPP: 127.0.0.1:"_s));
    }

    // A page that waits past its expiry, counted from acceptance, leaves with a row "Scaduta".
    void aPageExpires()
    {
        DispatchRig rig;
        QVERIFY(rig.ok);
        QVERIFY(rig.reapply([](GatewaySettings &s) { s.expiryMinutes = 5; }));
        QVERIFY(rig.startSimulator({ u"--mode"_s, u"silent"_s }));
        QVERIFY(rig.submit("PAGE 111A12\r\nMESS UNO\r\nSEND\r\n", 3));
        const GatewayPage queued = GatewayStore::listing(rig.stores->report.database()).value(0);
        QCOMPARE(queued.dispTime.secsTo(queued.expires.toLocalTime()), 5 * 60);
        QTRY_VERIFY(rig.status.contains(u"l'encoder non risponde"_s));
        rig.clock.skew += 5 * 60 * 1000;
        rig.gateway->dispatcher().wake();
        QVERIFY(rig.waitQueued(0));
        QCOMPARE(rig.column(4), QStringList { u"Scaduta"_s });
        QCOMPARE(rig.column(5), QStringList { u"UNO"_s });
    }

    // Settings changed while a page is on the wire apply from the next page: the port is
    // opened afresh.
    void settingsChangedMidQueueApplyToTheNextPage()
    {
        DispatchRig rig;
        QVERIFY(rig.startSimulator({ u"--delay-ms"_s, u"100"_s }));
        QList<int> dataBits;
        bool changed = false;
        rig.pump.onPump = [&] {
            const qint64 onWire = rig.gateway->dispatcher().pageOnWireId();
            if (onWire == 0)
                return;
            if (dataBits.size() < 2 && (dataBits.isEmpty() || !changed || dataBits.last() != rig.port.dataBits()))
                dataBits << rig.port.dataBits();
            if (!changed) {
                changed = true;
                rig.stores->serial.write({ 0, 3, 0 }); // 7,E,1, as the COM window stores it
                rig.arbiter.block();
                rig.arbiter.unblock();
            }
        };
        QVERIFY(rig.submit("PAGE 111A12\r\nMESS UNO\r\nSEND\r\nPAGE 222A12\r\nMESS DUE\r\nSEND\r\n", 6));
        QVERIFY(rig.waitQueued(0, 15000));
        QCOMPARE(dataBits, (QList<int> { 8, 7 }));
    }

    void aHeldPageWaitsForItsTime()
    {
        DispatchRig rig;
        QVERIFY(rig.startSimulator());
        const QDateTime later = rig.clock.now().addSecs(3600);
        QVERIFY(rig.submit("HOLD " + later.toString(u"yyMMddHHmmss"_s).toLatin1()
                               + "\r\nPAGE 111A12\r\nMESS DOPO\r\nSEND\r\nPAGE 222A12\r\nMESS SUBITO\r\nSEND\r\n",
                           7));
        // The page after it goes out; the held one stays queued until its time.
        QTRY_COMPARE(rig.rowsPosted, 1);
        QCOMPARE(rig.column(5), QStringList { u"SUBITO"_s });
        QCOMPARE(rig.queued(), 1);
        rig.clock.skew += 3600 * 1000;
        rig.gateway->dispatcher().wake();
        QVERIFY(rig.waitQueued(0));
        QCOMPARE(rig.column(5), (QStringList { u"SUBITO"_s, u"DOPO"_s }));
    }

    void portThatCannotBeOpenedKeepsThePages()
    {
        DispatchRig rig;
        QVERIFY(rig.ok);
        rig.stores->serial.write({ 16, 3, 1 }); // the empty name: nothing to open
        QVERIFY(rig.submit("PAGE 111A12\r\nMESS UNO\r\nSEND\r\n", 3));
        QTRY_VERIFY(rig.status.contains(u"porta COM non disponibile"_s));
        QCOMPARE(rig.queued(), 1);
        QVERIFY(rig.alerts.alerts.isEmpty());
        // Tried again later: once the port opens, the page goes out.
        rig.stores->serial.write({ 0, 3, 1 });
        QVERIFY(rig.startSimulator());
        QVERIFY(rig.waitQueued(0));
        QCOMPARE(rig.column(4), QStringList { u"OK"_s });
    }

    void reportThatCannotBeWrittenStopsDispatch()
    {
        DispatchRig rig;
        QVERIFY(rig.startSimulator());
        rig.arbiter.block();
        QVERIFY(rig.submit("PAGE 111A12\r\nMESS UNO\r\nSEND\r\n", 3));
        QSqlQuery(rig.stores->report.database()).exec(u"DROP TABLE report"_s);
        rig.arbiter.unblock();
        // Asked before every page: none goes out without its row. The panel says why; no box.
        QTRY_VERIFY(rig.status.contains(u"Impossibile scrivere il report in "_s));
        QTest::qWait(300);
        QCOMPARE(rig.sim->frames().size(), 0);
        QCOMPARE(rig.queued(), 1);
        QVERIFY(rig.alerts.alerts.isEmpty());
        // Meanwhile SEND keeps nothing and says so, so the client keeps its page.
        SnppTestClient client;
        QVERIFY(client.connectQuietly(rig.serverPort()));
        QCOMPARE(client.say("PAGE 222A12\r\nMESS DUE\r\nSEND\r\n", 3), (QStringList { u"250"_s, u"250"_s, u"554"_s }));
        // Once the table takes rows again, the page goes out with its row.
        QString error;
        QCOMPARE(Database::createMissingTables(rig.stores->report.database(), &error), QStringList { u"report"_s });
        QVERIFY(rig.waitQueued(0));
        QCOMPARE(rig.sim->frames().size(), 1);
        QCOMPARE(rig.column(4), QStringList { u"OK"_s });
    }

    // A page acknowledged while its row cannot be written is never framed again; its row is
    // written once rows can be.
    void anAcknowledgedPageWaitsForItsRow()
    {
        DispatchRig rig;
        QVERIFY(rig.startSimulator());
        bool dropped = false;
        rig.pump.onPump = [&] {
            if (!dropped && rig.gateway->dispatcher().pageOnWire()) {
                dropped = true;
                QSqlQuery(rig.stores->report.database()).exec(u"DROP TABLE report"_s);
            }
        };
        QVERIFY(rig.submit("PAGE 111A12\r\nMESS UNO\r\nSEND\r\n", 3));
        QTRY_VERIFY(rig.status.contains(u"report"_s));
        QTest::qWait(400); // several checks at 100 ms
        QCOMPARE(rig.sim->frames().size(), 1);
        QString error;
        QCOMPARE(Database::createMissingTables(rig.stores->report.database(), &error), QStringList { u"report"_s });
        QVERIFY(rig.waitQueued(0));
        QCOMPARE(rig.column(4), QStringList { u"OK"_s });
        QCOMPARE(rig.sim->frames().size(), 1);
    }

    // The program ending during a page: the try on the wire finishes, no new one starts, and
    // the page stays queued without a row.
    void shutdownDuringAPageLeavesItQueued()
    {
        DispatchRig rig;
        QVERIFY(rig.startSimulator({ u"--mode"_s, u"silent"_s }));
        rig.pump.onPump = [&] {
            if (rig.gateway->dispatcher().pageOnWire() && rig.sim->frames().size() == 1)
                rig.state.shutdown = true;
        };
        QVERIFY(rig.submit("PAGE 111A12\r\nMESS UNO\r\nSEND\r\n", 3));
        QTRY_VERIFY(rig.state.shutdown);
        QTRY_VERIFY(!rig.gateway->dispatcher().pageOnWire());
        QTest::qWait(500);
        QCOMPARE(rig.sim->frames().size(), 1);
        QCOMPARE(rig.queued(), 1);
        QCOMPARE(rig.rowsPosted, 0);
    }

    // On its own thread the gateway answers and sends while the window's thread is held (a
    // message box, a modal window or a long task): here it does not turn its loop at all. On
    // stop, the try on the wire finishes and the thread ends soon after.
    void theGatewayThreadNeedsNoWindowLoop()
    {
        DispatchRig rig(false);
        QVERIFY(rig.startSimulator());
        rig.gateway.reset(); // the rig's own, on this thread, steps aside
        GatewaySettings s;
        s.enabled = true;
        s.port = 0;
        GatewayStore queue(rig.stores->report.database()); // read on this thread's own connection
        SteadyClock clock;
        QtEventPump pump;
        GatewayThread thread(Database::filePath(rig.stores->report.database()),
                             { rig.port, rig.arbiter, rig.state.busyDeadline, rig.state.shutdown, clock, pump });
        QVERIFY(thread.start());
        QVERIFY(thread.apply(s).isEmpty());
        quint16 port = 0;
        QVERIFY(thread.call([&](Gateway &gateway) { port = gateway.server().serverPort(); }));

        // A blocking client: this thread waits on the socket and handles no events.
        QTcpSocket client;
        client.connectToHost(u"127.0.0.1"_s, port);
        QVERIFY(client.waitForConnected(3000));
        QByteArray replies;
        client.write("PAGE 111A12\r\nMESS UNO\r\nSEND\r\nQUIT\r\n");
        while (client.waitForReadyRead(3000))
            replies += client.readAll();
        QCOMPARE(replies.count("250 "), 3);
        QVERIFY(rig.sim->waitForFrames(1, 5000));
        QCOMPARE(rig.sim->frames(), QList<QByteArray> { frameOf("0000111A12", "UNO") });
        QTRY_COMPARE(queue.count(), 0);

        // A silent encoder and a page that waits for it; stop during its tries.
        QVERIFY(rig.startSimulator({ u"--mode"_s, u"silent"_s }));
        QTcpSocket second;
        second.connectToHost(u"127.0.0.1"_s, port);
        QVERIFY(second.waitForConnected(3000));
        second.write("PAGE 222A12\r\nMESS DUE\r\nSEND\r\n");
        replies.clear();
        while (replies.count("250 ") < 3 && second.waitForReadyRead(3000))
            replies += second.readAll();
        QCOMPARE(replies.count("250 "), 3);
        QVERIFY(rig.sim->waitForFrames(2, 5000)); // the simulators' log runs on: its first try
        QElapsedTimer stopping;
        stopping.start();
        thread.stop();
        QVERIFY2(stopping.elapsed() < 2000, qPrintable(QString::number(stopping.elapsed())));
        QVERIFY(rig.sim->frames().size() <= 3);
        QCOMPARE(queue.count(), 1);
        QVERIFY(!QSqlDatabase::contains(u"tesma-gateway"_s));
    }

    void pageTakenOffTheQueueIsRecordedOnce()
    {
        GatewayRig rig(false);
        QVERIFY(rig.holdLink());
        QList<GatewayPage> pages(1);
        pages[0].header = "0000123A12";
        QVERIFY(rig.gateway->store().enqueue(pages));
        ReportRow row;
        row.status = u"OK"_s;
        QVERIFY(rig.gateway->store().complete(pages[0].id, row) > 0);
        QCOMPARE(rig.gateway->store().complete(pages[0].id, row), 0);
        QCOMPARE(rig.column(4), QStringList { u"OK"_s });
    }
};

QTEST_GUILESS_MAIN(TestGatewayDispatch)
#include "test_gateway_dispatch.moc"
