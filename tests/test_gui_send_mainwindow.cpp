// Runs driven through the real main window, its menu "Sistema" and the range-test window, with
// the real driver and serial port and the encoder simulator on a pseudo-terminal: what the
// operator sees during and after a run, the frames logged and the rows stored.

#include "send/MainWindowView.h"
#include "send/Modes.h"
#include "send/Password.h"
#include "send/Range.h"
#include "send/TransmitCommand.h"
#include "tests/support/Controls.h"
#include "tests/support/Frames.h"
#include "tests/support/ModalRecorder.h"
#include "tests/support/SendRig.h"
#include "ui/ReportModel.h"
#include "ui/StatusBar.h"
#include "ui/Unit1.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTabWidget>
#include <QtTest>

using namespace Qt::StringLiterals;

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

// The window wired as the program wires it for range tests: the modes, the password dialog and
// the range-test window behind "Invia".
struct RangeConsole : Window
{
    explicit RangeConsole(SendRig &rig)
        : Window(rig)
        , password(guard, rig.alerts)
        , range(rig.state)
        , modes(form, rig.state, password, range)
    {
        view.setRangeWindow(&range);
        QObject::connect(&command, &TransmitCommand::rangeWindowRequested, &range, &TfrmRange::showModal);
        QObject::connect(&range, &TfrmRange::startRequested, &command, &TransmitCommand::startRangeRun);
        QObject::connect(control<QAction>(form, "tbnTransmit"), &QAction::triggered,
                         [this] { command.tbnTransmitClick(); });
    }

    // "Range Test" from the menu with a one-second period, then "Invia" to the typed code;
    // "Start" is pressed as soon as the range-test window is open.
    void runRangeTest()
    {
        control<QAction>(form, "RangeTest1")->trigger();
        control<QLineEdit>(form, "edtHeartbeat")->setText(u"1"_s);
        control<QLineEdit>(form, "edtID")->setText(u"123A12"_s);
        QTimer::singleShot(0, &range, [this] {
            shownMessage = control<QLineEdit>(range, "edtMsg")->text();
            shownPeriod = control<QLabel>(range, "lblSec")->text();
            control<QPushButton>(range, "Button2")->click();
        });
        control<QAction>(form, "tbnTransmit")->trigger();
    }

    ModeGuard guard;
    TPasswordDlg password;
    TfrmRange range;
    OperatingModes modes;
    QString shownMessage, shownPeriod;
};

// The given columns of every row the window's report shows.
QList<QStringList> shownRows(const TForm1 &form, const QList<int> &columns)
{
    QList<QStringList> out;
    for (int r = 0; r < form.reportModel()->rowCount(); ++r) {
        QStringList row;
        for (int c : columns)
            row << form.reportModel()->index(r, c).data().toString();
        out << row;
    }
    return out;
}

const QStringList kRangeTexts { u"Range Test 1"_s, u"Range Test 2"_s, u"Range Test 3"_s };

} // namespace

class TestGuiSendMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void directRunThroughTheWindow()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator());
        Window w(rig);
        TForm1 &f = w.form;
        control<QTabWidget>(f, "PageControl1")->setCurrentIndex(1);
        control<QLineEdit>(f, "edtID")->setText(u"123A12"_s);
        control<QPlainTextEdit>(f, "memMsg")->setPlainText(u"HI"_s);
        control<QLineEdit>(f, "Edit5")->setText(u"2"_s);
        const auto controls = [&f] {
            return QList<bool> {
                control<QAction>(f, "tbnTransmit")->isEnabled(), control<QAction>(f, "mnuTransmit")->isEnabled(),
                control<QAction>(f, "Recipient1")->isEnabled(),  control<QAction>(f, "OpenHistory1")->isEnabled(),
                control<QAction>(f, "NormalMode1")->isEnabled(), control<QAction>(f, "RangeTest1")->isEnabled(),
                control<QAction>(f, "TestMode1")->isEnabled()
            };
        };
        QList<bool> controlsDuringRun;
        QString statusDuringRun;
        rig.pump.onPump = [&] {
            controlsDuringRun = controls();
            statusDuringRun = f.status().stateText();
        };

        w.command.tbnTransmitClick();

        QVERIFY(rig.state.lastRunResult);
        QCOMPARE(controlsDuringRun, QList<bool>(7, false));
        QCOMPARE(controls(), QList<bool>(7, true));
        QCOMPARE((QStringList { statusDuringRun, f.status().stateText(), control<QLineEdit>(f, "edtID")->text(),
                                control<QLabel>(f, "Label20")->text() }),
                 (QStringList { u" Sending......"_s, u"Pronto"_s, u"0000123A12"_s, u"2"_s }));
        QCOMPARE(rig.alerts.texts(), QStringList { u"Invio corretto!  "_s });
        QCOMPARE(shownRows(f, { ReportModel::Status }), QList<QStringList>(2, { u"OK"_s }));
        QCOMPARE(rig.sim->frames().size(), 2);
    }

    void addressBookRunThroughTheWindow()
    {
        SendRig rig;
        QVERIFY(rig.startSimulator());
        rig.addBook();
        Window w(rig);
        TForm1 &f = w.form;
        control<QTabWidget>(f, "PageControl1")->setCurrentIndex(0);
        control<QListWidget>(f, "ListBox2")->addItems({ u"Anna"_s, u"Bruno"_s });
        control<QPlainTextEdit>(f, "memMsg")->setPlainText(u"CIAO"_s);
        QString statusDuringFrame;
        rig.pump.onPump = [&] {
            if (statusDuringFrame.isEmpty())
                statusDuringFrame = f.status().stateText();
        };

        w.command.tbnTransmitClick();

        QVERIFY(rig.state.lastRunResult);
        QCOMPARE(statusDuringFrame, u" Invio...     "_s);
        QCOMPARE(shownRows(f, { ReportModel::Recipt, ReportModel::Msg }),
                 (QList<QStringList> { { u"Anna"_s, u"Anna:CIAO"_s }, { u"Bruno"_s, u"CIAO"_s } }));
        QCOMPARE(control<QLabel>(f, "Label20")->text(), u"1"_s);
    }

    void threePassesUntilCancel()
    {
        SendRig rig;
        RangeConsole c(rig);
        QVERIFY(rig.startSimulator());
        QStringList textsSeen;
        bool visibleAtCancel = false;
        rig.pump.onPump = [&] {
            const QString text = control<QLineEdit>(c.range, "edtMsg")->text();
            if (textsSeen.isEmpty() || textsSeen.last() != text)
                textsSeen << text;
            if (rig.state.rangeCounter == 3 && !rig.state.stopRequest) {
                visibleAtCancel = c.range.isVisible();
                control<QPushButton>(c.range, "Button1")->click(); // "Cancel" while the third pass is going on
            }
        };

        c.runRangeTest();

        QCOMPARE((QStringList { c.shownMessage, c.shownPeriod }), (QStringList { u"Range Test"_s, u"1"_s }));
        QVERIFY(visibleAtCancel && !c.range.isVisible());
        // The window opens on the text of "Messaggio", then shows the range text of each pass.
        QCOMPARE(textsSeen, QStringList { u"Range Test"_s } + kRangeTexts);
        QVERIFY(rig.state.lastRunResult);
        QVERIFY(rig.alerts.texts().isEmpty()); // stopped in the pause: no message
        QCOMPARE(rig.column(1) + rig.column(2) + rig.column(4),
                 QStringList(3, u"DIR   "_s) + QStringList(3, u"0000123A12"_s) + QStringList(3, u"OK"_s));
        QCOMPARE(rig.column(5), kRangeTexts);
        QList<QByteArray> frames;
        for (const QString &text : kRangeTexts)
            frames << frameOf("0000123A12", text.toLatin1());
        QVERIFY(rig.sim->waitForFrames(3));
        QCOMPARE(rig.sim->frames(), frames);
        QVERIFY(control<QAction>(c.form, "tbnTransmit")->isEnabled()
                && control<QAction>(c.form, "mnuTransmit")->isEnabled());
    }

    void aFrameFailureEndsTheRunAndClosesTheWindow()
    {
        SendRig rig;
        RangeConsole c(rig);
        QVERIFY(rig.startSimulator({ u"--fail-after"_s, u"2"_s, u"--mode"_s, u"silent"_s }));
        rig.state.lastRunResult = true;
        bool visibleAtFailure = false;
        rig.alerts.onAlert = [&](const RecordingAlertSink::Alert &alert) {
            if (alert.text == QLatin1String("Invio fallito!"))
                visibleAtFailure = c.range.isVisible();
        };

        c.runRangeTest();

        QCOMPARE(rig.alerts.texts(), (QStringList { u"Nessun KRV7700!"_s, u"Invio fallito!"_s }));
        QCOMPARE(rig.alerts.alerts.last().caption, u"Errore "_s);
        QVERIFY(visibleAtFailure && !c.range.isVisible());
        QVERIFY(!rig.state.lastRunResult);
        QCOMPARE(rig.column(4), (QStringList { u"OK"_s, u"OK"_s, u"NoTX"_s }));
        QCOMPARE(rig.column(5), kRangeTexts);
        QVERIFY(control<QAction>(c.form, "tbnTransmit")->isEnabled());
    }

    void aBadCodeOpensNoWindow()
    {
        SendRig rig;
        RangeConsole c(rig);
        ModalRecorder modals;
        modals.onDialog = [](QDialog *) { return int(QDialog::Rejected); };
        control<QAction>(c.form, "RangeTest1")->trigger();
        control<QLineEdit>(c.form, "edtID")->setText(u"7A12"_s); // capcode below 8
        control<QAction>(c.form, "tbnTransmit")->trigger();
        QVERIFY(modals.dialogs.isEmpty());
        QCOMPARE(rig.alerts.alerts.size(), 1);
        QVERIFY(rig.storedRows().isEmpty());
    }
};

QTEST_MAIN(TestGuiSendMainWindow)
#include "test_gui_send_mainwindow.moc"
