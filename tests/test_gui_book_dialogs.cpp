#include "book/About.h"
#include "book/OKBottomDlg.h"
#include "link/CapcodeNote.h"
#include "link/Pinid.h"
#include "tests/support/Controls.h"
#include "tests/support/ModalRecorder.h"
#include "tests/support/RecordingAlertSink.h"

#include <QComboBox>
#include <QEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

// The capcode dialog, the note dialog and the about box, driven through their real controls
// under the offscreen platform.
class TestBookDialogs : public QObject
{
    Q_OBJECT

    const QString kRefused = u"Capcode non ammesso!!!"_s + QString(21, QLatin1Char(' '));
    const QString kRefusedCaption = u"Errore"_s + QString(11, QLatin1Char(' '));
    const QString kInstruction = u" Leggere la nota sotto e poi premere [...]"_s + QString(20, QLatin1Char(' '));

    RecordingAlertSink m_alerts;
    CapcodeNote m_note;
    std::unique_ptr<TOKBottomDlg> m_noteDialog;
    std::unique_ptr<TfrmPinId> m_dialog;
    std::unique_ptr<QLineEdit> m_target;
    std::unique_ptr<ModalRecorder> m_modals;

    // The capcode window's two code fields, found by their designer names.
    QLineEdit *edtID() const { return control<QLineEdit>(*m_dialog, "edtID"); }
    QLineEdit *edtIDPin() const { return control<QLineEdit>(*m_dialog, "edtIDPin"); }

    // Shows the dialog on the target text and waits until it can take the focus.
    void open(const QString &targetText)
    {
        m_target->setText(targetText);
        m_dialog->setTarget(m_target.get());
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(m_dialog.get()));
    }

    // A point on the dialog's own surface, outside every control.
    QPoint bareSurface() const
    {
        for (int y = 2; y < m_dialog->height(); y += 2)
            for (int x = 2; x < m_dialog->width(); x += 2)
                if (!m_dialog->childAt(x, y))
                    return { x, y };
        return {};
    }

private slots:
    void init()
    {
        m_alerts.clear();
        m_note.text.clear();
        m_noteDialog = std::make_unique<TOKBottomDlg>(m_note);
        m_dialog = std::make_unique<TfrmPinId>(m_alerts, m_note, *m_noteDialog);
        m_target = std::make_unique<QLineEdit>();
        m_target->setMaxLength(10);
        m_modals = std::make_unique<ModalRecorder>();
        m_modals->onDialog = [](QDialog *dialog) {
            dialog->show();
            dialog->hide();
            return -1;
        };
    }

    void cleanup()
    {
        m_modals.reset();
        m_dialog.reset();
        m_noteDialog.reset();
        m_target.reset();
    }

    void readsTheTargetCode_data()
    {
        // clang-format off
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("capcode");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("cadence");
        QTest::addColumn<QString>("code");
        QTest::newRow("normal form") << "0000123A12" << "0000123" << "Alfanumerica" << "1200 bps" << "B" << "0000123A12";
        QTest::newRow("short, lower-case type") << "123n14" << "0000123" << "Numerica" << "1200 bps" << "D" << "0000123N14";
        QTest::newRow("cadence 0, numeric") << "0000123N20" << "0000123" << "Numerica" << "2400 bps" << "A" << "0000123N21";
        QTest::newRow("cadence 0, alphanumeric") << "0000123A20" << "0000123" << "Alfanumerica" << "2400 bps" << "D" << "0000123A24";
        QTest::newRow("cadence out of range") << "0000123A17" << "" << "Alfanumerica" << "1200 bps" << "A" << "";
        QTest::newRow("empty") << "" << "" << "Alfanumerica" << "1200 bps" << "A" << "";
        // clang-format on
    }

    void readsTheTargetCode()
    {
        QFETCH(QString, target);
        QFETCH(QString, capcode);
        QFETCH(QString, code);
        open(target);
        QCOMPARE(edtID()->text(), capcode);
        QTEST(control<QComboBox>(*m_dialog, "cboMsg")->currentText(), "type");
        QTEST(control<QComboBox>(*m_dialog, "cboRat")->currentText(), "rate");
        QTEST(control<QComboBox>(*m_dialog, "cboFun")->currentText(), "cadence");
        QCOMPARE(edtIDPin()->text(), code);
        QVERIFY(m_alerts.alerts.isEmpty());

        // "Cancella" leaves the target as it was, whatever was read.
        QTest::mouseClick(control<QPushButton>(*m_dialog, "Button2"), Qt::LeftButton);
        QVERIFY(!m_dialog->isVisible());
        QCOMPARE(m_dialog->result(), int(QDialog::Rejected));
        QCOMPARE(m_target->text(), target);
    }

    void enterComposesAndMovesTheFocus()
    {
        open(QString());
        control<QComboBox>(*m_dialog, "cboMsg")->setCurrentIndex(0);
        control<QComboBox>(*m_dialog, "cboRat")->setCurrentIndex(0);
        control<QComboBox>(*m_dialog, "cboFun")->setCurrentIndex(2);
        edtID()->setFocus();
        QTest::keyClicks(edtID(), u"42"_s);
        QTest::keyClick(edtID(), Qt::Key_Return);
        QCOMPARE(edtID()->text(), u"0000042"_s);
        QCOMPARE(edtIDPin()->text(), u"0000042N53"_s);
        QCOMPARE(QApplication::focusWidget(), control<QLineEdit>(*m_dialog, "edtNull"));
        QVERIFY(m_dialog->isVisible()); // Enter presses no button
        QVERIFY(m_alerts.alerts.isEmpty());

        // A list chosen with the keyboard composes again.
        QTest::keyClick(control<QComboBox>(*m_dialog, "cboRat"), Qt::Key_Down);
        QCOMPARE(edtIDPin()->text(), u"0000042N13"_s);

        QTest::mouseClick(control<QPushButton>(*m_dialog, "Button1"), Qt::LeftButton);
        QCOMPARE(m_target->text(), u"0000042N13"_s);
    }

    void refusedCapcodeKeepsTheDialogOpen()
    {
        open(u"0000123A12"_s);
        edtID()->setFocus();
        edtID()->selectAll();
        QTest::keyClicks(edtID(), u"7"_s);
        QTest::keyClick(edtID(), Qt::Key_Tab); // leaving the field composes
        QCOMPARE(m_alerts.alerts,
                 QList<Alert>({ { Alert::Captioned, kRefused, kRefusedCaption, AlertIcon::Warning } }));
        QCOMPARE(QApplication::focusWidget(), edtID());
        QCOMPARE(edtIDPin()->text(), u"0000123A12"_s); // the previous code stays

        QTest::mouseClick(control<QPushButton>(*m_dialog, "Button1"), Qt::LeftButton);
        QCOMPARE(m_alerts.alerts.size(), 2);
        QVERIFY(m_dialog->isVisible());
        QCOMPARE(m_target->text(), u"0000123A12"_s);

        QTest::mouseClick(control<QPushButton>(*m_dialog, "Button2"), Qt::LeftButton);
        QVERIFY(!m_dialog->isVisible());
        QCOMPARE(m_alerts.alerts.size(), 2); // cancelling does not compose
        QCOMPARE(m_target->text(), u"0000123A12"_s);
    }

    void capcodeLimits_data()
    {
        // clang-format off
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("code");
        QTest::newRow("2097151") << "2097151" << "2097151A11";
        QTest::newRow("8") << "8" << "0000008A11";
        QTest::newRow("2097152") << "2097152" << "";
        QTest::newRow("0000007") << "0000007" << "";
        QTest::newRow("blank inside") << "12 4" << "";
        // clang-format on
    }

    void capcodeLimits()
    {
        QFETCH(QString, typed);
        QFETCH(QString, code);
        open(QString());
        edtID()->setFocus();
        QTest::keyClicks(edtID(), typed);
        QTest::mouseClick(control<QPushButton>(*m_dialog, "Button1"), Qt::LeftButton);
        QCOMPARE(edtIDPin()->text(), code);
        QCOMPARE(m_target->text(), code);
        QCOMPARE(m_dialog->isVisible(), code.isEmpty());
        QCOMPARE(m_alerts.texts(), code.isEmpty() ? QStringList { kRefused } : QStringList {});
    }

    void mouseOverTheSurfaceComposesOncePerEdit()
    {
        open(QString());
        const QPoint surface = bareSurface();
        QVERIFY(!surface.isNull());
        edtID()->setFocus();
        QTest::keyClicks(edtID(), u"42"_s);
        QTest::mouseMove(m_dialog.get(), surface);
        QTRY_COMPARE(edtIDPin()->text(), u"0000042A11"_s);
        QCOMPARE(QApplication::focusWidget(), control<QLineEdit>(*m_dialog, "edtNull"));

        // A refused capcode is reported once for the move, not again at every later move.
        edtID()->setFocus();
        edtID()->selectAll();
        QTest::keyClicks(edtID(), u"7"_s);
        QTest::mouseMove(m_dialog.get(), surface + QPoint(1, 0));
        QTRY_COMPARE(m_alerts.texts(), QStringList { kRefused });
        QTest::mouseMove(m_dialog.get(), surface);
        QTest::mouseMove(m_dialog.get(), surface + QPoint(1, 0));
        QCOMPARE(m_alerts.alerts.size(), 1);
        QCOMPARE(QApplication::focusWidget(), edtID());
    }

    void noteHeadings()
    {
        // The capcode dialog's help button: four blanks, then the instruction.
        open(u"0000123A12"_s);
        QTest::mouseClick(control<QPushButton>(*m_dialog, "Button3"), Qt::LeftButton);
        QCOMPARE(m_modals->dialogs, QList<QDialog *> { m_noteDialog.get() });
        QCOMPARE(m_note.text, u"    "_s);
        QCOMPARE(control<QLabel>(*m_noteDialog, "Label1")->text(), u"    "_s + kInstruction);
        QVERIFY(control<QLabel>(*m_noteDialog, "Label1")->font().bold());

        // No note text: two blanks only.
        m_note.text.clear();
        m_noteDialog->show();
        QCOMPARE(control<QLabel>(*m_noteDialog, "Label1")->text(), u"  "_s);
        QVERIFY(control<QPlainTextEdit>(*m_noteDialog, "Memo1")->isReadOnly());
        const QStringList lines
            = control<QPlainTextEdit>(*m_noteDialog, "Memo1")->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 5);
        QVERIFY(lines.first().endsWith(u"CCCCCCCXYZ."_s));
        QTest::mouseClick(control<QPushButton>(*m_noteDialog, "OKBtn"), Qt::LeftButton);
        QCOMPARE(m_noteDialog->result(), int(QDialog::Accepted));
    }

    void aboutBoxLinks()
    {
        TAboutBox about;
        QList<QUrl> opened;
        about.setUrlOpener([&opened](const QUrl &url) {
            opened << url;
            return true;
        });
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QVERIFY(control<QLabel>(about, "lblUrl")->text().endsWith(u"/   "_s));
        QVERIFY(control<QLabel>(about, "lblEmail")->text().endsWith(u"com       "_s));

        QTest::mouseClick(control<QLabel>(about, "lblUrl"), Qt::LeftButton);
        QTest::mouseClick(control<QLabel>(about, "lblEmail"), Qt::LeftButton);
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened.at(0), QUrl(control<QLabel>(about, "lblUrl")->text().trimmed()));
        QCOMPARE(opened.at(1), QUrl(u"mailto:"_s + control<QLabel>(about, "lblEmail")->text().trimmed()));
        QVERIFY(opened.at(0).isValid() && opened.at(1).isValid());

        // Bold while the mouse is over a link, plain and still underlined afterwards.
        for (QLabel *link : { control<QLabel>(about, "lblUrl"), control<QLabel>(about, "lblEmail") }) {
            QVERIFY(link->font().underline() && !link->font().bold());
            QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
            QCoreApplication::sendEvent(link, &enter);
            QVERIFY(link->font().bold() && link->font().underline());
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(link, &leave);
            QVERIFY(!link->font().bold() && link->font().underline());
            QCOMPARE(link->palette().color(QPalette::WindowText), QColor(Qt::blue));
        }
        QTest::mouseClick(control<QPushButton>(about, "OKButton"), Qt::LeftButton);
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(TestBookDialogs)
#include "test_gui_book_dialogs.moc"
