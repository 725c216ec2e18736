// Range tests as the operator runs them: the real main window in range-test mode, "Invia",
// the range-test window's "Start" and "Cancel", the real driver and serial port, and the
// encoder simulator on a pseudo-terminal.

#include "app/ModalRunner.h"
#include "link/EncoderLink.h"
#include "send/MainWindowView.h"
#include "send/Modes.h"
#include "send/Password.h"
#include "send/Range.h"
#include "send/TransmitCommand.h"
#include "tests/support/SendRig.h"
#include "ui/Unit1.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTabWidget>
#include <QtTest>

namespace {

// The console's sending parts wired as the program wires them, on a real database file.
struct RangeConsole
{
    RangeConsole()
    {
        const Database::OpenResult opened = Database::open(dir.filePath(Database::FileName));
        error = opened.error;
        if (!error.isEmpty())
            return;
        stores = std::make_unique<DataStores>(opened.db);
        stores->serial.ensureDefaultRow(); // COM1, 9600 bit/s, 8,N,1
        port.SetWorkDir(dir.path());
        form = std::make_unique<TForm1>(state, *stores, alerts);
        view = std::make_unique<MainWindowView>(*form);
        view->setRangeWindow(&range);
        driver = std::make_unique<TransmitDriver>(state, *stores, port, *view, clock, pump, alerts);
        command = std::make_unique<TransmitCommand>(state, *driver, *view, clock, alerts);
        command->setShowRangeWindow([this] { range.showModal(); });
        range.setRunTransmission([this] { return command->startRangeRun(); });
        modes = std::make_unique<OperatingModes>(*form, state, password, range);
        QObject::connect(form->tbnTransmit, &QAction::triggered, [this] { command->tbnTransmitClick(); });
    }
    ~RangeConsole()
    {
        modes.reset();
        command.reset();
        driver.reset();
        view.reset();
        form.reset();
        port.Close();
        stores.reset();
        Database::close();
    }

    bool startSimulator(const QStringList &args = {})
    {
        sim = std::make_unique<SimulatorProcess>(dir.path(), args);
        return sim->start();
    }

    // "Range Test" from the menu with a one-second period, then "Invia" to the typed code;
    // "Start" is pressed as soon as the range-test window is open.
    void runRangeTest()
    {
        form->RangeTest1->trigger();
        form->edtHeartbeat->setText(QStringLiteral("1"));
        form->edtID->setText(QStringLiteral("123A12"));
        QTimer::singleShot(0, &range, [this] {
            shownMessage = range.edtMsg->text();
            shownPeriod = range.lblSec->text();
            range.Button2->click();
        });
        form->tbnTransmit->trigger();
    }

    // recipt, pin_id, status, msg of every stored row.
    QList<QStringList> rows() const
    {
        QList<QStringList> out;
        QSqlQuery q(stores->report.database());
        q.exec(QStringLiteral("select recipt, pin_id, status, msg from report order by num"));
        while (q.next())
            out << QStringList { q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                 q.value(3).toString() };
        return out;
    }

    QTemporaryDir dir;
    QString error;
    SendingState state;
    ModeGuard guard;
    SkewClock clock;
    RigPump pump { clock };
    RecordingAlertSink alerts;
    std::unique_ptr<DataStores> stores;
    TCommPort port;
    std::unique_ptr<SimulatorProcess> sim;
    std::unique_ptr<TForm1> form;
    TPasswordDlg password { guard, alerts };
    TfrmRange range { state };
    std::unique_ptr<MainWindowView> view;
    std::unique_ptr<TransmitDriver> driver;
    std::unique_ptr<TransmitCommand> command;
    std::unique_ptr<OperatingModes> modes;
    QString shownMessage, shownPeriod;
};

QByteArray frameOf(const QByteArray &header, const QByteArray &text)
{
    const QByteArray body = '\x02' + header + text;
    return body + EncoderLink::Checksum(body) + '\x04';
}

const QStringList kRangeTexts { QStringLiteral("Range Test 1"), QStringLiteral("Range Test 2"),
                                QStringLiteral("Range Test 3") };

} // namespace

class TestGuiModesRangeRun : public QObject
{
    Q_OBJECT

private slots:
    void threePassesUntilCancel()
    {
        RangeConsole c;
        QVERIFY2(c.error.isEmpty(), qPrintable(c.error));
        QVERIFY(c.startSimulator());
        QStringList textsSeen;
        bool visibleAtCancel = false;
        c.pump.onPump = [&] {
            const QString text = c.range.edtMsg->text();
            if (textsSeen.isEmpty() || textsSeen.last() != text)
                textsSeen << text;
            if (c.state.rangeCounter == 3 && !c.state.stopRequest) {
                visibleAtCancel = c.range.isVisible();
                c.range.Button1->click(); // "Cancel" while the third pass is going on
            }
        };

        c.runRangeTest();

        QCOMPARE(c.shownMessage, QStringLiteral("Range Test"));
        QCOMPARE(c.shownPeriod, QStringLiteral("1"));
        QVERIFY(visibleAtCancel);
        QVERIFY(!c.range.isVisible());
        // The window opens on the text of "Messaggio", then shows the range text of each pass.
        QCOMPARE(textsSeen, QStringList { QStringLiteral("Range Test") } + kRangeTexts);
        QVERIFY(c.state.lastRunResult);
        QVERIFY(c.alerts.texts().isEmpty()); // stopped in the pause: no message
        const QList<QStringList> rows = c.rows();
        QCOMPARE(rows.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(rows[i],
                     (QStringList { QStringLiteral("DIR   "), QStringLiteral("0000123A12"), QStringLiteral("OK"),
                                    kRangeTexts[i] }));
        QVERIFY(c.sim->waitForFrames(3));
        QList<QByteArray> expected;
        for (const QString &text : kRangeTexts)
            expected << frameOf("0000123A12", text.toLatin1());
        QCOMPARE(c.sim->frames(), expected);
        QVERIFY(c.form->tbnTransmit->isEnabled());
        QVERIFY(c.form->mnuTransmit->isEnabled());
    }

    void aFrameFailureEndsTheRunAndClosesTheWindow()
    {
        RangeConsole c;
        QVERIFY2(c.error.isEmpty(), qPrintable(c.error));
        QVERIFY(c.startSimulator({ QStringLiteral("--fail-after"), QStringLiteral("2"), QStringLiteral("--mode"),
                                   QStringLiteral("silent") }));
        c.state.lastRunResult = true;
        bool visibleAtFailure = false;
        c.alerts.onAlert = [&](const RecordingAlertSink::Alert &alert) {
            if (alert.text == QLatin1String("Invio fallito!"))
                visibleAtFailure = c.range.isVisible();
        };

        c.runRangeTest();

        QCOMPARE(c.alerts.texts(),
                 (QStringList { QStringLiteral("Nessun KRV7700!"), QStringLiteral("Invio fallito!") }));
        QCOMPARE(c.alerts.alerts.last().caption, QStringLiteral("Errore "));
        QVERIFY(visibleAtFailure);
        QVERIFY(!c.range.isVisible());
        QVERIFY(!c.state.lastRunResult);
        QCOMPARE(c.rows().size(), 3);
        QCOMPARE(c.rows().last().mid(2), (QStringList { QStringLiteral("NoTX"), QStringLiteral("Range Test 3") }));
        QVERIFY(c.form->tbnTransmit->isEnabled());
    }

    void aBadCodeOpensNoWindow()
    {
        RangeConsole c;
        QVERIFY2(c.error.isEmpty(), qPrintable(c.error));
        int opened = 0;
        ModalRunner::setInterceptor([&](QDialog *) {
            ++opened;
            return 0;
        });
        c.form->RangeTest1->trigger();
        c.form->edtID->setText(QStringLiteral("7A12")); // capcode below 8
        c.form->tbnTransmit->trigger();
        ModalRunner::clearInterceptor();
        QCOMPARE(opened, 0);
        QCOMPARE(c.alerts.alerts.size(), 1);
        QVERIFY(c.rows().isEmpty());
    }
};

QTEST_MAIN(TestGuiModesRangeRun)
#include "test_gui_modes_range_run.moc"
