#pragma once

// The recipients window: browses the address book by name and adds, changes and deletes
// users, checking the name and the pager code before a user is stored.

#include "book/EntryForm.h"
#include "store/DataStores.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class TOKBottomDlg;
class TfrmPinId;
struct CapcodeNote;

class TfrmRecpt : public EntryForm
{
    Q_OBJECT

public:
    TfrmRecpt(DataStores &stores, AlertSink &alerts, CapcodeNote &note, QWidget *parent = nullptr);

    // The dialogs this window opens: the note on a refused pager code and the capcode
    // window of "[...]". Both are created after this window and set once they exist.
    void setDialogs(TOKBottomDlg *noteDialog, TfrmPinId *pinId);

    void BitBtn1Click() override; // "Nuovo"
    void BitBtn2Click() override; // "Modifica"
    void BitBtn4Click() override; // "Scrivi"
    void btnImportCsvClick() override; // "Importa CSV..."
    void btnExportCsvClick() override; // "Esporta CSV..."
    void Button1Click(); // "[...]"

protected:
    void showEvent(QShowEvent *event) override;
    QStringList readRecords() override;
    void removeRecord(int row) override;
    QString deleteQuestion(int row) const override;
    void showCurrentRecord() override;

private:
    Recipient recordFromFields() const;

    // GroupBox1 "Dati utente"; DBEdit1 is the Recipient field.
    QLineEdit *DBEdit2 = nullptr; // FirstName
    QLineEdit *DBEdit3 = nullptr; // LastName
    QLineEdit *DBEdit4 = nullptr; // Company
    QLineEdit *DBEdit5 = nullptr; // JobTitle
    QLineEdit *DBEdit6 = nullptr; // Comment
    QLineEdit *DBEdit7 = nullptr; // PinID
    QPushButton *Button1 = nullptr; // "[...]"
    QLineEdit *Edit1 = nullptr; // "Max. Car."
    QCheckBox *DBCheckBox1 = nullptr;

    DataStores &m_stores;
    CapcodeNote &m_note;
    TOKBottomDlg *m_noteDialog = nullptr;
    TfrmPinId *m_pinId = nullptr;
    QList<Recipient> m_rows; // the list as last read from the table
};
