#include "book/CsvImport.h"
#include "book/CsvImportDialog.h"
#include "tests/support/BookWindows.h"
#include "tests/support/ConsoleFixture.h"
#include "tests/support/EntryFormDriver.h"
#include "tests/support/Files.h"
#include "tests/support/ModalRecorder.h"
#include "ui/FileDialogs.h"
#include "ui/ReportExportRunner.h"
#include "ui/ReportModel.h"
#include "ui/Unit2.h"

#include <QAccessible>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace EntryFormDriver;

// The spreadsheet buttons of the recipients, presets and report windows, pressed as the
// operator presses them: file dialogs answered by name, the import summary read and answered.
class TestCsvWindows : public QObject
{
    Q_OBJECT

    std::unique_ptr<ConsoleFixture> fx;
    std::unique_ptr<BookWindows> m_book;
    std::unique_ptr<ModalRecorder> m_modals;
    int m_loads = 0;
    // The import summary as last shown, and the answer to give it.
    QString m_summary;
    QString m_question;
    QStringList m_buttons;
    bool m_answerYes = true;
    int m_summaries = 0;
    QString m_startFolder;
    QString m_summaryName;

    QString file(const QString &name) const { return fx->filePath(name); }

    void writeFile(const QString &name, const QByteArray &bytes) { QVERIFY(writeBytes(file(name), bytes)); }
    QByteArray readFile(const QString &name) const { return readBytes(file(name)); }

    QStringList listed(const EntryForm &form) const
    {
        QStringList names;
        const QAbstractItemModel *model = list(form)->model();
        for (int r = 0; r < model->rowCount(); ++r)
            names << model->index(r, 0).data().toString();
        return names;
    }

private slots:
    void init()
    {
        fx = std::make_unique<ConsoleFixture>();
        QVERIFY2(fx->error().isEmpty(), qPrintable(fx->error()));
        m_startFolder = QDir::currentPath();
        QDir::setCurrent(fx->path()); // the file dialogs start in the working folder
        m_book = std::make_unique<BookWindows>(
            *fx, [this] { ++m_loads; }, [this] { ++m_loads; });
        m_summaries = 0;
        m_answerYes = true;
        m_modals = std::make_unique<ModalRecorder>();
        m_modals->onDialog = [this](QDialog *dialog) {
            auto *summary = qobject_cast<CsvImportDialog *>(dialog);
            if (!summary)
                return int(QDialog::Rejected);
            ++m_summaries;
            m_summary = summary->memSummary->toPlainText();
            m_summaryName = QAccessible::queryAccessibleInterface(summary->memSummary)->text(QAccessible::Name);
            m_question = summary->lblQuestion->isVisibleTo(summary) ? summary->lblQuestion->text() : QString();
            m_buttons.clear();
            for (QAbstractButton *button : summary->btnAnswer->buttons())
                m_buttons << button->text();
            return int(m_answerYes && !m_question.isEmpty() ? QDialog::Accepted : QDialog::Rejected);
        };
    }
    void cleanup()
    {
        m_modals.reset();
        FileDialogs::clearNextFileName();
        ReportExportRunner::setProgressDelay(1000);
        m_book.reset();
        QDir::setCurrent(m_startFolder);
        fx.reset();
    }

    // Both buttons are usable in the browse state only.
    void buttonsInBrowseStateOnly()
    {
        for (EntryForm *form :
             { static_cast<EntryForm *>(m_book->users.get()), static_cast<EntryForm *>(m_book->presets.get()) }) {
            showWindow(form);
            QVERIFY(enabled(*form, "btnImportCsv") && enabled(*form, "btnExportCsv"));
            click(*form, "BitBtn1");
            QVERIFY(!enabled(*form, "btnImportCsv") && !enabled(*form, "btnExportCsv"));
            click(*form, "BitBtn5");
            QVERIFY(enabled(*form, "btnImportCsv") && enabled(*form, "btnExportCsv"));
            form->close();
        }
    }

    // Export from the recipients window, import into an empty book: the same users, shown in
    // the list, the main window's list reloaded.
    void usersOutAndIn()
    {
        fx->addUser(u"Niccolò"_s, u"0001234A51"_s);
        fx->addUser(u"Rossi; \"capo\""_s, u"0000008N12"_s);
        showWindow(m_book->users.get());
        FileDialogs::setNextFileName(u"utenti"_s);
        click(*m_book->users, "btnExportCsv");
        QCOMPARE(FileDialogs::lastRequest()->filter, u"File CSV (*.csv)"_s);
        QCOMPARE(fx->alerts.lastText(), u"Esportati 2 utenti in %1."_s.arg(file(u"utenti.csv"_s)));
        QVERIFY(readFile(u"utenti.csv"_s).startsWith("\xEF\xBB\xBFRecipient;FirstName;"));

        QCOMPARE(fx->side().exec(u"delete from recipients"_s), QString());
        const int loads = m_loads;
        FileDialogs::setNextFileName(u"utenti.csv"_s);
        click(*m_book->users, "btnImportCsv");
        QCOMPARE(m_summaries, 1);
        QCOMPARE(m_summary,
                 u"File: %1\nCodifica: UTF-8\nUtenti da importare: 2\nRighe scartate: 0"_s.arg(file(u"utenti.csv"_s)));
        QCOMPARE(m_question, u"Importare 2 utenti?"_s);
        QCOMPARE(m_buttons, (QStringList { u"Sì"_s, u"No"_s }));
        QCOMPARE(m_summaryName, u"Riepilogo"_s);
        QCOMPARE(QAccessible::queryAccessibleInterface(control<QPushButton>(*m_book->users, "btnImportCsv"))
                     ->text(QAccessible::Name),
                 u"Importa CSV..."_s);
        QCOMPARE(fx->alerts.lastText(), u"Importati 2 utenti."_s);
        QCOMPARE(fx->side().column(u"select Recipient || '|' || PinID from recipients order by num"_s),
                 (QStringList { u"Niccolò|0001234A51"_s, u"Rossi; \"capo\"|0000008N12"_s }));
        QCOMPARE(listed(*m_book->users), (QStringList { u"Niccolò"_s, u"Rossi; \"capo\""_s }));
        QVERIFY(m_loads > loads);
    }

    // "No" to the summary, a file with nothing to add, a file without the name column: nothing
    // is written.
    void nothingWritten()
    {
        fx->addUser(u"Rossi"_s, u"0001234A51"_s);
        showWindow(m_book->users.get());
        writeFile(u"a.csv"_s, "Recipient;PinID\r\nBianchi;1234A51\r\n"_ba);
        m_answerYes = false;
        FileDialogs::setNextFileName(u"a.csv"_s);
        click(*m_book->users, "btnImportCsv");
        QCOMPARE(m_question, u"Importare 1 utenti?"_s);

        writeFile(u"b.csv"_s, "Recipient;PinID\r\nrossi;1234A51\r\n"_ba);
        FileDialogs::setNextFileName(u"b.csv"_s);
        click(*m_book->users, "btnImportCsv");
        QCOMPARE(m_question, QString());
        QCOMPARE(m_buttons, QStringList { u"OK"_s });
        QVERIFY(m_summary.endsWith(u"Riga 2: il nome \"rossi\" è già nella rubrica.\nNessun utente da importare."_s));

        writeFile(u"c.csv"_s, "Cognome;PinID\r\nBianchi;1234A51\r\n"_ba);
        FileDialogs::setNextFileName(u"c.csv"_s);
        click(*m_book->users, "btnImportCsv");
        QCOMPARE(m_summaries, 2);
        QCOMPARE(fx->alerts.alerts.last(),
                 Alert({ Alert::Captioned,
                         u"Nel file %1 manca la colonna \"Recipient\" (o \"Utente\"): nessun utente importato."_s.arg(
                             file(u"c.csv"_s)),
                         u"Importa CSV"_s, AlertIcon::Warning }));
        QCOMPARE(fx->side().column(u"select Recipient from recipients"_s), QStringList { u"Rossi"_s });
    }

    void presetsOutAndIn()
    {
        fx->addPreset(u"Allarme"_s, u"=Evacuare; subito"_s);
        showWindow(m_book->presets.get());
        FileDialogs::setNextFileName(u"messaggi.csv"_s);
        click(*m_book->presets, "btnExportCsv");
        QCOMPARE(readFile(u"messaggi.csv"_s), "\xEF\xBB\xBFName;Content\r\nAllarme;\"'=Evacuare; subito\"\r\n"_ba);
        QCOMPARE(fx->side().exec(u"delete from templates"_s), QString());
        FileDialogs::setNextFileName(u"messaggi.csv"_s);
        click(*m_book->presets, "btnImportCsv");
        QCOMPARE(m_question, u"Importare 1 messaggi?"_s);
        QCOMPARE(fx->side().column(u"select Name || '|' || Content from templates"_s),
                 QStringList { u"Allarme|=Evacuare; subito"_s });
        QCOMPARE(listed(*m_book->presets), QStringList { u"Allarme"_s });
    }

    // The report window's export: a small report at once; a large one shows its progress and
    // can be cancelled, leaving the existing file as it was.
    void reportExport()
    {
        ReportModel model(fx->stores->report.database());
        model.open();
        TfrmHis window(model, fx->stores->report, fx->alerts);
        showWindow(&window);
        for (int i = 0; i < 3; ++i)
            fx->side().exec(u"insert into report (recipt, msg) values (?, ?)"_s, { u"Rossi"_s, u"ciao"_s });
        FileDialogs::setNextFileName(u"report"_s);
        click(window.btnExportCsv);
        QCOMPARE(fx->alerts.lastText(), u"Esportate 3 righe del report in %1."_s.arg(file(u"report.csv"_s)));
        QCOMPARE(readFile(u"report.csv"_s).count("\r\n"), 4);

        for (const char *index : { "recipt", "pin_id", "disptime", "sent", "sendtime", "status" })
            QCOMPARE(fx->side().exec(u"DROP INDEX report_by_"_s + QLatin1String(index)), QString()); // quick seeding
        QCOMPARE(fx->side().exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000) "
                                 "INSERT INTO report (recipt, msg) SELECT 'Rossi', 'Messaggio ' || i FROM n"_s),
                 QString());
        ReportExportRunner::setProgressDelay(0);
        bool sawProgress = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *progress = window.findChild<QProgressDialog *>(u"dlgExportProgress"_s);
            if (progress && progress->isVisible() && !sawProgress) {
                sawProgress = true;
                QCOMPARE(progress->windowTitle(), u"Esporta CSV"_s);
                QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);
            }
        });
        poll.start(10);
        fx->alerts.clear();
        FileDialogs::setNextFileName(u"report.csv"_s);
        click(window.btnExportCsv);
        poll.stop();
        QVERIFY(sawProgress);
        QVERIFY(fx->alerts.alerts.isEmpty());
        QCOMPARE(readFile(u"report.csv"_s).count("\r\n"), 4);
        QCOMPARE(QDir(fx->path()).entryList({ u"report.csv*"_s }, QDir::Files), QStringList { u"report.csv"_s });
    }
};

QTEST_MAIN(TestCsvWindows)
#include "test_gui_csv_windows.moc"
