// Whole send runs through the real serial port and the encoder simulator on a pseudo-terminal:
// the frames the simulator logged are compared byte for byte with the rows stored.

#include "link/EncoderLink.h"
#include "send/TransmitDriver.h"
#include "tests/support/SendRig.h"

#include <QtTest>

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
    void directModeSendsOneFrameAndClosesThePort();
    void addressBookSecondUserNotAcknowledged();
    void addressBookMissingUserIsNotFramed();
    void timesZeroSendsNothing();
    void repeatStoppedDuringPause();
    void repeatStoppedDuringFrame_data();
    void repeatStoppedDuringFrame();
    void chgCapSevenFrames();
    void chgMsgCountsFramesOfTheRun();
    void toneOnlyCarriesTextAtGroupEnd();
    void rangeTestThreePasses();
    void portThatCannotBeOpened_data();
    void portThatCannotBeOpened();
    void simulatorKilledMidRun();
    void badFieldsStopTheRunBeforeThePort();
};

void TestSendDriver::directModeSendsOneFrameAndClosesThePort()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator());
    rig.view.code = QStringLiteral("123A12");
    rig.state.stopRequest = true; // every run clears it

    QVERIFY(rig.driver->RunTransmission());

    QCOMPARE(rig.view.code, QStringLiteral("0000123A12"));
    QCOMPARE(rig.alerts.texts(), QStringList { QStringLiteral("Invio corretto!  ") });
    QCOMPARE(rig.alerts.alerts.last().caption, QStringLiteral("Message"));
    QCOMPARE(rig.view.status, QStringLiteral("Pronto"));
    QCOMPARE(rig.view.passCount, QStringLiteral("1"));
    QVERIFY(!rig.port.IsOpen());
    QVERIFY(!rig.state.running);
    const auto rows = rig.storedRows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].mid(1, 5),
             (QStringList { QStringLiteral("DIR   "), QStringLiteral("0000123A12"), QStringLiteral("Si "),
                            QStringLiteral("OK"), QStringLiteral("HI") }));
    QVERIFY(!rows[0][6].isEmpty() && rows[0][6] <= rows[0][7]);
    // The worked example, byte for byte.
    QCOMPARE(rig.sim->frames(), QList<QByteArray> { QByteArray::fromHex("023030303031323341313248493032383D04") });
    QCOMPARE(rig.view.rowsPosted, 1);
}

void TestSendDriver::addressBookSecondUserNotAcknowledged()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator(
        { QStringLiteral("--fail-after"), QStringLiteral("1"), QStringLiteral("--mode"), QStringLiteral("silent") }));
    rig.addUser(QStringLiteral("Anna Rossi"), QStringLiteral("0000101A12"), QStringLiteral("Anna"), true);
    rig.addUser(QStringLiteral("Bruno"), QStringLiteral("0000102A12"), QStringLiteral("Bruno"), false);
    rig.addUser(QStringLiteral("Carla"), QStringLiteral("0000103A12"));
    rig.view.page = 0;
    rig.view.sendList = { QStringLiteral("Anna Rossi"), QStringLiteral("Bruno"), QStringLiteral("Carla") };
    rig.view.times = QStringLiteral("2");
    rig.view.delay = QStringLiteral("300");

    QVERIFY(!rig.driver->RunTransmission());

    const auto rows = rig.storedRows();
    QCOMPARE(column(rows, 1),
             (QStringList { QStringLiteral("Anna Rossi"), QStringLiteral("Bruno"), QStringLiteral("Carla") }));
    QCOMPARE(column(rows, 4), (QStringList { QStringLiteral("OK"), QStringLiteral("NoTX"), QStringLiteral("NoTX") }));
    QCOMPARE(column(rows, 5), (QStringList { QStringLiteral("Anna:HI"), QStringLiteral("HI"), QStringLiteral("HI") }));
    QCOMPARE(
        column(rows, 2),
        (QStringList { QStringLiteral("0000101A12"), QStringLiteral("0000102A12"), QStringLiteral("0000103A12") }));
    QCOMPARE(rig.alerts.texts(), (QStringList { QStringLiteral("Nessun KRV7700!"), QStringLiteral("Invio fallito!") }));
    QCOMPARE(rig.alerts.alerts.last().caption, QStringLiteral("Errore "));
    // "Invio fallito!" comes after the pause that follows the failed pass.
    const int failed = rig.view.events.indexOf(QStringLiteral("alert:Invio fallito!"));
    const int countdown = rig.view.events.indexOf(QRegularExpression(QStringLiteral("countdown:.*")));
    QVERIFY(countdown >= 0 && countdown < failed);
    QCOMPARE(rig.view.status, QStringLiteral(" Ready"));
    QCOMPARE(rig.view.passCount, QStringLiteral("1"));
    QVERIFY(rig.port.IsOpen()); // left open until the next run
    // Carla was never framed; Bruno's frame went out unanswered.
    const QList<QByteArray> logged = distinctFrames(*rig.sim);
    QCOMPARE(logged,
             (QList<QByteArray> { frameOf(QStringLiteral("0000101A12"), QStringLiteral("Anna:HI")),
                                  frameOf(QStringLiteral("0000102A12"), QStringLiteral("HI")) }));
    compareOkRowsWithFrames(rig);
}

void TestSendDriver::addressBookMissingUserIsNotFramed()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator());
    rig.addUser(QStringLiteral("Anna"), QStringLiteral("0000101A12"));
    rig.addUser(QStringLiteral("Carla"), QStringLiteral("0000103A12"));
    rig.view.page = 0;
    rig.view.sendList = { QStringLiteral("Anna"), QStringLiteral("Gone"), QStringLiteral("Carla") };

    QVERIFY(!rig.driver->RunTransmission());

    const auto rows = rig.storedRows();
    QCOMPARE(column(rows, 1),
             (QStringList { QStringLiteral("Anna"), QStringLiteral("Gone"), QStringLiteral("Carla") }));
    QCOMPARE(column(rows, 4), (QStringList { QStringLiteral("OK"), QStringLiteral("NoTX"), QStringLiteral("NoTX") }));
    QCOMPARE(rows[1][2], QString());
    QCOMPARE(
        rig.alerts.texts(),
        (QStringList { QStringLiteral("Utente non trovato nella rubrica: Gone"), QStringLiteral("Invio fallito!") }));
    QCOMPARE(distinctFrames(*rig.sim),
             QList<QByteArray> { frameOf(QStringLiteral("0000101A12"), QStringLiteral("HI")) });
}

void TestSendDriver::timesZeroSendsNothing()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator());
    rig.state.mode = OperatingMode::Test;
    rig.view.times = QStringLiteral("0");

    // The code is still checked: a bad one ends the run with the check's message.
    rig.view.code = QStringLiteral("7A12");
    QVERIFY(!rig.driver->RunTransmission());
    QCOMPARE(rig.alerts.texts(), QStringList { QStringLiteral("Please insert capecode between 8 to 2097151") });
    QCOMPARE(rig.view.status, QStringLiteral(" Sending......"));

    rig.alerts.clear();
    rig.view.code = QStringLiteral("123A12");
    QVERIFY(rig.driver->RunTransmission());
    QCOMPARE(rig.alerts.texts(), QStringList { QStringLiteral("Invio corretto!  ") });
    QVERIFY(!rig.port.IsOpen());

    // Address-book mode still needs a user in the list.
    rig.alerts.clear();
    rig.view.page = 0;
    QVERIFY(!rig.driver->RunTransmission());
    QCOMPARE(rig.alerts.texts(), QStringList { QStringLiteral("Nessun utente scelto!!!  ") });
    QCOMPARE(rig.alerts.alerts.last().icon, AlertIcon::Warning);

    QVERIFY(rig.storedRows().isEmpty());
    QVERIFY(rig.sim->frames().isEmpty());
}

void TestSendDriver::repeatStoppedDuringPause()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator());
    rig.state.mode = OperatingMode::Test;
    rig.view.times = QStringLiteral("-1");
    rig.view.delay = QStringLiteral("2000");
    // "ESC" in the third pause.
    rig.pump.onPump = [&rig] {
        if (rig.view.rowsPosted == 3 && rig.view.countOf(QStringLiteral("countdown:")) > 0)
            rig.state.stopRequest = true;
    };

    QVERIFY(rig.driver->RunTransmission());

    QVERIFY(rig.alerts.texts().isEmpty());
    QVERIFY(rig.port.IsOpen());
    QCOMPARE(rig.view.status, QStringLiteral(" Sending......"));
    QCOMPARE(rig.storedRows().size(), 3);
    QCOMPARE(rig.view.passCount, QStringLiteral("3"));
    QVERIFY(rig.view.events.contains(QStringLiteral("countdown:2")));
    compareOkRowsWithFrames(rig);
}

void TestSendDriver::repeatStoppedDuringFrame_data()
{
    QTest::addColumn<QString>("delay");
    QTest::addColumn<bool>("endsAtNextPass");
    QTest::newRow("with a pause: ends silently in it") << QStringLiteral("300") << false;
    QTest::newRow("no pause: ends at the next pass") << QStringLiteral("0") << true;
}

void TestSendDriver::repeatStoppedDuringFrame()
{
    QFETCH(QString, delay);
    QFETCH(bool, endsAtNextPass);
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator({ QStringLiteral("--delay-ms"), QStringLiteral("60") }));
    rig.state.mode = OperatingMode::Test;
    rig.view.times = QStringLiteral("-1");
    rig.view.delay = delay;
    // "ESC" while the second frame waits for its answer: the frame still completes.
    rig.pump.onPump = [&rig] {
        if (rig.view.rowsPosted == 1 && rig.sim->frames().size() == 2)
            rig.state.stopRequest = true;
    };

    QVERIFY(rig.driver->RunTransmission());

    const auto rows = rig.storedRows();
    QCOMPARE(column(rows, 4), (QStringList { QStringLiteral("OK"), QStringLiteral("OK") }));
    if (endsAtNextPass) {
        QCOMPARE(rig.alerts.texts(), QStringList { QStringLiteral("Invio corretto!  ") });
        QVERIFY(!rig.port.IsOpen());
    } else {
        QVERIFY(rig.alerts.texts().isEmpty());
        QVERIFY(rig.port.IsOpen());
    }
    compareOkRowsWithFrames(rig);
}

void TestSendDriver::chgCapSevenFrames()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator());
    rig.state.mode = OperatingMode::Test;
    rig.view.times = QStringLiteral("7");
    rig.view.autoInc = QStringLiteral("3");
    rig.view.delay = QStringLiteral("500");
    rig.view.chgCap = true;

    QVERIFY(rig.driver->RunTransmission());

    const auto rows = rig.storedRows();
    QCOMPARE(column(rows, 2),
             (QStringList { QStringLiteral("0000123A12"), QStringLiteral("0000124A12"), QStringLiteral("0000125A12"),
                            QStringLiteral("0000123A12"), QStringLiteral("0000124A12"), QStringLiteral("0000125A12"),
                            QStringLiteral("0000123A12") }));
    // Pauses after the third and the sixth frame only.
    QStringList shape;
    for (const QString &e : rig.view.events) {
        if (e == QLatin1String("row"))
            shape << QStringLiteral("R");
        else if (e.startsWith(QLatin1String("countdown:")) && !shape.endsWith(QLatin1String("P")))
            shape << QStringLiteral("P");
    }
    QCOMPARE(shape.join(QString()), QStringLiteral("RRRPRRRPR"));
    QCOMPARE(rig.view.passCount, QStringLiteral("7"));
    QCOMPARE(rig.alerts.texts(), QStringList { QStringLiteral("Invio corretto!  ") });
    compareOkRowsWithFrames(rig);
}

void TestSendDriver::chgMsgCountsFramesOfTheRun()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator());
    rig.state.mode = OperatingMode::Test;
    rig.view.testMode = true;
    rig.view.chgMsg = true;
    rig.view.times = QStringLiteral("3");
    rig.state.messageCounter = 41; // every run starts again at 0

    QVERIFY(rig.driver->RunTransmission());
    QCOMPARE(column(rig.storedRows(), 5),
             (QStringList { QStringLiteral("0HI"), QStringLiteral("1HI"), QStringLiteral("2HI") }));

    // Address-book mode: the counter follows the name prefix, and goes on across users.
    rig.addUser(QStringLiteral("Anna"), QStringLiteral("0000101A12"), QStringLiteral("Anna"), true);
    rig.addUser(QStringLiteral("Bruno"), QStringLiteral("0000102A12"));
    rig.view.page = 0;
    rig.view.sendList = { QStringLiteral("Anna"), QStringLiteral("Bruno") };
    rig.view.times = QStringLiteral("1");
    QVERIFY(rig.driver->RunTransmission());
    QCOMPARE(column(rig.storedRows(), 5).mid(3), (QStringList { QStringLiteral("Anna:0HI"), QStringLiteral("1HI") }));
    compareOkRowsWithFrames(rig);
}

void TestSendDriver::toneOnlyCarriesTextAtGroupEnd()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator());
    rig.state.mode = OperatingMode::Test;
    rig.view.toneOnly = true;
    rig.view.times = QStringLiteral("3");
    rig.view.autoInc = QStringLiteral("3");

    QVERIFY(rig.driver->RunTransmission());
    QCOMPARE(column(rig.storedRows(), 5), (QStringList { QString(), QString(), QStringLiteral("HI") }));

    // Address-book mode sets the group-end flag the same way, whatever an earlier run left.
    rig.addUser(QStringLiteral("Anna"), QStringLiteral("0000101A12"));
    rig.view.page = 0;
    rig.view.sendList = { QStringLiteral("Anna") };
    rig.view.times = QStringLiteral("2");
    rig.view.autoInc = QStringLiteral("2");
    rig.state.groupEnd = true;
    QVERIFY(rig.driver->RunTransmission());
    QCOMPARE(column(rig.storedRows(), 5).mid(3), (QStringList { QString(), QStringLiteral("HI") }));
    compareOkRowsWithFrames(rig);
}

void TestSendDriver::rangeTestThreePasses()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator());
    rig.state.mode = OperatingMode::RangeTest;
    rig.view.period = QStringLiteral("1");
    rig.view.times = QStringLiteral("not read in range-test mode");
    rig.view.autoInc = QStringLiteral("0");
    rig.view.chgCap = true; // Auto Inc counts as 1: no stepping
    rig.view.toneOnly = true; // does not act in range-test mode
    rig.pump.onPump = [&rig] {
        if (rig.state.rangeCounter == 3 && rig.view.countOf(QStringLiteral("countdown:")) >= 3)
            rig.state.stopRequest = true; // "Cancel" in the third pause
    };

    QVERIFY(rig.driver->RunTransmission());

    const auto rows = rig.storedRows();
    QCOMPARE(column(rows, 5),
             (QStringList { QStringLiteral("Range Test 1"), QStringLiteral("Range Test 2"),
                            QStringLiteral("Range Test 3") }));
    QCOMPARE(column(rows, 2), QStringList(3, QStringLiteral("0000123A12")));
    QVERIFY(rig.view.events.contains(QStringLiteral("countdown:1")));
    QVERIFY(rig.alerts.texts().isEmpty());
    compareOkRowsWithFrames(rig);
}

void TestSendDriver::portThatCannotBeOpened_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("linkTo");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty port entry") << 16 << QString()
                                      << QStringLiteral("La porta COM selezionata non è disponibile!!!");
    QTest::newRow("missing device") << 1 << QStringLiteral("/nonexistent/ttyUSB9")
                                    << QStringLiteral("La porta COM selezionata non è disponibile!!!");
    QTest::newRow("not a serial port") << 2 << QStringLiteral("/dev/null")
                                       << QStringLiteral("Error opening comm port.");
}

void TestSendDriver::portThatCannotBeOpened()
{
    QFETCH(int, port);
    QFETCH(QString, linkTo);
    QFETCH(QString, message);
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    if (!linkTo.isEmpty())
        QVERIFY(QFile::link(linkTo, rig.dirPath + QStringLiteral("/COM%1").arg(port + 1)));
    rig.stores->serial.write({ port, 3, 1 });

    QVERIFY(!rig.driver->RunTransmission());

    QCOMPARE(rig.alerts.alerts.size(), 1);
    QCOMPARE(rig.alerts.alerts[0].kind, RecordingAlertSink::Alert::Plain);
    QCOMPARE(rig.alerts.lastText(), message);
    QVERIFY(rig.storedRows().isEmpty());
    QVERIFY(!rig.port.IsOpen());
}

void TestSendDriver::simulatorKilledMidRun()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator({ QStringLiteral("--exit-after"), QStringLiteral("2") }));
    rig.state.mode = OperatingMode::Test;
    rig.view.times = QStringLiteral("5");

    QVERIFY(!rig.driver->RunTransmission());

    const auto rows = rig.storedRows();
    QCOMPARE(column(rows, 4).mid(0, 2), (QStringList { QStringLiteral("OK"), QStringLiteral("OK") }));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[2][4], QStringLiteral("NoTX"));
    QCOMPARE(rows[2][5], QStringLiteral("HI"));
    QCOMPARE(rig.alerts.alerts.size(), 1);
    QVERIFY2(rig.alerts.lastText().startsWith(QStringLiteral("Errore della porta COM durante l'invio (codice ")),
             qPrintable(rig.alerts.lastText()));
    QCOMPARE(rig.view.status, QStringLiteral(" Ready"));
    QVERIFY(!rig.state.running);

    // The next run starts cleanly on a fresh encoder.
    rig.sim->kill();
    QVERIFY(rig.startSimulator());
    rig.alerts.clear();
    rig.view.times = QStringLiteral("1");
    QVERIFY(rig.driver->RunTransmission());
    QCOMPARE(rig.alerts.texts(), QStringList { QStringLiteral("Invio corretto!  ") });
    QCOMPARE(rig.storedRows().size(), 4);
    QCOMPARE(rig.storedRows().last()[4], QStringLiteral("OK"));
}

void TestSendDriver::badFieldsStopTheRunBeforeThePort()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator());
    rig.state.mode = OperatingMode::Test;
    // Had a run got as far as the port, it would say the port is missing.
    rig.stores->serial.write({ 16, 3, 1 });

    rig.view.delay = QStringLiteral("1.5");
    QVERIFY(!rig.driver->RunTransmission());
    QCOMPARE(rig.alerts.lastText(),
             QStringLiteral("Valore non valido nel campo \"Ritardo\": inserire un numero intero."));

    rig.view.delay = QStringLiteral("0");
    rig.view.autoInc = QStringLiteral("0");
    QVERIFY(!rig.driver->RunTransmission());
    QCOMPARE(rig.alerts.lastText(), QStringLiteral("Il campo \"Auto Inc\" deve essere almeno 1."));

    rig.view.autoInc = QStringLiteral("1");
    rig.view.message = QString(4985, QLatin1Char('x'));
    QVERIFY(!rig.driver->RunTransmission());
    QCOMPARE(rig.alerts.lastText(), QStringLiteral("Messaggio troppo lungo: al massimo 4984 caratteri."));

    QVERIFY(!rig.port.IsOpen());
    QVERIFY(!rig.sim->logText().contains(QStringLiteral("FRAME")));
    QVERIFY(rig.storedRows().isEmpty());

    // The longest body that fits is sent whole.
    rig.stores->serial.write({ 0, 3, 1 });
    rig.view.message.chop(1);
    QVERIFY(rig.driver->RunTransmission());
    QCOMPARE(rig.storedRows().value(0).value(5).size(), 4984);
    compareOkRowsWithFrames(rig);
}

QTEST_GUILESS_MAIN(TestSendDriver)
#include "test_send_driver.moc"
