// The range-test window around its run: whatever ends the run, the window is usable again;
// Escape and the close box act as "Cancel".

#include "core/Errors.h"
#include "core/SendingState.h"
#include "send/Range.h"
#include "tests/support/Controls.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestGuiSendRange : public QObject
{
    Q_OBJECT

private slots:
    // An error that leaves the run still closes the window and frees it for the next opening.
    void errorLeavingTheRunFreesTheWindow()
    {
        SendingState state;
        TfrmRange range(state);
        QObject::connect(&range, &TfrmRange::startRequested, [] { throw DataError(QStringLiteral("disk I/O error")); });
        range.show();
        QVERIFY(QTest::qWaitForWindowExposed(&range));
        bool thrown = false;
        try {
            range.Button2Click();
        } catch (const DataError &) {
            thrown = true;
        }
        QVERIFY(thrown);
        QVERIFY(!range.isVisible());
        QVERIFY(!state.lastRunResult);

        range.show();
        QVERIFY(control<QPushButton>(range, "Button2")->isEnabled());
        QTest::keyClick(&range, Qt::Key_Escape);
        QVERIFY(!range.isVisible());
    }

    // During a run, Escape and the close box raise the stop request; the window closes once
    // the run has returned.
    void escapeDuringARunIsCancel()
    {
        SendingState state;
        TfrmRange range(state);
        bool visibleAfterEscape = false, visibleAfterClose = false;
        QObject::connect(&range, &TfrmRange::startRequested, [&] {
            QTest::keyClick(&range, Qt::Key_Escape);
            visibleAfterEscape = range.isVisible() && state.stopRequest;
            state.stopRequest = false;
            range.close();
            visibleAfterClose = range.isVisible() && state.stopRequest;
            state.lastRunResult = true;
        });
        range.show();
        QVERIFY(QTest::qWaitForWindowExposed(&range));
        range.Button2Click();
        QVERIFY(visibleAfterEscape && visibleAfterClose);
        QVERIFY(!range.isVisible());
        QVERIFY(state.lastRunResult);
    }
};

QTEST_MAIN(TestGuiSendRange)
#include "test_gui_send_range.moc"
