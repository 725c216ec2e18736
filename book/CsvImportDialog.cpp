#include "book/CsvImportDialog.h"

#include "book/CsvImport.h"
#include "core/AlertSink.h"
#include "core/Csv.h"
#include "core/DataErrors.h"
#include "core/ModalRunner.h"
#include "core/WindowPlacement.h"
#include "ui/FileDialogs.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

CsvImportDialog::CsvImportDialog(const QString &summary, const QString &question, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgCsvImport"));
    WindowPlacement::setFixedFrame(this, WindowPlacement::TitleButtons::Close);
    setWindowTitle(CsvImportTexts::kCaption);
    memSummary = new QPlainTextEdit(summary, this);
    memSummary->setObjectName(QStringLiteral("memSummary"));
    memSummary->setAccessibleName(QStringLiteral("Riepilogo"));
    memSummary->setReadOnly(true);
    memSummary->setLineWrapMode(QPlainTextEdit::NoWrap);
    lblQuestion = new QLabel(question, this);
    lblQuestion->setObjectName(QStringLiteral("lblQuestion"));
    btnAnswer = new QDialogButtonBox(this);
    btnAnswer->setObjectName(QStringLiteral("btnAnswer"));
    if (question.isEmpty()) {
        lblQuestion->hide();
        btnAnswer->addButton(QDialogButtonBox::Ok);
        connect(btnAnswer, &QDialogButtonBox::accepted, this, &QDialog::reject);
    } else {
        btnAnswer->addButton(QStringLiteral("Sì"), QDialogButtonBox::YesRole)->setObjectName(QStringLiteral("btnYes"));
        QPushButton *no = btnAnswer->addButton(QStringLiteral("No"), QDialogButtonBox::NoRole);
        no->setObjectName(QStringLiteral("btnNo"));
        no->setDefault(true); // Enter never adds records by mistake
        connect(btnAnswer, &QDialogButtonBox::clicked, this, [this, no](QAbstractButton *button) {
            if (button == no)
                reject();
            else
                accept();
        });
    }
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(memSummary, 1);
    layout->addWidget(lblQuestion);
    layout->addWidget(btnAnswer);
    resize(560, 360);
}

namespace CsvFlows {

bool importFile(QWidget *parent, AlertSink &alerts, CsvImport &import, bool presets, const QString &startFolder)
{
    FileDialogs::Request request;
    request.caption = CsvImportTexts::kCaption;
    request.startFolder = startFolder;
    request.filter = CsvImportTexts::kFilter;
    request.mustExist = true;
    const QString path = FileDialogs::openFileName(parent, request);
    if (path.isEmpty())
        return false;

    QByteArray bytes;
    QString error;
    if (!ReadCsvImportFile(path, bytes, error)) {
        alerts.captioned(error, CsvImportTexts::kCaption, AlertIcon::Warning);
        return false;
    }
    CsvImportPlan plan;
    if (!showingDataErrors(alerts, [&] { plan = import.check(bytes, path); }))
        return false;
    if (!plan.error.isEmpty()) {
        alerts.captioned(plan.error, CsvImportTexts::kCaption, AlertIcon::Warning);
        return false;
    }

    QString summary = CsvImportSummary(plan, path, presets);
    QString question;
    if (plan.accepted > 0)
        question = (presets ? CsvImportTexts::kAskPresets : CsvImportTexts::kAskUsers).arg(plan.accepted);
    else
        summary += QLatin1Char('\n') + (presets ? CsvImportTexts::kNoPresets : CsvImportTexts::kNoUsers);
    CsvImportDialog dialog(summary, question, parent);
    if (ModalRunner::exec(&dialog) != QDialog::Accepted || plan.accepted == 0)
        return false;

    qsizetype added = 0;
    try {
        added = import.apply();
    } catch (const DataError &failure) {
        alerts.captioned(CsvImportTexts::kImportFailed.arg(failure.text()), CsvImportTexts::kCaption,
                         AlertIcon::Warning);
        return false;
    }
    alerts.captioned((presets ? CsvImportTexts::kImportedPresets : CsvImportTexts::kImportedUsers).arg(added),
                     CsvImportTexts::kCaption, AlertIcon::Information);
    return true;
}

void exportFile(QWidget *parent, AlertSink &alerts, const QByteArray &bytes, qsizetype count, bool presets,
                const QString &startFolder)
{
    FileDialogs::Request request;
    request.caption = CsvImportTexts::kExportCaption;
    request.startFolder = startFolder;
    request.filter = CsvImportTexts::kFilter;
    request.defaultSuffix = QStringLiteral("csv");
    request.confirmOverwrite = true;
    const QString path = FileDialogs::saveFileName(parent, request);
    if (path.isEmpty())
        return;
    if (const QString error = Csv::saveFile(path, bytes); !error.isEmpty()) {
        alerts.captioned(CsvImportTexts::kExportFailed.arg(error), CsvImportTexts::kExportCaption, AlertIcon::Warning);
        return;
    }
    alerts.captioned(
        (presets ? CsvImportTexts::kExportedPresets : CsvImportTexts::kExportedUsers).arg(QString::number(count), path),
        CsvImportTexts::kExportCaption, AlertIcon::Information);
}

} // namespace CsvFlows
