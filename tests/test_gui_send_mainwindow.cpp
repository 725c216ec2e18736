// Runs driven through the real main window and range-test window: what the operator sees
// during and after a run, and the rows the report model shows.

#include "app/ModalRunner.h"
#include "send/MainWindowView.h"
#include "send/Range.h"
#include "send/TransmitCommand.h"
#include "tests/support/SendRig.h"
#include "ui/ReportModel.h"
#include "ui/Unit1.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

namespace {

// The main window, its view and the command, over the rig's database, port and pump.
struct Window
{
    explicit Window(SendRig &rig)
        : form(rig.state, *rig.stores, rig.alerts)
        , view(form)
        , driver(rig.state, *rig.stores, rig.port, view, rig.clock, rig.pump, rig.alerts)
        , command(rig.state, driver, view, rig.clock, rig.alerts)
    {
    }
    TForm1 form;
    MainWindowView view;
    TransmitDriver driver;
    TransmitCommand command;
};

} // namespace

class TestGuiSendMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { ModalRunner::clearInterceptor(); }
    void directRunThroughTheWindow();
    void addressBookRunThroughTheWindow();
    void rangeTestThroughTheRangeWindow();
};

void TestGuiSendMainWindow::directRunThroughTheWindow()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator());
    Window w(rig);
    TForm1 &f = w.form;
    f.PageControl1->setCurrentIndex(1);
    f.edtID->setText(QStringLiteral("123A12"));
    f.memMsg->setPlainText(QStringLiteral("HI"));
    f.Edit5->setText(QStringLiteral("2"));
    bool lockedDuringRun = false;
    QString statusDuringRun;
    rig.pump.onPump = [&] {
        lockedDuringRun = !f.tbnTransmit->isEnabled() && !f.mnuTransmit->isEnabled() && !f.Recipient1->isEnabled()
            && !f.OpenHistory1->isEnabled();
        statusDuringRun = f.statusText(2);
    };

    w.command.tbnTransmitClick();

    QVERIFY(rig.state.lastRunResult);
    QVERIFY(lockedDuringRun);
    QCOMPARE(statusDuringRun, QStringLiteral(" Sending......"));
    QVERIFY(f.tbnTransmit->isEnabled() && f.mnuTransmit->isEnabled());
    QVERIFY(f.Recipient1->isEnabled() && f.OpenHistory1->isEnabled());
    QCOMPARE(f.edtID->text(), QStringLiteral("0000123A12"));
    QCOMPARE(f.Label20->text(), QStringLiteral("2"));
    QCOMPARE(f.statusText(2), QStringLiteral("Pronto"));
    QCOMPARE(rig.alerts.texts(), QStringList { QStringLiteral("Invio corretto!  ") });
    QCOMPARE(f.reportModel->rowCount(), 2);
    QCOMPARE(f.reportModel->index(1, ReportModel::Status).data().toString(), QStringLiteral("OK"));
    QCOMPARE(rig.sim->frames().size(), 2);
}

void TestGuiSendMainWindow::addressBookRunThroughTheWindow()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator());
    rig.addUser(QStringLiteral("Anna"), QStringLiteral("0000101A12"), QStringLiteral("Anna"), true);
    rig.addUser(QStringLiteral("Bruno"), QStringLiteral("0000102A12"));
    Window w(rig);
    TForm1 &f = w.form;
    f.PageControl1->setCurrentIndex(0);
    f.ListBox2->addItems({ QStringLiteral("Anna"), QStringLiteral("Bruno") });
    f.memMsg->setPlainText(QStringLiteral("CIAO"));
    QString statusDuringFrame;
    rig.pump.onPump = [&] {
        if (statusDuringFrame.isEmpty())
            statusDuringFrame = f.statusText(2);
    };

    w.command.tbnTransmitClick();

    QVERIFY(rig.state.lastRunResult);
    QCOMPARE(statusDuringFrame, QStringLiteral(" Invio...     "));
    QCOMPARE(f.reportModel->rowCount(), 2);
    QCOMPARE(f.reportModel->index(0, ReportModel::Msg).data().toString(), QStringLiteral("Anna:CIAO"));
    QCOMPARE(f.reportModel->index(1, ReportModel::Msg).data().toString(), QStringLiteral("CIAO"));
    QCOMPARE(f.reportModel->index(1, ReportModel::Recipt).data().toString(), QStringLiteral("Bruno"));
    QCOMPARE(f.Label20->text(), QStringLiteral("1"));
}

void TestGuiSendMainWindow::rangeTestThroughTheRangeWindow()
{
    SendRig rig;
    QVERIFY2(rig.ok, qPrintable(rig.error));
    QVERIFY(rig.startSimulator());
    Window w(rig);
    TForm1 &f = w.form;
    TfrmRange range(rig.state);
    range.setSources([&f] { return f.Edit2->text(); }, [&f] { return f.edtHeartbeat->text(); });
    range.setRunTransmission([&w] { return w.command.startRangeRun(); });
    w.view.setRangeWindow(&range);
    w.command.setShowRangeWindow([&range] { range.showModal(); });
    rig.state.mode = OperatingMode::RangeTest;
    f.PageControl1->setCurrentIndex(1);
    f.edtID->setText(QStringLiteral("0000123A12"));
    f.Edit2->setText(QStringLiteral("Range Test"));
    f.edtHeartbeat->setText(QStringLiteral("1"));
    QStringList seen;
    rig.pump.onPump = [&] {
        const QString shown = range.edtMsg->text() + QLatin1Char('|') + range.lblSec->text();
        if (seen.isEmpty() || seen.last() != shown)
            seen << shown;
        if (rig.state.rangeCounter == 2 && range.lblSec->text() == QLatin1String("1"))
            range.Button1Click(); // "Cancel" in the second pause
    };
    ModalRunner::setInterceptor([&range](QDialog *) {
        range.FormShow();
        range.Button2Click(); // "Start"
        return int(QDialog::Accepted);
    });

    w.command.tbnTransmitClick();

    QVERIFY(rig.state.lastRunResult);
    QCOMPARE(f.reportModel->rowCount(), 2);
    QCOMPARE(f.reportModel->index(1, ReportModel::Msg).data().toString(), QStringLiteral("Range Test 2"));
    QVERIFY2(seen.contains(QStringLiteral("Range Test 1|1")), qPrintable(seen.join(QLatin1Char(','))));
    QVERIFY(seen.contains(QStringLiteral("Range Test 2|1")));
    QVERIFY(f.tbnTransmit->isEnabled());
}

QTEST_MAIN(TestGuiSendMainWindow)
#include "test_gui_send_mainwindow.moc"
