#include "app/ModalRunner.h"
#include "app/SendingState.h"
#include "send/Password.h"
#include "send/Range.h"
#include "tests/support/RecordingAlertSink.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

// The password dialog and the range-test window on their own, shown through the real
// modal loop where closing matters.
class TestGuiModesDialogs : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { ModalRunner::clearInterceptor(); }

    void passwordShowsStarsAndStartsEmptyEveryOpening()
    {
        ModeGuard guard;
        RecordingAlertSink alerts;
        TPasswordDlg dlg(guard, alerts);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Password"));
        QVERIFY(dlg.OKBtn->isDefault());
        QTest::keyClicks(dlg.Password, QStringLiteral("Mint"));
        QCOMPARE(dlg.Password->text(), QStringLiteral("Mint"));
        QCOMPARE(dlg.Password->displayText(), QStringLiteral("****"));

        dlg.hide();
        dlg.show();
        QVERIFY(dlg.Password->text().isEmpty());
        QCOMPARE(dlg.focusWidget(), dlg.Password);
    }

    void wrongPasswordWarnsAndKeepsTheDialogOpen()
    {
        ModeGuard guard;
        RecordingAlertSink alerts;
        TPasswordDlg dlg(guard, alerts);
        QSignalSpy granted(&dlg, &TPasswordDlg::testModeGranted);
        QSignalSpy exhausted(&dlg, &TPasswordDlg::triesExhausted);
        dlg.show();
        QTest::keyClicks(dlg.Password, QStringLiteral("mint_owl"));
        QTest::keyClick(dlg.Password, Qt::Key_Return); // OK is the default button

        QCOMPARE(alerts.alerts.size(), 1);
        QCOMPARE(alerts.alerts[0].kind, RecordingAlertSink::Alert::Captioned);
        QCOMPARE(alerts.alerts[0].text, QStringLiteral("Password errata"));
        QCOMPARE(alerts.alerts[0].caption, QStringLiteral("Password"));
        QCOMPARE(alerts.alerts[0].icon, AlertIcon::Warning);
        QVERIFY(dlg.Password->text().isEmpty());
        QCOMPARE(dlg.focusWidget(), dlg.Password);
        QVERIFY(dlg.isVisible());
        QCOMPARE(guard.passwordFailures, 1);
        QCOMPARE(granted.size(), 0);
        QCOMPARE(exhausted.size(), 0);
    }

    void rangeWindowShowsItsSourcesAndHasNoTitleButtons()
    {
        SendingState state;
        state.lastRunResult = true;
        TfrmRange range(state);
        range.setSources([] { return QStringLiteral("Range Test"); }, [] { return QStringLiteral("30"); });
        QCOMPARE(range.windowTitle(), QStringLiteral("Range Test"));
        const Qt::WindowFlags flags = range.windowFlags();
        QVERIFY(flags & Qt::CustomizeWindowHint);
        QVERIFY(!(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint | Qt::WindowSystemMenuHint)));
        range.Button2->setEnabled(false);
        range.show();
        QVERIFY(range.Button2->isEnabled());
        QCOMPARE(range.edtMsg->text(), QStringLiteral("Range Test"));
        QVERIFY(range.edtMsg->isReadOnly());
        QCOMPARE(range.lblSec->text(), QStringLiteral("30"));
        // Until "Start" runs, this opening has no run result of its own.
        QVERIFY(!state.lastRunResult);
    }

    void cancelDuringTheRunClosesOnlyWhenTheRunReturns()
    {
        SendingState state;
        TfrmRange range(state);
        range.setSources([] { return QStringLiteral("Range Test"); }, [] { return QStringLiteral("1"); });
        bool visibleAfterCancel = false;
        bool startEnabledDuringRun = true;
        int passes = 0;
        range.setRunTransmission([&] {
            // Plays the driver: clears the stop request, then writes each pass and pumps
            // events until "Cancel" (pressed from the event queue) asks it to stop.
            state.stopRequest = false;
            startEnabledDuringRun = range.Button2->isEnabled();
            QTimer::singleShot(30, &range, [&] {
                QTest::keyClick(&range, Qt::Key_Escape); // ignored while the run goes on
                range.Button1->click();
            });
            QDeadlineTimer limit(10000);
            while (!state.stopRequest && !limit.hasExpired()) {
                ++passes;
                range.edtMsg->setText(QStringLiteral("Range Test %1").arg(passes));
                range.lblSec->setText(QStringLiteral("1"));
                QTest::qWait(5);
            }
            visibleAfterCancel = range.isVisible();
            return true;
        });
        QTimer::singleShot(0, &range, [&] { range.Button2->click(); });
        range.showModal();

        QVERIFY(state.stopRequest);
        QVERIFY(!startEnabledDuringRun);
        QVERIFY(passes > 0);
        QVERIFY(visibleAfterCancel);
        QVERIFY(state.lastRunResult);
        QVERIFY(!range.isVisible());
        QCOMPARE(range.edtMsg->text(), QStringLiteral("Range Test %1").arg(passes));
    }
};

QTEST_MAIN(TestGuiModesDialogs)
#include "test_gui_modes_dialogs.moc"
