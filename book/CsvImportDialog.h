#pragma once

// The summary of a spreadsheet import, shown before anything is written: what would be added,
// every refused record with its line and reason (scrollable when long), and the question. When
// nothing can be added it says so and has only "OK". Shown through ModalRunner.
// Also the two flows of the maintenance windows' "Importa CSV..." and "Esporta CSV..." buttons.

#include <QDialog>

class AlertSink;
class CsvImport;
class QDialogButtonBox;
class QLabel;
class QPlainTextEdit;

class CsvImportDialog : public QDialog
{
    Q_OBJECT

public:
    // question empty: nothing to import, the dialog only informs.
    CsvImportDialog(const QString &summary, const QString &question, QWidget *parent = nullptr);

    QPlainTextEdit *memSummary = nullptr;
    QLabel *lblQuestion = nullptr;
    QDialogButtonBox *btnAnswer = nullptr;
};

namespace CsvFlows {

// "Importa CSV...": asks for a file, checks it whole, shows the summary and on "Sì" adds the
// accepted records in one transaction. Returns true when records were added.
bool importFile(QWidget *parent, AlertSink &alerts, CsvImport &import, bool presets, const QString &startFolder);

// "Esporta CSV...": asks for a file and writes `bytes` (count records) to it through QSaveFile.
void exportFile(QWidget *parent, AlertSink &alerts, const QByteArray &bytes, qsizetype count, bool presets,
                const QString &startFolder);

} // namespace CsvFlows
