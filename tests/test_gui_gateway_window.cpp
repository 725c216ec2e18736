// The gateway in the assembled console: the "Gateway SNPP" window under "Impostazioni", its
// checks, a change applied at once, and the status bar panel as assistive technology reads it.

#include "app/WindowSet.h"
#include "core/ModalRunner.h"
#include "tests/support/AssembledConsole.h"

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

    // Opens "Gateway SNPP" from the menu; `fill` edits the window, then OK is clicked.
    // Returns the window's result.
    int editSettings(const std::function<void(TfrmGateway &)> &fill)
    {
        int result = -1;
        ModalRunner::setInterceptor([&](QDialog *dialog) {
            auto *window = qobject_cast<TfrmGateway *>(dialog);
            if (!window)
                return int(QDialog::Rejected);
            window->show();
            fill(*window);
            window->BitBtn1->click();
            result = window->result();
            window->hide();
            return result;
        });
        form().mnuGateway->trigger();
        ModalRunner::clearInterceptor();
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
    void cleanup() { ModalRunner::clearInterceptor(); }

    void windowAppliesAChangeAtOnce()
    {
        Console console;
        QVERIFY(console.start());
        QCOMPARE(console.form().statusText(3), u"SNPP: spento"_s);
        // The panel's text is what a screen reader reads.
        auto *panel = console.form().findChild<QLabel *>(u"StatusPanel3"_s);
        QVERIFY(panel);
        QCOMPARE(QAccessible::queryAccessibleInterface(panel)->text(QAccessible::Name), u"SNPP: spento"_s);

        const quint16 port = freePort();
        const int result = console.editSettings([&](TfrmGateway &w) {
            QCOMPARE(w.edtAddress->text(), u"127.0.0.1"_s);
            QCOMPARE(w.edtPort->text(), u"4444"_s);
            QCOMPARE(w.edtAllowed->text(), u"127.0.0.1,::1"_s);
            QCOMPARE(QAccessible::queryAccessibleInterface(w.edtAllowed)->text(QAccessible::Name), u"Client ammessi"_s);
            w.chkEnabled->setChecked(true);
            w.edtPort->setText(QString::number(port));
            w.edtLogin->setText(u"alarm"_s);
            w.edtPassword->setText(u"pw"_s);
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(console.alerts.alerts.isEmpty());
        QCOMPARE(console.form().statusText(3), u"SNPP: 127.0.0.1:%1, in coda: 0"_s.arg(port));
        QCOMPARE(QAccessible::queryAccessibleInterface(panel)->text(QAccessible::Name), console.form().statusText(3));
        const GatewaySettings stored = console.windows->gateway().store().settings();
        QVERIFY(stored.enabled);
        QCOMPARE(stored.port, int(port));
        QCOMPARE(stored.login, u"alarm"_s);

        QTcpSocket client;
        client.connectToHost(u"127.0.0.1"_s, port);
        QTRY_VERIFY(client.canReadLine());
        QVERIFY(client.readLine().startsWith("220"));

        // Switched off: it stops listening.
        console.editSettings([](TfrmGateway &w) { w.chkEnabled->setChecked(false); });
        QCOMPARE(console.form().statusText(3), u"SNPP: spento"_s);
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
            w.chkEnabled->setChecked(true);
            w.findChild<QLineEdit *>(field)->setText(value);
        });
        QVERIFY(result != int(QDialog::Accepted));
        QCOMPARE(console.alerts.texts(), QStringList { message });
        QVERIFY(!console.windows->gateway().store().settings().enabled);
    }

    void anAddressThatCannotBeBoundIsToldAndTheConsoleGoesOn()
    {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost));
        Console console;
        QVERIFY(console.start());
        const int result = console.editSettings([&](TfrmGateway &w) {
            w.chkEnabled->setChecked(true);
            w.edtPort->setText(QString::number(taken.serverPort()));
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(console.alerts.alerts.size(), 1);
        QVERIFY(console.alerts.texts().first().startsWith(
            u"Impossibile attivare il gateway SNPP su 127.0.0.1, porta %1: "_s.arg(taken.serverPort())));
        QCOMPARE(console.form().statusText(3), u"SNPP: spento"_s);
    }
};

QTEST_MAIN(TestGuiGatewayWindow)
#include "test_gui_gateway_window.moc"
