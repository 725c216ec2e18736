#include "book/Premsg.h"

#include "app/AlertSink.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStandardItemModel>
#include <QTableView>
#include <QTextCursor>

namespace {

QPushButton *makeButton(const QString &name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

} // namespace

TfrmPreMsg::TfrmPreMsg(DataStores &stores, AlertSink &alerts, std::function<void()> loadPresetList, QWidget *parent)
    : QDialog(parent)
    , m_stores(stores)
    , m_alerts(alerts)
    , m_loadPresetList(std::move(loadPresetList))
{
    setObjectName(QStringLiteral("frmPreMsg"));
    setWindowTitle(QStringLiteral("Database messaggi"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);

    GroupBox2 = new QGroupBox(QStringLiteral("Database"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    m_model = new QStandardItemModel(0, 1, this);
    m_model->setHorizontalHeaderLabels({ QStringLiteral("Messaggi") });
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

    GroupBox1 = new QGroupBox(QStringLiteral("Messaggio"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto *nameLabel = new QLabel(QStringLiteral("Nome:"), GroupBox1);
    DBEdit1 = new QLineEdit(GroupBox1);
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));
    DBEdit1->setAccessibleName(nameLabel->text());
    nameLabel->setBuddy(DBEdit1);
    auto *textLabel = new QLabel(QStringLiteral("Testo (numerico/alfanumerico):"), GroupBox1);
    DBMemo1 = new QPlainTextEdit(GroupBox1);
    DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
    DBMemo1->setAccessibleName(textLabel->text());
    DBMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DBMemo1->setTabChangesFocus(true);
    DBMemo1->installEventFilter(this);
    textLabel->setBuddy(DBMemo1);
    DBEdit0 = new QLineEdit(GroupBox1);
    DBEdit0->setObjectName(QStringLiteral("DBEdit0"));
    DBEdit0->setAccessibleName(QStringLiteral("DBEdit0"));
    DBEdit0->hide();
    auto *fields = new QVBoxLayout(GroupBox1);
    fields->addWidget(nameLabel);
    fields->addWidget(DBEdit1);
    fields->addWidget(textLabel);
    fields->addWidget(DBMemo1, 1);
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

    connect(BitBtn1, &QPushButton::clicked, this, &TfrmPreMsg::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmPreMsg::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TfrmPreMsg::BitBtn3Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TfrmPreMsg::BitBtn4Click);
    connect(BitBtn5, &QPushButton::clicked, this, &TfrmPreMsg::BitBtn5Click);
    connect(BitBtn6, &QPushButton::clicked, this, &TfrmPreMsg::BitBtn6Click);
    connect(DBMemo1, &QPlainTextEdit::textChanged, this, &TfrmPreMsg::DBMemo1Change);
    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        if (!m_entry)
            showCurrentRecord();
    });
}

int TfrmPreMsg::currentRow() const
{
    const int row = DBGrid1->currentIndex().row();
    return row >= 0 && row < m_rows.size() ? row : -1;
}

void TfrmPreMsg::FormShow()
{
    if (m_loadPresetList)
        m_loadPresetList();
    if (!m_entry)
        openList(Position::First);
}

void TfrmPreMsg::BitBtn1Click()
{
    m_entry = true;
    DBEdit0->clear();
    DBEdit1->clear();
    DBMemo1->clear();
    ADOQuery1AfterInsert();
    setStateControls(true);
    DBEdit1->setFocus();
    DBGrid1->setEnabled(false);
    m_editMode = EditMode::New;
}

void TfrmPreMsg::BitBtn2Click()
{
    if (m_rows.isEmpty() || currentRow() < 0) {
        m_alerts.plain(EntryTexts::kDatabaseEmpty);
        return;
    }
    setStateControls(true);
    m_editMode = EditMode::Existing;
    // The record goes into editing at once, so "Scrivi" with nothing changed stores it as it is.
    m_entry = true;
    ADOQuery1AfterEdit();
    DBEdit1->setFocus();
    DBGrid1->setEnabled(false);
}

void TfrmPreMsg::BitBtn3Click()
{
    const int row = currentRow();
    if (m_rows.isEmpty() || row < 0) {
        m_alerts.plain(EntryTexts::kDatabaseEmpty);
        return;
    }
    if (!m_alerts.ask(EntryTexts::kConfirmDelete, QString(), AlertIcon::Information, AlertButtons::YesNo))
        return;
    try {
        m_stores.templates.remove(m_rows.at(row).num);
    } catch (const DataError &error) {
        m_alerts.plain(error.text());
        return;
    }
    openList(Position::Keep);
}

void TfrmPreMsg::BitBtn4Click()
{
    if (!m_entry)
        return;
    const QString content = DBMemo1->toPlainText();
    EntryRefusal refusal;
    try {
        refusal
            = CheckPresetEntry(m_stores.templates, m_editMode, DBEdit0->text().toLongLong(), DBEdit1->text(), content);
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
        m_alerts.captioned(refusal.text, EntryTexts::kTemplateCaption, AlertIcon::Warning);
        DBEdit1->setFocus();
        return;
    case EntryRefusal::EmptyContent:
    case EntryRefusal::BadCode:
        m_alerts.captioned(refusal.text, EntryTexts::kTemplateCaption, AlertIcon::Warning);
        DBMemo1->setFocus();
        return;
    }

    PresetMessage record;
    record.num = DBEdit0->text().toLongLong();
    record.name = DBEdit1->text();
    record.content = content;
    try {
        if (m_editMode == EditMode::New)
            m_stores.templates.insert(record);
        else
            m_stores.templates.update(record);
    } catch (const DataError &error) {
        m_alerts.plain(error.text());
        return;
    }
    m_entry = false;
    openList(Position::Last);
    if (m_loadPresetList)
        m_loadPresetList();
    setStateControls(false);
    DBGrid1->setEnabled(true);
}

void TfrmPreMsg::BitBtn5Click()
{
    m_entry = false;
    showCurrentRecord();
    setStateControls(false);
    DBGrid1->setEnabled(true);
}

void TfrmPreMsg::BitBtn6Click()
{
    close();
}

void TfrmPreMsg::DBMemo1Change()
{
    const QString text = DBMemo1->toPlainText();
    const QString kept = FilterPresetText(text);
    if (kept == text)
        return;
    // The caret stays after the characters that were before it.
    const int caret = static_cast<int>(FilterPresetText(text.left(DBMemo1->textCursor().position())).size());
    DBMemo1->setPlainText(kept);
    QTextCursor cursor = DBMemo1->textCursor();
    cursor.setPosition(caret);
    DBMemo1->setTextCursor(cursor);
}

void TfrmPreMsg::ADOQuery1AfterEdit()
{
    BitBtn4->setEnabled(true);
}

void TfrmPreMsg::ADOQuery1AfterInsert()
{
    BitBtn4->setEnabled(true);
}

void TfrmPreMsg::FormClose()
{
    DBGrid1->setEnabled(true);
    m_entry = false;
    showCurrentRecord();
    setStateControls(false);
    if (m_loadPresetList)
        m_loadPresetList();
}

// Every way out of the dialog ("Esci", the title bar, Escape) ends here.
void TfrmPreMsg::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TfrmPreMsg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

bool TfrmPreMsg::eventFilter(QObject *watched, QEvent *event)
{
    // The Enter key never starts a new line in the text.
    if (watched == DBMemo1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmPreMsg::openList(Position position)
{
    const int keptRow = currentRow();
    try {
        m_rows = m_stores.templates.all();
    } catch (const DataError &error) {
        m_rows.clear();
        m_alerts.plain(error.text());
    }
    m_model->setRowCount(0);
    for (const PresetMessage &row : std::as_const(m_rows)) {
        auto *item = new QStandardItem(row.name);
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
    showCurrentRecord();
}

void TfrmPreMsg::showCurrentRecord()
{
    const int row = currentRow();
    const PresetMessage record = row >= 0 ? m_rows.at(row) : PresetMessage {};
    DBEdit0->setText(row >= 0 ? QString::number(record.num) : QString());
    DBEdit1->setText(record.name);
    DBMemo1->setPlainText(record.content);
}

void TfrmPreMsg::setStateControls(bool entry)
{
    BitBtn1->setEnabled(!entry);
    BitBtn2->setEnabled(!entry);
    BitBtn3->setEnabled(!entry);
    BitBtn4->setEnabled(entry);
    BitBtn5->setEnabled(entry);
    GroupBox1->setEnabled(entry);
    DBGrid1->setEnabled(!entry);
}
