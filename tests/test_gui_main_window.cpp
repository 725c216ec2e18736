#include "book/OKBottomDlg.h"
#include "core/ModalRunner.h"
#include "link/CapcodeNote.h"
#include "link/MessageFilter.h"
#include "link/Pinid.h"
#include "store/DataStores.h"
#include "tests/support/ConsoleFixture.h"
#include "ui/MessageFileFormat.h"
#include "ui/UserListRules.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QFile>
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
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

using namespace Qt::StringLiterals;

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

    std::unique_ptr<ConsoleFixture> fx;

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
        fx = std::make_unique<ConsoleFixture>();
        QVERIFY2(fx->error().isEmpty(), qPrintable(fx->error()));
    }
    void cleanup() { fx.reset(); }

    void firstShowLoadsListsStatusAndMaximises()
    {
        fx->addUser(u"Rossi"_s, u"0001234A13"_s);
        fx->addUser(u"Bianchi"_s, u"0001235A53"_s);
        fx->addPreset(u"Saluto"_s, u"Buongiorno"_s);
        TForm1 &form = shownForm();
        QCOMPARE(rows(form.ListBox1), (QStringList { u"Rossi"_s, u"Bianchi"_s }));
        QCOMPARE(form.cboPreMsg->count(), 1);
        QCOMPARE(form.statusText(1), u" Porta: COM1    Baudrate:   9600    Parametri: 8,N,1     "_s);
        QCOMPARE(form.statusText(2), u"Pronto"_s);
        QVERIFY(form.windowState() & Qt::WindowMaximized);
        QVERIFY(fx->alerts.alerts.isEmpty());
    }

    void moveAllKeepsTheRateOfTheFirstUser()
    {
        fx->addUser(u"A"_s, u"0001234A13"_s);
        fx->addUser(u"B"_s, u"0001235A53"_s);
        fx->addUser(u"C"_s, u"0001236A12"_s);
        fx->addUser(u"D"_s, u"0001237A51"_s);
        TForm1 &form = shownForm();

        form.Button2->click();
        QCOMPARE(rows(form.ListBox2), (QStringList { u"A"_s, u"C"_s }));
        QCOMPARE(rows(form.ListBox1), (QStringList { u"B"_s, u"D"_s }));
        QCOMPARE(fx->alerts.texts(),
                 (QStringList { u"The B's baud rate is difference!"_s, u"The D's baud rate is difference!"_s }));
        QCOMPARE(fx->alerts.alerts.first().kind, RecordingAlertSink::Alert::Captioned);
        QCOMPARE(fx->alerts.alerts.first().icon, AlertIcon::Information);
        QCOMPARE(form.refusalCount(), 2);
        QCOMPARE(form.dataRate(), 1200);
        QCOMPARE(fx->state.currentRateCode, QByteArray("5")); // stored on every attempt, refused too

        // "<" puts the user back at the end, not at its former place.
        select(form.ListBox2, u"C"_s);
        form.Button3->click();
        QCOMPARE(rows(form.ListBox1), (QStringList { u"B"_s, u"D"_s, u"C"_s }));

        // Without a selected row ">" and "<" do nothing.
        form.ListBox1->clearSelection();
        form.ListBox2->clearSelection();
        fx->alerts.clear();
        form.Button1->click();
        form.Button3->click();
        QCOMPARE(rows(form.ListBox2), QStringList { u"A"_s });
        QVERIFY(fx->alerts.alerts.isEmpty());

        // "<<" returns everyone, in list order.
        form.Button5->click();
        QVERIFY(rows(form.ListBox2).isEmpty());
        QCOMPARE(rows(form.ListBox1).last(), u"A"_s);
    }

    void singleMovesAndTheRateOfAnEmptySendList()
    {
        fx->addUser(u"D'Angelo"_s, u"0001235A53"_s);
        fx->addUser(u"Short"_s, u"7"_s);
        fx->addUser(u"Verdi"_s, u"0001234A13"_s);
        TForm1 &form = shownForm();

        // A name with an apostrophe is an ordinary name for the lookup.
        select(form.ListBox1, u"D'Angelo"_s);
        form.Button1->click();
        QCOMPARE(rows(form.ListBox2), QStringList { u"D'Angelo"_s });
        QCOMPARE(form.dataRate(), 512);

        select(form.ListBox1, u"Verdi"_s);
        form.Button1->click();
        QCOMPARE(fx->alerts.lastText(), u"The Verdi's baud rate is difference!"_s);
        QCOMPARE(form.refusalCount(), 1);
        QCOMPARE(fx->state.currentRateCode, QByteArray("1"));

        // A code shorter than two characters gives the empty rate: R 2400 on an empty list.
        form.Button5->click();
        select(form.ListBox1, u"Short"_s);
        form.Button1->click();
        QCOMPARE(rows(form.ListBox2), QStringList { u"Short"_s });
        QCOMPARE(form.dataRate(), 2400);
        QVERIFY(fx->state.currentRateCode.isEmpty());

        // The double-clicks move as the buttons do.
        QListWidgetItem *back = form.ListBox2->item(0);
        form.ListBox2->setCurrentItem(back);
        emit form.ListBox2->itemDoubleClicked(back);
        QVERIFY(rows(form.ListBox2).isEmpty());
    }

    // Taking a row out of a list must not choose the next one: a second press moves nobody.
    void aMoveLeavesNothingChosen()
    {
        for (const QString &name : { u"A"_s, u"B"_s, u"C"_s, u"D"_s })
            fx->addUser(name, u"0001234A13"_s);
        fx->addUser(u"E"_s, u"0001235A53"_s); // refused beside the others
        TForm1 &form = shownForm();
        const auto nothingChosen = [&form] {
            for (const QListWidget *list : { form.ListBox1, form.ListBox2 })
                if (!list->selectedItems().isEmpty() || list->currentRow() != -1)
                    return false;
            return true;
        };

        select(form.ListBox1, u"A"_s);
        form.Button1->click();
        QVERIFY(nothingChosen());
        form.Button1->click();
        QCOMPARE(rows(form.ListBox2), QStringList { u"A"_s });

        select(form.ListBox1, u"B"_s);
        form.Button1->click();
        select(form.ListBox2, u"A"_s);
        form.Button3->click();
        QVERIFY(nothingChosen());
        form.Button3->click();
        QCOMPARE(rows(form.ListBox2), QStringList { u"B"_s });

        // ">>" chooses its candidates itself; the refused one is not left chosen.
        form.Button2->click();
        QCOMPARE(rows(form.ListBox1), QStringList { u"E"_s });
        QVERIFY(nothingChosen());
        select(form.ListBox1, u"E"_s);
        form.Button5->click();
        QVERIFY(nothingChosen());
    }

    void reloadEmptiesTheSendList()
    {
        fx->addUser(u"A"_s, u"0001234A13"_s);
        fx->addUser(u"B"_s, u"0001235A13"_s);
        TForm1 &form = shownForm();
        select(form.ListBox1, u"B"_s);
        form.Button1->click();
        form.LoadUserList();
        QVERIFY(rows(form.ListBox2).isEmpty());
        QCOMPARE(rows(form.ListBox1), (QStringList { u"A"_s, u"B"_s }));
        QCOMPARE(fx->state.currentRateCode, QByteArray("1")); // not reset by the reload
        QCOMPARE(form.dataRate(), 1200);
    }

    void filterAndCounter()
    {
        TForm1 &form = shownForm();
        QPlainTextEdit *memo = form.memMsg;

        QTest::keyClicks(memo, u"Caff"_s);
        QTest::sendKeyEvent(QTest::Click, memo, Qt::Key_Egrave, u"è"_s, Qt::NoModifier);
        QCOMPARE(memo->toPlainText(), u"Caff"_s);
        QCOMPARE(form.lblLength->text(), u"4"_s);
        QCOMPARE(memo->textCursor().position(), 0);

        // Nothing removed: the cursor stays where typing left it.
        memo->moveCursor(QTextCursor::End);
        QTest::keyClicks(memo, u"e"_s);
        QCOMPARE(memo->textCursor().position(), 5);

        memo->clear();
        QCOMPARE(form.lblLength->text(), u"0"_s);
        QApplication::clipboard()->setText(u"ab\ncd"_s);
        memo->paste();
        QCOMPARE(memo->toPlainText(), u"abcd"_s);
        QCOMPARE(form.lblLength->text(), u"4"_s);

        memo->setPlainText(QString(QChar(127)));
        QCOMPARE(memo->toPlainText(), QString(QChar(127)));
        QCOMPARE(form.lblLength->text(), u"1"_s);
        memo->setPlainText(u"a\tb"_s + QChar(0xA0) + u"c"_s);
        QCOMPARE(memo->toPlainText(), u"abc"_s);

        const QString longText = QString(20000, QLatin1Char('x'));
        memo->setPlainText(longText + u"\n"_s);
        QCOMPARE(memo->toPlainText(), longText);
        QCOMPARE(form.lblLength->text(), u"20000"_s);
    }

    void presetIsAppendedEveryTime()
    {
        fx->addPreset(u"Vuoto"_s, QString());
        fx->addPreset(u"Saluto"_s, u"Buongiorno"_s);
        TForm1 &form = shownForm();
        form.memMsg->setPlainText(u"Ciao "_s);
        form.memMsg->moveCursor(QTextCursor::End);

        const int saluto = form.cboPreMsg->findText(u"Saluto"_s);
        form.cboPreMsg->setCurrentIndex(saluto);
        emit form.cboPreMsg->activated(saluto);
        QCOMPARE(form.memMsg->toPlainText(), u"Ciao Buongiorno"_s);
        QCOMPARE(form.memMsg->textCursor().position(), 0);
        emit form.cboPreMsg->activated(saluto);
        QCOMPARE(form.memMsg->toPlainText(), u"Ciao BuongiornoBuongiorno"_s);
        QCOMPARE(form.lblLength->text(), u"25"_s);
        QCOMPARE(form.cboPreMsg->currentText(), u"Saluto"_s);

        // An empty preset changes neither text nor cursor.
        form.memMsg->moveCursor(QTextCursor::End);
        const int vuoto = form.cboPreMsg->findText(u"Vuoto"_s);
        form.cboPreMsg->setCurrentIndex(vuoto);
        emit form.cboPreMsg->activated(vuoto);
        QCOMPARE(form.memMsg->textCursor().position(), 25);
    }

    void enterMovesTheFocusAndAddsNothing()
    {
        TForm1 &form = shownForm();
        activate(form);
        form.memMsg->setFocus();
        QTest::keyClicks(form.memMsg, u"ab"_s);
        QTest::keyClick(form.memMsg, Qt::Key_Return);
        QCOMPARE(form.memMsg->toPlainText(), u"ab"_s);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(form.Edit1));
        form.memMsg->setFocus();
        QTest::keyClick(form.memMsg, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(form.memMsg->toPlainText(), u"ab"_s);
    }

    void ctrlVAndCtrlXRunTheMenuInTheMessageBox()
    {
        TForm1 &form = shownForm();
        activate(form);
        QSignalSpy showReport(form.mnuShowReport, &QAction::triggered);
        QSignalSpy exit(form.mnuExit, &QAction::triggered);
        QApplication::clipboard()->setText(u"pasted"_s);
        form.memMsg->setPlainText(u"abc"_s);
        form.memMsg->setFocus();
        form.memMsg->selectAll();

        QTest::keyClick(form.memMsg, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(showReport.count(), 1);
        QCOMPARE(form.memMsg->toPlainText(), u"abc"_s);

        QTest::keyClick(form.memMsg, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(exit.count(), 1);
        QCOMPARE(form.memMsg->toPlainText(), u"abc"_s);
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
        QCOMPARE(form.statusText(1), u" Porta: COM12    Baudrate:   1200    Parametri: 7,E,1     "_s);
        settings.port = 16;
        fx->stores->serial.write(settings);
        form.ShowSerialStatus();
        QCOMPARE(form.statusText(1), u" Porta: impostazione non valida"_s);
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

    void testRowsWaitHiddenAndTheFocusSinkIsFirst()
    {
        TForm1 &form = fx->makeForm();
        // A control without a caption of its own is named after its label.
        QCOMPARE(form.edtID->accessibleName(), u"Codifica capcode"_s);

        form.show();
        QVERIFY(!form.Panel5->isVisible());
        QVERIFY(!form.Panel3->isVisible());
        QVERIFY(form.pnlPreMsg->isVisible());
        QVERIFY(form.tbxPnl->isVisible());
        QVERIFY(form.NormalMode1->isChecked());

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

    void filterKeepsOnly32To127_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("accented letter") << u"Caffè"_s << u"Caff"_s;
        QTest::newRow("line feed") << u"ab\ncd"_s << u"abcd"_s;
        QTest::newRow("tab") << u"a\tb"_s << u"ab"_s;
        QTest::newRow("code 127 only") << QString(QChar(127)) << QString(QChar(127));
        QTest::newRow("code 31") << QString(QChar(31)) << QString();
        QTest::newRow("code 128 and 160") << QString(QChar(128)) + QChar(160) << QString();
        QTest::newRow("paragraph separator") << u"a"_s + QChar(0x2029) + u"b"_s << u"ab"_s;
    }
    void filterKeepsOnly32To127()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QCOMPARE(MessageFilter::filtered(typed), kept);
    }

    void serialStatusText_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("data");
        QTest::addColumn<QString>("text");
        QTest::newRow("default row") << 0 << 3 << 1 << u" Porta: COM1    Baudrate:   9600    Parametri: 8,N,1     "_s;
        QTest::newRow("seven bits") << 11 << 0 << 0 << u" Porta: COM12    Baudrate:   1200    Parametri: 7,E,1     "_s;
        QTest::newRow("other data value")
            << 15 << 4 << 7 << u" Porta: COM16    Baudrate:   19200    Parametri: 8,N,1     "_s;
        const QString invalid = u" Porta: impostazione non valida"_s;
        QTest::newRow("empty port name") << 16 << 3 << 1 << invalid;
        QTest::newRow("negative port") << -1 << 3 << 1 << invalid;
        QTest::newRow("baud 5") << 0 << 5 << 1 << invalid;
        QTest::newRow("negative baud") << 0 << -1 << 0 << invalid;
    }
    void serialStatusText()
    {
        QFETCH(int, port);
        QFETCH(int, baud);
        QFETCH(int, data);
        QFETCH(QString, text);
        SerialSettings settings;
        settings.port = port;
        settings.baud = baud;
        settings.data = data;
        QCOMPARE(UserListRules::serialStatusText(settings), text);
    }

    void decodeTurnsLineBreaksIntoCrLfAndStopsAtByteZero_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("CR LF") << QByteArray("a\r\nb") << u"a\r\nb"_s;
        QTest::newRow("lone LF") << QByteArray("a\nb") << u"a\r\nb"_s;
        QTest::newRow("lone CR") << QByteArray("a\rb") << u"a\r\nb"_s;
        QTest::newRow("LF CR") << QByteArray("a\n\rb") << u"a\r\n\r\nb"_s;
        QTest::newRow("CR at end") << QByteArray("a\r") << u"a\r\n"_s;
        QTest::newRow("byte zero") << QByteArray("abc\0def", 7) << u"abc"_s;
        QTest::newRow("byte zero first") << QByteArray("\0abc", 4) << QString();
        QTest::newRow("Latin-1") << QByteArray("citt\xe0") << u"città"_s;
        QTest::newRow("byte 0xFF") << QByteArray("\xff") << QString(QChar(0xFF));
    }
    void decodeTurnsLineBreaksIntoCrLfAndStopsAtByteZero()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(MessageFileFormat::decode(bytes), text);
    }

    void readRefusesMissingAndOversizedFiles()
    {
        QTemporaryDir dir;
        QCOMPARE(MessageFileFormat::read(dir.filePath(u"none.te2"_s)).status,
                 MessageFileFormat::ReadStatus::CannotOpen);
        QCOMPARE(MessageFileFormat::read(dir.path()).status, MessageFileFormat::ReadStatus::CannotOpen);

        const QString limit = dir.filePath(u"limit.te2"_s);
        QFile file(limit);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(MessageFileFormat::kMaxFileBytes, 'x'));
        file.close();
        const MessageFileFormat::ReadResult atLimit = MessageFileFormat::read(limit);
        QCOMPARE(atLimit.status, MessageFileFormat::ReadStatus::Ok);
        QCOMPARE(atLimit.text.size(), MessageFileFormat::kMaxFileBytes);

        QVERIFY(file.open(QIODevice::Append));
        file.write("y");
        file.close();
        QCOMPARE(MessageFileFormat::read(limit).status, MessageFileFormat::ReadStatus::TooLarge);
    }
};

QTEST_MAIN(TestGuiMainWindow)
#include "test_gui_main_window.moc"
