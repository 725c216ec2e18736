// The gateway in the assembled console: the "Gateway SNPP" window under "Impostazioni" behind
// the test-mode password, its checks, a change applied at once, the status bar panel as
// assistive technology reads it, and "Coda SNPP..." under "Report".

#include "app/WindowSet.h"
#include "tests/support/AssembledConsole.h"
#include "tests/support/Controls.h"
#include "tests/support/ModalRecorder.h"
#include "ui/StatusBar.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct Console : AssembledConsole
{
    bool start()
    {
        if (!AssembledConsole::start())
            return false;
        alerts.alerts.clear();
        QTest::qWait(1); // the gateway starts from the event loop
        return true;
    }

    // Opens "Gateway SNPP" from the menu, giving the password; `fill` edits the window, then
    // OK is clicked. Returns the window's result.
    int editSettings(const std::function<void(TfrmGateway &)> &fill)
    {
        int result = -1;
        ModalRecorder modals;
        modals.onDialog = [&](QDialog *dialog) {
            if (qobject_cast<TPasswordDlg *>(dialog))
                return typePasswords(dialog, { u"Mint_Owl"_s });
            auto *window = qobject_cast<TfrmGateway *>(dialog);
            if (!window)
                return int(QDialog::Rejected);
            window->show();
            fill(*window);
            control<QPushButton>(*window, "BitBtn1")->click();
            result = window->result();
            window->hide();
            return result;
        };
        control<QAction>(form(), "mnuGateway")->trigger();
        return result;
    }

    // Types each password in turn and presses OK while the password dialog stays open; any
    // other dialog is rejected.
    static int typePasswords(QDialog *dialog, const QStringList &typed)
    {
        auto *password = qobject_cast<TPasswordDlg *>(dialog);
        if (!password)
            return int(QDialog::Rejected);
        password->show();
        for (const QString &text : typed) {
            if (!password->isVisible())
                break;
            control<QLineEdit>(*password, "Password")->setText(text);
            control<QPushButton>(*password, "OKBtn")->click();
        }
        const int result = password->isVisible() ? int(QDialog::Rejected) : password->result();
        password->hide();
        return result;
    }
};

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

} // namespace

class TestGuiGatewayWindow : public QObject
{
    Q_OBJECT

private slots:
    void windowAppliesAChangeAtOnce()
    {
        Console console;
        QVERIFY(console.start());
        QCOMPARE(console.form().status().gatewayText(), u"SNPP: spento"_s);
        // The panel's text is what a screen reader reads.
        auto *panel = console.form().findChild<QLabel *>(u"StatusPanel3"_s);
        QVERIFY(panel);
        QCOMPARE(QAccessible::queryAccessibleInterface(panel)->text(QAccessible::Name), u"SNPP: spento"_s);

        const quint16 port = freePort();
        const int result = console.editSettings([&](TfrmGateway &w) {
            QCOMPARE(control<QLineEdit>(w, "edtAddress")->text(), u"127.0.0.1"_s);
            QCOMPARE(control<QLineEdit>(w, "edtPort")->text(), u"4444"_s);
            QCOMPARE(control<QLineEdit>(w, "edtAllowed")->text(), u"127.0.0.1,::1"_s);
            QCOMPARE(
                QAccessible::queryAccessibleInterface(control<QLineEdit>(w, "edtAllowed"))->text(QAccessible::Name),
                u"Client ammessi"_s);
            control<QCheckBox>(w, "chkEnabled")->setChecked(true);
            control<QLineEdit>(w, "edtPort")->setText(QString::number(port));
            control<QLineEdit>(w, "edtLogin")->setText(u"alarm"_s);
            control<QLineEdit>(w, "edtPassword")->setText(u"pw"_s);
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(console.alerts.alerts.isEmpty());
        QCOMPARE(console.form().status().gatewayText(), u"SNPP: 127.0.0.1:%1, in coda: 0"_s.arg(port));
        QCOMPARE(QAccessible::queryAccessibleInterface(panel)->text(QAccessible::Name),
                 console.form().status().gatewayText());
        const GatewaySettings stored = console.windows->gateway().storedSettings();
        QVERIFY(stored.enabled);
        QCOMPARE(stored.port, int(port));
        QCOMPARE(stored.login, u"alarm"_s);

        QTcpSocket client;
        client.connectToHost(u"127.0.0.1"_s, port);
        QTRY_VERIFY(client.canReadLine());
        QVERIFY(client.readLine().startsWith("220"));

        // Switched off: it stops listening.
        console.editSettings([](TfrmGateway &w) { control<QCheckBox>(w, "chkEnabled")->setChecked(false); });
        QCOMPARE(console.form().status().gatewayText(), u"SNPP: spento"_s);
    }

    // Three wrong passwords close the dialog; the window stays shut, test mode and its own
    // count of wrong passwords are left as they were.
    void theWindowNeedsThePasswordAndThreeFailuresChangeNoMode()
    {
        Console console;
        QVERIFY(console.start());
        ModalRecorder modals;
        QStringList typed;
        modals.onDialog = [&typed](QDialog *dialog) { return Console::typePasswords(dialog, typed); };
        // Test mode entered, then one wrong password for it, the dialog left open and closed.
        for (const QStringList &passwords : { QStringList { u"Mint_Owl"_s }, QStringList { u"sbagliata"_s } }) {
            typed = passwords;
            control<QAction>(console.form(), "TestMode1")->trigger();
        }
        QCOMPARE(console.state.mode, OperatingMode::Test);
        QCOMPARE(console.guard.passwordFailures, 1);
        console.alerts.clear();

        modals.classNames.clear();
        typed = QStringList { u"uno"_s, u"due"_s, u"tre"_s, u"Mint_Owl"_s };
        control<QAction>(console.form(), "mnuGateway")->trigger();
        QCOMPARE(modals.classNames, QStringList { u"TPasswordDlg"_s });
        QCOMPARE(console.alerts.texts(), QStringList(3, u"Password errata"_s));
        QCOMPARE(console.state.mode, OperatingMode::Test);
        QVERIFY(control<QAction>(console.form(), "TestMode1")->isChecked());
        QCOMPARE(console.guard.passwordFailures, 1);

        // A wrong one counts for the window only; the right one then opens it.
        modals.classNames.clear();
        typed = QStringList { u"uno"_s, u"Mint_Owl"_s };
        control<QAction>(console.form(), "mnuGateway")->trigger();
        QCOMPARE(modals.classNames, (QStringList { u"TPasswordDlg"_s, u"TfrmGateway"_s }));
        QCOMPARE(console.guard.passwordFailures, 1);
        QCOMPARE(console.state.mode, OperatingMode::Test);
    }

    // "Coda SNPP..." opens the queue without a modal loop, so pages still go out.
    void theQueueWindowOpensFromTheReportMenuWithoutALoopOfItsOwn()
    {
        Console console;
        QVERIFY(console.start());
        ModalRecorder modals;
        modals.onDialog = [](QDialog *) { return int(QDialog::Rejected); };
        QCOMPARE(control<QAction>(console.form(), "mnuQueue")->text(), u"Coda SNPP..."_s);
        QCOMPARE(control<QAction>(console.form(), "mnuQueue")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_G));
        control<QAction>(console.form(), "mnuQueue")->trigger();
        auto *queue = console.form().findChild<TfrmQueue *>(u"frmQueue"_s);
        QVERIFY(queue && queue->isVisible() && !queue->isModal());
        QCOMPARE(control<QLabel>(*queue, "lblCount")->text(), u"Pagine in coda: 0"_s);
        control<QPushButton>(*queue, "btnClose")->click();
        QVERIFY(!queue->isVisible());
    }

    void badFieldsAreRefused_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("port not a number") << "edtPort"
                                           << "abc"
                                           << "Valore non valido nel campo \"Porta TCP\": inserire un numero intero.";
        QTest::newRow("port out of range") << "edtPort"
                                           << "70000"
                                           << "Il campo \"Porta TCP\" deve essere tra 1 e 65535.";
        QTest::newRow("address") << "edtAddress"
                                 << "localhost"
                                 << "Indirizzo non valido: \"localhost\".";
        QTest::newRow("allowed") << "edtAllowed"
                                 << "127.0.0.1, 10.0.0.0/99"
                                 << "Client ammessi non validi: 10.0.0.0/99";
    }

    void badFieldsAreRefused()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, message);
        Console console;
        QVERIFY(console.start());
        const int result = console.editSettings([&](TfrmGateway &w) {
            control<QCheckBox>(w, "chkEnabled")->setChecked(true);
            w.findChild<QLineEdit *>(field)->setText(value);
        });
        QVERIFY(result != int(QDialog::Accepted));
        QCOMPARE(console.alerts.texts(), QStringList { message });
        QVERIFY(!console.windows->gateway().storedSettings().enabled);
    }

    void anAddressThatCannotBeBoundIsToldAndTheConsoleGoesOn()
    {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost));
        Console console;
        QVERIFY(console.start());
        const int result = console.editSettings([&](TfrmGateway &w) {
            control<QCheckBox>(w, "chkEnabled")->setChecked(true);
            control<QLineEdit>(w, "edtPort")->setText(QString::number(taken.serverPort()));
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(console.alerts.alerts.size(), 1);
        QVERIFY(console.alerts.texts().first().startsWith(
            u"Impossibile attivare il gateway SNPP su 127.0.0.1, porta %1: "_s.arg(taken.serverPort())));
        QCOMPARE(console.form().status().gatewayText(), u"SNPP: spento"_s);
    }
};

QTEST_MAIN(TestGuiGatewayWindow)
#include "test_gui_gateway_window.moc"
