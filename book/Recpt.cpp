#include "book/Recpt.h"

#include "app/AlertSink.h"
#include "app/ModalRunner.h"
#include "book/CapcodeNote.h"
#include "book/OKBottomDlg.h"
#include "link/PagerCode.h"
#include "link/Pinid.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStandardItemModel>
#include <QTableView>

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

QPushButton *makeButton(const QString &name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

TfrmRecpt::TfrmRecpt(DataStores &stores, AlertSink &alerts, CapcodeNote &note, TOKBottomDlg &noteDialog,
                     TfrmPinId &pinId, std::function<void()> loadUserList, QWidget *parent)
    : QDialog(parent)
    , m_stores(stores)
    , m_alerts(alerts)
    , m_note(note)
    , m_noteDialog(noteDialog)
    , m_pinId(pinId)
    , m_loadUserList(std::move(loadUserList))
{
    setObjectName(QStringLiteral("frmRecpt"));
    setWindowTitle(QStringLiteral("Database utenti"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);

    // Left: the list of users by name.
    GroupBox2 = new QGroupBox(QStringLiteral("Database"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    m_model = new QStandardItemModel(0, 1, this);
    m_model->setHorizontalHeaderLabels({ QStringLiteral("Utenti") });
    m_model->setHeaderData(0, Qt::Horizontal, Qt::AlignCenter, Qt::TextAlignmentRole);
    DBGrid1 = new QTableView(GroupBox2);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setAccessibleName(QStringLiteral("Database"));
    DBGrid1->setModel(m_model);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->horizontalHeader()->setStretchLastSection(true);
    DBGrid1->verticalHeader()->setDefaultSectionSize(DBGrid1->fontMetrics().height() + 6);
    auto *left = new QVBoxLayout(GroupBox2);
    left->addWidget(DBGrid1);

    // Right: the fields of the current record.
    GroupBox1 = new QGroupBox(QStringLiteral("Dati utente"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto *fields = new QGridLayout(GroupBox1);
    DBEdit1 = addField(fields, 0, QStringLiteral("DBEdit1"), QStringLiteral("Utente:"), GroupBox1);
    DBEdit2 = addField(fields, 1, QStringLiteral("DBEdit2"), QStringLiteral("Nome:"), GroupBox1);
    DBEdit3 = addField(fields, 2, QStringLiteral("DBEdit3"), QStringLiteral("Cognome:"), GroupBox1);
    DBEdit4 = addField(fields, 3, QStringLiteral("DBEdit4"), QStringLiteral("Azienda:"), GroupBox1);
    DBEdit5 = addField(fields, 4, QStringLiteral("DBEdit5"), QStringLiteral("Qualifica:"), GroupBox1);
    DBEdit6 = addField(fields, 5, QStringLiteral("DBEdit6"), QStringLiteral("Note:"), GroupBox1);
    DBEdit7 = addField(fields, 6, QStringLiteral("DBEdit7"), QStringLiteral("Codifica:"), GroupBox1);
    DBEdit7->setMaxLength(kCodeLength);
    Button1 = makeButton(QStringLiteral("Button1"), QStringLiteral("[...]"), GroupBox1);
    fields->addWidget(Button1, 6, 2);
    Edit1 = addField(fields, 7, QStringLiteral("Edit1"), QStringLiteral("Max. Car."), GroupBox1);
    Edit1->setText(QStringLiteral("2000"));
    Edit1->setEnabled(false);
    DBCheckBox1 = new QCheckBox(QStringLiteral("Anteponi \"Nome\""), GroupBox1);
    DBCheckBox1->setObjectName(QStringLiteral("DBCheckBox1"));
    fields->addWidget(DBCheckBox1, 8, 1);
    DBEdit0 = new QLineEdit(GroupBox1);
    DBEdit0->setObjectName(QStringLiteral("DBEdit0"));
    DBEdit0->setAccessibleName(QStringLiteral("DBEdit0"));
    DBEdit0->hide();
    fields->setRowStretch(9, 1);
    GroupBox1->setEnabled(false);

    BitBtn1 = makeButton(QStringLiteral("BitBtn1"), QStringLiteral("Nuovo"), this);
    BitBtn2 = makeButton(QStringLiteral("BitBtn2"), QStringLiteral("Modifica"), this);
    BitBtn3 = makeButton(QStringLiteral("BitBtn3"), QStringLiteral("Elimina"), this);
    BitBtn4 = makeButton(QStringLiteral("BitBtn4"), QStringLiteral("Scrivi"), this);
    BitBtn5 = makeButton(QStringLiteral("BitBtn5"), QStringLiteral("Cancella"), this);
    BitBtn6 = makeButton(QStringLiteral("BitBtn6"), QStringLiteral("Esci"), this);
    BitBtn4->setEnabled(false);
    BitBtn5->setEnabled(false);

    auto *groups = new QHBoxLayout;
    groups->addWidget(GroupBox2, 1);
    groups->addWidget(GroupBox1, 2);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *button : { BitBtn1, BitBtn2, BitBtn3, BitBtn4, BitBtn5, BitBtn6 })
        buttons->addWidget(button);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addLayout(buttons);
    resize(640, 400);

    connect(BitBtn1, &QPushButton::clicked, this, &TfrmRecpt::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmRecpt::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TfrmRecpt::BitBtn3Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TfrmRecpt::BitBtn4Click);
    connect(BitBtn5, &QPushButton::clicked, this, &TfrmRecpt::BitBtn5Click);
    connect(BitBtn6, &QPushButton::clicked, this, &TfrmRecpt::BitBtn6Click);
    connect(Button1, &QPushButton::clicked, this, &TfrmRecpt::Button1Click);
    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        if (!m_entry)
            showCurrentRecord();
    });
}

int TfrmRecpt::currentRow() const
{
    const int row = DBGrid1->currentIndex().row();
    return row >= 0 && row < m_rows.size() ? row : -1;
}

void TfrmRecpt::BitBtn1Click()
{
    m_entry = true;
    for (QLineEdit *edit : { DBEdit0, DBEdit1, DBEdit2, DBEdit3, DBEdit4, DBEdit5, DBEdit6, DBEdit7 })
        edit->clear();
    DBEdit7->setMaxLength(kCodeLength);
    ADOQuery1AfterInsert();
    applyEntryState();
    DBEdit1->setFocus();
    DBCheckBox1->setChecked(false);
    DBGrid1->setEnabled(false);
    m_editMode = EditMode::New;
}

void TfrmRecpt::BitBtn2Click()
{
    if (m_rows.isEmpty() || currentRow() < 0) {
        m_alerts.plain(EntryTexts::kDatabaseEmpty);
        return;
    }
    m_editMode = EditMode::Existing;
    // The record goes into editing at once, so "Scrivi" with nothing changed stores it as it is.
    m_entry = true;
    applyEntryState();
    DBEdit1->setFocus();
    DBGrid1->setEnabled(false);
}

void TfrmRecpt::BitBtn3Click()
{
    const int row = currentRow();
    if (m_rows.isEmpty() || row < 0) {
        m_alerts.plain(EntryTexts::kDatabaseEmpty);
        return;
    }
    if (!m_alerts.ask(EntryTexts::kConfirmDelete, QString(), AlertIcon::Information, AlertButtons::YesNo))
        return;
    try {
        m_stores.recipients.remove(m_rows.at(row).num);
    } catch (const DataError &error) {
        m_alerts.plain(error.text());
        return;
    }
    openList(Position::Keep);
}

void TfrmRecpt::BitBtn4Click()
{
    if (!m_entry)
        return;
    EntryRefusal refusal;
    try {
        refusal = CheckRecipientEntry(m_stores.recipients, m_editMode, DBEdit0->text().toLongLong(), DBEdit1->text(),
                                      DBEdit7->text());
    } catch (const DataError &error) {
        m_alerts.plain(error.text());
        return;
    }
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
    case EntryRefusal::BadCode:
    case EntryRefusal::EmptyContent:
        m_note.text = refusal.text;
        ModalRunner::exec(&m_noteDialog);
        DBEdit7->setFocus();
        return;
    }

    DBEdit7->setText(PadPagerCode(DBEdit7->text()));
    const Recipient record = recordFromFields();
    try {
        if (m_editMode == EditMode::New)
            m_stores.recipients.insert(record);
        else
            m_stores.recipients.update(record);
    } catch (const DataError &error) {
        m_alerts.plain(error.text());
        return;
    }
    m_entry = false;
    openList(Position::Last);
    if (m_loadUserList)
        m_loadUserList();
    applyBrowseState();
    DBGrid1->setEnabled(true);
}

void TfrmRecpt::BitBtn5Click()
{
    m_entry = false;
    showCurrentRecord();
    applyBrowseState();
    DBGrid1->setEnabled(true);
}

void TfrmRecpt::BitBtn6Click()
{
    close();
}

void TfrmRecpt::Button1Click()
{
    m_pinId.setTarget(DBEdit7);
    ModalRunner::exec(&m_pinId);
}

void TfrmRecpt::ADOQuery1AfterInsert()
{
    BitBtn4->setEnabled(true);
}

void TfrmRecpt::ADOQuery1AfterOpen()
{
    // The fields follow the list's current record; "Scrivi" follows the state alone, so it is
    // never enabled outside an entry.
    showCurrentRecord();
}

void TfrmRecpt::FormClose()
{
    DBGrid1->setEnabled(true);
    m_entry = false;
    showCurrentRecord();
    applyBrowseState();
    if (m_loadUserList)
        m_loadUserList();
}

// Every way out of the dialog ("Esci", the title bar, Escape) ends here.
void TfrmRecpt::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TfrmRecpt::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous() && !m_entry)
        openList(Position::First);
}

void TfrmRecpt::openList(Position position)
{
    const int keptRow = currentRow();
    try {
        m_rows = m_stores.recipients.all();
    } catch (const DataError &error) {
        m_rows.clear();
        m_alerts.plain(error.text());
    }
    m_model->setRowCount(0);
    for (const Recipient &row : std::as_const(m_rows)) {
        auto *item = new QStandardItem(row.recipient);
        item->setEditable(false);
        m_model->appendRow(item);
    }
    int row = 0;
    if (position == Position::Last)
        row = static_cast<int>(m_rows.size()) - 1;
    else if (position == Position::Keep)
        row = qMin(qMax(keptRow, 0), static_cast<int>(m_rows.size()) - 1);
    if (row >= 0 && row < m_rows.size())
        DBGrid1->setCurrentIndex(m_model->index(row, 0));
    ADOQuery1AfterOpen();
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
    record.recipient = DBEdit1->text();
    record.firstName = DBEdit2->text();
    record.lastName = DBEdit3->text();
    record.company = DBEdit4->text();
    record.jobTitle = DBEdit5->text();
    record.comment = DBEdit6->text();
    record.pinId = DBEdit7->text();
    record.sendName = DBCheckBox1->isChecked();
    return record;
}

void TfrmRecpt::applyBrowseState()
{
    setStateControls(false);
}

void TfrmRecpt::applyEntryState()
{
    setStateControls(true);
}

void TfrmRecpt::setStateControls(bool entry)
{
    BitBtn1->setEnabled(!entry);
    BitBtn2->setEnabled(!entry);
    BitBtn3->setEnabled(!entry);
    BitBtn4->setEnabled(entry);
    BitBtn5->setEnabled(entry);
    GroupBox1->setEnabled(entry);
    DBGrid1->setEnabled(!entry);
}
