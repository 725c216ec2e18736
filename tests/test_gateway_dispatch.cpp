// Pages from SNPP out through the encoder simulator: the frame, the report row written with
// the page's removal from the queue, the operator's "Invia" during a page, a port that cannot
// be opened, and a report that cannot be written.

#include "send/TransmitCommand.h"
#include "tests/support/GatewayRig.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct DispatchRig : GatewayRig
{
    DispatchRig()
    {
        command.setArbiter(&gateway->dispatcher());
        gateway->dispatcher().setRetryMs(100);
    }
    // Submits pages the way a client does and waits for the 250.
    bool submit(const QByteArray &commands, int replies)
    {
        SnppTestClient client;
        if (!client.connectTo(serverPort()))
            return false;
        client.takeCodes();
        const QStringList codes = client.say(commands, replies);
        return codes.size() == replies && codes.last() == u"250"_s;
    }
    TransmitCommand command { state, *driver, view, clock, alerts };
};

QByteArray frame(const QByteArray &header, const QByteArray &text)
{
    const QByteArray head = '\x02' + header + text;
    return head + EncoderLink::Checksum(head) + '\x04';
}

} // namespace

class TestGatewayDispatch : public QObject
{
    Q_OBJECT

private slots:
    void pageGoesOutAndIntoTheReport()
    {
        DispatchRig rig;
        QVERIFY2(rig.ok, qPrintable(rig.error));
        QVERIFY(rig.startSimulator());
        rig.addUser(u"Mario Rossi"_s, u"0000123A12"_s, u"Mario"_s, true);
        QVERIFY(rig.submit("PAGE Mario Rossi\r\nPAGE 4567N12\r\nSUBJ Allarme\r\nMESS porta aperta\r\nSEND\r\n", 5));
        QVERIFY(rig.waitQueued(0));
        QTRY_COMPARE(rig.rowsPosted, 2);
        QCOMPARE(rig.sim->frames(),
                 (QList<QByteArray> { frame("0000123A12", "Mario:Allarme: porta aperta"),
                                      frame("0004567N12", "Allarme: porta aperta") }));
        QCOMPARE(rig.column(1), (QStringList { u"Mario Rossi"_s, u"SNPP  "_s }));
        QCOMPARE(rig.column(2), (QStringList { u"0000123A12"_s, u"0004567N12"_s }));
        QCOMPARE(rig.column(4), (QStringList { u"OK"_s, u"OK"_s }));
        QCOMPARE(rig.column(5), (QStringList { u"Mario:Allarme: porta aperta"_s, u"Allarme: porta aperta"_s }));
        // Silent: the outcome is the row. The port is closed once the queue is empty.
        QVERIFY(rig.alerts.alerts.isEmpty());
        QTRY_VERIFY(!rig.port.IsOpen());
        QVERIFY(rig.status.endsWith(u"in coda: 0"_s));
        // The busy deadline is the one thing shared with the operator's runs.
        QVERIFY(rig.state.busyDeadline > rig.clock.tickMs());
    }

    void invia_during_a_page_runs_right_after_it()
    {
        DispatchRig rig;
        QVERIFY(rig.ok);
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
                 (QList<QByteArray> { frame("0000111A12", "UNO"), frame("0000999A12", "OPERATORE"),
                                      frame("0000222A12", "DUE") }));
        QCOMPARE(rig.column(1), (QStringList { u"SNPP  "_s, u"DIR   "_s, u"SNPP  "_s }));
        QVERIFY(rig.alerts.texts().contains(u"Invio corretto!  "_s));
    }

    void sessionsAreServedDuringAnOperatorRun()
    {
        DispatchRig rig;
        QVERIFY(rig.ok);
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
                 (QList<QByteArray> { frame("0000999A12", "OPERATORE"), frame("0000111A12", "UNO") }));
    }

    void noPageStartsInsideADialogsLoop()
    {
        DispatchRig rig;
        QVERIFY(rig.ok);
        QVERIFY(rig.startSimulator());
        qsizetype sentWhileOpen = -1;
        QEventLoop topLevel;
        QTimer::singleShot(0, [&] {
            QEventLoop dialog; // a modal window's own loop
            QTimer::singleShot(0, [&] { rig.submit("PAGE 111A12\r\nMESS UNO\r\nSEND\r\n", 3); });
            QTimer::singleShot(600, &dialog, &QEventLoop::quit);
            dialog.exec();
            sentWhileOpen = rig.sim->frames().size();
            topLevel.quit();
        });
        topLevel.exec();
        QCOMPARE(sentWhileOpen, 0);
        QCOMPARE(rig.queued(), 1);
        // Once the dialog has closed, the page goes out.
        QVERIFY(rig.waitQueued(0));
    }

    void aHeldPageWaitsForItsTime()
    {
        DispatchRig rig;
        QVERIFY(rig.ok);
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
        QVERIFY(rig.ok);
        QVERIFY(rig.startSimulator());
        QSqlQuery(rig.stores->report.database()).exec(u"DROP TABLE report"_s);
        QVERIFY(rig.submit("PAGE 111A12\r\nMESS UNO\r\nSEND\r\n", 3));
        // Asked before every page: none goes out without its row. The panel says why; no box.
        QTRY_VERIFY(rig.status.contains(u"Impossibile scrivere il report in "_s));
        QTest::qWait(300);
        QCOMPARE(rig.sim->frames().size(), 0);
        QCOMPARE(rig.queued(), 1);
        QVERIFY(rig.alerts.alerts.isEmpty());
        // Once the table takes rows again, the page goes out with its row.
        QString error;
        QCOMPARE(Database::createMissingTables(rig.stores->report.database(), &error), QStringList { u"report"_s });
        QVERIFY(rig.waitQueued(0));
        QCOMPARE(rig.sim->frames().size(), 1);
        QCOMPARE(rig.column(4), QStringList { u"OK"_s });
    }

    void closingDuringAPageLeavesItQueued()
    {
        DispatchRig rig;
        QVERIFY(rig.ok);
        QVERIFY(rig.startSimulator({ u"--mode"_s, u"silent"_s }));
        rig.state.busyDeadline = rig.clock.tickMs() + 600000; // an encoder busy for long
        bool closed = false;
        bool asked = false;
        rig.pump.onPump = [&] {
            if (!asked && rig.gateway->dispatcher().pageOnWire())
                asked = rig.gateway->dispatcher().stopAfterPage([&] { closed = true; });
        };
        QVERIFY(rig.submit("PAGE 111A12\r\nMESS UNO\r\nSEND\r\n", 3));
        QTRY_VERIFY_WITH_TIMEOUT(closed, 10000);
        QVERIFY(asked);
        QCOMPARE(rig.queued(), 1);
        QCOMPARE(rig.rowsPosted, 0);
        QVERIFY(rig.alerts.alerts.isEmpty());
    }

    void pageTakenOffTheQueueIsRecordedOnce()
    {
        GatewayRig rig(false);
        QVERIFY(rig.ok);
        rig.gateway->dispatcher().block();
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
