#pragma once

// The preset messages window: named message texts that the operator can pick in the main
// window. Adds, changes and deletes them, checking name and text before a preset is stored.

#include "app/DataStores.h"
#include "book/EntryChecks.h"

#include <QDialog>
#include <functional>

class AlertSink;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;

class TfrmPreMsg : public QDialog
{
    Q_OBJECT

public:
    // loadPresetList is the main window's loader of its preset selector; it runs when this
    // window is shown, after a stored preset and when the window closes.
    TfrmPreMsg(DataStores &stores, AlertSink &alerts, std::function<void()> loadPresetList, QWidget *parent = nullptr);

    EditMode editMode() const { return m_editMode; }
    bool inEntry() const { return m_entry; }
    int currentRow() const;
    int rowCount() const { return static_cast<int>(m_rows.size()); }

    void FormShow();
    void BitBtn1Click(); // "Nuovo"
    void BitBtn2Click(); // "Modifica"
    void BitBtn3Click(); // "Elimina"
    void BitBtn4Click(); // "Scrivi"
    void BitBtn5Click(); // "Cancella"
    void BitBtn6Click(); // "Esci"
    void DBMemo1Change();
    void ADOQuery1AfterEdit();
    void ADOQuery1AfterInsert();
    void FormClose();

    QGroupBox *GroupBox2 = nullptr; // "Database"
    QTableView *DBGrid1 = nullptr;
    QGroupBox *GroupBox1 = nullptr; // "Messaggio"
    QLineEdit *DBEdit0 = nullptr; // num, hidden
    QLineEdit *DBEdit1 = nullptr; // Name
    QPlainTextEdit *DBMemo1 = nullptr; // Content
    QPushButton *BitBtn1 = nullptr;
    QPushButton *BitBtn2 = nullptr;
    QPushButton *BitBtn3 = nullptr;
    QPushButton *BitBtn4 = nullptr;
    QPushButton *BitBtn5 = nullptr;
    QPushButton *BitBtn6 = nullptr;

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Position
    {
        First,
        Last,
        Keep
    };

    void openList(Position position);
    void showCurrentRecord();
    void setStateControls(bool entry);

    DataStores &m_stores;
    AlertSink &m_alerts;
    std::function<void()> m_loadPresetList;
    QStandardItemModel *m_model = nullptr;
    QList<PresetMessage> m_rows;
    EditMode m_editMode = EditMode::New;
    bool m_entry = false;
};
