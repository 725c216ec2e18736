#include "book/EntryForm.h"

#include "core/AlertSink.h"
#include "core/DataErrors.h"
#include "core/Errors.h"
#include "core/WindowPlacement.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>

namespace {

QPushButton *makeButton(const QString &name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

EntryForm::EntryForm(AlertSink &alerts, const QString &listHeading, const QString &fieldsCaption, QWidget *parent)
    : QDialog(parent)
    , m_alerts(alerts)
{
    WindowPlacement::setFixedFrame(this, WindowPlacement::TitleButtons::Close);

    GroupBox2 = new QGroupBox(QStringLiteral("Database"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    m_model = new QStandardItemModel(0, 1, this);
    m_model->setHorizontalHeaderLabels({ listHeading });
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

    GroupBox1 = new QGroupBox(fieldsCaption, this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setEnabled(false);
    DBEdit0 = new QLineEdit(GroupBox1);
    DBEdit0->setObjectName(QStringLiteral("DBEdit0"));
    DBEdit0->setAccessibleName(QStringLiteral("DBEdit0"));
    DBEdit0->hide();

    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        if (!m_entry)
            showCurrentRecord();
    });
}

EntryForm::~EntryForm()
{
    // The list outlives the window's own part; it must not reach showCurrentRecord() then.
    DBGrid1->selectionModel()->disconnect(this);
}

void EntryForm::addButtonRow()
{
    btnImportCsv = makeButton(QStringLiteral("btnImportCsv"), QStringLiteral("Importa CSV..."), this);
    btnExportCsv = makeButton(QStringLiteral("btnExportCsv"), QStringLiteral("Esporta CSV..."), this);
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
    auto *files = new QHBoxLayout;
    files->addStretch(1);
    files->addWidget(btnImportCsv);
    files->addWidget(btnExportCsv);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addLayout(files);
    layout->addLayout(buttons);
    resize(640, 400);

    connect(BitBtn1, &QPushButton::clicked, this, &EntryForm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &EntryForm::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &EntryForm::BitBtn3Click);
    connect(BitBtn4, &QPushButton::clicked, this, &EntryForm::BitBtn4Click);
    connect(BitBtn5, &QPushButton::clicked, this, &EntryForm::BitBtn5Click);
    connect(BitBtn6, &QPushButton::clicked, this, &EntryForm::BitBtn6Click);
    connect(btnImportCsv, &QPushButton::clicked, this, &EntryForm::btnImportCsvClick);
    connect(btnExportCsv, &QPushButton::clicked, this, &EntryForm::btnExportCsvClick);
}

int EntryForm::currentRow() const
{
    const int row = DBGrid1->currentIndex().row();
    return row >= 0 && row < rowCount() ? row : -1;
}

int EntryForm::rowCount() const
{
    return m_model->rowCount();
}

void EntryForm::BitBtn3Click()
{
    const int row = currentRow();
    if (!requireRecord())
        return;
    QString question;
    if (!showingDataErrors(m_alerts, [&] { question = deleteQuestion(row); }))
        return;
    if (!m_alerts.ask(question, QString(), AlertIcon::Information, AlertButtons::YesNo))
        return;
    if (!showingDataErrors(m_alerts, [&] { removeRecord(row); }))
        return;
    openList(Position::Keep);
}

QString EntryForm::deleteQuestion(int row) const
{
    Q_UNUSED(row);
    return EntryTexts::kConfirmDelete;
}

void EntryForm::BitBtn5Click()
{
    m_entry = false;
    showCurrentRecord();
    setStateControls(false);
}

void EntryForm::BitBtn6Click()
{
    close();
}

void EntryForm::ADOQuery1AfterInsert()
{
    BitBtn4->setEnabled(true);
}

void EntryForm::ADOQuery1AfterOpen()
{
    // The fields follow the list's current record; "Scrivi" follows the state alone, so it is
    // never enabled outside an entry.
    showCurrentRecord();
}

void EntryForm::FormClose()
{
    DBGrid1->setEnabled(true);
    m_entry = false;
    showCurrentRecord();
    setStateControls(false);
    reloadMainList();
}

// Every way out of the dialog ("Esci", the title bar) ends here.
void EntryForm::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void EntryForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void EntryForm::reloadMainList()
{
    emit recordsChanged();
}

void EntryForm::openList(Position position)
{
    const int keptRow = currentRow();
    QStringList names;
    showingDataErrors(m_alerts, [&] { names = readRecords(); });
    m_model->setRowCount(0);
    for (const QString &name : std::as_const(names)) {
        auto *item = new QStandardItem(name);
        item->setEditable(false);
        m_model->appendRow(item);
    }
    const int count = static_cast<int>(names.size());
    int row = 0;
    if (position == Position::Last)
        row = count - 1;
    else if (position == Position::Keep)
        row = qMin(qMax(keptRow, 0), count - 1);
    if (row >= 0 && row < count)
        DBGrid1->setCurrentIndex(m_model->index(row, 0));
    ADOQuery1AfterOpen();
}

bool EntryForm::requireRecord()
{
    if (currentRow() >= 0)
        return true;
    m_alerts.plain(EntryTexts::kDatabaseEmpty);
    return false;
}

void EntryForm::beginEntry(EditMode mode)
{
    m_editMode = mode;
    m_entry = true;
    setStateControls(true);
}

void EntryForm::endStoredEntry()
{
    m_entry = false;
    openList(Position::Last);
    reloadMainList();
    setStateControls(false);
}

void EntryForm::setStateControls(bool entry)
{
    BitBtn1->setEnabled(!entry);
    BitBtn2->setEnabled(!entry);
    BitBtn3->setEnabled(!entry);
    BitBtn4->setEnabled(entry);
    BitBtn5->setEnabled(entry);
    btnImportCsv->setEnabled(!entry);
    btnExportCsv->setEnabled(!entry);
    GroupBox1->setEnabled(entry);
    DBGrid1->setEnabled(!entry);
}
