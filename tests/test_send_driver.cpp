// Whole send runs through the real serial port and the encoder simulator on a pseudo-terminal:
// the frames the simulator logged are compared byte for byte with the rows stored.

#include "link/EncoderLink.h"
#include "send/TransmitDriver.h"
#include "tests/support/SendRig.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray frameOf(const QString &header, const QString &msg)
{
    const QByteArray body = '\x02' + header.toLatin1() + msg.toLatin1();
    return body + EncoderLink::Checksum(body) + '\x04';
}

// The logged frames with the resends of one page folded into one.
QList<QByteArray> distinctFrames(const SimulatorProcess &sim)
{
    QList<QByteArray> out;
    for (const QByteArray &f : sim.frames()) {
        if (out.isEmpty() || out.last() != f)
            out << f;
    }
    return out;
}

// The frames the simulator acknowledged (a FRAME line answered by a REPLY ending in ACK).
QList<QByteArray> acknowledgedFrames(const SimulatorProcess &sim)
{
    QList<QByteArray> out;
    const QStringList lines = sim.logText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].startsWith(QLatin1String("FRAME ")) && lines[i + 1].startsWith(QLatin1String("REPLY "))
            && lines[i + 1].endsWith(QLatin1String("06")))
            out << QByteArray::fromHex(lines[i].section(QLatin1Char(' '), 1, 1).toLatin1());
    }
    return out;
}

// Every row marked "OK" is a frame the encoder acknowledged, byte for byte, in the same order.
void compareOkRowsWithFrames(const SendRig &rig)
{
    QList<QByteArray> expected;
    for (const QStringList &row : rig.storedRows()) {
        if (row[4] == QLatin1String("OK"))
            expected << frameOf(row[2], row[5]);
    }
    QCOMPARE(acknowledgedFrames(*rig.sim), expected);
}

QStringList column(const QList<QStringList> &rows, int c)
{
    QStringList out;
    for (const QStringList &row : rows)
        out << row[c];
    return out;
}

} // namespace

class TestSendDriver : public QObject
{
    Q_OBJECT

private slots:

    void directModeSendsOneFrameAndClosesThePort()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator());
        rig.view.code = u"123A12"_s;
        rig.state.stopRequest = true; // every run clears it

        QVERIFY(rig.driver->RunTransmission());

        QCOMPARE(rig.view.code, u"0000123A12"_s);
        QCOMPARE(rig.alerts.texts(), QStringList { u"Invio corretto!  "_s });
        QCOMPARE(rig.alerts.alerts.last().caption, u"Message"_s);
        QCOMPARE(rig.view.status, u"Pronto"_s);
        QCOMPARE(rig.view.passCount, u"1"_s);
        QVERIFY(!rig.port.IsOpen());
        QVERIFY(!rig.state.running);
        const auto rows = rig.storedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].mid(1, 5), (QStringList { u"DIR   "_s, u"0000123A12"_s, u"Si "_s, u"OK"_s, u"HI"_s }));
        QVERIFY(!rows[0][6].isEmpty() && rows[0][6] <= rows[0][7]);
        // The worked example, byte for byte.
        QCOMPARE(rig.sim->frames(), QList<QByteArray> { QByteArray::fromHex("023030303031323341313248493032383D04") });
        QCOMPARE(rig.view.rowsPosted, 1);
    }

    void addressBookSecondUserNotAcknowledged()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator({ u"--fail-after"_s, u"1"_s, u"--mode"_s, u"silent"_s }));
        rig.addUser(u"Anna Rossi"_s, u"0000101A12"_s, u"Anna"_s, true);
        rig.addUser(u"Bruno"_s, u"0000102A12"_s, u"Bruno"_s, false);
        rig.addUser(u"Carla"_s, u"0000103A12"_s);
        rig.view.page = 0;
        rig.view.sendList = { u"Anna Rossi"_s, u"Bruno"_s, u"Carla"_s };
        rig.view.times = u"2"_s;
        rig.view.delay = u"300"_s;

        QVERIFY(!rig.driver->RunTransmission());

        const auto rows = rig.storedRows();
        QCOMPARE(column(rows, 1), (QStringList { u"Anna Rossi"_s, u"Bruno"_s, u"Carla"_s }));
        QCOMPARE(column(rows, 4), (QStringList { u"OK"_s, u"NoTX"_s, u"NoTX"_s }));
        QCOMPARE(column(rows, 5), (QStringList { u"Anna:HI"_s, u"HI"_s, u"HI"_s }));
        QCOMPARE(column(rows, 2), (QStringList { u"0000101A12"_s, u"0000102A12"_s, u"0000103A12"_s }));
        QCOMPARE(rig.alerts.texts(), (QStringList { u"Nessun KRV7700!"_s, u"Invio fallito!"_s }));
        QCOMPARE(rig.alerts.alerts.last().caption, u"Errore "_s);
        // "Invio fallito!" comes after the pause that follows the failed pass.
        const int failed = rig.view.events.indexOf(u"alert:Invio fallito!"_s);
        const int countdown = rig.view.events.indexOf(QRegularExpression(u"countdown:.*"_s));
        QVERIFY(countdown >= 0 && countdown < failed);
        QCOMPARE(rig.view.status, u" Ready"_s);
        QCOMPARE(rig.view.passCount, u"1"_s);
        QVERIFY(rig.port.IsOpen()); // left open until the next run
        // Carla was never framed; Bruno's frame went out unanswered.
        const QList<QByteArray> logged = distinctFrames(*rig.sim);
        QCOMPARE(logged,
                 (QList<QByteArray> { frameOf(u"0000101A12"_s, u"Anna:HI"_s), frameOf(u"0000102A12"_s, u"HI"_s) }));
        compareOkRowsWithFrames(rig);
    }

    void addressBookMissingUserIsNotFramed()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator());
        rig.addUser(u"Anna"_s, u"0000101A12"_s);
        rig.addUser(u"Carla"_s, u"0000103A12"_s);
        rig.view.page = 0;
        rig.view.sendList = { u"Anna"_s, u"Gone"_s, u"Carla"_s };

        QVERIFY(!rig.driver->RunTransmission());

        const auto rows = rig.storedRows();
        QCOMPARE(column(rows, 1), (QStringList { u"Anna"_s, u"Gone"_s, u"Carla"_s }));
        QCOMPARE(column(rows, 4), (QStringList { u"OK"_s, u"NoTX"_s, u"NoTX"_s }));
        QCOMPARE(rows[1][2], QString());
        QCOMPARE(rig.alerts.texts(),
                 (QStringList { u"Utente non trovato nella rubrica: Gone"_s, u"Invio fallito!"_s }));
        QCOMPARE(distinctFrames(*rig.sim), QList<QByteArray> { frameOf(u"0000101A12"_s, u"HI"_s) });
    }

    void timesZeroSendsNothing()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator());
        rig.state.mode = OperatingMode::Test;
        rig.view.times = u"0"_s;

        // The code is still checked: a bad one ends the run with the check's message.
        rig.view.code = u"7A12"_s;
        QVERIFY(!rig.driver->RunTransmission());
        QCOMPARE(rig.alerts.texts(), QStringList { u"Please insert capecode between 8 to 2097151"_s });
        QCOMPARE(rig.view.status, u" Sending......"_s);

        rig.alerts.clear();
        rig.view.code = u"123A12"_s;
        QVERIFY(rig.driver->RunTransmission());
        QCOMPARE(rig.alerts.texts(), QStringList { u"Invio corretto!  "_s });
        QVERIFY(!rig.port.IsOpen());

        // Address-book mode still needs a user in the list.
        rig.alerts.clear();
        rig.view.page = 0;
        QVERIFY(!rig.driver->RunTransmission());
        QCOMPARE(rig.alerts.texts(), QStringList { u"Nessun utente scelto!!!  "_s });
        QCOMPARE(rig.alerts.alerts.last().icon, AlertIcon::Warning);

        QVERIFY(rig.storedRows().isEmpty());
        QVERIFY(rig.sim->frames().isEmpty());
    }

    void repeatStoppedDuringPause()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator());
        rig.state.mode = OperatingMode::Test;
        rig.view.times = u"-1"_s;
        rig.view.delay = u"2000"_s;
        // "ESC" in the third pause.
        rig.pump.onPump = [&rig] {
            if (rig.view.rowsPosted == 3 && rig.view.countOf(u"countdown:"_s) > 0)
                rig.state.stopRequest = true;
        };

        QVERIFY(rig.driver->RunTransmission());

        QVERIFY(rig.alerts.texts().isEmpty());
        QVERIFY(rig.port.IsOpen());
        QCOMPARE(rig.view.status, u" Sending......"_s);
        QCOMPARE(rig.storedRows().size(), 3);
        QCOMPARE(rig.view.passCount, u"3"_s);
        QVERIFY(rig.view.events.contains(u"countdown:2"_s));
        compareOkRowsWithFrames(rig);
    }

    void repeatStoppedDuringFrame_data()
    {
        QTest::addColumn<QString>("delay");
        QTest::addColumn<bool>("endsAtNextPass");
        QTest::newRow("with a pause: ends silently in it") << u"300"_s << false;
        QTest::newRow("no pause: ends at the next pass") << u"0"_s << true;
    }

    void repeatStoppedDuringFrame()
    {
        QFETCH(QString, delay);
        QFETCH(bool, endsAtNextPass);
        SendRig rig;
        QVERIFY(rig.startSimulator({ u"--delay-ms"_s, u"60"_s }));
        rig.state.mode = OperatingMode::Test;
        rig.view.times = u"-1"_s;
        rig.view.delay = delay;
        // "ESC" while the second frame waits for its answer: the frame still completes.
        rig.pump.onPump = [&rig] {
            if (rig.view.rowsPosted == 1 && rig.sim->frames().size() == 2)
                rig.state.stopRequest = true;
        };

        QVERIFY(rig.driver->RunTransmission());

        const auto rows = rig.storedRows();
        QCOMPARE(column(rows, 4), (QStringList { u"OK"_s, u"OK"_s }));
        if (endsAtNextPass) {
            QCOMPARE(rig.alerts.texts(), QStringList { u"Invio corretto!  "_s });
            QVERIFY(!rig.port.IsOpen());
        } else {
            QVERIFY(rig.alerts.texts().isEmpty());
            QVERIFY(rig.port.IsOpen());
        }
        compareOkRowsWithFrames(rig);
    }

    // Test-mode runs that differ only in their fields: the codes and texts stored (and framed),
    // and where the pauses fall ("R" a row, "P" a pause; not checked where empty). Each run
    // starts with the message counter and the group-end flag as an earlier run might leave them.
    void testModeRuns_data()
    {
        // clang-format off
        QTest::addColumn<QStringList>("sendList"); // empty: direct mode to 123A12
        QTest::addColumn<QString>("times");
        QTest::addColumn<QString>("autoInc");
        QTest::addColumn<QString>("delay");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("shape");
        const QString c123 = u"0000123A12"_s, c124 = u"0000124A12"_s, c125 = u"0000125A12"_s;
        const QString anna = u"0000101A12"_s, bruno = u"0000102A12"_s, hi = u"HI"_s;
        QTest::newRow("Chg CAP: seven frames, pauses after the third and sixth") << QStringList() << "7" << "3" << "500" << "cap" << QStringList { c123, c124, c125, c123, c124, c125, c123 } << QStringList(7, hi) << "RRRPRRRPR";
        QTest::newRow("Chg Msg: counts the frames of the run from 0") << QStringList() << "3" << "1" << "0" << "msg" << QStringList(3, c123) << QStringList { "0HI", "1HI", "2HI" } << "";
        QTest::newRow("Chg Msg: follows the name prefix, goes on across users") << QStringList { "Anna", "Bruno" } << "1" << "1" << "0" << "msg" << QStringList { anna, bruno } << QStringList { "Anna:0HI", "1HI" } << "";
        QTest::newRow("Tone Only: text only at the group end") << QStringList() << "3" << "3" << "0" << "tone" << QStringList(3, c123) << QStringList { "", "", "HI" } << "";
        QTest::newRow("Tone Only: the same in address-book mode") << QStringList { "Bruno" } << "2" << "2" << "0" << "tone" << QStringList(2, bruno) << QStringList { "", "HI" } << "";
        // clang-format on
    }

    void testModeRuns()
    {
        QFETCH(QStringList, sendList);
        QFETCH(QString, times);
        QFETCH(QString, autoInc);
        QFETCH(QString, delay);
        QFETCH(QString, flags);
        QFETCH(QStringList, codes);
        QFETCH(QStringList, texts);
        QFETCH(QString, shape);
        SendRig rig;
        QVERIFY(rig.startSimulator());
        rig.addUser(u"Anna"_s, u"0000101A12"_s, u"Anna"_s, true);
        rig.addUser(u"Bruno"_s, u"0000102A12"_s);
        rig.state.mode = OperatingMode::Test;
        rig.state.messageCounter = 41;
        rig.state.groupEnd = true;
        rig.view.testMode = true;
        if (!sendList.isEmpty()) {
            rig.view.page = 0;
            rig.view.sendList = sendList;
        }
        rig.view.times = times;
        rig.view.autoInc = autoInc;
        rig.view.delay = delay;
        rig.view.chgCap = flags == QLatin1String("cap");
        rig.view.chgMsg = flags == QLatin1String("msg");
        rig.view.toneOnly = flags == QLatin1String("tone");

        QVERIFY(rig.driver->RunTransmission());

        const auto rows = rig.storedRows();
        QCOMPARE(column(rows, 2), codes);
        QCOMPARE(column(rows, 5), texts);
        if (!shape.isEmpty()) {
            QStringList seen;
            for (const QString &e : rig.view.events) {
                if (e == QLatin1String("row"))
                    seen << u"R"_s;
                else if (e.startsWith(QLatin1String("countdown:")) && !seen.endsWith(QLatin1String("P")))
                    seen << u"P"_s;
            }
            QCOMPARE(seen.join(QString()), shape);
        }
        QCOMPARE(rig.view.passCount, times);
        QCOMPARE(rig.alerts.texts(), QStringList { u"Invio corretto!  "_s });
        compareOkRowsWithFrames(rig);
    }

    void rangeTestThreePasses()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator());
        rig.state.mode = OperatingMode::RangeTest;
        rig.view.period = u"1"_s;
        rig.view.times = u"not read in range-test mode"_s;
        rig.view.autoInc = u"0"_s;
        rig.view.chgCap = true; // Auto Inc counts as 1: no stepping
        rig.view.toneOnly = true; // does not act in range-test mode
        rig.pump.onPump = [&rig] {
            if (rig.state.rangeCounter == 3 && rig.view.countOf(u"countdown:"_s) >= 3)
                rig.state.stopRequest = true; // "Cancel" in the third pause
        };

        QVERIFY(rig.driver->RunTransmission());

        const auto rows = rig.storedRows();
        QCOMPARE(column(rows, 5), (QStringList { u"Range Test 1"_s, u"Range Test 2"_s, u"Range Test 3"_s }));
        QCOMPARE(column(rows, 2), QStringList(3, u"0000123A12"_s));
        QVERIFY(rig.view.events.contains(u"countdown:1"_s));
        QVERIFY(rig.alerts.texts().isEmpty());
        compareOkRowsWithFrames(rig);
    }

    void portThatCannotBeOpened_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("linkTo");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty port entry") << 16 << QString() << u"La porta COM selezionata non è disponibile!!!"_s;
        QTest::newRow("missing device") << 1 << u"/nonexistent/ttyUSB9"_s
                                        << u"La porta COM selezionata non è disponibile!!!"_s;
        QTest::newRow("not a serial port") << 2 << u"/dev/null"_s << u"Error opening comm port."_s;
    }

    void portThatCannotBeOpened()
    {
        QFETCH(int, port);
        QFETCH(QString, linkTo);
        QFETCH(QString, message);
        SendRig rig;
        QVERIFY2(rig.ok, qPrintable(rig.error));
        if (!linkTo.isEmpty())
            QVERIFY(QFile::link(linkTo, rig.dirPath + u"/COM%1"_s.arg(port + 1)));
        rig.stores->serial.write({ port, 3, 1 });

        QVERIFY(!rig.driver->RunTransmission());

        QCOMPARE(rig.alerts.alerts.size(), 1);
        QCOMPARE(rig.alerts.alerts[0].kind, RecordingAlertSink::Alert::Plain);
        QCOMPARE(rig.alerts.lastText(), message);
        QVERIFY(rig.storedRows().isEmpty());
        QVERIFY(!rig.port.IsOpen());
    }

    void simulatorKilledMidRun()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator({ u"--exit-after"_s, u"2"_s }));
        rig.state.mode = OperatingMode::Test;
        rig.view.times = u"5"_s;

        QVERIFY(!rig.driver->RunTransmission());

        const auto rows = rig.storedRows();
        QCOMPARE(column(rows, 4).mid(0, 2), (QStringList { u"OK"_s, u"OK"_s }));
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[2][4], u"NoTX"_s);
        QCOMPARE(rows[2][5], u"HI"_s);
        QCOMPARE(rig.alerts.alerts.size(), 1);
        QVERIFY2(rig.alerts.lastText().startsWith(u"Errore della porta COM durante l'invio (codice "_s),
                 qPrintable(rig.alerts.lastText()));
        QCOMPARE(rig.view.status, u" Ready"_s);
        QVERIFY(!rig.state.running);

        // The next run starts cleanly on a fresh encoder.
        rig.sim->kill();
        QVERIFY(rig.startSimulator());
        rig.alerts.clear();
        rig.view.times = u"1"_s;
        QVERIFY(rig.driver->RunTransmission());
        QCOMPARE(rig.alerts.texts(), QStringList { u"Invio corretto!  "_s });
        QCOMPARE(rig.storedRows().size(), 4);
        QCOMPARE(rig.storedRows().last()[4], u"OK"_s);
    }

    void badFieldsStopTheRunBeforeThePort()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator());
        rig.state.mode = OperatingMode::Test;
        // Had a run got as far as the port, it would say the port is missing.
        rig.stores->serial.write({ 16, 3, 1 });

        rig.view.delay = u"1.5"_s;
        QVERIFY(!rig.driver->RunTransmission());
        QCOMPARE(rig.alerts.lastText(), u"Valore non valido nel campo \"Ritardo\": inserire un numero intero."_s);

        rig.view.delay = u"0"_s;
        rig.view.message = QString(4985, QLatin1Char('x'));
        QVERIFY(!rig.driver->RunTransmission());
        QCOMPARE(rig.alerts.lastText(), u"Messaggio troppo lungo: al massimo 4984 caratteri."_s);

        QVERIFY(!rig.port.IsOpen());
        QVERIFY(!rig.sim->logText().contains(u"FRAME"_s));
        QVERIFY(rig.storedRows().isEmpty());

        // The longest body that fits is sent whole.
        rig.stores->serial.write({ 0, 3, 1 });
        rig.view.message.chop(1);
        QVERIFY(rig.driver->RunTransmission());
        QCOMPARE(rig.storedRows().value(0).value(5).size(), 4984);
        compareOkRowsWithFrames(rig);
    }
};

QTEST_GUILESS_MAIN(TestSendDriver)
#include "test_send_driver.moc"
