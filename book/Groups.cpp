#include "book/Groups.h"

#include "book/CsvImportDialog.h"
#include "book/GroupChecks.h"
#include "book/GroupCsv.h"
#include "core/AlertSink.h"
#include "core/Clock.h"
#include "core/Csv.h"
#include "core/DataErrors.h"
#include "core/ModalRunner.h"
#include "ui/FileDialogs.h"

#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QTableWidget>

namespace {

QLabel *captionFor(QWidget *control, const QString &caption, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setBuddy(control);
    control->setAccessibleName(caption);
    return label;
}

QPushButton *button(const QString &name, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

// The duty hours' editor is often empty (always on duty), and an empty line says nothing to a
// screen reader: it takes its column's caption as its name and the member's name in its
// description.
class DutyDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (editor) {
            editor->setAccessibleName(index.model()->headerData(index.column(), Qt::Horizontal).toString());
            editor->setAccessibleDescription(
                QStringLiteral("Turni di %1").arg(index.siblingAtColumn(0).data().toString()));
        }
        return editor;
    }
};

} // namespace

TfrmGroups::TfrmGroups(DataStores &stores, AlertSink &alerts, const Clock &clock, QWidget *parent)
    : EntryForm(alerts, QStringLiteral("Gruppi"), QStringLiteral("Dati gruppo"), parent)
    , m_stores(stores)
    , m_clock(clock)
{
    setObjectName(QStringLiteral("frmGroups"));
    setWindowTitle(QStringLiteral("Database gruppi"));

    auto *fields = new QGridLayout(GroupBox1);
    DBEdit1 = new QLineEdit(GroupBox1);
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));
    fields->addWidget(captionFor(DBEdit1, QStringLiteral("Gruppo:"), GroupBox1), 0, 0);
    fields->addWidget(DBEdit1, 0, 1, 1, 2);
    DBEdit2 = new QLineEdit(GroupBox1);
    DBEdit2->setObjectName(QStringLiteral("DBEdit2"));
    fields->addWidget(captionFor(DBEdit2, QStringLiteral("Descrizione:"), GroupBox1), 1, 0);
    fields->addWidget(DBEdit2, 1, 1, 1, 2);

    cboUser = new QComboBox(GroupBox1);
    cboUser->setObjectName(QStringLiteral("cboUser"));
    btnAdd = button(QStringLiteral("btnAdd"), QStringLiteral("Aggiungi"), GroupBox1);
    fields->addWidget(captionFor(cboUser, QStringLiteral("Utente:"), GroupBox1), 2, 0);
    fields->addWidget(cboUser, 2, 1);
    fields->addWidget(btnAdd, 2, 2);

    grdMembers = new QTableWidget(0, 2, GroupBox1);
    grdMembers->setObjectName(QStringLiteral("grdMembers"));
    grdMembers->setHorizontalHeaderLabels({ QStringLiteral("Utente"), QStringLiteral("Turni") });
    grdMembers->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdMembers->setSelectionMode(QAbstractItemView::SingleSelection);
    grdMembers->horizontalHeader()->setStretchLastSection(true);
    grdMembers->verticalHeader()->hide();
    grdMembers->setItemDelegateForColumn(1, new DutyDelegate(grdMembers));
    grdMembers->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                | QAbstractItemView::AnyKeyPressed);
    fields->addWidget(captionFor(grdMembers, QStringLiteral("Membri:"), GroupBox1), 3, 0, Qt::AlignTop);
    fields->addWidget(grdMembers, 3, 1);
    auto *moves = new QVBoxLayout;
    btnRemove = button(QStringLiteral("btnRemove"), QStringLiteral("Rimuovi"), GroupBox1);
    btnUp = button(QStringLiteral("btnUp"), QStringLiteral("Su"), GroupBox1);
    btnDown = button(QStringLiteral("btnDown"), QStringLiteral("Giù"), GroupBox1);
    for (QPushButton *b : { btnRemove, btnUp, btnDown })
        moves->addWidget(b);
    moves->addStretch(1);
    fields->addLayout(moves, 3, 2);

    lblOnDuty = new QLabel(GroupBox1);
    lblOnDuty->setObjectName(QStringLiteral("lblOnDuty"));
    lblOnDuty->setWordWrap(true);
    fields->addWidget(lblOnDuty, 4, 0, 1, 3);
    fields->setRowStretch(3, 1);
    addButtonRow();
    resize(760, 460);

    connect(btnAdd, &QPushButton::clicked, this, &TfrmGroups::btnAddClick);
    connect(btnRemove, &QPushButton::clicked, this, &TfrmGroups::btnRemoveClick);
    connect(btnUp, &QPushButton::clicked, this, &TfrmGroups::btnUpClick);
    connect(btnDown, &QPushButton::clicked, this, &TfrmGroups::btnDownClick);
    connect(grdMembers, &QTableWidget::itemChanged, this, [this] { showOnDuty(); });
    showOnDuty();
}

void TfrmGroups::BitBtn1Click()
{
    beginEntry(EditMode::New);
    m_previousName.clear();
    DBEdit1->clear();
    DBEdit2->clear();
    showMembers({});
    loadUsers();
    ADOQuery1AfterInsert();
    DBEdit1->setFocus();
}

void TfrmGroups::BitBtn2Click()
{
    if (!requireRecord())
        return;
    beginEntry(EditMode::Existing);
    m_previousName = m_rows.at(currentRow()).name;
    loadUsers();
    DBEdit1->setFocus();
}

void TfrmGroups::BitBtn4Click()
{
    if (!m_entry)
        return;
    const Group group = StoredGroup(groupFromFields());
    GroupRefusal refusal;
    if (!showingDataErrors(m_alerts, [&] {
            refusal = CheckGroupEntry(m_stores.groups, group, m_editMode == EditMode::New ? QString() : m_previousName);
        }))
        return;
    if (refusal) {
        m_alerts.plain(refusal.text);
        if (refusal.kind == GroupRefusal::BadDuty) {
            grdMembers->setCurrentCell(refusal.member, 1);
            grdMembers->setFocus();
        } else {
            DBEdit1->setFocus();
        }
        return;
    }
    if (!showingDataErrors(
            m_alerts, [&] { m_stores.groups.save(group, m_editMode == EditMode::New ? QString() : m_previousName); }))
        return;
    endStoredEntry();
}

void TfrmGroups::btnAddClick()
{
    const QString name = cboUser->currentText();
    if (name.isEmpty())
        return;
    for (int row = 0; row < grdMembers->rowCount(); ++row) {
        if (grdMembers->item(row, 0)->text().compare(name, Qt::CaseInsensitive) == 0) {
            grdMembers->setCurrentCell(row, 1);
            return;
        }
    }
    appendMember({ name, QString() });
    grdMembers->setCurrentCell(grdMembers->rowCount() - 1, 1);
    showOnDuty();
}

void TfrmGroups::btnRemoveClick()
{
    const int row = grdMembers->currentRow();
    if (row < 0)
        return;
    grdMembers->removeRow(row);
    showOnDuty();
}

void TfrmGroups::btnUpClick()
{
    moveMember(-1);
}

void TfrmGroups::btnDownClick()
{
    moveMember(1);
}

void TfrmGroups::moveMember(int delta)
{
    const int row = grdMembers->currentRow();
    const int to = row + delta;
    if (row < 0 || to < 0 || to >= grdMembers->rowCount())
        return;
    QList<GroupMember> members = groupFromFields().members;
    members.swapItemsAt(row, to);
    showMembers(members);
    grdMembers->setCurrentCell(to, grdMembers->currentColumn() < 0 ? 0 : grdMembers->currentColumn());
}

Group TfrmGroups::groupFromFields() const
{
    Group group { DBEdit1->text(), DBEdit2->text(), {} };
    for (int row = 0; row < grdMembers->rowCount(); ++row) {
        const QTableWidgetItem *duty = grdMembers->item(row, 1);
        group.members.append({ grdMembers->item(row, 0)->text(), duty ? duty->text() : QString() });
    }
    return group;
}

void TfrmGroups::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous() && !m_entry)
        openList(Position::First);
}

QStringList TfrmGroups::readRecords()
{
    m_rows.clear();
    m_rows = m_stores.groups.all();
    QStringList names;
    for (const Group &row : std::as_const(m_rows))
        names.append(row.name);
    return names;
}

void TfrmGroups::removeRecord(int row)
{
    m_stores.groups.remove(m_rows.at(row).name);
}

void TfrmGroups::showCurrentRecord()
{
    const int row = currentRow();
    Group group;
    if (row >= 0) {
        try {
            group = m_stores.groups.find(m_rows.at(row).name).value_or(m_rows.at(row));
        } catch (const DataError &error) {
            m_alerts.plain(error.text());
            group = m_rows.at(row);
        }
    }
    DBEdit1->setText(group.name);
    DBEdit2->setText(group.description);
    showMembers(group.members);
}

void TfrmGroups::showMembers(const QList<GroupMember> &members)
{
    const QSignalBlocker quiet(grdMembers);
    grdMembers->setRowCount(0);
    for (const GroupMember &member : members)
        appendMember(member);
    showOnDuty();
}

void TfrmGroups::appendMember(const GroupMember &member)
{
    const QSignalBlocker quiet(grdMembers);
    const int row = grdMembers->rowCount();
    grdMembers->insertRow(row);
    auto *user = new QTableWidgetItem(member.recipient);
    user->setFlags(user->flags() & ~Qt::ItemIsEditable);
    grdMembers->setItem(row, 0, user);
    grdMembers->setItem(row, 1, new QTableWidgetItem(member.duty));
}

void TfrmGroups::showOnDuty()
{
    lblOnDuty->setText(OnDutyText(groupFromFields().members, m_clock.now()));
}

void TfrmGroups::loadUsers()
{
    cboUser->clear();
    showingDataErrors(m_alerts, [&] {
        for (const Recipient &user : m_stores.recipients.all())
            cboUser->addItem(user.recipient);
    });
}

void TfrmGroups::btnImportCsvClick()
{
    if (m_entry)
        return;
    FileDialogs::Request request;
    request.caption = CsvImportTexts::kCaption;
    request.startFolder = QDir::currentPath();
    request.filter = CsvImportTexts::kFilter;
    request.mustExist = true;
    const QString path = FileDialogs::openFileName(this, request);
    if (path.isEmpty())
        return;
    QByteArray bytes;
    QString error;
    if (!ReadCsvImportFile(path, bytes, error)) {
        m_alerts.captioned(error, CsvImportTexts::kCaption, AlertIcon::Warning);
        return;
    }
    GroupCsvImport import(m_stores.report.database()); // the one connection every store holds
    CsvImportPlan plan;
    if (!showingDataErrors(m_alerts, [&] { plan = import.check(bytes, path); }))
        return;
    if (!plan.error.isEmpty()) {
        m_alerts.captioned(plan.error, CsvImportTexts::kCaption, AlertIcon::Warning);
        return;
    }
    QString summary = GroupCsvImport::summary(plan, path);
    QString question;
    if (plan.accepted > 0)
        question = GroupCsvTexts::kAsk.arg(plan.accepted);
    else
        summary += QLatin1Char('\n') + GroupCsvTexts::kNone;
    CsvImportDialog dialog(summary, question, this);
    if (ModalRunner::exec(&dialog) != QDialog::Accepted || plan.accepted == 0)
        return;
    qsizetype added = 0;
    try {
        added = import.apply();
    } catch (const DataError &failure) {
        m_alerts.captioned(CsvImportTexts::kImportFailed.arg(failure.text()), CsvImportTexts::kCaption,
                           AlertIcon::Warning);
        return;
    }
    m_alerts.captioned(GroupCsvTexts::kImported.arg(added), CsvImportTexts::kCaption, AlertIcon::Information);
    openList(Position::First);
    reloadMainList();
}

void TfrmGroups::btnExportCsvClick()
{
    if (m_entry)
        return;
    QList<Group> groups;
    if (!showingDataErrors(m_alerts, [&] {
            for (const Group &group : m_stores.groups.all())
                groups.append(m_stores.groups.find(group.name).value_or(group));
        }))
        return;
    FileDialogs::Request request;
    request.caption = CsvImportTexts::kExportCaption;
    request.startFolder = QDir::currentPath();
    request.filter = CsvImportTexts::kFilter;
    request.defaultSuffix = QStringLiteral("csv");
    request.confirmOverwrite = true;
    const QString path = FileDialogs::saveFileName(this, request);
    if (path.isEmpty())
        return;
    if (const QString failure = Csv::saveFile(path, GroupCsvImport::exportBytes(groups)); !failure.isEmpty()) {
        m_alerts.captioned(CsvImportTexts::kExportFailed.arg(failure), CsvImportTexts::kExportCaption,
                           AlertIcon::Warning);
        return;
    }
    m_alerts.captioned(GroupCsvTexts::kExported.arg(QString::number(groups.size()), path),
                       CsvImportTexts::kExportCaption, AlertIcon::Information);
}
