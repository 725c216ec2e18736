#include "send/Modes.h"
#include "send/Password.h"
#include "send/Range.h"
#include "tests/support/ConsoleFixture.h"
#include "tests/support/Controls.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>
#include <memory>

using namespace Qt::StringLiterals;

// The menu "Sistema" on the real main window: check marks, panels, run fields and the
// operating mode as the operator goes from mode to mode.
class TestGuiModesWindow : public QObject
{
    Q_OBJECT

    // The main window of a console fixture with the mode dialogs around it.
    struct Console
    {
        explicit Console(ConsoleFixture &fx)
            : state(fx.state)
            , alerts(fx.alerts)
            , form(fx.makeForm())
            , password(guard, alerts)
            , range(state)
            , modes(form, state, password, range)
        {
        }
        SendingState &state;
        RecordingAlertSink &alerts;
        TForm1 &form;
        ModeGuard guard;
        TPasswordDlg password;
        TfrmRange range;
        OperatingModes modes;
    };

    std::unique_ptr<ConsoleFixture> fx;
    std::unique_ptr<Console> c;

    // Chooses "Test Mode" and, in the dialog it opens, types each text and presses OK while
    // the dialog is still open; presses "Cancella" at the end when it is still open.
    void chooseTestMode(const QStringList &typed)
    {
        QTimer::singleShot(0, &c->password, [this, typed] {
            for (const QString &text : typed) {
                if (!c->password.isVisible())
                    return;
                QTest::keyClicks(control<QLineEdit>(c->password, "Password"), text);
                control<QPushButton>(c->password, "OKBtn")->click();
            }
            if (c->password.isVisible())
                control<QPushButton>(c->password, "CancelBtn")->click();
        });
        control<QAction>(c->form, "TestMode1")->trigger();
        QVERIFY(!c->password.isVisible());
    }

    QString checkMarks() const
    {
        QString marks;
        marks += control<QAction>(c->form, "NormalMode1")->isChecked() ? QLatin1Char('N') : QLatin1Char('-');
        marks += control<QAction>(c->form, "TestMode1")->isChecked() ? QLatin1Char('T') : QLatin1Char('-');
        marks += control<QAction>(c->form, "RangeTest1")->isChecked() ? QLatin1Char('R') : QLatin1Char('-');
        return marks;
    }
    bool shown(QWidget *widget) const { return widget->isVisibleTo(&c->form); }
    QStringList runFields() const
    {
        return { control<QLineEdit>(c->form, "Edit5")->text(), control<QLineEdit>(c->form, "Edit11")->text(),
                 control<QLineEdit>(c->form, "Edit3")->text() };
    }
    void setRunFields(const QString &times, const QString &delay, const QString &autoInc)
    {
        control<QLineEdit>(c->form, "Edit5")->setText(times);
        control<QLineEdit>(c->form, "Edit11")->setText(delay);
        control<QLineEdit>(c->form, "Edit3")->setText(autoInc);
    }

    void verifyNormalLayout()
    {
        QCOMPARE(c->state.mode, OperatingMode::Normal);
        QCOMPARE(checkMarks(), u"N--"_s);
        QVERIFY(!shown(control<QWidget>(c->form, "Panel5")));
        QVERIFY(!shown(control<QWidget>(c->form, "Panel3")));
        QVERIFY(shown(control<QPlainTextEdit>(c->form, "memMsg")));
        QVERIFY(shown(control<QWidget>(c->form, "pnlPreMsg")));
        QCOMPARE(runFields(), (QStringList { "1", "0", "1" }));
    }
    void verifyTestLayout()
    {
        QCOMPARE(c->state.mode, OperatingMode::Test);
        QCOMPARE(checkMarks(), u"-T-"_s);
        QVERIFY(shown(control<QWidget>(c->form, "Panel5")));
        QVERIFY(!shown(control<QWidget>(c->form, "Panel3")));
        QVERIFY(shown(control<QPlainTextEdit>(c->form, "memMsg")));
    }

private slots:
    void init()
    {
        fx = std::make_unique<ConsoleFixture>();
        QVERIFY2(fx->error().isEmpty(), qPrintable(fx->error()));
        c = std::make_unique<Console>(*fx);
    }
    void cleanup()
    {
        c.reset();
        fx.reset();
    }

    void rightPasswordEntersTestModeAndEmptiesTheMessageEachTime()
    {
        setRunFields(u"-1"_s, u"250"_s, u"3"_s);
        control<QPlainTextEdit>(c->form, "memMsg")->setPlainText(u"primo"_s);
        c->guard.passwordFailures = 1;
        chooseTestMode({ u"Mint_Owl"_s });
        verifyTestLayout();
        QVERIFY(control<QPlainTextEdit>(c->form, "memMsg")->toPlainText().isEmpty());
        QCOMPARE(c->guard.passwordFailures, 0);
        QCOMPARE(runFields(), (QStringList { "-1", "250", "3" })); // entering test mode keeps them

        control<QPlainTextEdit>(c->form, "memMsg")->setPlainText(u"secondo"_s);
        chooseTestMode({ u"Mint_Owl"_s });
        verifyTestLayout();
        QVERIFY(control<QPlainTextEdit>(c->form, "memMsg")->toPlainText().isEmpty());
        QVERIFY(c->alerts.alerts.isEmpty());
    }

    void choosingTestModeChangesNoMarkUntilThePasswordIsRight()
    {
        // The menu item toggles its own check mark when chosen; a cancelled or wrong
        // password must leave the marks showing the mode in force.
        chooseTestMode({ u"sbagliata"_s });
        QCOMPARE(checkMarks(), u"N--"_s);
        QCOMPARE(c->state.mode, OperatingMode::Normal);

        control<QAction>(c->form, "RangeTest1")->trigger();
        chooseTestMode({});
        QCOMPARE(checkMarks(), u"--R"_s);
        QCOMPARE(c->state.mode, OperatingMode::RangeTest);
    }

    void thirdWrongPasswordAcrossCancellaReturnsToNormalKeepingTheMessage()
    {
        chooseTestMode({ u"Mint_Owl"_s });
        setRunFields(u"-1"_s, u"500"_s, u"4"_s);
        control<QPlainTextEdit>(c->form, "memMsg")->setPlainText(u"da tenere"_s);

        chooseTestMode({ u"mint_owl"_s, u"MINT_OWL"_s }); // then "Cancella"
        QCOMPARE(c->guard.passwordFailures, 2);
        verifyTestLayout();

        chooseTestMode({ u"Mint_Owl "_s, u"never typed"_s });
        QCOMPARE(c->alerts.texts(), QStringList(3, u"Password errata"_s));
        QCOMPARE(c->guard.passwordFailures, 0);
        // The window follows the mode: no hidden "Times" of -1 is left behind.
        verifyNormalLayout();
        QCOMPARE(control<QPlainTextEdit>(c->form, "memMsg")->toPlainText(), u"da tenere"_s);
    }

    void leavingTestModeResetsTheRunFieldsAndEmptiesTheMessage()
    {
        chooseTestMode({ u"Mint_Owl"_s });
        setRunFields(u"7"_s, u"500"_s, u"3"_s);
        control<QCheckBox>(c->form, "chkChgCap")->setChecked(true);
        control<QCheckBox>(c->form, "chkTone")->setChecked(true);
        control<QPlainTextEdit>(c->form, "memMsg")->setPlainText(u"prova"_s);

        control<QAction>(c->form, "NormalMode1")->trigger();
        verifyNormalLayout();
        QVERIFY(control<QPlainTextEdit>(c->form, "memMsg")->toPlainText().isEmpty());
        QVERIFY(control<QCheckBox>(c->form, "chkChgCap")->isChecked()); // the options keep their state
        QVERIFY(control<QCheckBox>(c->form, "chkTone")->isChecked());

        chooseTestMode({ u"Mint_Owl"_s });
        QCOMPARE(runFields(), (QStringList { "1", "0", "1" }));
    }

    void rangeRowNeverStandsBesideTheTestRow()
    {
        // Both rows side by side are wider than a screen: for that moment the window's minimum
        // width grows past the screen, a maximised window is pushed out of its maximised state
        // and keeps the larger width afterwards.
        struct ShowWatch : QObject
        {
            QWidget *other = nullptr;
            bool together = false;
            bool eventFilter(QObject *, QEvent *event) override
            {
                if (event->type() == QEvent::Show && other->isVisible())
                    together = true;
                return false;
            }
        } watch;
        watch.other = control<QWidget>(c->form, "Panel5");
        control<QWidget>(c->form, "Panel3")->installEventFilter(&watch);
        c->form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c->form));
        chooseTestMode({ u"Mint_Owl"_s });
        QVERIFY(control<QWidget>(c->form, "Panel5")->isVisible());
        control<QAction>(c->form, "RangeTest1")->trigger();
        QVERIFY(control<QWidget>(c->form, "Panel3")->isVisible());
        QVERIFY(!watch.together);
        control<QWidget>(c->form, "Panel3")->removeEventFilter(&watch);
    }

    void rangeTestShowsItsPanel_data()
    {
        QTest::addColumn<QString>("period");
        QTest::addColumn<QString>("expected");
        QTest::newRow("0 becomes 30") << u"0"_s << u"30"_s;
        QTest::newRow("5 stays") << u"5"_s << u"5"_s;
        QTest::newRow("00 stays") << u"00"_s << u"00"_s;
        QTest::newRow("empty stays") << QString() << QString();
    }
    void rangeTestShowsItsPanel()
    {
        QFETCH(QString, period);
        QFETCH(QString, expected);
        chooseTestMode({ u"Mint_Owl"_s });
        control<QPlainTextEdit>(c->form, "memMsg")->setPlainText(u"resta"_s);
        control<QTabWidget>(c->form, "PageControl1")->setCurrentWidget(control<QWidget>(c->form, "TabSheet1"));
        control<QLineEdit>(c->form, "edtHeartbeat")->setText(period);
        control<QLineEdit>(c->form, "Edit2")->setText(u"altro"_s);

        control<QAction>(c->form, "RangeTest1")->trigger();
        QCOMPARE(c->state.mode, OperatingMode::RangeTest);
        QCOMPARE(checkMarks(), u"--R"_s);
        QVERIFY(shown(control<QWidget>(c->form, "Panel3")));
        QVERIFY(!shown(control<QPlainTextEdit>(c->form, "memMsg")));
        QVERIFY(!shown(control<QWidget>(c->form, "pnlPreMsg")));
        QVERIFY(!shown(control<QWidget>(c->form, "Panel5")));
        QCOMPARE(control<QLineEdit>(c->form, "edtHeartbeat")->text(), expected);
        QCOMPARE(control<QLineEdit>(c->form, "Edit2")->text(), u"Range Test"_s);
        QCOMPARE(control<QTabWidget>(c->form, "PageControl1")->currentWidget(), control<QWidget>(c->form, "TabSheet2"));
        QCOMPARE(control<QPlainTextEdit>(c->form, "memMsg")->toPlainText(), u"resta"_s);

        control<QAction>(c->form, "NormalMode1")->trigger();
        verifyNormalLayout();
        QVERIFY(control<QPlainTextEdit>(c->form, "memMsg")->toPlainText().isEmpty());
    }

    void escOnlyRaisesTheStopRequest()
    {
        chooseTestMode({ u"Mint_Owl"_s });
        control<QPushButton>(c->form, "Button6")->click();
        QVERIFY(c->state.stopRequest);
        verifyTestLayout();
    }

    void rangeFieldsTakeAtMostThreeDigitsAndTwentyCharacters()
    {
        control<QAction>(c->form, "RangeTest1")->trigger();
        control<QLineEdit>(c->form, "edtHeartbeat")->clear();
        QTest::keyClicks(control<QLineEdit>(c->form, "edtHeartbeat"), u"1-2a45"_s);
        QCOMPARE(control<QLineEdit>(c->form, "edtHeartbeat")->text(), u"124"_s);
        control<QLineEdit>(c->form, "Edit2")->clear();
        QTest::keyClicks(control<QLineEdit>(c->form, "Edit2"), u"abcdefghijklmnopqrstuvwxyz"_s);
        QCOMPARE(control<QLineEdit>(c->form, "Edit2")->text(), u"abcdefghijklmnopqrst"_s);
    }

    void rangeWindowShowsTheFormsFieldsAndCancelsBeforeStart()
    {
        control<QAction>(c->form, "RangeTest1")->trigger();
        control<QLineEdit>(c->form, "Edit2")->setText(u"Prova"_s);
        control<QLineEdit>(c->form, "edtHeartbeat")->setText(u"7"_s);
        int runs = 0;
        QObject::connect(&c->range, &TfrmRange::startRequested, [&runs] { ++runs; });
        QTimer::singleShot(0, &c->range, [this] {
            QCOMPARE(control<QLineEdit>(c->range, "edtMsg")->text(), u"Prova"_s);
            QCOMPARE(control<QLabel>(c->range, "lblSec")->text(), u"7"_s);
            control<QPushButton>(c->range, "Button1")->click();
        });
        c->range.showModal(); // "Cancel" before "Start"
        QCOMPARE(runs, 0);
        QVERIFY(c->state.stopRequest);
        QVERIFY(!c->range.isVisible());
    }
};

QTEST_MAIN(TestGuiModesWindow)
#include "test_gui_modes_window.moc"
