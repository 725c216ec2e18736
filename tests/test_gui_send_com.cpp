// The COM settings window over a real table serial, and what the next run opens with it.

#include "link/Serial.h"
#include "tests/support/SendRig.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {
SerialSettings stored(SendRig &rig)
{
    return rig.stores->serial.read();
}
} // namespace

class TestGuiSendCom : public QObject
{
    Q_OBJECT

private slots:

    void createInsertsDefaultRowAndShowsIt()
    {
        SendRig rig;
        QVERIFY2(rig.ok, qPrintable(rig.error));
        QSqlQuery(rig.stores->report.database()).exec(u"delete from serial"_s);
        TfrmCOM com(rig.stores->serial, rig.alerts, rig.dirPath);
        const SerialSettings s = stored(rig);
        QCOMPARE((QList<int> { s.port, s.baud, s.data }), (QList<int> { 0, 3, 1 }));
        com.show();
        QCOMPARE(com.cboPort->currentText(), u"COM1"_s);
        QCOMPARE(com.cboBaud->currentText(), u"9600"_s);
        QCOMPARE(com.cboData->currentText(), u"8,N,1"_s);
        QCOMPARE(com.cboPort->count(), 17);
        QCOMPARE(com.cboPort->itemText(16), QString());
        QVERIFY(rig.alerts.alerts.isEmpty());
    }

    void okStoresPositionsAndNextRunUsesThem()
    {
        SendRig rig;
        QVERIFY2(rig.ok, qPrintable(rig.error));
        TfrmCOM com(rig.stores->serial, rig.alerts, rig.dirPath);
        int refreshed = 0;
        com.setRefresh([&] { ++refreshed; });
        com.show();
        com.cboPort->setCurrentIndex(com.cboPort->findText(u"COM12"_s));
        com.cboBaud->setCurrentIndex(com.cboBaud->findText(u"19200"_s));
        com.cboData->setCurrentIndex(com.cboData->findText(u"7,E,1"_s));
        QTest::mouseClick(com.BitBtn1, Qt::LeftButton);

        QCOMPARE(com.result(), int(QDialog::Accepted));
        QCOMPARE(refreshed, 1);
        const SerialSettings s = stored(rig);
        QCOMPARE((QList<int> { s.port, s.baud, s.data }), (QList<int> { 11, 4, 0 }));

        // The next run opens the device named COM12, 19200 bit/s, 7 data bits, even parity, 2 stop bits.
        rig.sim = std::make_unique<SimulatorProcess>(rig.dirPath, QStringList(), u"COM12"_s);
        QVERIFY(rig.sim->start());
        QVERIFY(rig.driver->RunTransmission());
        QCOMPARE(rig.sim->frames().size(), 1);
        QCOMPARE(rig.port.portName(), u"COM12"_s);
        QCOMPARE(rig.port.baudRate(), 19200);
        QCOMPARE(rig.port.dataBits(), 7);
        QCOMPARE(rig.port.parity(), 'E');
        QCOMPARE(rig.port.stopBits(), 2);
        QVERIFY(rig.sim->logText().contains(u"baud=19200"_s));
    }

    void emptyEntryStoresSixteenAndNextRunFails()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator()); // COM1 exists, but is no longer chosen
        TfrmCOM com(rig.stores->serial, rig.alerts, rig.dirPath);
        com.show();
        com.cboPort->setCurrentIndex(16);
        com.BitBtn1Click();
        QCOMPARE(stored(rig).port, 16); // what a run then refuses: see the driver's port tests
    }

    void cancelLeavesTableUnchanged()
    {
        SendRig rig;
        QVERIFY2(rig.ok, qPrintable(rig.error));
        rig.stores->serial.write({ 4, 1, 0 });
        TfrmCOM com(rig.stores->serial, rig.alerts, rig.dirPath);
        int refreshed = 0;
        com.setRefresh([&] { ++refreshed; });
        com.show();
        QCOMPARE(com.cboPort->currentText(), u"COM5"_s);
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

    void storedValuesOutsideTheListsShowDefaults()
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
        rig.stores->serial.write({ 40, 3, 1 });
        QVERIFY(!rig.driver->RunTransmission());
        QCOMPARE(rig.alerts.texts(), QStringList { u"La porta COM selezionata non è disponibile!!!"_s });
        rig.alerts.clear();
        rig.stores->serial.write({ 0, 9, 1 });
        QVERIFY(!rig.driver->RunTransmission());
        QCOMPARE(rig.alerts.texts(), QStringList { u"Error opening comm port."_s });
        QVERIFY(rig.storedRows().isEmpty());
    }

    void deviceLabelFollowsTheChosenName()
    {
        SendRig rig;
        QVERIFY2(rig.ok, qPrintable(rig.error));
        QVERIFY(QFile::link(u"/dev/null"_s, rig.dirPath + u"/COM3"_s));
        TfrmCOM com(rig.stores->serial, rig.alerts, rig.dirPath);
        com.show();
        QVERIFY2(com.lblDevice->text().contains(u"/dev/ttyS0"_s), qPrintable(com.lblDevice->text()));
        com.cboPort->setCurrentIndex(2);
        QVERIFY(com.lblDevice->text().contains(rig.dirPath + u"/COM3"_s));
        com.cboPort->setCurrentIndex(16);
        QCOMPARE(com.lblDevice->text(), u"nessun dispositivo"_s);
        QCOMPARE(com.cboPort->accessibleName(), u"Porta"_s);
    }
};

QTEST_MAIN(TestGuiSendCom)
#include "test_gui_send_com.moc"
