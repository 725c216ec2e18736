// Whole send runs through the real serial port and the encoder simulator on a pseudo-terminal:
// the frames the simulator logged are compared byte for byte with the rows stored.

#include "link/EncoderLink.h"
#include "send/TransmitDriver.h"
#include "tests/support/Frames.h"
#include "tests/support/SendRig.h"
#include "tests/support/SessionTerminal.h"

#include <QSqlQuery>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

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

// Every row marked "OK" is a frame the encoder acknowledged (a FRAME line answered by a REPLY
// ending in ACK), byte for byte, in the same order.
void compareOkRowsWithFrames(const SendRig &rig)
{
    QList<QByteArray> acknowledged, expected;
    const QStringList lines = rig.sim->logText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].startsWith(QLatin1String("FRAME ")) && lines[i + 1].startsWith(QLatin1String("REPLY "))
            && lines[i + 1].section(QLatin1Char(' '), 1, 1).endsWith(QLatin1String("06")))
            acknowledged << QByteArray::fromHex(lines[i].section(QLatin1Char(' '), 1, 1).toLatin1());
    }
    for (const QStringList &row : rig.storedRows()) {
        if (row[4] == QLatin1String("OK"))
            expected << frameOf(row[2], row[5]);
    }
    QCOMPARE(acknowledged, expected);
}

const QString kSent = u"Invio corretto!  "_s;

// A test-mode run: its address-book list (empty: direct mode to 123A12), fields and flag
// ("cap", "msg" or "tone"), and the codes, texts and pause shape it should give.
struct ModeRun
{
    QStringList sendList;
    QString times, autoInc, delay, flags;
    QStringList codes, texts;
    QString shape;
};

} // namespace

Q_DECLARE_METATYPE(ModeRun)

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
        QCOMPARE(rig.alerts.texts(), QStringList { kSent });
        QCOMPARE(rig.alerts.alerts.last().caption, u"Message"_s);
        QCOMPARE((QStringList { rig.view.status, rig.view.passCount }), (QStringList { u"Pronto"_s, u"1"_s }));
        QVERIFY(!rig.port.IsOpen() && !rig.state.running);
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
        rig.addBook();
        rig.sendTo({ u"Anna"_s, u"Bruno"_s, u"Carla"_s });
        rig.view.times = u"2"_s;
        rig.view.delay = u"300"_s;

        QVERIFY(!rig.driver->RunTransmission());

        QCOMPARE(rig.column(1), (QStringList { u"Anna"_s, u"Bruno"_s, u"Carla"_s }));
        QCOMPARE(rig.column(2), (QStringList { u"0000101A12"_s, u"0000102A12"_s, u"0000103A12"_s }));
        QCOMPARE(rig.column(4), (QStringList { u"OK"_s, u"NoTX"_s, u"NoTX"_s }));
        QCOMPARE(rig.column(5), (QStringList { u"Anna:HI"_s, u"HI"_s, u"HI"_s }));
        QCOMPARE(rig.alerts.texts(), (QStringList { u"Nessun KRV7700!"_s, u"Invio fallito!"_s }));
        QCOMPARE(rig.alerts.alerts.last().caption, u"Errore "_s);
        // "Invio fallito!" comes after the pause that follows the failed pass.
        const int countdown = rig.view.events.indexOf(QRegularExpression(u"countdown:.*"_s));
        QVERIFY(countdown >= 0 && countdown < rig.view.events.indexOf(u"alert:Invio fallito!"_s));
        QCOMPARE((QStringList { rig.view.status, rig.view.passCount }), (QStringList { u" Ready"_s, u"1"_s }));
        QVERIFY(rig.port.IsOpen()); // left open until the next run
        // Carla was never framed; Bruno's frame went out unanswered.
        QCOMPARE(distinctFrames(*rig.sim),
                 (QList<QByteArray> { frameOf(u"0000101A12"_s, u"Anna:HI"_s), frameOf(u"0000102A12"_s, u"HI"_s) }));
        compareOkRowsWithFrames(rig);
    }

    void addressBookMissingUserIsNotFramed()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator());
        rig.addBook();
        rig.sendTo({ u"Bruno"_s, u"Gone"_s, u"Carla"_s });

        QVERIFY(!rig.driver->RunTransmission());

        QCOMPARE(rig.column(1), (QStringList { u"Bruno"_s, u"Gone"_s, u"Carla"_s }));
        QCOMPARE(rig.column(2), (QStringList { u"0000102A12"_s, QString(), u"0000103A12"_s }));
        QCOMPARE(rig.column(4), (QStringList { u"OK"_s, u"NoTX"_s, u"NoTX"_s }));
        QCOMPARE(rig.alerts.texts(),
                 (QStringList { u"Utente non trovato nella rubrica: Gone"_s, u"Invio fallito!"_s }));
        QCOMPARE(distinctFrames(*rig.sim), QList<QByteArray> { frameOf(u"0000102A12"_s, u"HI"_s) });
    }

    void timesZeroSendsNothing()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator());
        rig.testRun(u"0"_s);

        // The code is still checked: a bad one ends the run with the check's message.
        rig.view.code = u"7A12"_s;
        QVERIFY(!rig.driver->RunTransmission());
        QCOMPARE(rig.view.status, u" Sending......"_s);
        rig.view.code = u"123A12"_s;
        QVERIFY(rig.driver->RunTransmission());
        QVERIFY(!rig.port.IsOpen());
        // Address-book mode still needs a user in the list.
        rig.view.page = 0;
        QVERIFY(!rig.driver->RunTransmission());
        QCOMPARE(
            rig.alerts.texts(),
            (QStringList { u"Please insert capecode between 8 to 2097151"_s, kSent, u"Nessun utente scelto!!!  "_s }));
        QCOMPARE(rig.alerts.alerts.last().icon, AlertIcon::Warning);

        QVERIFY(rig.storedRows().isEmpty());
        QVERIFY(rig.sim->frames().isEmpty());
    }

    void repeatStoppedDuringPause()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator());
        rig.testRun(u"-1"_s, u"2000"_s);
        rig.pump.onPump = [&rig] { // "ESC" in the third pause
            if (rig.view.rowsPosted == 3 && rig.view.countOf(u"countdown:"_s) > 0)
                rig.state.stopRequest = true;
        };

        QVERIFY(rig.driver->RunTransmission());

        QVERIFY(rig.alerts.texts().isEmpty());
        QVERIFY(rig.port.IsOpen());
        QCOMPARE((QStringList { rig.view.status, rig.view.passCount }), (QStringList { u" Sending......"_s, u"3"_s }));
        QCOMPARE(rig.storedRows().size(), 3);
        QVERIFY(rig.view.events.contains(u"countdown:2"_s));
        compareOkRowsWithFrames(rig);
    }

    void repeatStoppedDuringFrame_data()
    {
        QTest::addColumn<QString>("delay");
        QTest::addColumn<QStringList>("alerts");
        QTest::newRow("with a pause: ends silently in it") << u"300"_s << QStringList();
        QTest::newRow("no pause: ends at the next pass") << u"0"_s << QStringList { kSent };
    }

    void repeatStoppedDuringFrame()
    {
        QFETCH(QString, delay);
        QFETCH(QStringList, alerts);
        SendRig rig;
        QVERIFY(rig.startSimulator({ u"--delay-ms"_s, u"60"_s }));
        rig.testRun(u"-1"_s, delay);
        // "ESC" while the second frame waits for its answer: the frame still completes.
        rig.pump.onPump = [&rig] {
            if (rig.view.rowsPosted == 1 && rig.sim->frames().size() == 2)
                rig.state.stopRequest = true;
        };

        QVERIFY(rig.driver->RunTransmission());

        QCOMPARE(rig.column(4), (QStringList { u"OK"_s, u"OK"_s }));
        QCOMPARE(rig.alerts.texts(), alerts);
        QCOMPARE(rig.port.IsOpen(), alerts.isEmpty()); // a run that ends normally closes the port
        compareOkRowsWithFrames(rig);
    }

    // Test-mode runs that differ only in their fields: the codes and texts stored (and framed),
    // and where the pauses fall ("R" a row, "P" a pause; not checked where empty). Each run
    // starts with the message counter and the group-end flag as an earlier run might leave them.
    void testModeRuns_data()
    {
        QTest::addColumn<ModeRun>("run");
        const QString c123 = u"0000123A12"_s, c124 = u"0000124A12"_s, c125 = u"0000125A12"_s;
        const QString anna = u"0000101A12"_s, bruno = u"0000102A12"_s, hi = u"HI"_s;
        // clang-format off
        QTest::newRow("Chg CAP: seven frames, pauses after the third and sixth") << ModeRun { {}, "7", "3", "500", "cap", { c123, c124, c125, c123, c124, c125, c123 }, QStringList(7, hi), "RRRPRRRPR" };
        QTest::newRow("Chg Msg: counts the frames of the run from 0") << ModeRun { {}, "3", "1", "0", "msg", QStringList(3, c123), { "0HI", "1HI", "2HI" }, "" };
        QTest::newRow("Chg Msg: follows the name prefix, goes on across users") << ModeRun { { "Anna", "Bruno" }, "1", "1", "0", "msg", { anna, bruno }, { "Anna:0HI", "1HI" }, "" };
        QTest::newRow("Tone Only: text only at the group end") << ModeRun { {}, "3", "3", "0", "tone", QStringList(3, c123), { "", "", "HI" }, "" };
        QTest::newRow("Tone Only: the same in address-book mode") << ModeRun { { "Bruno" }, "2", "2", "0", "tone", QStringList(2, bruno), { "", "HI" }, "" };
        // clang-format on
    }

    void testModeRuns()
    {
        QFETCH(ModeRun, run);
        SendRig rig;
        QVERIFY(rig.startSimulator());
        rig.addBook();
        rig.testRun(run.times, run.delay);
        rig.state.messageCounter = 41;
        rig.state.groupEnd = true;
        if (!run.sendList.isEmpty())
            rig.sendTo(run.sendList);
        rig.view.testMode = true;
        rig.view.autoInc = run.autoInc;
        rig.view.chgCap = run.flags == QLatin1String("cap");
        rig.view.chgMsg = run.flags == QLatin1String("msg");
        rig.view.toneOnly = run.flags == QLatin1String("tone");

        QVERIFY(rig.driver->RunTransmission());

        QCOMPARE(rig.column(2), run.codes);
        QCOMPARE(rig.column(5), run.texts);
        if (!run.shape.isEmpty()) {
            QString seen;
            for (const QString &e : rig.view.events) {
                if (e == QLatin1String("row"))
                    seen += u'R';
                else if (e.startsWith(QLatin1String("countdown:")) && !seen.endsWith(u'P'))
                    seen += u'P';
            }
            QCOMPARE(seen, run.shape);
        }
        QCOMPARE(rig.view.passCount, run.times);
        QCOMPARE(rig.alerts.texts(), QStringList { kSent });
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

        QCOMPARE(rig.column(5), (QStringList { u"Range Test 1"_s, u"Range Test 2"_s, u"Range Test 3"_s }));
        QCOMPARE(rig.column(2), QStringList(3, u"0000123A12"_s));
        QVERIFY(rig.view.events.contains(u"countdown:1"_s));
        QVERIFY(rig.alerts.texts().isEmpty());
        compareOkRowsWithFrames(rig);
    }

    void portThatCannotBeOpened_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("linkTo"); // "session": a terminal that is a session's controlling terminal
        QTest::addColumn<int>("data");
        QTest::addColumn<QString>("message");
        const QString missing = u"La porta COM selezionata non è disponibile!!!"_s;
        QTest::newRow("empty port entry") << 16 << QString() << 1 << missing;
        QTest::newRow("missing device") << 1 << u"/nonexistent/ttyUSB9"_s << 1 << missing;
        QTest::newRow("not a serial port") << 2 << u"/dev/null"_s << 1 << u"Error opening comm port."_s;
        // The multiplexer of pseudo-terminals keeps 8 data bits whatever it is asked.
        QTest::newRow("setting not taken")
            << 2 << u"/dev/ptmx"_s << 0 << u"La porta COM3 non accetta l'impostazione: 7 bit di dati."_s;
        QTest::newRow("a session's terminal")
            << 3 << u"session"_s << 1 << u"La porta COM 4 è il terminale di una sessione."_s;
    }

    void portThatCannotBeOpened()
    {
        QFETCH(int, port);
        QFETCH(QString, linkTo);
        QFETCH(int, data);
        QFETCH(QString, message);
        SendRig rig;
        QVERIFY2(rig.ok, qPrintable(rig.error));
        const QString com = u"COM%1"_s.arg(port + 1);
        std::unique_ptr<SessionTerminal> session;
        if (linkTo == u"session"_s) {
            session = std::make_unique<SessionTerminal>(rig.dirPath, com);
            QVERIFY(session->ready());
        } else if (!linkTo.isEmpty()) {
            QVERIFY(QFile::link(linkTo, rig.dirPath + u"/"_s + com));
        }
        rig.stores->serial.write({ port, 3, data });

        QVERIFY(!rig.driver->RunTransmission());

        QCOMPARE(rig.alerts.texts(), QStringList { message });
        QCOMPARE(rig.alerts.alerts[0].kind, RecordingAlertSink::Alert::Plain);
        QVERIFY(rig.storedRows().isEmpty());
        QVERIFY(!rig.port.IsOpen());
    }

    void simulatorKilledMidRun()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator({ u"--exit-after"_s, u"2"_s }));
        rig.testRun(u"5"_s);

        QVERIFY(!rig.driver->RunTransmission());

        QCOMPARE(rig.column(4), (QStringList { u"OK"_s, u"OK"_s, u"NoTX"_s }));
        QCOMPARE(rig.column(5).last(), u"HI"_s);
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
        QCOMPARE(rig.alerts.texts(), QStringList { kSent });
        QCOMPARE(rig.column(4), (QStringList { u"OK"_s, u"OK"_s, u"NoTX"_s, u"OK"_s }));
    }

    void badFieldsStopTheRunBeforeThePort()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator());
        rig.testRun(u"1"_s, u"1.5"_s);
        // Had a run got as far as the port, it would say the port is missing.
        rig.stores->serial.write({ 16, 3, 1 });
        QVERIFY(!rig.driver->RunTransmission());
        rig.view.delay = u"0"_s;
        rig.view.message = QString(4985, QLatin1Char('x'));
        QVERIFY(!rig.driver->RunTransmission());
        QCOMPARE(rig.alerts.texts(),
                 (QStringList { u"Valore non valido nel campo \"Ritardo\": inserire un numero intero."_s,
                                u"Messaggio troppo lungo: al massimo 4984 caratteri."_s }));
        QVERIFY(!rig.port.IsOpen());
        QVERIFY(!rig.sim->logText().contains(u"FRAME"_s));
        QVERIFY(rig.storedRows().isEmpty());

        // The longest body that fits is sent whole (at 19200 bit/s: 2.6 s on the line).
        rig.stores->serial.write({ 0, 4, 1 });
        rig.view.message.chop(1);
        QVERIFY(rig.driver->RunTransmission());
        QCOMPARE(rig.column(5).value(0).size(), 4984);
        compareOkRowsWithFrames(rig);
    }

    // A port error under a page of an address-book pass: that page and every later user of the
    // pass get "NoTX" rows, so the report shows who was not paged; the error is told once.
    void portErrorRecordsTheRestOfThePass()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator({ u"--exit-after"_s, u"1"_s }));
        rig.addBook();
        rig.addUser(u"Dario"_s, u"0000104A12"_s);
        rig.sendTo({ u"Anna"_s, u"Bruno"_s, u"Carla"_s, u"Dario"_s });
        rig.pump.onPump = [&rig] { // the encoder goes away after Anna's page
            if (rig.view.rowsPosted == 1)
                QTest::qWait(300);
        };

        QVERIFY(!rig.driver->RunTransmission());

        QCOMPARE(rig.column(1), (QStringList { u"Anna"_s, u"Bruno"_s, u"Carla"_s, u"Dario"_s }));
        QCOMPARE(rig.column(4), (QStringList { u"OK"_s, u"NoTX"_s, u"NoTX"_s, u"NoTX"_s }));
        QCOMPARE(rig.alerts.alerts.size(), 1);
        QVERIFY(rig.alerts.lastText().startsWith(u"Errore della porta COM durante l'invio (codice "_s));
        QCOMPARE(rig.view.status, u" Ready"_s);
    }

    // A database error while the run handles a port error: both are told, and the run still
    // returns (nothing escapes to leave a window waiting on it).
    void databaseErrorAfterPortError()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator({ u"--exit-after"_s, u"1"_s }));
        rig.testRun(u"2"_s, u"500"_s);
        rig.pump.onPump = [&rig] {
            if (rig.view.rowsPosted == 1 && rig.view.countOf(u"countdown:"_s) == 1)
                QSqlQuery(rig.stores->report.database()).exec(u"drop table report"_s);
        };

        QVERIFY(!rig.driver->RunTransmission());

        QCOMPARE(rig.alerts.alerts.size(), 2);
        QVERIFY(rig.alerts.alerts[0].text.startsWith(u"Errore della porta COM durante l'invio"_s));
        QVERIFY(!rig.state.running);
    }

    // The code in edtID is read on every pass and checked every time; nothing is written back
    // during the run, and no frame goes to any code but the one typed.
    void directCodeCheckedOnEveryPass_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("headers");
        QTest::addColumn<QStringList>("alerts");
        QTest::newRow("456A12: its own code")
            << u"456A12"_s << QStringList { u"0000123A12"_s, u"0000456A12"_s, u"0000456A12"_s }
            << QStringList { kSent };
        QTest::newRow("12 456A12: the run stops")
            << u"12 456A12"_s << QStringList { u"0000123A12"_s }
            << QStringList { u"Please insert capecode between 8 to 2097151"_s, u"Invio fallito!"_s };
    }
    void directCodeCheckedOnEveryPass()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, headers);
        QFETCH(QStringList, alerts);
        SendRig rig;
        QVERIFY(rig.startSimulator({ u"--no-line-time"_s }));
        rig.testRun(u"3"_s, u"200"_s);
        rig.view.code = u"123A12"_s;
        rig.pump.onPump = [&] { // typed during the first pause
            if (rig.view.rowsPosted == 1 && rig.view.countOf(u"countdown:"_s) > 0)
                rig.view.code = typed;
        };

        rig.driver->RunTransmission();

        QCOMPARE(rig.alerts.texts(), alerts);
        QCOMPARE(rig.column(2), headers);
        QStringList framed;
        for (const QByteArray &f : rig.sim->frames())
            framed << QString::fromLatin1(f.mid(1, 10));
        QCOMPARE(framed, headers);
        QCOMPARE(rig.view.code, typed); // never written back during the run
    }

    // An encoder that answers kilobytes of junk after three good frames: the run ends within
    // its tries with three "OK" and the rest "NoTX", and a sound encoder works at once after.
    void junkAfterThreeGoodFrames()
    {
        SendRig rig;
        QVERIFY(
            rig.startSimulator({ u"--fail-after"_s, u"3"_s, u"--mode"_s, u"garbage"_s, u"--junk-bytes"_s, u"4096"_s }));
        rig.stores->serial.write({ 0, 4, 1 }); // 19200 bit/s
        rig.addBook();
        rig.addUser(u"Dario"_s, u"0000104A12"_s);
        rig.addUser(u"Elena"_s, u"0000105A12"_s);
        rig.sendTo({ u"Anna"_s, u"Bruno"_s, u"Carla"_s, u"Dario"_s, u"Elena"_s });
        rig.pump.onPump = [&rig] { // the busy encoder's deadline passes quickly
            if (rig.view.rowsPosted >= 3)
                rig.clock.skew += 200;
        };

        QVERIFY(!rig.driver->RunTransmission());

        QCOMPARE(rig.column(4), (QStringList { u"OK"_s, u"OK"_s, u"OK"_s, u"NoTX"_s, u"NoTX"_s }));
        QCOMPARE(rig.alerts.texts(), (QStringList { u"Nessun KRV7700!"_s, u"Invio fallito!"_s }));

        rig.sim->kill();
        QVERIFY(rig.startSimulator());
        rig.alerts.clear();
        rig.pump.onPump = nullptr;
        rig.state.busyDeadline.set(rig.clock.tickMs());
        QVERIFY(rig.driver->RunTransmission());
        QCOMPARE(rig.column(4).mid(5), QStringList(5, u"OK"_s));
    }

    // A page refused before the wire says why, once, before "Invio fallito!"; its row is "NoTX".
    void refusedPagesSayWhy()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator({ u"--no-line-time"_s }));
        rig.addUser(u"Bad"_s, u"ABC"_s);
        rig.addUser(u"Carla"_s, u"0000103A12"_s);
        rig.sendTo({ u"Bad"_s, u"Carla"_s });
        QVERIFY(!rig.driver->RunTransmission());
        QCOMPARE(rig.alerts.texts(),
                 (QStringList { u"Codifica non valida per l'utente Bad: \"ABC\""_s, u"Invio fallito!"_s }));
        QCOMPARE(rig.alerts.alerts[0].caption, u"Errore "_s);
        QCOMPARE(rig.alerts.alerts[0].icon, AlertIcon::Warning);
        QCOMPARE(rig.column(4), (QStringList { u"NoTX"_s, u"NoTX"_s }));

        // A message edited past the frame area during a run.
        rig.alerts.clear();
        rig.view.page = 1;
        rig.testRun(u"2"_s, u"200"_s);
        rig.pump.onPump = [&rig] {
            if (rig.view.countOf(u"countdown:"_s) > 0)
                rig.view.message = QString(4985, QLatin1Char('x'));
        };
        QVERIFY(!rig.driver->RunTransmission());
        QCOMPARE(rig.alerts.texts(),
                 (QStringList { u"Messaggio troppo lungo: al massimo 4984 caratteri."_s, u"Invio fallito!"_s }));
        QCOMPARE(rig.alerts.alerts[0].caption, u"Errore "_s);
        QCOMPARE(rig.column(4).mid(2), (QStringList { u"OK"_s, u"NoTX"_s }));
        QCOMPARE(rig.sim->frames().size(), 1);
    }

    // The first name goes out as the line can carry it, and the checksum covers those bytes.
    void accentedFirstNameOnEachLine_data()
    {
        QTest::addColumn<int>("data"); // table serial: 0 "7,E,1", 1 "8,N,1"
        QTest::addColumn<QString>("firstName");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("msg");
        QTest::newRow("7,E,1: the bare letter")
            << 0 << u"Nicol\u00F2"_s << QByteArray::fromHex("02303030303130314131324E69636F6C6F3A48493035323704")
            << u"Nicolo:HI"_s;
        QTest::newRow("8,N,1: Latin-1") << 1 << u"Nicol\u00F2"_s
                                        << QByteArray::fromHex("02303030303130314131324E69636F6CF23A484930353A3A04")
                                        << u"Nicol\u00F2:HI"_s;
        QTest::newRow("8,N,1: a combining accent composed")
            << 1 << u"Nicolo\u0300"_s << QByteArray::fromHex("02303030303130314131324E69636F6CF23A484930353A3A04")
            << u"Nicol\u00F2:HI"_s;
    }
    void accentedFirstNameOnEachLine()
    {
        QFETCH(int, data);
        QFETCH(QString, firstName);
        QFETCH(QByteArray, frame);
        QFETCH(QString, msg);
        SendRig rig;
        QVERIFY(rig.startSimulator({ u"--no-line-time"_s }));
        rig.stores->serial.write({ 0, 3, data });
        rig.addUser(u"Nicola"_s, u"0000101A12"_s, firstName, true);
        rig.sendTo({ u"Nicola"_s });

        QVERIFY(rig.driver->RunTransmission());

        QCOMPARE(rig.sim->frames(), QList<QByteArray> { frame });
        QCOMPARE(rig.sim->badFrames(), 0);
        QCOMPARE(rig.column(5), QStringList { msg });
    }

    // A character the line cannot carry refuses the page before the wire, naming it.
    void charactersTheLineCannotCarry_data()
    {
        QTest::addColumn<int>("data");
        QTest::addColumn<QString>("firstName"); // empty: a range test to the typed code
        QTest::addColumn<QString>("rangeStart");
        QTest::addColumn<QString>("message");
        const QString refused = u"Carattere non trasmissibile: %1 (utente %2)"_s;
        QTest::newRow("7,E,1: euro sign") << 0 << u"\u20ACuro"_s << QString() << refused.arg(u"\u20AC"_s, u"Anna"_s);
        QTest::newRow("7,E,1: CJK") << 0 << u"\u674E"_s << QString() << refused.arg(u"\u674E"_s, u"Anna"_s);
        QTest::newRow("8,N,1: euro sign") << 1 << u"\u20ACuro"_s << QString() << refused.arg(u"\u20AC"_s, u"Anna"_s);
        QTest::newRow("8,N,1: the range text")
            << 1 << QString() << u"Prova \u20AC"_s << refused.arg(u"\u20AC"_s, u"DIR   "_s);
    }
    void charactersTheLineCannotCarry()
    {
        QFETCH(int, data);
        QFETCH(QString, firstName);
        QFETCH(QString, rangeStart);
        QFETCH(QString, message);
        SendRig rig;
        QVERIFY(rig.startSimulator({ u"--no-line-time"_s }));
        rig.stores->serial.write({ 0, 3, data });
        if (rangeStart.isEmpty()) {
            rig.addUser(u"Anna"_s, u"0000101A12"_s, firstName, true);
            rig.sendTo({ u"Anna"_s });
        } else {
            rig.state.mode = OperatingMode::RangeTest;
            rig.view.rangeStart = rangeStart;
        }

        QVERIFY(!rig.driver->RunTransmission());

        QCOMPARE(rig.alerts.texts(), (QStringList { message, u"Invio fallito!"_s }));
        QCOMPARE(rig.alerts.alerts[0].caption, u"Errore "_s);
        QCOMPARE(rig.column(4), QStringList { u"NoTX"_s });
        QVERIFY(rig.sim->frames().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSendDriver)
#include "test_send_driver.moc"
