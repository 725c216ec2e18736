#include "app/ModalRunner.h"
#include "book/CapcodeNote.h"
#include "book/OKBottomDlg.h"
#include "link/Pinid.h"
#include "tests/support/MainWindowFixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QtTest>

namespace {
QStringList rows(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

void select(QListWidget *list, const QString &name)
{
    const QList<QListWidgetItem *> found = list->findItems(name, Qt::MatchExactly);
    QVERIFY(!found.isEmpty());
    list->setCurrentItem(found.first());
}
} // namespace

// The main window on real widgets over a real database file.
class TestGuiMainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> fx;

    TForm1 &shownForm()
    {
        TForm1 &form = fx->makeForm();
        form.show();
        return form;
    }

    void activate(TForm1 &form)
    {
        QApplication::setActiveWindow(&form);
        if (!QTest::qWaitForWindowActive(&form))
            QSKIP("the platform cannot activate a window");
    }

private slots:
    void init()
    {
        fx = std::make_unique<MainWindowFixture>();
        QString error;
        QVERIFY2(fx->open(&error), qPrintable(error));
    }
    void cleanup() { fx.reset(); }

    void firstShowLoadsListsStatusAndMaximises()
    {
        fx->addUser(QStringLiteral("Rossi"), QStringLiteral("0001234A13"));
        fx->addUser(QStringLiteral("Bianchi"), QStringLiteral("0001235A53"));
        fx->addPreset(QStringLiteral("Saluto"), QStringLiteral("Buongiorno"));
        TForm1 &form = shownForm();
        QCOMPARE(rows(form.ListBox1), (QStringList { QStringLiteral("Rossi"), QStringLiteral("Bianchi") }));
        QCOMPARE(form.cboPreMsg->count(), 1);
        QCOMPARE(form.statusText(1), QStringLiteral(" Porta: COM1    Baudrate:   9600    Parametri: 8,N,1     "));
        QCOMPARE(form.statusText(2), QStringLiteral("Pronto"));
        QVERIFY(form.windowState() & Qt::WindowMaximized);
        QVERIFY(fx->alerts.alerts.isEmpty());
        QCOMPARE(form.windowTitle(), QStringLiteral("Tesma Message Sender (Versione 2.83)"));
    }

    void moveAllKeepsTheRateOfTheFirstUser()
    {
        fx->addUser(QStringLiteral("A"), QStringLiteral("0001234A13"));
        fx->addUser(QStringLiteral("B"), QStringLiteral("0001235A53"));
        fx->addUser(QStringLiteral("C"), QStringLiteral("0001236A12"));
        fx->addUser(QStringLiteral("D"), QStringLiteral("0001237A51"));
        TForm1 &form = shownForm();

        form.Button2->click();
        QCOMPARE(rows(form.ListBox2), (QStringList { QStringLiteral("A"), QStringLiteral("C") }));
        QCOMPARE(rows(form.ListBox1), (QStringList { QStringLiteral("B"), QStringLiteral("D") }));
        QCOMPARE(fx->alerts.texts(),
                 (QStringList { QStringLiteral("The B's baud rate is difference!"),
                                QStringLiteral("The D's baud rate is difference!") }));
        QCOMPARE(fx->alerts.alerts.first().kind, RecordingAlertSink::Alert::Captioned);
        QCOMPARE(fx->alerts.alerts.first().icon, AlertIcon::Information);
        QCOMPARE(form.refusalCount(), 2);
        QCOMPARE(form.dataRate(), 1200);
        QCOMPARE(fx->state.currentRateCode, QByteArray("5")); // stored on every attempt, refused too

        // "<" puts the user back at the end, not at its former place.
        select(form.ListBox2, QStringLiteral("C"));
        form.Button3->click();
        QCOMPARE(rows(form.ListBox1), (QStringList { QStringLiteral("B"), QStringLiteral("D"), QStringLiteral("C") }));

        // Without a selected row ">" and "<" do nothing.
        form.ListBox1->clearSelection();
        form.ListBox2->clearSelection();
        fx->alerts.clear();
        form.Button1->click();
        form.Button3->click();
        QCOMPARE(rows(form.ListBox2), QStringList { QStringLiteral("A") });
        QVERIFY(fx->alerts.alerts.isEmpty());

        // "<<" returns everyone, in list order.
        form.Button5->click();
        QVERIFY(rows(form.ListBox2).isEmpty());
        QCOMPARE(rows(form.ListBox1).last(), QStringLiteral("A"));
    }

    void singleMovesAndTheRateOfAnEmptySendList()
    {
        fx->addUser(QStringLiteral("D'Angelo"), QStringLiteral("0001235A53"));
        fx->addUser(QStringLiteral("Short"), QStringLiteral("7"));
        fx->addUser(QStringLiteral("Verdi"), QStringLiteral("0001234A13"));
        TForm1 &form = shownForm();

        // A name with an apostrophe is an ordinary name for the lookup.
        select(form.ListBox1, QStringLiteral("D'Angelo"));
        form.Button1->click();
        QCOMPARE(rows(form.ListBox2), QStringList { QStringLiteral("D'Angelo") });
        QCOMPARE(form.dataRate(), 512);

        select(form.ListBox1, QStringLiteral("Verdi"));
        form.Button1->click();
        QCOMPARE(fx->alerts.lastText(), QStringLiteral("The Verdi's baud rate is difference!"));
        QCOMPARE(form.refusalCount(), 1);
        QCOMPARE(fx->state.currentRateCode, QByteArray("1"));

        // A code shorter than two characters gives the empty rate: R 2400 on an empty list.
        form.Button5->click();
        select(form.ListBox1, QStringLiteral("Short"));
        form.Button1->click();
        QCOMPARE(rows(form.ListBox2), QStringList { QStringLiteral("Short") });
        QCOMPARE(form.dataRate(), 2400);
        QVERIFY(fx->state.currentRateCode.isEmpty());

        // The double-clicks move as the buttons do.
        QListWidgetItem *back = form.ListBox2->item(0);
        form.ListBox2->setCurrentItem(back);
        emit form.ListBox2->itemDoubleClicked(back);
        QVERIFY(rows(form.ListBox2).isEmpty());
    }

    void reloadEmptiesTheSendList()
    {
        fx->addUser(QStringLiteral("A"), QStringLiteral("0001234A13"));
        fx->addUser(QStringLiteral("B"), QStringLiteral("0001235A13"));
        TForm1 &form = shownForm();
        select(form.ListBox1, QStringLiteral("B"));
        form.Button1->click();
        form.LoadUserList();
        QVERIFY(rows(form.ListBox2).isEmpty());
        QCOMPARE(rows(form.ListBox1), (QStringList { QStringLiteral("A"), QStringLiteral("B") }));
        QCOMPARE(fx->state.currentRateCode, QByteArray("1")); // not reset by the reload
        QCOMPARE(form.dataRate(), 1200);
    }

    void filterAndCounter()
    {
        TForm1 &form = shownForm();
        QPlainTextEdit *memo = form.memMsg;

        QTest::keyClicks(memo, QStringLiteral("Caff"));
        QTest::sendKeyEvent(QTest::Click, memo, Qt::Key_Egrave, QStringLiteral("è"), Qt::NoModifier);
        QCOMPARE(memo->toPlainText(), QStringLiteral("Caff"));
        QCOMPARE(form.lblLength->text(), QStringLiteral("4"));
        QCOMPARE(memo->textCursor().position(), 0);

        // Nothing removed: the cursor stays where typing left it.
        memo->moveCursor(QTextCursor::End);
        QTest::keyClicks(memo, QStringLiteral("e"));
        QCOMPARE(memo->textCursor().position(), 5);

        memo->clear();
        QCOMPARE(form.lblLength->text(), QStringLiteral("0"));
        QApplication::clipboard()->setText(QStringLiteral("ab\ncd"));
        memo->paste();
        QCOMPARE(memo->toPlainText(), QStringLiteral("abcd"));
        QCOMPARE(form.lblLength->text(), QStringLiteral("4"));

        memo->setPlainText(QString(QChar(127)));
        QCOMPARE(memo->toPlainText(), QString(QChar(127)));
        QCOMPARE(form.lblLength->text(), QStringLiteral("1"));
        memo->setPlainText(QStringLiteral("a\tb") + QChar(0xA0) + QStringLiteral("c"));
        QCOMPARE(memo->toPlainText(), QStringLiteral("abc"));

        const QString longText = QString(20000, QLatin1Char('x'));
        memo->setPlainText(longText + QStringLiteral("\n"));
        QCOMPARE(memo->toPlainText(), longText);
        QCOMPARE(form.lblLength->text(), QStringLiteral("20000"));
    }

    void presetIsAppendedEveryTime()
    {
        fx->addPreset(QStringLiteral("Vuoto"), QString());
        fx->addPreset(QStringLiteral("Saluto"), QStringLiteral("Buongiorno"));
        TForm1 &form = shownForm();
        form.memMsg->setPlainText(QStringLiteral("Ciao "));
        form.memMsg->moveCursor(QTextCursor::End);

        const int saluto = form.cboPreMsg->findText(QStringLiteral("Saluto"));
        form.cboPreMsg->setCurrentIndex(saluto);
        emit form.cboPreMsg->activated(saluto);
        QCOMPARE(form.memMsg->toPlainText(), QStringLiteral("Ciao Buongiorno"));
        QCOMPARE(form.memMsg->textCursor().position(), 0);
        emit form.cboPreMsg->activated(saluto);
        QCOMPARE(form.memMsg->toPlainText(), QStringLiteral("Ciao BuongiornoBuongiorno"));
        QCOMPARE(form.lblLength->text(), QStringLiteral("25"));
        QCOMPARE(form.cboPreMsg->currentText(), QStringLiteral("Saluto"));

        // An empty preset changes neither text nor cursor.
        form.memMsg->moveCursor(QTextCursor::End);
        const int vuoto = form.cboPreMsg->findText(QStringLiteral("Vuoto"));
        form.cboPreMsg->setCurrentIndex(vuoto);
        emit form.cboPreMsg->activated(vuoto);
        QCOMPARE(form.memMsg->textCursor().position(), 25);
    }

    void enterMovesTheFocusAndAddsNothing()
    {
        TForm1 &form = shownForm();
        activate(form);
        form.memMsg->setFocus();
        QTest::keyClicks(form.memMsg, QStringLiteral("ab"));
        QTest::keyClick(form.memMsg, Qt::Key_Return);
        QCOMPARE(form.memMsg->toPlainText(), QStringLiteral("ab"));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form.Edit1));
        form.memMsg->setFocus();
        QTest::keyClick(form.memMsg, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(form.memMsg->toPlainText(), QStringLiteral("ab"));
    }

    void ctrlVAndCtrlXRunTheMenuInTheMessageBox()
    {
        TForm1 &form = shownForm();
        activate(form);
        QSignalSpy showReport(form.mnuShowReport, &QAction::triggered);
        QSignalSpy exit(form.mnuExit, &QAction::triggered);
        QApplication::clipboard()->setText(QStringLiteral("pasted"));
        form.memMsg->setPlainText(QStringLiteral("abc"));
        form.memMsg->setFocus();
        form.memMsg->selectAll();

        QTest::keyClick(form.memMsg, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(showReport.count(), 1);
        QCOMPARE(form.memMsg->toPlainText(), QStringLiteral("abc"));

        QTest::keyClick(form.memMsg, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(exit.count(), 1);
        QCOMPARE(form.memMsg->toPlainText(), QStringLiteral("abc"));
        QVERIFY(!form.isVisible()); // "Esci (&X)" closed the window
    }

    void serialStatusFollowsTheStoredRow()
    {
        TForm1 &form = shownForm();
        SerialSettings settings;
        settings.port = 11;
        settings.baud = 0;
        settings.data = 0;
        fx->stores->serial.write(settings);
        form.ShowSerialStatus();
        QCOMPARE(form.statusText(1), QStringLiteral(" Porta: COM12    Baudrate:   1200    Parametri: 7,E,1     "));
        settings.port = 16;
        fx->stores->serial.write(settings);
        form.ShowSerialStatus();
        QCOMPARE(form.statusText(1), QStringLiteral(" Porta: impostazione non valida"));
    }

    void proportionalLayoutOnTheOuterSize()
    {
        TForm1 &form = shownForm();
        form.setWindowState(Qt::WindowNoState);
        // The layout follows the outer (frame) size, so the frame is made 1032 pixels wide.
        const int frameExtra = form.frameGeometry().width() - form.width();
        form.resize(1032 - frameExtra, 700);
        QTRY_COMPARE(form.frameGeometry().width(), 1032);
        const int height = form.frameGeometry().height();
        QCOMPARE(form.GroupBox1->width(), 474);
        QCOMPARE(form.GroupBox3->width(), 474);
        QCOMPARE(form.PageControl1->height(), int(height * 0.25));
        QHeaderView *header = form.DBGrid1->horizontalHeader();
        const QList<int> expected { 72, 103, 103, 165, 72, 165, 92, 206 };
        for (int column = 0; column < expected.size(); ++column)
            QCOMPARE(header->sectionSize(column), expected.at(column));

        // The arrow buttons are centred in the panel between the lists.
        QTRY_COMPARE(form.Button1->x(), (form.pnlBtn->width() - form.Button1->width()) / 2);
        QCOMPARE(form.Button5->x(), form.Button1->x());
        QVERIFY(form.Button5->y() > form.Button3->y());
        QTRY_VERIFY(qAbs(form.tbxPnl->height() - int(height * 0.37)) <= 2);
    }

    void capcodeDialogAndMinimising()
    {
        TForm1 &form = shownForm();
        QList<QDialog *> shown;
        ModalRunner::setInterceptor([&shown](QDialog *dialog) {
            shown << dialog;
            return int(QDialog::Rejected);
        });
        form.btnHlp->click(); // no capcode dialog set yet: nothing to show
        CapcodeNote note;
        TOKBottomDlg noteDialog(note);
        TfrmPinId pinId(fx->alerts, note, noteDialog);
        form.setCapcodeDialog(&pinId);
        form.btnHlp->click();
        ModalRunner::clearInterceptor();
        QCOMPARE(shown, QList<QDialog *> { &pinId });

        // Without a notification area the minimised window stays reachable on the task bar.
        if (form.TrayIcon1)
            QSKIP("this desktop has a tray");
        form.showMinimized();
        QTest::qWait(20);
        QVERIFY(form.isVisible());
        form.Restore1->trigger();
        QVERIFY(!form.isMinimized());
    }

    void progressBarIsClamped()
    {
        TForm1 &form = shownForm();
        form.setProgress(0, 5);
        QCOMPARE(form.PB1->maximum(), 1);
        QCOMPARE(form.PB1->value(), 1);
        form.setProgress(40, 10);
        form.advanceProgress(100);
        QCOMPARE(form.PB1->value(), 40);
        form.advanceProgress(-100);
        QCOMPARE(form.PB1->value(), 0);
    }

    void everyControlIsNamedAndTheTestRowsWaitHidden()
    {
        TForm1 &form = fx->makeForm();
        QList<QWidget *> controls;
        controls << form.ToolBar1 << form.PageControl1 << form.TabSheet1 << form.TabSheet2 << form.GroupBox1
                 << form.ListBox1 << form.GroupBox3 << form.ListBox2 << form.pnlBtn << form.Button1 << form.Button2
                 << form.Button3 << form.Button5 << form.edtID << form.btnHlp << form.Memo1 << form.GroupBox2
                 << form.Panel2 << form.pnlPreMsg << form.cboPreMsg << form.lblLength << form.Panel5 << form.Edit3
                 << form.chkChgCap << form.Edit5 << form.Edit11 << form.chkChgMsg << form.Label20 << form.Button6
                 << form.chkTone << form.Panel3 << form.edtHeartbeat << form.Edit2 << form.lblCount << form.memMsg
                 << form.Edit1 << form.tbxPnl << form.DBGrid1 << form.DBMemo1 << form.StatusBar1 << form.PB1;
        for (QWidget *control : controls) {
            QVERIFY(control);
            QVERIFY2(!control->objectName().isEmpty(), control->metaObject()->className());
            QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
        }
        QCOMPARE(form.edtID->accessibleName(), QStringLiteral("Codifica capcode"));
        QCOMPARE(form.Edit5->accessibleName(), QStringLiteral("Times"));

        form.show();
        QVERIFY(!form.Panel5->isVisible());
        QVERIFY(!form.Panel3->isVisible());
        QVERIFY(form.pnlPreMsg->isVisible());
        QVERIFY(form.tbxPnl->isVisible());
        QCOMPARE(form.edtID->maxLength(), 10);
        QCOMPARE(form.edtHeartbeat->maxLength(), 3);
        QCOMPARE(form.Edit2->maxLength(), 20);
        QCOMPARE(
            QStringList({ form.Edit3->text(), form.Edit5->text(), form.Edit11->text(), form.edtHeartbeat->text() }),
            QStringList({ "1", "1", "0", "0" }));
        QVERIFY(!form.tbnOpen->isVisible());
        QVERIFY(!form.tbnSave->isVisible());
        QVERIFY(form.mnuShowReport->isChecked());
        QVERIFY(form.NormalMode1->isChecked());
        QCOMPARE(form.Memo1->document()->blockCount(), 6);
        QVERIFY(form.Memo1->isReadOnly());

        // The focus sink is first in the tab order and covered by the message group.
        QWidget *first = form.nextInFocusChain();
        while (first != &form && !(first->isVisible() && (first->focusPolicy() & Qt::TabFocus)))
            first = first->nextInFocusChain();
        QCOMPARE(first, static_cast<QWidget *>(form.Edit1));
        QTRY_VERIFY(form.GroupBox2->geometry().contains(form.Edit1->geometry()));
        QWidget *onTop = form.centralWidget()->childAt(form.Edit1->geometry().center());
        QVERIFY(onTop && onTop != form.Edit1 && form.GroupBox2->isAncestorOf(onTop));
        QVERIFY(form.Edit1->isVisible());
    }
};

QTEST_MAIN(TestGuiMainWindow)
#include "test_gui_main_window.moc"
