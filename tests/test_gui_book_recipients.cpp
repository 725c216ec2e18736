#include "app/ModalRunner.h"
#include "book/CapcodeNote.h"
#include "book/OKBottomDlg.h"
#include "book/Recpt.h"
#include "link/Pinid.h"
#include "tests/support/BookDatabase.h"
#include "tests/support/EntryFormDriver.h"
#include "tests/support/RecordingAlertSink.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

using namespace Qt::StringLiterals;

using namespace EntryFormDriver;

// The recipients window on a real database file: buttons pressed, the table read back through
// a second connection.
class TestBookRecipients : public QObject
{
    Q_OBJECT

    const QString kBadCapcode = u"Capcode non amesso!!!"_s + QString(24, QLatin1Char(' '));
    const QString kBadFormat = u"La codifica del capcode è errata!!!  "_s;
    const QString kSelectAll = u"select Recipient, PinID, SendName, FirstName from recipients order by num"_s;

    std::unique_ptr<BookDatabase> m_db;
    RecordingAlertSink m_alerts;
    CapcodeNote m_note;
    std::unique_ptr<TOKBottomDlg> m_noteDialog;
    std::unique_ptr<TfrmPinId> m_pinId;
    std::unique_ptr<TfrmRecpt> m_window;
    QList<QDialog *> m_modals;
    QStringList m_noteHeadings;
    std::function<void(QDialog *)> m_onModal;
    // The main window's lists as its loader leaves them.
    QStringList m_userList;
    QStringList m_sendList;
    int m_loads = 0;

    void seed(const QString &name, const QString &code = u"0001234A51"_s, bool sendName = false)
    {
        QCOMPARE(m_db->exec(u"insert into recipients (Recipient, PinID, SendName) values (?, ?, ?)"_s,
                            { name, code, int(sendName) }),
                 QString());
    }

    void enterNew(const QString &name, const QString &code)
    {
        click(m_window->BitBtn1);
        m_window->DBEdit1->setText(name);
        m_window->DBEdit7->setText(code);
    }

    QStringList storedNames() { return m_db->column(kSelectAll); }

private slots:
    void init()
    {
        m_db = std::make_unique<BookDatabase>();
        QVERIFY2(m_db->error().isEmpty(), qPrintable(m_db->error()));
        m_alerts.clear();
        m_note.text.clear();
        m_modals.clear();
        m_noteHeadings.clear();
        m_onModal = nullptr;
        m_userList.clear();
        m_sendList = { u"someone"_s };
        m_loads = 0;
        m_noteDialog = std::make_unique<TOKBottomDlg>(m_note);
        m_pinId = std::make_unique<TfrmPinId>(m_alerts, m_note, *m_noteDialog);
        m_window = std::make_unique<TfrmRecpt>(*m_db->stores, m_alerts, m_note, *m_noteDialog, *m_pinId, [this] {
            ++m_loads;
            m_sendList.clear();
            m_userList.clear();
            for (const Recipient &r : m_db->stores->recipients.all())
                m_userList << r.recipient;
        });
        ModalRunner::setInterceptor([this](QDialog *dialog) {
            m_modals << dialog;
            if (dialog == m_noteDialog.get()) {
                dialog->show();
                m_noteHeadings << m_noteDialog->Label1->text();
                dialog->hide();
            }
            if (m_onModal)
                m_onModal(dialog);
            return int(QDialog::Accepted);
        });
    }

    void cleanup()
    {
        ModalRunner::clearInterceptor();
        m_window.reset();
        m_pinId.reset();
        m_noteDialog.reset();
        m_db.reset();
    }

    void scriviOnlyInTheEntryState()
    {
        showWindow(m_window.get());
        // "Scrivi" is enabled only in the entry state, also right after the list was opened.
        QVERIFY(inBrowseState(*m_window));
        click(m_window->BitBtn1);
        QVERIFY(inEntryState(*m_window));
        click(m_window->BitBtn5);
        QVERIFY(inBrowseState(*m_window));
    }

    void codeCases_data()
    {
        // clang-format off
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // empty: refused
        QTest::addColumn<QString>("note");
        QTest::newRow("1234A51") << "1234A51" << "0001234A51" << "";
        QTest::newRow("8A51") << "8A51" << "0000008A51" << "";
        QTest::newRow("2097151A51") << "2097151A51" << "2097151A51" << "";
        QTest::newRow("lower-case n kept") << "0001234n52" << "0001234n52" << "";
        QTest::newRow("lower-case a kept") << "1234a20" << "0001234a20" << "";
        QTest::newRow("7A51") << "7A51" << "" << kBadCapcode;
        QTest::newRow("2097152A51") << "2097152A51" << "" << kBadCapcode;
        QTest::newRow("123") << "123" << "" << kBadFormat;
        QTest::newRow("empty code") << "" << "" << kBadFormat;
        QTest::newRow("0001234X51") << "0001234X51" << "" << "Message encoding type error !";
        QTest::newRow("0001234A31") << "0001234A31" << "" << "RF data rate error !";
        QTest::newRow("0001234A5A") << "0001234A5A" << "" << "Function code error !";
        // clang-format on
    }

    void codeCases()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(QString, note);
        showWindow(m_window.get());
        enterNew(u"Mario"_s, typed);
        click(m_window->BitBtn4);
        QVERIFY(m_alerts.alerts.isEmpty());
        if (stored.isEmpty()) {
            QCOMPARE(m_note.text, note);
            QCOMPARE(m_modals, QList<QDialog *> { m_noteDialog.get() });
            QCOMPARE(m_window->focusWidget(), m_window->DBEdit7);
            QCOMPARE(m_window->DBEdit7->text(), typed); // kept as typed
            QVERIFY(inEntryState(*m_window));
            QVERIFY(storedNames().isEmpty());
            QCOMPARE(m_loads, 0);
        } else {
            QVERIFY(m_modals.isEmpty());
            QCOMPARE(m_db->rows(kSelectAll).size(), 1);
            QCOMPARE(m_db->rows(kSelectAll).first().at(1).toString(), stored);
            QCOMPARE(m_window->DBEdit7->text(), stored);
            QVERIFY(inBrowseState(*m_window));
            QCOMPARE(m_loads, 1);
            QCOMPARE(m_userList, QStringList { u"Mario"_s });
        }
    }

    void noteHeadingNamesTheFailedRule()
    {
        showWindow(m_window.get());
        enterNew(u"Mario"_s, u"123"_s);
        click(m_window->BitBtn4);
        QCOMPARE(m_noteHeadings,
                 QStringList { kBadFormat + u" Leggere la nota sotto e poi premere [...]"_s
                               + QString(20, QLatin1Char(' ')) });
    }

    void longerStoredCodeIsRefused()
    {
        seed(u"Mario"_s, u"00001234A51"_s);
        showWindow(m_window.get());
        QCOMPARE(m_window->DBEdit7->text(), u"00001234A51"_s); // shown in full
        click(m_window->BitBtn2);
        click(m_window->BitBtn4);
        QCOMPARE(m_note.text, kBadFormat);
        QVERIFY(inEntryState(*m_window));
        QCOMPARE(m_db->column(u"select PinID from recipients"_s), QStringList { u"00001234A51"_s });

        // A new record gets the ten-character limit back.
        click(m_window->BitBtn5);
        click(m_window->BitBtn1);
        QCOMPARE(m_window->DBEdit7->maxLength(), 10);
    }

    void duplicateNames_data()
    {
        // clang-format off
        QTest::addColumn<QString>("storedName");
        QTest::addColumn<QString>("newName");
        QTest::addColumn<bool>("refused");
        QTest::newRow("letter case") << "Mario Rossi" << "MARIO rossi" << true;
        QTest::newRow("blanks around the new name") << "Mario" << "  Mario\t " << true;
        QTest::newRow("stored name with blanks compared as stored") << " Mario " << "Mario" << false;
        QTest::newRow("apostrophe") << "D'Angelo" << "d'angelo" << true;
        QTest::newRow("empty stored name before the empty-name check") << "" << "   " << true;
        QTest::newRow("different") << "Mario" << "Maria" << false;
        // clang-format on
    }

    void duplicateNames()
    {
        QFETCH(QString, storedName);
        QFETCH(QString, newName);
        QFETCH(bool, refused);
        seed(storedName);
        showWindow(m_window.get());
        enterNew(newName, u"1234A51"_s);
        click(m_window->BitBtn4);
        if (refused) {
            QCOMPARE(m_alerts.texts(), QStringList { u"The recipient is already exist!"_s });
            QCOMPARE(m_alerts.alerts.first().kind, RecordingAlertSink::Alert::Plain);
            QCOMPARE(m_window->focusWidget(), m_window->DBEdit1);
            QCOMPARE(m_window->DBEdit1->text(), newName);
            QVERIFY(inEntryState(*m_window));
            QCOMPARE(storedNames(), QStringList { storedName });
        } else {
            QVERIFY(m_alerts.alerts.isEmpty());
            QCOMPARE(storedNames(), QStringList({ storedName, newName }));
        }
    }

    void emptyName()
    {
        showWindow(m_window.get());
        enterNew(u" \t "_s, u"1234A51"_s);
        click(m_window->BitBtn4);
        QCOMPARE(m_alerts.alerts.size(), 1);
        QCOMPARE(m_alerts.alerts.first().text, u"Recipient can not empty!"_s);
        QCOMPARE(m_alerts.alerts.first().caption, u"Recipient Error"_s);
        QCOMPARE(m_alerts.alerts.first().icon, AlertIcon::Warning);
        QVERIFY(inEntryState(*m_window));
        QVERIFY(storedNames().isEmpty());
    }

    void apostropheNameIsStoredAndFound()
    {
        showWindow(m_window.get());
        enterNew(u"D'Angelo"_s, u"1234A51"_s);
        m_window->DBEdit2->setText(u"Gianni"_s);
        click(m_window->BitBtn4);
        QVERIFY(m_alerts.alerts.isEmpty());
        QCOMPARE(storedNames(), QStringList { u"D'Angelo"_s });
        QCOMPARE(m_db->stores->recipients.findByName(u"D'Angelo"_s)->firstName, u"Gianni"_s);
    }

    void editKeepsOwnNameAndStoresUnchangedRecord()
    {
        seed(u"Anna"_s, u"0000111A11"_s);
        seed(u"Mario"_s, u"0001234A51"_s, true);
        showWindow(m_window.get());
        selectRow(*m_window, 1);
        QCOMPARE(m_window->DBEdit1->text(), u"Mario"_s);
        QVERIFY(m_window->DBCheckBox1->isChecked());

        // Nothing changed: stored as it is.
        click(m_window->BitBtn2);
        QCOMPARE(m_window->editMode(), EditMode::Existing);
        QVERIFY(inEntryState(*m_window));
        click(m_window->BitBtn4);
        QVERIFY(m_alerts.alerts.isEmpty());
        QVERIFY(inBrowseState(*m_window));
        QCOMPARE(m_db->rows(kSelectAll).at(1).mid(0, 3), QVariantList({ "Mario", "0001234A51", 1 }));

        // Own name kept, code changed.
        selectRow(*m_window, 1);
        click(m_window->BitBtn2);
        m_window->DBEdit7->setText(u"1234N22"_s);
        click(m_window->BitBtn4);
        QVERIFY(m_alerts.alerts.isEmpty());
        QCOMPARE(m_db->column(u"select PinID from recipients where Recipient='Mario'"_s),
                 QStringList { u"0001234N22"_s });

        // Another user's name, in other letters: refused.
        selectRow(*m_window, 1);
        click(m_window->BitBtn2);
        m_window->DBEdit1->setText(u"ANNA"_s);
        click(m_window->BitBtn4);
        QCOMPARE(m_alerts.texts(), QStringList { u"The recipient is already exist!"_s });
        QCOMPARE(storedNames(), QStringList({ "Anna", "Mario" }));
    }

    void newUserStartsUnticked()
    {
        seed(u"Mario"_s, u"0001234A51"_s, true);
        showWindow(m_window.get());
        QVERIFY(m_window->DBCheckBox1->isChecked());
        click(m_window->BitBtn1);
        QCOMPARE(m_window->editMode(), EditMode::New);
        QVERIFY(!m_window->DBCheckBox1->isChecked());
        QVERIFY(m_window->DBEdit1->text().isEmpty());
        m_window->DBEdit1->setText(u"Luigi"_s);
        m_window->DBEdit7->setText(u"555A12"_s);
        click(m_window->BitBtn4);
        QCOMPARE(m_db->rows(kSelectAll).at(1).at(2).toInt(), 0);
        // After a store the last record is current.
        QCOMPARE(m_window->DBEdit1->text(), u"Luigi"_s);
    }

    void closingDuringEntryDiscardsIt()
    {
        seed(u"Mario"_s);
        showWindow(m_window.get());
        enterNew(u"Luigi"_s, u"1234A51"_s);
        click(m_window->BitBtn6);
        QVERIFY(!m_window->isVisible());
        QCOMPARE(m_loads, 1);
        QVERIFY(m_sendList.isEmpty());
        QCOMPARE(m_userList, QStringList { u"Mario"_s });
        QCOMPARE(storedNames(), QStringList { u"Mario"_s });
        QVERIFY(inBrowseState(*m_window));
        QCOMPARE(m_window->DBEdit1->text(), u"Mario"_s);

        // Shown again: browse state, "Scrivi" still disabled.
        showWindow(m_window.get());
        QVERIFY(inBrowseState(*m_window));
    }

    void cancelRestoresTheStoredValues()
    {
        seed(u"Mario"_s);
        showWindow(m_window.get());
        click(m_window->BitBtn2);
        m_window->DBEdit1->setText(u"Changed"_s);
        click(m_window->BitBtn5);
        QCOMPARE(m_window->DBEdit1->text(), u"Mario"_s);
        QVERIFY(inBrowseState(*m_window));
        QCOMPARE(m_loads, 0);
        QCOMPARE(storedNames(), QStringList { u"Mario"_s });
    }

    void emptyTableAndDelete()
    {
        showWindow(m_window.get());
        click(m_window->BitBtn2);
        click(m_window->BitBtn3);
        QCOMPARE(m_alerts.texts(), QStringList({ "Database is empty!", "Database is empty!" }));
        QVERIFY(inBrowseState(*m_window));

        seed(u"Anna"_s);
        seed(u"Mario"_s);
        m_window->close();
        showWindow(m_window.get());
        selectRow(*m_window, 1);
        m_alerts.clear();
        m_alerts.answers.enqueue(false);
        click(m_window->BitBtn3);
        QCOMPARE(m_alerts.alerts.size(), 1);
        QCOMPARE(m_alerts.alerts.first().text, u"Are you sure delete this record !"_s);
        QCOMPARE(m_alerts.alerts.first().kind, RecordingAlertSink::Alert::Question);
        QCOMPARE(m_alerts.alerts.first().icon, AlertIcon::Information);
        QCOMPARE(storedNames(), QStringList({ "Anna", "Mario" }));

        m_alerts.answers.enqueue(true);
        const int loadsBefore = m_loads;
        click(m_window->BitBtn3);
        QCOMPARE(storedNames(), QStringList { u"Anna"_s });
        QCOMPARE(m_window->rowCount(), 1);
        QCOMPARE(m_loads, loadsBefore); // the main window's lists follow on closing
    }

    void dataLayerFailureKeepsTheEntry()
    {
        showWindow(m_window.get());
        enterNew(u"Mario"_s, u"1234A51"_s);
        QCOMPARE(m_db->exec(u"drop table recipients"_s), QString());
        click(m_window->BitBtn4);
        QCOMPARE(m_alerts.alerts.size(), 1);
        QVERIFY2(m_alerts.lastText().contains(u"recipients"_s), qPrintable(m_alerts.lastText()));
        QVERIFY(inEntryState(*m_window));
        QCOMPARE(m_window->DBEdit1->text(), u"Mario"_s);
        QCOMPARE(m_loads, 0);
    }

    void capcodeButtonComposesIntoTheCodeField()
    {
        showWindow(m_window.get());
        enterNew(u"Mario"_s, u"123n14"_s);
        m_onModal = [this](QDialog *dialog) {
            if (dialog != m_pinId.get())
                return;
            dialog->show();
            QCOMPARE(m_pinId->edtIDPin->text(), u"0000123N14"_s);
            QTest::mouseClick(m_pinId->Button1, Qt::LeftButton);
        };
        click(m_window->Button1);
        QCOMPARE(m_modals, QList<QDialog *> { m_pinId.get() });
        QCOMPARE(m_pinId->target(), m_window->DBEdit7);
        QCOMPARE(m_window->DBEdit7->text(), u"0000123N14"_s);
        click(m_window->BitBtn4);
        QCOMPARE(m_db->column(u"select PinID from recipients"_s), QStringList { u"0000123N14"_s });
    }
};

QTEST_MAIN(TestBookRecipients)
#include "test_gui_book_recipients.moc"
