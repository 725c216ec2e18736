#include "book/CsvImport.h"
#include "core/Csv.h"
#include "tests/support/BookWindows.h"
#include "tests/support/ConsoleFixture.h"
#include "tests/support/Controls.h"
#include "tests/support/EntryFormDriver.h"
#include "tests/support/ModalRecorder.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace EntryFormDriver;

// The address book's two maintenance windows on a real database file: buttons pressed, the
// tables read back through a second connection, the main window's lists played by the loaders.
// What both windows take from their common base (the browse and entry states, "Cancella",
// "Elimina", "Esci") is pressed on the recipients window; the presets window keeps its own rules.
class TestBookWindows : public QObject
{
    Q_OBJECT

    const QString kBadCapcode = u"Capcode non amesso!!!"_s + QString(24, QLatin1Char(' '));
    const QString kBadFormat = u"La codifica del capcode è errata!!!  "_s;
    const QString kUsers = u"select Recipient, PinID, SendName, FirstName from recipients order by num"_s;
    const QString kPresets = u"select Name, Content from templates order by num"_s;

    std::unique_ptr<ConsoleFixture> fx;
    std::unique_ptr<BookWindows> m_book;
    std::unique_ptr<ModalRecorder> m_modals; // every dialog accepted
    QStringList m_noteHeadings;
    std::function<void(QDialog *)> m_onModal;
    // The main window's lists as the loaders leave them, and how often either ran.
    QStringList m_userList;
    QStringList m_sendList;
    QStringList m_selector;
    int m_loads = 0;

    bool isPresets(const QString &window) const { return window == QLatin1String("presets"); }
    EntryForm *window(const QString &which) const
    {
        return isPresets(which) ? static_cast<EntryForm *>(m_book->presets.get()) : m_book->users.get();
    }

    void seedUser(const QString &name, const QString &code = u"0001234A51"_s, bool sendName = false)
    {
        QCOMPARE(fx->side().exec(u"insert into recipients (Recipient, PinID, SendName) values (?, ?, ?)"_s,
                                 { name, code, int(sendName) }),
                 QString());
    }
    void seedPreset(const QString &name, const QString &content)
    {
        QCOMPARE(fx->side().exec(u"insert into templates (Name, Content) values (?, ?)"_s, { name, content }),
                 QString());
    }

    // The windows' controls, found by their designer names.
    static QLineEdit *field(const QWidget *form, const char *name) { return control<QLineEdit>(*form, name); }
    QLineEdit *userField(const char *name) const { return field(m_book->users.get(), name); }
    QPlainTextEdit *presetText() const { return control<QPlainTextEdit>(*m_book->presets, "DBMemo1"); }

    // "Nuovo", then the name and the second field: the code, or the preset's text.
    void enterNew(const QString &which, const QString &name, const QString &second)
    {
        click(*window(which), "BitBtn1");
        field(window(which), "DBEdit1")->setText(name);
        if (isPresets(which))
            presetText()->setPlainText(second);
        else
            userField("DBEdit7")->setText(second);
    }
    void enterUser(const QString &name, const QString &code) { enterNew(u"users"_s, name, code); }

    QStringList storedNames(const QString &which = u"users"_s)
    {
        return fx->side().column(isPresets(which) ? kPresets : kUsers);
    }

private slots:
    void init()
    {
        fx = std::make_unique<ConsoleFixture>();
        QVERIFY2(fx->error().isEmpty(), qPrintable(fx->error()));
        m_noteHeadings.clear();
        m_onModal = nullptr;
        m_userList.clear();
        m_sendList = { u"someone"_s };
        m_selector.clear();
        m_loads = 0;
        m_book = std::make_unique<BookWindows>(
            *fx,
            [this] {
                ++m_loads;
                m_sendList.clear();
                m_userList.clear();
                for (const Recipient &r : fx->stores->recipients.all())
                    m_userList << r.recipient;
            },
            [this] {
                ++m_loads;
                m_selector.clear();
                for (const PresetMessage &t : fx->stores->templates.all())
                    m_selector << t.name;
            });
        m_modals = std::make_unique<ModalRecorder>();
        m_modals->onDialog = [this](QDialog *dialog) {
            if (dialog == m_book->noteDialog.get()) {
                dialog->show();
                m_noteHeadings << control<QLabel>(*m_book->noteDialog, "Label1")->text();
                dialog->hide();
            }
            if (m_onModal)
                m_onModal(dialog);
            return -1;
        };
    }

    void cleanup()
    {
        m_modals.reset();
        m_book.reset();
        fx.reset();
    }

    // ---- What both windows share ----

    void scriviOnlyInTheEntryState()
    {
        showWindow(m_book->users.get());
        // "Scrivi" is enabled only in the entry state, also right after the list was opened.
        QVERIFY(inBrowseState(*m_book->users));
        click(*m_book->users, "BitBtn1");
        QVERIFY(inEntryState(*m_book->users));
        click(*m_book->users, "BitBtn5");
        QVERIFY(inBrowseState(*m_book->users));
    }

    void refusals_data()
    {
        // clang-format off
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("storedName");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("caption"); // empty: a plain box
        QTest::addColumn<bool>("focusOnName"); // otherwise on the second field
        const QString dupUser = u"The recipient is already exist!"_s;
        const QString dupPreset = u"The template is already exist!"_s;
        QTest::newRow("user: letter case") << "users" << "Mario Rossi" << "MARIO rossi" << "1234A51" << dupUser << "" << true;
        QTest::newRow("user: blanks around the new name") << "users" << "Mario" << "  Mario\t " << "1234A51" << dupUser << "" << true;
        QTest::newRow("user: apostrophe") << "users" << "D'Angelo" << "d'angelo" << "1234A51" << dupUser << "" << true;
        QTest::newRow("user: empty stored name before the empty-name check") << "users" << "" << "   " << "1234A51" << dupUser << "" << true;
        QTest::newRow("user: blank name") << "users" << "Mario" << " \t " << "1234A51" << "Recipient can not empty!" << "Recipient Error" << true;
        QTest::newRow("preset: duplicate with blanks and case") << "presets" << "Saluto" << "  SALUTO " << "Ciao" << dupPreset << "" << true;
        QTest::newRow("preset: blank name") << "presets" << "Saluto" << "   " << "Ciao" << "Template can not empty!" << "Template Error" << true;
        QTest::newRow("preset: blank text") << "presets" << "Saluto" << "Nuovo" << "    " << "Content can not empty!" << "Template Error" << false;
        // clang-format on
    }

    void refusals()
    {
        QFETCH(QString, which);
        QFETCH(QString, storedName);
        QFETCH(QString, name);
        QFETCH(QString, second);
        QFETCH(QString, message);
        QFETCH(QString, caption);
        QFETCH(bool, focusOnName);
        EntryForm *form = window(which);
        if (isPresets(which))
            seedPreset(storedName, u"Buongiorno"_s);
        else
            seedUser(storedName);
        showWindow(form);
        const int loads = m_loads;
        enterNew(which, name, second);
        click(*form, "BitBtn4");
        QCOMPARE(fx->alerts.texts(), QStringList { message });
        const RecordingAlertSink::Alert alert = fx->alerts.alerts.first();
        if (caption.isEmpty()) {
            QCOMPARE(alert.kind, RecordingAlertSink::Alert::Plain);
        } else {
            QCOMPARE(alert.caption, caption);
            QCOMPARE(alert.icon, AlertIcon::Warning);
        }
        QWidget *secondField = isPresets(which) ? static_cast<QWidget *>(presetText()) : userField("DBEdit7");
        QCOMPARE(form->focusWidget(), focusOnName ? static_cast<QWidget *>(field(form, "DBEdit1")) : secondField);
        QCOMPARE(field(form, "DBEdit1")->text(), name);
        QVERIFY(inEntryState(*form));
        QCOMPARE(storedNames(which), QStringList { storedName });
        QCOMPARE(m_loads, loads);
    }

    void editKeepsOwnNameAndStoresUnchangedRecord()
    {
        seedUser(u"Anna"_s, u"0000111A11"_s);
        seedUser(u"Mario"_s, u"0001234A51"_s, true);
        showWindow(m_book->users.get());
        selectRow(*m_book->users, 1);
        QCOMPARE(userField("DBEdit1")->text(), u"Mario"_s);
        QVERIFY(control<QCheckBox>(*m_book->users, "DBCheckBox1")->isChecked());

        // Nothing changed: stored as it is.
        click(*m_book->users, "BitBtn2");
        QCOMPARE(m_book->users->editMode(), EditMode::Existing);
        QVERIFY(inEntryState(*m_book->users));
        click(*m_book->users, "BitBtn4");
        QVERIFY(fx->alerts.alerts.isEmpty());
        QVERIFY(inBrowseState(*m_book->users));
        QCOMPARE(fx->side().rows(kUsers).at(1).mid(0, 3), QVariantList({ "Mario", "0001234A51", 1 }));

        // Own name kept, code changed.
        selectRow(*m_book->users, 1);
        click(*m_book->users, "BitBtn2");
        userField("DBEdit7")->setText(u"1234N22"_s);
        click(*m_book->users, "BitBtn4");
        QVERIFY(fx->alerts.alerts.isEmpty());
        QCOMPARE(fx->side().column(u"select PinID from recipients where Recipient='Mario'"_s),
                 QStringList { u"0001234N22"_s });

        // Another user's name, in other letters: refused.
        selectRow(*m_book->users, 1);
        click(*m_book->users, "BitBtn2");
        userField("DBEdit1")->setText(u"ANNA"_s);
        click(*m_book->users, "BitBtn4");
        QCOMPARE(fx->alerts.texts(), QStringList { u"The recipient is already exist!"_s });
        QCOMPARE(storedNames(), QStringList({ "Anna", "Mario" }));
    }

    void closingDuringEntryDiscardsIt()
    {
        seedUser(u"Mario"_s);
        showWindow(m_book->users.get());
        enterUser(u"Luigi"_s, u"1234A51"_s);
        click(*m_book->users, "BitBtn6");
        QVERIFY(!m_book->users->isVisible());
        QCOMPARE(m_loads, 1);
        QVERIFY(m_sendList.isEmpty());
        QCOMPARE(m_userList, QStringList { u"Mario"_s });
        QCOMPARE(storedNames(), QStringList { u"Mario"_s });
        QVERIFY(inBrowseState(*m_book->users));
        QCOMPARE(userField("DBEdit1")->text(), u"Mario"_s);

        // Shown again: browse state, "Scrivi" still disabled.
        showWindow(m_book->users.get());
        QVERIFY(inBrowseState(*m_book->users));
    }

    void escapeKeepsTheWindowAndTheEntry_data()
    {
        QTest::addColumn<QString>("which");
        QTest::newRow("users") << u"users"_s;
        QTest::newRow("presets") << u"presets"_s;
    }

    // The window is left through "Esci" and the title bar only; Escape throws nothing away.
    void escapeKeepsTheWindowAndTheEntry()
    {
        QFETCH(QString, which);
        EntryForm *form = window(which);
        showWindow(form);
        const int loads = m_loads;
        click(*form, "BitBtn1");
        QTest::keyClicks(field(form, "DBEdit1"), u"Luigi"_s);
        QTest::keyClick(field(form, "DBEdit1"), Qt::Key_Escape);
        QTest::keyClick(list(*form), Qt::Key_Escape);
        QVERIFY(form->isVisible());
        QVERIFY(inEntryState(*form));
        QCOMPARE(field(form, "DBEdit1")->text(), u"Luigi"_s);
        QCOMPARE(m_loads, loads);

        // The title bar's close still ends the entry and reloads the main window's list.
        form->close();
        QVERIFY(!form->isVisible());
        QVERIFY(inBrowseState(*form));
        QCOMPARE(m_loads, loads + 1);
    }

    void cancelRestoresTheStoredValues()
    {
        seedUser(u"Mario"_s);
        showWindow(m_book->users.get());
        click(*m_book->users, "BitBtn2");
        userField("DBEdit1")->setText(u"Changed"_s);
        click(*m_book->users, "BitBtn5");
        QCOMPARE(userField("DBEdit1")->text(), u"Mario"_s);
        QVERIFY(inBrowseState(*m_book->users));
        QCOMPARE(m_loads, 0);
        QCOMPARE(storedNames(), QStringList { u"Mario"_s });
    }

    void emptyTableAndDelete()
    {
        showWindow(m_book->users.get());
        click(*m_book->users, "BitBtn2");
        click(*m_book->users, "BitBtn3");
        QCOMPARE(fx->alerts.texts(), QStringList({ "Database is empty!", "Database is empty!" }));
        QVERIFY(inBrowseState(*m_book->users));

        seedUser(u"Anna"_s);
        seedUser(u"Mario"_s);
        m_book->users->close();
        showWindow(m_book->users.get());
        selectRow(*m_book->users, 1);
        fx->alerts.clear();
        fx->alerts.answers.enqueue(false);
        click(*m_book->users, "BitBtn3");
        QCOMPARE(fx->alerts.alerts.size(), 1);
        QCOMPARE(fx->alerts.alerts.first().text, u"Are you sure delete this record !"_s);
        QCOMPARE(fx->alerts.alerts.first().kind, RecordingAlertSink::Alert::Question);
        QCOMPARE(fx->alerts.alerts.first().icon, AlertIcon::Information);
        QCOMPARE(storedNames(), QStringList({ "Anna", "Mario" }));

        fx->alerts.answers.enqueue(true);
        const int loadsBefore = m_loads;
        click(*m_book->users, "BitBtn3");
        QCOMPARE(storedNames(), QStringList { u"Anna"_s });
        QCOMPARE(m_book->users->rowCount(), 1);
        QCOMPARE(m_loads, loadsBefore); // the main window's lists follow on closing
    }

    void dataLayerFailureKeepsTheEntry()
    {
        showWindow(m_book->users.get());
        enterUser(u"Mario"_s, u"1234A51"_s);
        QCOMPARE(fx->side().exec(u"drop table recipients"_s), QString());
        click(*m_book->users, "BitBtn4");
        QCOMPARE(fx->alerts.alerts.size(), 1);
        QVERIFY2(fx->alerts.lastText().contains(u"recipients"_s), qPrintable(fx->alerts.lastText()));
        QVERIFY(inEntryState(*m_book->users));
        QCOMPARE(userField("DBEdit1")->text(), u"Mario"_s);
        QCOMPARE(m_loads, 0);
    }

    // ---- The recipients window ----

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
        showWindow(m_book->users.get());
        enterUser(u"Mario"_s, typed);
        click(*m_book->users, "BitBtn4");
        QVERIFY(fx->alerts.alerts.isEmpty());
        if (stored.isEmpty()) {
            QCOMPARE(m_book->note.text, note);
            QCOMPARE(m_modals->dialogs, QList<QDialog *> { m_book->noteDialog.get() });
            QCOMPARE(m_book->users->focusWidget(), userField("DBEdit7"));
            QCOMPARE(userField("DBEdit7")->text(), typed); // kept as typed
            QVERIFY(inEntryState(*m_book->users));
            QVERIFY(storedNames().isEmpty());
            QCOMPARE(m_loads, 0);
        } else {
            QVERIFY(m_modals->dialogs.isEmpty());
            QCOMPARE(fx->side().rows(kUsers).size(), 1);
            QCOMPARE(fx->side().rows(kUsers).first().at(1).toString(), stored);
            QCOMPARE(userField("DBEdit7")->text(), stored);
            QVERIFY(inBrowseState(*m_book->users));
            QCOMPARE(m_loads, 1);
            QCOMPARE(m_userList, QStringList { u"Mario"_s });
        }
    }

    void noteHeadingNamesTheFailedRule()
    {
        showWindow(m_book->users.get());
        enterUser(u"Mario"_s, u"123"_s);
        click(*m_book->users, "BitBtn4");
        QCOMPARE(m_noteHeadings,
                 QStringList { kBadFormat + u" Leggere la nota sotto e poi premere [...]"_s
                               + QString(20, QLatin1Char(' ')) });
    }

    void longerStoredCodeIsRefused()
    {
        seedUser(u"Mario"_s, u"00001234A51"_s);
        showWindow(m_book->users.get());
        QCOMPARE(userField("DBEdit7")->text(), u"00001234A51"_s); // shown in full
        click(*m_book->users, "BitBtn2");
        click(*m_book->users, "BitBtn4");
        QCOMPARE(m_book->note.text, kBadFormat);
        QVERIFY(inEntryState(*m_book->users));
        QCOMPARE(fx->side().column(u"select PinID from recipients"_s), QStringList { u"00001234A51"_s });

        // A new record gets the ten-character limit back.
        click(*m_book->users, "BitBtn5");
        click(*m_book->users, "BitBtn1");
        QCOMPARE(userField("DBEdit7")->maxLength(), 10);
    }

    void namesThatAreNoDuplicates()
    {
        seedUser(u" Mario "_s); // a stored name with blanks is compared as stored
        showWindow(m_book->users.get());
        enterUser(u"Mario"_s, u"1234A51"_s);
        click(*m_book->users, "BitBtn4");
        enterUser(u"D'Angelo"_s, u"1234A51"_s);
        userField("DBEdit2")->setText(u"Gianni"_s);
        click(*m_book->users, "BitBtn4");
        QVERIFY(fx->alerts.alerts.isEmpty());
        QCOMPARE(storedNames(), QStringList({ " Mario ", "Mario", "D'Angelo" }));
        QCOMPARE(fx->stores->recipients.findByName(u"D'Angelo"_s)->firstName, u"Gianni"_s);
    }

    // A user's names by the same rules through the window and through a file: stored in
    // normal form C (so a name typed with a combining accent meets the stored one in the
    // duplicate check), refused with a control character in any of the three name fields.
    void namesByWindowAndImport_data()
    {
        QTest::addColumn<QStringList>("names"); // Utente, Nome, Cognome as typed or read
        QTest::addColumn<QStringList>("stored"); // empty: refused
        QTest::addColumn<QString>("windowMessage");
        QTest::addColumn<QString>("importReason");
        const QString control = u"Il campo \"%1\" contiene caratteri di controllo."_s;
        QTest::newRow("combining accents composed")
            << QStringList { u"Nicolo\u0300 Bruni"_s, u"Nicolo\u0300"_s, u"Sante\u0301"_s }
            << QStringList { u"Nicol\u00F2 Bruni"_s, u"Nicol\u00F2"_s, u"Sant\u00E9"_s } << QString() << QString();
        QTest::newRow("decomposed duplicate")
            << QStringList { u"Gia\u0300 Rossi"_s, QString(), QString() } << QStringList()
            << u"The recipient is already exist!"_s << u"il nome \"Gi\u00E0 Rossi\" è già nella rubrica"_s;
        QTest::newRow("control character in Utente")
            << QStringList { u"An\x07na"_s, QString(), QString() } << QStringList() << control.arg(u"Utente"_s)
            << u"caratteri di controllo nel campo \"Utente\""_s;
        QTest::newRow("tab in Nome") << QStringList { u"Anna"_s, u"Ni\tco"_s, QString() } << QStringList()
                                     << control.arg(u"Nome"_s) << u"caratteri di controllo nel campo \"Nome\""_s;
        QTest::newRow("C1 control in Cognome")
            << QStringList { u"Anna"_s, QString(), u"Ros\x85si"_s } << QStringList() << control.arg(u"Cognome"_s)
            << u"caratteri di controllo nel campo \"Cognome\""_s;
    }
    void namesByWindowAndImport()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, stored);
        QFETCH(QString, windowMessage);
        QFETCH(QString, importReason);
        seedUser(u"Gi\u00E0 Rossi"_s);
        const auto added = [this] {
            QStringList out;
            for (const QVariantList &row :
                 fx->side().rows(u"select Recipient, FirstName, LastName from recipients where num > 1"_s)) {
                for (const QVariant &value : row)
                    out << value.toString();
            }
            return out;
        };

        showWindow(m_book->users.get());
        enterUser(names[0], u"1234A51"_s);
        userField("DBEdit2")->setText(names[1]);
        userField("DBEdit3")->setText(names[2]);
        click(*m_book->users, "BitBtn4");
        QCOMPARE(fx->alerts.texts(), windowMessage.isEmpty() ? QStringList() : QStringList { windowMessage });
        QCOMPARE(added(), stored);

        QCOMPARE(fx->side().exec(u"delete from recipients where num > 1"_s), QString());
        QByteArray file = "Recipient;FirstName;LastName;PinID\r\n";
        Csv::appendRecord(file, names + QStringList { u"1234A51"_s });
        RecipientCsvImport import(fx->stores->report.database());
        const CsvImportPlan plan = import.check(file, u"utenti.csv"_s);
        QCOMPARE(plan.refused.isEmpty() ? QString() : plan.refused.first().reason, importReason);
        import.apply();
        QCOMPARE(added(), stored);
    }

    void newUserStartsUnticked()
    {
        seedUser(u"Mario"_s, u"0001234A51"_s, true);
        showWindow(m_book->users.get());
        QVERIFY(control<QCheckBox>(*m_book->users, "DBCheckBox1")->isChecked());
        click(*m_book->users, "BitBtn1");
        QCOMPARE(m_book->users->editMode(), EditMode::New);
        QVERIFY(!control<QCheckBox>(*m_book->users, "DBCheckBox1")->isChecked());
        QVERIFY(userField("DBEdit1")->text().isEmpty());
        userField("DBEdit1")->setText(u"Luigi"_s);
        userField("DBEdit7")->setText(u"555A12"_s);
        click(*m_book->users, "BitBtn4");
        QCOMPARE(fx->side().rows(kUsers).at(1).at(2).toInt(), 0);
        // After a store the last record is current.
        QCOMPARE(userField("DBEdit1")->text(), u"Luigi"_s);
    }

    void capcodeButtonComposesIntoTheCodeField()
    {
        showWindow(m_book->users.get());
        enterUser(u"Mario"_s, u"123n14"_s);
        m_onModal = [this](QDialog *dialog) {
            if (dialog != m_book->pinId.get())
                return;
            dialog->show();
            QCOMPARE(control<QLineEdit>(*m_book->pinId, "edtIDPin")->text(), u"0000123N14"_s);
            QTest::mouseClick(control<QPushButton>(*m_book->pinId, "Button1"), Qt::LeftButton);
        };
        click(*m_book->users, "Button1");
        QCOMPARE(m_modals->dialogs, QList<QDialog *> { m_book->pinId.get() });
        QCOMPARE(m_book->pinId->target(), userField("DBEdit7"));
        QCOMPARE(userField("DBEdit7")->text(), u"0000123N14"_s);
        click(*m_book->users, "BitBtn4");
        QCOMPARE(fx->side().column(u"select PinID from recipients"_s), QStringList { u"0000123N14"_s });
    }

    // ---- The presets window ----

    void showingReloadsTheSelectorAndTheList()
    {
        seedPreset(u"Saluto"_s, u"Buongiorno"_s);
        seedPreset(u"Rientro"_s, u"Rientrare in sede"_s);
        m_selector = { u"Saluto"_s }; // narrowed by a pick in the main window
        showWindow(m_book->presets.get());
        QCOMPARE(m_loads, 1);
        QCOMPARE(m_selector, QStringList({ "Saluto", "Rientro" }));
        QCOMPARE(m_book->presets->rowCount(), 2);
        QCOMPARE(field(m_book->presets.get(), "DBEdit1")->text(), u"Saluto"_s);
        QCOMPARE(presetText()->toPlainText(), u"Buongiorno"_s);
        QVERIFY(inBrowseState(*m_book->presets));
    }

    void filterKeepsCodes32To127()
    {
        showWindow(m_book->presets.get());
        click(*m_book->presets, "BitBtn1");
        QPlainTextEdit *memo = presetText();
        memo->setFocus();
        QTest::keyClicks(memo, u"Caff"_s);
        QKeyEvent accented(QEvent::KeyPress, Qt::Key_Egrave, Qt::NoModifier, u"\u00e8"_s);
        QCoreApplication::sendEvent(memo, &accented);
        QTest::keyClick(memo, Qt::Key_Return); // no new line
        QTest::keyClick(memo, Qt::Key_Enter);
        memo->insertPlainText(u"~\x7f!\x1f"_s);
        QCOMPARE(memo->toPlainText(), u"Caff~\x7f!"_s);

        // A pasted two-line text with a tab becomes one line, nothing put in place of the breaks.
        memo->clear();
        QGuiApplication::clipboard()->setText(u"riga uno\r\nriga\tdue é"_s);
        memo->paste();
        QCOMPARE(memo->toPlainText(), u"riga unorigadue "_s);
        QCOMPARE(memo->textCursor().position(), 16); // the caret stays at the end
    }

    // The filter reads the raw text: a non-breaking space is not a blank to it.
    void noCharacterAbove127IsStored()
    {
        showWindow(m_book->presets.get());
        enterNew(u"presets"_s, u"Spazio"_s, QString());
        presetText()->setFocus();
        presetText()->insertPlainText(u"a\u00a0b\u00e8c"_s);
        click(*m_book->presets, "BitBtn4");
        QVERIFY(fx->alerts.alerts.isEmpty());
        QCOMPARE(fx->side().rows(kPresets).first().at(1).toString(), u"abc"_s);
    }

    void longTextIsNeitherCutNorLost()
    {
        showWindow(m_book->presets.get());
        QString text;
        for (int i = 0; i < 9000; ++i)
            text += QChar(u'a' + i % 26);
        enterNew(u"presets"_s, u"Lungo"_s, text + u"\n\u00e8"_s + text);
        QCOMPARE(presetText()->toPlainText(), text + text);
        click(*m_book->presets, "BitBtn4");
        QVERIFY(fx->alerts.alerts.isEmpty());
        QCOMPARE(fx->side().rows(kPresets).first().at(1).toString(), text + text);
    }

    void editFollowsIntoTheSelector()
    {
        seedPreset(u"Saluto"_s, u"Buongiorno"_s);
        seedPreset(u"Rientro"_s, u"Rientrare"_s);
        showWindow(m_book->presets.get());
        selectRow(*m_book->presets, 0);
        click(*m_book->presets, "BitBtn2");
        field(m_book->presets.get(), "DBEdit1")->setText(u"Saluto d'inizio"_s);
        presetText()->setPlainText(u"Buonasera"_s);
        click(*m_book->presets, "BitBtn4");
        QVERIFY(fx->alerts.alerts.isEmpty());
        QCOMPARE(fx->side().rows(kPresets).first(), QVariantList({ "Saluto d'inizio", "Buonasera" }));
        QCOMPARE(m_selector, QStringList({ "Saluto d'inizio", "Rientro" }));
        QCOMPARE(m_loads, 2);

        // A new preset with the apostrophe name in other letters is a duplicate.
        enterNew(u"presets"_s, u"SALUTO D'INIZIO"_s, u"x"_s);
        click(*m_book->presets, "BitBtn4");
        QCOMPARE(fx->alerts.texts(), QStringList { u"The template is already exist!"_s });
    }
};

QTEST_MAIN(TestBookWindows)
#include "test_gui_book_windows.moc"
