#include "book/Premsg.h"
#include "tests/support/BookDatabase.h"
#include "tests/support/EntryFormDriver.h"
#include "tests/support/RecordingAlertSink.h"

#include <QClipboard>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

using namespace EntryFormDriver;

// The preset messages window on a real database file: buttons pressed, the table read back
// through a second connection, the main window's preset selector played by the loader.
class TestBookPresets : public QObject
{
    Q_OBJECT

    const QString kSelectAll = QStringLiteral("select Name, Content from templates order by num");

    std::unique_ptr<BookDatabase> m_db;
    RecordingAlertSink m_alerts;
    std::unique_ptr<TfrmPreMsg> m_window;
    QStringList m_selector; // the main window's preset selector
    int m_loads = 0;

    void seed(const QString &name, const QString &content)
    {
        QCOMPARE(m_db->exec(QStringLiteral("insert into templates (Name, Content) values (?, ?)"), { name, content }),
                 QString());
    }

    void enterNew(const QString &name, const QString &content)
    {
        click(m_window->BitBtn1);
        m_window->DBEdit1->setText(name);
        m_window->DBMemo1->setPlainText(content);
    }

    QStringList storedNames() { return m_db->column(kSelectAll); }

private slots:
    void init()
    {
        m_db = std::make_unique<BookDatabase>();
        QVERIFY2(m_db->error().isEmpty(), qPrintable(m_db->error()));
        m_alerts.clear();
        m_selector.clear();
        m_loads = 0;
        m_window = std::make_unique<TfrmPreMsg>(*m_db->stores, m_alerts, [this] {
            ++m_loads;
            m_selector.clear();
            for (const PresetMessage &t : m_db->stores->templates.all())
                m_selector << t.name;
        });
    }

    void cleanup()
    {
        m_window.reset();
        m_db.reset();
    }

    void showingReloadsTheSelectorAndTheList()
    {
        seed(QStringLiteral("Saluto"), QStringLiteral("Buongiorno"));
        seed(QStringLiteral("Rientro"), QStringLiteral("Rientrare in sede"));
        m_selector = { QStringLiteral("Saluto") }; // narrowed by a pick in the main window
        showWindow(m_window.get());
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Database messaggi"));
        QCOMPARE(m_window->DBGrid1->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Messaggi"));
        QCOMPARE(m_loads, 1);
        QCOMPARE(m_selector, QStringList({ "Saluto", "Rientro" }));
        QCOMPARE(m_window->rowCount(), 2);
        QCOMPARE(m_window->DBEdit1->text(), QStringLiteral("Saluto"));
        QCOMPARE(m_window->DBMemo1->toPlainText(), QStringLiteral("Buongiorno"));
        QVERIFY(inBrowseState(*m_window));
    }

    void filterKeepsCodes32To127()
    {
        showWindow(m_window.get());
        click(m_window->BitBtn1);
        m_window->DBMemo1->setFocus();
        QTest::keyClicks(m_window->DBMemo1, QStringLiteral("Caff"));
        QKeyEvent accented(QEvent::KeyPress, Qt::Key_Egrave, Qt::NoModifier, QStringLiteral("\u00e8"));
        QCoreApplication::sendEvent(m_window->DBMemo1, &accented);
        QTest::keyClick(m_window->DBMemo1, Qt::Key_Return); // no new line
        QTest::keyClick(m_window->DBMemo1, Qt::Key_Enter);
        m_window->DBMemo1->insertPlainText(QStringLiteral("~\x7f!\x1f"));
        QCOMPARE(m_window->DBMemo1->toPlainText(), QStringLiteral("Caff~\x7f!"));

        // A pasted two-line text with a tab becomes one line, nothing put in place of the breaks.
        m_window->DBMemo1->clear();
        QGuiApplication::clipboard()->setText(QStringLiteral("riga uno\r\nriga\tdue é"));
        m_window->DBMemo1->paste();
        QCOMPARE(m_window->DBMemo1->toPlainText(), QStringLiteral("riga unorigadue "));
        QCOMPARE(m_window->DBMemo1->textCursor().position(), 16); // the caret stays at the end
    }

    void longTextIsNeitherCutNorLost()
    {
        showWindow(m_window.get());
        QString text;
        for (int i = 0; i < 9000; ++i)
            text += QChar(u'a' + i % 26);
        enterNew(QStringLiteral("Lungo"), text + QStringLiteral("\n\u00e8") + text);
        QCOMPARE(m_window->DBMemo1->toPlainText(), text + text);
        click(m_window->BitBtn4);
        QVERIFY(m_alerts.alerts.isEmpty());
        QCOMPARE(m_db->rows(kSelectAll).first().at(1).toString(), text + text);
    }

    void refusals_data()
    {
        // clang-format off
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("caption"); // empty: a plain box
        QTest::newRow("duplicate with blanks and case") << "  SALUTO " << "Ciao" << "The template is already exist!" << "";
        QTest::newRow("blank name") << "   " << "Ciao" << "Template can not empty!" << "Template Error";
        QTest::newRow("blank text") << "Nuovo" << "    " << "Content can not empty!" << "Template Error";
        // clang-format on
    }

    void refusals()
    {
        QFETCH(QString, name);
        QFETCH(QString, content);
        QFETCH(QString, message);
        QFETCH(QString, caption);
        seed(QStringLiteral("Saluto"), QStringLiteral("Buongiorno"));
        showWindow(m_window.get());
        enterNew(name, content);
        click(m_window->BitBtn4);
        QCOMPARE(m_alerts.texts(), QStringList { message });
        const RecordingAlertSink::Alert alert = m_alerts.alerts.first();
        if (caption.isEmpty()) {
            QCOMPARE(alert.kind, RecordingAlertSink::Alert::Plain);
        } else {
            QCOMPARE(alert.caption, caption);
            QCOMPARE(alert.icon, AlertIcon::Warning);
        }
        QVERIFY(inEntryState(*m_window));
        QCOMPARE(m_window->DBEdit1->text(), name);
        QCOMPARE(storedNames(), QStringList { QStringLiteral("Saluto") });
        QCOMPARE(m_loads, 1); // only the showing
    }

    void editFollowsIntoTheSelector()
    {
        seed(QStringLiteral("Saluto"), QStringLiteral("Buongiorno"));
        seed(QStringLiteral("Rientro"), QStringLiteral("Rientrare"));
        showWindow(m_window.get());

        // Unchanged: stored as it is, own name not a duplicate.
        click(m_window->BitBtn2);
        QCOMPARE(m_window->editMode(), EditMode::Existing);
        QVERIFY(inEntryState(*m_window));
        click(m_window->BitBtn4);
        QVERIFY(m_alerts.alerts.isEmpty());
        QVERIFY(inBrowseState(*m_window));

        m_window->DBGrid1->setCurrentIndex(m_window->DBGrid1->model()->index(0, 0));
        click(m_window->BitBtn2);
        m_window->DBEdit1->setText(QStringLiteral("Saluto d'inizio"));
        m_window->DBMemo1->setPlainText(QStringLiteral("Buonasera"));
        click(m_window->BitBtn4);
        QVERIFY(m_alerts.alerts.isEmpty());
        QCOMPARE(m_db->rows(kSelectAll).first(), QVariantList({ "Saluto d'inizio", "Buonasera" }));
        QCOMPARE(m_selector, QStringList({ "Saluto d'inizio", "Rientro" }));
        QCOMPARE(m_loads, 3);

        // A new preset with the apostrophe name in other letters is a duplicate.
        enterNew(QStringLiteral("SALUTO D'INIZIO"), QStringLiteral("x"));
        click(m_window->BitBtn4);
        QCOMPARE(m_alerts.texts(), QStringList { QStringLiteral("The template is already exist!") });
    }

    void closingAbandonsTheEntry()
    {
        seed(QStringLiteral("Saluto"), QStringLiteral("Buongiorno"));
        showWindow(m_window.get());
        click(m_window->BitBtn2);
        m_window->DBMemo1->setPlainText(QStringLiteral("cambiato"));
        click(m_window->BitBtn6);
        QVERIFY(!m_window->isVisible());
        QCOMPARE(m_loads, 2);
        QCOMPARE(m_db->rows(kSelectAll).first().at(1).toString(), QStringLiteral("Buongiorno"));
        QCOMPARE(m_window->DBMemo1->toPlainText(), QStringLiteral("Buongiorno"));
        QVERIFY(inBrowseState(*m_window));
    }

    void emptyTableAndDelete()
    {
        showWindow(m_window.get());
        click(m_window->BitBtn2);
        click(m_window->BitBtn3);
        QCOMPARE(m_alerts.texts(), QStringList({ "Database is empty!", "Database is empty!" }));

        enterNew(QStringLiteral("Saluto"), QStringLiteral("Ciao"));
        click(m_window->BitBtn4);
        m_alerts.clear();
        m_alerts.answers.enqueue(false);
        click(m_window->BitBtn3);
        QCOMPARE(storedNames(), QStringList { QStringLiteral("Saluto") });
        m_alerts.answers.enqueue(true);
        click(m_window->BitBtn3);
        QCOMPARE(m_alerts.texts(),
                 QStringList({ "Are you sure delete this record !", "Are you sure delete this record !" }));
        QVERIFY(storedNames().isEmpty());
        QCOMPARE(m_window->rowCount(), 0);
        QVERIFY(m_window->DBEdit1->text().isEmpty());
    }
};

QTEST_MAIN(TestBookPresets)
#include "test_gui_book_presets.moc"
