#include "book/Premsg.h"

#include "book/CsvImport.h"
#include "book/CsvImportDialog.h"
#include "core/AlertSink.h"
#include "core/DataErrors.h"

#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

TfrmPreMsg::TfrmPreMsg(DataStores &stores, AlertSink &alerts, QWidget *parent)
    : EntryForm(alerts, QStringLiteral("Messaggi"), QStringLiteral("Messaggio"), parent)
    , m_stores(stores)
{
    setObjectName(QStringLiteral("frmPreMsg"));
    setWindowTitle(QStringLiteral("Database messaggi"));

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
    auto *fields = new QVBoxLayout(GroupBox1);
    fields->addWidget(nameLabel);
    fields->addWidget(DBEdit1);
    fields->addWidget(textLabel);
    fields->addWidget(DBMemo1, 1);
    addButtonRow();

    connect(DBMemo1, &QPlainTextEdit::textChanged, this, &TfrmPreMsg::DBMemo1Change);
}

void TfrmPreMsg::FormShow()
{
    reloadMainList();
    if (!m_entry)
        openList(Position::First);
}

void TfrmPreMsg::BitBtn1Click()
{
    beginEntry(EditMode::New);
    DBEdit0->clear();
    DBEdit1->clear();
    DBMemo1->clear();
    ADOQuery1AfterInsert();
    DBEdit1->setFocus();
}

void TfrmPreMsg::BitBtn2Click()
{
    if (!requireRecord())
        return;
    // The record goes into editing at once, so "Scrivi" with nothing changed stores it as it is.
    beginEntry(EditMode::Existing);
    ADOQuery1AfterEdit();
    DBEdit1->setFocus();
}

void TfrmPreMsg::BitBtn4Click()
{
    if (!m_entry)
        return;
    // The raw text, filtered again: what is stored never holds a character above 127.
    const QString content = FilterPresetText(DBMemo1->document()->toRawText());
    EntryRefusal refusal;
    if (!showingDataErrors(m_alerts, [&] {
            refusal = CheckPresetEntry(m_stores.templates, m_editMode, DBEdit0->text().toLongLong(), DBEdit1->text(),
                                       content);
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
    case EntryRefusal::ControlInName: // not a check of this window
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
    if (!showingDataErrors(m_alerts, [&] {
            if (m_editMode == EditMode::New)
                m_stores.templates.insert(record);
            else
                m_stores.templates.update(record);
        }))
        return;
    endStoredEntry();
}

void TfrmPreMsg::DBMemo1Change()
{
    // The raw text: the plain text would turn a non-breaking space into a blank, and the
    // filter would let that through.
    const QString text = DBMemo1->document()->toRawText();
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

QStringList TfrmPreMsg::readRecords()
{
    m_rows.clear();
    m_rows = m_stores.templates.all();
    QStringList names;
    for (const PresetMessage &row : std::as_const(m_rows))
        names.append(row.name);
    return names;
}

void TfrmPreMsg::removeRecord(int row)
{
    m_stores.templates.remove(m_rows.at(row).num);
}

void TfrmPreMsg::showCurrentRecord()
{
    const int row = currentRow();
    const PresetMessage record = row >= 0 ? m_rows.at(row) : PresetMessage {};
    DBEdit0->setText(row >= 0 ? QString::number(record.num) : QString());
    DBEdit1->setText(record.name);
    DBMemo1->setPlainText(record.content);
}

void TfrmPreMsg::btnImportCsvClick()
{
    if (m_entry)
        return;
    PresetCsvImport import(m_stores.report.database()); // the one connection every store holds
    if (!CsvFlows::importFile(this, m_alerts, import, true, QDir::currentPath()))
        return;
    openList(Position::Last);
    reloadMainList();
}

void TfrmPreMsg::btnExportCsvClick()
{
    if (m_entry)
        return;
    QList<PresetMessage> rows;
    if (!showingDataErrors(m_alerts, [&] { rows = m_stores.templates.all(); }))
        return;
    CsvFlows::exportFile(this, m_alerts, PresetCsvImport::exportBytes(rows), rows.size(), true, QDir::currentPath());
}
