#pragma once

// The groups window ("Database gruppi"): browses the groups by name and adds, changes and
// deletes them, in the manner of the recipients window. A group has a name, a description and
// its members in order, each a user of the address book with their duty hours; the line below
// the members names who of them is on duty now.

#include "book/EntryForm.h"
#include "store/DataStores.h"

class Clock;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class TfrmGroups : public EntryForm
{
    Q_OBJECT

public:
    TfrmGroups(DataStores &stores, AlertSink &alerts, const Clock &clock, QWidget *parent = nullptr);

    void BitBtn1Click() override; // "Nuovo"
    void BitBtn2Click() override; // "Modifica"
    void BitBtn4Click() override; // "Scrivi"
    void btnImportCsvClick() override; // "Importa CSV..."
    void btnExportCsvClick() override; // "Esporta CSV..."
    void btnAddClick(); // "Aggiungi"
    void btnRemoveClick(); // "Rimuovi"
    void btnUpClick(); // "Su"
    void btnDownClick(); // "Giù"

    // The group as the fields hold it.
    Group groupFromFields() const;

protected:
    void showEvent(QShowEvent *event) override;
    QStringList readRecords() override;
    void removeRecord(int row) override;
    void showCurrentRecord() override;

private:
    void showMembers(const QList<GroupMember> &members);
    void appendMember(const GroupMember &member);
    void moveMember(int delta);
    void showOnDuty();
    void loadUsers();

    // GroupBox1 "Dati gruppo"; DBEdit1 is the group's name.
    QLineEdit *DBEdit2 = nullptr; // "Descrizione:"
    QComboBox *cboUser = nullptr; // the address book, for "Aggiungi"
    QPushButton *btnAdd = nullptr;
    QTableWidget *grdMembers = nullptr; // "Utente", "Turni" (editable)
    QPushButton *btnRemove = nullptr;
    QPushButton *btnUp = nullptr;
    QPushButton *btnDown = nullptr;
    QLabel *lblOnDuty = nullptr; // "Reperibili ora: …"

    DataStores &m_stores;
    const Clock &m_clock;
    QList<Group> m_rows; // the list as last read from the table
    QString m_previousName; // the edited group's stored name
};
