// The COM settings window over a real table serial, and what the next run opens with it.

#include "link/Serial.h"
#include "tests/support/SendRig.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

class TestGuiSendCom : public QObject
{
    Q_OBJECT

private slots:
    void createInsertsDefaultRowAndShowsIt();
    void okStoresPositionsAndNextRunUsesThem();
    void emptyEntryStoresSixteenAndNextRunFails();
    void cancelLeavesTableUnchanged();
    void storedValuesOutsideTheListsShowDefaults();
    void deviceLabelFollowsTheChosenName();
};

namespace {
SerialSettings stored(SendRig &rig)
{
    return rig.stores->serial.read();
}
} // namespace

void TestGuiSendCom::createInsertsDefaultRowAndShowsIt()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QSqlQuery(rig.stores->report.database()).exec(QStringLiteral("delete from serial"));
    TfrmCOM com(rig.stores->serial, rig.alerts, rig.dirPath);
    QCOMPARE(com.windowTitle(), QStringLiteral("Porta COM"));
    const SerialSettings s = stored(rig);
    QCOMPARE((QList<int> { s.port, s.baud, s.data }), (QList<int> { 0, 3, 1 }));
    com.show();
    QCOMPARE(com.cboPort->currentText(), QStringLiteral("COM1"));
    QCOMPARE(com.cboBaud->currentText(), QStringLiteral("9600"));
    QCOMPARE(com.cboData->currentText(), QStringLiteral("8,N,1"));
    QCOMPARE(com.cboPort->count(), 17);
    QCOMPARE(com.cboPort->itemText(16), QString());
    QVERIFY(rig.alerts.alerts.isEmpty());
}

void TestGuiSendCom::okStoresPositionsAndNextRunUsesThem()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    TfrmCOM com(rig.stores->serial, rig.alerts, rig.dirPath);
    int refreshed = 0;
    com.setRefresh([&] { ++refreshed; });
    com.show();
    com.cboPort->setCurrentIndex(com.cboPort->findText(QStringLiteral("COM12")));
    com.cboBaud->setCurrentIndex(com.cboBaud->findText(QStringLiteral("19200")));
    com.cboData->setCurrentIndex(com.cboData->findText(QStringLiteral("7,E,1")));
    QTest::mouseClick(com.BitBtn1, Qt::LeftButton);

    QCOMPARE(com.result(), int(QDialog::Accepted));
    QCOMPARE(refreshed, 1);
    const SerialSettings s = stored(rig);
    QCOMPARE((QList<int> { s.port, s.baud, s.data }), (QList<int> { 11, 4, 0 }));

    // The next run opens the device named COM12, 19200 bit/s, 7 data bits, even parity, 2 stop bits.
    rig.sim = std::make_unique<SimulatorProcess>(rig.dirPath, QStringList(), QStringLiteral("COM12"));
    QVERIFY(rig.sim->start());
    QVERIFY(rig.driver->RunTransmission());
    QCOMPARE(rig.sim->frames().size(), 1);
    QCOMPARE(rig.port.portName(), QStringLiteral("COM12"));
    QCOMPARE(rig.port.baudRate(), 19200);
    QCOMPARE(rig.port.dataBits(), 7);
    QCOMPARE(rig.port.parity(), 'E');
    QCOMPARE(rig.port.stopBits(), 2);
    QVERIFY(rig.sim->logText().contains(QStringLiteral("baud=19200")));
}

void TestGuiSendCom::emptyEntryStoresSixteenAndNextRunFails()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator()); // COM1 exists, but is no longer chosen
    TfrmCOM com(rig.stores->serial, rig.alerts, rig.dirPath);
    com.show();
    com.cboPort->setCurrentIndex(16);
    com.BitBtn1Click();
    QCOMPARE(stored(rig).port, 16);

    QVERIFY(!rig.driver->RunTransmission());
    QCOMPARE(rig.alerts.texts(), QStringList { QStringLiteral("La porta COM selezionata non è disponibile!!!") });
    QVERIFY(rig.storedRows().isEmpty());
}

void TestGuiSendCom::cancelLeavesTableUnchanged()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    rig.stores->serial.write({ 4, 1, 0 });
    TfrmCOM com(rig.stores->serial, rig.alerts, rig.dirPath);
    int refreshed = 0;
    com.setRefresh([&] { ++refreshed; });
    com.show();
    QCOMPARE(com.cboPort->currentText(), QStringLiteral("COM5"));
    com.cboPort->setCurrentIndex(0);
    com.cboBaud->setCurrentIndex(4);
    com.cboData->setCurrentIndex(1);
    QTest::mouseClick(com.BitBtn2, Qt::LeftButton);

    QCOMPARE(com.result(), int(QDialog::Rejected));
    QCOMPARE(refreshed, 0);
    const SerialSettings s = stored(rig);
    QCOMPARE((QList<int> { s.port, s.baud, s.data }), (QList<int> { 4, 1, 0 }));
    com.show(); // showing again brings back what is stored
    QCOMPARE(com.cboPort->currentIndex(), 4);
    QCOMPARE(com.cboBaud->currentIndex(), 1);
    QCOMPARE(com.cboData->currentIndex(), 0);
}

void TestGuiSendCom::storedValuesOutsideTheListsShowDefaults()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    rig.stores->serial.write({ 40, 9, 5 });
    TfrmCOM com(rig.stores->serial, rig.alerts, rig.dirPath);
    com.show();
    QCOMPARE(com.cboPort->currentIndex(), 0);
    QCOMPARE(com.cboBaud->currentIndex(), 3);
    QCOMPARE(com.cboData->currentIndex(), 1);

    // A run with such values opens nothing and records nothing.
    rig.stores->serial.write({40, 3, 1});
    QVERIFY(!rig.driver->RunTransmission());
    QCOMPARE(rig.alerts.texts(), QStringList { QStringLiteral("La porta COM selezionata non è disponibile!!!") });
    rig.alerts.clear();
    rig.stores->serial.write({ 0, 9, 1 });
    QVERIFY(!rig.driver->RunTransmission());
    QCOMPARE(rig.alerts.texts(), QStringList { QStringLiteral("Error opening comm port.") });
    QVERIFY(rig.storedRows().isEmpty());
}

void TestGuiSendCom::deviceLabelFollowsTheChosenName()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), rig.dirPath + QStringLiteral("/COM3")));
    TfrmCOM com(rig.stores->serial, rig.alerts, rig.dirPath);
    com.show();
    QVERIFY2(com.lblDevice->text().contains(QStringLiteral("/dev/ttyS0")), qPrintable(com.lblDevice->text()));
    com.cboPort->setCurrentIndex(2);
    QVERIFY(com.lblDevice->text().contains(rig.dirPath + QStringLiteral("/COM3")));
    com.cboPort->setCurrentIndex(16);
    QCOMPARE(com.lblDevice->text(), QStringLiteral("nessun dispositivo"));
    QCOMPARE(com.cboPort->accessibleName(), QStringLiteral("Porta"));
}

QTEST_MAIN(TestGuiSendCom)
#include "test_gui_send_com.moc"
