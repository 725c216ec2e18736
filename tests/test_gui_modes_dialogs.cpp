#include "core/SendingState.h"
#include "send/Password.h"
#include "send/PasswordCheck.h"
#include "send/Range.h"
#include "tests/support/Controls.h"
#include "tests/support/RecordingAlertSink.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace Qt::StringLiterals;

// The password dialog and the range-test window on their own, shown through the real
// modal loop where closing matters.
class TestGuiModesDialogs : public QObject
{
    Q_OBJECT

private slots:
    void passwordShowsStarsAndStartsEmptyEveryOpening()
    {
        ModeGuard guard;
        RecordingAlertSink alerts;
        TPasswordDlg dlg(guard, alerts);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QVERIFY(control<QPushButton>(dlg, "OKBtn")->isDefault());
        QTest::keyClicks(control<QLineEdit>(dlg, "Password"), u"Mint"_s);
        QCOMPARE(control<QLineEdit>(dlg, "Password")->text(), u"Mint"_s);
        QCOMPARE(control<QLineEdit>(dlg, "Password")->displayText(), u"****"_s);

        dlg.hide();
        dlg.show();
        QVERIFY(control<QLineEdit>(dlg, "Password")->text().isEmpty());
        QCOMPARE(dlg.focusWidget(), control<QLineEdit>(dlg, "Password"));
    }

    void wrongPasswordWarnsAndKeepsTheDialogOpen()
    {
        ModeGuard guard;
        RecordingAlertSink alerts;
        TPasswordDlg dlg(guard, alerts);
        QSignalSpy granted(&dlg, &TPasswordDlg::testModeGranted);
        QSignalSpy exhausted(&dlg, &TPasswordDlg::triesExhausted);
        dlg.show();
        QTest::keyClicks(control<QLineEdit>(dlg, "Password"), u"mint_owl"_s);
        QTest::keyClick(control<QLineEdit>(dlg, "Password"), Qt::Key_Return); // OK is the default button

        QCOMPARE(alerts.alerts,
                 QList<Alert>({ { Alert::Captioned, u"Password errata"_s, u"Password"_s, AlertIcon::Warning } }));
        QVERIFY(control<QLineEdit>(dlg, "Password")->text().isEmpty());
        QCOMPARE(dlg.focusWidget(), control<QLineEdit>(dlg, "Password"));
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
        range.setSources([] { return u"Range Test"_s; }, [] { return u"30"_s; });
        const Qt::WindowFlags flags = range.windowFlags();
        QVERIFY(flags & Qt::CustomizeWindowHint);
        QVERIFY(!(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint | Qt::WindowSystemMenuHint)));
        control<QPushButton>(range, "Button2")->setEnabled(false);
        range.show();
        QVERIFY(control<QPushButton>(range, "Button2")->isEnabled());
        QCOMPARE(control<QLineEdit>(range, "edtMsg")->text(), u"Range Test"_s);
        QVERIFY(control<QLineEdit>(range, "edtMsg")->isReadOnly());
        QCOMPARE(control<QLabel>(range, "lblSec")->text(), u"30"_s);
        // Until "Start" runs, this opening has no run result of its own.
        QVERIFY(!state.lastRunResult);
    }

    void cancelDuringTheRunClosesOnlyWhenTheRunReturns()
    {
        SendingState state;
        TfrmRange range(state);
        range.setSources([] { return u"Range Test"_s; }, [] { return u"1"_s; });
        bool visibleAfterCancel = false;
        bool startEnabledDuringRun = true;
        int passes = 0;
        QObject::connect(&range, &TfrmRange::startRequested, [&] {
            // Plays the driver: clears the stop request, then writes each pass and pumps
            // events until "Cancel" (pressed from the event queue) asks it to stop.
            state.stopRequest = false;
            startEnabledDuringRun = control<QPushButton>(range, "Button2")->isEnabled();
            QTimer::singleShot(30, &range, [&] {
                QTest::keyClick(&range, Qt::Key_Escape); // ignored while the run goes on
                control<QPushButton>(range, "Button1")->click();
            });
            QDeadlineTimer limit(10000);
            while (!state.stopRequest && !limit.hasExpired()) {
                ++passes;
                control<QLineEdit>(range, "edtMsg")->setText(u"Range Test %1"_s.arg(passes));
                control<QLabel>(range, "lblSec")->setText(u"1"_s);
                QTest::qWait(5);
            }
            visibleAfterCancel = range.isVisible();
            state.lastRunResult = true;
        });
        QTimer::singleShot(0, &range, [&] { control<QPushButton>(range, "Button2")->click(); });
        range.showModal();

        QVERIFY(state.stopRequest);
        QVERIFY(!startEnabledDuringRun);
        QVERIFY(passes > 0);
        QVERIFY(visibleAfterCancel);
        QVERIFY(state.lastRunResult);
        QVERIFY(!range.isVisible());
        QCOMPARE(control<QLineEdit>(range, "edtMsg")->text(), u"Range Test %1"_s.arg(passes));
    }

    void onlyTheExactTextMatches_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("matches");
        QTest::newRow("exact") << u"Mint_Owl"_s << true;
        QTest::newRow("lower case") << u"mint_owl"_s << false;
        QTest::newRow("upper case") << u"MINT_OWL"_s << false;
        QTest::newRow("trailing blank") << u"Mint_Owl "_s << false;
        QTest::newRow("leading blank") << u" Mint_Owl"_s << false;
        QTest::newRow("one short") << u"Mint_Ow"_s << false;
        QTest::newRow("empty") << QString() << false;
    }
    void onlyTheExactTextMatches()
    {
        QFETCH(QString, typed);
        QFETCH(bool, matches);
        QCOMPARE(PasswordCheck::matches(typed), matches);
    }

    void threeWrongInARowExhaustAndStartAgain()
    {
        ModeGuard guard;
        PasswordCheck check(guard);
        QCOMPARE(check.judge(u"a"_s), PasswordCheck::Outcome::TryAgain);
        QCOMPARE(check.judge(u"b"_s), PasswordCheck::Outcome::TryAgain);
        QCOMPARE(guard.passwordFailures, 2);
        QCOMPARE(check.judge(u"c"_s), PasswordCheck::Outcome::Exhausted);
        QCOMPARE(guard.passwordFailures, 0);
        // After an exhausted attempt the operator has three fresh tries.
        QCOMPARE(check.judge(u"d"_s), PasswordCheck::Outcome::TryAgain);
        QCOMPARE(guard.passwordFailures, 1);
    }
};

QTEST_MAIN(TestGuiModesDialogs)
#include "test_gui_modes_dialogs.moc"
