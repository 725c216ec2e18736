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

using namespace EntryFormDriver;

// The recipients window on a real database file: buttons pressed, the table read back through
// a second connection.
class TestBookRecipients : public QObject
{
    Q_OBJECT

    const QString kBadCapcode = QStringLiteral("Capcode non amesso!!!") + QString(24, QLatin1Char(' '));
    const QString kBadFormat = QStringLiteral("La codifica del capcode è errata!!!  ");
    const QString kSelectAll
        = QStringLiteral("select Recipient, PinID, SendName, FirstName from recipients order by num");

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

    void seed(const QString &name, const QString &code = QStringLiteral("0001234A51"), bool sendName = false)
    {
        QCOMPARE(m_db->exec(QStringLiteral("insert into recipients (Recipient, PinID, SendName) values (?, ?, ?)"),
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
        m_sendList = { QStringLiteral("someone") };
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

    void layoutAndStartState()
    {
        showWindow(m_window.get());
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Database utenti"));
        QCOMPARE(m_window->DBGrid1->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Utenti"));
        QCOMPARE(m_window->Edit1->text(), QStringLiteral("2000"));
        QVERIFY(!m_window->Edit1->isEnabled());
        QCOMPARE(m_window->DBCheckBox1->text(), QStringLiteral("Anteponi \"Nome\""));
        QCOMPARE(m_window->DBEdit7->maxLength(), 10);
        QVERIFY(!m_window->DBEdit0->isVisible());
        QVERIFY(!(m_window->windowFlags() & Qt::WindowMinMaxButtonsHint));
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
        enterNew(QStringLiteral("Mario"), typed);
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
            QCOMPARE(m_userList, QStringList { QStringLiteral("Mario") });
        }
    }

    void noteHeadingNamesTheFailedRule()
    {
        showWindow(m_window.get());
        enterNew(QStringLiteral("Mario"), QStringLiteral("123"));
        click(m_window->BitBtn4);
        QCOMPARE(m_noteHeadings,
                 QStringList { kBadFormat + QStringLiteral(" Leggere la nota sotto e poi premere [...]")
                               + QString(20, QLatin1Char(' ')) });
    }

    void longerStoredCodeIsRefused()
    {
        seed(QStringLiteral("Mario"), QStringLiteral("00001234A51"));
        showWindow(m_window.get());
        QCOMPARE(m_window->DBEdit7->text(), QStringLiteral("00001234A51")); // shown in full
        click(m_window->BitBtn2);
        click(m_window->BitBtn4);
        QCOMPARE(m_note.text, kBadFormat);
        QVERIFY(inEntryState(*m_window));
        QCOMPARE(m_db->column(QStringLiteral("select PinID from recipients")),
                 QStringList { QStringLiteral("00001234A51") });

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
        enterNew(newName, QStringLiteral("1234A51"));
        click(m_window->BitBtn4);
        if (refused) {
            QCOMPARE(m_alerts.texts(), QStringList { QStringLiteral("The recipient is already exist!") });
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
        enterNew(QStringLiteral(" \t "), QStringLiteral("1234A51"));
        click(m_window->BitBtn4);
        QCOMPARE(m_alerts.alerts.size(), 1);
        QCOMPARE(m_alerts.alerts.first().text, QStringLiteral("Recipient can not empty!"));
        QCOMPARE(m_alerts.alerts.first().caption, QStringLiteral("Recipient Error"));
        QCOMPARE(m_alerts.alerts.first().icon, AlertIcon::Warning);
        QVERIFY(inEntryState(*m_window));
        QVERIFY(storedNames().isEmpty());
    }

    void apostropheNameIsStoredAndFound()
    {
        showWindow(m_window.get());
        enterNew(QStringLiteral("D'Angelo"), QStringLiteral("1234A51"));
        m_window->DBEdit2->setText(QStringLiteral("Gianni"));
        click(m_window->BitBtn4);
        QVERIFY(m_alerts.alerts.isEmpty());
        QCOMPARE(storedNames(), QStringList { QStringLiteral("D'Angelo") });
        QCOMPARE(m_db->stores->recipients.findByName(QStringLiteral("D'Angelo"))->firstName, QStringLiteral("Gianni"));
    }

    void editKeepsOwnNameAndStoresUnchangedRecord()
    {
        seed(QStringLiteral("Anna"), QStringLiteral("0000111A11"));
        seed(QStringLiteral("Mario"), QStringLiteral("0001234A51"), true);
        showWindow(m_window.get());
        selectRow(*m_window, 1);
        QCOMPARE(m_window->DBEdit1->text(), QStringLiteral("Mario"));
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
        m_window->DBEdit7->setText(QStringLiteral("1234N22"));
        click(m_window->BitBtn4);
        QVERIFY(m_alerts.alerts.isEmpty());
        QCOMPARE(m_db->column(QStringLiteral("select PinID from recipients where Recipient='Mario'")),
                 QStringList { QStringLiteral("0001234N22") });

        // Another user's name, in other letters: refused.
        selectRow(*m_window, 1);
        click(m_window->BitBtn2);
        m_window->DBEdit1->setText(QStringLiteral("ANNA"));
        click(m_window->BitBtn4);
        QCOMPARE(m_alerts.texts(), QStringList { QStringLiteral("The recipient is already exist!") });
        QCOMPARE(storedNames(), QStringList({ "Anna", "Mario" }));
    }

    void newUserStartsUnticked()
    {
        seed(QStringLiteral("Mario"), QStringLiteral("0001234A51"), true);
        showWindow(m_window.get());
        QVERIFY(m_window->DBCheckBox1->isChecked());
        click(m_window->BitBtn1);
        QCOMPARE(m_window->editMode(), EditMode::New);
        QVERIFY(!m_window->DBCheckBox1->isChecked());
        QVERIFY(m_window->DBEdit1->text().isEmpty());
        m_window->DBEdit1->setText(QStringLiteral("Luigi"));
        m_window->DBEdit7->setText(QStringLiteral("555A12"));
        click(m_window->BitBtn4);
        QCOMPARE(m_db->rows(kSelectAll).at(1).at(2).toInt(), 0);
        // After a store the last record is current.
        QCOMPARE(m_window->DBEdit1->text(), QStringLiteral("Luigi"));
    }

    void closingDuringEntryDiscardsIt()
    {
        seed(QStringLiteral("Mario"));
        showWindow(m_window.get());
        enterNew(QStringLiteral("Luigi"), QStringLiteral("1234A51"));
        click(m_window->BitBtn6);
        QVERIFY(!m_window->isVisible());
        QCOMPARE(m_loads, 1);
        QVERIFY(m_sendList.isEmpty());
        QCOMPARE(m_userList, QStringList { QStringLiteral("Mario") });
        QCOMPARE(storedNames(), QStringList { QStringLiteral("Mario") });
        QVERIFY(inBrowseState(*m_window));
        QCOMPARE(m_window->DBEdit1->text(), QStringLiteral("Mario"));

        // Shown again: browse state, "Scrivi" still disabled.
        showWindow(m_window.get());
        QVERIFY(inBrowseState(*m_window));
    }

    void cancelRestoresTheStoredValues()
    {
        seed(QStringLiteral("Mario"));
        showWindow(m_window.get());
        click(m_window->BitBtn2);
        m_window->DBEdit1->setText(QStringLiteral("Changed"));
        click(m_window->BitBtn5);
        QCOMPARE(m_window->DBEdit1->text(), QStringLiteral("Mario"));
        QVERIFY(inBrowseState(*m_window));
        QCOMPARE(m_loads, 0);
        QCOMPARE(storedNames(), QStringList { QStringLiteral("Mario") });
    }

    void emptyTableAndDelete()
    {
        showWindow(m_window.get());
        click(m_window->BitBtn2);
        click(m_window->BitBtn3);
        QCOMPARE(m_alerts.texts(), QStringList({ "Database is empty!", "Database is empty!" }));
        QVERIFY(inBrowseState(*m_window));

        seed(QStringLiteral("Anna"));
        seed(QStringLiteral("Mario"));
        m_window->close();
        showWindow(m_window.get());
        selectRow(*m_window, 1);
        m_alerts.clear();
        m_alerts.answers.enqueue(false);
        click(m_window->BitBtn3);
        QCOMPARE(m_alerts.alerts.size(), 1);
        QCOMPARE(m_alerts.alerts.first().text, QStringLiteral("Are you sure delete this record !"));
        QCOMPARE(m_alerts.alerts.first().kind, RecordingAlertSink::Alert::Question);
        QCOMPARE(m_alerts.alerts.first().icon, AlertIcon::Information);
        QCOMPARE(storedNames(), QStringList({ "Anna", "Mario" }));

        m_alerts.answers.enqueue(true);
        const int loadsBefore = m_loads;
        click(m_window->BitBtn3);
        QCOMPARE(storedNames(), QStringList { QStringLiteral("Anna") });
        QCOMPARE(m_window->rowCount(), 1);
        QCOMPARE(m_loads, loadsBefore); // the main window's lists follow on closing
    }

    void dataLayerFailureKeepsTheEntry()
    {
        showWindow(m_window.get());
        enterNew(QStringLiteral("Mario"), QStringLiteral("1234A51"));
        QCOMPARE(m_db->exec(QStringLiteral("drop table recipients")), QString());
        click(m_window->BitBtn4);
        QCOMPARE(m_alerts.alerts.size(), 1);
        QVERIFY2(m_alerts.lastText().contains(QStringLiteral("recipients")), qPrintable(m_alerts.lastText()));
        QVERIFY(inEntryState(*m_window));
        QCOMPARE(m_window->DBEdit1->text(), QStringLiteral("Mario"));
        QCOMPARE(m_loads, 0);
    }

    void capcodeButtonComposesIntoTheCodeField()
    {
        showWindow(m_window.get());
        enterNew(QStringLiteral("Mario"), QStringLiteral("123n14"));
        m_onModal = [this](QDialog *dialog) {
            if (dialog != m_pinId.get())
                return;
            dialog->show();
            QCOMPARE(m_pinId->edtIDPin->text(), QStringLiteral("0000123N14"));
            QTest::mouseClick(m_pinId->Button1, Qt::LeftButton);
        };
        click(m_window->Button1);
        QCOMPARE(m_modals, QList<QDialog *> { m_pinId.get() });
        QCOMPARE(m_pinId->target(), m_window->DBEdit7);
        QCOMPARE(m_window->DBEdit7->text(), QStringLiteral("0000123N14"));
        click(m_window->BitBtn4);
        QCOMPARE(m_db->column(QStringLiteral("select PinID from recipients")),
                 QStringList { QStringLiteral("0000123N14") });
    }
};

QTEST_MAIN(TestBookRecipients)
#include "test_gui_book_recipients.moc"
