// The COM settings window over a real table serial, and what the next run opens with it.

#include "link/Serial.h"
#include "tests/support/Controls.h"
#include "tests/support/SendRig.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QList<int> stored(SendRig &rig)
{
    const SerialSettings s = rig.stores->serial.read();
    return { s.port, s.baud, s.data };
}

QList<int> shown(const TfrmCOM &com)
{
    return { control<QComboBox>(com, "cboPort")->currentIndex(), control<QComboBox>(com, "cboBaud")->currentIndex(),
             control<QComboBox>(com, "cboData")->currentIndex() };
}

// A rig (database opened, simulator not started) with the COM window over its table, shown.
struct ComRig : SendRig
{
    ComRig() { com.show(); }
    void reshow() // shows again what is stored
    {
        com.hide();
        com.show();
    }
    TfrmCOM com { stores->serial, alerts, dirPath };
};

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
        QCOMPARE(stored(rig), (QList<int> { 0, 3, 1 }));
        com.show();
        QCOMPARE((QStringList { control<QComboBox>(com, "cboPort")->currentText(),
                                control<QComboBox>(com, "cboBaud")->currentText(),
                                control<QComboBox>(com, "cboData")->currentText() }),
                 (QStringList { u"COM1"_s, u"9600"_s, u"8,N,1"_s }));
        QCOMPARE(control<QComboBox>(com, "cboPort")->count(), 17);
        QCOMPARE(control<QComboBox>(com, "cboPort")->itemText(16), QString());
        QVERIFY(rig.alerts.alerts.isEmpty());
    }

    void okStoresPositionsAndNextRunUsesThem()
    {
        ComRig rig;
        TfrmCOM &com = rig.com;
        int refreshed = 0;
        QObject::connect(&com, &TfrmCOM::settingsStored, [&] { ++refreshed; });
        control<QComboBox>(com, "cboPort")->setCurrentIndex(control<QComboBox>(com, "cboPort")->findText(u"COM12"_s));
        control<QComboBox>(com, "cboBaud")->setCurrentIndex(control<QComboBox>(com, "cboBaud")->findText(u"19200"_s));
        control<QComboBox>(com, "cboData")->setCurrentIndex(control<QComboBox>(com, "cboData")->findText(u"7,E,1"_s));
        QTest::mouseClick(control<QPushButton>(com, "BitBtn1"), Qt::LeftButton);

        QCOMPARE(com.result(), int(QDialog::Accepted));
        QCOMPARE(refreshed, 1);
        QCOMPARE(stored(rig), (QList<int> { 11, 4, 0 }));

        // The next run opens the device named COM12, 19200 bit/s, 7 data bits, even parity, 2 stop bits.
        rig.sim = std::make_unique<SimulatorProcess>(rig.dirPath, QStringList(), u"COM12"_s);
        QVERIFY(rig.sim->start());
        QVERIFY(rig.driver->RunTransmission());
        QCOMPARE(rig.sim->frames().size(), 1);
        QCOMPARE(rig.port.portName(), u"COM12"_s);
        QCOMPARE((QList<int> { rig.port.baudRate(), rig.port.dataBits(), rig.port.parity(), rig.port.stopBits() }),
                 (QList<int> { 19200, 7, 'E', 2 }));
        QVERIFY(rig.sim->logText().contains(u"baud=19200"_s));
    }

    void emptyEntryStoresSixteen()
    {
        ComRig rig;
        control<QComboBox>(rig.com, "cboPort")->setCurrentIndex(16);
        rig.com.BitBtn1Click();
        QCOMPARE(stored(rig).first(), 16); // what a run then refuses: see the driver's port tests
    }

    void cancelLeavesTableUnchanged()
    {
        ComRig rig;
        TfrmCOM &com = rig.com;
        rig.stores->serial.write({ 4, 1, 0 });
        int refreshed = 0;
        QObject::connect(&com, &TfrmCOM::settingsStored, [&] { ++refreshed; });
        rig.reshow();
        QCOMPARE(control<QComboBox>(com, "cboPort")->currentText(), u"COM5"_s);
        control<QComboBox>(com, "cboPort")->setCurrentIndex(0);
        control<QComboBox>(com, "cboBaud")->setCurrentIndex(4);
        control<QComboBox>(com, "cboData")->setCurrentIndex(1);
        QTest::mouseClick(control<QPushButton>(com, "BitBtn2"), Qt::LeftButton);

        QCOMPARE(com.result(), int(QDialog::Rejected));
        QCOMPARE(refreshed, 0);
        QCOMPARE(stored(rig), (QList<int> { 4, 1, 0 }));
        rig.reshow();
        QCOMPARE(shown(com), (QList<int> { 4, 1, 0 }));
    }

    void storedValuesOutsideTheListsShowDefaults()
    {
        ComRig rig;
        rig.stores->serial.write({ 40, 9, 5 });
        rig.reshow();
        QCOMPARE(shown(rig.com), (QList<int> { 0, 3, 1 }));

        // A run with such values opens nothing and records nothing.
        rig.stores->serial.write({ 40, 3, 1 });
        QVERIFY(!rig.driver->RunTransmission());
        rig.stores->serial.write({ 0, 9, 1 });
        QVERIFY(!rig.driver->RunTransmission());
        QCOMPARE(rig.alerts.texts(),
                 (QStringList { u"La porta COM selezionata non è disponibile!!!"_s, u"Error opening comm port."_s }));
        QVERIFY(rig.storedRows().isEmpty());
    }

    void deviceLabelFollowsTheChosenName()
    {
        ComRig rig;
        TfrmCOM &com = rig.com;
        QVERIFY(QFile::link(u"/dev/null"_s, rig.dirPath + u"/COM3"_s));
        QVERIFY2(control<QLabel>(com, "lblDevice")->text().contains(u"/dev/ttyS0"_s),
                 qPrintable(control<QLabel>(com, "lblDevice")->text()));
        control<QComboBox>(com, "cboPort")->setCurrentIndex(2);
        QVERIFY(control<QLabel>(com, "lblDevice")->text().contains(rig.dirPath + u"/COM3"_s));
        control<QComboBox>(com, "cboPort")->setCurrentIndex(16);
        QCOMPARE(control<QLabel>(com, "lblDevice")->text(), u"nessun dispositivo"_s);
        QCOMPARE(control<QComboBox>(com, "cboPort")->accessibleName(), u"Porta"_s);
    }
};

QTEST_MAIN(TestGuiSendCom)
#include "test_gui_send_com.moc"
