#pragma once

// The preset messages window: named message texts that the operator can pick in the main
// window. Adds, changes and deletes them, checking name and text before a preset is stored.

#include "book/EntryForm.h"
#include "store/DataStores.h"

class QPlainTextEdit;

class TfrmPreMsg : public EntryForm
{
    Q_OBJECT

public:
    // recordsChanged() also comes when this window is shown, so the main window's preset
    // selector follows it.
    TfrmPreMsg(DataStores &stores, AlertSink &alerts, QWidget *parent = nullptr);

    void FormShow();
    void BitBtn1Click() override; // "Nuovo"
    void BitBtn2Click() override; // "Modifica"
    void BitBtn4Click() override; // "Scrivi"
    void btnImportCsvClick() override; // "Importa CSV..."
    void btnExportCsvClick() override; // "Esporta CSV..."
    void DBMemo1Change();
    void ADOQuery1AfterEdit();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    QStringList readRecords() override;
    void removeRecord(int row) override;
    void showCurrentRecord() override;

private:
    // GroupBox1 "Messaggio"; DBEdit1 is the Name field.
    QPlainTextEdit *DBMemo1 = nullptr; // Content

    DataStores &m_stores;
    QList<PresetMessage> m_rows;
};
