#pragma once

// What the two maintenance windows of the address book share: the list of records by name on
// the left ("Database", `DBGrid1`), the fields of the current record on the right (`GroupBox1`,
// filled by each window), the six buttons below, and the browse and entry states between them.
// In the browse state the list and "Nuovo", "Modifica", "Elimina" are usable; in the entry
// state the fields, "Scrivi" and "Cancella".

#include "book/EntryChecks.h"

#include <QDialog>

class AlertSink;
class QKeyEvent;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;

class EntryForm : public QDialog
{
    Q_OBJECT

public:
    ~EntryForm() override;

    EditMode editMode() const { return m_editMode; }
    bool inEntry() const { return m_entry; }
    int currentRow() const;
    int rowCount() const;

    virtual void BitBtn1Click() = 0; // "Nuovo"
    virtual void BitBtn2Click() = 0; // "Modifica"
    void BitBtn3Click(); // "Elimina"
    virtual void BitBtn4Click() = 0; // "Scrivi"
    void BitBtn5Click(); // "Cancella"
    void BitBtn6Click(); // "Esci"
    virtual void btnImportCsvClick() = 0; // "Importa CSV..."
    virtual void btnExportCsvClick() = 0; // "Esporta CSV..."
    void ADOQuery1AfterInsert();
    void ADOQuery1AfterOpen();
    void FormClose();

public slots:
    void done(int result) override;

signals:
    // The records may have changed: after a stored record and when the window closes. The
    // main window reloads the list that shows them.
    void recordsChanged();

protected:
    enum class Position
    {
        First,
        Last,
        Keep
    };

    EntryForm(AlertSink &alerts, const QString &listHeading, const QString &fieldsCaption, QWidget *parent);

    // Adds the button row below the two groups. Called by each window once its fields are in
    // GroupBox1, so the tab order runs list, fields, buttons.
    void addButtonRow();

    // Reads the records afresh and returns their names in list order; throws DataError.
    virtual QStringList readRecords() = 0;
    // Removes the record shown in the given list row; throws DataError.
    virtual void removeRecord(int row) = 0;
    // The question "Elimina" asks before removing the record of the row; throws DataError.
    virtual QString deleteQuestion(int row) const;
    // Shows the fields of the current record (empty fields when there is none).
    virtual void showCurrentRecord() = 0;

    void reloadMainList();
    void openList(Position position);
    // True when the list has a current record; otherwise tells the operator and returns false.
    bool requireRecord();
    void beginEntry(EditMode mode);
    // Ends an entry whose record "Scrivi" has stored: back to browsing, on the last record.
    void endStoredEntry();
    void setStateControls(bool entry);
    // Escape neither closes the window nor throws the open entry away: the window is left
    // through "Esci" and the title bar only.
    void keyPressEvent(QKeyEvent *event) override;

    // The fields each window fills in and reads back, and "Scrivi", which a window may
    // enable on its own.
    QGroupBox *GroupBox1 = nullptr; // the fields of the current record
    QLineEdit *DBEdit0 = nullptr; // num, hidden
    QLineEdit *DBEdit1 = nullptr; // the name; created by each window among its fields
    QPushButton *BitBtn4 = nullptr; // "Scrivi"

    AlertSink &m_alerts;
    EditMode m_editMode = EditMode::New;
    bool m_entry = false;

private:
    QGroupBox *GroupBox2 = nullptr; // "Database"
    QTableView *DBGrid1 = nullptr;
    QPushButton *BitBtn1 = nullptr; // "Nuovo"
    QPushButton *BitBtn2 = nullptr; // "Modifica"
    QPushButton *BitBtn3 = nullptr; // "Elimina"
    QPushButton *BitBtn5 = nullptr; // "Cancella"
    QPushButton *BitBtn6 = nullptr; // "Esci"
    QPushButton *btnImportCsv = nullptr; // spreadsheet files, browse state only
    QPushButton *btnExportCsv = nullptr;
    QStandardItemModel *m_model = nullptr;
};
