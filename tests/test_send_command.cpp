// The transmit command around a run: its controls, the busy deadline it renews, the range-test
// branch, and a close of the main window that waits for the run.

#include "link/EncoderLink.h"
#include "send/RunChecks.h"
#include "send/TransmitCommand.h"
#include "tests/support/SendRig.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestSendCommand : public QObject
{
    Q_OBJECT

private slots:

    void directRunRenewsDeadlineFromTheCode()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator());
        TransmitCommand command(rig.state, *rig.driver, rig.view, rig.clock, rig.alerts);
        rig.view.code = u"123A12"_s;
        rig.view.message = u"HELLO"_s;
        rig.state.pacingLength = 99;
        bool lockedDuringRun = false;
        rig.pump.onPump = [&] { lockedDuringRun = !rig.view.transmitEnabled && !rig.view.maintenanceEnabled; };

        const qint64 before = rig.clock.tickMs();
        command.tbnTransmitClick();
        const qint64 after = rig.clock.tickMs();

        QVERIFY(rig.state.lastRunResult);
        QVERIFY(lockedDuringRun);
        QVERIFY(rig.view.transmitEnabled && rig.view.maintenanceEnabled);
        QCOMPARE(rig.state.currentRateCode, QByteArray("1"));
        QCOMPARE(rig.state.pacingLength, 5u);
        const qint64 margin = qint64(EncoderLink::AirTime(5, 1200)) + 1000; // 1103 + 1000
        QCOMPARE(margin, 2103);
        QVERIFY(rig.state.busyDeadline >= before + margin && rig.state.busyDeadline <= after + margin);
    }

    void addressBookRunRenewsDeadlineForTheWholeList()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator());
        TransmitCommand command(rig.state, *rig.driver, rig.view, rig.clock, rig.alerts);
        rig.addUser(u"Anna"_s, u"0000101A52"_s);
        rig.addUser(u"Bruno"_s, u"0000102A52"_s);
        rig.view.page = 0;
        rig.view.sendList = { u"Anna"_s, u"Bruno"_s };
        rig.view.message = u"HELLO"_s;
        rig.state.currentRateCode = "5";
        rig.state.pacingLength = 7;

        const qint64 before = rig.clock.tickMs();
        command.tbnTransmitClick();
        const qint64 after = rig.clock.tickMs();

        QVERIFY(rig.state.lastRunResult);
        QCOMPARE(rig.state.currentRateCode, QByteArray("5"));
        QCOMPARE(rig.state.pacingLength, 7u); // Auto Inc 1
        const qint64 margin = qint64(EncoderLink::AirTime(10, 512)) + 1000;
        QVERIFY(rig.state.busyDeadline >= before + margin && rig.state.busyDeadline <= after + margin);
    }

    void failedRunLeavesTheDeadlineToTheLink()
    {
        SendRig rig;
        QVERIFY2(rig.ok, qPrintable(rig.error));
        TransmitCommand command(rig.state, *rig.driver, rig.view, rig.clock, rig.alerts);
        rig.stores->serial.write({ 16, 3, 1 });
        rig.state.busyDeadline = 42;

        command.tbnTransmitClick();

        QVERIFY(!rig.state.lastRunResult);
        QCOMPARE(rig.state.busyDeadline, 42);
        QVERIFY(rig.view.transmitEnabled && rig.view.maintenanceEnabled);
    }

    void rangeTestGoesThroughTheRangeWindow()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator());
        TransmitCommand command(rig.state, *rig.driver, rig.view, rig.clock, rig.alerts);
        rig.state.mode = OperatingMode::RangeTest;
        rig.state.rangeCounter = 17;
        rig.view.period = u"1"_s;
        int shown = 0;
        bool lockedWhileShown = false;
        command.setShowRangeWindow([&] {
            ++shown;
            lockedWhileShown = !rig.view.transmitEnabled;
            QCOMPARE(rig.state.rangeCounter, 0u);
            command.startRangeRun(); // "Start"
        });
        rig.pump.onPump = [&rig] {
            if (rig.state.rangeCounter == 2 && rig.view.countOf(u"countdown:"_s) > 0)
                rig.state.stopRequest = true; // "Cancel"
        };

        rig.view.code = u"0000123A12"_s;
        command.tbnTransmitClick();
        QCOMPARE(shown, 1);
        QVERIFY(lockedWhileShown);
        QVERIFY(rig.state.lastRunResult);
        QCOMPARE(rig.storedRows().size(), 2);
        QVERIFY(rig.view.transmitEnabled);
        QVERIFY(rig.state.busyDeadline > rig.clock.tickMs());

        // "Cancel" before "Start": nothing ran, so no renewal from an earlier result.
        command.setShowRangeWindow([] {});
        rig.state.busyDeadline = 5;
        command.tbnTransmitClick();
        QVERIFY(!rig.state.lastRunResult);
        QCOMPARE(rig.state.busyDeadline, 5);
    }

    void closeDuringRunWaitsForTheRun()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator());
        TransmitCommand command(rig.state, *rig.driver, rig.view, rig.clock, rig.alerts);
        QVERIFY(!command.requestCloseDuringRun());
        rig.state.mode = OperatingMode::Test;
        rig.view.times = u"-1"_s;
        rig.view.delay = u"1000"_s;
        int closes = 0;
        bool deferred = false;
        command.setCloseAfterRun([&] {
            ++closes;
            QVERIFY(!command.busy());
        });
        rig.pump.onPump = [&] {
            if (rig.view.rowsPosted == 2 && !deferred) {
                deferred = command.requestCloseDuringRun();
                QCOMPARE(closes, 0);
            }
        };

        command.tbnTransmitClick();

        QVERIFY(deferred);
        QVERIFY(rig.state.stopRequest);
        QCOMPARE(closes, 1);
        QCOMPARE(rig.storedRows().size(), 2);
        QVERIFY(!command.requestCloseDuringRun());
    }

    void fields_data()
    {
        // clang-format off
        QTest::addColumn<QString>("times");
        QTest::addColumn<QString>("delay");
        QTest::addColumn<QString>("autoInc");
        QTest::addColumn<QString>("problem");
        const QString whole = u"Valore non valido nel campo \"%1\": inserire un numero intero."_s;
        QTest::newRow("defaults") << "1" << "0" << "1" << QString();
        QTest::newRow("repeat, blanks around") << " -1 " << "250" << "4" << QString();
        QTest::newRow("Times empty") << "" << "0" << "1" << whole.arg(u"Times"_s);
        QTest::newRow("Times text") << "abc" << "0" << "1" << whole.arg(u"Times"_s);
        QTest::newRow("Ritardo decimal") << "1" << "0.5" << "1" << whole.arg(u"Ritardo"_s);
        QTest::newRow("Auto Inc hex") << "1" << "0" << "0x2" << whole.arg(u"Auto Inc"_s);
        QTest::newRow("Auto Inc zero") << "1" << "0" << "0" << u"Il campo \"Auto Inc\" deve essere almeno 1."_s;
        QTest::newRow("Auto Inc negative") << "1" << "0" << "-3" << u"Il campo \"Auto Inc\" deve essere almeno 1."_s;
        QTest::newRow("Times too big") << "99999999999" << "0" << "1" << whole.arg(u"Times"_s);
        // clang-format on
    }

    void fields()
    {
        QFETCH(QString, times);
        QFETCH(QString, delay);
        QFETCH(QString, autoInc);
        QFETCH(QString, problem);
        RecordingView view;
        view.times = times;
        view.delay = delay;
        view.autoInc = autoInc;
        view.period = u"not read outside range-test mode"_s;
        const ParameterCheck check = ReadRunParameters(OperatingMode::Test, view);
        QCOMPARE(check.problem, problem);
        QCOMPARE(check.parameters.has_value(), problem.isEmpty());
        if (check.parameters) {
            QCOMPARE(check.parameters->times, times.trimmed().toInt());
            QCOMPARE(check.parameters->repeat, times.trimmed().toInt() < 0);
            QCOMPARE(check.parameters->delayMs, delay.toLongLong());
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
        // clang-format off
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("chgCap");
        QTest::addColumn<bool>("chgMsg");
        QTest::addColumn<QString>("times");
        QTest::addColumn<QString>("autoInc");
        QTest::addColumn<int>("limit");
        // Frame area 5000 = STX + header + prefix + counter + body + 4 checksum characters + EOT.
        QTest::newRow("direct, ten-character header") << 1 << false << false << "1" << "1" << 4984;
        QTest::newRow("direct, Chg CAP offset within the capcode's 7 digits") << 1 << true << false << "1" << "5" << 4984;
        QTest::newRow("direct, Chg CAP grows the capcode to 8 digits") << 1 << true << false << "1" << "8000000" << 4983;
        QTest::newRow("direct, Chg Msg over 100 frames: 2 digits") << 1 << false << true << "100" << "1" << 4982;
        QTest::newRow("direct, Chg Msg repeating: 10 digits") << 1 << false << true << "-1" << "1" << 4974;
        QTest::newRow("address book: longest prefix of a user with SendName") << 0 << false << false << "1" << "1" << 4976;
        QTest::newRow("address book: Chg Msg counts every user's frame") << 0 << false << true << "4" << "1" << 4974;
        // clang-format on
    }

    void longestAddresseeDecidesTheLimit()
    {
        QFETCH(int, page);
        QFETCH(bool, chgCap);
        QFETCH(bool, chgMsg);
        QFETCH(QString, times);
        QFETCH(QString, autoInc);
        QFETCH(int, limit);
        SendRig rig;
        QVERIFY2(rig.ok, qPrintable(rig.error));
        rig.addUser(u"Anna"_s, u"0000101A12"_s, u"Annabel"_s, true); // 8
        rig.addUser(u"Bruno"_s, u"0000102A12"_s, u"Bartholomew"_s, false);
        rig.addUser(u"Carla"_s, u"123A12"_s, u"Carla"_s, true); // 6
        RecordingView &view = rig.view;
        view.page = page;
        view.sendList = { u"Anna"_s, u"Bruno"_s, u"Carla"_s, u"Gone"_s };
        view.code = u"2097151A12"_s;
        view.chgCap = chgCap;
        view.autoInc = autoInc;
        view.testMode = chgMsg;
        view.chgMsg = chgMsg;
        view.times = times;
        const RunParameters p = *ReadRunParameters(OperatingMode::Test, view).parameters;
        LengthNeeds needs = MeasureRun(OperatingMode::Test, p, view, rig.stores->recipients);

        needs.bodyLength = limit;
        QCOMPARE(MessageLengthProblem(needs), QString());
        needs.bodyLength = limit + 1;
        QCOMPARE(MessageLengthProblem(needs), u"Messaggio troppo lungo: al massimo %1 caratteri."_s.arg(limit));
    }
};

QTEST_GUILESS_MAIN(TestSendCommand)
#include "test_send_command.moc"
