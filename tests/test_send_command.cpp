// The transmit command around a run: its controls, the busy deadline it renews, the range-test
// branch, and a close of the main window that waits for the run.

#include "link/EncoderLink.h"
#include "send/RunChecks.h"
#include "send/TransmitCommand.h"
#include "tests/support/SendRig.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// The fields of a run and the longest message it takes.
struct Limit
{
    int page;
    bool chgCap, chgMsg;
    QString times, autoInc;
    int limit;
};

// A rig with the transmit command over its driver; the simulator started unless told otherwise.
struct CommandRig : SendRig
{
    explicit CommandRig(bool simulator = true) { started = ok && (!simulator || startSimulator()); }
    // Clicks "Invia" and tells whether the busy deadline then lies `margin` ms after the click.
    bool clickRenewsDeadlineBy(qint64 margin)
    {
        const qint64 before = clock.tickMs();
        command.tbnTransmitClick();
        return state.busyDeadline.get() >= before + margin && state.busyDeadline.get() <= clock.tickMs() + margin;
    }
    bool started = false;
    TransmitCommand command { state, *driver, view, clock, alerts };
};

} // namespace

Q_DECLARE_METATYPE(Limit)

class TestSendCommand : public QObject
{
    Q_OBJECT

private slots:

    void directRunRenewsDeadlineFromTheCode()
    {
        CommandRig rig;
        QVERIFY(rig.started);
        rig.view.code = u"123A12"_s;
        rig.view.message = u"HELLO"_s;
        rig.state.pacingLength = 99;
        bool lockedDuringRun = false;
        rig.pump.onPump = [&] { lockedDuringRun = !rig.view.transmitEnabled && !rig.view.maintenanceEnabled; };

        QCOMPARE(qint64(EncoderLink::AirTime(5, 1200)) + 1000, 2103);
        QVERIFY(rig.clickRenewsDeadlineBy(2103));

        QVERIFY(rig.state.lastRunResult);
        QVERIFY(lockedDuringRun);
        QVERIFY(rig.view.transmitEnabled && rig.view.maintenanceEnabled);
        QCOMPARE(rig.state.currentRateCode, QByteArray("1"));
        QCOMPARE(rig.state.pacingLength, 5u);
    }

    void addressBookRunRenewsDeadlineForTheWholeList()
    {
        CommandRig rig;
        QVERIFY(rig.started);
        rig.addUser(u"Anna"_s, u"0000101A52"_s);
        rig.addUser(u"Bruno"_s, u"0000102A52"_s);
        rig.sendTo({ u"Anna"_s, u"Bruno"_s });
        rig.view.message = u"HELLO"_s;
        rig.state.currentRateCode = "5";
        rig.state.pacingLength = 7;

        QVERIFY(rig.clickRenewsDeadlineBy(qint64(EncoderLink::AirTime(10, 512)) + 1000));

        QVERIFY(rig.state.lastRunResult);
        QCOMPARE(rig.state.currentRateCode, QByteArray("5"));
        QCOMPARE(rig.state.pacingLength, 7u); // Auto Inc 1
    }

    // Auto Inc multiplies the pacing length at every run, and the count after a run is the
    // message times the users: both stop at 5000, however many runs go by.
    void pacingStopsAtTheFrameArea()
    {
        CommandRig rig(false);
        QVERIFY(rig.startSimulator({ u"--no-line-time"_s }));
        rig.stores->serial.write({ 0, 4, 1 }); // 19200 bit/s: the long frames leave quickly
        rig.addBook();
        rig.sendTo({ u"Anna"_s, u"Bruno"_s, u"Carla"_s });
        rig.view.message = QString(2000, QLatin1Char('x'));
        rig.testRun(u"1"_s);
        rig.view.autoInc = u"3"_s;
        rig.state.currentRateCode = "1";
        rig.state.pacingLength = 4000;

        QCOMPARE(cappedPacingLength(quint64(4000) * 3), kMaxPacingLength);
        QVERIFY(rig.clickRenewsDeadlineBy(qint64(EncoderLink::AirTime(kMaxPacingLength, 1200)) + 1000));

        QVERIFY(rig.state.lastRunResult);
        QCOMPARE(rig.state.pacingLength, kMaxPacingLength);
    }

    void failedRunLeavesTheDeadlineToTheLink()
    {
        CommandRig rig(false);
        QVERIFY2(rig.started, qPrintable(rig.error));
        rig.stores->serial.write({ 16, 3, 1 });
        rig.state.busyDeadline.set(42);

        rig.command.tbnTransmitClick();

        QVERIFY(!rig.state.lastRunResult);
        QCOMPARE(rig.state.busyDeadline.get(), 42);
        QVERIFY(rig.view.transmitEnabled && rig.view.maintenanceEnabled);
    }

    void rangeTestGoesThroughTheRangeWindow()
    {
        CommandRig rig;
        QVERIFY(rig.started);
        rig.state.mode = OperatingMode::RangeTest;
        rig.state.rangeCounter = 17;
        rig.view.period = u"1"_s;
        int shown = 0;
        bool lockedWhileShown = false;
        auto show = QObject::connect(&rig.command, &TransmitCommand::rangeWindowRequested, [&] {
            ++shown;
            lockedWhileShown = !rig.view.transmitEnabled;
            QCOMPARE(rig.state.rangeCounter, 0u);
            rig.command.startRangeRun(); // "Start"
        });
        rig.pump.onPump = [&rig] {
            if (rig.state.rangeCounter == 2 && rig.view.countOf(u"countdown:"_s) > 0)
                rig.state.stopRequest = true; // "Cancel"
        };

        rig.command.tbnTransmitClick();
        QCOMPARE(shown, 1);
        QVERIFY(lockedWhileShown);
        QVERIFY(rig.state.lastRunResult);
        QCOMPARE(rig.storedRows().size(), 2);
        QVERIFY(rig.view.transmitEnabled);
        QVERIFY(rig.state.busyDeadline.get() > rig.clock.tickMs());

        // "Cancel" before "Start": nothing ran, so no renewal from an earlier result.
        QObject::disconnect(show);
        rig.state.busyDeadline.set(5);
        rig.command.tbnTransmitClick();
        QVERIFY(!rig.state.lastRunResult);
        QCOMPARE(rig.state.busyDeadline.get(), 5);
    }

    void closeDuringRunWaitsForTheRun()
    {
        CommandRig rig;
        QVERIFY(rig.started);
        QVERIFY(!rig.command.requestCloseDuringRun());
        rig.testRun(u"-1"_s, u"1000"_s);
        int closes = 0;
        bool deferred = false;
        QObject::connect(&rig.command, &TransmitCommand::deferredCloseDue, [&] {
            ++closes;
            QVERIFY(!rig.command.busy());
        });
        rig.pump.onPump = [&] {
            if (rig.view.rowsPosted == 2 && !deferred) {
                deferred = rig.command.requestCloseDuringRun();
                QCOMPARE(closes, 0);
            }
        };

        rig.command.tbnTransmitClick();

        QVERIFY(deferred && rig.state.stopRequest);
        QCOMPARE(closes, 1);
        QCOMPARE(rig.storedRows().size(), 2);
        QVERIFY(!rig.command.requestCloseDuringRun());
    }

    void fields_data()
    {
        QTest::addColumn<QStringList>("fields"); // Times, Ritardo, Auto Inc
        QTest::addColumn<QString>("problem");
        const QString whole = u"Valore non valido nel campo \"%1\": inserire un numero intero."_s;
        const QString atLeastOne = u"Il campo \"Auto Inc\" deve essere almeno 1."_s;
        // clang-format off
        QTest::newRow("defaults") << QStringList { "1", "0", "1" } << QString();
        QTest::newRow("repeat, blanks around") << QStringList { " -1 ", "250", "4" } << QString();
        QTest::newRow("Times empty") << QStringList { "", "0", "1" } << whole.arg(u"Times"_s);
        QTest::newRow("Times text") << QStringList { "abc", "0", "1" } << whole.arg(u"Times"_s);
        QTest::newRow("Ritardo decimal") << QStringList { "1", "0.5", "1" } << whole.arg(u"Ritardo"_s);
        QTest::newRow("Auto Inc hex") << QStringList { "1", "0", "0x2" } << whole.arg(u"Auto Inc"_s);
        QTest::newRow("Auto Inc zero") << QStringList { "1", "0", "0" } << atLeastOne;
        QTest::newRow("Auto Inc negative") << QStringList { "1", "0", "-3" } << atLeastOne;
        QTest::newRow("Times too big") << QStringList { "99999999999", "0", "1" } << whole.arg(u"Times"_s);
        // clang-format on
    }

    void fields()
    {
        QFETCH(QStringList, fields);
        QFETCH(QString, problem);
        RecordingView view;
        view.times = fields[0];
        view.delay = fields[1];
        view.autoInc = fields[2];
        view.period = u"not read outside range-test mode"_s;
        const ParameterCheck check = ReadRunParameters(OperatingMode::Test, view);
        QCOMPARE(check.problem, problem);
        QCOMPARE(check.parameters.has_value(), problem.isEmpty());
        if (check.parameters) {
            const int times = fields[0].trimmed().toInt();
            QCOMPARE((QList<qint64> { check.parameters->times, check.parameters->repeat, check.parameters->delayMs }),
                     (QList<qint64> { times, times < 0, fields[1].toLongLong() }));
        }
    }

    void rangeModeReadsOnlyThePeriod()
    {
        RecordingView view;
        view.times = u"x"_s;
        view.autoInc = u"0"_s;
        view.period = u"30"_s;
        ParameterCheck check = ReadRunParameters(OperatingMode::RangeTest, view);
        QVERIFY(check.parameters);
        QCOMPARE(check.parameters->delayMs, 30000);
        QCOMPARE(check.parameters->autoInc, 1);

        view.period = u"3s"_s;
        check = ReadRunParameters(OperatingMode::RangeTest, view);
        QCOMPARE(check.problem, u"Valore non valido nel campo \"Periodo Range Test\": inserire un numero intero."_s);
    }

    void longestAddresseeDecidesTheLimit_data()
    {
        QTest::addColumn<Limit>("l");
        // Frame area 5000 = STX + header + prefix + counter + body + 4 checksum characters + EOT.
        // clang-format off
        QTest::newRow("direct, ten-character header") << Limit { 1, false, false, "1", "1", 4984 };
        QTest::newRow("direct, Chg CAP offset within the capcode's 7 digits") << Limit { 1, true, false, "1", "5", 4984 };
        QTest::newRow("direct, Chg CAP grows the capcode to 8 digits") << Limit { 1, true, false, "1", "8000000", 4983 };
        QTest::newRow("direct, Chg Msg over 100 frames: 2 digits") << Limit { 1, false, true, "100", "1", 4982 };
        QTest::newRow("direct, Chg Msg repeating: 10 digits") << Limit { 1, false, true, "-1", "1", 4974 };
        QTest::newRow("address book: longest prefix of a user with SendName") << Limit { 0, false, false, "1", "1", 4976 };
        QTest::newRow("address book: Chg Msg counts every user's frame") << Limit { 0, false, true, "4", "1", 4974 };
        // clang-format on
    }

    void longestAddresseeDecidesTheLimit()
    {
        QFETCH(Limit, l);
        SendRig rig;
        QVERIFY2(rig.ok, qPrintable(rig.error));
        rig.addUser(u"Anna"_s, u"0000101A12"_s, u"Annabel"_s, true); // 8
        rig.addUser(u"Bruno"_s, u"0000102A12"_s, u"Bartholomew"_s, false);
        rig.addUser(u"Carla"_s, u"123A12"_s, u"Carla"_s, true); // 6
        RecordingView &view = rig.view;
        view.page = l.page;
        view.sendList = { u"Anna"_s, u"Bruno"_s, u"Carla"_s, u"Gone"_s };
        view.code = u"2097151A12"_s;
        view.chgCap = l.chgCap;
        view.autoInc = l.autoInc;
        view.testMode = view.chgMsg = l.chgMsg;
        view.times = l.times;
        const RunParameters p = *ReadRunParameters(OperatingMode::Test, view).parameters;
        LengthNeeds needs = MeasureRun(OperatingMode::Test, p, view, rig.stores->recipients);

        needs.bodyLength = l.limit;
        QCOMPARE(MessageLengthProblem(needs), QString());
        needs.bodyLength = l.limit + 1;
        QCOMPARE(MessageLengthProblem(needs), u"Messaggio troppo lungo: al massimo %1 caratteri."_s.arg(l.limit));
    }
};

QTEST_GUILESS_MAIN(TestSendCommand)
#include "test_send_command.moc"
