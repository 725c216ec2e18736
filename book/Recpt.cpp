#include "book/Recpt.h"

#include "book/BookTransaction.h"
#include "book/CsvImport.h"
#include "book/CsvImportDialog.h"
#include "book/OKBottomDlg.h"
#include "core/AlertSink.h"
#include "core/DataErrors.h"
#include "core/ModalRunner.h"
#include "link/CapcodeNote.h"
#include "link/PagerCode.h"
#include "link/Pinid.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTableView>

#include <algorithm>

namespace {

constexpr int kCodeLength = 10;

QLineEdit *addField(QGridLayout *grid, int row, const QString &name, const QString &caption, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setAccessibleName(caption);
    label->setBuddy(edit);
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row, 1);
    return edit;
}

} // namespace

TfrmRecpt::TfrmRecpt(DataStores &stores, AlertSink &alerts, CapcodeNote &note, QWidget *parent)
    : EntryForm(alerts, QStringLiteral("Utenti"), QStringLiteral("Dati utente"), parent)
    , m_stores(stores)
    , m_note(note)
{
    setObjectName(QStringLiteral("frmRecpt"));
    setWindowTitle(QStringLiteral("Database utenti"));

    auto *fields = new QGridLayout(GroupBox1);
    DBEdit1 = addField(fields, 0, QStringLiteral("DBEdit1"), QStringLiteral("Utente:"), GroupBox1);
    DBEdit2 = addField(fields, 1, QStringLiteral("DBEdit2"), QStringLiteral("Nome:"), GroupBox1);
    DBEdit3 = addField(fields, 2, QStringLiteral("DBEdit3"), QStringLiteral("Cognome:"), GroupBox1);
    DBEdit4 = addField(fields, 3, QStringLiteral("DBEdit4"), QStringLiteral("Azienda:"), GroupBox1);
    DBEdit5 = addField(fields, 4, QStringLiteral("DBEdit5"), QStringLiteral("Qualifica:"), GroupBox1);
    DBEdit6 = addField(fields, 5, QStringLiteral("DBEdit6"), QStringLiteral("Note:"), GroupBox1);
    DBEdit7 = addField(fields, 6, QStringLiteral("DBEdit7"), QStringLiteral("Codifica:"), GroupBox1);
    DBEdit7->setMaxLength(kCodeLength);
    Button1 = new QPushButton(QStringLiteral("[...]"), GroupBox1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    fields->addWidget(Button1, 6, 2);
    Edit1 = addField(fields, 7, QStringLiteral("Edit1"), QStringLiteral("Max. Car."), GroupBox1);
    Edit1->setText(QStringLiteral("2000"));
    Edit1->setEnabled(false);
    DBCheckBox1 = new QCheckBox(QStringLiteral("Anteponi \"Nome\""), GroupBox1);
    DBCheckBox1->setObjectName(QStringLiteral("DBCheckBox1"));
    fields->addWidget(DBCheckBox1, 8, 1);
    fields->setRowStretch(9, 1);
    addButtonRow();

    connect(Button1, &QPushButton::clicked, this, &TfrmRecpt::Button1Click);
}

void TfrmRecpt::BitBtn1Click()
{
    beginEntry(EditMode::New);
    for (QLineEdit *edit : { DBEdit0, DBEdit1, DBEdit2, DBEdit3, DBEdit4, DBEdit5, DBEdit6, DBEdit7 })
        edit->clear();
    DBEdit7->setMaxLength(kCodeLength);
    ADOQuery1AfterInsert();
    DBEdit1->setFocus();
    DBCheckBox1->setChecked(false);
}

void TfrmRecpt::BitBtn2Click()
{
    if (!requireRecord())
        return;
    // The record goes into editing at once, so "Scrivi" with nothing changed stores it as it is.
    beginEntry(EditMode::Existing);
    DBEdit1->setFocus();
}

void TfrmRecpt::BitBtn4Click()
{
    if (!m_entry)
        return;
    EntryRefusal refusal;
    if (!showingDataErrors(m_alerts, [&] {
            refusal = CheckRecipientEntry(m_stores.recipients, m_editMode, DBEdit0->text().toLongLong(),
                                          { DBEdit1->text(), DBEdit2->text(), DBEdit3->text() }, DBEdit7->text());
        }))
        return;
    switch (refusal.kind) {
    case EntryRefusal::None:
        break;
    case EntryRefusal::Duplicate:
        m_alerts.plain(refusal.text);
        DBEdit1->setFocus();
        return;
    case EntryRefusal::EmptyName:
        m_alerts.captioned(refusal.text, EntryTexts::kRecipientCaption, AlertIcon::Warning);
        DBEdit1->setFocus();
        return;
    case EntryRefusal::ControlInName:
        m_alerts.captioned(refusal.text, EntryTexts::kRecipientCaption, AlertIcon::Warning);
        for (QLineEdit *edit : { DBEdit1, DBEdit2, DBEdit3 }) {
            if (!NameFieldWithControl({ edit->text(), QString(), QString() }).isEmpty()) {
                edit->setFocus();
                break;
            }
        }
        return;
    case EntryRefusal::BadCode:
    case EntryRefusal::EmptyContent:
        m_note.text = refusal.text;
        if (m_noteDialog)
            ModalRunner::exec(m_noteDialog);
        DBEdit7->setFocus();
        return;
    }

    const QString name = TrimEntryText(StoredName(DBEdit1->text()));
    try {
        if (m_stores.groups.nameIsGroup(name)) {
            m_alerts.plain(EntryTexts::kNameIsGroup.arg(name));
            DBEdit1->setFocus();
            return;
        }
    } catch (const DataError &error) {
        m_alerts.plain(error.text());
        return;
    }

    DBEdit7->setText(PadPagerCode(DBEdit7->text()));
    const Recipient record = recordFromFields();
    try {
        if (m_editMode == EditMode::New) {
            m_stores.recipients.insert(record);
        } else {
            // The user's memberships follow a new name, or neither changes.
            const auto old = std::find_if(m_rows.cbegin(), m_rows.cend(),
                                          [&](const Recipient &row) { return row.num == record.num; });
            const QString oldName = old != m_rows.cend() ? old->recipient : QString();
            BookTransaction::run(m_stores.report.database(), [&] {
                m_stores.recipients.update(record);
                if (!oldName.isEmpty() && oldName != record.recipient)
                    m_stores.groups.renameMember(oldName, record.recipient);
            });
        }
    } catch (const DataError &error) {
        m_alerts.plain(error.text());
        return;
    }
    endStoredEntry();
}

void TfrmRecpt::setDialogs(TOKBottomDlg *noteDialog, TfrmPinId *pinId)
{
    m_noteDialog = noteDialog;
    m_pinId = pinId;
}

void TfrmRecpt::Button1Click()
{
    if (!m_pinId)
        return;
    m_pinId->setTarget(DBEdit7);
    ModalRunner::exec(m_pinId);
}

void TfrmRecpt::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous() && !m_entry)
        openList(Position::First);
}

QStringList TfrmRecpt::readRecords()
{
    m_rows.clear();
    m_rows = m_stores.recipients.all();
    QStringList names;
    for (const Recipient &row : std::as_const(m_rows))
        names.append(row.recipient);
    return names;
}

void TfrmRecpt::removeRecord(int row)
{
    const Recipient &user = m_rows.at(row);
    BookTransaction::run(m_stores.report.database(), [&] {
        m_stores.recipients.remove(user.num);
        m_stores.groups.removeMember(user.recipient);
    });
}

QString TfrmRecpt::deleteQuestion(int row) const
{
    const QString &name = m_rows.at(row).recipient;
    const QStringList groups = m_stores.groups.groupsOf(name);
    if (groups.isEmpty())
        return EntryForm::deleteQuestion(row);
    return EntryTexts::kDeleteMember.arg(name, groups.join(QStringLiteral(", ")));
}

void TfrmRecpt::showCurrentRecord()
{
    const int row = currentRow();
    const Recipient record = row >= 0 ? m_rows.at(row) : Recipient {};
    DBEdit0->setText(row >= 0 ? QString::number(record.num) : QString());
    DBEdit1->setText(record.recipient);
    DBEdit2->setText(record.firstName);
    DBEdit3->setText(record.lastName);
    DBEdit4->setText(record.company);
    DBEdit5->setText(record.jobTitle);
    DBEdit6->setText(record.comment);
    // A longer code stored by other means is shown in full (and refused by "Scrivi").
    DBEdit7->setMaxLength(qMax(kCodeLength, static_cast<int>(record.pinId.size())));
    DBEdit7->setText(record.pinId);
    DBCheckBox1->setChecked(record.sendName);
}

Recipient TfrmRecpt::recordFromFields() const
{
    Recipient record;
    record.num = DBEdit0->text().toLongLong();
    record.recipient = StoredName(DBEdit1->text());
    record.firstName = StoredName(DBEdit2->text());
    record.lastName = StoredName(DBEdit3->text());
    record.company = DBEdit4->text();
    record.jobTitle = DBEdit5->text();
    record.comment = DBEdit6->text();
    record.pinId = DBEdit7->text();
    record.sendName = DBCheckBox1->isChecked();
    return record;
}

void TfrmRecpt::btnImportCsvClick()
{
    if (m_entry)
        return;
    RecipientCsvImport import(m_stores.report.database()); // the one connection every store holds
    if (!CsvFlows::importFile(this, m_alerts, import, false, QDir::currentPath()))
        return;
    openList(Position::Last);
    reloadMainList();
}

void TfrmRecpt::btnExportCsvClick()
{
    if (m_entry)
        return;
    QList<Recipient> rows;
    if (!showingDataErrors(m_alerts, [&] { rows = m_stores.recipients.all(); }))
        return;
    CsvFlows::exportFile(this, m_alerts, RecipientCsvImport::exportBytes(rows), rows.size(), false,
                         QDir::currentPath());
}
