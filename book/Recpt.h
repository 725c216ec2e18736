#pragma once

// The recipients window: browses the address book by name and adds, changes and deletes
// users, checking the name and the pager code before a user is stored.

#include "app/DataStores.h"
#include "book/EntryChecks.h"

#include <QDialog>
#include <functional>

class AlertSink;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;
class TOKBottomDlg;
class TfrmPinId;
struct CapcodeNote;

class TfrmRecpt : public QDialog
{
    Q_OBJECT

public:
    // loadUserList is the main window's loader of its user list (it also empties the send
    // list); it runs after a stored user and when this window closes.
    TfrmRecpt(DataStores &stores, AlertSink &alerts, CapcodeNote &note, TOKBottomDlg &noteDialog, TfrmPinId &pinId,
              std::function<void()> loadUserList, QWidget *parent = nullptr);

    EditMode editMode() const { return m_editMode; }
    bool inEntry() const { return m_entry; }
    int currentRow() const;
    int rowCount() const { return static_cast<int>(m_rows.size()); }

    void BitBtn1Click(); // "Nuovo"
    void BitBtn2Click(); // "Modifica"
    void BitBtn3Click(); // "Elimina"
    void BitBtn4Click(); // "Scrivi"
    void BitBtn5Click(); // "Cancella"
    void BitBtn6Click(); // "Esci"
    void Button1Click(); // "[...]"
    void ADOQuery1AfterInsert();
    void ADOQuery1AfterOpen();
    void FormClose();

    QGroupBox *GroupBox2 = nullptr; // "Database"
    QTableView *DBGrid1 = nullptr;
    QGroupBox *GroupBox1 = nullptr; // "Dati utente"
    QLineEdit *DBEdit0 = nullptr; // num, hidden
    QLineEdit *DBEdit1 = nullptr; // Recipient
    QLineEdit *DBEdit2 = nullptr; // FirstName
    QLineEdit *DBEdit3 = nullptr; // LastName
    QLineEdit *DBEdit4 = nullptr; // Company
    QLineEdit *DBEdit5 = nullptr; // JobTitle
    QLineEdit *DBEdit6 = nullptr; // Comment
    QLineEdit *DBEdit7 = nullptr; // PinID
    QPushButton *Button1 = nullptr; // "[...]"
    QLineEdit *Edit1 = nullptr; // "Max. Car."
    QCheckBox *DBCheckBox1 = nullptr;
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

private:
    enum class Position
    {
        First,
        Last,
        Keep
    };

    void openList(Position position);
    void showCurrentRecord();
    Recipient recordFromFields() const;
    void applyBrowseState();
    void applyEntryState();
    void setStateControls(bool entry);

    DataStores &m_stores;
    AlertSink &m_alerts;
    CapcodeNote &m_note;
    TOKBottomDlg &m_noteDialog;
    TfrmPinId &m_pinId;
    std::function<void()> m_loadUserList;
    QStandardItemModel *m_model = nullptr;
    QList<Recipient> m_rows; // the list as last read from the table
    EditMode m_editMode = EditMode::New;
    bool m_entry = false;
};
