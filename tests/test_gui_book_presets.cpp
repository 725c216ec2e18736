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

using namespace Qt::StringLiterals;

using namespace EntryFormDriver;

// The preset messages window on a real database file: buttons pressed, the table read back
// through a second connection, the main window's preset selector played by the loader.
class TestBookPresets : public QObject
{
    Q_OBJECT

    const QString kSelectAll = u"select Name, Content from templates order by num"_s;

    std::unique_ptr<BookDatabase> m_db;
    RecordingAlertSink m_alerts;
    std::unique_ptr<TfrmPreMsg> m_window;
    QStringList m_selector; // the main window's preset selector
    int m_loads = 0;

    void seed(const QString &name, const QString &content)
    {
        QCOMPARE(m_db->exec(u"insert into templates (Name, Content) values (?, ?)"_s, { name, content }), QString());
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
        seed(u"Saluto"_s, u"Buongiorno"_s);
        seed(u"Rientro"_s, u"Rientrare in sede"_s);
        m_selector = { u"Saluto"_s }; // narrowed by a pick in the main window
        showWindow(m_window.get());
        QCOMPARE(m_loads, 1);
        QCOMPARE(m_selector, QStringList({ "Saluto", "Rientro" }));
        QCOMPARE(m_window->rowCount(), 2);
        QCOMPARE(m_window->DBEdit1->text(), u"Saluto"_s);
        QCOMPARE(m_window->DBMemo1->toPlainText(), u"Buongiorno"_s);
        QVERIFY(inBrowseState(*m_window));
    }

    void filterKeepsCodes32To127()
    {
        showWindow(m_window.get());
        click(m_window->BitBtn1);
        m_window->DBMemo1->setFocus();
        QTest::keyClicks(m_window->DBMemo1, u"Caff"_s);
        QKeyEvent accented(QEvent::KeyPress, Qt::Key_Egrave, Qt::NoModifier, u"\u00e8"_s);
        QCoreApplication::sendEvent(m_window->DBMemo1, &accented);
        QTest::keyClick(m_window->DBMemo1, Qt::Key_Return); // no new line
        QTest::keyClick(m_window->DBMemo1, Qt::Key_Enter);
        m_window->DBMemo1->insertPlainText(u"~\x7f!\x1f"_s);
        QCOMPARE(m_window->DBMemo1->toPlainText(), u"Caff~\x7f!"_s);

        // A pasted two-line text with a tab becomes one line, nothing put in place of the breaks.
        m_window->DBMemo1->clear();
        QGuiApplication::clipboard()->setText(u"riga uno\r\nriga\tdue é"_s);
        m_window->DBMemo1->paste();
        QCOMPARE(m_window->DBMemo1->toPlainText(), u"riga unorigadue "_s);
        QCOMPARE(m_window->DBMemo1->textCursor().position(), 16); // the caret stays at the end
    }

    void longTextIsNeitherCutNorLost()
    {
        showWindow(m_window.get());
        QString text;
        for (int i = 0; i < 9000; ++i)
            text += QChar(u'a' + i % 26);
        enterNew(u"Lungo"_s, text + u"\n\u00e8"_s + text);
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
        seed(u"Saluto"_s, u"Buongiorno"_s);
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
        QCOMPARE(storedNames(), QStringList { u"Saluto"_s });
        QCOMPARE(m_loads, 1); // only the showing
    }

    void editFollowsIntoTheSelector()
    {
        seed(u"Saluto"_s, u"Buongiorno"_s);
        seed(u"Rientro"_s, u"Rientrare"_s);
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
        m_window->DBEdit1->setText(u"Saluto d'inizio"_s);
        m_window->DBMemo1->setPlainText(u"Buonasera"_s);
        click(m_window->BitBtn4);
        QVERIFY(m_alerts.alerts.isEmpty());
        QCOMPARE(m_db->rows(kSelectAll).first(), QVariantList({ "Saluto d'inizio", "Buonasera" }));
        QCOMPARE(m_selector, QStringList({ "Saluto d'inizio", "Rientro" }));
        QCOMPARE(m_loads, 3);

        // A new preset with the apostrophe name in other letters is a duplicate.
        enterNew(u"SALUTO D'INIZIO"_s, u"x"_s);
        click(m_window->BitBtn4);
        QCOMPARE(m_alerts.texts(), QStringList { u"The template is already exist!"_s });
    }
};

QTEST_MAIN(TestBookPresets)
#include "test_gui_book_presets.moc"
