// The transmit command around a run: its controls, the busy deadline it renews, the range-test
// branch, and a close of the main window that waits for the run.

#include "link/EncoderLink.h"
#include "send/TransmitCommand.h"
#include "tests/support/SendRig.h"

#include <QtTest>

class TestSendCommand : public QObject
{
    Q_OBJECT

private slots:
    void directRunRenewsDeadlineFromTheCode();
    void addressBookRunRenewsDeadlineForTheWholeList();
    void failedRunLeavesTheDeadlineToTheLink();
    void rangeTestGoesThroughTheRangeWindow();
    void closeDuringRunWaitsForTheRun();
};

void TestSendCommand::directRunRenewsDeadlineFromTheCode()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator());
    TransmitCommand command(rig.state, *rig.driver, rig.view, rig.clock, rig.alerts);
    rig.view.code = QStringLiteral("123A12");
    rig.view.message = QStringLiteral("HELLO");
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

void TestSendCommand::addressBookRunRenewsDeadlineForTheWholeList()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator());
    TransmitCommand command(rig.state, *rig.driver, rig.view, rig.clock, rig.alerts);
    rig.addUser(QStringLiteral("Anna"), QStringLiteral("0000101A52"));
    rig.addUser(QStringLiteral("Bruno"), QStringLiteral("0000102A52"));
    rig.view.page = 0;
    rig.view.sendList = { QStringLiteral("Anna"), QStringLiteral("Bruno") };
    rig.view.message = QStringLiteral("HELLO");
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

void TestSendCommand::failedRunLeavesTheDeadlineToTheLink()
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

void TestSendCommand::rangeTestGoesThroughTheRangeWindow()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator());
    TransmitCommand command(rig.state, *rig.driver, rig.view, rig.clock, rig.alerts);
    rig.state.mode = OperatingMode::RangeTest;
    rig.state.rangeCounter = 17;
    rig.view.period = QStringLiteral("1");
    int shown = 0;
    bool lockedWhileShown = false;
    command.setShowRangeWindow([&] {
        ++shown;
        lockedWhileShown = !rig.view.transmitEnabled;
        QCOMPARE(rig.state.rangeCounter, 0u);
        command.startRangeRun(); // "Start"
    });
    rig.pump.onPump = [&rig] {
        if (rig.state.rangeCounter == 2 && rig.view.countOf(QStringLiteral("countdown:")) > 0)
            rig.state.stopRequest = true; // "Cancel"
    };

    // An invalid code in direct mode opens no window.
    rig.view.code = QStringLiteral("0000123A33");
    command.tbnTransmitClick();
    QCOMPARE(shown, 0);
    QCOMPARE(rig.alerts.texts(), QStringList { QStringLiteral("RF data rate error!") });
    QVERIFY(rig.view.transmitEnabled);

    rig.alerts.clear();
    rig.view.code = QStringLiteral("0000123A12");
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

void TestSendCommand::closeDuringRunWaitsForTheRun()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator());
    TransmitCommand command(rig.state, *rig.driver, rig.view, rig.clock, rig.alerts);
    QVERIFY(!command.requestCloseDuringRun());
    rig.state.mode = OperatingMode::Test;
    rig.view.times = QStringLiteral("-1");
    rig.view.delay = QStringLiteral("1000");
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

QTEST_GUILESS_MAIN(TestSendCommand)
#include "test_send_command.moc"
