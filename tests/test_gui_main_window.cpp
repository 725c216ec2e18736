#include "book/OKBottomDlg.h"
#include "link/CapcodeNote.h"
#include "link/MessageFilter.h"
#include "link/Pinid.h"
#include "store/DataStores.h"
#include "tests/support/ConsoleFixture.h"
#include "tests/support/Controls.h"
#include "tests/support/ModalRecorder.h"
#include "ui/MessageFileFormat.h"
#include "ui/StatusBar.h"
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
#include <QSystemTrayIcon>
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
        QCOMPARE(rows(control<QListWidget>(form, "ListBox1")), (QStringList { u"Rossi"_s, u"Bianchi"_s }));
        QCOMPARE(control<QComboBox>(form, "cboPreMsg")->count(), 1);
        QCOMPARE(form.status().portText(), u" Porta: COM1    Baudrate:   9600    Parametri: 8,N,1     "_s);
        QCOMPARE(form.status().stateText(), u"Pronto"_s);
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

        control<QPushButton>(form, "Button2")->click();
        QCOMPARE(rows(control<QListWidget>(form, "ListBox2")), (QStringList { u"A"_s, u"C"_s }));
        QCOMPARE(rows(control<QListWidget>(form, "ListBox1")), (QStringList { u"B"_s, u"D"_s }));
        QCOMPARE(fx->alerts.texts(),
                 (QStringList { u"The B's baud rate is difference!"_s, u"The D's baud rate is difference!"_s }));
        QCOMPARE(fx->alerts.alerts.first().kind, RecordingAlertSink::Alert::Captioned);
        QCOMPARE(fx->alerts.alerts.first().icon, AlertIcon::Information);
        QCOMPARE(form.refusalCount(), 2);
        QCOMPARE(form.dataRate(), 1200);
        QCOMPARE(fx->state.currentRateCode, QByteArray("5")); // stored on every attempt, refused too

        // "<" puts the user back at the end, not at its former place.
        select(control<QListWidget>(form, "ListBox2"), u"C"_s);
        control<QPushButton>(form, "Button3")->click();
        QCOMPARE(rows(control<QListWidget>(form, "ListBox1")), (QStringList { u"B"_s, u"D"_s, u"C"_s }));

        // Without a selected row ">" and "<" do nothing.
        control<QListWidget>(form, "ListBox1")->clearSelection();
        control<QListWidget>(form, "ListBox2")->clearSelection();
        fx->alerts.clear();
        control<QPushButton>(form, "Button1")->click();
        control<QPushButton>(form, "Button3")->click();
        QCOMPARE(rows(control<QListWidget>(form, "ListBox2")), QStringList { u"A"_s });
        QVERIFY(fx->alerts.alerts.isEmpty());

        // "<<" returns everyone, in list order.
        control<QPushButton>(form, "Button5")->click();
        QVERIFY(rows(control<QListWidget>(form, "ListBox2")).isEmpty());
        QCOMPARE(rows(control<QListWidget>(form, "ListBox1")).last(), u"A"_s);
    }

    void singleMovesAndTheRateOfAnEmptySendList()
    {
        fx->addUser(u"D'Angelo"_s, u"0001235A53"_s);
        fx->addUser(u"Short"_s, u"7"_s);
        fx->addUser(u"Verdi"_s, u"0001234A13"_s);
        TForm1 &form = shownForm();

        // A name with an apostrophe is an ordinary name for the lookup.
        select(control<QListWidget>(form, "ListBox1"), u"D'Angelo"_s);
        control<QPushButton>(form, "Button1")->click();
        QCOMPARE(rows(control<QListWidget>(form, "ListBox2")), QStringList { u"D'Angelo"_s });
        QCOMPARE(form.dataRate(), 512);

        select(control<QListWidget>(form, "ListBox1"), u"Verdi"_s);
        control<QPushButton>(form, "Button1")->click();
        QCOMPARE(fx->alerts.lastText(), u"The Verdi's baud rate is difference!"_s);
        QCOMPARE(form.refusalCount(), 1);
        QCOMPARE(fx->state.currentRateCode, QByteArray("1"));

        // A code shorter than two characters gives the empty rate: R 2400 on an empty list.
        control<QPushButton>(form, "Button5")->click();
        select(control<QListWidget>(form, "ListBox1"), u"Short"_s);
        control<QPushButton>(form, "Button1")->click();
        QCOMPARE(rows(control<QListWidget>(form, "ListBox2")), QStringList { u"Short"_s });
        QCOMPARE(form.dataRate(), 2400);
        QVERIFY(fx->state.currentRateCode.isEmpty());

        // The double-clicks move as the buttons do.
        QListWidgetItem *back = control<QListWidget>(form, "ListBox2")->item(0);
        control<QListWidget>(form, "ListBox2")->setCurrentItem(back);
        emit control<QListWidget>(form, "ListBox2")->itemDoubleClicked(back);
        QVERIFY(rows(control<QListWidget>(form, "ListBox2")).isEmpty());
    }

    // Taking a row out of a list must not choose the next one: a second press moves nobody.
    void aMoveLeavesNothingChosen()
    {
        for (const QString &name : { u"A"_s, u"B"_s, u"C"_s, u"D"_s })
            fx->addUser(name, u"0001234A13"_s);
        fx->addUser(u"E"_s, u"0001235A53"_s); // refused beside the others
        TForm1 &form = shownForm();
        const auto nothingChosen = [&form] {
            for (const QListWidget *list :
                 { control<QListWidget>(form, "ListBox1"), control<QListWidget>(form, "ListBox2") })
                if (!list->selectedItems().isEmpty() || list->currentRow() != -1)
                    return false;
            return true;
        };

        select(control<QListWidget>(form, "ListBox1"), u"A"_s);
        control<QPushButton>(form, "Button1")->click();
        QVERIFY(nothingChosen());
        control<QPushButton>(form, "Button1")->click();
        QCOMPARE(rows(control<QListWidget>(form, "ListBox2")), QStringList { u"A"_s });

        select(control<QListWidget>(form, "ListBox1"), u"B"_s);
        control<QPushButton>(form, "Button1")->click();
        select(control<QListWidget>(form, "ListBox2"), u"A"_s);
        control<QPushButton>(form, "Button3")->click();
        QVERIFY(nothingChosen());
        control<QPushButton>(form, "Button3")->click();
        QCOMPARE(rows(control<QListWidget>(form, "ListBox2")), QStringList { u"B"_s });

        // ">>" chooses its candidates itself; the refused one is not left chosen.
        control<QPushButton>(form, "Button2")->click();
        QCOMPARE(rows(control<QListWidget>(form, "ListBox1")), QStringList { u"E"_s });
        QVERIFY(nothingChosen());
        select(control<QListWidget>(form, "ListBox1"), u"E"_s);
        control<QPushButton>(form, "Button5")->click();
        QVERIFY(nothingChosen());
    }

    void reloadEmptiesTheSendList()
    {
        fx->addUser(u"A"_s, u"0001234A13"_s);
        fx->addUser(u"B"_s, u"0001235A13"_s);
        TForm1 &form = shownForm();
        select(control<QListWidget>(form, "ListBox1"), u"B"_s);
        control<QPushButton>(form, "Button1")->click();
        form.LoadUserList();
        QVERIFY(rows(control<QListWidget>(form, "ListBox2")).isEmpty());
        QCOMPARE(rows(control<QListWidget>(form, "ListBox1")), (QStringList { u"A"_s, u"B"_s }));
        QCOMPARE(fx->state.currentRateCode, QByteArray("1")); // not reset by the reload
        QCOMPARE(form.dataRate(), 1200);
    }

    void filterAndCounter()
    {
        TForm1 &form = shownForm();
        QPlainTextEdit *memo = control<QPlainTextEdit>(form, "memMsg");

        QTest::keyClicks(memo, u"Caff"_s);
        QTest::sendKeyEvent(QTest::Click, memo, Qt::Key_Egrave, u"è"_s, Qt::NoModifier);
        QCOMPARE(memo->toPlainText(), u"Caff"_s);
        QCOMPARE(control<QLabel>(form, "lblLength")->text(), u"4"_s);
        QCOMPARE(memo->textCursor().position(), 0);

        // Nothing removed: the cursor stays where typing left it.
        memo->moveCursor(QTextCursor::End);
        QTest::keyClicks(memo, u"e"_s);
        QCOMPARE(memo->textCursor().position(), 5);

        memo->clear();
        QCOMPARE(control<QLabel>(form, "lblLength")->text(), u"0"_s);
        QApplication::clipboard()->setText(u"ab\ncd"_s);
        memo->paste();
        QCOMPARE(memo->toPlainText(), u"abcd"_s);
        QCOMPARE(control<QLabel>(form, "lblLength")->text(), u"4"_s);

        memo->setPlainText(QString(QChar(127)));
        QCOMPARE(memo->toPlainText(), QString(QChar(127)));
        QCOMPARE(control<QLabel>(form, "lblLength")->text(), u"1"_s);
        memo->setPlainText(u"a\tb"_s + QChar(0xA0) + u"c"_s);
        QCOMPARE(memo->toPlainText(), u"abc"_s);

        const QString longText = QString(20000, QLatin1Char('x'));
        memo->setPlainText(longText + u"\n"_s);
        QCOMPARE(memo->toPlainText(), longText);
        QCOMPARE(control<QLabel>(form, "lblLength")->text(), u"20000"_s);
    }

    void presetIsAppendedEveryTime()
    {
        fx->addPreset(u"Vuoto"_s, QString());
        fx->addPreset(u"Saluto"_s, u"Buongiorno"_s);
        TForm1 &form = shownForm();
        control<QPlainTextEdit>(form, "memMsg")->setPlainText(u"Ciao "_s);
        control<QPlainTextEdit>(form, "memMsg")->moveCursor(QTextCursor::End);

        const int saluto = control<QComboBox>(form, "cboPreMsg")->findText(u"Saluto"_s);
        control<QComboBox>(form, "cboPreMsg")->setCurrentIndex(saluto);
        emit control<QComboBox>(form, "cboPreMsg")->activated(saluto);
        QCOMPARE(control<QPlainTextEdit>(form, "memMsg")->toPlainText(), u"Ciao Buongiorno"_s);
        QCOMPARE(control<QPlainTextEdit>(form, "memMsg")->textCursor().position(), 0);
        emit control<QComboBox>(form, "cboPreMsg")->activated(saluto);
        QCOMPARE(control<QPlainTextEdit>(form, "memMsg")->toPlainText(), u"Ciao BuongiornoBuongiorno"_s);
        QCOMPARE(control<QLabel>(form, "lblLength")->text(), u"25"_s);
        QCOMPARE(control<QComboBox>(form, "cboPreMsg")->currentText(), u"Saluto"_s);

        // An empty preset changes neither text nor cursor.
        control<QPlainTextEdit>(form, "memMsg")->moveCursor(QTextCursor::End);
        const int vuoto = control<QComboBox>(form, "cboPreMsg")->findText(u"Vuoto"_s);
        control<QComboBox>(form, "cboPreMsg")->setCurrentIndex(vuoto);
        emit control<QComboBox>(form, "cboPreMsg")->activated(vuoto);
        QCOMPARE(control<QPlainTextEdit>(form, "memMsg")->textCursor().position(), 25);
    }

    void enterMovesTheFocusAndAddsNothing()
    {
        TForm1 &form = shownForm();
        activate(form);
        control<QPlainTextEdit>(form, "memMsg")->setFocus();
        QTest::keyClicks(control<QPlainTextEdit>(form, "memMsg"), u"ab"_s);
        QTest::keyClick(control<QPlainTextEdit>(form, "memMsg"), Qt::Key_Return);
        QCOMPARE(control<QPlainTextEdit>(form, "memMsg")->toPlainText(), u"ab"_s);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(control<QLineEdit>(form, "Edit1")));
        control<QPlainTextEdit>(form, "memMsg")->setFocus();
        QTest::keyClick(control<QPlainTextEdit>(form, "memMsg"), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(control<QPlainTextEdit>(form, "memMsg")->toPlainText(), u"ab"_s);
    }

    void ctrlVAndCtrlXRunTheMenuInTheMessageBox()
    {
        TForm1 &form = shownForm();
        activate(form);
        QSignalSpy showReport(control<QAction>(form, "mnuShowReport"), &QAction::triggered);
        QSignalSpy exit(control<QAction>(form, "mnuExit"), &QAction::triggered);
        QApplication::clipboard()->setText(u"pasted"_s);
        control<QPlainTextEdit>(form, "memMsg")->setPlainText(u"abc"_s);
        control<QPlainTextEdit>(form, "memMsg")->setFocus();
        control<QPlainTextEdit>(form, "memMsg")->selectAll();

        QTest::keyClick(control<QPlainTextEdit>(form, "memMsg"), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(showReport.count(), 1);
        QCOMPARE(control<QPlainTextEdit>(form, "memMsg")->toPlainText(), u"abc"_s);

        QTest::keyClick(control<QPlainTextEdit>(form, "memMsg"), Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(exit.count(), 1);
        QCOMPARE(control<QPlainTextEdit>(form, "memMsg")->toPlainText(), u"abc"_s);
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
        QCOMPARE(form.status().portText(), u" Porta: COM12    Baudrate:   1200    Parametri: 7,E,1     "_s);
        settings.port = 16;
        fx->stores->serial.write(settings);
        form.ShowSerialStatus();
        QCOMPARE(form.status().portText(), u" Porta: impostazione non valida"_s);
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
        QCOMPARE(control<QGroupBox>(form, "GroupBox1")->width(), 474);
        QCOMPARE(control<QGroupBox>(form, "GroupBox3")->width(), 474);
        QCOMPARE(control<QTabWidget>(form, "PageControl1")->height(), int(height * 0.25));
        QHeaderView *header = control<QTableView>(form, "DBGrid1")->horizontalHeader();
        const QList<int> expected { 72, 103, 103, 165, 72, 165, 92, 206 };
        for (int column = 0; column < expected.size(); ++column)
            QCOMPARE(header->sectionSize(column), expected.at(column));

        // The arrow buttons are centred in the panel between the lists.
        QTRY_COMPARE(control<QPushButton>(form, "Button1")->x(),
                     (control<QWidget>(form, "pnlBtn")->width() - control<QPushButton>(form, "Button1")->width()) / 2);
        QCOMPARE(control<QPushButton>(form, "Button5")->x(), control<QPushButton>(form, "Button1")->x());
        QVERIFY(control<QPushButton>(form, "Button5")->y() > control<QPushButton>(form, "Button3")->y());
        QTRY_VERIFY(qAbs(control<QDockWidget>(form, "tbxPnl")->height() - int(height * 0.37)) <= 2);
    }

    void capcodeDialogAndMinimising()
    {
        TForm1 &form = shownForm();
        ModalRecorder modals;
        modals.onDialog = [](QDialog *) { return int(QDialog::Rejected); };
        control<QPushButton>(form, "btnHlp")->click(); // no capcode dialog set yet: nothing to show
        CapcodeNote note;
        TOKBottomDlg noteDialog(note);
        TfrmPinId pinId(fx->alerts, note, noteDialog);
        form.setCapcodeDialog(&pinId);
        control<QPushButton>(form, "btnHlp")->click();
        QCOMPARE(modals.dialogs, QList<QDialog *> { &pinId });

        // Without a notification area the minimised window stays reachable on the task bar.
        if (form.findChild<QSystemTrayIcon *>(u"TrayIcon1"_s))
            QSKIP("this desktop has a tray");
        form.showMinimized();
        QTest::qWait(20);
        QVERIFY(form.isVisible());
        control<QAction>(form, "Restore1")->trigger();
        QVERIFY(!form.isMinimized());
    }

    void progressBarIsClamped()
    {
        TForm1 &form = shownForm();
        form.status().setProgress(0, 5);
        QCOMPARE(control<QProgressBar>(form, "PB1")->maximum(), 1);
        QCOMPARE(control<QProgressBar>(form, "PB1")->value(), 1);
        form.status().setProgress(40, 10);
        form.status().advanceProgress(100);
        QCOMPARE(control<QProgressBar>(form, "PB1")->value(), 40);
        form.status().advanceProgress(-100);
        QCOMPARE(control<QProgressBar>(form, "PB1")->value(), 0);
    }

    void testRowsWaitHiddenAndTheFocusSinkIsFirst()
    {
        TForm1 &form = fx->makeForm();
        // A control without a caption of its own is named after its label.
        QCOMPARE(control<QLineEdit>(form, "edtID")->accessibleName(), u"Codifica capcode"_s);

        form.show();
        QVERIFY(!control<QWidget>(form, "Panel5")->isVisible());
        QVERIFY(!control<QWidget>(form, "Panel3")->isVisible());
        QVERIFY(control<QWidget>(form, "pnlPreMsg")->isVisible());
        QVERIFY(control<QDockWidget>(form, "tbxPnl")->isVisible());
        QVERIFY(control<QAction>(form, "NormalMode1")->isChecked());

        // The focus sink is first in the tab order and covered by the message group.
        QWidget *first = form.nextInFocusChain();
        while (first != &form && !(first->isVisible() && (first->focusPolicy() & Qt::TabFocus)))
            first = first->nextInFocusChain();
        QCOMPARE(first, static_cast<QWidget *>(control<QLineEdit>(form, "Edit1")));
        QTRY_VERIFY(
            control<QGroupBox>(form, "GroupBox2")->geometry().contains(control<QLineEdit>(form, "Edit1")->geometry()));
        QWidget *onTop = form.centralWidget()->childAt(control<QLineEdit>(form, "Edit1")->geometry().center());
        QVERIFY(onTop && onTop != control<QLineEdit>(form, "Edit1")
                && control<QGroupBox>(form, "GroupBox2")->isAncestorOf(onTop));
        QVERIFY(control<QLineEdit>(form, "Edit1")->isVisible());
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
