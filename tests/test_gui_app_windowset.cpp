#include "app/WindowSet.h"
#include "tests/support/AssembledConsole.h"
#include "tests/support/Controls.h"
#include "tests/support/ModalRecorder.h"
#include "ui/FileDialogs.h"
#include "ui/StatusBar.h"
#include "ui/Unit2.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTextDocument>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

// The whole console as start-up builds it: a fresh folder, the real start-up, every window
// created and wired. What is checked here is what only the assembled program can show.
class TestGuiAppWindowSet : public QObject
{
    Q_OBJECT

    using Console = AssembledConsole;

private slots:
    void cleanup() { FileDialogs::clearNextFileName(); }

    // "Esporta CSV..." given the live database or a file of its own: refused, and the file is
    // as it was (an export would have been renamed over it).
    void noDialogHandsOutTheLiveDatabase_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : { "TALVENK.db", "TALVENK.db-wal", "TALVENK.db-shm", "TALVENK.db.lock", "TALVENK.tmp",
                                  "link.db", "hardlink.db", "sub/../TALVENK.db" })
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void noDialogHandsOutTheLiveDatabase()
    {
        QFETCH(QString, name);
        Console console;
        QVERIFY(console.start());
        console.stores->report.append({ 0, "a", "b", {}, "Si ", {}, "OK", "m" });
        const QString db = console.dir.filePath(QStringLiteral("TALVENK.db"));
        QVERIFY(QFile::link(db, console.dir.filePath(QStringLiteral("link.db"))));
        QVERIFY(::link(QFile::encodeName(db).constData(),
                       QFile::encodeName(console.dir.filePath(QStringLiteral("hardlink.db"))).constData())
                == 0);
        QVERIFY(QDir(console.dir.path()).mkdir(QStringLiteral("sub")));
        const QString chosen = console.dir.filePath(name);
        // Looked at without opening anything, which would drop the engine's locks.
        auto look = [&chosen] {
            struct stat st;
            if (::stat(QFile::encodeName(chosen).constData(), &st) != 0)
                return QList<qint64>();
            return QList<qint64> { qint64(st.st_ino), qint64(st.st_size), qint64(st.st_mtim.tv_sec),
                                   qint64(st.st_mtim.tv_nsec) };
        };
        const QList<qint64> before = look();
        console.alerts.clear();

        ModalRecorder modals;
        modals.onDialog = [&](QDialog *dialog) {
            if (auto *report = qobject_cast<TfrmHis *>(dialog)) {
                FileDialogs::setNextFileName(chosen);
                report->btnExportCsv->click();
            }
            return int(QDialog::Rejected);
        };
        control<QAction>(console.form(), "OpenHistory1")->trigger();

        QCOMPARE(console.alerts.texts(), QStringList(FileDialogs::RefusalText.arg(chosen)));
        QCOMPARE(console.alerts.alerts.first().caption, QStringLiteral("Esporta CSV"));
        QCOMPARE(look(), before);
        QCOMPARE(console.stores->report.find(1)->recipt, QStringLiteral("a"));
    }

    void aFirstStartCreatesTheDatabaseAndShowsTheDefaultPort()
    {
        Console console;
        QVERIFY(console.start());
        QCOMPARE(console.alerts.alerts.size(), 1);
        QCOMPARE(console.alerts.alerts.first().text,
                 QStringLiteral("Creato un nuovo database vuoto: %1").arg(console.dir.filePath("TALVENK.db")));
        QCOMPARE(console.alerts.alerts.first().caption, QStringLiteral("Informazione"));

        // Creating the COM settings window put the default row into the empty table.
        const SerialSettings serial = console.stores->serial.read();
        QCOMPARE((QList<int> { serial.port, serial.baud, serial.data }), (QList<int> { 0, 3, 1 }));
        // The first frame is not held back by an old busy estimate.
        QCOMPARE(console.state.busyDeadline.get(), console.clock.tickMs());

        TForm1 &form = console.windows->mainWindow();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.status().portText().contains(QStringLiteral("COM1")));
        QVERIFY(form.status().portText().contains(QStringLiteral("9600")));
        QCOMPARE(form.status().stateText(), QStringLiteral("Pronto"));
    }

    void theMenusOpenTheirWindows()
    {
        Console console;
        QVERIFY(console.start());
        TForm1 &form = console.windows->mainWindow();
        ModalRecorder modals;
        modals.onDialog = [](QDialog *) { return int(QDialog::Rejected); };
        for (QAction *action : { control<QAction>(form, "Recipient1"), control<QAction>(form, "mnuPreMsg"),
                                 control<QAction>(form, "COMPort1"), control<QAction>(form, "OpenHistory1"),
                                 control<QAction>(form, "About1") })
            action->trigger();
        QCOMPARE(modals.classNames,
                 (QStringList { QStringLiteral("TfrmRecpt"), QStringLiteral("TfrmPreMsg"), QStringLiteral("TfrmCOM"),
                                QStringLiteral("TfrmHis"), QStringLiteral("TAboutBox") }));
    }

    // Screen readers and UI automation find every control by its accessible name, and the
    // tests and the designer names find it by its object name. A label reads what it shows
    // now, never a fixed name: status panels, counters and countdowns change their text.
    void everyControlOfEveryWindowHasANameToBeFoundBy()
    {
        Console console;
        QVERIFY(console.start());
        QStringList nameless;
        QStringList misread;
        int checked = 0;
        int labels = 0;
        const auto windows = QApplication::topLevelWidgets();
        QVERIFY(windows.size() >= 10);
        for (QWidget *window : windows) {
            for (QWidget *widget : window->findChildren<QWidget *>()) {
                if (auto *label = qobject_cast<QLabel *>(widget)) {
                    ++labels;
                    const QString shown = label->text();
                    const QString read = nameOf(label);
                    label->setText(QStringLiteral("42"));
                    if (read != shownText(label, shown) || nameOf(label) != QLatin1String("42"))
                        misread << QStringLiteral("%1 \"%2\" in %3 reads \"%4\"")
                                       .arg(label->objectName(), shown, window->objectName(), read);
                    label->setText(shown);
                    continue;
                }
                const bool control = qobject_cast<QAbstractButton *>(widget) || qobject_cast<QLineEdit *>(widget)
                    || qobject_cast<QComboBox *>(widget) || qobject_cast<QPlainTextEdit *>(widget)
                    || qobject_cast<QProgressBar *>(widget) || qobject_cast<QAbstractItemView *>(widget);
                // Qt's own inner parts (the line edit of a combo box, the views of its popup,
                // the headers of a grid, tab-bar and dock buttons) are reached through their owner.
                if (!control || widget->objectName().startsWith(QLatin1String("qt_"))
                    || qobject_cast<QComboBox *>(widget->parentWidget())
                    || qobject_cast<QAbstractItemView *>(widget->parentWidget())
                    || widget->inherits("QComboBoxPrivateContainer") || widget->parentWidget()->inherits("QTabBar")
                    || widget->parentWidget()->inherits("QDockWidget")
                    || widget->parentWidget()->inherits("QComboBoxPrivateContainer"))
                    continue;
                ++checked;
                if (widget->objectName().isEmpty() || nameOf(widget).trimmed().isEmpty())
                    nameless << QStringLiteral("%1 in %2 (%3)")
                                    .arg(widget->objectName(), window->objectName(),
                                         QString::fromLatin1(widget->metaObject()->className()));
            }
        }
        QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(QStringLiteral("; "))));
        QVERIFY2(misread.isEmpty(), qPrintable(misread.join(QStringLiteral("; "))));
        QVERIFY(checked > 60);
        QVERIFY(labels > 30);
    }

    // What a screen reader says for the status bar and the counters: their current text, with
    // the caption beside a number as its description.
    void displaysReadTheirCurrentTextAndTheirCaption()
    {
        Console console;
        QVERIFY(console.start());
        TForm1 &form = console.windows->mainWindow();
        control<QPlainTextEdit>(form, "memMsg")->setPlainText(QStringLiteral("Ciao"));
        form.status().setStateText(QStringLiteral("Invio fallito!"));
        QCOMPARE(nameOf(control<QLabel>(form, "lblLength")), QStringLiteral("4"));
        QCOMPARE(textOf(control<QLabel>(form, "lblLength"), QAccessible::Description), QStringLiteral("N° car."));
        QCOMPARE(nameOf(form.findChild<QLabel *>(QStringLiteral("StatusPanel2"))), QStringLiteral("Invio fallito!"));

        QWidget *range = nullptr;
        for (QWidget *window : QApplication::topLevelWidgets())
            if (window->objectName() == QLatin1String("frmRange"))
                range = window;
        QVERIFY(range);
        auto *seconds = range->findChild<QLabel *>(QStringLiteral("lblSec"));
        seconds->setText(QStringLiteral("12"));
        QCOMPARE(nameOf(seconds), QStringLiteral("12"));
        QCOMPARE(textOf(seconds, QAccessible::Description), QStringLiteral("Count Down Second"));
    }

private:
    static QString textOf(QWidget *widget, QAccessible::Text which)
    {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
        return accessible ? accessible->text(which) : QString();
    }
    static QString nameOf(QWidget *widget) { return textOf(widget, QAccessible::Name); }

    // The text a label shows: rich text as plain text, and a caption's mnemonic marker removed.
    static QString shownText(const QLabel *label, QString text)
    {
        if (label->textFormat() == Qt::RichText || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(text))) {
            QTextDocument document;
            document.setHtml(text);
            text = document.toPlainText();
        }
        if (!label->buddy())
            return text;
        QString shown;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i) == QLatin1Char('&') && ++i == text.size())
                break;
            shown += text.at(i);
        }
        return shown;
    }
};

QTEST_MAIN(TestGuiAppWindowSet)
#include "test_gui_app_windowset.moc"
